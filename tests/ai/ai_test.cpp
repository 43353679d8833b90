// Single-channel analog input: scaling, the register traffic of a range
// change and of a conversion, the status waits, and conversions of the
// lab's signals.
#include <ktz3649.h>

#include <cmath>
#include <cstring>

#include "polled_fixture.h"

namespace ktztest {
namespace {

constexpr double kCodeBipolar10 = 20.0 / 4096;  // one code of the +/-10 V range

class AiTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        Install(0, 0, [](KtzSimDeviceSettings &s) { s.chanConfig = 0x000C; });  // pair 2/3
        handle_ = Open(0);
    }
};

TEST(AiScale, ReadingsToVolts) {
    const struct {
        WORD reading;
        float fullScale;
        WORD offset;
        float volts;
    } cases[] = {
        {3072, 5.0f, 2048, 2.5f},           {0, 10.0f, 2048, -10.0f},
        {4095, 5.0f, 2048, 4.99755859375f}, {2048, 5.0f, 2048, 0.0f},
        {4095, 10.0f, 0, 9.99755859375f},   {0, 10.0f, 0, 0.0f},
        {1024, 1.25f, 0, 0.3125f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reading);
        float volts = -99.0f;
        EXPECT_EQ(AIScale(c.reading, c.fullScale, 4095, c.offset, &volts), 0u);
        EXPECT_EQ(volts, c.volts);
    }
}

TEST(AiScale, RefusesEmptySpansAndNullResults) {
    float volts = 7.0f;
    EXPECT_EQ(AIScale(100, 5.0f, 2048, 2048, &volts), 5u);
    EXPECT_EQ(AIScale(100, 5.0f, 2047, 2048, &volts), 5u);  // maximum + 1 - offset is 0
    EXPECT_EQ(volts, 7.0f);
    EXPECT_EQ(AIScale(100, 5.0f, 2048, 2048, nullptr), 5u);  // the span first
    EXPECT_EQ(AIScale(100, 5.0f, 4095, 2048, nullptr), 10u);
}

TEST_F(AiTest, ConfigProgramsThePairOnItsEvenChannel) {
    ASSERT_EQ(AIConfig(handle_, 3, 1), 0u);  // bit 3 set: channel 2, differential
    ASSERT_EQ(AIConfig(handle_, 5, 17), 0u);
    std::vector<Access> expected;
    for (auto [mux, range] : {std::pair{0x0202u, 33u}, std::pair{0x0505u, 17u}}) {
        expected.insert(expected.end(), {W16(6, 0), W16(4, mux), W16(2, range)});
        for (int i = 0; i < 9; ++i) expected.push_back(R8(3, range >> 8));
        expected.push_back(W8(9, 0x80));
    }
    EXPECT_EQ(Registers(), expected);
    EXPECT_EQ(Record(handle_).ai.aiSettleCount, 10);
}

TEST_F(AiTest, ChecksComeInTheirOrder) {
    Close(handle_);
    InstallBoard(1, 50);
    KTZHANDLE bad = Open(1);
    handle_ = Open(0);
    WORD reading = 0x1234;
    float volts = 42.0f;
    const struct {
        DWORD result;
        DWORD expected;
    } cases[] = {
        {AIConfig(0, 0, 0), 3},
        {AIConfig(bad, 16, 21), 0x2007},
        {AIConfig(bad, 15, 21), 0x2018},
        {AIBinaryIn(bad, 16, 0, nullptr), 0x2007},
        {AIBinaryIn(bad, 0, 0, nullptr), 0x2018},
        {AIVoltageIn(bad, 16, 21, 0, nullptr), 0x2007},
        {AIVoltageIn(bad, 0, 21, 0, nullptr), 0x2018},
        {AIBinaryIn(0, 0, 0, &reading), 3},
        {AIVoltageIn(0, 0, 0, 0, &volts), 3},
        {AIGetConfig(0, nullptr, 0), 3},
        {AIGetConfig(bad, nullptr, 0), 0x200A},
        {AIConfig(handle_, 0, 21), 0x1008},
        // A gain code without a scaling entry gives no voltage.
        {AIVoltageIn(handle_, 0, 9, 0, &volts), 0x1008},
        {AIVoltageIn(handle_, 0, 12, 0, &volts), 0x1008},
        {AIVoltageIn(handle_, 0, 15, 0, &volts), 0x1008},
        {AIVoltageIn(handle_, 0, 20, 0, &volts), 0x1008},
        {AIVoltageIn(handle_, 0, 21, 0, &volts), 0x1008},
        {AIVoltageIn(handle_, 0, 0, 0, nullptr), 0x100A},
        {AIBinaryIn(handle_, 0, 0, nullptr), 0x100A},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_EQ(reading, 0x1234);
    EXPECT_EQ(volts, 42.0f);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(AiTest, SoftwareConversionWaitsSettlesAndReadsTwice) {
    KtzSimSetInputVoltage(card_, 5, 1.0);
    ASSERT_EQ(AIConfig(handle_, 5, 0), 0u);
    KtzSimSetConversionTime(card_, 3500);  // three status reads still busy
    KtzSimTraceClear();
    WORD reading = 0;
    ASSERT_EQ(AIBinaryIn(handle_, 9, 0, &reading), 0u);  // the channel argument selects nothing
    EXPECT_EQ(reading, 0x99A);                            // 1 V of +/-5 V: 2048 + 409.6
    std::vector<Access> expected{W16(6, 0), W16(0, 0), R16(8, 0x100), R16(8, 0x100),
                                 R16(8, 0x100)};
    for (int i = 0; i < 10; ++i) expected.push_back(R16(8, 0));  // ready, then 9 settling reads
    expected.insert(expected.end(), {R16(0, 0x599A), R16(0, 0x599A)});  // channel in bits 12-14
    EXPECT_EQ(Registers(), expected);
}

TEST_F(AiTest, NoSettlingReadsBeforeTheFirstConfig) {
    WORD reading = 0;
    ASSERT_EQ(AIBinaryIn(handle_, 0, 0, &reading), 0u);
    EXPECT_EQ(Registers(), (std::vector<Access>{W16(6, 0), W16(0, 0), R16(8, 0), R16(0, 0x800),
                                                R16(0, 0x800)}));
    EXPECT_EQ(reading, 0x800);  // 0 V; the reset left channel 0 at +/-5 V
}

TEST_F(AiTest, SoftwareTimeoutAfterExactly2049StatusReads) {
    KtzSimSetConverterNeverFinishes(card_, 1);
    WORD reading = 0;
    EXPECT_EQ(AIBinaryIn(handle_, 0, 0, &reading), 0x1004u);
    EXPECT_EQ(reading, 0xFFFF);
    auto registers = Registers();
    ASSERT_EQ(registers.size(), 2u + 2049u);
    EXPECT_EQ(registers[0], W16(6, 0));
    EXPECT_EQ(registers[1], W16(0, 0));
    for (size_t i = 2; i < registers.size(); ++i) ASSERT_EQ(registers[i], R16(8, 0x100)) << i;

    float volts = 3.0f;
    EXPECT_EQ(AIVoltageIn(handle_, 0, 0, 0, &volts), 0x1004u);
    EXPECT_EQ(volts, 3.0f);
}

TEST_F(AiTest, ExternalTriggerWaitsForThePulse) {
    KtzSimSetInputVoltage(card_, 0, -2.5);
    WORD reading = 0x0777;
    EXPECT_EQ(AIBinaryIn(handle_, 0, 1, &reading), 0x1009u);  // no pulse ever
    EXPECT_EQ(reading, 0x0777);
    auto registers = Registers();
    ASSERT_EQ(registers.size(), 1u + 2049u);
    EXPECT_EQ(registers[0], W8(6, 9));

    KtzSimSetExternalTrigger(card_, 20000, 1);  // one pulse, 20 us from now
    KtzSimTraceClear();
    ASSERT_EQ(AIBinaryIn(handle_, 0, 7, &reading), 0u);
    EXPECT_EQ(reading, 1024);  // -2.5 V of +/-5 V
    registers = Registers();
    ASSERT_EQ(registers.size(), 1u + 20u + 1u);  // ready at the 20th status read
    EXPECT_EQ(registers[19], R16(8, 0x100));
    EXPECT_EQ(registers[20], R16(8, 0));
    EXPECT_EQ(registers.back(), R16(0, 1024));
}

// Every gain code's full scale and offset, the wiring and the clipping: a
// wrong entry of the range table reads a voltage of another range.
TEST_F(AiTest, VoltsFollowTheRangeAndTheWiring) {
    KtzSimSetInputVoltage(card_, 2, 3.0);
    KtzSimSetInputVoltage(card_, 3, 1.0);
    KtzSimSetInputVoltage(card_, 7, -0.3);
    const struct {
        WORD channel;
        double input;  // volts at the channel (6), or as set above
        WORD configGain;
        WORD scaleGain;
        float volts;
        float fullScale;  // one code is fullScale / 2048
    } cases[] = {
        {6, 3.0, 0, 0, 3.0f, 5},         {6, -1.5, 1, 1, -1.5f, 2.5},
        {6, 0.75, 2, 2, 0.75f, 1.25},    {6, -0.375, 3, 3, -0.375f, 0.625},
        {6, 6.0, 4, 4, 6.0f, 10},        {6, 6.0, 16, 16, 6.0f, 5},
        {6, 3.0, 17, 17, 3.0f, 2.5},     {6, 1.5, 18, 18, 1.5f, 1.25},
        {6, 0.75, 19, 19, 0.75f, 0.625},
        {6, 7.0, 16, 5, 7.0f, 5},        {6, 3.0, 17, 6, 3.0f, 2.5},  // 5 to 8 scale like 16 to 19
        {6, 1.5, 18, 7, 1.5f, 1.25},     {6, 0.75, 19, 8, 0.75f, 0.625},
        {3, 0, 0, 0, 2.0f, 5},                // pair 2/3: 3 V - 1 V
        {6, 7.0, 0, 0, 4.99755859375f, 5},    // clipped at the top
        {6, 7.0, 17, 17, 4.99877929688f, 2.5},  // clipped at 0 to 5 V
        {7, 0, 18, 18, 0.0f, 1.25},           // clipped at the bottom
        {7, 0, 3, 3, -0.299804687f, 0.625},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel << ", gain " << c.configGain
                                        << "/" << c.scaleGain);
        if (c.channel == 6) KtzSimSetInputVoltage(card_, 6, c.input);
        ASSERT_EQ(AIConfig(handle_, c.channel, c.configGain), 0u);
        float volts = 0;
        ASSERT_EQ(AIVoltageIn(handle_, 0, c.scaleGain, 0, &volts), 0u);
        EXPECT_NEAR(volts, c.volts, c.fullScale / 2048);
    }
}

TEST_F(AiTest, SineReadsBackWithinOneCode) {
    KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 8.0, 0.5, 7000.0, 0};
    ASSERT_EQ(KtzSimSetSignal(card_, 5, &sine), 0);
    ASSERT_EQ(AIConfig(handle_, 5, 4), 0u);
    double low = 10, high = -10;
    for (int i = 0; i < 200; ++i) {
        // The conversion starts with the second request of the call.
        unsigned long long start = KtzSimNow() + 2000;
        float volts = 0;
        ASSERT_EQ(AIVoltageIn(handle_, 5, 4, 0, &volts), 0u);
        double expected = KtzSimInputVoltage(card_, 5, start);
        ASSERT_NEAR(volts, expected, kCodeBipolar10) << "read " << i;
        low = std::min(low, expected);
        high = std::max(high, expected);
    }
    EXPECT_LT(low, -7.0);  // the reads cover the wave
    EXPECT_GT(high, 8.0);
}

TEST_F(AiTest, GetConfigReportsTheSettings) {
    BYTE record[276];
    std::memset(record, 0xAB, sizeof record);
    ASSERT_EQ(AIGetConfig(handle_, record, 0), 0u);
    DWORD boardId, chanConfig;
    std::memcpy(&boardId, record, 4);
    std::memcpy(&chanConfig, record + 4, 4);
    EXPECT_EQ(boardId, 97u);
    EXPECT_EQ(chanConfig, 0x000Cu);
    const BYTE zeros[6] = {};
    EXPECT_EQ(std::memcmp(record + 8, zeros, 6), 0);
    WORD cjc;
    std::memcpy(&cjc, record + 16, 2);
    EXPECT_EQ(cjc, 0xFFFF);
    EXPECT_EQ(record[18], 0xAB);  // not written
    EXPECT_EQ(record[19], 0xAB);
    EXPECT_EQ(std::memcmp(record + 20, Record(handle_).settings.expansion, 256), 0);
}

}  // namespace
}  // namespace ktztest
