// The service control of the lab client under Wine: the kernel-driver
// services KTZ3649S (the card's driver) and KTZ3649SIM (the lab), both of
// the image KTZ3649S.SYS, started and stopped through the service control
// manager and waited for.
#pragma once

#include <windows.h>

namespace simlab {

// C:\windows\system32\drivers\KTZ3649S.SYS, the path the library's service
// registration gives the service; the lab service gets the same, so that
// Wine's service manager puts both into one driver host.
void DriverImagePath(char *path, DWORD size);

// Starts a service and waits until it runs; 0 or the Win32 error
// (ERROR_SERVICE_ALREADY_RUNNING when it ran). A driver host that is still
// starting in a cold prefix answers ERROR_SERVICE_REQUEST_TIMEOUT: retried.
DWORD StartDriver(const char *name);
// Stops a service and waits until it has stopped; 0 or the Win32 error
// (ERROR_SERVICE_NOT_ACTIVE when it did not run).
DWORD StopDriver(const char *name);
// Whether the service runs (or is about to).
bool DriverRuns(const char *name);
// Puts an existing service into the lab's load-order group; false when it
// does not exist.
bool JoinLabGroup(const char *name);

}  // namespace simlab
