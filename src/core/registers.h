// Card register access: every access is one request to the kernel driver,
// by offset from the card's register base. The primitives report nothing:
// a failed write vanishes and a failed read gives 0.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

void CardWriteByte(const DeviceRecord &device, WORD offset, BYTE value);
void CardWriteWord(const DeviceRecord &device, WORD offset, WORD value);
WORD CardReadByte(const DeviceRecord &device, WORD offset);
WORD CardReadWord(const DeviceRecord &device, WORD offset);

}  // namespace ktz
