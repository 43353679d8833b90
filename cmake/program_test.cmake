# CTest entries that run a program as a user runs it: exit code 0 and the
# expected lines in its output (cmake/run_program.cmake).
#
#   ktz_add_program_test(<name> COMMAND <program> [<args>...]
#                        [EXPECT <regex>...] [WINE [LAUNCHER <launcher>]])
#
# <program> may be a target name. With WINE (Windows build) the program runs
# under Wine (or under <launcher>, with Wine's environment) in the build
# folder's prefix (cmake/wine.cmake's fixture, one program at a time) and
# counts as one test case in the `wine: N passed` line; without Wine the
# entry says so and is skipped.
include_guard(GLOBAL)

function(ktz_add_program_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WINE" "LAUNCHER" "COMMAND;EXPECT")
  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  # The lists travel as one argument each.
  string(REPLACE ";" "$<SEMICOLON>" args "${arg_COMMAND}")
  string(REPLACE ";" "$<SEMICOLON>" expect "${arg_EXPECT}")
  set(run ${CMAKE_COMMAND} -DPROGRAM=${program} -DARGS=${args} -DEXPECT=${expect})
  if(NOT arg_WINE)
    add_test(NAME ${name} COMMAND ${run} -P ${PROJECT_SOURCE_DIR}/cmake/run_program.cmake)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    return()
  endif()
  set(results ${KTZ_WINE_RESULTS}/${name}.xml)
  if(NOT arg_LAUNCHER)
    set(arg_LAUNCHER ${KTZ_WINE})
  endif()
  if(KTZ_WINE AND KTZ_WINESERVER)
    add_test(NAME ${name}
      COMMAND ${run} -DLAUNCHER=${arg_LAUNCHER} -DRESULTS=${results} -DCASE=${name}
              -P ${PROJECT_SOURCE_DIR}/cmake/run_program.cmake)
    ktz_wine_fixture(${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  else()
    add_test(NAME ${name}
      COMMAND sh -c "rm -f '${results}'; echo '${name}: skipped: Wine is not installed (wine, wine32:i386)'; exit 77")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
