# Runs cmake/check_layers.cmake over the miniature tree beside this file and
# fails unless it refuses exactly the wrong-way includes planted there.
#   cmake -DROOT=<repository> -P tests/ui/layers/check_layers_test.cmake

execute_process(
  COMMAND ${CMAKE_COMMAND} -DROOT=${ROOT}/tests/ui/layers -P ${ROOT}/cmake/check_layers.cmake
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)

set(failures "")
if(result EQUAL 0)
  string(APPEND failures "  the check passed a tree with wrong-way includes\n")
endif()
foreach(expected
    "ui/render/wrong_way.cpp: #include \"ui/core/global_manager.h\""
    "ui/core/reaches_up.h: #include \"ui/toast/toast.h\""
    "ui/toast/climbs.cpp: #include \"../core/window.h\" climbs")
  string(FIND "${output}" "${expected}" at)
  if(at EQUAL -1)
    string(APPEND failures "  not refused: ${expected}\n")
  endif()
endforeach()
foreach(allowed "ui/render/render.h" "ui/control/control.h" "right_way.h" "<windows.h>")
  string(FIND "${output}" "${allowed}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "  refused although allowed: ${allowed}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "check_layers.cmake misjudged tests/ui/layers:\n${failures}Its output:\n${output}")
endif()
