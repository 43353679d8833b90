// What the simulated driver and the lab do differently as a module of
// hostwin (host_platform.cpp) and as the kernel-driver image KTZ3649S.SYS in
// Wine's driver host (wdm_shim.cpp; the service control there is the lab
// client's, client/machine.cpp).
#pragma once

#include <windows.h>

#include <hostwin_driver.h>
#include <ktz3649sim.h>

extern "C" {
// The driver module's entry points (driver.cpp; HW_DRIVER_ENTRY and
// HW_DRIVER_UNLOAD): hostwin's service control manager finds them by name,
// the shim's DriverEntry and DriverUnload call them.
KTZSIM_API DWORD HwDriverEntry(LPCSTR serviceName);
KTZSIM_API VOID HwDriverUnload(VOID);
}

namespace sim {

// The acquisition engine wrote bytes [offset, offset + bytes) of a pending
// read's buffer. Under hostwin that buffer is the application's own and
// nothing is left to do. In Wine's driver host it is a copy that reaches
// the application only when the read completes; this copies the range into
// the application's buffer now, as the card's DMA would have.
void DmaWritten(HW_REQUEST &read, DWORD offset, DWORD bytes);

// The thread (of the application's process) on whose behalf the current
// request, open or lab call runs: under hostwin the calling thread itself,
// in Wine's driver host the client thread of the request being dispatched.
// The same number as that thread's GetCurrentThreadId().
DWORD RequesterThread();

// The service side of installing a device: registers the KTZ3649S service
// (its keys, the event-log source and the service) and starts it, or
// restarts it when it runs. 0 or a Win32 error.
int RegisterAndRestartDriver();

}  // namespace sim
