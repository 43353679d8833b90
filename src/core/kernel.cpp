#include "core/kernel.h"

#include "core/device.h"

namespace ktz {

bool KernelRequest(const DeviceRecord &device, DWORD code, const void *in, DWORD inSize,
                   void *out, DWORD outSize, DWORD *bytes, OVERLAPPED *overlapped) {
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device.kernelHandle, code, const_cast<void *>(in), inSize, out,
                              outSize, bytes ? bytes : &returned, overlapped);
    return ok != FALSE;
}

void SendIgnoringResult(const DeviceRecord &device, DWORD code, const void *in, DWORD inSize,
                        void *out, DWORD outSize) {
    [[maybe_unused]] bool sent = KernelRequest(device, code, in, inSize, out, outSize);
}

void AwaitRequest(const DeviceRecord &device, OVERLAPPED &overlapped, bool ended) {
    if (!ended) CancelIo(device.kernelHandle);
    // The request's own outcome is the driver's business; only its end matters.
    DWORD bytes = 0;
    [[maybe_unused]] BOOL done = GetOverlappedResult(device.kernelHandle, &overlapped, &bytes, TRUE);
}

}  // namespace ktz
