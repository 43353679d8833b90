// The exported port functions and the register primitives.
#include <ktz3649.h>

#include <ktz3649_driver.h>

#include "lab_fixture.h"
#include "target.h"

namespace ktztest {
namespace {

class PortTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
        handle_ = Open(0);
    }
    KTZHANDLE handle_ = 0;
};

TEST_F(PortTest, PortAddressesBecomeOffsetsFromTheBase) {
    ASSERT_EQ(WritePortByte(handle_, 0xE029, 0x5A), 0u);
    ASSERT_EQ(WritePortWord(handle_, 0xE00C, 0x0123), 0u);
    WORD byte = 0xFFFF, word = 0;
    ASSERT_EQ(ReadPortByte(handle_, 0xE029, &byte), 0u);
    ASSERT_EQ(ReadPortWord(handle_, 0xE00C, &word), 0u);
    EXPECT_EQ(byte, 0x5A);  // the high half cleared
    EXPECT_EQ(word, 0x0123);
    EXPECT_EQ(Registers(), (std::vector<Access>{W8(41, 0x5A), W16(12, 0x123), R8(41, 0x5A),
                                                R16(12, 0x123)}));
}

TEST_F(PortTest, FailedRequestMapsTheLastError) {
    const struct {
        DWORD lastError;
        DWORD result;
    } cases[] = {{0xFFFFFFFF, 100}, {2, 101}, {6, 102}, {56, 103}, {998, 105}, {87, 106},
                 {31, 106}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lastError);
        if (!DriverCanFailWith(c.lastError)) continue;
        KtzSimFailRequest(KTZ_IOCTL_READ_BYTE, c.lastError, 1);
        WORD value = 0x7777;
        EXPECT_EQ(ReadPortByte(handle_, 0xE028, &value), c.result);
        EXPECT_EQ(value, 0x7777);
        KtzSimFailRequest(KTZ_IOCTL_WRITE_WORD, c.lastError, 1);
        EXPECT_EQ(WritePortWord(handle_, 0xE028, 1), c.result);
    }
}

TEST_F(PortTest, PortBelowTheBaseIsSentAsAHugeOffset) {
    // 0x10 - 0xE000 wraps to 0xFFFF2010; the driver refuses it.
    EXPECT_EQ(WritePortByte(handle_, 0x10, 1), 106u);
    auto trace = Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].error, static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

TEST_F(PortTest, BadHandlesAndNullResultsSendNothing) {
    WORD value = 0;
    EXPECT_EQ(ReadPortByte(0, 0xE028, &value), 3u);
    EXPECT_EQ(WritePortByte(handle_ + 4, 0xE028, 1), 3u);
    EXPECT_EQ(ReadPortByte(handle_, 0xE028, nullptr), 0x100Au);
    EXPECT_EQ(ReadPortWord(handle_, 0xE028, nullptr), 0x100Au);
    EXPECT_TRUE(Trace().empty());
}

// Inside the operations a failed register access is silent: a read gives
// 0 and a write vanishes.
TEST_F(PortTest, OperationsIgnoreFailedRegisterAccesses) {
    KtzSimPoke(0, 40, 16, 0x1234);
    WORD value = 0xEEEE;
    KtzSimFailRequest(KTZ_IOCTL_READ_WORD, ERROR_GEN_FAILURE, 1);
    EXPECT_EQ(DioGetCurrentDOWord(handle_, 0, nullptr, &value), 0u);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(DioGetCurrentDOWord(handle_, 0, nullptr, &value), 0u);
    EXPECT_EQ(value, 0x1234);
    KtzSimFailRequest(KTZ_IOCTL_READ_BYTE, ERROR_GEN_FAILURE, 1);
    EXPECT_EQ(DioGetCurrentDOByte(handle_, 0, &value), 0u);
    EXPECT_EQ(value, 0);
    KtzSimFailRequest(KTZ_IOCTL_WRITE_BYTE, ERROR_GEN_FAILURE, 2);  // directions and port 0
    EXPECT_EQ(DioWritePortByte(handle_, 0, 0xFF, 0x99), 0u);
    EXPECT_EQ(KtzSimPeek(0, 40, 8), 0x34u);
}

}  // namespace
}  // namespace ktztest
