// Single-value analog output: ranges and their acceptance, scaling to
// codes, the control bits of register 10, and the voltages the card drives.
#include <ktz3649.h>

#include <cmath>
#include <limits>

#include "../ai/polled_fixture.h"

namespace ktztest {
namespace {

const float kBelow10 = std::nextafter(10.0f, 0.0f);  // within 0.000001 of 10, not 10
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

class AoTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        ASSERT_EQ(KtzSimAddCard(0, 14, KTZSIM_PCI3649L), 1);
        Install(2, 1);
        OpenWithBadBoard();
        handleL_ = Open(2);
    }
    KTZHANDLE handleL_ = 0;
};

TEST_F(AoTest, VoltagesScaleToCodes) {
    const struct {
        float maximum, minimum, volts;
        WORD code;
    } cases[] = {
        {10, 0, 5.0f, 2048},  {10, 0, 2.5f, 1024},  {10, 0, -1.0f, 0},   {10, 0, 9.99f, 4091},
        {10, 0, 10.0f, 4095}, {10, 0, 11.0f, 4095}, {10, 0, kInf, 4095}, {10, 0, -kInf, 0},
        {10, -10, 0.0f, 2048}, {10, -10, -10.0f, 0}, {10, -10, 10.0f, 4095},
        {5, -5, 1.0f, 2457},  {5, 0, 2.5f, 2048},   {5, 0, 5.0f, 4095},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << ": " << c.volts);
        ASSERT_EQ(AOConfig(handle_, 1, 0, c.maximum, c.minimum), 0u);
        WORD code = 0xEEEE;
        EXPECT_EQ(AOScale(handle_, 1, c.volts, &code), 0u);
        EXPECT_EQ(code, c.code);
    }
    // The second range, when set, replaces the first.
    auto &entry = Record(handle_).settings.aoSettings[1];
    entry.secondMaximum = 2.0f;
    entry.secondMinimum = -2.0f;
    WORD code = 0;
    EXPECT_EQ(AOScale(handle_, 1, 1.0f, &code), 0u);
    EXPECT_EQ(code, 3072);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(AoTest, UnscalableRequestsWriteNothing) {
    ASSERT_EQ(AOConfig(handle_, 0, 1, 3.0f, 3.0f), 0u);  // external: not tested
    ASSERT_EQ(AOConfig(handle_, 1, 1, kNaN, 0.0f), 0u);
    const struct {
        WORD channel;
        float volts;
    } cases[] = {{0, 1.0f}, {1, 1.0f}};
    for (const auto &c : cases) {
        WORD code = 0xEEEE;
        EXPECT_EQ(AOScale(handle_, c.channel, c.volts, &code), 0x100Au);
        EXPECT_EQ(code, 0xEEEE);
        EXPECT_EQ(AOVoltageOut(handle_, c.channel, c.volts), 0x100Au);
    }
    ASSERT_EQ(AOConfig(handle_, 0, 0, 10.0f, 0.0f), 0u);
    WORD code = 0xEEEE;
    EXPECT_EQ(AOScale(handle_, 0, kNaN, &code), 0x100Au);
    EXPECT_EQ(AOVoltageOut(handle_, 0, kNaN), 0x100Au);
    EXPECT_EQ(AOScale(handle_, 0, 1.0f, nullptr), 0x100Au);
    EXPECT_EQ(AOScale(handle_, 32, 1.0f, &code), 0x1007u);  // past the stored entries
    EXPECT_EQ(code, 0xEEEE);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(AoTest, ConfigAcceptsTheInternalRangesWithinTolerance) {
    const struct {
        WORD reference;
        float maximum, minimum;
        bool accepted;
    } cases[] = {
        {0, 10.0f, 0.0f, true},       {0, 5.0f, -10.0f, true},
        {0, 7.5f, 0.0f, false},       {1, 7.5f, 0.0f, true},
        {2, kNaN, 0.0f, true},        {0, kBelow10, -5.0f, true},
        {0, std::nextafter(kBelow10, 0.0f), 0.0f, false},
        {0, 5.0f, std::nextafter(-5.0f, 0.0f), true},
        {0, 5.0f, 9.0e-7f, true},     {0, 5.0f, 2.0e-6f, false},
        {0, kNaN, 0.0f, false},       {0, 10.0f, 5.0f, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.reference << ": " << c.minimum << ".." << c.maximum);
        auto &entry = Record(handle_).settings.aoSettings[0];
        entry.maximum = entry.minimum = 123.0f;
        DWORD rc = AOConfig(handle_, 0, c.reference, c.maximum, c.minimum);
        EXPECT_EQ(rc, c.accepted ? 0u : 0x100Au);
        if (!c.accepted) {
            EXPECT_EQ(entry.maximum, 123.0f);
            continue;
        }
        EXPECT_EQ(entry.referenceSource, c.reference);
        EXPECT_EQ(entry.minimum, c.minimum);
    }
}

TEST_F(AoTest, ChecksComeInTheirOrder) {
    const struct {
        DWORD result;
        DWORD expected;
    } cases[] = {
        {AOConfig(0, 0, 0, 7.5f, 0.0f), 3},
        {AOConfig(handleL_, 5, 0, 7.5f, 0.0f), 0x300A},  // the range before the board
        {AOConfig(handleL_, 5, 0, 5.0f, 0.0f), 0x301B},
        {AOConfig(bad_, 5, 0, 5.0f, 0.0f), 0x2018},
        {AOConfig(handle_, 2, 0, 5.0f, 0.0f), 0x1007},
        {AOBinaryOut(0, 0, 0), 3},
        {AOBinaryOut(handleL_, 2, 0), 0x301B},
        {AOBinaryOut(bad_, 2, 0), 0x2018},
        {AOBinaryOut(handle_, 2, 0), 0x1007},
        {AOVoltageOut(0, 0, 1.0f), 3},
        {AOVoltageOut(handleL_, 2, kNaN), 0x301B},
        {AOVoltageOut(bad_, 2, kNaN), 0x2018},
        {AOVoltageOut(handle_, 2, kNaN), 0x1007},
        {AOScale(0, 0, 1.0f, nullptr), 3},
        {AOScale(handleL_, 0, 1.0f, nullptr), 0x301B},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_TRUE(Registers().empty());
    WORD code = 0;
    EXPECT_EQ(AOScale(bad_, 0, 2.5f, &code), 0u);  // no board check of its own
    EXPECT_EQ(code, 2048);
}

TEST_F(AoTest, ControlBitsPerChannelAndReference) {
    const struct {
        WORD channel, reference;
        float maximum, minimum;
        unsigned before, after;
    } cases[] = {
        {1, 0, 5.0f, -5.0f, 0xFFFF, 0xFDCF},  // bits 4, 5 and 9 clear, bit 6 set
        {0, 0, 10.0f, 0.0f, 0x0000, 0x0001},
        {0, 0, kBelow10, -10.0f, 0x0001, 0x0004},  // accepted, but not exactly 10
        {0, 1, 10.0f, -10.0f, 0x0100, 0x0002},     // external unipolar
        {1, 2, 5.0f, 0.0f, 0x0007, 0x0067},        // external bipolar
        {1, 0, 10.0f, -5.0f, 0x0300, 0x0150},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel << ", " << c.before);
        ASSERT_EQ(AOConfig(handle_, c.channel, c.reference, c.maximum, c.minimum), 0u);
        KtzSimPoke(card_, 10, 16, c.before);
        KtzSimTraceClear();
        ASSERT_EQ(AOBinaryOut(handle_, c.channel, 0x1234), 0u);  // the code as it is
        EXPECT_EQ(Registers(), (std::vector<Access>{R16(10, c.before), W16(10, c.after),
                                                    W16(12 + 2 * c.channel, 0x1234)}));
    }
}

TEST_F(AoTest, TheCardDrivesTheRequestedVoltage) {
    ASSERT_EQ(KtzSimSetExternalReference(card_, 8.0), 0);
    const struct {
        WORD channel, reference;
        float maximum, minimum, volts;
        double driven;
    } cases[] = {
        {0, 0, 10.0f, -10.0f, 2.5f, 2.5},  {1, 0, 5.0f, 0.0f, 3.3f, 3.3},
        {0, 0, 10.0f, 0.0f, 10.0f, 10.0},  // the top code, not the bottom of the range
        {1, 1, 8.0f, 0.0f, 6.0f, 6.0},     {0, 2, 8.0f, -8.0f, -4.0f, -4.0},
        {1, 0, 5.0f, -5.0f, -7.0f, -5.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel << ": " << c.volts);
        ASSERT_EQ(AOConfig(handle_, c.channel, c.reference, c.maximum, c.minimum), 0u);
        ASSERT_EQ(AOVoltageOut(handle_, c.channel, c.volts), 0u);
        double driven = 0;
        ASSERT_EQ(KtzSimGetAnalogOutput(card_, c.channel, &driven), 0);
        EXPECT_NEAR(driven, c.driven, (c.maximum - c.minimum) / 4096.0);
    }
    // The converter keeps 12 bits: code 4096 drives the bottom of the range.
    ASSERT_EQ(AOConfig(handle_, 0, 0, 10.0f, 0.0f), 0u);
    ASSERT_EQ(AOBinaryOut(handle_, 0, 4096), 0u);
    double driven = -1;
    ASSERT_EQ(KtzSimGetAnalogOutput(card_, 0, &driven), 0);
    EXPECT_EQ(driven, 0.0);
    EXPECT_EQ(KtzSimGetAnalogOutput(1, 0, &driven), ERROR_INVALID_PARAMETER);  // no outputs
}

}  // namespace
}  // namespace ktztest
