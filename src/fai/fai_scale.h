// Volts of fast-input samples. The volts of every 12-bit code of a range
// are computed once by AIScale, exactly as scaling sample by sample does;
// where (code - offset) x step gives those same floats bit for bit (checked
// for all 4096 codes when the range is first used), transfers compute
// instead of looking up, in blocks that the compiler vectorises.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

constexpr DWORD kFaiCodes = 4096;
constexpr DWORD kFaiBlock = 16;  // samples per call of FaiScaleBlock

struct FaiScale {
    const FLOAT *volts;  // the volts of the codes 0 to 4095
    INT offset;          // counts of 0 V
    FLOAT step;          // volts per count
    bool exact;          // (code - offset) x step equals volts[code] for every code
};

// The scaling of a gain code, or null for a gain code without a scaling
// entry (AIGainRange). Lives as long as the process.
const FaiScale *FaiScaleOf(const DeviceRecord &device, WORD gainCode);

// out[j] = (source[j] AND 0xFFF - offsets[j]) x steps[j] for j < kFaiBlock.
inline void FaiScaleBlock(const WORD *__restrict source, FLOAT *__restrict out,
                          const INT *__restrict offsets, const FLOAT *__restrict steps) {
    for (DWORD j = 0; j < kFaiBlock; ++j)
        out[j] = static_cast<FLOAT>(static_cast<INT>(source[j] & 0x0FFF) - offsets[j]) * steps[j];
}

}  // namespace ktz
