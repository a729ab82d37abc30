# add_native_fuzz_test(<name> SOURCES <repo-relative files>... SEEDS <folder>
#                      [DICT <file>] [ITERATIONS n] [MAX_LEN bytes] [TIMEOUT s]
#                      [FLAGS <compiler flags>...] [INCLUDES <folders>...]
#                      [DEPENDS <repo-relative files>...] [LIBS <host libraries>...])
#
# A robustness harness of pure code (tests/fuzz/): compiled with the HOST
# compiler, the address and undefined-behaviour sanitizers and the shared
# driver (tests/fuzz/fuzz_driver.h), and registered as the ctest test <name>
# (label "fuzz"), which runs the seeds and a fixed number of deterministic
# mutations. INCLUDES come before the repository root on the include path, so
# a folder there can stand in for a platform header. When clang++ is found the
# same sources also make the program <name>-libfuzzer, built only by the target
# fuzz_libfuzzer. DEPENDS names further files a harness source includes; LIBS
# are host libraries linked after the sources (-lz).
# Nothing happens unless the build cross-compiles on a
# Unix host with a native g++.
find_program(HOST_CXX NAMES g++ c++)
find_program(HOST_CLANGXX NAMES clang++)
if(HOST_CLANGXX AND NOT TARGET fuzz_libfuzzer)
  add_custom_target(fuzz_libfuzzer)
endif()

function(add_native_fuzz_test name)
  if(NOT (CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX AND HOST_CXX))
    return()
  endif()
  cmake_parse_arguments(F "" "SEEDS;DICT;ITERATIONS;MAX_LEN;TIMEOUT" "SOURCES;FLAGS;INCLUDES;DEPENDS;LIBS"
                        ${ARGN})
  if(NOT F_ITERATIONS)
    set(F_ITERATIONS 10000)
  endif()
  if(NOT F_TIMEOUT)
    set(F_TIMEOUT 300)
  endif()
  set(driver tests/fuzz/fuzz_driver.cpp tests/fuzz/fuzz_mutator.cpp)
  set(sources)
  set(depends)
  foreach(source ${F_SOURCES} ${driver})
    set(path "${CMAKE_SOURCE_DIR}/${source}")
    list(APPEND sources "${path}")
    list(APPEND depends "${path}")
    string(REGEX REPLACE "\\.cpp$" ".h" header "${path}")
    if(EXISTS "${header}")
      list(APPEND depends "${header}")
    endif()
  endforeach()
  list(APPEND depends "${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_driver.h"
       "${CMAKE_SOURCE_DIR}/tests/fuzz/lenient_utf8.h")
  foreach(file ${F_DEPENDS})
    list(APPEND depends "${CMAKE_SOURCE_DIR}/${file}")
  endforeach()
  set(includes)
  foreach(folder ${F_INCLUDES})
    list(APPEND includes -I "${CMAKE_SOURCE_DIR}/${folder}")
    file(GLOB_RECURSE shim_files CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${folder}/*")
    list(APPEND depends ${shim_files})
  endforeach()
  list(APPEND includes -I "${CMAKE_SOURCE_DIR}")
  set(common -std=c++17 -O1 -g -Wall -Wextra ${F_FLAGS} ${includes} ${sources} ${F_LIBS})

  set(harness "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  add_custom_command(
    OUTPUT "${harness}"
    COMMAND "${HOST_CXX}" -Werror -fsanitize=address,undefined -fno-sanitize-recover=all ${common}
            -o "${harness}"
    DEPENDS ${depends}
    COMMENT "Building the native robustness harness ${name}"
    VERBATIM)
  add_custom_target(${name}_harness ALL DEPENDS "${harness}")

  set(run --iterations ${F_ITERATIONS})
  if(F_DICT)
    list(APPEND run --dict "${CMAKE_SOURCE_DIR}/${F_DICT}")
  endif()
  if(F_MAX_LEN)
    list(APPEND run --max-len ${F_MAX_LEN})
  endif()
  add_test(NAME ${name} COMMAND "${harness}" ${run} "${CMAKE_SOURCE_DIR}/${F_SEEDS}"
           WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${F_TIMEOUT} LABELS fuzz)

  # Warnings are the test build's business; clang's own set differs.
  if(HOST_CLANGXX)
    set(fuzzer "${CMAKE_CURRENT_BINARY_DIR}/${name}-libfuzzer")
    add_custom_command(
      OUTPUT "${fuzzer}"
      COMMAND "${HOST_CLANGXX}" -DFUZZ_LIBFUZZER -fsanitize=fuzzer,address,undefined
              -fno-sanitize-recover=all ${common} -o "${fuzzer}"
      DEPENDS ${depends}
      COMMENT "Building the libFuzzer harness ${name}-libfuzzer"
      VERBATIM)
    add_custom_target(${name}_libfuzzer DEPENDS "${fuzzer}")
    add_dependencies(fuzz_libfuzzer ${name}_libfuzzer)
  endif()
endfunction()
