// The arithmetic of event totals, frequencies, pulse widths and pulse
// periods, apart from the card.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <counter/counter.h>

namespace {

using namespace ktz;
using namespace ktz::counter;

TEST(CountEvents, WrapSequenceFromALatchedStart) {
    CounterState state;
    state.evtFirstPhase[1] = 1;
    state.evtLastCount[1] = 0xFFF0;
    struct Read {
        WORD current;
        DWORD count;
        int overflow;  // -1: not written
    };
    const Read reads[] = {
        {0xFF00, 240, -1},
        {0x0010, 65504, -1},
        {0xFFF0, 65519, 0},   // the second phase begins: this wrap adds nothing
        {0x0100, 130783, 0},  // no wrap since the previous read
        {0x0200, 196063, 0},  // a wrap seen in the second phase adds 65536
    };
    for (const Read &r : reads) {
        WORD overflow = 0x5555;
        DWORD count = 0;
        CountEvents(state, 1, r.current, &overflow, &count);
        EXPECT_EQ(count, r.count) << std::hex << r.current;
        EXPECT_EQ(overflow, r.overflow < 0 ? 0x5555 : r.overflow) << std::hex << r.current;
    }
    EXPECT_EQ(state.evtFirstPhase[1], 0u);
    EXPECT_EQ(state.evtOverflows[1], 1u);
}

TEST(CountEvents, OverflowFlagAfter65536WrapsAndOtherCountersUntouched) {
    CounterState state;
    state.evtFirstPhase[0] = 0;
    state.evtLastCount[0] = 0x0000;
    state.evtOverflows[0] = 0xFFFF;
    WORD overflow = 0;
    DWORD count = 0;
    CountEvents(state, 0, 0xFFFF, &overflow, &count);  // one more wrap
    EXPECT_EQ(overflow, 1);
    EXPECT_EQ(count, 0u);  // 65536 wraps: the 32-bit total has wrapped too
    EXPECT_EQ(state.evtOverflows[2], 0u);
}

// Frequencies truncate after multiplying; pulse widths scale the ticks
// counted down from 0xFFFF.
TEST(AreaConversions, FrequencyAndPulseWidthByArea) {
    using Conversion = bool (*)(WORD, WORD, FLOAT *);
    struct Case {
        Conversion convert;
        WORD area;
        WORD count;
        float result;
    };
    const Conversion freq = FrequencyFromCount, pwm = PulseWidthFromCount;
    const Case cases[] = {
        {freq, 0, 6, 1000.0f},       {freq, 0, 65535, 10922500.0f}, {freq, 0, 1, 166.0f},
        {freq, 1, 3, 50.0f},         {freq, 1, 65535, 1092250.0f},  {freq, 2, 3, 5.0f},
        {freq, 2, 2, 3.0f},          {freq, 3, 600, 100.0f},        {freq, 3, 5999, 999.0f},
        {freq, 3, 5, 0.0f},          {pwm, 1, 0xFF9B, 100.0f},      {pwm, 1, 0xFFCD, 50.0f},
        {pwm, 0, 0xFF9B, 10.0f},     {pwm, 0, 0xFFFE, 0.1f},        {pwm, 2, 0xFF9B, 1000.0f},
        {pwm, 3, 0xFF9B, 10000.0f},  {pwm, 3, 0x0000, 6553500.0f},  {pwm, 1, 0xFFFF, 0.0f},
    };
    for (const Case &c : cases) {
        float result = -1;
        ASSERT_TRUE(c.convert(c.area, c.count, &result));
        EXPECT_EQ(result, c.result) << (c.convert == freq ? "frequency" : "pulse width")
                                    << ", area " << c.area << ", count " << c.count;
    }
    for (Conversion convert : {freq, pwm}) {
        float result = -1;
        EXPECT_FALSE(convert(4, 600, &result));
        EXPECT_EQ(result, -1.0f);
    }
}

TEST(PulseSetting, RangesAndRounding) {
    struct Case {
        float period;
        WORD selector;
        DWORD divisor;
    };
    const Case cases[] = {
        {0.001f, 0, 10000},      {0.0065535f, 0, 65535}, {0.0065536f, 1, 6554},
        {0.0000002f, 0, 2},      {0.065535f, 1, 65535},  {0.0655351f, 2, 6554},
        {0.65535f, 2, 65535},    {6.5535f, 3, 65535},    {1.0f, 3, 10000},
        {0.00123455f, 0, 12346},  // 12345.5003 ticks round up
        {1.23455f, 3, 12345},     // 12345.49999 ticks round down
    };
    for (const Case &c : cases) {
        WORD selector = 9;
        DWORD divisor = 0;
        ASSERT_TRUE(PulseSetting(c.period, &selector, &divisor)) << c.period;
        EXPECT_EQ(selector, c.selector) << c.period;
        EXPECT_EQ(divisor, c.divisor) << c.period;
    }
    for (float refused : {0.0000001f, 0.00000019f, 7.0f, 6.5536f, 0.0f, -0.001f,
                          std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()}) {
        WORD selector = 9;
        DWORD divisor = 0;
        EXPECT_FALSE(PulseSetting(refused, &selector, &divisor)) << refused;
        EXPECT_EQ(selector, 9);
    }
}

}  // namespace
