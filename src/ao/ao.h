// Analog output inside the library: the ranges that the internal reference
// accepts, the scaling of volts to output codes that single-value output,
// waveform output and the device properties share, and the verbs of the
// exports.
#pragma once

#include <windows.h>

#include "config/settings.h"
#include "core/card_registers.h"

namespace ktz {

struct DeviceRecord;

constexpr WORD kAoChannels = card::kAoChannels;
// The largest code of the 12-bit converter.
constexpr WORD kAoMaxCode = 4095;

// Reference sources of an output channel's settings.
constexpr WORD kReferenceInternal = 0;
constexpr WORD kReferenceExternalUnipolar = 1;
constexpr WORD kReferenceExternalBipolar = 2;

namespace ao {

// Whether a range is one of the internal reference's: a maximum within
// 0.000001 of 10.0 or 5.0 and a minimum within 0.000001 of 0.0, -5.0 or
// -10.0, in any pairing.
bool IsInternalReferenceRange(FLOAT maximum, FLOAT minimum);

// The range a channel's entry scales into: the second range when its
// maximum is above 0.
struct ScaleRange {
    long double minimum;
    long double maximum;
    long double width;  // finite and not 0
};

// The range of an entry; false for a range without width.
bool ResolveScaleRange(const AOSettingsEntry &entry, ScaleRange *range);

// The code of a voltage that is a number, in a resolved range: clamped to
// the range, maximum - minimum spanning 4096 codes, truncated, and limited
// to 4095.
inline WORD CodeInRange(const ScaleRange &range, FLOAT voltage) {
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

// The code of a voltage in an entry's range; false, writing nothing, for a
// voltage that is not a number or a range without width.
bool ScaleToCode(const AOSettingsEntry &entry, FLOAT voltage, WORD *code);

// The first checks of the output functions: the board must have outputs.
// 0, KtzErrNotSupported for the PCI-3649L, or KtzErrUnsupportedBoard.
DWORD CheckBoard(const DeviceRecord &device);

// The verbs of the exports, after the handle check.
DWORD Configure(DeviceRecord &device, WORD channel, WORD referenceSource,  // AOConfig
                FLOAT maximum, FLOAT minimum);
DWORD BinaryOut(const DeviceRecord &device, WORD channel, WORD code);     // AOBinaryOut
DWORD VoltageOut(const DeviceRecord &device, WORD channel, FLOAT voltage);  // AOVoltageOut
DWORD Scale(const DeviceRecord &device, WORD channel, FLOAT voltage,       // AOScale
            WORD *code);

}  // namespace ao
}  // namespace ktz
