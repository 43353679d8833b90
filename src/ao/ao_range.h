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

// The same scaling with the range looked up once, for tables of voltages.
struct AoScaleRange {
    long double minimum;
    long double maximum;
    long double width;  // finite and not 0
};

// The range of an entry, as ScaleToCode uses it; false for a range without width.
bool ResolveScaleRange(const AOSettingsEntry &entry, AoScaleRange *range);

// The code of a voltage that is a number, in a resolved range.
inline WORD CodeInRange(const AoScaleRange &range, FLOAT voltage) {
    long double v = voltage;
    if (v < range.minimum) v = range.minimum;
    if (v > range.maximum) v = range.maximum;
    long double scaled = (v - range.minimum) * 4096 / range.width;
    // Code 4096 would wrap to 0 in the 12-bit converter: the top of the
    // range is the largest code.
    if (!(scaled >= 0)) scaled = 0;
    if (scaled > kAoMaxCode) scaled = kAoMaxCode;
    return static_cast<WORD>(scaled);
}

// The first checks of every output function: the board must have outputs.
// 0, error 27 for the PCI-3649L, or error 24 for an unknown board.
DWORD CheckOutputBoard(const DeviceRecord &device);

}  // namespace ktz
