# The Wine test bed of the Windows build: GoogleTest built for the target,
# one 32-bit Wine prefix per build folder, and CTest entries that run test
# programs in it.
#
#   ktz_add_wine_executable(<target> <sources>...)
#       A GoogleTest program (gtest, gmock and gtest_main linked in, -static:
#       it needs only system DLLs).
#   ktz_add_kernel_driver(<target> <IMAGE> <sources>...)
#       A kernel-mode driver image <IMAGE>.SYS from C sources (native
#       subsystem, entry DriverEntry, importing ntoskrnl.exe and hal.dll),
#       with the DDK headers of MinGW-w64 on the include path.
#   ktz_add_wine_test(<name> <target> [<args>...])
#       The CTest entry wine_<name>: runs <target> under Wine in the build
#       folder's prefix and keeps its GoogleTest results in
#       ${KTZ_WINE_RESULTS}/wine_<name>.xml. Without Wine the entry prints
#       why and is reported as skipped.
#   ktz_wine_fixture(<test>)
#       Lets another CTest entry run under Wine in the same prefix.
#
# scripts/wine_summary.py counts the test cases of every wine_ entry.
include_guard(GLOBAL)

find_program(KTZ_WINE NAMES wine)
find_program(KTZ_WINESERVER NAMES wineserver)
set(KTZ_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(KTZ_WINE_RESULTS ${CMAKE_BINARY_DIR}/wine-results)
set(KTZ_WINE_ENVIRONMENT
    WINEPREFIX=${KTZ_WINE_PREFIX} WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)

# ---- GoogleTest for the target ----------------------------------------------

set(KTZ_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources to build for the target (Debian's googletest package)")
if(NOT EXISTS ${KTZ_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KTZ_GOOGLETEST_SOURCE} "
                      "(install libgtest-dev, or set KTZ_GOOGLETEST_SOURCE)")
endif()
set(INSTALL_GTEST OFF)
add_subdirectory(${KTZ_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest builds with its own warning flags, not with this project's -Werror.
foreach(library gtest gtest_main gmock gmock_main)
  set_property(TARGET ${library} PROPERTY COMPILE_OPTIONS "")
endforeach()

function(ktz_add_wine_executable target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE gtest gmock gtest_main)
  target_link_options(${target} PRIVATE -static)
endfunction()

# ---- kernel-mode drivers --------------------------------------------------------

find_path(KTZ_DDK_INCLUDE ntddk.h PATH_SUFFIXES ddk REQUIRED)

function(ktz_add_kernel_driver target image)
  add_library(${target} MODULE ${ARGN})
  target_include_directories(${target} SYSTEM PRIVATE ${KTZ_DDK_INCLUDE})
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -Wl,--subsystem,native
                      -Wl,--entry,_DriverEntry@8)
  target_link_libraries(${target} PRIVATE ntoskrnl hal)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${image} SUFFIX ".SYS"
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endfunction()

# ---- the prefix and the entries ---------------------------------------------------

if(NOT (KTZ_WINE AND KTZ_WINESERVER))
  message(STATUS "Wine not found (wine, wine32:i386): the wine_ test entries will report "
                 "themselves skipped")
endif()

if(KTZ_WINE AND KTZ_WINESERVER)
  # Made once per build folder, then kept: its server runs for the whole
  # test run and is stopped at the end.
  add_test(NAME wine_prefix_up
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.sh up ${KTZ_WINE_PREFIX})
  add_test(NAME wine_prefix_down
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.sh down ${KTZ_WINE_PREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine_prefix)
endif()

function(ktz_wine_fixture test)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine_prefix
    ENVIRONMENT "${KTZ_WINE_ENVIRONMENT}")
endfunction()

function(ktz_add_wine_test name target)
  set(results ${KTZ_WINE_RESULTS}/wine_${name}.xml)
  if(KTZ_WINE AND KTZ_WINESERVER)
    add_test(NAME wine_${name}
      COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine_run.sh ${results} ${KTZ_WINE}
              $<TARGET_FILE:${target}> ${ARGN}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
    ktz_wine_fixture(wine_${name})
    set_tests_properties(wine_${name} PROPERTIES TIMEOUT 600)
  else()
    add_test(NAME wine_${name}
      COMMAND sh -c "rm -f '${results}'; echo 'wine_${name}: skipped: Wine is not installed (wine, wine32:i386)'; exit 77")
    set_tests_properties(wine_${name} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
