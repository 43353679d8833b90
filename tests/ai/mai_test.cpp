// Multi-channel analog input: the logical channels of a run, the card's
// scan registers, conversions in scan order as the card steps its
// multiplexer, and the resumption of an interrupted scan.
#include <ktz3649.h>

#include <array>

#include "polled_fixture.h"

namespace ktztest {
namespace {

// The +/-5 V codes of the voltages the scans read.
constexpr WORD kCode1V = 2458, kCode2V = 2867, kCode3V = 3277, kCode4V = 3686;

class MaiTest : public PolledTest {
protected:
    KTZHANDLE OpenWithPairs(unsigned chanConfig) {
        Install(0, 0, [&](KtzSimDeviceSettings &s) { s.chanConfig = chanConfig; });
        return Open(0);
    }
};

TEST_F(MaiTest, ConfigWalksTheRunAndSetsTheScan) {
    struct Configured {
        unsigned channel;
        unsigned range;
    };
    const struct {
        unsigned chanConfig;
        WORD channels;
        WORD start;
        std::vector<Configured> configured;
        unsigned scanStart, scanStop;
    } cases[] = {
        // Start 1 of pair 0/1 starts on 0; 1 takes no gain entry.
        {0x0003, 3, 1, {{0, 0 + 32}, {2, 1}, {3, 2}}, 0, 3},
        // 16 channels from 10 wrap from 15 to 0.
        {0x0000, 16, 10, {{10, 0}, {11, 1}, {12, 2}, {13, 3}, {14, 4}, {15, 5}, {0, 6}, {1, 7},
                          {2, 8}, {3, 9}, {4, 10}, {5, 11}, {6, 12}, {7, 13}, {8, 14}, {9, 15}},
         10, 9},
        // A run ending on a pair stops on its odd channel.
        {0xC000, 1, 14, {{14, 0 + 32}}, 14, 15},
        {0xC000, 1, 15, {{14, 0 + 32}}, 14, 15},
        {0x3000, 2, 11, {{11, 0}, {12, 1 + 32}}, 11, 13},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << ", " << c.channels);
        KTZHANDLE handle = OpenWithPairs(c.chanConfig);
        Record(handle).ai.maiScanPosition = 5;
        WORD gains[16];
        for (WORD i = 0; i < 16; ++i) gains[i] = i;
        ASSERT_EQ(MAIConfig(handle, c.channels, c.start, gains), 0u);
        std::vector<Access> expected;
        for (const auto &k : c.configured)
            expected.insert(expected.end(), {W16(6, 0), W16(4, k.channel << 8 | k.channel),
                                             W16(2, k.range), W8(9, 0x80)});
        expected.insert(expected.end(), {W8(4, c.scanStart), W8(5, c.scanStop)});
        EXPECT_EQ(RegisterWrites(), expected);
        EXPECT_EQ(Record(handle).ai.maiScanPosition, 0);
        EXPECT_EQ(Record(handle).ai.aiSettleCount, 10);
        Close(handle);
    }
}

TEST_F(MaiTest, RunsAreBoundByTheLogicalChannelCount) {
    const struct {
        unsigned chanConfig;
        WORD count;
    } cases[] = {{0x0000, 16}, {0x0003, 15}, {0xFFFF, 8}, {0x0002, 15}, {0x00F0, 14}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chanConfig);
        KTZHANDLE handle = OpenWithPairs(c.chanConfig);
        WORD readings[17];
        EXPECT_EQ(MAIBinaryIn(handle, c.count, 0, 0, readings), 0u);
        EXPECT_EQ(MAIBinaryIn(handle, static_cast<WORD>(c.count + 1), 0, 0, readings), 0x1007u);
        Close(handle);
    }
}

TEST_F(MaiTest, ChecksComeInTheirOrder) {
    InstallBoard(1, 50);
    Install(0);
    KTZHANDLE handle = Open(0);
    KTZHANDLE bad = Open(1);
    WORD gains[2] = {0, 21};
    WORD readings[2] = {};
    float volts[2] = {};
    const struct {
        DWORD result;
        DWORD expected;
    } cases[] = {
        {MAIConfig(0, 1, 0, gains), 3},
        {MAIConfig(handle, 0, 16, nullptr), 0x100A},
        {MAIConfig(handle, 0, 0, gains), 0x1007},
        {MAIConfig(handle, 1, 16, gains), 0x1007},
        {MAIConfig(bad, 1, 0, gains), 0x2018},  // from the first channel's configuration
        {MAIBinaryIn(0, 1, 0, 0, readings), 3},
        {MAIBinaryIn(handle, 0, 0, 0, nullptr), 0x1007},
        {MAIBinaryIn(handle, 1, 0, 0, nullptr), 0x100A},
        {MAIBinaryIn(bad, 1, 0, 0, readings), 0x2018},
        {MAIVoltageIn(0, 1, 0, gains, 0, volts), 3},
        {MAIVoltageIn(handle, 0, 0, nullptr, 0, volts), 0x100A},
        {MAIVoltageIn(handle, 0, 0, gains, 0, nullptr), 0x100A},
        {MAIVoltageIn(handle, 17, 0, gains, 0, volts), 0x1007},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_TRUE(Registers().empty());

    // A bad gain stops the walk at its channel, the ones before configured.
    EXPECT_EQ(MAIConfig(handle, 2, 4, gains), 0x1008u);
    EXPECT_EQ(RegisterWrites(),
              (std::vector<Access>{W16(6, 0), W16(4, 0x0404), W16(2, 0), W8(9, 0x80)}));
}

TEST_F(MaiTest, ScanStepsThroughPairsAndWrapsToTheStart) {
    KTZHANDLE handle = OpenWithPairs(0x0003);
    const double inputs[][2] = {{0, 2.0}, {1, 0.5}, {2, -1.0}, {3, 4.0}, {14, 1.5}, {15, -3.0}};
    for (auto [channel, volts] : inputs) KtzSimSetInputVoltage(card_, unsigned(channel), volts);
    WORD gains[4] = {0, 4, 0, 1};
    ASSERT_EQ(MAIConfig(handle, 4, 14, gains), 0u);  // 14, 15, pair 0/1, 2
    for (int scan = 0; scan < 3; ++scan) {
        SCOPED_TRACE(scan);
        float volts[5] = {0, 0, 0, 0, 99.0f};
        ASSERT_EQ(MAIVoltageIn(handle, 4, 14, gains, 0, volts), 0u);
        EXPECT_NEAR(volts[0], 1.5f, 0.003f);
        EXPECT_NEAR(volts[1], -3.0f, 0.005f);
        EXPECT_NEAR(volts[2], 1.5f, 0.003f);  // 2.0 V - 0.5 V
        EXPECT_NEAR(volts[3], -1.0f, 0.002f);
        EXPECT_EQ(volts[4], 99.0f);
    }
}

TEST_F(MaiTest, ExternalTimeoutResumesAtTheFailingPosition) {
    KTZHANDLE handle = OpenWithPairs(0);
    for (unsigned channel = 0; channel < 4; ++channel)
        KtzSimSetInputVoltage(card_, channel, channel + 1.0);
    WORD gains[4] = {};
    ASSERT_EQ(MAIConfig(handle, 4, 0, gains), 0u);

    KtzSimSetExternalTrigger(card_, 5000, 2);  // two pulses: the third channel waits in vain
    std::array<WORD, 4> readings;
    readings.fill(0xEEEE);
    EXPECT_EQ(MAIBinaryIn(handle, 4, 0, 1, readings.data()), 0x1009u);
    EXPECT_EQ(readings, (std::array<WORD, 4>{kCode1V, kCode2V, 0xEEEE, 0xEEEE}));
    EXPECT_EQ(Record(handle).ai.maiScanPosition, 2);

    KtzSimSetExternalTrigger(card_, 5000, 2);
    readings.fill(0xEEEE);
    EXPECT_EQ(MAIBinaryIn(handle, 4, 0, 1, readings.data()), 0u);
    EXPECT_EQ(readings, (std::array<WORD, 4>{kCode3V, kCode4V, 0xEEEE, 0xEEEE}));
    EXPECT_EQ(Record(handle).ai.maiScanPosition, 0);

    // A software-triggered scan starts again at the first channel.
    Record(handle).ai.maiScanPosition = 3;
    EXPECT_EQ(MAIBinaryIn(handle, 4, 0, 0, readings.data()), 0u);
    EXPECT_EQ(readings, (std::array<WORD, 4>{kCode1V, kCode2V, kCode3V, kCode4V}));
}

TEST_F(MaiTest, SoftwareTimeoutMarksTheLostSample) {
    KTZHANDLE handle = OpenWithPairs(0);
    WORD gains[3] = {};
    ASSERT_EQ(MAIConfig(handle, 3, 0, gains), 0u);
    ASSERT_EQ(KtzSimSetConverterNeverFinishes(card_, 1), 0);
    WORD readings[3] = {1, 2, 3};
    EXPECT_EQ(MAIBinaryIn(handle, 3, 0, 0, readings), 0x1004u);
    EXPECT_EQ(readings[0], 0xFFFF);
    EXPECT_EQ(readings[1], 2);
    EXPECT_EQ(Record(handle).ai.maiScanPosition, 0);
}

}  // namespace
}  // namespace ktztest
