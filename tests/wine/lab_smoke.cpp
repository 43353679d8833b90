// The real Ktz3649.dll under Wine on the lab driver: the lab set up through
// Ktz3649Sim.dll (the driver installed, a card, device 0 registered and
// started through the library's own service registration), then, through
// the library's exports only, a DC voltage, a digital port written and
// read back, an acquisition read after its end, one whose halves are taken
// on buffer-change events while its read is still pending, and a waveform
// played to its end, each waited for with CheckEvent. Prints what it
// checks and how long the steps took; exit code 0 when everything held.
#include <windows.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int g_failures = 0;

#define CHECK(condition)                                                             \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #condition);       \
            ++g_failures;                                                            \
        }                                                                            \
    } while (0)
#define CHECK_EQ(actual, expected)                                                   \
    do {                                                                             \
        auto a_ = (actual);                                                          \
        auto e_ = (expected);                                                        \
        if (!(a_ == e_)) {                                                           \
            std::printf("FAILED %s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, \
                        #actual, static_cast<long long>(a_), static_cast<long long>(e_)); \
            ++g_failures;                                                            \
        }                                                                            \
    } while (0)

constexpr WORD kBufferChange = 2, kEnded = 4, kOutputEnded = 10244, kTimedOut = 0xFFFF;
constexpr DWORD kWaitMs = 20000;  // generous: every wait ends on an event
constexpr int kCard = 0;

// +/-5 V (gain code 0): the 12-bit code of a voltage, as the card converts it.
WORD CodeOf(double volts) { return static_cast<WORD>(std::lround(2048 + volts * 2048 / 5.0)); }

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Ms() const {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_;
};

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
    CHECK_EQ(FAITransfer(handle, 0, words.data(), 0, first, count, 0), 0u);
    return words;
}

void Polled(KTZHANDLE handle) {
    CHECK_EQ(KtzSimSetInputVoltage(kCard, 3, 2.5), 0);
    CHECK_EQ(AIConfig(handle, 3, 0), 0u);
    FLOAT volts = 0;
    CHECK_EQ(AIVoltageIn(handle, 3, 0, 0, &volts), 0u);
    CHECK(std::fabs(volts - 2.5) <= 5.0 / 2048);
    std::printf("AIVoltageIn: channel 3 at 2.5 V reads %.4f V\n", volts);

    KtzSimTraceClear();
    CHECK_EQ(DioWritePortByte(handle, 0, 0xFF, 0xA5), 0u);
    KtzSimTraceEntry last{};
    size_t traced = KtzSimTraceCount();
    CHECK(traced >= 1);
    CHECK_EQ(KtzSimTraceGet(traced - 1, &last), 0);
    CHECK_EQ(last.kind, unsigned{KTZSIM_TRACE_REGISTER});
    CHECK_EQ(last.write, 1u);
    CHECK_EQ(last.value, 0xA5u);
    WORD port = 0;
    CHECK_EQ(DioReadPortByte(handle, 0, &port), 0u);
    CHECK_EQ(port, 0xA5);
    unsigned latch = 0;
    CHECK_EQ(KtzSimGetDigitalOutput(kCard, 0, &latch), 0);
    CHECK_EQ(latch, 0xA5u);
    std::printf("digital port 0: wrote 0xA5, read back 0x%02X, the card drives 0x%02X\n", port,
                latch);
}

// Lab calls across the process boundary: records in and out, absent
// pointers, results of each type.
void LabCalls() {
    const KtzSimCard second{1, 7, KTZSIM_PCI3649L, 0xE800, 11};
    CHECK_EQ(KtzSimAddCardEx(&second), 1);
    CHECK_EQ(KtzSimAddCardEx(nullptr), -1);
    KtzSimCard card{};
    CHECK_EQ(KtzSimGetCard(1, &card), 0);
    CHECK(std::memcmp(&card, &second, sizeof card) == 0);
    CHECK_EQ(KtzSimGetCard(1, nullptr), ERROR_INVALID_PARAMETER);
    const KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 2.0, 0.5, 1000.0, 0};
    CHECK_EQ(KtzSimSetSignal(kCard, 7, &sine), 0);
    // A quarter period into the sine: offset plus amplitude.
    CHECK(std::fabs(KtzSimInputVoltage(kCard, 7, 250000) - 2.5) < 1e-9);
    CHECK_EQ(KtzSimSetTimeFactor(-1.0), ERROR_INVALID_PARAMETER);
    CHECK_EQ(KtzSimSetTimeFactor(2.5), 0);
    CHECK_EQ(KtzSimTimeFactor(), 2.5);
    CHECK_EQ(KtzSimGetAcquisition(kCard, nullptr), ERROR_INVALID_PARAMETER);
}

// Two channels at 100 kS/s, the data taken after the end.
void AcquireThenRead(KTZHANDLE handle) {
    constexpr DWORD kSamples = 4000;
    CHECK_EQ(KtzSimSetTimeFactor(100), 0);
    CHECK_EQ(KtzSimSetInputVoltage(kCard, 0, -3.0), 0);
    CHECK_EQ(KtzSimSetInputVoltage(kCard, 1, 4.0), 0);
    HGLOBAL buffer = Buffer(kSamples);
    CHECK_EQ(EnableEvent(handle, kEnded, 1, 0), 0u);
    CHECK_EQ(StartAcquisition(handle, 2, 0, kSamples, 100000, buffer), 0u);
    CHECK(WaitForEvent(handle, kEnded));
    std::vector<WORD> words = Raw(handle, 0, kSamples);
    int wrong = 0;
    for (DWORD k = 0; k < kSamples; ++k) {
        WORD expected = k % 2 ? static_cast<WORD>(CodeOf(4.0) | 1 << 12) : CodeOf(-3.0);
        wrong += words[k] != expected;
    }
    CHECK_EQ(wrong, 0);
    std::printf("acquisition after its end: %lu samples of 2 channels, %d wrong\n",
                static_cast<unsigned long>(kSamples), wrong);
    CHECK_EQ(EnableEvent(handle, kEnded, 0, 0), 0u);
    GlobalFree(buffer);
}

// One channel on the lab's external clock, pulse by pulse: the first half
// is in the buffer when its buffer-change event comes, while the read is
// still pending (the second half's pulses have not come yet).
void AcquireByHalves(KTZHANDLE handle) {
    constexpr DWORD kSamples = 20000;
    const WORD expected = static_cast<WORD>(CodeOf(1.25) | 5 << 12);
    CHECK_EQ(KtzSimSetInputVoltage(kCard, 5, 1.25), 0);
    HGLOBAL buffer = Buffer(kSamples);
    CHECK_EQ(EnableEvent(handle, kBufferChange | kEnded, 1, 0), 0u);
    CHECK_EQ(StartAcquisition(handle, 1, 5, kSamples, 0, buffer, 1), 0u);
    CHECK_EQ(KtzSimPulseExternalClock(kCard, kSamples / 2), 0);

    WORD event = 0;
    CHECK_EQ(CheckEvent(handle, &event, kWaitMs), 0u);
    CHECK_EQ(event, kBufferChange);
    KtzSimAcquisition info{};
    CHECK_EQ(KtzSimGetAcquisition(kCard, &info), 0);
    WORD stopped = 9, status1 = 0, status2 = 0, status3 = 0;
    DWORD count = 0;
    CHECK_EQ(FAICheck(handle, &stopped, &status1, &count, &status2, &status3), 0u);
    std::vector<WORD> first = Raw(handle, 0, kSamples / 2);
    int wrong = 0;
    for (WORD w : first) wrong += w != expected;
    CHECK_EQ(info.state, unsigned{KTZSIM_ACQ_RUNNING});  // the read completes at the end
    CHECK_EQ(status1, 2);
    CHECK_EQ(count, kSamples / 2);
    CHECK_EQ(wrong, 0);
    std::printf("first half at its buffer-change event: %lu samples taken, read pending, "
                "%d of %lu wrong\n",
                static_cast<unsigned long>(count), wrong,
                static_cast<unsigned long>(kSamples / 2));

    CHECK_EQ(KtzSimPulseExternalClock(kCard, kSamples / 2), 0);
    CHECK(WaitForEvent(handle, kEnded));
    std::vector<WORD> all = Raw(handle, 0, kSamples);
    wrong = 0;
    for (WORD w : all) wrong += w != expected;
    CHECK_EQ(wrong, 0);
    std::printf("whole buffer after the end: %d wrong\n", wrong);
    CHECK_EQ(EnableEvent(handle, kBufferChange | kEnded, 0, 0), 0u);
    GlobalFree(buffer);
}

// A triangle on output 0 at 10 kS/s, waited for with its output-ended event.
void PlayWaveform(KTZHANDLE handle) {
    constexpr DWORD kSamples = 4096;
    CHECK_EQ(KtzSimSetTimeFactor(10), 0);
    CHECK_EQ(AOConfig(handle, 0, 0, 10.0f, -10.0f), 0u);
    std::vector<FLOAT> volts(kSamples);
    for (DWORD i = 0; i < kSamples; ++i)
        volts[i] = static_cast<FLOAT>(8.0 - 16.0 * std::fabs(static_cast<double>(i % 512) / 256.0 - 1.0));
    std::vector<WORD> codes(kSamples);
    CHECK_EQ(FAOScale(handle, 0, kSamples, volts.data(), codes.data()), 0u);
    CHECK_EQ(EnableEvent(handle, kOutputEnded, 1, 0), 0u);
    CHECK_EQ(FAODmaExStart(handle, 0, 10000, 0, 1, 0, codes.data(), kSamples, 0), 0u);
    CHECK(WaitForEvent(handle, kOutputEnded));

    std::vector<double> played(kSamples);
    size_t copied = 0;
    unsigned long long total = 0;
    CHECK_EQ(KtzSimGetOutputRecord(kCard, 0, played.data(), kSamples, &copied, &total), 0);
    CHECK_EQ(copied, size_t{kSamples});
    int wrong = 0;
    for (size_t i = 0; i < copied; ++i) wrong += std::fabs(played[i] - volts[i]) > 20.0 / 4096;
    CHECK_EQ(wrong, 0);
    std::printf("waveform: %llu samples played, %d off the table\n", total, wrong);
}

}  // namespace

int main() {
    Stopwatch all;
    Stopwatch step;
    KtzSimReset(0);
    CHECK_EQ(KtzSimCardCount(), 0);
    std::printf("lab up and reset in %.0f ms\n", step.Ms());

    step = Stopwatch();
    int card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    CHECK_EQ(card, kCard);
    CHECK_EQ(KtzSimInstallDevice(0, card, nullptr), 0);
    CHECK_EQ(KtzSimDriverRunning(), 1);
    CHECK_EQ(KtzSimCardOfDevice(0), kCard);
    std::printf("card added, device 0 installed and the driver started in %.0f ms\n", step.Ms());

    KTZHANDLE handle = 0;
    CHECK_EQ(DeviceOpen(0, &handle), 0u);
    if (handle) {
        step = Stopwatch();
        LabCalls();
        Polled(handle);
        AcquireThenRead(handle);
        AcquireByHalves(handle);
        PlayWaveform(handle);
        std::printf("library steps in %.0f ms\n", step.Ms());
        CHECK_EQ(DeviceClose(&handle), 0u);
    }

    KtzSimReset(0);
    CHECK_EQ(KtzSimCardCount(), 0);
    CHECK_EQ(KtzSimDriverRunning(), 0);
    std::printf("%s in %.0f ms\n", g_failures ? "FAILED" : "passed", all.Ms());
    return g_failures ? 1 : 0;
}
