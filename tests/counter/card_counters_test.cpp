// The lab card's 8254-format counters, driven through the exported port
// functions and the lab's input pulses.
#include "counter_fixture.h"

namespace ktztest {
namespace {

class CardCounterTest : public CounterTest {
protected:
    void SetUp() override {
        CounterTest::SetUp();
        handle_ = OpenDefault();
    }
    static constexpr WORD kBase = 0xE000;
    void Write(WORD offset, WORD value) {
        ASSERT_EQ(WritePortWord(handle_, kBase + offset, value), 0u);
    }
    WORD ReadByte(WORD offset) {
        WORD value = 0xEEEE;
        EXPECT_EQ(ReadPortByte(handle_, kBase + offset, &value), 0u);
        return value;
    }
    WORD ReadWord(WORD offset) {
        WORD value = 0xEEEE;
        EXPECT_EQ(ReadPortWord(handle_, kBase + offset, &value), 0u);
        return value;
    }
    static KtzSimCounterOutput Output(unsigned counter) {
        KtzSimCounterOutput out{};
        EXPECT_EQ(KtzSimGetCounterOutput(0, counter, &out), 0);
        return out;
    }
    KTZHANDLE handle_ = 0;
};

TEST_F(CardCounterTest, ModesStepByStep) {
    struct Step {
        unsigned pulses;
        unsigned level;
        int count;  // -1: not yet loaded, whatever it reads
    };
    struct Case {
        const char *name;
        WORD control;  // counter 0, low then high byte
        WORD count;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"mode 0", 0x30, 5, {{0, 0, 5}, {4, 0, 1}, {1, 1, 0}, {1, 1, 0xFFFF}}},
        // Modes 1 and 5 load at the first edge after the gate rose.
        {"mode 1", 0x32, 3, {{0, 1, -1}, {1, 0, 3}, {2, 0, 1}, {1, 1, 0}, {1, 1, 0xFFFF}}},
        {"mode 2", 0x34, 3, {{0, 1, 3}, {1, 1, 2}, {1, 0, 1}, {1, 1, 3}}},
        {"mode 3", 0x36, 4, {{0, 1, 4}, {1, 1, 2}, {1, 0, 4}, {1, 0, 2}, {1, 1, 4}}},
        {"mode 3, odd", 0x36, 5, {{0, 1, 5}, {3, 0, 5}, {2, 1, 5}}},
        {"mode 4", 0x38, 2, {{0, 1, 2}, {1, 1, 1}, {1, 0, 0}, {1, 1, 0xFFFF}}},
        {"mode 5", 0x3A, 2, {{0, 1, -1}, {1, 1, 2}, {2, 0, 0}, {1, 1, 0xFFFF}}},
        {"mode 0, BCD", 0x31, 0x0000, {{0, 0, 0}, {1, 0, 0x9999}, {9998, 0, 1}, {1, 1, 0}}},
        {"mode 6 is mode 2", 0x3C, 2, {{1, 0, 1}, {1, 1, 2}}},
    };
    for (const Case &c : cases) {
        Write(32, 0x00);  // gate closed, no clock
        Write(30, c.control);
        Write(24, c.count & 0xFF);
        Write(24, c.count >> 8);
        Write(32, 0x82);  // gate held open (a rising gate), clock from the input
        for (const Step &s : c.steps) {
            ASSERT_EQ(KtzSimInjectCounterPulses(0, 0, s.pulses), 0);
            KtzSimCounterOutput out = Output(0);
            EXPECT_EQ(out.level, s.level) << c.name << " after " << s.pulses;
            unsigned expected = s.count < 0 ? out.count : static_cast<unsigned>(s.count);
            EXPECT_EQ(out.count, expected) << c.name << " after " << s.pulses;
        }
    }
}

TEST_F(CardCounterTest, LatchHoldsTheCountUntilReadInFull) {
    Write(30, 0x70);  // counter 1, mode 0, low then high byte
    Write(26, 0x00);
    Write(26, 0x10);  // 0x1000
    Write(34, 0x82);
    ASSERT_EQ(KtzSimInjectCounterPulses(0, 1, 0x11), 0);
    Write(30, 0x40);  // latch
    ASSERT_EQ(KtzSimInjectCounterPulses(0, 1, 0x100), 0);
    Write(30, 0x40);  // a second latch before the read changes nothing
    EXPECT_EQ(ReadByte(26), 0xEF);
    EXPECT_EQ(ReadByte(26), 0x0F);
    // Without a latch the live count reads.
    EXPECT_EQ(ReadByte(26), 0xEF);
    EXPECT_EQ(ReadByte(26), 0x0E);

    // One byte per count with the low-only and the high-only access.
    Write(30, 0x50);  // counter 1, low byte only
    Write(26, 0x34);
    EXPECT_EQ(ReadByte(26), 0x34);
    EXPECT_EQ(ReadByte(26), 0x34);
    Write(30, 0x60);  // high byte only
    Write(26, 0x12);
    ASSERT_EQ(KtzSimInjectCounterPulses(0, 1, 1), 0);
    EXPECT_EQ(ReadByte(26), 0x11);
}

TEST_F(CardCounterTest, StatusBitsOfAGateThatFollowsTheCounterBelow) {
    KtzSimSetRequestCost(0);
    Write(38, 1);           // 1 MHz
    Write(36, 0x08);        // clear
    Write(30, 0x72);        // counter 1, mode 1
    Write(26, 10);          // 10 us
    Write(26, 0);
    Write(34, 0x81);        // gate held open (the trigger), the selected clock
    Write(36, 0x50);        // counter 2 open while counter 1's output is low
    EXPECT_EQ(ReadWord(36) & 0x500, 0);  // not yet open
    KtzSimSetRequestCost(1000);
    ReadWord(36);  // 1 us: counter 1 loaded, gate open
    WORD status = ReadWord(36);
    EXPECT_EQ(status & 0x500, 0x500);
    for (int i = 0; i < 10; ++i) status = ReadWord(36);
    EXPECT_EQ(status & 0x500, 0x400);  // closed again, and has been open
    Write(36, 0x58);        // clearing forgets that it was open
    EXPECT_EQ(ReadWord(36) & 0x400, 0);
}

}  // namespace
}  // namespace ktztest
