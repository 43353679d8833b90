// Registration, installation and removal of the kernel service KTZ3649S.
#pragma once

#include <windows.h>

namespace ktz {

// Creates the service keys of KTZDAQ and KTZ3649S and the event-log source,
// writing their values only when a key is new; 0, or 1 when a key cannot be
// created or a value written (a missing event-log root is no failure).
DWORD RegisterDriverKeys();

// Service-control steps through an open service manager: 1 for success
// (including "already exists", "already running", for stop and delete
// ERROR_INVALID_SERVICE_CONTROL, and for stop "not running"), 0 for failure
// with the last error set.
DWORD CreateDriverService(SC_HANDLE manager, LPCSTR name);
DWORD StopDriverService(SC_HANDLE manager, LPCSTR name);
DWORD StartDriverService(SC_HANDLE manager, LPCSTR name);
DWORD DeleteDriverService(SC_HANDLE manager, LPCSTR name);

// Create, stop and start the service; 0, or the system error of the step
// that failed.
DWORD InstallAndRestartService(LPCSTR name);
// Stop and delete the service; 0 or the system error.
DWORD RemoveService(LPCSTR name);
// Creates the service key with its values and installs and starts the
// service; the low byte is 1 only when the key was new and all of that
// worked (only then is the service to be removed again afterwards).
DWORD TemporaryServiceInstall(LPCSTR name, LPCSTR serviceKey);

}  // namespace ktz
