// The analog-input ranges: gain codes, their full scale and offset, and the
// scaling of a raw reading to volts. Polled input and the fast-input
// transfer share these.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// The largest code of the 12-bit converter, as AIScale takes it.
constexpr WORD kAiMaxCount = 4095;

// The largest gain code that the range register takes.
constexpr WORD kAiMaxGainCode = 20;

// Full scale (volts) and offset (counts: 2048 bipolar, 0 unipolar) of a gain
// code. Codes 16 to 19 map to the unipolar entries (so do 5 to 8, which
// index them directly). Returns false, writing nothing, for a code without
// a scaling entry (9 to 15 and 20 and above).
bool AIGainRange(const DeviceRecord &device, WORD gainCode, FLOAT *fullScale, FLOAT *offset);

}  // namespace ktz
