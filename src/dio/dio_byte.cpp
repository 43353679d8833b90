// Byte and bit digital I/O: port directions, port and line reads and
// writes, and the read-back of what an output port drives.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/result.h"
#include "dio/dio.h"

namespace ktz::dio {
namespace {

constexpr WORD kBits = 8;

using PortReader = DWORD (*)(const DeviceRecord &, WORD, WORD *);

// A port byte with `read` (with or without the direction write).
DWORD ReadByte(const DeviceRecord &device, WORD port, WORD *value, PortReader read) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    if (!value) return DeviceError(device, KtzErrInvalidParameter);
    return read(device, port, value);
}

// One line of a port read with `read`: a bit above 7 gives
// KtzErrInvalidParameter with the whole port byte in the value.
DWORD ReadLine(const DeviceRecord &device, WORD port, WORD bit, WORD *value, PortReader read) {
    if (DWORD rc = ReadByte(device, port, value, read)) return rc;
    if (bit >= kBits) return DeviceError(device, KtzErrInvalidParameter);
    *value = (*value >> bit) & 1;
    return kSuccess;
}

// DioWriteBit: the bit is tested before the board.
DWORD WriteLine(DeviceRecord &device, WORD port, WORD bit, WORD state) {
    if (bit >= kBits) return DeviceError(device, KtzErrInvalidParameter);
    if (!device.IsKnownBoard()) return DeviceError(device, KtzErrUnsupportedBoard);
    // Only bit 0 of the state counts: 2 shifted to the line's neighbour writes 0.
    return PortWriteMasked(device, port, static_cast<WORD>(1u << bit),
                           static_cast<WORD>(state << bit));
}

DWORD GetConfig(const DeviceRecord &device, WORD *directions, WORD count) {
    if (!directions) return DeviceError(device, KtzErrInvalidParameter);
    for (WORD i = 0; i < count; ++i) {
        if (i < kDioPorts)
            directions[i] = (device.settings.DioPortMode & card::DioInputBit(i)) ? 0 : 1;
        else
            directions[i] = 0xFFFF;
    }
    return kSuccess;
}

}  // namespace

DWORD SetPortMode(DeviceRecord &device, WORD port, WORD direction) {
    if (port >= kDioPorts) return kSuccess;  // nothing to change
    WORD &mode = device.settings.DioPortMode;
    if (direction == 0)
        mode = static_cast<WORD>(mode | card::DioInputBit(port));
    else
        mode = static_cast<WORD>(mode & ~card::DioInputBit(port) & 0xFF);
    return kSuccess;
}

}  // namespace ktz::dio

using namespace ktz;

extern "C" {

DWORD WINAPI DioSetPortMode(KTZHANDLE handle, WORD port, WORD direction) {
    DeviceUse device(handle);
    return device ? dio::SetPortMode(*device, port, direction) : device.Refusal();
}

DWORD WINAPI DioGetConfig(KTZHANDLE handle, WORD *directions, WORD count) {
    DeviceUse device(handle);
    return device ? dio::GetConfig(*device, directions, count) : device.Refusal();
}

DWORD WINAPI DioReadPortByte(KTZHANDLE handle, WORD port, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadByte(*device, port, value, dio::PortRead) : device.Refusal();
}

DWORD WINAPI DioWritePortByte(KTZHANDLE handle, WORD port, WORD mask, WORD state) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::PortWriteMasked(*device, port, mask, state) : device.Refusal();
}

DWORD WINAPI DioReadBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLine(*device, port, bit, value, dio::PortRead) : device.Refusal();
}

DWORD WINAPI DioWriteBit(KTZHANDLE handle, WORD port, WORD bit, WORD state) {
    DeviceUse device(handle);
    return device ? dio::WriteLine(*device, port, bit, state) : device.Refusal();
}

DWORD WINAPI DioGetCurrentDOByte(KTZHANDLE handle, WORD port, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadByte(*device, port, value, dio::PortReadback) : device.Refusal();
}

DWORD WINAPI DioGetCurrentDOBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLine(*device, port, bit, value, dio::PortReadback) : device.Refusal();
}

}  // extern "C"
