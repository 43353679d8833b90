#include "fai/fai_scale.h"

#include <ktz3649.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "ai/gain.h"
#include "fai/fai.h"

namespace ktz {
namespace {

struct Range {
    FLOAT fullScale;
    FaiScale scale;
    FLOAT volts[kFaiCodes];
};

// Whether the block computation reproduces the table for every code.
bool ComputesTheTable(const FaiScale &scale) {
    INT offsets[kFaiBlock];
    FLOAT steps[kFaiBlock];
    for (DWORD j = 0; j < kFaiBlock; ++j) {
        offsets[j] = scale.offset;
        steps[j] = scale.step;
    }
    WORD codes[kFaiBlock];
    FLOAT volts[kFaiBlock];
    for (DWORD first = 0; first < kFaiCodes; first += kFaiBlock) {
        for (DWORD j = 0; j < kFaiBlock; ++j) codes[j] = static_cast<WORD>(first + j);
        FaiScaleBlock(codes, volts, offsets, steps);
        if (std::memcmp(volts, scale.volts + first, sizeof volts) != 0) return false;
    }
    return true;
}

}  // namespace

const FaiScale *FaiScaleOf(const DeviceRecord &device, WORD gainCode) {
    FLOAT fullScale = 0, offset = 0;
    if (!AIGainRange(device, gainCode, &fullScale, &offset)) return nullptr;
    WORD counts = static_cast<WORD>(offset);

    // A handful of ranges exist; each is prepared at its first use.
    static std::mutex mutex;
    static std::vector<std::unique_ptr<Range>> ranges;
    std::lock_guard lock(mutex);
    for (const auto &range : ranges)
        if (range->fullScale == fullScale && range->scale.offset == counts) return &range->scale;
    auto range = std::make_unique<Range>();
    range->fullScale = fullScale;
    for (WORD code = 0; code < kFaiCodes; ++code)
        AIScale(code, fullScale, kAiMaxCount, counts, &range->volts[code]);
    FaiScale &scale = range->scale;
    scale.volts = range->volts;
    scale.offset = counts;
    scale.step = static_cast<FLOAT>(fullScale / (kAiMaxCount + 1.0 - counts));
    scale.exact = ComputesTheTable(scale);
    ranges.push_back(std::move(range));
    return &ranges.back()->scale;
}

}  // namespace ktz
