#include "fai/fai_scale.h"

#include <ktz3649.h>

#include <memory>
#include <mutex>
#include <vector>

#include "ai/gain.h"

namespace ktz {
namespace {

struct VoltTable {
    FLOAT fullScale;
    WORD offset;
    FLOAT volts[kFaiCodes];
};

}  // namespace

const FLOAT *FaiVoltTable(const DeviceRecord &device, WORD gainCode) {
    FLOAT fullScale = 0, offset = 0;
    if (!AIGainRange(device, gainCode, &fullScale, &offset)) return nullptr;
    WORD counts = static_cast<WORD>(offset);

    // A handful of ranges exist; each table is built at its first use.
    static std::mutex mutex;
    static std::vector<std::unique_ptr<VoltTable>> tables;
    std::lock_guard lock(mutex);
    for (const auto &table : tables)
        if (table->fullScale == fullScale && table->offset == counts) return table->volts;
    auto table = std::make_unique<VoltTable>();
    table->fullScale = fullScale;
    table->offset = counts;
    for (WORD code = 0; code < kFaiCodes; ++code)
        AIScale(code, fullScale, kAiMaxCount, counts, &table->volts[code]);
    tables.push_back(std::move(table));
    return tables.back()->volts;
}

}  // namespace ktz
