# Writes a linker version script that exports exactly the functions of a
# module-definition (.def) file, under their plain names, and hides the rest.
# Usage: cmake -DDEF=Ktz3649.def -DOUT=ktz3649.map -P version_script.cmake
file(STRINGS "${DEF}" lines)
set(in_exports FALSE)
set(body "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^;")
    continue()
  endif()
  if(line STREQUAL "EXPORTS")
    set(in_exports TRUE)
    continue()
  endif()
  if(NOT in_exports)
    continue()
  endif()
  # "exported = internal@N" or "name@N": the C name is the internal one
  # without its argument-size decoration.
  if(line MATCHES "=[ \t]*([A-Za-z_][A-Za-z0-9_]*)")
    set(name "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^_?([A-Za-z][A-Za-z0-9_]*)")
    set(name "${CMAKE_MATCH_1}")
  endif()
  string(APPEND body "    ${name};\n")
endforeach()
file(WRITE "${OUT}.tmp" "{\n  global:\n${body}  local: *;\n};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
