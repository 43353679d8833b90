// The one way the library talks to the kernel driver.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// Sends a device I/O control request to the device's kernel handle.
// Returns whether the request succeeded; on failure GetLastError() tells why.
// With an OVERLAPPED the request may stay pending (false, ERROR_IO_PENDING).
[[nodiscard]] bool KernelRequest(const DeviceRecord &device, DWORD code, const void *in,
                                 DWORD inSize, void *out, DWORD outSize, DWORD *bytes = nullptr,
                                 OVERLAPPED *overlapped = nullptr);

// Sends a request whose own success is not consulted, by decision: the
// driver answers in the reply (a status or availability word, progress),
// which a failed request leaves as the caller filled it, or the request
// ends something whose outcome is not reported (a failed register write
// vanishes, a failed load or clear is not noticed).
void SendIgnoringResult(const DeviceRecord &device, DWORD code, const void *in, DWORD inSize,
                        void *out, DWORD outSize);

// Waits until a request sent with `overlapped` that the driver kept pending
// (or completed at once) has completed, so that nothing writes into the
// OVERLAPPED, its event or the request's buffers afterwards. `ended` says
// whether the driver accepted a request that ends it (a stop or terminate):
// the driver then completes it, perhaps a while later. Otherwise it is
// cancelled first: CancelIo cancels every request that the calling thread
// has pending on the device (the other fast family's as well, whose run
// then ends too), and one sent by another thread is waited for until the
// driver completes it.
void AwaitRequest(const DeviceRecord &device, OVERLAPPED &overlapped, bool ended);

}  // namespace ktz
