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

}  // namespace ktz
