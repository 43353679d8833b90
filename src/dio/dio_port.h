// Register work of the digital ports, shared by the byte, bit, word and
// port-group functions.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz {

struct DeviceRecord;

constexpr WORD kDioPorts = 2;

// Writes the low byte of DioPortMode to the direction register.
void WritePortDirections(const DeviceRecord &device);

// Direction write, then the port byte. Error 7 for a port above 1.
DWORD DioPortRead(const DeviceRecord &device, WORD port, WORD *value);
// Direction write, read back into dioReadback, then the bits of the mask
// from the state and the others as read. Error 7 for a port above 1.
DWORD DioPortWriteMasked(DeviceRecord &device, WORD port, WORD mask, WORD state);
// The port byte without a direction write. Error 7 for a port above 1.
DWORD DioPortReadback(const DeviceRecord &device, WORD port, WORD *value);

}  // namespace ktz
