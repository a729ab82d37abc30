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

# Libraries built by scripts/deps into DEPS_PREFIX (qrcodegen's C++ library).
set(DEPS_PREFIX "${CMAKE_BINARY_DIR}/deps/install" CACHE PATH "Prefix of libraries built by scripts/deps")
if(EXISTS "${DEPS_PREFIX}/lib/libqrcodegencpp.a")
  add_library(qrcodegen STATIC IMPORTED GLOBAL)
  set_target_properties(qrcodegen PROPERTIES
    IMPORTED_LOCATION "${DEPS_PREFIX}/lib/libqrcodegencpp.a"
    INTERFACE_INCLUDE_DIRECTORIES "${DEPS_PREFIX}/include")
endif()
