# delay_load_dlls(<executable> <dll> ...)
#
# Makes the executable import the named DLLs (base names: "winmm", not
# "winmm.dll") lazily: the loader resolves each one on the first call into it
# instead of at process start. A program that first restricts its DLL search
# (SetDefaultDllDirectories) thereby loads these from System32 only, never
# from the folder it was started from, where anyone who can drop a file into
# a Downloads folder could plant one.
#
# MSVC: /DELAYLOAD:<dll>.dll for each, plus delayimp.lib (the helper).
#
# MinGW: dlltool builds a delay-import library per DLL from a definition file
# listing every function the toolchain's own import library names (made at
# build time by cmake/delay_import_library.cmake, so new calls need no edits
# here). The libraries are named like the normal ones (libwinmm.a) and their
# folder is searched first when linking this executable alone, so every
# "-lwinmm" a subsystem library passes on resolves to the delay-import
# library; the subsystem libraries and tests stay untouched. The thunks call
# __delayLoadHelper2 from libmingwex, which every MinGW program links.
#
# The delay-import libraries carry only entries imported by name; the MinGW
# import libraries of the DLLs used here have no ordinal-only ones.

set(DELAY_IMPORT_LIBRARY_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/delay_import_library.cmake")

function(delay_load_dlls target)
  if(MSVC)
    foreach(dll ${ARGN})
      target_link_options(${target} PRIVATE "/DELAYLOAD:${dll}.dll")
    endforeach()
    target_link_libraries(${target} PRIVATE delayimp)
    return()
  endif()
  if(NOT MINGW)
    message(FATAL_ERROR "delay_load_dlls: no delay-load recipe for this toolchain")
  endif()
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    # 32-bit import libraries name stdcall functions with decorations
    # (_timeGetTime@0) that the generated definition files do not carry.
    message(FATAL_ERROR "delay_load_dlls: MinGW delay-import libraries are made for 64-bit only")
  endif()
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM OR NOT CMAKE_AR)
    message(FATAL_ERROR "delay_load_dlls: MinGW's dlltool, nm and ar are needed")
  endif()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_delay_imports")
  file(MAKE_DIRECTORY "${dir}")
  set(libraries "")
  foreach(dll ${ARGN})
    find_library(DELAY_LOAD_IMPORT_${dll} NAMES ${dll} NO_CACHE)
    set(import_lib "${DELAY_LOAD_IMPORT_${dll}}")
    if(NOT import_lib)
      message(FATAL_ERROR "delay_load_dlls: no MinGW import library for ${dll}")
    endif()
    set(lib "${dir}/lib${dll}.a")
    add_custom_command(
      OUTPUT "${lib}"
      COMMAND "${CMAKE_COMMAND}" "-DNM=${CMAKE_NM}" "-DAR=${CMAKE_AR}" "-DDLLTOOL=${CMAKE_DLLTOOL}"
              "-DIMPORT_LIBRARY=${import_lib}" "-DDLL=${dll}.dll" "-DOUTPUT=${lib}"
              -P "${DELAY_IMPORT_LIBRARY_SCRIPT}"
      DEPENDS "${import_lib}" "${DELAY_IMPORT_LIBRARY_SCRIPT}"
      COMMENT "Delay-import library for ${dll}.dll"
      VERBATIM)
    list(APPEND libraries "${lib}")
  endforeach()
  add_custom_target(${target}_delay_imports DEPENDS ${libraries})
  add_dependencies(${target} ${target}_delay_imports)
  target_link_directories(${target} BEFORE PRIVATE "${dir}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${libraries})
endfunction()
