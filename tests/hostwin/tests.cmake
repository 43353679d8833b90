# The hostwin test sources. The Win32 ones use only Win32 calls and run
# on both targets: on the host against hostwin, and built for Windows
# against a real Win32 (Wine). The host ones need hostwin's own controls.
set(HOSTWIN_WIN32_TESTS
  devices_test.cpp
  memory_test.cpp
  registry_test.cpp
  services_test.cpp
  sync_test.cpp
  system_test.cpp
  test_platform.cpp
  wsprintf_test.cpp
)
set(HOSTWIN_HOST_TESTS
  hostwin_control_test.cpp
  hwrc_test.cpp
  regfile_test.cpp
  ui_test.cpp
)
list(TRANSFORM HOSTWIN_WIN32_TESTS PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM HOSTWIN_HOST_TESTS PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
