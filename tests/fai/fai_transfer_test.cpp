// Samples out of a finished buffer: the transfer's bounds, raw words and
// volts per scan entry, the reordering around the trigger marker and its
// bounds, the marker search, and the transfer against the literal method.
#include <ktz3649.h>

#include <cstring>
#include <random>

#include "fai_fixture.h"
#include "fai_reference.h"

namespace ktztest {
namespace {

class FaiTransferTest : public FaiTest {
protected:
    void SetUp() override {
        FaiTest::SetUp();
        Install(0);
        handle_ = Open(0);
    }

    // A stopped acquisition of `words.size()` samples whose buffer then
    // holds `words`: the state every transfer after the end sees.
    void Finished(const std::vector<WORD> &words, FaiStart start = {}) {
        start.sampleCount = static_cast<DWORD>(words.size());
        ASSERT_EQ(Start(handle_, start), 0u);
        ASSERT_EQ(FAITerminate(handle_), 0u);
        auto *buffer = static_cast<WORD *>(GlobalLock(lastBuffer_));
        std::memcpy(buffer, words.data(), words.size() * sizeof(WORD));
        GlobalUnlock(lastBuffer_);
    }

    // An about-trigger buffer of one scan entry with 2 post-trigger scans.
    static FaiStart AboutTrigger(DWORD postScans = 2) {
        FaiStart start;
        start.triggerSource = 1;
        start.triggerMode = 3;
        start.postTriggerScans = postScans;
        return start;
    }

    std::vector<FLOAT> Volts(DWORD start, DWORD count, WORD dataType = 1) {
        std::vector<FLOAT> out(count, -99.0f);
        EXPECT_EQ(FAITransfer(handle_, 0, out.data(), dataType, start, count, 0), 0u);
        return out;
    }

    KTZHANDLE handle_ = 0;
};

// Volts of a code at +/-5 V (gain code 0).
FLOAT Bipolar5(WORD code) {
    FLOAT v = 0;
    AIScale(code & 0x0FFF, 5.0f, 4095, 2048, &v);
    return v;
}

TEST_F(FaiTransferTest, RangeMustLieInTheBuffer) {
    WORD word = 0;
    EXPECT_EQ(FAITransfer(handle_, 0, &word, 0, 0, 1, 0), 0x1022u);  // nothing started
    Finished(std::vector<WORD>(16, 0x0123));
    const struct {
        DWORD start, count, expected;
    } cases[] = {
        {0, 16, 0},          {15, 1, 0},          {16, 0, 0x1022},        {0, 17, 0x1022},
        {0, 0, 0x1022},      {8, 9, 0x1022},      {16, 1, 0x1022},        {0xFFFFFFFF, 2, 0x1022},
        {1, 0xFFFFFFFF, 0x1022},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " + " << c.count);
        std::vector<WORD> out(17, 0xEEEE);
        EXPECT_EQ(FAITransfer(handle_, 0, out.data(), 0, c.start, c.count, 0), c.expected);
        for (DWORD i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i], c.expected == 0 && i < c.count ? 0x0123 : 0xEEEE) << i;
    }
    // A null destination after the range checks.
    EXPECT_EQ(FAITransfer(handle_, 0, nullptr, 0, 0, 16, 0), 0x100Au);
    EXPECT_EQ(FAITransfer(handle_, 0, nullptr, 1, 0, 17, 0), 0x1022u);
    EXPECT_EQ(FAITransfer(0, 0, &word, 0, 0, 1, 0), 3u);
}

TEST_F(FaiTransferTest, RawKeepsEveryBitAndVoltsFollowTheScanEntry) {
    FaiStart start;
    start.scanLength = 3;
    start.gains = {0, 1, 2};
    Finished({0x8800, 0x7FFF, 0x0C00, 0xF000, 0x0C00, 0x0C00}, start);
    std::vector<WORD> raw(6);
    ASSERT_EQ(FAITransfer(handle_, 0, raw.data(), 0, 0, 6, 0), 0u);
    EXPECT_EQ(raw, (std::vector<WORD>{0x8800, 0x7FFF, 0x0C00, 0xF000, 0x0C00, 0x0C00}));

    // 0x8800 at +/-5 V is 0 V; 0xC00 is 3072: half of each entry's full scale.
    EXPECT_EQ(Volts(0, 3), (std::vector<FLOAT>{0.0f, 2.498779296875f, 0.625f}));
    EXPECT_EQ(Volts(4, 2), (std::vector<FLOAT>{1.25f, 0.625f}));  // 4 is entry 1
    EXPECT_EQ(Volts(3, 1, 7), (std::vector<FLOAT>{-5.0f}));      // any non-zero type
}

TEST_F(FaiTransferTest, WithoutScanEntriesEverySampleUsesGainCodeZero) {
    FaiStart start;
    start.scanLength = 0;
    start.nullGains = true;
    Finished({0x0C00, 0x0400}, start);
    EXPECT_EQ(Volts(0, 2), (std::vector<FLOAT>{2.5f, -2.5f}));
}

TEST_F(FaiTransferTest, GainWithoutScalingIsRefusedForVolts) {
    FaiStart start;
    start.scanLength = 2;
    start.gains = {0, 12};
    Finished({0x0C00, 0x0C00, 0x0C00, 0x0C00}, start);
    std::vector<FLOAT> out(4, -99.0f);
    EXPECT_EQ(FAITransfer(handle_, 0, out.data(), 1, 0, 2, 0), 0x1008u);
    EXPECT_EQ(out[0], -99.0f);
    EXPECT_EQ(Volts(2, 1), (std::vector<FLOAT>{2.5f}));  // entry 0 alone is fine
    WORD raw[2];
    EXPECT_EQ(FAITransfer(handle_, 0, raw, 0, 0, 2, 0), 0u);
}

TEST_F(FaiTransferTest, AboutTriggerBufferComesInTimeOrder) {
    // Sample i holds code 2048 + 100 i; the marker is set on 5 and 6.
    auto buffer = [](std::initializer_list<int> marked) {
        std::vector<WORD> words(8);
        for (WORD i = 0; i < 8; ++i) words[i] = static_cast<WORD>(2048 + 100 * i);
        for (int i : marked) words[i] |= 0x8000;
        return words;
    };
    const struct {
        const char *name;
        std::vector<WORD> words;
        FaiStart start;
        WORD dataType;
        bool claimed;
        std::vector<int> order;  // source sample of each output position
    } cases[] = {
        {"marker at 5, two post samples", buffer({5, 6}), AboutTrigger(), 1, false,
         {7, 0, 1, 2, 3, 4, 5, 6}},
        {"data type 2 keeps the order", buffer({5, 6}), AboutTrigger(), 2, false,
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"claimed keeps the order", buffer({5, 6}), AboutTrigger(), 1, true,
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"mode 0 keeps the order", buffer({5, 6}), FaiStart{}, 1, false,
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"no marker: from 0", buffer({}), AboutTrigger(), 1, false, {2, 3, 4, 5, 6, 7, 0, 1}},
        {"marker across the end", buffer({7, 0}), AboutTrigger(), 1, false,
         {1, 2, 3, 4, 5, 6, 7, 0}},
        {"more post samples than the buffer holds: marker first", buffer({5, 6}),
         AboutTrigger(65535), 1, false, {5, 6, 7, 0, 1, 2, 3, 4}},
        {"exactly the buffer", buffer({5, 6}), AboutTrigger(8), 1, false,
         {5, 6, 7, 0, 1, 2, 3, 4}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Finished(c.words, c.start);
        Record(handle_).fai.faiClaimed = c.claimed ? 1 : 0;
        std::vector<FLOAT> expected;
        for (int i : c.order) expected.push_back(Bipolar5(c.words[i]));
        EXPECT_EQ(Volts(0, 8, c.dataType), expected);
        // A part of it: the same order.
        EXPECT_EQ(Volts(3, 4, c.dataType),
                  std::vector<FLOAT>(expected.begin() + 3, expected.begin() + 7));
        Record(handle_).fai.faiClaimed = 0;
    }
}

TEST_F(FaiTransferTest, WatchdogFindsTheLastMarkerStart) {
    const struct {
        const char *name;
        std::vector<WORD> words;
        FaiStart start;
        DWORD expected;  // 99: not written
    } cases[] = {
        {"one change", {0, 0, 0, 0, 0, 0x8000, 0x8000, 0}, AboutTrigger(), 5},
        {"the last of two", {0, 0x8000, 0, 0, 0, 0, 0x8000, 0}, AboutTrigger(), 6},
        {"set at 0 only", {0x8000, 0, 0, 0, 0, 0, 0, 0}, AboutTrigger(), 99},
        {"all set", std::vector<WORD>(8, 0x8000), AboutTrigger(), 99},
        {"not about trigger", {0, 0, 0, 0, 0, 0x8000, 0x8000, 0}, FaiStart{}, 99},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Finished(c.words, c.start);
        DWORD index = 99;
        EXPECT_EQ(FAIWatchdogCheck(handle_, 0, 0, 0, 0, &index, 0), 0u);
        EXPECT_EQ(index, c.expected);
    }
    EXPECT_EQ(FAIWatchdogCheck(handle_, 0, 0, 0, 0, nullptr, 0), 0x100Au);
    DWORD index = 99;
    EXPECT_EQ(FAIWatchdogCheck(0, 0, 0, 0, 0, &index, 0), 3u);
}

TEST_F(FaiTransferTest, MatchesTheLiteralMethodBitForBit) {
    // Every gain code with a scaling entry, every code, every bit above.
    FaiStart start;
    start.scanLength = 16;
    start.gains = {0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 0, 4, 16};
    const DWORD n = 16 * 4096 * 2;
    std::vector<WORD> words(n);
    std::mt19937 random(7);
    for (DWORD i = 0; i < n; ++i)
        words[i] = static_cast<WORD>((i / 16) % 4096 | (random() & 0xF000));
    for (FaiStart s : {start, AboutTrigger()}) {
        s.scanLength = start.scanLength;
        s.gains = start.gains;
        s.postTriggerScans = 1000;
        Finished(words, s);
        const auto &device = Record(handle_);
        for (WORD type : {0, 1}) {
            for (auto [first, count] : {std::pair<DWORD, DWORD>{0, n}, {5, 40000}, {n - 3, 3}}) {
                SCOPED_TRACE(testing::Message() << "type " << type << " from " << first);
                std::vector<DWORD> got(count, 1), want(count, 2);
                ASSERT_EQ(FAITransfer(handle_, 0, got.data(), type, first, count, 0), 0u);
                ReferenceTransfer(device, want.data(), type, first, count);
                size_t bytes = count * (type ? sizeof(FLOAT) : sizeof(WORD));
                EXPECT_EQ(std::memcmp(got.data(), want.data(), bytes), 0);
            }
        }
    }
}

}  // namespace
}  // namespace ktztest
