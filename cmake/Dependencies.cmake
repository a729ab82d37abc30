# Third-party libraries: installed on the machine (scripts/bootstrap), never
# copied into the repository.

# GoogleTest, built from the distribution's sources with our toolchain.
set(GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# qrcodegen's C library: one source file from the Debian source package,
# fetched and checked by scripts/deps (never committed) and compiled here with
# our toolchain. Its C edition, not the C++ one: that one builds its error
# messages with a string stream, which links the whole of the C++ stream and
# locale library into the program (about 600 KB of code, a quarter of the
# executable).
# On Windows, point QRCODEGEN_C_SOURCE_DIR at the unpacked release's c/
# folder.
set(DEPS_PREFIX "${CMAKE_BINARY_DIR}/deps/install" CACHE PATH "Folder scripts/deps was given, + /install")
get_filename_component(deps_dir "${DEPS_PREFIX}" DIRECTORY)
set(QRCODEGEN_C_SOURCE_DIR "${deps_dir}/src/qr-code-generator/unpacked/c" CACHE PATH
    "qrcodegen's c/ folder (qrcodegen.c, qrcodegen.h)")
if(EXISTS "${QRCODEGEN_C_SOURCE_DIR}/qrcodegen.c")
  # Callers include <qrcodegen/qrcodegen.h>, as with the distribution's package.
  set(qrcodegen_include "${CMAKE_BINARY_DIR}/third_party/qrcodegen/include")
  configure_file("${QRCODEGEN_C_SOURCE_DIR}/qrcodegen.h" "${qrcodegen_include}/qrcodegen/qrcodegen.h" COPYONLY)
  # Created before the project's warning flags: third-party code is not held to them.
  add_library(qrcodegen STATIC "${QRCODEGEN_C_SOURCE_DIR}/qrcodegen.c")
  set_target_properties(qrcodegen PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
  target_include_directories(qrcodegen SYSTEM PUBLIC "${qrcodegen_include}")
endif()

# zlib, for the zip reader and the PNG decoder: one target both link.
add_library(zlib_dependency INTERFACE)
if(MINGW)
  # -lz with the static link flags picks the MinGW root's libz.a.
  target_link_libraries(zlib_dependency INTERFACE z)
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(zlib_dependency INTERFACE ZLIB::ZLIB)
endif()
