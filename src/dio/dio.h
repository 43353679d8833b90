// Digital I/O inside the library: its state in the device record, the
// register work of the ports, and the verbs of the exports.
#pragma once

#include <windows.h>

#include "core/card_registers.h"

namespace ktz {

struct DeviceRecord;

struct DioState {
    WORD dioReadback[2] = {};  // the byte a masked write last read back, per port
};

constexpr WORD kDioPorts = card::kDioPorts;

namespace dio {

// The register work of the ports, after the handle and board checks.
// Writes the low byte of DioPortMode to the direction register.
void WritePortDirections(const DeviceRecord &device);
// Direction write, then the port byte. KtzErrInvalidChannel for a port above 1.
DWORD PortRead(const DeviceRecord &device, WORD port, WORD *value);
// Direction write, read back into dioReadback, then the bits of the mask
// from the state and the others as read. KtzErrInvalidChannel for a port above 1.
DWORD PortWriteMasked(DeviceRecord &device, WORD port, WORD mask, WORD state);
// The port byte without a direction write. KtzErrInvalidChannel for a port above 1.
DWORD PortReadback(const DeviceRecord &device, WORD port, WORD *value);

// Makes a port an input (direction 0) or an output; nothing for a port above 1.
DWORD SetPortMode(DeviceRecord &device, WORD port, WORD direction);  // DioSetPortMode

}  // namespace dio
}  // namespace ktz
