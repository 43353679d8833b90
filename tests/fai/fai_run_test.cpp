// Acquisitions end to end on the lab: samples of known signals in scan
// order, the end of a run with its read and status, stop and terminate,
// overrun, the about-trigger mode fired by the lab or by the level, and
// the last close of a device whose acquisition runs.
#include <ktz3649.h>

#include <cmath>

#include "fai_fixture.h"
#include "fai_reference.h"

namespace ktztest {
namespace {


constexpr WORD kInterrupt = 1, kBufferChange = 2, kEnded = 4, kOverrun = 8;

class FaiRunTest : public FaiTest {
protected:
    void SetUp() override {
        FaiTest::SetUp();
        Install(0);
        handle_ = Open(0);
    }

    FaiStart External(DWORD samples) {
        FaiStart start;
        start.clockSource = 1;
        start.sampleCount = samples;
        return start;
    }

    KtzFastStatusRecord Status() {
        WORD zero = 9;
        KtzFastStatusRecord s{};
        EXPECT_EQ(FAICheck(handle_, &zero, &s.status1, &s.count, &s.status2, &s.status3), 0u);
        EXPECT_EQ(zero, 0);
        return s;
    }

    // The pending read's outcome: its bytes, or the error it failed with.
    DWORD ReadResult(DWORD *bytes) {
        auto &device = Record(handle_);
        return GetOverlappedResult(device.kernelHandle, &device.fai.faiReadRequest, bytes, FALSE)
                   ? 0
                   : GetLastError();
    }

    KTZHANDLE handle_ = 0;
};

TEST_F(FaiRunTest, SixteenChannelScanInVoltsWithinACodeOfTheTruth) {
    // Mixed ranges, DC levels and one sine, one entry per channel.
    const WORD gains[16] = {0, 4, 1, 16, 2, 17, 3, 18, 0, 4, 1, 16, 2, 17, 3, 19};
    const double levels[16] = {-4.5, 9.0, 2.0, 7.5, -1.0, 4.0, 0.5, 1.0,
                               3.3,  -8.0, -2.2, 0.2, 1.1, 2.5, -0.6, 0.9};
    for (unsigned c = 0; c < 16; ++c) KtzSimSetInputVoltage(0, c, levels[c]);
    KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 4.0, 0.5, 97.0, 0};
    KtzSimSetSignal(0, 9, &sine);
    ASSERT_EQ(EnableEvent(handle_, kEnded, 1, 0), 0u);

    FaiStart start;
    start.scanLength = 16;
    start.gains.assign(gains, gains + 16);
    start.sampleCount = 16 * 1000;
    start.sampleRate = 100000;
    ASSERT_EQ(Start(handle_, start), 0u);
    ASSERT_TRUE(WaitForEvent(handle_, kEnded));
    EXPECT_EQ(Record(handle_).fai.faiRunning, 0);  // CheckEvent terminated it
    EXPECT_EQ(LockCount(lastBuffer_), 0u);

    const DWORD n = start.sampleCount;
    std::vector<FLOAT> volts(n);
    std::vector<WORD> raw(n);
    ASSERT_EQ(FAITransfer(handle_, 0, volts.data(), 1, 0, n, 0), 0u);
    ASSERT_EQ(FAITransfer(handle_, 0, raw.data(), 0, 0, n, 0), 0u);
    const KtzSimAcquisition info = Acquisition();
    for (DWORD k = 0; k < n; ++k) {
        unsigned channel = k % 16;
        double truth = KtzSimInputVoltage(0, channel, info.startTime + k * 10000ull);
        GainScale scale = GainScaleOf(gains[channel]);
        double code = scale.fullScale / (scale.offset ? 2048.0 : 4096.0);
        ASSERT_NEAR(volts[k], truth, code) << "sample " << k;
        ASSERT_EQ(raw[k] >> 12, channel & 7) << "sample " << k;
    }

    DWORD bytes = 0;
    EXPECT_EQ(ReadResult(&bytes), 0u);
    EXPECT_EQ(bytes, n * 2);
    KtzFastStatusRecord status = Status();
    EXPECT_EQ(status.status1, 3);
    EXPECT_EQ(status.count, n);
}

TEST_F(FaiRunTest, ExternalClockFillsTheBufferOnceAndEnds) {
    ASSERT_EQ(Start(handle_, External(8)), 0u);
    KtzFastStatusRecord status = Status();
    EXPECT_EQ(status.status1, 2);
    EXPECT_EQ(status.count, 0u);
    EXPECT_EQ(status.status2, 0);

    ASSERT_EQ(KtzSimPulseExternalClock(0, 5), 0);
    status = Status();
    EXPECT_EQ(status.status1, 2);
    EXPECT_EQ(status.count, 5u);
    EXPECT_EQ(status.status2, 1);  // the next sample goes to the high half
    HANDLE read = Record(handle_).fai.faiReadRequest.hEvent;
    EXPECT_EQ(WaitForSingleObject(read, 0), WAIT_TIMEOUT);

    ASSERT_EQ(KtzSimPulseExternalClock(0, 3), 0);
    EXPECT_EQ(WaitForSingleObject(read, kWaitMs), WAIT_OBJECT_0);
    status = Status();
    EXPECT_EQ(status.status1, 3);
    EXPECT_EQ(status.count, 8u);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 4), 0);  // nothing more is taken
    EXPECT_EQ(Status().count, 8u);

    // Without events nobody terminates it: FAIStop does, once.
    EXPECT_EQ(Record(handle_).fai.faiRunning, 1);
    KtzSimTraceClear();
    EXPECT_EQ(FAIStop(handle_), 0u);
    EXPECT_EQ(FAIStop(handle_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_STOP), 1u);
    EXPECT_EQ(Record(handle_).fai.faiClaimed, 0);
    EXPECT_EQ(Status().status1, 3);  // the driver still knows it ended
}

TEST_F(FaiRunTest, CheckRefusesNullOutputsAndPassesKernelErrors) {
    ASSERT_EQ(Start(handle_, External(8)), 0u);
    WORD w[4] = {7, 7, 7, 7};
    DWORD count = 7;
    KtzSimTraceClear();
    EXPECT_EQ(FAICheck(handle_, nullptr, &w[0], &count, &w[1], &w[2]), 0x100Au);
    EXPECT_EQ(FAICheck(handle_, &w[0], &w[1], nullptr, &w[2], &w[3]), 0x100Au);
    EXPECT_EQ(FAICheck(handle_, &w[0], &w[1], &count, &w[2], nullptr), 0x100Au);
    EXPECT_EQ(FAICheck(0, &w[0], &w[1], &count, &w[2], &w[3]), 3u);
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(count, 7u);

    KtzSimSetStatusReply(0, KTZ_IOCTL_FAI_STATUS, 55, 1);
    EXPECT_EQ(FAICheck(handle_, &w[0], &w[1], &count, &w[2], &w[3]), 0x1000u + 55);
    EXPECT_EQ(w[0], 7);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(FAICheck(handle_, &w[0], &w[1], &count, &w[2], &w[3]), 0u);
    EXPECT_EQ(w[1], 2);
}

TEST_F(FaiRunTest, StartOnTriggerKeepsNothingBeforeIt) {
    KtzSimSetInputVoltage(0, 0, 1.0);
    FaiStart start = External(4);
    start.triggerSource = 1;
    start.triggerMode = 1;
    ASSERT_EQ(Start(handle_, start), 0u);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 3), 0);
    KtzFastStatusRecord status = Status();
    EXPECT_EQ(status.status1, 1);
    EXPECT_EQ(status.count, 0u);
    ASSERT_EQ(KtzSimFireAcquisitionTrigger(0), 0);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 5), 0);
    status = Status();
    EXPECT_EQ(status.status1, 3);
    EXPECT_EQ(status.count, 4u);
    EXPECT_EQ(Acquisition().ticks, 7u);  // the fifth pulse came after the end
    EXPECT_EQ(Words(4), std::vector<WORD>(4, 2458));  // 1 V, no marker in mode 1
}

TEST_F(FaiRunTest, StopKeepsTheSamplesSoFarAndTerminateCancels) {
    for (bool terminate : {false, true}) {
        SCOPED_TRACE(terminate ? "terminate" : "stop");
        ASSERT_EQ(Start(handle_, External(16)), 0u);
        ASSERT_EQ(KtzSimPulseExternalClock(0, 6), 0);
        auto &read = Record(handle_).fai.faiReadRequest;
        KtzSimTraceClear();
        EXPECT_EQ(terminate ? FAITerminate(handle_) : FAIStop(handle_), 0u);
        EXPECT_EQ(RequestCount(terminate ? KTZ_IOCTL_FAI_TERMINATE : KTZ_IOCTL_FAI_STOP), 1u);
        EXPECT_EQ(read.hEvent, nullptr);
        DWORD bytes = 0;
        EXPECT_EQ(ReadResult(&bytes), terminate ? DWORD{ERROR_OPERATION_ABORTED} : 0u);
        if (!terminate) {
            EXPECT_EQ(bytes, 12u);
        }
        EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_STOPPED});
        EXPECT_EQ(Status().status1, 0);
        EXPECT_EQ(Words(16)[5], 0x0800);  // 0 V on channel 0
        EXPECT_EQ(Words(16)[6], 0);
        ASSERT_EQ(KtzSimPulseExternalClock(0, 4), 0);
        EXPECT_EQ(Acquisition().samples, 6u);  // and no more
    }
}

TEST_F(FaiRunTest, OverrunWhenAHalfIsRewrittenBeforeItsChangeIsTaken) {
    ASSERT_EQ(EnableEvent(handle_, kBufferChange | kOverrun, 1, 0), 0u);
    FaiStart start = External(8);
    start.triggerSource = 1;
    start.triggerMode = 3;
    ASSERT_EQ(Start(handle_, start), 0u);
    HANDLE overrunEvent = Record(handle_).events.eventHandles[3];

    ASSERT_EQ(KtzSimPulseExternalClock(0, 8), 0);  // both halves, nobody takes them
    EXPECT_EQ(Status().status3, 0);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 1), 0);  // the low half again
    KtzFastStatusRecord status = Status();
    EXPECT_EQ(status.status3, 1);
    EXPECT_EQ(status.count, 9u);
    EXPECT_EQ(status.status1, 1);  // waiting for the trigger
    EXPECT_EQ(WaitForSingleObject(overrunEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ClearOverrun(handle_), 0u);
    EXPECT_EQ(Status().status3, 0);

    // Taking the change in time keeps the next half clean.
    ASSERT_EQ(KtzSimPulseExternalClock(0, 3), 0);  // completes the low half
    EXPECT_EQ(NextEvent(handle_, 0), kBufferChange);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 1), 0);  // starts the high half
    EXPECT_EQ(Status().status3, 0);
    // The change of the half just completed, not yet taken, is no overrun:
    // the reader has until the rewrite of the half before it.
    ASSERT_EQ(KtzSimPulseExternalClock(0, 4), 0);  // completes the high half, starts the low one
    EXPECT_EQ(Status().status3, 0);
    EXPECT_EQ(Acquisition().overruns, 1u);
    EXPECT_EQ(ClearOverrun(0), 3u);
}

TEST_F(FaiRunTest, LabTriggerEndsAnAboutTriggerRunInTimeOrder) {
    const WORD gains[4] = {0, 1, 4, 16};
    for (unsigned c = 0; c < 4; ++c) KtzSimSetInputVoltage(0, c, 0.4 * (c + 1));
    ASSERT_EQ(EnableEvent(handle_, kBufferChange | kEnded, 1, 0), 0u);
    FaiStart start;
    start.triggerSource = 1;
    start.triggerMode = 3;
    start.scanLength = 4;
    start.gains.assign(gains, gains + 4);
    start.sampleCount = 4000;
    start.postTriggerScans = 100;
    ASSERT_EQ(Start(handle_, start), 0u);
    // The buffer fills once, and goes on around.
    ASSERT_EQ(NextEvent(handle_), kBufferChange);
    ASSERT_EQ(NextEvent(handle_), kBufferChange);
    EXPECT_EQ(Status().status1, 1);
    ASSERT_EQ(KtzSimFireAcquisitionTrigger(0), 0);
    ASSERT_TRUE(WaitForEvent(handle_, kEnded));

    const DWORD n = 4000, m = 400;
    DWORD p = 0;
    ASSERT_EQ(FAIWatchdogCheck(handle_, 0, 0, 0, 0, &p, 0), 0u);
    std::vector<WORD> raw = Words(n);
    EXPECT_EQ(p % 4, 0u);  // the trigger starts a scan
    for (DWORD i = 0; i < n; ++i) {
        bool post = (i + n - p) % n < m;
        ASSERT_EQ((raw[i] & 0x8000) != 0, post) << i;
    }
    EXPECT_GT(Acquisition().samples, n);

    // In time order the trigger sample sits at N - M, and every sample keeps
    // the gain of its scan entry.
    std::vector<FLOAT> volts(n), reference(n);
    ASSERT_EQ(FAITransfer(handle_, 0, volts.data(), 1, 0, n, 0), 0u);
    ReferenceTransfer(Record(handle_), reference.data(), 1, 0, n);
    EXPECT_EQ(volts, reference);
    for (DWORD k = 0; k < n; ++k) {
        WORD word = raw[(p + m + k) % n];
        ASSERT_EQ(word >> 12 & 7, k % 4) << k;
        ASSERT_NEAR(volts[k], 0.4 * (k % 4 + 1), 0.005) << k;
    }
    std::vector<WORD> ordered(n);
    for (DWORD k = 0; k < n; ++k) ordered[k] = raw[(p + m + k) % n];
    EXPECT_EQ(ordered[n - m] & 0x8000, 0x8000);
    EXPECT_EQ(ordered[n - m - 1] & 0x8000, 0);
}

TEST_F(FaiRunTest, LevelTriggerFiresOnTheRisingFirstEntry) {
    KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 4.0, 0.0, 20.0, 0};
    KtzSimSetSignal(0, 0, &sine);
    ASSERT_EQ(EnableEvent(handle_, kEnded, 1, 0), 0u);
    FaiStart start;
    start.triggerSource = 2;
    start.triggerMode = 3;
    start.triggerLevel = 2.0f;  // level code 153: 2.0 V again
    start.scanLength = 2;
    start.startChannel = 0;
    start.sampleCount = 2000;
    start.postTriggerScans = 50;
    ASSERT_EQ(Start(handle_, start), 0u);
    ASSERT_TRUE(WaitForEvent(handle_, kEnded));
    EXPECT_EQ(Acquisition().triggered, 1u);

    DWORD p = 0;
    ASSERT_EQ(FAIWatchdogCheck(handle_, 0, 0, 0, 0, &p, 0), 0u);
    ASSERT_GE(p, 2u);
    std::vector<WORD> raw = Words(2000);
    const int level = 2867;  // 2.0 V at +/-5 V
    EXPECT_GE(raw[p] & 0xFFF, level);
    EXPECT_LE(raw[p - 2] & 0xFFF, level + 1);
    EXPECT_EQ(raw[p] >> 12 & 7, 0);
}

TEST_F(FaiRunTest, LastCloseTerminatesAndReleasesEverything) {
    KTZHANDLE second = Open(0);
    DWORD handles = OpenHandleCount();
    ASSERT_EQ(EnableEvent(handle_, 15, 1, 0), 0u);
    FaiStart endless;
    endless.triggerSource = 1;
    endless.triggerMode = 3;
    endless.sampleCount = 1000;
    ASSERT_EQ(Start(handle_, endless), 0u);

    // Not the last close: it runs on, with its events.
    Close(second);
    EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_RUNNING});
    EXPECT_NE(Record(handle_).events.eventHandles[2], nullptr);

    KtzSimTraceClear();
    Close(handle_);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_TERMINATE), 1u);
    EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_STOPPED});
    EXPECT_EQ(LockCount(lastBuffer_), 0u);
    EXPECT_EQ(OpenHandleCount(), handles - 1);  // the events, the read's event, the device
    unsigned long long samples = Acquisition().samples;
    EXPECT_EQ(Acquisition().samples, samples);  // the engine has stopped writing
}

TEST_F(FaiRunTest, OneAcquisitionAtATimePerCard) {
    Close(handle_);
    Install(1);  // the same card, another device number
    handle_ = Open(0);
    KTZHANDLE other = Open(1);
    ASSERT_EQ(Start(handle_, External(8)), 0u);
    EXPECT_EQ(Start(other, External(8)), 0x202Bu);
    FAIStop(other);
    FAITerminate(handle_);
    EXPECT_EQ(Start(other, External(8)), 0u);
    // Another open's status and stop leave it alone.
    EXPECT_EQ(Status().status1, 0);
    FAIStop(handle_);
    EXPECT_EQ(Acquisition().state, unsigned{KTZSIM_ACQ_RUNNING});
}

}  // namespace
}  // namespace ktztest
