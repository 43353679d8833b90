// Analog-output ranges: the ranges the internal reference accepts, and the
// scaling of a voltage to an output code. Single-value output, the waveform
// output and the device properties share these.
#pragma once

#include <windows.h>

#include "config/settings.h"

namespace ktz {

struct DeviceRecord;

constexpr WORD kAoChannels = 2;
// The largest code of the 12-bit converter.
constexpr WORD kAoMaxCode = 4095;

// Whether a range is one of the internal reference's: a maximum within
// 0.000001 of 10.0 or 5.0 and a minimum within 0.000001 of 0.0, -5.0 or
// -10.0, in any pairing.
bool IsInternalReferenceRange(FLOAT maximum, FLOAT minimum);

// The output code of a voltage in a channel's range (the second range when
// its maximum is above 0): clamped to the range, maximum - minimum spanning
// 4096 codes, truncated, and limited to 4095. Returns false and writes
// nothing for a voltage that is not a number or a range without width.
bool ScaleToCode(const AOSettingsEntry &entry, FLOAT voltage, WORD *code);

// The first checks of every output function: the board must have outputs.
// 0, error 27 for the PCI-3649L, or error 24 for an unknown board.
DWORD CheckOutputBoard(const DeviceRecord &device);

}  // namespace ktz
