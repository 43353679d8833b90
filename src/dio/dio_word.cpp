// Word, double-word and port-group digital I/O: both ports as one 16-bit
// value (port 0 in the low byte), or port 1 alone, with the lines of the
// direction asked for; and one or two ports to and from a byte buffer.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "dio/dio.h"

namespace ktz::dio {
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
DWORD ReadLines(const DeviceRecord &device, WORD port, T *validMask, T *value, Lines lines) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    if (!value) return DeviceError(device, KtzErrInvalidParameter);
    WritePortDirections(device);
    LineMasks masks = LineMasksOf(device.settings.DioPortMode);
    WORD mask = lines == Lines::Inputs ? masks.input : masks.output;
    WORD state;
    if (port == 0) {
        state = CardReadWord(device, card::kDioBothPorts) & mask;
    } else {
        mask = (mask >> 8) & 0xFF;
        state = CardReadByte(device, card::DioPort(1)) & mask;
    }
    *value = state;
    if (validMask) *validMask = mask;
    return kSuccess;
}

// Changes the lines of the mask to the state: both ports as one word (port
// 0), or port 1 alone.
DWORD WriteLines(const DeviceRecord &device, WORD port, WORD mask, WORD state) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    WritePortDirections(device);
    WORD current = CardReadWord(device, card::kDioBothPorts);
    if (port == 1) current = (current >> 8) & 0xFF;
    auto next = static_cast<WORD>((state & mask) | (current & ~mask));
    if (port == 0)
        CardWriteWord(device, card::kDioBothPorts, next);
    else
        CardWriteByte(device, card::DioPort(1), static_cast<BYTE>(next));
    return kSuccess;
}

// The checks of the port-group functions: the card has two ports, and a
// group is one or two of them; then the board, as the port functions test it.
DWORD CheckGroup(const DeviceRecord &device, DWORD firstPort, DWORD portCount,
                 const BYTE *buffer) {
    if (firstPort >= kDioPorts || portCount == 0 || portCount > kDioPorts - firstPort)
        return DeviceError(device, KtzErrInvalidChannel);
    if (!buffer) return DeviceError(device, KtzErrInvalidParameter);
    if (!device.IsKnownBoard()) return DeviceError(device, KtzErrUnsupportedBoard);
    return kSuccess;
}

// One port as a byte (read with `readByte`), or both as a little-endian
// word of the lines of `lines`; the buffer is written only on success.
DWORD ReadGroup(const DeviceRecord &device, DWORD firstPort, DWORD portCount, BYTE *buffer,
                DWORD (*readByte)(const DeviceRecord &, WORD, WORD *), Lines lines) {
    if (DWORD rc = CheckGroup(device, firstPort, portCount, buffer)) return rc;
    WORD value = 0;
    DWORD rc = portCount == 1 ? readByte(device, static_cast<WORD>(firstPort), &value)
                              : ReadLines<WORD>(device, 0, nullptr, &value, lines);
    if (rc) return rc;
    buffer[0] = static_cast<BYTE>(value);
    if (portCount == 2) buffer[1] = static_cast<BYTE>(value >> 8);
    return kSuccess;
}

DWORD WriteGroup(DeviceRecord &device, DWORD firstPort, DWORD portCount, const BYTE *buffer) {
    if (DWORD rc = CheckGroup(device, firstPort, portCount, buffer)) return rc;
    if (portCount == 1)
        return PortWriteMasked(device, static_cast<WORD>(firstPort), 0xFFFF, buffer[0]);
    return WriteLines(device, 0, 0xFFFF, static_cast<WORD>(buffer[0] | buffer[1] << 8));
}

}  // namespace

}  // namespace ktz::dio

using namespace ktz;

extern "C" {

DWORD WINAPI DioReadPortWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLines(*device, port, validMask, value, dio::Lines::Inputs)
                  : device.Refusal();
}

DWORD WINAPI DioReadPortDword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLines(*device, port, validMask, value, dio::Lines::Inputs)
                  : device.Refusal();
}

DWORD WINAPI DioGetCurrentDOWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLines(*device, port, validMask, value, dio::Lines::Outputs)
                  : device.Refusal();
}

DWORD WINAPI DioGetCurrentDODword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::ReadLines(*device, port, validMask, value, dio::Lines::Outputs)
                  : device.Refusal();
}

DWORD WINAPI DioWritePortWord(KTZHANDLE handle, WORD port, WORD mask, WORD state) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? dio::WriteLines(*device, port, mask, state) : device.Refusal();
}

DWORD WINAPI DioWritePortDword(KTZHANDLE handle, WORD port, DWORD mask, DWORD state) {
    DeviceUse device(handle, BoardCheck::Known);
    if (!device) return device.Refusal();
    return dio::WriteLines(*device, port, static_cast<WORD>(mask), static_cast<WORD>(state));
}

DWORD WINAPI DioReadDiPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    return dio::ReadGroup(*device, firstPort, portCount, buffer, dio::PortRead,
                          dio::Lines::Inputs);
}

DWORD WINAPI DioGetCurrentDoPortsState(KTZHANDLE handle, DWORD firstPort, DWORD portCount,
                                       BYTE *buffer) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    return dio::ReadGroup(*device, firstPort, portCount, buffer, dio::PortReadback,
                          dio::Lines::Outputs);
}

DWORD WINAPI DioWriteDoPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer) {
    DeviceUse device(handle);
    return device ? dio::WriteGroup(*device, firstPort, portCount, buffer) : device.Refusal();
}

}  // extern "C"
