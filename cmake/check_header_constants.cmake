# Checks that the constants of hostwin's user-interface headers have the
# values of the real Windows headers: every "#define NAME value" becomes a
# static_assert compiled against the Windows SDK by the cross compiler.
#   -DCXX=<compiler> -DOUT=<file.cpp> -DHEADERS=<header;...>
cmake_policy(SET CMP0057 NEW)
set(skipped MAKEINTRESOURCE WINCOMMCTRLAPI WINSETUPAPI PROPSHEETPAGEA_V1_SIZE
            PROPSHEETPAGEA_V2_SIZE)
set(body "#include <windows.h>\n#include <commctrl.h>\n#include <setupapi.h>\n")
set(count 0)
foreach(header IN LISTS HEADERS)
  file(STRINGS ${header} lines REGEX "^#define [A-Z][A-Z0-9_]* [^\"]+$")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^#define ([A-Z][A-Z0-9_]*) (.+)$" matched "${line}")
    set(name ${CMAKE_MATCH_1})
    set(value ${CMAKE_MATCH_2})
    if(name IN_LIST skipped OR name MATCHES "^HOSTWIN_")
      continue()
    endif()
    string(APPEND body "#ifndef ${name}\n#error \"${name} is not in the Windows headers\"\n#endif\n"
           "static_assert((long long)(${name}) == (long long)(${value}), \"${name}\");\n")
    math(EXPR count "${count} + 1")
  endforeach()
endforeach()
file(WRITE ${OUT} "${body}")
execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${OUT} RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "hostwin's constants differ from the Windows headers:\n${err}")
endif()
message("${count} constants agree with the Windows headers")
