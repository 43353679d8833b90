// The counter functions end to end on the lab's signals.
#include "counter_fixture.h"

namespace ktztest {
namespace {

class CounterLabTest : public CounterTest {};

TEST_F(CounterLabTest, FrequencyMeasuredInEachArea) {
    struct Case {
        unsigned area;
        double hertz;
        float expected;
        unsigned long long gateNs;  // 60000 ticks of the area's clock
    };
    const Case cases[] = {
        {3, 1000.0, 1000.0f, 6'000'000'000},  // 6000 edges / 6
        {3, 13.0, 13.0f, 6'000'000'000},
        {2, 50e3, 50000.0f, 600'000'000},
        {1, 500e3, 500000.0f, 60'000'000},
        {0, 5e6, 5000000.0f, 6'000'000},
    };
    for (const Case &c : cases) {
        KTZHANDLE handle = OpenWith([&](KtzSimDeviceSettings &s) { s.freqArea = c.area; });
        // Writes take no time, so the gate opens after counter 2 is connected,
        // and the thread's polls pass the gate in about 2000 reads.
        KtzSimSetRequestCost(0);
        ASSERT_EQ(KtzSimSetCounterPollCost(0, c.gateNs / 2000), 0);
        ASSERT_EQ(KtzSimSetCounterRate(0, 2, c.hertz), 0);
        ASSERT_EQ(CounterFreqStart(handle, 2, 0, 0), 0u);
        float frequency = -1;
        ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
        ASSERT_TRUE(WaitForThreads(handle));
        ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
        EXPECT_EQ(frequency, c.expected) << "area " << c.area << ", " << c.hertz << " Hz";
        Close(handle);
    }
}

TEST_F(CounterLabTest, EventsCountedAcrossWraps) {
    KTZHANDLE handle = OpenDefault();
    ASSERT_EQ(CounterEventStart(handle, 1, 0), 0u);
    DWORD total = 0;
    for (unsigned pulses : {40000u, 40000u, 60000u, 65535u, 1u, 0u, 65000u}) {
        ASSERT_EQ(KtzSimInjectCounterPulses(0, 1, pulses), 0);
        total += pulses;
        WORD overflow = 9;
        DWORD count = 0;
        ASSERT_EQ(CounterEventRead(handle, 1, &overflow, &count), 0u);
        EXPECT_EQ(count, total);
        EXPECT_EQ(overflow, 0);
    }
    // Counter 0 is not disturbed by counter 1's input.
    ASSERT_EQ(CounterEventStart(handle, 0, 0), 0u);
    WORD overflow;
    DWORD count = 9;
    ASSERT_EQ(CounterEventRead(handle, 0, &overflow, &count), 0u);
    EXPECT_EQ(count, 0u);
}

TEST_F(CounterLabTest, EventsCountOnlyThroughTheOpenGate) {
    KTZHANDLE handle = OpenDefault();
    struct Case {
        WORD gateMode;
        int line;
        DWORD counted;
    };
    const Case cases[] = {{0, 0, 100}, {1, 1, 100}, {1, 0, 0}, {3, 0, 0},
                          {2, 0, 100}, {2, 1, 0},   {4, 1, 0}};
    for (const Case &c : cases) {
        ASSERT_EQ(KtzSimSetCounterGate(0, 2, c.line), 0);
        ASSERT_EQ(CounterEventStart(handle, 2, c.gateMode), 0u);
        ASSERT_EQ(KtzSimInjectCounterPulses(0, 2, 100), 0);
        WORD overflow;
        DWORD count = 9;
        ASSERT_EQ(CounterEventRead(handle, 2, &overflow, &count), 0u);
        EXPECT_EQ(count, c.counted) << "gate mode " << c.gateMode << ", line " << c.line;
    }
}

TEST_F(CounterLabTest, EventsAtARateAreCountedAsTimePasses) {
    KTZHANDLE handle = OpenDefault();
    ASSERT_EQ(KtzSimSetCounterRate(0, 0, 250e3), 0);  // one edge per 4 requests
    ASSERT_EQ(CounterEventStart(handle, 0, 0), 0u);
    DWORD previous = 0;
    for (int i = 0; i < 100; ++i) {
        WORD overflow;
        DWORD count = 0;
        ASSERT_EQ(CounterEventRead(handle, 0, &overflow, &count), 0u);
        EXPECT_GE(count, previous);
        previous = count;
    }
    // 100 reads of 3 requests each take 300 us: 75 edges.
    EXPECT_EQ(previous, 75u);
}

TEST_F(CounterLabTest, PulseWidthMeasuredInEachArea) {
    struct Case {
        unsigned area;
        unsigned long long highNs, lowNs;
        float first, second;
    };
    const Case cases[] = {
        {0, 100'000, 50'000, 100.0f, 50.0f},  // area 1: the sequence test
        {0, 1'300, 2'200, 1.3f, 2.2f},
        {2, 300'000, 1'000'000, 300.0f, 1000.0f},
        {3, 1'000'000, 500'000, 1000.0f, 500.0f},
    };
    for (const Case &c : cases) {
        KTZHANDLE handle = OpenWith([&](KtzSimDeviceSettings &s) { s.pwmArea = c.area; });
        ASSERT_EQ(KtzSimSetCounterPulseTrain(0, 2, c.highNs, c.lowNs), 0);
        float first = -1, second = -1;
        ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        ASSERT_TRUE(WaitForThreads(handle));
        ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        EXPECT_FLOAT_EQ(first, c.first) << "area " << c.area;
        EXPECT_FLOAT_EQ(second, c.second) << "area " << c.area;
        Close(handle);
    }
}

TEST_F(CounterLabTest, PulseOutputSquareWave) {
    KTZHANDLE handle = OpenDefault();
    ASSERT_EQ(CounterPulseStart(handle, 0, 0.001f, 0, 0), 0u);
    KtzSimCounterOutput out{};
    ASSERT_EQ(KtzSimGetCounterOutput(0, 0, &out), 0);
    EXPECT_EQ(out.mode, 3u);
    EXPECT_EQ(out.periodNs, 1e6);
    EXPECT_EQ(out.highNs, 5e5);

    ASSERT_EQ(CounterPulseStart(handle, 1, 2.5f, 0, 0), 0u);
    ASSERT_EQ(KtzSimGetCounterOutput(0, 1, &out), 0);
    EXPECT_EQ(out.periodNs, 2.5e9);
    // Register 38 is shared: counter 0's wave now runs on 10 kHz as well.
    ASSERT_EQ(KtzSimGetCounterOutput(0, 0, &out), 0);
    EXPECT_EQ(out.periodNs, 1e9);

    // Gate mode 2 (active low) holds the wave while the gate line is high.
    ASSERT_EQ(CounterPulseStart(handle, 2, 0.0001f, 0, 2), 0u);
    ASSERT_EQ(KtzSimGetCounterOutput(0, 2, &out), 0);
    EXPECT_EQ(out.periodNs, 0.0);
    EXPECT_EQ(out.level, 1u);
    ASSERT_EQ(KtzSimSetCounterGate(0, 2, 0), 0);
    ASSERT_EQ(KtzSimGetCounterOutput(0, 2, &out), 0);
    EXPECT_EQ(out.periodNs, 1e5);
}

}  // namespace
}  // namespace ktztest
