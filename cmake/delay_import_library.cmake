# Builds a MinGW delay-import library from the toolchain's import library of
# the same DLL:
#   cmake -DNM=<nm> -DAR=<ar> -DDLLTOOL=<dlltool> -DIMPORT_LIBRARY=<libX.a>
#         -DDLL=<X.dll> -DOUTPUT=<libX.a> -P delay_import_library.cmake
# The definition file lists every function and data item the import library
# imports by name, as nm shows them: an "I __imp_<name>" per entry, and a
# "T <name>" call thunk for functions (data has none). Members that are not
# import entries (libgdiplus.a carries the C++ wrappers' cached string format
# that way) are copied into the new library unchanged.
foreach(var NM AR DLLTOOL IMPORT_LIBRARY DLL OUTPUT)
  if(NOT ${var})
    message(FATAL_ERROR "delay_import_library: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${NM}" "${IMPORT_LIBRARY}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "delay_import_library: ${NM} ${IMPORT_LIBRARY} failed: ${errors}")
endif()

# nm prints "<member>:" before the symbols of each archive member.
string(REPLACE "\n" ";" lines "${listing}")
set(imported "")
set(members "")
set(member "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ ]+):$")
    set(member "${CMAKE_MATCH_1}")
    list(APPEND members "${member}")
  elseif(line MATCHES "^[0-9a-fA-F]+ I __imp_([^ ]+)$")
    list(APPEND imported "${CMAKE_MATCH_1}")
    set("import_member_${member}" TRUE)
  elseif(line MATCHES " [iI] ")
    set("import_member_${member}" TRUE)
  elseif(line MATCHES "^[0-9a-fA-F]+ T ([^ ]+)$")
    set("thunk_${CMAKE_MATCH_1}" TRUE)
  endif()
endforeach()
list(REMOVE_DUPLICATES imported)
list(SORT imported)
if(NOT imported)
  message(FATAL_ERROR "delay_import_library: ${IMPORT_LIBRARY} imports nothing by name")
endif()

get_filename_component(work "${OUTPUT}" DIRECTORY)
get_filename_component(stem "${OUTPUT}" NAME_WE)
set(work "${work}/${stem}.work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

set(def "${work}/${DLL}.def")
set(text "LIBRARY \"${DLL}\"\nEXPORTS\n")
foreach(name IN LISTS imported)
  if(thunk_${name})
    string(APPEND text "  ${name}\n")
  else()
    string(APPEND text "  ${name} DATA\n")
  endif()
endforeach()
file(WRITE "${def}" "${text}")

file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${DLLTOOL}" --input-def "${def}" --dllname "${DLL}"
                        --output-delaylib "${OUTPUT}" --temp-prefix "${work}/t"
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT EXISTS "${OUTPUT}")
  message(FATAL_ERROR "delay_import_library: ${DLLTOOL} failed for ${DLL}: ${errors}")
endif()

set(plain "")
foreach(name IN LISTS members)
  if(NOT import_member_${name})
    list(APPEND plain "${name}")
  endif()
endforeach()
if(plain)
  execute_process(COMMAND "${AR}" x "${IMPORT_LIBRARY}" ${plain}
                  WORKING_DIRECTORY "${work}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(status EQUAL 0)
    execute_process(COMMAND "${AR}" rs "${OUTPUT}" ${plain}
                    WORKING_DIRECTORY "${work}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  endif()
  if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR
            "delay_import_library: copying ${plain} from ${IMPORT_LIBRARY} failed: ${errors}")
  endif()
endif()
file(REMOVE_RECURSE "${work}")
