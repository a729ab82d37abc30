# The assistant's start-up and main window (assistant_front) and the GUI
# executable. Included from app/CMakeLists.txt after appcore.
add_library(assistant_front STATIC
  app.cpp
  basic_form.cpp
  desktop_shortcut.cpp
  module_path.cpp
)
target_include_directories(assistant_front PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(assistant_front PUBLIC appcore ui cbase comctl32 ole32 uuid shell32 gdiplus)

# The embedded archive (THEME 129) comes from resources/, added after app/.
if("resources" IN_LIST SUBSYSTEMS)
  # The application manifest (assistant.manifest) goes in as RT_MANIFEST 1
  # through a resource script, the same way for windres and rc.exe.
  set(ASSISTANT_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/assistant.manifest)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/assistant_manifest.rc CONTENT
"#include <windows.h>
CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${ASSISTANT_MANIFEST}\"
")
  add_executable(assistant WIN32 main.cpp ${CMAKE_CURRENT_BINARY_DIR}/assistant_manifest.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/assistant_manifest.rc PROPERTIES
                              OBJECT_DEPENDS ${ASSISTANT_MANIFEST})
  target_link_libraries(assistant PRIVATE assistant_front theme_resource)
  if(MSVC)
    # The linker would otherwise add a manifest of its own, a second RT_MANIFEST 1.
    target_link_options(assistant PRIVATE /MANIFEST:NO)
    # Page-aligned sections in the file too (see the MinGW options below).
    target_link_options(assistant PRIVATE /FILEALIGN:4096)
  endif()
  if(MINGW)
    # wWinMain is the entry point. Optimised builds ship without symbols.
    target_link_options(assistant PRIVATE -municode $<$<CONFIG:Release,MinSizeRel>:-s>)
    # Sections start on page boundaries in the file as in memory, so a loader
    # can map the image from the file instead of reading it into memory of
    # its own (Wine reads an image whose sections are not page-aligned: the
    # whole executable then counts towards the working set). Costs a few
    # kilobytes of padding.
    target_link_options(assistant PRIVATE -Wl,--file-alignment,4096 -Wl,--section-alignment,4096)
  endif()
  # Started from a Downloads folder, the executable must not load a DLL
  # planted beside it. Imports that are KnownDLLs always come from System32
  # (kernel32, user32, gdi32, advapi32, ole32, oleaut32, shell32, shlwapi,
  # combase, rpcrt4, msvcrt, comdlg32, imm32, sechost, setupapi, ws2_32,
  # shcore). Every other import is delay-loaded, so the loader resolves it
  # only after wWinMain has restricted the DLL search to System32 (main.cpp);
  # oleacc, for instance, loads with a screen reader's first question.
  # gdiplus is delay-loaded as well: whether it is a KnownDLL differs between
  # Windows releases (Windows 7 and 8.1 do not list it), and delay-loading
  # one that is costs nothing. comctl32 still resolves through the process's
  # activation context, so a manifest asking for version 6 keeps working.
  # KnownDLLs the first frame does not need (ole32, oleaut32, shell32, imm32)
  # are delay-loaded too: loading them at process start costs start-up time.
  # What is left at load time: objdump -p assistant.exe | grep 'DLL Name'
  # (tests/e2e/dll_planting_test.py checks it against the KnownDLLs).
  include(${CMAKE_SOURCE_DIR}/cmake/delay_load.cmake)
  delay_load_dlls(assistant bcrypt comctl32 gdiplus imm32 msimg32 ole32 oleacc oleaut32 shell32
                  winhttp winmm)
endif()
