# Writes the module-definition file of an import library for programs built
# with MinGW: each export of the DLL's .def ("NAME = SYMBOL@N") under the
# stdcall symbol the caller's compiler emits, importing the exported name
# ("SYMBOL@N == NAME"). The import library that the linker makes beside the
# DLL carries the export names only, which a stdcall call does not find.
#   cmake -DDEF=Ktz3649.def -DOUT=imports.def -P import_def.cmake
file(STRINGS ${DEF} lines)
set(out "")
set(exports OFF)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^LIBRARY")
    string(APPEND out "${line}\n")
  elseif(line STREQUAL "EXPORTS")
    set(exports ON)
    string(APPEND out "EXPORTS\n")
  elseif(exports AND line MATCHES "^([^ ;=]+) *= *([^ ;]+)")
    string(APPEND out "    ${CMAKE_MATCH_2} == ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
file(WRITE ${OUT} "${out}")
