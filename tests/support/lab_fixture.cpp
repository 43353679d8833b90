#include "lab_fixture.h"

#include <algorithm>

namespace ktztest {

std::ostream &operator<<(std::ostream &out, const Access &a) {
    return out << (a.write ? "W" : "R") << a.width << "(" << a.offset << ", 0x" << std::hex
               << a.value << std::dec << ")";
}

std::vector<KtzSimTraceEntry> Trace() {
    std::vector<KtzSimTraceEntry> entries(KtzSimTraceCount());
    for (size_t i = 0; i < entries.size(); ++i) KtzSimTraceGet(i, &entries[i]);
    return entries;
}

std::vector<Access> Registers() {
    std::vector<Access> accesses;
    for (const auto &e : Trace())
        if (e.kind == KTZSIM_TRACE_REGISTER)
            accesses.push_back({e.offset, e.width, e.write != 0, e.value});
    return accesses;
}

std::vector<Access> RegisterWrites() {
    auto all = Registers();
    std::erase_if(all, [](const Access &a) { return !a.write; });
    return all;
}

size_t RequestCount(unsigned code) {
    auto entries = Trace();
    return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [&](const auto &e) {
        return e.code == code && e.kind != KTZSIM_TRACE_OPEN;
    }));
}

void LabTest::SetUp() {
    KtzSimReset(0);
    card_ = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    ASSERT_EQ(card_, 0);
}

void LabTest::TearDown() {
    // Close what the test left open, so the next test starts without records.
    for (KTZHANDLE handle : open_) {
        for (;;) {
            KTZHANDLE copy = handle;
            DWORD rc = DeviceClose(&copy);
            if (rc == 0) continue;
            // KtzErrInvalidHandle once the record is released; anything else leaves it listed
            // for the rest of the process and spoils later tests.
            if (rc != 3) ADD_FAILURE() << "an open device could not be closed: " << rc;
            break;
        }
    }
    open_.clear();
    KtzSimClearFaults();
}

KTZHANDLE LabTest::Open(unsigned device) {
    KTZHANDLE handle = 0;
    EXPECT_EQ(DeviceOpen(device, &handle), 0u);
    EXPECT_NE(handle, 0u);
    open_.push_back(handle);
    KtzSimTraceClear();
    return handle;
}

void LabTest::Close(KTZHANDLE &handle) {
    KTZHANDLE original = handle;
    ASSERT_EQ(DeviceClose(&handle), 0u);
    EXPECT_EQ(handle, 0u);
    auto it = std::find(open_.begin(), open_.end(), original);
    if (it != open_.end()) open_.erase(it);
}

}  // namespace ktztest
