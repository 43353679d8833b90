// Byte and bit digital I/O: port directions, port and line reads and
// writes, and the read-back of what an output port drives.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/result.h"
#include "dio/dio_port.h"

namespace ktz {
namespace {

constexpr WORD kBits = 8;

using PortRead = DWORD (*)(const DeviceRecord &, WORD, WORD *);

// Reads a port with `read`, then picks one line: bit above 7 gives error 10
// with the whole port byte in the value.
DWORD ReadLine(KTZHANDLE handle, WORD port, WORD bit, WORD *value, PortRead read) {
    DWORD rc = 0;
    DeviceRecord *device = FindKnownDevice(handle, &rc);
    if (!device) return rc;
    if (port >= kDioPorts) return DeviceError(*device, KtzErrInvalidChannel);
    if (!value) return DeviceError(*device, KtzErrInvalidParameter);
    if (DWORD result = read(*device, port, value)) return result;
    if (bit >= kBits) return DeviceError(*device, KtzErrInvalidParameter);
    *value = (*value >> bit) & 1;
    return kSuccess;
}

DWORD ReadByte(KTZHANDLE handle, WORD port, WORD *value, PortRead read) {
    DWORD rc = 0;
    DeviceRecord *device = FindKnownDevice(handle, &rc);
    if (!device) return rc;
    if (port >= kDioPorts) return DeviceError(*device, KtzErrInvalidChannel);
    if (!value) return DeviceError(*device, KtzErrInvalidParameter);
    return read(*device, port, value);
}

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI DioSetPortMode(KTZHANDLE handle, WORD port, WORD direction) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(KtzErrInvalidHandle);
    if (port >= kDioPorts) return kSuccess;  // nothing to change
    WORD &mode = device->settings.DioPortMode;
    if (direction == 0)
        mode = static_cast<WORD>(mode | card::DioInputBit(port));
    else
        mode = static_cast<WORD>(mode & ~card::DioInputBit(port) & 0xFF);
    return kSuccess;
}

DWORD WINAPI DioGetConfig(KTZHANDLE handle, WORD *directions, WORD count) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(KtzErrInvalidHandle);
    if (!directions) return DeviceError(*device, KtzErrInvalidParameter);
    for (WORD i = 0; i < count; ++i) {
        if (i < kDioPorts)
            directions[i] = (device->settings.DioPortMode & card::DioInputBit(i)) ? 0 : 1;
        else
            directions[i] = 0xFFFF;
    }
    return kSuccess;
}

DWORD WINAPI DioReadPortByte(KTZHANDLE handle, WORD port, WORD *value) {
    return ReadByte(handle, port, value, DioPortRead);
}

DWORD WINAPI DioWritePortByte(KTZHANDLE handle, WORD port, WORD mask, WORD state) {
    DWORD rc = 0;
    DeviceRecord *device = FindKnownDevice(handle, &rc);
    if (!device) return rc;
    return DioPortWriteMasked(*device, port, mask, state);
}

DWORD WINAPI DioReadBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value) {
    return ReadLine(handle, port, bit, value, DioPortRead);
}

DWORD WINAPI DioWriteBit(KTZHANDLE handle, WORD port, WORD bit, WORD state) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(KtzErrInvalidHandle);
    if (bit >= kBits) return DeviceError(*device, KtzErrInvalidParameter);
    if (!device->IsKnownBoard()) return DeviceError(*device, KtzErrUnsupportedBoard);
    // Only bit 0 of the state counts: 2 shifted to the line's neighbour writes 0.
    return DioPortWriteMasked(*device, port, static_cast<WORD>(1u << bit),
                              static_cast<WORD>(state << bit));
}

DWORD WINAPI DioGetCurrentDOByte(KTZHANDLE handle, WORD port, WORD *value) {
    return ReadByte(handle, port, value, DioPortReadback);
}

DWORD WINAPI DioGetCurrentDOBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value) {
    return ReadLine(handle, port, bit, value, DioPortReadback);
}

}  // extern "C"
