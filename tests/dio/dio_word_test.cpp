// Word, double-word and port-group digital I/O: the line masks of each
// port mode, masked word writes and the port-group bounds.
#include <ktz3649.h>

#include "../ai/polled_fixture.h"

namespace ktztest {
namespace {

class DioWordTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        OpenWithBadBoard();
    }
    // Port 0 reads 0x5A and port 1 0xA5, whatever their direction.
    void Lines(WORD mode) {
        Record(handle_).settings.DioPortMode = mode;
        KtzSimSetDigitalInput(card_, 0, 0x5A);
        KtzSimSetDigitalInput(card_, 1, 0xA5);
        KtzSimPoke(card_, 40, 16, 0xA55A);
        KtzSimTraceClear();
    }
};

TEST_F(DioWordTest, LinesOfEachDirection) {
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

TEST_F(DioWordTest, MaskedWordWrites) {
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

TEST_F(DioWordTest, PortGroupsMoveOneOrTwoPorts) {
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

TEST_F(DioWordTest, ChecksAndBounds) {
    WORD value = 0xEEEE;
    BYTE buffer[2] = {0xEE, 0xEE};
    const struct {
        DWORD result;
        DWORD expected;
    } cases[] = {
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
        {DioReadDiPorts(bad_, 0, 2, buffer), 0x2018},  // passed on from the word read
        {DioWriteDoPorts(bad_, 1, 1, buffer), 0x2018},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].result, cases[i].expected) << "case " << i;
    EXPECT_EQ(value, 0xEEEE);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_TRUE(Registers().empty());
}

}  // namespace
}  // namespace ktztest
