# Runs a program as a user runs it and checks it: exit code 0 and every
# expected pattern found in its output (stdout and stderr together).
#
#   cmake -DPROGRAM=prog [-DARGS=a;b] [-DEXPECT=regex;regex] [-DLAUNCHER=wine]
#         [-DRESULTS=file.xml] [-DCASE=name] -P run_program.cmake
#
# With RESULTS, the outcome is also written there as one GoogleTest-style
# test case named CASE, so that scripts/wine_summary.py counts it; until the
# program has ended, the file holds the case as failed.
function(write_results failure)
  if(NOT RESULTS)
    return()
  endif()
  set(failures 0)
  set(body "")
  if(failure)
    set(failures 1)
    string(REPLACE "&" "&amp;" failure "${failure}")
    string(REPLACE "<" "&lt;" failure "${failure}")
    string(REPLACE "\"" "&quot;" failure "${failure}")
    set(body "\n      <failure message=\"${failure}\"/>\n    ")
  endif()
  file(WRITE ${RESULTS} "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<testsuites tests=\"1\" failures=\"${failures}\">
  <testsuite name=\"${CASE}\" tests=\"1\" failures=\"${failures}\">
    <testcase name=\"${CASE}\" status=\"run\" result=\"completed\">${body}</testcase>
  </testsuite>
</testsuites>
")
endfunction()

write_results("${CASE} did not finish")
execute_process(COMMAND ${LAUNCHER} ${PROGRAM} ${ARGS}
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE code)
message("${output}")
set(problems "")
if(NOT code STREQUAL "0")
  list(APPEND problems "exit code ${code}")
endif()
foreach(pattern IN LISTS EXPECT)
  if(NOT output MATCHES "${pattern}")
    list(APPEND problems "no output matches /${pattern}/")
  endif()
endforeach()
list(JOIN problems "; " problems)
write_results("${problems}")
if(problems)
  message(FATAL_ERROR "${PROGRAM}: ${problems}")
endif()
