// The scaling of fast-input samples, prepared once per range.
#include <ktz3649.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "ai/ai.h"
#include "fai/fai.h"

namespace ktz::fai {
namespace {

struct Range {
    FLOAT fullScale;
    Scale scale;
    FLOAT volts[kCodes];
};

// Whether the block computation reproduces the table for every code.
bool ComputesTheTable(const Scale &scale) {
    INT offsets[kBlock];
    FLOAT steps[kBlock];
    for (DWORD j = 0; j < kBlock; ++j) {
        offsets[j] = scale.offset;
        steps[j] = scale.step;
    }
    WORD codes[kBlock];
    FLOAT volts[kBlock];
    for (DWORD first = 0; first < kCodes; first += kBlock) {
        for (DWORD j = 0; j < kBlock; ++j) codes[j] = static_cast<WORD>(first + j);
        ScaleBlock(codes, volts, offsets, steps);
        if (std::memcmp(volts, scale.volts + first, sizeof volts) != 0) return false;
    }
    return true;
}

}  // namespace

const Scale *ScaleOf(const DeviceRecord &device, WORD gainCode) {
    FLOAT fullScale = 0, offset = 0;
    if (!ai::GainRange(device, gainCode, &fullScale, &offset)) return nullptr;
    WORD counts = static_cast<WORD>(offset);

    // A handful of ranges exist; each is prepared at its first use.
    static std::mutex mutex;
    static std::vector<std::unique_ptr<Range>> ranges;
    std::lock_guard lock(mutex);
    for (const auto &range : ranges)
        if (range->fullScale == fullScale && range->scale.offset == counts) return &range->scale;
    auto range = std::make_unique<Range>();
    range->fullScale = fullScale;
    for (WORD code = 0; code < kCodes; ++code)
        ai::Scale(code, fullScale, kAiMaxCount, counts, &range->volts[code]);
    Scale &scale = range->scale;
    scale.volts = range->volts;
    scale.offset = counts;
    scale.step = static_cast<FLOAT>(fullScale / (kAiMaxCount + 1.0 - counts));
    scale.exact = ComputesTheTable(scale);
    ranges.push_back(std::move(range));
    return &ranges.back()->scale;
}

}  // namespace ktz::fai
