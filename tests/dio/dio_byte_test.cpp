// Byte and bit digital I/O: directions, masked writes, line reads and the
// read-back of the output latches.
#include <ktz3649.h>

#include "../ai/polled_fixture.h"

namespace ktztest {
namespace {

class DioByteTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        OpenWithBadBoard();
    }
    WORD &Mode() { return Record(handle_).settings.DioPortMode; }
};

TEST_F(DioByteTest, PortModeAndConfig) {
    const struct {
        WORD before;
        WORD port, direction;
        WORD after;
    } cases[] = {
        {0x00, 1, 0, 0x10},  {0x00, 0, 0, 0x01},  {0x11, 0, 1, 0x10},  {0x11, 1, 7, 0x01},
        {0x111, 1, 0, 0x111},  // setting keeps a stray upper bit
        {0x111, 0, 1, 0x10},   // clearing keeps only the low byte
        {0x11, 2, 1, 0x11},    // no such port: nothing changes
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << ", port " << c.port);
        Mode() = c.before;
        EXPECT_EQ(DioSetPortMode(handle_, c.port, c.direction), 0u);
        EXPECT_EQ(Mode(), c.after);
    }
    Mode() = 0x01;
    WORD directions[4] = {};
    ASSERT_EQ(DioSetPortMode(handle_, 1, 0), 0u);
    ASSERT_EQ(DioGetConfig(handle_, directions, 4), 0u);
    EXPECT_EQ(std::vector<WORD>(directions, directions + 4),
              (std::vector<WORD>{0, 0, 0xFFFF, 0xFFFF}));
    Mode() = 0x10;
    WORD one[2] = {7, 7};
    ASSERT_EQ(DioGetConfig(handle_, one, 1), 0u);
    EXPECT_EQ(one[0], 1);
    EXPECT_EQ(one[1], 7);
    EXPECT_EQ(DioGetConfig(bad_, one, 2), 0u);  // no board check
    EXPECT_EQ(DioSetPortMode(bad_, 0, 0), 0u);
    EXPECT_EQ(DioGetConfig(handle_, nullptr, 2), 0x100Au);
    EXPECT_TRUE(Registers().empty());  // directions reach the card with the next port access
}

TEST_F(DioByteTest, MaskedWritesReadModifyWrite) {
    const struct {
        WORD port, mask, state, latch, mode;
        unsigned written;
    } cases[] = {
        {0, 0x0F, 0xA5, 0xF0, 0x00, 0xF5},
        {1, 0xFF0F, 0xFFA5, 0xF0, 0x00, 0xF5},  // only the low bytes count
        {1, 0xFFFF, 0x3C, 0x00, 0x11, 0x3C},    // an input port's latch is written too
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.port);
        Mode() = c.mode;
        KtzSimPoke(card_, 40 + c.port, 8, c.latch);
        KtzSimTraceClear();
        ASSERT_EQ(DioWritePortByte(handle_, c.port, c.mask, c.state), 0u);
        unsigned port = 40 + c.port;
        EXPECT_EQ(Registers(), (std::vector<Access>{W8(42, c.mode), R8(port, c.latch),
                                                    W8(port, c.written)}));
        EXPECT_EQ(Record(handle_).dio.dioReadback[c.port], c.latch);
    }
}

TEST_F(DioByteTest, BitWritesUseOnlyBitZeroOfTheState) {
    const struct {
        WORD bit, state, latch;
        unsigned written;
    } cases[] = {{3, 1, 0x00, 0x08}, {3, 2, 0xFF, 0xF7}, {3, 2, 0x00, 0x00}, {7, 3, 0x00, 0x80}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "bit " << c.bit << " state " << c.state);
        KtzSimPoke(card_, 41, 8, c.latch);
        KtzSimTraceClear();
        ASSERT_EQ(DioWriteBit(handle_, 1, c.bit, c.state), 0u);
        EXPECT_EQ(Registers(),
                  (std::vector<Access>{W8(42, 0), R8(41, c.latch), W8(41, c.written)}));
    }
}

TEST_F(DioByteTest, ReadsFollowTheDirection) {
    KtzSimSetDigitalInput(card_, 0, 0x5A);
    KtzSimSetDigitalInput(card_, 1, 0xC3);
    KtzSimPoke(card_, 40, 16, 0x2211);  // the latches
    const struct {
        WORD mode, port;
        WORD value;
    } cases[] = {{0x00, 0, 0x11}, {0x01, 0, 0x5A}, {0x10, 0, 0x11}, {0x10, 1, 0xC3},
                 {0x01, 1, 0x22}, {0x111, 1, 0xC3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", port " << c.port);
        Mode() = c.mode;
        KtzSimTraceClear();
        WORD value = 0xEEEE;
        ASSERT_EQ(DioReadPortByte(handle_, c.port, &value), 0u);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(Registers(),
                  (std::vector<Access>{W8(42, c.mode & 0xFF), R8(40 + c.port, c.value)}));
        WORD bit = 0xEEEE;
        ASSERT_EQ(DioReadBit(handle_, c.port, 4, &bit), 0u);
        EXPECT_EQ(bit, (c.value >> 4) & 1);
    }
}

TEST_F(DioByteTest, ReadbackWritesNoDirection) {
    KtzSimPoke(card_, 41, 8, 0x81);
    Mode() = 0x10;  // port 1 now an input, but the card does not know yet
    WORD value = 0, bit = 0;
    ASSERT_EQ(DioGetCurrentDOByte(handle_, 1, &value), 0u);
    ASSERT_EQ(DioGetCurrentDOBit(handle_, 1, 7, &bit), 0u);
    EXPECT_EQ(value, 0x81);
    EXPECT_EQ(bit, 1);
    EXPECT_EQ(Registers(), (std::vector<Access>{R8(41, 0x81), R8(41, 0x81)}));
}

TEST_F(DioByteTest, ErrorsAndWhatTheyLeave) {
    KtzSimPoke(card_, 40, 8, 0x96);
    WORD value = 0xEEEE;
    EXPECT_EQ(DioReadBit(handle_, 0, 8, &value), 0x100Au);  // after reading the port
    EXPECT_EQ(value, 0x96);
    EXPECT_EQ(DioGetCurrentDOBit(handle_, 0, 9, &value), 0x100Au);
    EXPECT_EQ(Registers(), (std::vector<Access>{W8(42, 0), R8(40, 0x96), R8(40, 0x96)}));
    KtzSimTraceClear();

    value = 0xEEEE;
    const struct {
        DWORD result;
        DWORD expected;
    } cases[] = {
        {DioReadPortByte(0, 0, &value), 3},
        {DioReadPortByte(bad_, 2, &value), 0x2018},
        {DioReadPortByte(handle_, 2, &value), 0x1007},
        {DioReadPortByte(handle_, 2, nullptr), 0x1007},
        {DioReadPortByte(handle_, 0, nullptr), 0x100A},
        {DioWritePortByte(0, 0, 1, 1), 3},
        {DioWritePortByte(bad_, 2, 1, 1), 0x2018},
        {DioWritePortByte(handle_, 2, 1, 1), 0x1007},
        {DioReadBit(bad_, 2, 9, &value), 0x2018},
        {DioReadBit(handle_, 2, 9, &value), 0x1007},
        {DioReadBit(handle_, 0, 9, nullptr), 0x100A},
        {DioWriteBit(0, 0, 8, 1), 3},
        {DioWriteBit(bad_, 2, 8, 1), 0x200A},  // the bit before the board
        {DioWriteBit(bad_, 2, 7, 1), 0x2018},
        {DioWriteBit(handle_, 2, 7, 1), 0x1007},
        {DioGetCurrentDOByte(bad_, 0, &value), 0x2018},
        {DioGetCurrentDOByte(handle_, 2, &value), 0x1007},
        {DioGetCurrentDOByte(handle_, 1, nullptr), 0x100A},
        {DioGetCurrentDOBit(handle_, 2, 0, &value), 0x1007},
        {DioGetCurrentDOBit(handle_, 1, 0, nullptr), 0x100A},
        {DioSetPortMode(0, 0, 0), 3},
        {DioGetConfig(0, &value, 1), 3},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_EQ(value, 0xEEEE);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(DioByteTest, OutputsReachTheLabAndInputsComeBack) {
    Mode() = 0x10;  // port 0 out, port 1 in
    ASSERT_EQ(DioWritePortByte(handle_, 0, 0xFF, 0x3C), 0u);
    ASSERT_EQ(DioWriteBit(handle_, 0, 0, 1), 0u);
    unsigned latch = 0;
    ASSERT_EQ(KtzSimGetDigitalOutput(card_, 0, &latch), 0);
    EXPECT_EQ(latch, 0x3Du);
    for (unsigned lines : {0x00u, 0xA7u, 0xFFu}) {
        ASSERT_EQ(KtzSimSetDigitalInput(card_, 1, lines), 0);
        WORD value = 0;
        ASSERT_EQ(DioReadPortByte(handle_, 1, &value), 0u);
        EXPECT_EQ(value, lines);
    }
    EXPECT_EQ(KtzSimSetDigitalInput(card_, 2, 0), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace ktztest
