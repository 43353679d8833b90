// The real Ktz3649.dll under Wine on the lab driver, end to end: the lab
// set up through Ktz3649Sim.dll (the driver installed, a card, device 0
// registered and started through the library's own service registration),
// then, through the library's exports only, a DC voltage, a digital port
// written and read back, an acquisition read after its end, one whose
// halves are taken on buffer-change events while its read is still
// pending, and a waveform played to its end, each waited for with
// CheckEvent. Each step prints what it saw.
#include <gtest/gtest.h>

#include <windows.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr WORD kBufferChange = 2, kEnded = 4, kOutputEnded = 10244, kTimedOut = 0xFFFF;
constexpr DWORD kWaitMs = 20000;  // generous: every wait ends on an event
constexpr int kCard = 0;

// +/-5 V (gain code 0): the 12-bit code of a voltage, as the card converts it.
WORD CodeOf(double volts) { return static_cast<WORD>(std::lround(2048 + volts * 2048 / 5.0)); }

// Waits with CheckEvent until it reports `code`; false on a time-out.
bool WaitForEvent(KTZHANDLE handle, WORD code) {
    for (;;) {
        WORD got = 0;
        if (CheckEvent(handle, &got, kWaitMs) != 0 || got == kTimedOut) return false;
        if (got == code) return true;
    }
}

HGLOBAL Buffer(DWORD samples) { return GlobalAlloc(GHND, samples * sizeof(WORD)); }

// An acquisition without trigger at +/-5 V, on the pacer or (clockSource
// 1) the lab's external clock.
DWORD StartAcquisition(KTZHANDLE handle, WORD scanLength, WORD startChannel, DWORD samples,
                       DWORD rate, HGLOBAL buffer, WORD clockSource = 0) {
    WORD gains[16] = {};
    return FAIDmaExStart(handle, 0, 0, clockSource, 0, 0, 0.0f, 0, scanLength, startChannel, 2,
                         samples, rate, gains, 0, 0, buffer, 0, 0, 0, 0);
}

std::vector<WORD> Raw(KTZHANDLE handle, DWORD first, DWORD count) {
    std::vector<WORD> words(count);
    EXPECT_EQ(FAITransfer(handle, 0, words.data(), 0, first, count, 0), 0u);
    return words;
}

// A reset lab with a PCI-3649 on bus 0, slot 13, installed as device 0
// (the driver started through the library's registration) and opened.
class LabSmoke : public ::testing::Test {
protected:
    void SetUp() override {
        KtzSimReset(0);
        ASSERT_EQ(KtzSimCardCount(), 0);
        ASSERT_EQ(KtzSimAddCard(0, 13, KTZSIM_PCI3649), kCard);
        ASSERT_EQ(KtzSimInstallDevice(0, kCard, nullptr), 0);
        ASSERT_EQ(KtzSimDriverRunning(), 1);
        ASSERT_EQ(KtzSimCardOfDevice(0), kCard);
        ASSERT_EQ(DeviceOpen(0, &handle), 0u);
    }
    void TearDown() override {
        if (handle) {
            EXPECT_EQ(DeviceClose(&handle), 0u);
        }
        KtzSimReset(0);
        EXPECT_EQ(KtzSimCardCount(), 0);
        EXPECT_EQ(KtzSimDriverRunning(), 0);
    }
    KTZHANDLE handle = 0;
};

TEST_F(LabSmoke, VoltageAndDigitalPort) {
    EXPECT_EQ(KtzSimSetInputVoltage(kCard, 3, 2.5), 0);
    EXPECT_EQ(AIConfig(handle, 3, 0), 0u);
    FLOAT volts = 0;
    EXPECT_EQ(AIVoltageIn(handle, 3, 0, 0, &volts), 0u);
    EXPECT_TRUE(std::fabs(volts - 2.5) <= 5.0 / 2048);
    std::printf("AIVoltageIn: channel 3 at 2.5 V reads %.4f V\n", volts);

    KtzSimTraceClear();
    EXPECT_EQ(DioWritePortByte(handle, 0, 0xFF, 0xA5), 0u);
    KtzSimTraceEntry last{};
    size_t traced = KtzSimTraceCount();
    EXPECT_TRUE(traced >= 1);
    EXPECT_EQ(KtzSimTraceGet(traced - 1, &last), 0);
    EXPECT_EQ(last.kind, unsigned{KTZSIM_TRACE_REGISTER});
    EXPECT_EQ(last.write, 1u);
    EXPECT_EQ(last.value, 0xA5u);
    WORD port = 0;
    EXPECT_EQ(DioReadPortByte(handle, 0, &port), 0u);
    EXPECT_EQ(port, 0xA5);
    unsigned latch = 0;
    EXPECT_EQ(KtzSimGetDigitalOutput(kCard, 0, &latch), 0);
    EXPECT_EQ(latch, 0xA5u);
    std::printf("digital port 0: wrote 0xA5, read back 0x%02X, the card drives 0x%02X\n", port,
                latch);
}

// Lab calls across the process boundary: records in and out, absent
// pointers, results of each type.
TEST_F(LabSmoke, LabCallsAcrossTheProcessBoundary) {
    const KtzSimCard second{1, 7, KTZSIM_PCI3649L, 0xE800, 11};
    EXPECT_EQ(KtzSimAddCardEx(&second), 1);
    EXPECT_EQ(KtzSimAddCardEx(nullptr), -1);
    KtzSimCard card{};
    EXPECT_EQ(KtzSimGetCard(1, &card), 0);
    EXPECT_TRUE(std::memcmp(&card, &second, sizeof card) == 0);
    EXPECT_EQ(KtzSimGetCard(1, nullptr), ERROR_INVALID_PARAMETER);
    const KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 2.0, 0.5, 1000.0, 0};
    EXPECT_EQ(KtzSimSetSignal(kCard, 7, &sine), 0);
    // A quarter period into the sine: offset plus amplitude.
    EXPECT_TRUE(std::fabs(KtzSimInputVoltage(kCard, 7, 250000) - 2.5) < 1e-9);
    EXPECT_EQ(KtzSimSetTimeFactor(-1.0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(KtzSimSetTimeFactor(2.5), 0);
    EXPECT_EQ(KtzSimTimeFactor(), 2.5);
    EXPECT_EQ(KtzSimGetAcquisition(kCard, nullptr), ERROR_INVALID_PARAMETER);
}

// Two channels at 100 kS/s, the data taken after the end.
TEST_F(LabSmoke, AcquisitionReadAfterItsEnd) {
    constexpr DWORD kSamples = 4000;
    EXPECT_EQ(KtzSimSetTimeFactor(100), 0);
    EXPECT_EQ(KtzSimSetInputVoltage(kCard, 0, -3.0), 0);
    EXPECT_EQ(KtzSimSetInputVoltage(kCard, 1, 4.0), 0);
    HGLOBAL buffer = Buffer(kSamples);
    EXPECT_EQ(EnableEvent(handle, kEnded, 1, 0), 0u);
    EXPECT_EQ(StartAcquisition(handle, 2, 0, kSamples, 100000, buffer), 0u);
    EXPECT_TRUE(WaitForEvent(handle, kEnded));
    std::vector<WORD> words = Raw(handle, 0, kSamples);
    int wrong = 0;
    for (DWORD k = 0; k < kSamples; ++k) {
        WORD expected = k % 2 ? static_cast<WORD>(CodeOf(4.0) | 1 << 12) : CodeOf(-3.0);
        wrong += words[k] != expected;
    }
    EXPECT_EQ(wrong, 0);
    std::printf("acquisition after its end: %lu samples of 2 channels, %d wrong\n",
                static_cast<unsigned long>(kSamples), wrong);
    EXPECT_EQ(EnableEvent(handle, kEnded, 0, 0), 0u);
    GlobalFree(buffer);
}

// One channel on the lab's external clock, pulse by pulse: the first half
// is in the buffer when its buffer-change event comes, while the read is
// still pending (the second half's pulses have not come yet).
TEST_F(LabSmoke, AcquisitionByHalvesWhileTheReadIsPending) {
    constexpr DWORD kSamples = 20000;
    const WORD expected = static_cast<WORD>(CodeOf(1.25) | 5 << 12);
    EXPECT_EQ(KtzSimSetInputVoltage(kCard, 5, 1.25), 0);
    HGLOBAL buffer = Buffer(kSamples);
    EXPECT_EQ(EnableEvent(handle, kBufferChange | kEnded, 1, 0), 0u);
    EXPECT_EQ(StartAcquisition(handle, 1, 5, kSamples, 0, buffer, 1), 0u);
    EXPECT_EQ(KtzSimPulseExternalClock(kCard, kSamples / 2), 0);

    WORD event = 0;
    EXPECT_EQ(CheckEvent(handle, &event, kWaitMs), 0u);
    EXPECT_EQ(event, kBufferChange);
    KtzSimAcquisition info{};
    EXPECT_EQ(KtzSimGetAcquisition(kCard, &info), 0);
    WORD stopped = 9, status1 = 0, status2 = 0, status3 = 0;
    DWORD count = 0;
    EXPECT_EQ(FAICheck(handle, &stopped, &status1, &count, &status2, &status3), 0u);
    std::vector<WORD> first = Raw(handle, 0, kSamples / 2);
    int wrong = 0;
    for (WORD w : first) wrong += w != expected;
    EXPECT_EQ(info.state, unsigned{KTZSIM_ACQ_RUNNING});  // the read completes at the end
    EXPECT_EQ(status1, 2);
    EXPECT_EQ(count, kSamples / 2);
    EXPECT_EQ(wrong, 0);
    std::printf("first half at its buffer-change event: %lu samples taken, read pending, "
                "%d of %lu wrong\n",
                static_cast<unsigned long>(count), wrong,
                static_cast<unsigned long>(kSamples / 2));

    EXPECT_EQ(KtzSimPulseExternalClock(kCard, kSamples / 2), 0);
    EXPECT_TRUE(WaitForEvent(handle, kEnded));
    std::vector<WORD> all = Raw(handle, 0, kSamples);
    wrong = 0;
    for (WORD w : all) wrong += w != expected;
    EXPECT_EQ(wrong, 0);
    std::printf("whole buffer after the end: %d wrong\n", wrong);
    EXPECT_EQ(EnableEvent(handle, kBufferChange | kEnded, 0, 0), 0u);
    GlobalFree(buffer);
}

// A triangle on output 0 at 10 kS/s, waited for with its output-ended event.
TEST_F(LabSmoke, WaveformPlayedToItsEnd) {
    constexpr DWORD kSamples = 4096;
    EXPECT_EQ(KtzSimSetTimeFactor(10), 0);
    EXPECT_EQ(AOConfig(handle, 0, 0, 10.0f, -10.0f), 0u);
    std::vector<FLOAT> volts(kSamples);
    for (DWORD i = 0; i < kSamples; ++i)
        volts[i] = static_cast<FLOAT>(8.0 - 16.0 * std::fabs(static_cast<double>(i % 512) / 256.0 - 1.0));
    std::vector<WORD> codes(kSamples);
    EXPECT_EQ(FAOScale(handle, 0, kSamples, volts.data(), codes.data()), 0u);
    EXPECT_EQ(EnableEvent(handle, kOutputEnded, 1, 0), 0u);
    EXPECT_EQ(FAODmaExStart(handle, 0, 10000, 0, 1, 0, codes.data(), kSamples, 0), 0u);
    EXPECT_TRUE(WaitForEvent(handle, kOutputEnded));

    std::vector<double> played(kSamples);
    size_t copied = 0;
    unsigned long long total = 0;
    EXPECT_EQ(KtzSimGetOutputRecord(kCard, 0, played.data(), kSamples, &copied, &total), 0);
    EXPECT_EQ(copied, size_t{kSamples});
    int wrong = 0;
    for (size_t i = 0; i < copied; ++i) wrong += std::fabs(played[i] - volts[i]) > 20.0 / 4096;
    EXPECT_EQ(wrong, 0);
    std::printf("waveform: %llu samples played, %d off the table\n", total, wrong);
}

}  // namespace

