# Runs CheckLayers.cmake on the fixture tree, which holds one include up a
# layer and one into a folder of no layer among allowed ones (down an arrow,
# down two arrows, the file's own folder, a system header, a missing file),
# and requires the check to fail naming exactly those two.
#
#   cmake -DCHECK=<CheckLayers.cmake> -DFIXTURE=<fixture folder> -P CheckFixture.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${FIXTURE} -DTABLE=${FIXTURE}/Layers.txt -P ${CHECK}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REPLACE ";" "\\;" lines "${output}")
string(REPLACE "\n" ";" lines "${lines}")
set(findings "")
foreach(line IN LISTS lines)
  if(line MATCHES ": includes ")
    list(APPEND findings "${line}")
  endif()
endforeach()
set(expected
  "low/Low.h: includes \"top/Top.h\" of layer top, which layer low may not include"
  "top/Top.cpp: includes \"stray/Stray.h\" (stray/Stray.h), which is in no layer")
if(result EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with a back-include:\n${output}")
endif()
if(NOT findings STREQUAL expected)
  list(JOIN findings "\n" findings)
  list(JOIN expected "\n" expected)
  message(FATAL_ERROR "the check found\n${findings}\ninstead of\n${expected}")
endif()
string(FIND "${output}" "2 of 6 includes run against the layers" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the check counted otherwise than 2 of 6 includes:\n${output}")
endif()
