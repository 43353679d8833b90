# Compares the dialog templates that hwrc reads from a resource script with
# those that a Windows resource compiler (windres) compiles from it, or that
# a built DLL carries.
#   -DWINDRES=<windres> -DHWRC=<hwrc> -DRC=<file.rc> -DOUT=<file.res> [-DDLL=<Ktz3649.dll>]
if(DLL)
  set(input ${DLL})
else()
  set(input ${RC})
endif()
execute_process(COMMAND ${WINDRES} -i ${input} -O res -o ${OUT} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${WINDRES} failed on ${input}: ${err}")
endif()
execute_process(COMMAND ${HWRC} --dump ${OUT} OUTPUT_VARIABLE compiled RESULT_VARIABLE rc1)
execute_process(COMMAND ${HWRC} --dump ${RC} OUTPUT_VARIABLE parsed RESULT_VARIABLE rc2)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
  message(FATAL_ERROR "hwrc failed")
endif()
if(NOT compiled STREQUAL parsed)
  message(FATAL_ERROR "templates differ\n--- ${input} compiled by windres:\n${compiled}\n--- ${RC} read by hwrc:\n${parsed}")
endif()
string(REGEX MATCHALL "\ndialog [0-9]+|^dialog [0-9]+" dialogs "${parsed}")
list(LENGTH dialogs count)
message("${count} dialog templates agree")
