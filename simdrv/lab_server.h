// The lab's side of KTZ3649S.SYS under Wine (lab_server.cpp), and what it
// and the shim (wdm_shim.cpp) ask of each other.
#pragma once

#include <hostwin_driver.h>

namespace sim {

// The lab service starts and stops: its control device comes and goes.
DWORD StartLabServer();
void StopLabServer();

// The application's buffer of a read, as the lab client announced it
// before sending the read, written from the driver host.
struct CallerBuffer;
// The buffer that thread `tid` of process `pid` announced for a read of
// `size` bytes, or null.
CallerBuffer *TakeCallerBuffer(DWORD pid, DWORD tid, DWORD size);
void WriteCallerBuffer(CallerBuffer *buffer, DWORD offset, const void *data, DWORD bytes);
void ReleaseCallerBuffer(CallerBuffer *buffer);

// The process and thread that sent a request (wdm_shim.cpp).
void RequesterOf(const HW_REQUEST &request, DWORD *pid, DWORD *tid);

}  // namespace sim
