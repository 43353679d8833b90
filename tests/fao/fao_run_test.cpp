// A running waveform output: status and flags, scaling, stop and
// terminate, the drain of the card's FIFO, the last close, and a sine
// table played on the lab.
#include <ktz3649.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <thread>

#include "fao_fixture.h"

namespace ktztest {
namespace {

constexpr WORD kUnset = 0xEEEE;

TEST_F(FaoTest, ScaleRefusesBeforeWritingAnyCode) {
    ASSERT_EQ(AOConfig(handle_, 1, 1, 3.0f, 3.0f), 0u);  // external: a range without width
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    float volts[] = {1.0f, kNaN, 2.0f};
    WORD codes[3] = {kUnset, kUnset, kUnset};
    const struct {
        WORD channel;
        DWORD count;
        float *volts;
        WORD *codes;
        DWORD result;
    } cases[] = {
        {32, 0, nullptr, nullptr, 0x1022},  // the count first
        {32, 1, nullptr, nullptr, 0x1007},  // then the channel
        {0, 1, nullptr, codes, 0x100A},    {0, 1, volts, nullptr, 0x100A},
        {0, 3, volts, codes, 0x100A},      // a voltage that is not a number
        {1, 1, volts, codes, 0x100A},      // no range to scale into
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channel << " " << c.count);
        EXPECT_EQ(FAOScale(handle_, c.channel, c.count, c.volts, c.codes), c.result);
        for (WORD code : codes) EXPECT_EQ(code, kUnset);
    }
}

// The codes are written from the last to the first: with a code array that
// overlaps the voltages, code 2 lands on voltage 1 before voltage 1 is read.
TEST_F(FaoTest, ScaleConvertsFromTheLastVoltage) {
    ASSERT_EQ(AOConfig(handle_, 0, 0, 10.0f, 0.0f), 0u);
    alignas(4) unsigned char bytes[12];
    const float original[] = {1.0f, 8.0f, 3.0f};
    std::memcpy(bytes, original, sizeof original);
    auto *volts = reinterpret_cast<float *>(bytes);
    auto *codes = reinterpret_cast<WORD *>(bytes + 2);  // code i in bytes 2 + 2i
    ASSERT_EQ(FAOScale(handle_, 0, 3, volts, codes), 0u);

    WORD code2 = 0, code1 = 0, code0 = 0;
    ASSERT_EQ(AOScale(handle_, 0, 3.0f, &code2), 0u);
    // Voltage 1 as read after code 2 replaced its high half.
    unsigned bits;
    std::memcpy(&bits, &original[1], sizeof bits);
    bits = (bits & 0xFFFF) | unsigned{code2} << 16;
    float clobbered;
    std::memcpy(&clobbered, &bits, sizeof clobbered);
    ASSERT_EQ(AOScale(handle_, 0, clobbered, &code1), 0u);
    ASSERT_EQ(AOScale(handle_, 0, 1.0f, &code0), 0u);
    EXPECT_EQ(codes[2], code2);
    EXPECT_EQ(codes[1], code1);
    EXPECT_EQ(codes[0], code0);
    WORD unclobbered = 0;  // what the first-to-last order would give
    ASSERT_EQ(AOScale(handle_, 0, 8.0f, &unclobbered), 0u);
    EXPECT_NE(code1, unclobbered);
}

TEST_F(FaoTest, CheckAndCheckExReportTheirOwnOrder) {
    ASSERT_EQ(KtzSimSetTimeFactor(10), 0);
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(8192), 0u);
    ASSERT_TRUE(Signalled(ended, kWait));  // every sample is in the FIFO: both halves moved
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);   // the card holds still meanwhile

    WORD a = kUnset, b = kUnset, e = kUnset, f = kUnset;
    DWORD count = 0xEEEEEEEE;
    ASSERT_EQ(FAOCheck(handle_, &a, &b, &count, &e, &f), 0u);
    KtzSimOutputState state = OutputState();
    WORD status1 = state.fifoSamples ? 0x2 : 0x0;  // playing; the start request is complete
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, status1);
    EXPECT_EQ(count, state.played);
    EXPECT_EQ(e, 0);  // status word 2 is not FAOCheck's, though it holds flags
    EXPECT_EQ(f, state.fifoSamples);
    EXPECT_EQ(count + f, 8192u);

    WORD g = kUnset;
    ASSERT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0u);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, status1);
    EXPECT_EQ(e, state.fifoSamples);
    EXPECT_EQ(count, state.played);
    EXPECT_EQ(g, 0x6);  // high and low half transferred

    // The flag codes: only the three output flags, the others bare KtzErrInvalidParameter.
    KtzSimTraceClear();
    const struct {
        DWORD code, result;
        WORD flagsAfter;
    } flags[] = {
        {kOutputEnded, 10, 0x6}, {0x2808, 10, 0x6}, {0, 10, 0x6},
        {kLowHalf, 0, 0x2},      {kHighHalf, 0, 0x0}, {kUnderrun, 0, 0x0},
    };
    for (const auto &c : flags) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(ClearFlag(handle_, c.code), c.result);
        ASSERT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0u);
        EXPECT_EQ(g, c.flagsAfter);
    }
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_CLEAR_FLAG), 3u);

    // A status of the driver's own: the outputs stay as they were.
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_STATUS, 9), 0);
    a = b = e = f = g = kUnset;
    count = 0xEEEEEEEE;
    EXPECT_EQ(FAOCheck(handle_, &a, &b, &count, &e, &f), 0x1009u);
    EXPECT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0x1009u);
    for (WORD w : {a, b, e, f, g}) EXPECT_EQ(w, kUnset);
    EXPECT_EQ(count, 0xEEEEEEEEu);
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_STATUS, 0), 0);

    // Null outputs, each position.
    KtzSimTraceClear();
    EXPECT_EQ(FAOCheck(handle_, nullptr, &b, &count, &e, &f), 0x100Au);
    EXPECT_EQ(FAOCheck(handle_, &a, &b, nullptr, &e, &f), 0x100Au);
    EXPECT_EQ(FAOCheck(handle_, &a, &b, &count, &e, nullptr), 0x100Au);
    EXPECT_EQ(FAOCheckEx(handle_, &a, nullptr, &e, &count, &g), 0x100Au);
    EXPECT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, nullptr), 0x100Au);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_STATUS), 0u);

    ASSERT_EQ(KtzSimSetTimeFactor(100), 0);
    ASSERT_EQ(FAOTerminate(handle_), 0u);
}

TEST_F(FaoTest, UnderrunRaisesItsFlagAndEventOnce) {
    ASSERT_EQ(KtzSimSetTimeFactor(100), 0);
    ASSERT_EQ(KtzSimSetOutputDmaStalled(0, 1), 0);
    HANDLE underrun = Watch(kUnderrun);
    ASSERT_EQ(Start(4096), 0u);
    ASSERT_TRUE(Signalled(underrun, kWait));
    WORD a, b, e, g;
    DWORD count;
    ASSERT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0u);
    EXPECT_EQ(g & 0x1, 0x1);
    EXPECT_EQ(b & 0x1, 0x1);  // still running: the samples are due
    ASSERT_TRUE(ResetEvent(underrun));
    ASSERT_EQ(ClearFlag(handle_, kUnderrun), 0u);
    ASSERT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0u);
    EXPECT_EQ(g & 0x1, 0);  // the same underrun is not reported again
    EXPECT_FALSE(Signalled(underrun));
    // The FIFO has run empty: no drain.
    KtzSimTraceClear();
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    auto registers = Registers();
    ASSERT_EQ(registers.size(), 1u);
    EXPECT_EQ(registers[0].offset, 9u);
    EXPECT_EQ(registers[0].value & 0x10, 0x10u);
}

TEST_F(FaoTest, StopThenTerminate) {
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(8192), 0u);
    KtzSimTraceClear();
    ASSERT_EQ(FAOStop(handle_), 0u);
    ASSERT_EQ(FAOStop(handle_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_STOP), 1u);
    EXPECT_EQ(Record(handle_).fao.faoRunning, 0);
    EXPECT_EQ(Record(handle_).fao.startOverlapped.hEvent, nullptr);
    KtzSimOutputState state = OutputState();
    EXPECT_EQ(state.running, 0u);
    EXPECT_EQ(state.playing, 0u);
    EXPECT_EQ(state.fifoSamples, 4096u);  // halted with its samples
    EXPECT_EQ(state.dmaBytes, 16384u);
    EXPECT_FALSE(Signalled(ended));

    KtzSimTraceClear();
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_TERMINATE), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_FREE), 1u);
    EXPECT_EQ(OutputState().dmaBytes, 0u);
    EXPECT_EQ(Record(handle_).fao.faoDmaBuffer, 0u);
    // Samples remain but the card does not play them: the drain thread
    // reads register 11 only, and signals the end at once.
    auto registers = Registers();
    ASSERT_EQ(registers.size(), 2u);
    EXPECT_EQ(registers[0].offset, 9u);
    EXPECT_EQ(registers[0].value & 0x10, 0u);
    EXPECT_EQ(registers[1].offset, 11u);
    EXPECT_EQ(registers[1].value & 0x80, 0u);
    EXPECT_TRUE(Signalled(ended));
}

// A sine table scaled with FAOScale, played at 10 kS/s; the output-ended
// event handled as event notification does, the drain signalling it again
// once the last sample has left the card.
TEST_F(FaoTest, SineTablePlaysToTheLastSample) {
    constexpr DWORD kCount = 32768;
    ASSERT_EQ(KtzSimSetOutputFifoSize(0, kCount), 0);
    ASSERT_EQ(KtzSimSetTimeFactor(10), 0);  // 3.3 s of output in 0.33 s
    ASSERT_EQ(AOConfig(handle_, 0, 0, 10.0f, -10.0f), 0u);
    std::vector<float> volts(kCount);
    for (DWORD i = 0; i < kCount; ++i)
        volts[i] = static_cast<float>(9.0 * std::sin(2 * std::numbers::pi * i / 400.0));
    std::vector<WORD> codes(kCount);
    ASSERT_EQ(FAOScale(handle_, 0, kCount, volts.data(), codes.data()), 0u);

    HANDLE ended = Watch(kOutputEnded);
    HANDLE lowHalf = OpenEventA(0x1F0003, FALSE, "Global\\KTZ_EVT_AO_LOBUF_TRANSFERED0");
    ASSERT_EQ(FAODmaExStart(handle_, 0, 10000, 0, 1, 0, codes.data(), kCount, 0), 0u);
    ASSERT_TRUE(Signalled(ended, kWait));
    ASSERT_TRUE(ResetEvent(ended));
    ASSERT_EQ(Record(handle_).fao.faoRunning, 1);
    ASSERT_EQ(FAOTerminate(handle_), 0u);

    EXPECT_TRUE(Signalled(ended));  // the drain's signal
    EXPECT_EQ(Record(handle_).fao.faoRunning, 0);
    EXPECT_FALSE(Signalled(lowHalf));  // not enabled: never signalled
    CloseHandle(lowHalf);
    KtzSimOutputState state = OutputState();
    EXPECT_EQ(state.fifoSamples, 0u);
    EXPECT_EQ(state.played, kCount);
    EXPECT_EQ(state.dmaBytes, 0u);
    auto played = Played(0, kCount);
    ASSERT_EQ(played.size(), kCount);
    for (DWORD i = 0; i < kCount; ++i)
        ASSERT_NEAR(played[i], volts[i], 20.0 / 4096) << i;
}

TEST_F(FaoTest, TerminateWhileTheFifoDrains) {
    ASSERT_EQ(KtzSimSetTimeFactor(10), 0);
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(65536, 10000, 1, 0, 0, 4000), 0u);
    // Another thread watches the status meanwhile, as applications do.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        WORD a, b, e, g;
        DWORD count;
        while (!done) ASSERT_EQ(FAOCheckEx(handle_, &a, &b, &e, &count, &g), 0u);
    });
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    done = true;
    watcher.join();

    KtzSimOutputState state = OutputState();
    EXPECT_EQ(state.running, 0u);
    EXPECT_EQ(state.fifoSamples, 0u);  // the last sample had left when it returned
    EXPECT_EQ(state.dmaBytes, 0u);
    EXPECT_GE(state.played, 4096u);
    EXPECT_LT(state.played, 65536u);
    EXPECT_TRUE(Signalled(ended));
    EXPECT_EQ(Record(handle_).fao.faoRunning, 0);
    EXPECT_EQ(Record(handle_).fao.startOverlapped.hEvent, nullptr);
}

TEST_F(FaoTest, DrainGivesUpAtItsBound) {
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);  // the card never plays the FIFO out
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(4096, 1000000), 0u);
    ASSERT_TRUE(Signalled(ended));
    ASSERT_TRUE(ResetEvent(ended));
    ASSERT_EQ(FAOTerminate(handle_), 0u);  // after the bound (fao_drain_test.cpp)
    EXPECT_TRUE(Signalled(ended));
    EXPECT_EQ(Record(handle_).fao.faoRunning, 0);
    EXPECT_EQ(OutputState().fifoSamples, 4096u);
}

TEST_F(FaoTest, LastCloseTerminatesARunningOutput) {
    ASSERT_EQ(KtzSimSetTimeFactor(10), 0);
    ASSERT_EQ(Start(65536), 0u);
    KTZHANDLE second = Open(0);  // a second open of the same record
    Close(second);
    EXPECT_EQ(OutputState().running, 1u);
    KtzSimTraceClear();
    Close(handle_);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_TERMINATE), 1u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_FREE), 1u);
    KtzSimOutputState state = OutputState();
    EXPECT_EQ(state.running, 0u);
    EXPECT_EQ(state.dmaBytes, 0u);
    EXPECT_EQ(state.fifoSamples, 0u);
}

TEST_F(FaoTest, LoadReplacesSamplesInTheDmaBuffer) {
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(8192, 10000, 0, 0, 0, 1024), 0u);  // 1.25 V on 0 to 5 V
    std::vector<WORD> next(4096, 3072);                 // 3.75 V
    KtzSimTraceClear();
    ASSERT_EQ(FAOLoad(handle_, 0, next.data(), 4096, 4096), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_LOAD), 1u);
    ASSERT_EQ(KtzSimSetTimeFactor(100), 0);
    ASSERT_TRUE(Signalled(ended, kWait));
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    auto played = Played(0, 8192);
    ASSERT_EQ(played.size(), 8192u);
    EXPECT_EQ(played.front(), 1.25);
    EXPECT_EQ(played[4095], 1.25);
    EXPECT_EQ(played[4096], 3.75);
    EXPECT_EQ(played.back(), 3.75);
}

}  // namespace
}  // namespace ktztest
