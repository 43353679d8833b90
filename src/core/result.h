// Result codes: 0, a device error ((device number + 1) << 12 | error), a
// device status passed on from the kernel driver, or a bare error number.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz {

struct DeviceRecord;

constexpr DWORD kSuccess = 0;

constexpr DWORD Bare(DWORD error) { return error; }

constexpr DWORD DeviceError(DWORD deviceNumber, DWORD error) {
    return ((deviceNumber + 1) << 12) | error;
}
DWORD DeviceError(const DeviceRecord &device, DWORD error);

// A non-zero status word of the kernel driver's reply, added (not ORed) to
// the device bits.
constexpr DWORD DeviceStatus(DWORD deviceNumber, DWORD status) {
    return ((deviceNumber + 1) << 12) + status;
}
DWORD DeviceStatus(const DeviceRecord &device, DWORD status);

}  // namespace ktz
