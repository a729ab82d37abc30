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
  add_executable(assistant WIN32 main.cpp)
  target_link_libraries(assistant PRIVATE assistant_front theme_resource)
  if(MINGW)
    # wWinMain is the entry point. Optimised builds ship without symbols.
    target_link_options(assistant PRIVATE -municode $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endif()
