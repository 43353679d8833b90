// The one way the library talks to the kernel driver.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// Sends a device I/O control request to the device's kernel handle.
// Returns whether the request succeeded; on failure GetLastError() tells why.
// With an OVERLAPPED the request may stay pending (false, ERROR_IO_PENDING).
bool KernelRequest(const DeviceRecord &device, DWORD code, const void *in, DWORD inSize,
                   void *out, DWORD outSize, DWORD *bytes = nullptr,
                   OVERLAPPED *overlapped = nullptr);

}  // namespace ktz
