# Fails when a source of the UI toolkit includes a folder its layer may not
# see. The ui targets share the repository root as their include folder, so
# the compiler alone would accept any include; this check is what keeps the
# layers honest.
#
#   cmake -DROOT=<repository> [-DSTAMP=<file>] -P cmake/check_layers.cmake
#
# Only includes naming a top-level folder of the repository ("ui/core/x.h",
# "http/y.h") are judged; system and third-party headers pass. Includes that
# climb with ".." are refused outright: they would slip past the table.
# STAMP, when given, is touched after a clean run (the build's output).

if(NOT ROOT)
  message(FATAL_ERROR "check_layers: pass -DROOT=<repository root>")
endif()

# Each layer and the folders it may include, lowest layer first. core and
# control are one layer: a window hosts controls and controls call their
# window. toast sits on top of everything.
set(layer_names ui/animation ui/render ui/core ui/control ui/toast)
set(allowed_ui/animation base ui/animation)
set(allowed_ui/render base ui/render)
set(allowed_ui/core base archive ui/animation ui/render ui/core ui/control)
set(allowed_ui/control ${allowed_ui/core})
set(allowed_ui/toast ${allowed_ui/core} ui/toast)

set(include_pattern "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"]")
set(violations "")
foreach(layer ${layer_names})
  file(GLOB sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  list(SORT sources)
  foreach(source ${sources})
    file(STRINGS "${source}" include_lines REGEX "${include_pattern}")
    file(RELATIVE_PATH source_name "${ROOT}" "${source}")
    foreach(line ${include_lines})
      string(REGEX REPLACE "${include_pattern}.*" "\\1" included "${line}")
      if(included MATCHES "\\.\\.")
        string(APPEND violations "  ${source_name}: #include \"${included}\" climbs with ..\n")
        continue()
      endif()
      if(NOT included MATCHES "/")
        continue()  # a system header, or one beside the source
      endif()
      string(REGEX REPLACE "/.*" "" top "${included}")
      if(NOT IS_DIRECTORY "${ROOT}/${top}")
        continue()  # third-party ("gtest/gtest.h") or system ("sys/types.h")
      endif()
      set(permitted FALSE)
      foreach(folder ${allowed_${layer}})
        string(LENGTH "${folder}/" prefix_length)
        string(SUBSTRING "${included}" 0 ${prefix_length} prefix)
        if(prefix STREQUAL "${folder}/")
          set(permitted TRUE)
          break()
        endif()
      endforeach()
      if(NOT permitted)
        list(JOIN allowed_${layer} ", " allowed_text)
        string(APPEND violations
               "  ${source_name}: #include \"${included}\" (${layer} may include only ${allowed_text})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "UI layer check failed: wrong-way includes\n${violations}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
message(STATUS "UI layers: no wrong-way includes")
