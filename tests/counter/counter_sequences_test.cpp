// The register sequences of the counter functions, and their refusals.
#include <cmath>
#include <limits>

#include "counter_fixture.h"

namespace ktztest {
namespace {

using Accesses = std::vector<Access>;

class CounterSequenceTest : public CounterTest {};

TEST_F(CounterSequenceTest, EventStartByGateMode) {
    KTZHANDLE handle = OpenDefault();
    struct Case {
        WORD gateMode;
        int finalGate;  // -1: none written
    };
    for (Case c : {Case{0, 0x82}, {1, 0x22}, {2, 0x62}, {3, 0x22}, {4, 0x62}, {5, -1}}) {
        KtzSimTraceClear();
        ASSERT_EQ(CounterEventStart(handle, 1, c.gateMode), 0u);
        Accesses expected = {W16(30, 0x70), W16(26, 0xFF), W16(26, 0xFF),
                             W16(34, 0x80), W16(34, 0x88), W16(34, 0x80)};
        if (c.finalGate >= 0) expected.push_back(W16(34, static_cast<unsigned>(c.finalGate)));
        // Latched and read at once: nothing has been counted yet.
        for (Access a : {W8(30, 0x40), R16(26, 0xFF), R16(26, 0xFF)}) expected.push_back(a);
        EXPECT_EQ(Registers(), expected) << "gate mode " << c.gateMode;
    }
    const auto &state = Record(handle).counter;
    EXPECT_EQ(state.evtFirstPhase[1], 1u);
    EXPECT_EQ(state.evtLastCount[1], 0xFFFFu);
}

TEST_F(CounterSequenceTest, EventReadLatchesAndReadsLowThenHigh) {
    KTZHANDLE handle = OpenDefault();
    ASSERT_EQ(CounterEventStart(handle, 2, 0), 0u);
    ASSERT_EQ(KtzSimInjectCounterPulses(0, 2, 0x1234), 0);
    KtzSimTraceClear();
    WORD overflow = 7;
    DWORD count = 0;
    ASSERT_EQ(CounterEventRead(handle, 2, &overflow, &count), 0u);
    EXPECT_EQ(Registers(), (Accesses{W16(30, 0x80), R16(28, 0xCB), R16(28, 0xED)}));
    EXPECT_EQ(count, 0x1234u);
    EXPECT_EQ(overflow, 0);
}

// The clock selector and the mode 3 divisor of each period: the longest
// period of a clock stays on it, and a divisor rounds to the nearest tick.
TEST_F(CounterSequenceTest, PulseStartPeriods) {
    KTZHANDLE handle = OpenDefault();
    struct Case {
        float period;
        unsigned selector;
        unsigned divisor;
    };
    const Case cases[] = {
        {0.001f, 0, 10000},      {0.0065535f, 0, 65535}, {0.0065536f, 1, 6554},
        {0.0000002f, 0, 2},      {0.065535f, 1, 65535},  {0.0655351f, 2, 6554},
        {0.65535f, 2, 65535},    {6.5535f, 3, 65535},    {1.0f, 3, 10000},
        {0.00123455f, 0, 12346},  // 12345.5003 ticks round up
        {1.23455f, 3, 12345},     // 12345.49999 ticks round down
        {0.00390625f, 0, 39063},  // 39062.5 ticks exactly: half a tick rounds up
    };
    for (const Case &c : cases) {
        KtzSimTraceClear();
        ASSERT_EQ(CounterPulseStart(handle, 0, c.period, 0, 0), 0u) << c.period;
        EXPECT_EQ(RegisterWrites(),
                  (Accesses{W16(32, 0x81), W16(38, c.selector), W8(30, 0x36),
                            W16(24, c.divisor & 0xFF), W16(24, c.divisor >> 8)}))
            << c.period;
    }
    // Counter 2 with gate mode 3, and gate modes without a value.
    KtzSimTraceClear();
    ASSERT_EQ(CounterPulseStart(handle, 2, 0.001f, 0, 3), 0u);
    EXPECT_EQ(RegisterWrites().front(), W16(36, 0x21));
    EXPECT_EQ(RegisterWrites()[2], W8(30, 0xB6));
    KtzSimTraceClear();
    ASSERT_EQ(CounterPulseStart(handle, 1, 0.001f, 0, 4), 0u);
    EXPECT_EQ(RegisterWrites().front(), W16(34, 0x61));
    KtzSimTraceClear();
    ASSERT_EQ(CounterPulseStart(handle, 1, 0.001f, 0, 9), 0u);
    EXPECT_EQ(RegisterWrites().front(), W16(38, 0));
    // Periods out of range are refused (bare) after the gate.
    for (float period : {0.0000001f, 0.00000019f, 7.0f, 6.5536f, 0.0f, -0.001f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        KtzSimTraceClear();
        EXPECT_EQ(CounterPulseStart(handle, 0, period, 0, 0), 10u) << period;
        EXPECT_EQ(Registers(), (Accesses{W16(32, 0x81)})) << period;
    }
}

// A finished measurement's counts in each area: frequencies truncate after
// multiplying, pulse widths scale the ticks counted down from 0xFFFF.
TEST_F(CounterSequenceTest, DeliveredCountsInEachArea) {
    KTZHANDLE handle = OpenDefault();
    auto load = [&](WORD counter, WORD value) {
        WORD base = 0xE000;
        ASSERT_EQ(WritePortWord(handle, base + 30, static_cast<WORD>(counter << 6 | 0x30)), 0u);
        ASSERT_EQ(WritePortWord(handle, base + 24 + 2 * counter, value & 0xFF), 0u);
        ASSERT_EQ(WritePortWord(handle, base + 24 + 2 * counter, value >> 8), 0u);
    };
    struct Case {
        bool frequency;
        WORD area;
        WORD count;  // edges for a frequency, the counter's value for a pulse width
        float result;
    };
    const Case cases[] = {
        {true, 0, 6, 1000.0f},       {true, 0, 65535, 10922500.0f}, {true, 0, 1, 166.0f},
        {true, 1, 3, 50.0f},         {true, 1, 65535, 1092250.0f},  {true, 2, 3, 5.0f},
        {true, 2, 2, 3.0f},          {true, 3, 600, 100.0f},        {true, 3, 5999, 999.0f},
        {true, 3, 5, 0.0f},          {true, 4, 600, -1.0f},  // no such area: nothing written
        {false, 1, 0xFF9B, 100.0f},  {false, 1, 0xFFCD, 50.0f},     {false, 0, 0xFF9B, 10.0f},
        {false, 0, 0xFFFE, 0.1f},    {false, 2, 0xFF9B, 1000.0f},   {false, 3, 0xFF9B, 10000.0f},
        {false, 3, 0x0000, 6553500.0f}, {false, 1, 0xFFFF, 0.0f},   {false, 4, 0xFF9B, -1.0f},
    };
    auto &record = Record(handle);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.frequency ? "frequency" : "pulse width")
                                        << ", area " << c.area << ", count " << c.count);
        float first = -1, second = -1;
        if (c.frequency) {
            load(2, static_cast<WORD>(0xFFFF - c.count));
            record.settings.FreqArea = c.area;
            record.counter.freqReady = 1;
            ASSERT_EQ(CounterFreqRead(handle, 2, &first), 0u);
            second = first;
        } else {
            load(1, c.count);
            load(2, c.count);
            record.settings.PWMArea = c.area;
            record.counter.pwmReady = 1;
            ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
        }
        EXPECT_EQ(first, c.result);
        EXPECT_EQ(second, c.result);
        EXPECT_EQ(ThreadCount(handle), 0u);
    }
}

// Event totals through wraps: the first phase adds the counter's decrease
// since the start; a wrap ends it, and in the second phase every wrap adds
// 65536; the overflow flag is written from the second phase on.
TEST_F(CounterSequenceTest, EventTotalsAcrossWrapsAndTheOverflowFlag) {
    KTZHANDLE handle = OpenDefault();
    ASSERT_EQ(CounterEventStart(handle, 1, 0), 0u);
    auto &state = Record(handle).counter;
    state.evtLastCount[1] = 0xFFF0;  // as if the latch at the start had read 0xFFF0
    struct Read {
        unsigned pulses;
        WORD current;
        DWORD count;
        int overflow;  // -1: not written
    };
    const Read reads[] = {
        {255, 0xFF00, 240, -1},
        {65264, 0x0010, 65504, -1},
        {32, 0xFFF0, 65519, 0},      // the second phase begins: this wrap adds nothing
        {65264, 0x0100, 130783, 0},  // no wrap since the previous read
        {65280, 0x0200, 196063, 0},  // a wrap seen in the second phase adds 65536
    };
    for (const Read &r : reads) {
        ASSERT_EQ(KtzSimInjectCounterPulses(0, 1, r.pulses), 0);
        WORD overflow = 0x5555;
        DWORD count = 0;
        KtzSimTraceClear();
        ASSERT_EQ(CounterEventRead(handle, 1, &overflow, &count), 0u);
        EXPECT_EQ(Registers().back(), R16(26, r.current >> 8u)) << std::hex << r.current;
        EXPECT_EQ(count, r.count) << std::hex << r.current;
        EXPECT_EQ(overflow, r.overflow < 0 ? 0x5555 : r.overflow) << std::hex << r.current;
    }
    EXPECT_EQ(state.evtFirstPhase[1], 0u);
    EXPECT_EQ(state.evtOverflows[1], 1u);

    // 65536 wraps set the overflow flag, and the 32-bit total wraps too.
    ASSERT_EQ(CounterEventStart(handle, 0, 0), 0u);
    state.evtFirstPhase[0] = 0;
    state.evtLastCount[0] = 0;
    state.evtOverflows[0] = 0xFFFF;
    WORD overflow = 0;
    DWORD count = 7;
    ASSERT_EQ(CounterEventRead(handle, 0, &overflow, &count), 0u);  // reads 0xFFFF: one more
    EXPECT_EQ(overflow, 1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(state.evtOverflows[2], 0u);
}

TEST_F(CounterSequenceTest, FrequencyStartAndDelivery) {
    KTZHANDLE handle = OpenWith([](KtzSimDeviceSettings &s) { s.freqArea = 3; });
    KtzSimSetRequestCost(0);
    ASSERT_EQ(KtzSimSetCounterPollCost(0, 3'000'000), 0);
    ASSERT_EQ(KtzSimSetCounterRate(0, 2, 100.0), 0);
    ASSERT_EQ(CounterFreqStart(handle, 2, 0, 0), 0u);
    EXPECT_EQ(Registers(), (Accesses{W16(38, 3)}));

    KtzSimTraceClear();
    float frequency = -1;
    ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
    EXPECT_EQ(frequency, -1.0f);
    const Accesses start = {
        W16(36, 0),    W16(34, 0),    W16(30, 0x72), W16(26, 0x60), W16(26, 0xEA),
        W16(30, 0xB0), W16(28, 0xFF), W16(28, 0xFF), W16(34, 0x80), W16(34, 0x88),
        W16(34, 0x80), W16(34, 0x81), W16(36, 0x80), W16(36, 0x88), W16(36, 0x00),
        W16(36, 0x52)};
    ASSERT_TRUE(WaitForThreads(handle));
    EXPECT_EQ(RegisterWrites(), start);  // the thread only reads register 36
    for (const Access &a : Registers()) EXPECT_TRUE(a.write || a.offset == 36u) << a;

    KtzSimTraceClear();
    ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
    // 600 edges in 6 s: 0xFFFF - 600 = 0xFDA7, read as two bytes.
    EXPECT_EQ(Registers(), (Accesses{R8(28, 0xA7), R8(28, 0xFD)}));
    EXPECT_EQ(frequency, 100.0f);
    EXPECT_EQ(Record(handle).counter.freqReady, 0);
    // The next read starts the next measurement.
    KtzSimTraceClear();
    frequency = -1;
    ASSERT_EQ(CounterFreqRead(handle, 2, &frequency), 0u);
    EXPECT_EQ(frequency, -1.0f);
    EXPECT_EQ(RegisterWrites().size(), start.size());
    ASSERT_TRUE(WaitForThreads(handle));
}

TEST_F(CounterSequenceTest, PulseWidthStartThreadAndDelivery) {
    KTZHANDLE handle = OpenWith([](KtzSimDeviceSettings &s) { s.pwmArea = 1; });
    ASSERT_EQ(KtzSimSetCounterPulseTrain(0, 2, 100'000, 50'000), 0);
    float first = -1, second = -1;
    ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
    EXPECT_EQ(first, -1.0f);
    EXPECT_EQ(second, -1.0f);
    ASSERT_TRUE(WaitForThreads(handle));
    EXPECT_EQ(RegisterWrites(),
              (Accesses{W16(38, 1), W16(30, 0x70), W16(26, 0xFF), W16(26, 0xFF), W16(30, 0xB0),
                        W16(28, 0xFF), W16(28, 0xFF), W16(36, 0x80), W16(36, 0x88),
                        W16(36, 0x31), W16(34, 0x80), W16(34, 0x88), W16(34, 0x71),
                        // the thread: arm and release counter 2, then counter 1
                        W16(36, 0x131), W16(36, 0x31), W16(34, 0x171), W16(34, 0x71)}));

    KtzSimTraceClear();
    ASSERT_EQ(PWMStartRead(handle, 0, &first, &second), 0u);
    // 100 and 50 ticks of 1 MHz: 0xFF9B on counter 2, 0xFFCD on counter 1.
    EXPECT_EQ(Registers(),
              (Accesses{R16(26, 0xCD), R16(26, 0xFF), R16(28, 0x9B), R16(28, 0xFF)}));
    EXPECT_EQ(first, 100.0f);
    EXPECT_EQ(second, 50.0f);
}

TEST_F(CounterSequenceTest, ResetWritesMode4BcdZero) {
    KTZHANDLE handle = OpenDefault();
    for (WORD c = 0; c < 3; ++c) {
        KtzSimTraceClear();
        ASSERT_EQ(CounterReset(handle, c), 0u);
        unsigned data = 24 + 2u * c;
        EXPECT_EQ(Registers(), (Accesses{W16(30, 0x39u | c << 6), W16(data, 0), W16(data, 0)}));
    }
}

TEST_F(CounterSequenceTest, RefusalsInTheirOrderWithNothingSentOrWritten) {
    OpenWithBadBoard();
    KTZHANDLE handle = handle_, unknown = bad_;
    WORD overflow = 7;
    DWORD count = 7;
    float f1 = -1, f2 = -1;
    struct Case {
        const char *what;
        DWORD result;
        DWORD expected;
    };
    KtzSimTraceClear();
    const Case cases[] = {
        {"event start, null handle", CounterEventStart(0, 0, 0), 3},
        {"event start, board", CounterEventStart(unknown, 0, 0), 0x2018},
        {"event start, counter", CounterEventStart(handle, 3, 0), 0x1007},
        {"event read, null handle", CounterEventRead(0, 0, &overflow, &count), 3},
        {"event read, board", CounterEventRead(unknown, 9, nullptr, nullptr), 0x2018},
        {"event read, counter", CounterEventRead(handle, 3, nullptr, nullptr), 0x1007},
        {"event read, overflow", CounterEventRead(handle, 0, nullptr, &count), 0x100A},
        {"event read, count", CounterEventRead(handle, 0, &overflow, nullptr), 0x100A},
        {"freq start, board", CounterFreqStart(unknown, 0, 0, 0), 0x2018},
        {"freq start, counter 1", CounterFreqStart(handle, 1, 0, 0), 0x1007},
        {"freq read, null handle", CounterFreqRead(0, 2, &f1), 3},
        {"freq read, counter 0", CounterFreqRead(handle, 0, &f1), 0x1007},
        {"freq read, counter 1", CounterFreqRead(handle, 1, nullptr), 0x1007},
        {"freq read, frequency", CounterFreqRead(handle, 2, nullptr), 0x100A},
        {"pulse, null handle", CounterPulseStart(0, 0, 0.001f, 0, 0), 3},
        {"pulse, board", CounterPulseStart(unknown, 0, 0.001f, 0, 0), 0x2018},
        {"pulse, counter", CounterPulseStart(handle, 3, 7.0f, 0, 0), 0x1007},
        {"reset, null handle", CounterReset(0, 0), 3},
        {"reset, board", CounterReset(unknown, 0), 0x2018},
        {"reset, counter", CounterReset(handle, 3), 0x1007},
        {"pwm, null handle", PWMStartRead(0, 0, &f1, &f2), 3},
        {"pwm, board", PWMStartRead(unknown, 0, nullptr, nullptr), 0x2018},
        {"pwm, first", PWMStartRead(handle, 0, nullptr, &f2), 0x100A},
        {"pwm, second", PWMStartRead(handle, 0, &f1, nullptr), 0x100A},
    };
    for (const Case &c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(overflow, 7);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(f1, -1.0f);
    EXPECT_EQ(f2, -1.0f);
    EXPECT_EQ(ThreadCount(handle), 0u);
}

}  // namespace
}  // namespace ktztest
