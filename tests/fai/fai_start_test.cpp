// The start of a fast acquisition: its checks in order and the claim they
// leave, the card's queue and multiplexer word, the start request's codes,
// the kernel driver's refusals, and a read that cannot be queued.
#include <ktz3649.h>

#include <cmath>
#include <functional>

#include "fai_fixture.h"

namespace ktztest {
namespace {


constexpr unsigned kReadCode = 0;  // the trace's code of a read

class FaiStartTest : public FaiTest {
protected:
    // Device 0 (handle_) and device 1 with an unknown board ID (bad_).
    void OpenBoth() {
        Install(1, 0, [](KtzSimDeviceSettings &s) {
            s.boardId = 50;
            s.allowConflicts = 1;
        });
        Install(0);
        handle_ = Open(0);
        bad_ = Open(1);
    }
    KTZHANDLE OpenWithPairs(unsigned chanConfig) {
        Install(0, 0, [&](KtzSimDeviceSettings &s) { s.chanConfig = chanConfig; });
        return Open(0);
    }

    KTZHANDLE handle_ = 0, bad_ = 0;
};

TEST_F(FaiStartTest, ChecksComeInOrderAndLeaveTheDeviceClaimed) {
    OpenBoth();
    const struct {
        const char *name;
        std::function<void(FaiStart &)> edit;
        DWORD expected;
    } cases[] = {
        {"trigger mode without source", [](auto &s) { s.triggerMode = 3; }, 0x100A},
        {"trigger source without mode", [](auto &s) { s.triggerSource = 1; }, 0x100A},
        {"trigger before scan", [](auto &s) { s.triggerSource = 1; s.scanLength = 17; }, 0x100A},
        {"scan length 17", [](auto &s) { s.scanLength = 17; }, 0x1007},
        {"start channel 16", [](auto &s) { s.startChannel = 16; }, 0x1007},
        {"channel before count", [](auto &s) { s.startChannel = 16; s.sampleCount = 3; }, 0x1007},
        {"odd count", [](auto &s) { s.sampleCount = 15; }, 0x1022},
        {"count 0", [](auto &s) { s.sampleCount = 0; }, 0x1022},
        {"count above 1,024,000", [](auto &s) { s.sampleCount = 1024002; }, 0x1022},
        {"count before scans", [](auto &s) { s.sampleCount = 15; s.postTriggerScans = 1; }, 0x1022},
        {"post scans 1", [](auto &s) { s.postTriggerScans = 1; }, 0x100A},
        {"post scans 65536", [](auto &s) { s.postTriggerScans = 65536; }, 0x100A},
        {"post 0, no buffer", [](auto &s) { s.postTriggerScans = 0; s.nullBuffer = true; }, 0x100A},
        {"no buffer", [](auto &s) { s.nullBuffer = true; }, 0x1021},
        {"buffer before rate", [](auto &s) { s.nullBuffer = true; s.sampleRate = 0; }, 0x1021},
        {"rate 153", [](auto &s) { s.sampleRate = 153; }, 0x1016},
        {"rate 1,000,001", [](auto &s) { s.sampleRate = 1000001; }, 0x1016},
        {"rate before level", [](auto &s) { s.sampleRate = 153; s.triggerLevel = 11.0f; }, 0x1016},
        {"level 10.0001", [](auto &s) { s.triggerLevel = 10.0001f; }, 0x1038},
        {"level -10.0001", [](auto &s) { s.triggerLevel = -10.0001f; }, 0x1038},
        {"level not a number", [](auto &s) { s.triggerLevel = std::nanf(""); }, 0x1038},
        {"level before gains", [](auto &s) { s.triggerLevel = 11.0f; s.gains[0] = 21; }, 0x1038},
        {"gain 21 in the scan", [](auto &s) { s.scanLength = 3; s.gains[2] = 21; }, 0x1008},
        {"gain 21 past the scan", [](auto &s) { s.scanLength = 2; s.gains[2] = 21; }, 0},
        {"null gain list", [](auto &s) { s.nullGains = true; }, 0x100A},
        {"null gain list, no scan", [](auto &s) { s.nullGains = true; s.scanLength = 0; }, 0},
        {"buffer too small", [&](auto &s) { s.buffer = Buffer(s.sampleCount - 1); }, 0x1021},
        {"not a global block",
         [](auto &s) { s.buffer = reinterpret_cast<HGLOBAL>(0x1234); }, 0x1021},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FaiStart start;
        c.edit(start);
        KtzSimTraceClear();
        EXPECT_EQ(Start(handle_, start), c.expected);
        EXPECT_EQ(Record(handle_).fai.faiClaimed, 1);
        EXPECT_EQ(Record(handle_).fai.faiRunning, c.expected == 0 ? 1 : 0);
        if (c.expected != 0) {
            EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_START), 0u);
            EXPECT_TRUE(RegisterWrites().empty());
            EXPECT_EQ(Start(handle_, FaiStart{}), 0x1017u);  // still claimed
            // Nothing ran: FAIStop only lifts the claim, and sends nothing.
            KtzSimTraceClear();
            ASSERT_EQ(FAIStop(handle_), 0u);
            EXPECT_TRUE(Trace().empty());
        }
        ASSERT_EQ(FAITerminate(handle_), 0u);
    }

    // The handle, the board and the claim come first.
    FaiStart bad;
    bad.sampleCount = 3;
    EXPECT_EQ(Start(0, bad), 3u);
    EXPECT_EQ(Start(bad_, bad), 0x2018u);
    EXPECT_EQ(Record(bad_).fai.faiClaimed, 0);
    ASSERT_EQ(Start(handle_, FaiStart{}), 0u);
    KtzSimTraceClear();
    EXPECT_EQ(Start(handle_, bad), 0x1017u);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(FaiStartTest, BusyCardRefusesAfterTheClaim) {
    OpenBoth();
    KtzSimSetAvailabilityWord(0, 5);
    FaiStart start;
    start.sampleCount = 3;  // the query comes before the argument checks
    EXPECT_EQ(Start(handle_, start), 0x102Bu);
    EXPECT_EQ(Record(handle_).fai.faiAvailWord, 5);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_AVAILABILITY), 1u);
    EXPECT_EQ(Record(handle_).fai.faiClaimed, 1);
    FAIStop(handle_);

    // Free again: the word sent back comes back 0.
    KtzSimSetAvailabilityWord(0, 0);
    EXPECT_EQ(Start(handle_, FaiStart{}), 0u);
    EXPECT_EQ(Record(handle_).fai.faiAvailWord, 0);
}

TEST_F(FaiStartTest, QueueFollowsTheScanAndItsPairs) {
    struct Entry {
        unsigned channel, range;
    };
    const struct {
        const char *name;
        unsigned chanConfig;
        WORD start, length;
        std::vector<Entry> entries;  // as the queue programs them
        unsigned multiplexer;
    } cases[] = {
        {"wrap from 15 to 0", 0x0000, 14, 4, {{14, 0}, {15, 1}, {0, 2}, {1, 3}}, 0x010E},
        {"a pair and a single channel", 0x0003, 0, 2, {{0, 32}, {2, 1}}, 0x0200},
        {"odd member starts on its pair", 0x000C, 3, 2, {{2, 32}, {4, 1}}, 0x0402},
        {"pair across the wrap", 0xC000, 14, 3, {{14, 32}, {0, 1}, {1, 2}}, 0x010E},
        {"two pairs", 0x000F, 0, 2, {{0, 32}, {2, 33}}, 0x0200},
        {"all sixteen", 0x0000, 5, 16,
         {{5, 0}, {6, 1}, {7, 2}, {8, 3}, {9, 4}, {10, 5}, {11, 6}, {12, 7}, {13, 8}, {14, 9},
          {15, 10}, {0, 11}, {1, 12}, {2, 13}, {3, 14}, {4, 15}},
         0x0405},
        {"no scan entries", 0x0000, 5, 0, {}, 0x0505},
        {"pairs wrapping twice", 0xFFFF, 14, 10,
         {{14, 32}, {0, 33}, {2, 34}, {4, 35}, {6, 36}, {8, 37}, {10, 38}, {12, 39}, {14, 40},
          {0, 41}},
         0x000E},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        KTZHANDLE handle = OpenWithPairs(c.chanConfig);
        FaiStart start;
        start.startChannel = c.start;
        start.scanLength = c.length;
        for (WORD i = 0; i < 16; ++i) start.gains[i] = i;
        ASSERT_EQ(Start(handle, start), 0u);

        std::vector<Access> expected{W16(6, 0)};
        for (const auto &e : c.entries)
            expected.insert(expected.end(), {W16(4, e.channel << 8 | e.channel), W8(2, e.range)});
        expected.push_back(W16(4, c.multiplexer));
        EXPECT_EQ(RegisterWrites(), expected);

        // The driver scans the same entries, with the ranges of the queue.
        KtzSimAcquisition info = Acquisition();
        EXPECT_EQ(info.multiplexer, c.multiplexer);
        // (A queue longer than the card's channels: the card steps from start to stop once.)
        if (!c.entries.empty() && c.entries.size() <= 8) {
            ASSERT_EQ(info.scanLength, c.entries.size());
            for (size_t i = 0; i < c.entries.size(); ++i) {
                EXPECT_EQ(info.scanChannels[i], c.entries[i].channel);
                EXPECT_EQ(info.scanRanges[i], c.entries[i].range);
            }
        }
        FAITerminate(handle);
        Close(handle);
    }
}

TEST_F(FaiStartTest, PacerDivisorAndTriggerLevelCodes) {
    OpenBoth();
    const struct {
        WORD clockSource;
        DWORD rate;
        float level;
        unsigned divisor, levelCode;
    } cases[] = {
        {0, 154, 0.0f, 64935, 127},       {0, 1000000, 10.0f, 10, 255},
        {1, 153, -10.0f, 65359, 0},       {1, 0, 2.5f, 0, 159},
        {1, 1, 0.0f, 10000000 & 0xFFFF, 127},
        {0, 100000, 2.0f, 100, 153},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.level << " V");
        FaiStart start;
        start.clockSource = c.clockSource;
        start.sampleRate = c.rate;
        start.triggerLevel = c.level;
        ASSERT_EQ(Start(handle_, start), 0u);
        EXPECT_EQ(Record(handle_).fai.aiPacerDivisor, c.divisor);
        KtzSimAcquisition info = Acquisition();
        EXPECT_EQ(info.pacerDivisor, c.divisor);
        EXPECT_EQ(info.triggerLevelCode, c.levelCode);
        FAITerminate(handle_);
    }
}

TEST_F(FaiStartTest, StartRequestCarriesTheArgumentsAndEventSettings) {
    OpenBoth();
    ASSERT_EQ(EnableEvent(handle_, 1, 1, 7), 0u);
    ASSERT_EQ(EnableEvent(handle_, 6, 1, 250), 0u);  // only the last one travels
    FaiStart start;
    start.triggerSource = 1;
    start.triggerMode = 3;
    start.option1 = 0x1111;
    start.option2 = 0x2222;
    start.option3 = 0x3333;
    start.postTriggerScans = 300;
    start.sampleCount = 1000;
    ASSERT_EQ(Start(handle_, start), 0u);
    KtzSimAcquisition info = Acquisition();
    EXPECT_EQ(info.eventEnabled, 1u);
    EXPECT_EQ(info.eventType, 6u);
    EXPECT_EQ(info.eventCount, 250u);
    EXPECT_EQ(info.sampleCount, 1000u);
    EXPECT_EQ(info.triggerSource, 1u);
    EXPECT_EQ(info.triggerMode, 3u);
    EXPECT_EQ(info.postTriggerScans, 300u);
    EXPECT_EQ(info.options[0], 0x1111u);
    EXPECT_EQ(info.options[1], 0x2222u);
    EXPECT_EQ(info.options[2], 0x3333u);

    const ktz::FaiState &fai = Record(handle_).fai;
    EXPECT_EQ(fai.faiCount, 1000u);
    EXPECT_EQ(fai.faiTriggerMode, 3);
    EXPECT_EQ(fai.faiPostScans, 300);
    EXPECT_EQ(fai.faiBufferHandle, lastBuffer_);
    EXPECT_EQ(LockCount(lastBuffer_), 1u);
    EXPECT_NE(fai.faiReadRequest.hEvent, nullptr);
    EXPECT_EQ(RequestCount(kReadCode), 1u);

    FAITerminate(handle_);
    EXPECT_EQ(LockCount(lastBuffer_), 0u);
    EXPECT_EQ(fai.faiReadRequest.hEvent, nullptr);
    EXPECT_EQ(fai.faiCount, 1000u);  // kept for transfers after the end
}

TEST_F(FaiStartTest, KernelStatusReplyIsTheResult) {
    OpenBoth();
    KtzSimSetStatusReply(0, KTZ_IOCTL_FAI_START, 77, 1);
    EXPECT_EQ(Start(handle_, FaiStart{}), 0x1000u + 77);
    EXPECT_EQ(RequestCount(kReadCode), 0u);
    EXPECT_EQ(Record(handle_).fai.faiRunning, 0);
    EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_NONE});
    FAIStop(handle_);
    EXPECT_EQ(Start(handle_, FaiStart{}), 0u);  // one reply only
}

TEST_F(FaiStartTest, FailedReadTerminatesTheAcceptedStart) {
    OpenBoth();
    KtzSimFailRequest(kReadCode, ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(Start(handle_, FaiStart{}), 0x1026u);
    const ktz::FaiState &fai = Record(handle_).fai;
    EXPECT_EQ(fai.faiClaimed, 1);
    EXPECT_EQ(fai.faiRunning, 0);
    EXPECT_EQ(fai.faiReadRequest.hEvent, nullptr);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_TERMINATE), 1u);
    EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_STOPPED});

    // Not running: FAIStop only lifts the claim, and the card is free.
    KtzSimTraceClear();
    FAIStop(handle_);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_STOP), 0u);
    EXPECT_EQ(Start(handle_, FaiStart{}), 0u);
}

TEST_F(FaiStartTest, FifoSize) {
    OpenBoth();
    DWORD size = 0;
    EXPECT_EQ(GetFIFOSize(handle_, &size), 0u);
    EXPECT_EQ(size, 4096u);
    size = 1;
    EXPECT_EQ(GetFIFOSize(bad_, &size), 0x2018u);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(GetFIFOSize(0, &size), 3u);
    EXPECT_EQ(GetFIFOSize(handle_, nullptr), 0x100Au);
}

}  // namespace
}  // namespace ktztest
