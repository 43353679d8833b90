// The measurement threads: stopped and joined by CounterReset and by the
// last DeviceClose, forgotten slots, and no handle left behind.
#include <hostwin.h>

#include "counter_fixture.h"

namespace ktztest {
namespace {

using ktz::CounterSlotBusy;
using ktz::CounterThreadKind;

class CounterThreadTest : public CounterTest {
protected:
    // With neither requests nor polls taking virtual time, a gate never
    // opens and never ends: a measurement thread polls until it is stopped.
    void FreezeTime() {
        KtzSimSetRequestCost(0);
        ASSERT_EQ(KtzSimSetCounterPollCost(0, 0), 0);
    }
    static void StartFrequency(KTZHANDLE handle) {
        ASSERT_EQ(CounterFreqStart(handle, 2, 0, 0), 0u);
        float frequency = -1;
        ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
        ASSERT_EQ(frequency, -1.0f);
    }
    static void StartPulseWidth(KTZHANDLE handle) {
        float first = -1, second = -1;
        ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        ASSERT_EQ(first, -1.0f);
    }
    static bool Running(const ktz::CounterThread &thread) {
        DWORD code = 0;
        return GetExitCodeThread(thread.handle, &code) && code == STILL_ACTIVE;
    }
};

TEST_F(CounterThreadTest, ResetOnAnyCounterStopsTheRunningThreads) {
    KTZHANDLE handle = OpenDefault();
    FreezeTime();
    DWORD handles = HwOpenHandleCount();
    StartFrequency(handle);
    StartPulseWidth(handle);  // no pulse train: waits for a high phase forever
    ASSERT_EQ(ThreadCount(handle), 2u);
    for (const auto &thread : Record(handle).counter.threads) EXPECT_TRUE(Running(*thread));
    EXPECT_EQ(HwOpenHandleCount(), handles + 2);

    KtzSimTraceClear();
    ASSERT_EQ(CounterReset(handle, 0), 0u);
    EXPECT_EQ(ThreadCount(handle), 0u);
    EXPECT_FALSE(CounterSlotBusy(CounterThreadKind::Frequency));
    EXPECT_FALSE(CounterSlotBusy(CounterThreadKind::PulseWidth));
    EXPECT_EQ(HwOpenHandleCount(), handles);
    // Stopped threads leave no result and send nothing after the reset.
    EXPECT_EQ(Record(handle).counter.freqReady, 0);
    EXPECT_EQ(Record(handle).counter.pwmReady, 0);
    auto writes = RegisterWrites();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(std::vector<Access>(writes.end() - 3, writes.end()),
              (std::vector<Access>{W16(30, 0x39), W16(24, 0), W16(24, 0)}));
    // So the next read starts a new measurement.
    StartFrequency(handle);
    EXPECT_EQ(ThreadCount(handle), 1u);
}

TEST_F(CounterThreadTest, ResetStopsTheSlotThreadOfAnotherDevice) {
    KtzSimAddCard(0, 14, KTZSIM_PCI3649);
    Install(1, 1);
    KTZHANDLE first = OpenDefault();
    KTZHANDLE second = Open(1);
    FreezeTime();
    StartFrequency(second);
    // The slot is process-wide: the first device cannot start its own now.
    float frequency = -1;
    ASSERT_EQ(CounterFreqRead(first, 2, &frequency), 0u);
    EXPECT_EQ(ThreadCount(first), 0u);

    ASSERT_EQ(CounterReset(first, 1), 0u);
    EXPECT_EQ(ThreadCount(second), 0u);
    StartFrequency(first);
    EXPECT_EQ(ThreadCount(first), 1u);
}

TEST_F(CounterThreadTest, LastCloseJoinsRunningAndForgottenThreads) {
    Install(0);
    DWORD handles = HwOpenHandleCount();
    KTZHANDLE handle = Open(0);
    KTZHANDLE again = Open(0);
    FreezeTime();
    StartFrequency(handle);
    // Every one of these forgets the frequency thread without stopping it.
    ASSERT_EQ(CounterEventStart(handle, 0, 0), 0u);
    EXPECT_FALSE(CounterSlotBusy(CounterThreadKind::Frequency));
    StartPulseWidth(handle);
    ASSERT_EQ(ThreadCount(handle), 2u);

    Close(again);  // not the last close: the threads run on
    ASSERT_EQ(ThreadCount(handle), 2u);
    for (const auto &thread : Record(handle).counter.threads) EXPECT_TRUE(Running(*thread));
    Close(handle);
    EXPECT_FALSE(CounterSlotBusy(CounterThreadKind::PulseWidth));
    // Nothing of the device is left, no thread handle either.
    EXPECT_EQ(HwOpenHandleCount(), handles);
}

TEST_F(CounterThreadTest, NewMeasurementStopsTheForgottenOne) {
    KTZHANDLE handle = OpenDefault();
    FreezeTime();
    StartFrequency(handle);
    HANDLE forgotten = Record(handle).counter.threads.front()->handle;
    for (auto forget : {+[](KTZHANDLE h) { return CounterFreqStart(h, 2, 0, 0); },
                        +[](KTZHANDLE h) { return CounterPulseStart(h, 1, 0.01f, 0, 0); }}) {
        ASSERT_EQ(forget(handle), 0u);
        EXPECT_FALSE(CounterSlotBusy(CounterThreadKind::Frequency));
        StartFrequency(handle);
        ASSERT_EQ(ThreadCount(handle), 1u);
        EXPECT_NE(Record(handle).counter.threads.front()->handle, forgotten);
        forgotten = Record(handle).counter.threads.front()->handle;
    }
}

TEST_F(CounterThreadTest, DeliveredResultsLeaveNoThreadBehind) {
    KTZHANDLE handle = OpenWith([](KtzSimDeviceSettings &s) { s.freqArea = 0; });
    ASSERT_EQ(KtzSimSetCounterPollCost(0, 3000), 0);
    ASSERT_EQ(KtzSimSetCounterPulseTrain(0, 2, 10'000, 10'000), 0);
    DWORD handles = HwOpenHandleCount();
    for (int round = 0; round < 3; ++round) {
        StartFrequency(handle);
        StartPulseWidth(handle);
        ASSERT_TRUE(WaitForThreads(handle));
        float frequency = -1, first = -1, second = -1;
        ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
        ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        EXPECT_NE(frequency, -1.0f);
        EXPECT_NE(first, -1.0f);
        EXPECT_EQ(ThreadCount(handle), 0u);
        EXPECT_EQ(HwOpenHandleCount(), handles);
    }
}

}  // namespace
}  // namespace ktztest
