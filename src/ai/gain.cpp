// The input ranges: gain codes, their full scale and offset, and the
// scaling of a raw reading to volts. Polled input and the fast-input
// transfer share these.
#include <ktz3649.h>

#include "ai/ai.h"
#include "core/device.h"
#include "core/result.h"

namespace ktz::ai {
namespace {

// Full scale per table index: the bipolar codes 0 to 4, then the unipolar
// codes 16 to 19.
constexpr FLOAT kFullScale[] = {5.0f, 2.5f, 1.25f, 0.625f, 10.0f, 10.0f, 5.0f, 2.5f, 1.25f};
constexpr WORD kFirstUnipolarIndex = 5;
constexpr WORD kUnipolarCodeShift = 11;  // gain code 16 is index 5

}  // namespace

bool GainRange(const DeviceRecord &device, WORD gainCode, FLOAT *fullScale, FLOAT *offset) {
    WORD index = gainCode;
    if (device.IsKnownBoard() && gainCode >= 16 && gainCode <= 19)
        index = static_cast<WORD>(gainCode - kUnipolarCodeShift);
    if (index >= sizeof kFullScale / sizeof kFullScale[0]) return false;
    *fullScale = kFullScale[index];
    *offset = index < kFirstUnipolarIndex ? 2048.0f : 0.0f;
    return true;
}

DWORD Scale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset, FLOAT *voltage) {
    // A span of zero counts (maximum + 1 equal to the offset) would divide by zero.
    long span = static_cast<long>(maxCount) + 1 - offset;
    if (maxCount == offset || span == 0) return Bare(KtzErrInvalidScaleRange);
    if (!voltage) return Bare(KtzErrInvalidParameter);
    long double counts = static_cast<long double>(static_cast<long>(reading) - offset);
    *voltage = static_cast<FLOAT>(counts * fullScale / span);
    return kSuccess;
}

}  // namespace ktz::ai

using namespace ktz;

extern "C" DWORD WINAPI AIScale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset,
                                FLOAT *voltage) {
    return ai::Scale(reading, fullScale, maxCount, offset, voltage);
}
