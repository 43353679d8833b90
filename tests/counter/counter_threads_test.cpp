// The measurement threads: stopped and joined by CounterReset and by the
// last DeviceClose, forgotten slots, and no handle left behind.
#include "counter_fixture.h"
#include "target.h"

namespace ktztest {
namespace {

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

    // Ways to leave one measurement thread running on a device. (Two at
    // once would disturb each other: both program counters 1 and 2.)
    struct Starter {
        const char *name;
        void (*start)(KTZHANDLE);
    };
    static constexpr Starter kStarters[] = {
        {"frequency", StartFrequency},
        {"pulse width", StartPulseWidth},  // no pulse train: waits for a phase forever
        {"forgotten frequency",
         [](KTZHANDLE handle) {
             StartFrequency(handle);
             ASSERT_EQ(CounterEventStart(handle, 0, 0), 0u);  // forgets it
         }},
    };
};

TEST_F(CounterThreadTest, ResetOnAnyCounterStopsTheRunningThread) {
    for (const Starter &starter : kStarters) {
        KTZHANDLE handle = OpenDefault();
        FreezeTime();
        DWORD handles = OpenHandleCount();
        starter.start(handle);
        ASSERT_EQ(ThreadCount(handle), 1u) << starter.name;
        EXPECT_TRUE(Running(*Record(handle).counter.threads.front())) << starter.name;
        EXPECT_EQ(OpenHandleCount(), handles + 1) << starter.name;

        KtzSimTraceClear();
        ASSERT_EQ(CounterReset(handle, 0), 0u);
        EXPECT_EQ(ThreadCount(handle), 0u) << starter.name;
        EXPECT_EQ(OpenHandleCount(), handles) << starter.name;
        // A stopped thread leaves no result and sends nothing after the reset.
        EXPECT_EQ(Record(handle).counter.freqReady, 0);
        EXPECT_EQ(Record(handle).counter.pwmReady, 0);
        auto writes = RegisterWrites();
        ASSERT_GE(writes.size(), 3u);
        EXPECT_EQ(std::vector<Access>(writes.end() - 3, writes.end()),
                  (std::vector<Access>{W16(30, 0x39), W16(24, 0), W16(24, 0)}))
            << starter.name;
        // So the next read starts a new measurement.
        starter.start(handle);
        EXPECT_EQ(ThreadCount(handle), 1u) << starter.name;
        Close(handle);
    }
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

TEST_F(CounterThreadTest, LastCloseJoinsTheRecordsThread) {
    Install(0);
    DWORD handles = OpenHandleCount();
    for (const Starter &starter : kStarters) {
        KTZHANDLE handle = Open(0);
        KTZHANDLE again = Open(0);
        FreezeTime();
        starter.start(handle);
        Close(again);  // not the last close: the thread runs on
        ASSERT_EQ(ThreadCount(handle), 1u) << starter.name;
        EXPECT_TRUE(Running(*Record(handle).counter.threads.front())) << starter.name;
        Close(handle);
        // Nothing of the device is left, no thread handle either.
        EXPECT_EQ(OpenHandleCount(), handles) << starter.name;
        // The process-wide slots are free: a new open starts either measurement.
        for (auto start : {StartFrequency, StartPulseWidth}) {
            KTZHANDLE next = Open(0);
            start(next);
            EXPECT_EQ(ThreadCount(next), 1u) << starter.name;
            Close(next);
        }
    }
}

TEST_F(CounterThreadTest, NewMeasurementStopsTheForgottenOne) {
    KTZHANDLE handle = OpenDefault();
    FreezeTime();
    StartFrequency(handle);
    // Thread IDs, not handles: Windows gives a closed handle's value to the next one.
    DWORD forgotten = Record(handle).counter.threads.front()->id;
    for (auto forget : {+[](KTZHANDLE h) { return CounterFreqStart(h, 2, 0, 0); },
                        +[](KTZHANDLE h) { return CounterPulseStart(h, 1, 0.01f, 0, 0); }}) {
        ASSERT_EQ(forget(handle), 0u);
        StartFrequency(handle);  // a new thread only if the slot was cleared
        ASSERT_EQ(ThreadCount(handle), 1u);
        EXPECT_NE(Record(handle).counter.threads.front()->id, forgotten);
        forgotten = Record(handle).counter.threads.front()->id;
    }
}

TEST_F(CounterThreadTest, DeliveredResultsLeaveNoThreadBehind) {
    KTZHANDLE handle = OpenWith([](KtzSimDeviceSettings &s) { s.freqArea = 0; });
    KtzSimSetRequestCost(0);
    ASSERT_EQ(KtzSimSetCounterPollCost(0, 3000), 0);
    ASSERT_EQ(KtzSimSetCounterPulseTrain(0, 2, 10'000, 10'000), 0);
    DWORD handles = OpenHandleCount();
    for (int round = 0; round < 3; ++round) {
        StartFrequency(handle);
        ASSERT_TRUE(WaitForThreads(handle));
        float frequency = -1, first = -1, second = -1;
        ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
        EXPECT_EQ(frequency, 50000.0f);
        EXPECT_EQ(ThreadCount(handle), 0u);
        EXPECT_EQ(OpenHandleCount(), handles);

        StartPulseWidth(handle);
        ASSERT_TRUE(WaitForThreads(handle));
        ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        EXPECT_EQ(first, 10.0f);
        EXPECT_EQ(ThreadCount(handle), 0u);
        EXPECT_EQ(OpenHandleCount(), handles);
    }
}

}  // namespace
}  // namespace ktztest
