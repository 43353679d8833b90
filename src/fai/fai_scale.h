// Volts of fast-input samples: one table per range with the volts of every
// 12-bit code, computed once by AIScale exactly as scaling sample by sample
// does, so that a lookup gives the same float bit for bit.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

constexpr DWORD kFaiCodes = 4096;

// The volts of the codes 0 to 4095 for a gain code, or null for a gain code
// without a scaling entry (AIGainRange). Tables live as long as the process.
const FLOAT *FaiVoltTable(const DeviceRecord &device, WORD gainCode);

}  // namespace ktz
