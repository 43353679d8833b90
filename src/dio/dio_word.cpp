// Word, double-word and port-group digital I/O: both ports as one 16-bit
// value (port 0 in the low byte), or port 1 alone, with the lines of the
// direction asked for; and one or two ports to and from a byte buffer.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "dio/dio_port.h"

namespace ktz {
namespace {

struct LineMasks {
    WORD input;
    WORD output;
};

// The lines of each direction for the whole DioPortMode field: a stray
// upper bit makes every line an output.
LineMasks LineMasksOf(WORD portMode) {
    switch (portMode) {
    case 0x11: return {0xFFFF, 0x0000};
    case 0x10: return {0xFF00, 0x00FF};
    case 0x01: return {0x00FF, 0xFF00};
    default: return {0x0000, 0xFFFF};
    }
}

enum class Lines { Inputs, Outputs };

// Reads the lines of one direction; port 1 gives port 1 alone in the low byte.
template <class T>
DWORD ReadLines(KTZHANDLE handle, WORD port, T *validMask, T *value, Lines lines) {
    DWORD rc = 0;
    DeviceRecord *device = FindKnownDevice(handle, &rc);
    if (!device) return rc;
    if (port >= kDioPorts) return DeviceError(*device, KtzErrInvalidChannel);
    if (!value) return DeviceError(*device, KtzErrInvalidParameter);
    WritePortDirections(*device);
    LineMasks masks = LineMasksOf(device->settings.DioPortMode);
    WORD mask = lines == Lines::Inputs ? masks.input : masks.output;
    WORD state;
    if (port == 0) {
        state = CardReadWord(*device, card::kDioBothPorts) & mask;
    } else {
        mask = (mask >> 8) & 0xFF;
        state = CardReadByte(*device, card::DioPort(1)) & mask;
    }
    *value = state;
    if (validMask) *validMask = mask;
    return kSuccess;
}

DWORD WriteLines(KTZHANDLE handle, WORD port, WORD mask, WORD state) {
    DWORD rc = 0;
    DeviceRecord *device = FindKnownDevice(handle, &rc);
    if (!device) return rc;
    if (port >= kDioPorts) return DeviceError(*device, KtzErrInvalidChannel);
    WritePortDirections(*device);
    WORD current = CardReadWord(*device, card::kDioBothPorts);
    if (port == 1) current = (current >> 8) & 0xFF;
    auto next = static_cast<WORD>((state & mask) | (current & ~mask));
    if (port == 0)
        CardWriteWord(*device, card::kDioBothPorts, next);
    else
        CardWriteByte(*device, card::DioPort(1), static_cast<BYTE>(next));
    return kSuccess;
}

// The checks of the port-group functions: the card has two ports, and a
// group is one or two of them.
DWORD CheckGroup(KTZHANDLE handle, DWORD firstPort, DWORD portCount, const BYTE *buffer) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(KtzErrInvalidHandle);
    if (firstPort >= kDioPorts || portCount == 0 || portCount > kDioPorts - firstPort)
        return DeviceError(*device, KtzErrInvalidChannel);
    if (!buffer) return DeviceError(*device, KtzErrInvalidParameter);
    return kSuccess;
}

using ByteRead = DWORD(WINAPI *)(KTZHANDLE, WORD, WORD *);
using WordRead = DWORD(WINAPI *)(KTZHANDLE, WORD, WORD *, WORD *);

// One port as a byte, or both as a little-endian word; the buffer is
// written only on success.
DWORD ReadGroup(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer,
                ByteRead readByte, WordRead readWord) {
    if (DWORD rc = CheckGroup(handle, firstPort, portCount, buffer)) return rc;
    WORD value = 0;
    DWORD rc = portCount == 1 ? readByte(handle, static_cast<WORD>(firstPort), &value)
                              : readWord(handle, 0, nullptr, &value);
    if (rc) return rc;
    buffer[0] = static_cast<BYTE>(value);
    if (portCount == 2) buffer[1] = static_cast<BYTE>(value >> 8);
    return kSuccess;
}

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI DioReadPortWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value) {
    return ReadLines(handle, port, validMask, value, Lines::Inputs);
}

DWORD WINAPI DioReadPortDword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value) {
    return ReadLines(handle, port, validMask, value, Lines::Inputs);
}

DWORD WINAPI DioGetCurrentDOWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value) {
    return ReadLines(handle, port, validMask, value, Lines::Outputs);
}

DWORD WINAPI DioGetCurrentDODword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value) {
    return ReadLines(handle, port, validMask, value, Lines::Outputs);
}

DWORD WINAPI DioWritePortWord(KTZHANDLE handle, WORD port, WORD mask, WORD state) {
    return WriteLines(handle, port, mask, state);
}

DWORD WINAPI DioWritePortDword(KTZHANDLE handle, WORD port, DWORD mask, DWORD state) {
    return WriteLines(handle, port, static_cast<WORD>(mask), static_cast<WORD>(state));
}

DWORD WINAPI DioReadDiPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer) {
    return ReadGroup(handle, firstPort, portCount, buffer, DioReadPortByte, DioReadPortWord);
}

DWORD WINAPI DioGetCurrentDoPortsState(KTZHANDLE handle, DWORD firstPort, DWORD portCount,
                                       BYTE *buffer) {
    return ReadGroup(handle, firstPort, portCount, buffer, DioGetCurrentDOByte,
                     DioGetCurrentDOWord);
}

DWORD WINAPI DioWriteDoPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer) {
    if (DWORD rc = CheckGroup(handle, firstPort, portCount, buffer)) return rc;
    if (portCount == 1)
        return DioWritePortByte(handle, static_cast<WORD>(firstPort), 0xFFFF, buffer[0]);
    return DioWritePortWord(handle, 0, 0xFFFF, static_cast<WORD>(buffer[0] | buffer[1] << 8));
}

}  // extern "C"
