# Checks that a built DLL carries the dialog templates of its resource
# script: both decompiled by windres must read the same (memory flags aside).
#   -DWINDRES=<windres> -DDLL=<Ktz3649.dll> -DRC=<file.rc> -DOUT=<folder>
foreach(pair "script;${RC}" "dll;${DLL}")
  list(GET pair 0 name)
  list(GET pair 1 input)
  execute_process(COMMAND ${WINDRES} -i ${input} -O rc -o ${OUT}/${name}.rc
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${WINDRES} failed on ${input}: ${err}")
  endif()
  file(READ ${OUT}/${name}.rc text)
  string(REGEX REPLACE "(MOVEABLE|PURE|DISCARDABLE|PRELOAD|LOADONCALL|FIXED|IMPURE) " "" text
         "${text}")
  set(${name} "${text}")
endforeach()
if(NOT script STREQUAL dll)
  message(FATAL_ERROR "the DLL's resources differ from ${RC}:\n--- script\n${script}\n--- DLL\n${dll}")
endif()
string(REGEX MATCHALL "[0-9]+ DIALOGEX" dialogs "${dll}")
if(NOT dialogs STREQUAL "102 DIALOGEX;103 DIALOGEX;104 DIALOGEX;105 DIALOGEX;106 DIALOGEX;107 DIALOGEX")
  message(FATAL_ERROR "dialog templates 102 to 107 expected, found: ${dialogs}")
endif()
message("the DLL carries dialog templates 102 to 107 of ${RC}")
