#include "core/registers.h"

#include <ktz3649_driver.h>

#include "core/device.h"
#include "core/kernel.h"
#include "core/result.h"

namespace ktz {
namespace {

bool WriteByte(const DeviceRecord &device, DWORD offset, BYTE value) {
    KtzRegisterWriteByte request{offset, value};
    return KernelRequest(device, KTZ_IOCTL_WRITE_BYTE, &request, sizeof request, nullptr, 0);
}

bool WriteWord(const DeviceRecord &device, DWORD offset, WORD value) {
    KtzRegisterWriteWord request{offset, value};
    return KernelRequest(device, KTZ_IOCTL_WRITE_WORD, &request, sizeof request, nullptr, 0);
}

bool ReadByte(const DeviceRecord &device, DWORD offset, BYTE *value) {
    return KernelRequest(device, KTZ_IOCTL_READ_BYTE, &offset, sizeof offset, value, sizeof *value);
}

bool ReadWord(const DeviceRecord &device, DWORD offset, WORD *value) {
    return KernelRequest(device, KTZ_IOCTL_READ_WORD, &offset, sizeof offset, value, sizeof *value);
}

// The bare result of a failed port function, from the system's last error.
DWORD PortFailure() {
    switch (GetLastError()) {
    case 0xFFFFFFFF: return Bare(KtzErrKernelRequest);
    case ERROR_FILE_NOT_FOUND: return Bare(KtzErrPortFileNotFound);
    case ERROR_INVALID_HANDLE: return Bare(KtzErrPortInvalidHandle);
    case ERROR_TOO_MANY_CMDS: return Bare(KtzErrPortTooManyCommands);
    case ERROR_NOACCESS: return Bare(KtzErrPortNoAccess);
    default: return Bare(KtzErrPortRequest);
    }
}

// The offset of a port address: an unsigned 32-bit difference, so a port
// below the base gives a very large offset, sent as it is.
DWORD PortOffset(const DeviceRecord &device, WORD port) {
    return static_cast<DWORD>(port) - static_cast<DWORD>(device.settings.BaseAddress);
}

}  // namespace

void CardWriteByte(const DeviceRecord &device, WORD offset, BYTE value) {
    KtzRegisterWriteByte request{offset, value};
    SendIgnoringResult(device, KTZ_IOCTL_WRITE_BYTE, &request, sizeof request, nullptr, 0);
}

void CardWriteWord(const DeviceRecord &device, WORD offset, WORD value) {
    KtzRegisterWriteWord request{offset, value};
    SendIgnoringResult(device, KTZ_IOCTL_WRITE_WORD, &request, sizeof request, nullptr, 0);
}

WORD CardReadByte(const DeviceRecord &device, WORD offset) {
    BYTE value = 0;
    return ReadByte(device, offset, &value) ? value : 0;
}

WORD CardReadWord(const DeviceRecord &device, WORD offset) {
    WORD value = 0;
    return ReadWord(device, offset, &value) ? value : 0;
}

}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI WritePortByte(KTZHANDLE handle, WORD port, BYTE value) {
    DeviceUse device(handle);
    return device ? WriteByte(*device, PortOffset(*device, port), value) ? kSuccess : PortFailure()
                  : device.Refusal();
}

DWORD WINAPI WritePortWord(KTZHANDLE handle, WORD port, WORD value) {
    DeviceUse device(handle);
    return device ? WriteWord(*device, PortOffset(*device, port), value) ? kSuccess : PortFailure()
                  : device.Refusal();
}

DWORD WINAPI ReadPortByte(KTZHANDLE handle, WORD port, WORD *value) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    if (!value) return DeviceError(*device, KtzErrInvalidParameter);
    BYTE byte = 0;
    if (!ReadByte(*device, PortOffset(*device, port), &byte)) return PortFailure();
    *value = byte;
    return kSuccess;
}

DWORD WINAPI ReadPortWord(KTZHANDLE handle, WORD port, WORD *value) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    if (!value) return DeviceError(*device, KtzErrInvalidParameter);
    WORD word = 0;
    if (!ReadWord(*device, PortOffset(*device, port), &word)) return PortFailure();
    *value = word;
    return kSuccess;
}

}  // extern "C"
