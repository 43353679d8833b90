// Digital I/O: directions, byte and bit access with masked writes and the
// read-back of the output latches, the line masks of each port mode for
// word and double-word access, the port groups, and the refusals.
#include <ktz3649.h>

#include "../ai/polled_fixture.h"

namespace ktztest {
namespace {

class DioTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        OpenWithBadBoard();
    }
    WORD &Mode() { return Record(handle_).settings.DioPortMode; }
    // Port 0 reads 0x5A and port 1 0xA5, whatever their direction.
    void Lines(WORD mode) {
        Mode() = mode;
        KtzSimSetDigitalInput(card_, 0, 0x5A);
        KtzSimSetDigitalInput(card_, 1, 0xA5);
        KtzSimPoke(card_, 40, 16, 0xA55A);
        KtzSimTraceClear();
    }
};

TEST_F(DioTest, PortModeAndConfig) {
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

TEST_F(DioTest, MaskedWritesReadModifyWrite) {
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

TEST_F(DioTest, BitWritesUseOnlyBitZeroOfTheState) {
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

TEST_F(DioTest, ReadsFollowTheDirection) {
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

TEST_F(DioTest, ReadbackWritesNoDirection) {
    KtzSimPoke(card_, 41, 8, 0x81);
    Mode() = 0x10;  // port 1 now an input, but the card does not know yet
    WORD value = 0, bit = 0;
    ASSERT_EQ(DioGetCurrentDOByte(handle_, 1, &value), 0u);
    ASSERT_EQ(DioGetCurrentDOBit(handle_, 1, 7, &bit), 0u);
    EXPECT_EQ(value, 0x81);
    EXPECT_EQ(bit, 1);
    EXPECT_EQ(Registers(), (std::vector<Access>{R8(41, 0x81), R8(41, 0x81)}));
}

TEST_F(DioTest, RefusalsInTheirOrderAndWhatTheyLeave) {
    KtzSimPoke(card_, 40, 8, 0x96);
    WORD value = 0xEEEE;
    EXPECT_EQ(DioReadBit(handle_, 0, 8, &value), 0x100Au);  // after reading the port
    EXPECT_EQ(value, 0x96);
    EXPECT_EQ(DioGetCurrentDOBit(handle_, 0, 9, &value), 0x100Au);
    EXPECT_EQ(Registers(), (std::vector<Access>{W8(42, 0), R8(40, 0x96), R8(40, 0x96)}));
    KtzSimTraceClear();

    value = 0xEEEE;
    BYTE buffer[2] = {0xEE, 0xEE};
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
        {DioReadPortWord(0, 0, nullptr, &value), 3},
        {DioReadPortWord(bad_, 2, nullptr, &value), 0x2018},
        {DioReadPortWord(handle_, 2, nullptr, &value), 0x1007},
        {DioReadPortWord(handle_, 0, &value, nullptr), 0x100A},
        {DioGetCurrentDOWord(handle_, 1, &value, nullptr), 0x100A},
        {DioReadPortDword(handle_, 0, nullptr, nullptr), 0x100A},
        {DioWritePortWord(bad_, 2, 1, 1), 0x2018},
        {DioWritePortWord(handle_, 2, 1, 1), 0x1007},
        {DioWritePortDword(0, 0, 1, 1), 3},
        {DioWriteDoPorts(0, 0, 1, buffer), 3},
        {DioWriteDoPorts(handle_, 1, 2, buffer), 0x1007},
        {DioWriteDoPorts(handle_, 2, 1, buffer), 0x1007},
        {DioWriteDoPorts(handle_, 0, 0, buffer), 0x1007},
        {DioWriteDoPorts(handle_, 0, 3, buffer), 0x1007},
        {DioWriteDoPorts(handle_, 1, 0xFFFFFFFF, buffer), 0x1007},
        {DioWriteDoPorts(handle_, 0, 2, nullptr), 0x100A},
        {DioReadDiPorts(handle_, 0, 0, buffer), 0x1007},
        {DioReadDiPorts(handle_, 0, 1, nullptr), 0x100A},
        {DioGetCurrentDoPortsState(handle_, 0xFFFFFFFF, 2, buffer), 0x1007},
        {DioReadDiPorts(bad_, 0, 2, buffer), 0x2018},  // the board after the group's checks
        {DioWriteDoPorts(bad_, 1, 1, buffer), 0x2018},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_EQ(value, 0xEEEE);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(DioTest, OutputsReachTheLabAndInputsComeBack) {
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

TEST_F(DioTest, LinesOfEachDirection) {
    const struct {
        WORD mode;
        WORD inputs, outputs;  // port 0: both ports
    } cases[] = {{0x11, 0xA55A, 0x0000}, {0x10, 0xA500, 0x005A}, {0x01, 0x005A, 0xA500},
                 {0x00, 0x0000, 0xA55A}, {0x111, 0x0000, 0xA55A}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        Lines(c.mode);
        WORD mask = 0, value = 0;
        ASSERT_EQ(DioReadPortWord(handle_, 0, &mask, &value), 0u);
        EXPECT_EQ(value, c.inputs);
        WORD expectedInputMask = c.mode == 0x11 ? 0xFFFF
                                 : c.mode == 0x10 ? 0xFF00
                                 : c.mode == 0x01 ? 0x00FF
                                                  : 0x0000;
        EXPECT_EQ(mask, expectedInputMask);
        ASSERT_EQ(DioGetCurrentDOWord(handle_, 0, &mask, &value), 0u);
        EXPECT_EQ(value, c.outputs);
        EXPECT_EQ(mask, static_cast<WORD>(~expectedInputMask));

        DWORD mask32 = 0xEEEEEEEE, value32 = 0;
        ASSERT_EQ(DioReadPortDword(handle_, 1, &mask32, &value32), 0u);
        EXPECT_EQ(value32, static_cast<DWORD>(c.inputs >> 8));
        EXPECT_EQ(mask32, static_cast<DWORD>(expectedInputMask >> 8));
        ASSERT_EQ(DioGetCurrentDODword(handle_, 1, nullptr, &value32), 0u);
        EXPECT_EQ(value32, static_cast<DWORD>(c.outputs >> 8));

        auto mode = static_cast<unsigned>(c.mode & 0xFF);
        EXPECT_EQ(Registers(), (std::vector<Access>{W8(42, mode), R16(40, 0xA55A),
                                                    W8(42, mode), R16(40, 0xA55A),
                                                    W8(42, mode), R8(41, 0xA5),
                                                    W8(42, mode), R8(41, 0xA5)}))
            << "each access writes the directions first";
    }
}

TEST_F(DioTest, MaskedWordWrites) {
    const struct {
        WORD port;
        DWORD mask, state;
        Access written;
    } cases[] = {
        {1, 0x0F, 0x05, W8(41, 0xF5)},
        {0, 0x0FF0, 0x1234, W16(40, 0xF230)},
        {0, 0xFFFF0000, 0xFFFF, W16(40, 0xF0F0)},  // the double word's low 16 bits only
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.port);
        KtzSimPoke(card_, 40, 16, 0xF0F0);
        KtzSimTraceClear();
        ASSERT_EQ(DioWritePortDword(handle_, c.port, c.mask, c.state), 0u);
        EXPECT_EQ(Registers(), (std::vector<Access>{W8(42, 0), R16(40, 0xF0F0), c.written}));
        KtzSimPoke(card_, 40, 16, 0xF0F0);
        KtzSimTraceClear();
        ASSERT_EQ(DioWritePortWord(handle_, c.port, static_cast<WORD>(c.mask),
                                   static_cast<WORD>(c.state)), 0u);
        EXPECT_EQ(Registers().back(), c.written);
    }
    EXPECT_EQ(Record(handle_).dio.dioReadback[0], 0);  // not a byte write
}

TEST_F(DioTest, PortGroupsMoveOneOrTwoPorts) {
    BYTE buffer[2] = {0x12, 0x34};
    ASSERT_EQ(DioWriteDoPorts(handle_, 0, 2, buffer), 0u);
    EXPECT_EQ(RegisterWrites().back(), W16(40, 0x3412));
    buffer[0] = 0x77;
    ASSERT_EQ(DioWriteDoPorts(handle_, 1, 1, buffer), 0u);
    EXPECT_EQ(RegisterWrites().back(), W8(41, 0x77));
    unsigned latch = 0;
    KtzSimGetDigitalOutput(card_, 0, &latch);
    EXPECT_EQ(latch, 0x12u);

    Lines(0x01);  // port 0 input 0x5A, port 1 output 0xA5
    BYTE in[2] = {0xEE, 0xEE};
    ASSERT_EQ(DioReadDiPorts(handle_, 1, 1, in), 0u);  // one port: the whole byte
    EXPECT_EQ(in[0], 0xA5);
    EXPECT_EQ(in[1], 0xEE);
    ASSERT_EQ(DioReadDiPorts(handle_, 0, 2, in), 0u);  // two ports: the inputs only
    EXPECT_EQ(in[0], 0x5A);
    EXPECT_EQ(in[1], 0x00);
    ASSERT_EQ(DioGetCurrentDoPortsState(handle_, 0, 1, in), 0u);
    EXPECT_EQ(in[0], 0x5A);
    ASSERT_EQ(DioGetCurrentDoPortsState(handle_, 0, 2, in), 0u);
    EXPECT_EQ(in[0], 0x00);
    EXPECT_EQ(in[1], 0xA5);
}

}  // namespace
}  // namespace ktztest
