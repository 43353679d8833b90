// What only the host's machine can be made to show: another Windows
// directory (HwSetWindowsDirectory), and no event log at all (every Windows
// has one).
#include <hostwin.h>

#include "service_fixture.h"

namespace ktztest {
namespace {

class ServiceHostTest : public ServiceTest {
protected:
    void TearDown() override {
        HwSetWindowsDirectory("C:\\WINDOWS");
        ServiceTest::TearDown();
    }
};

TEST_F(ServiceHostTest, BinaryPathComesFromTheWindowsDirectory) {
    HwSetWindowsDirectory("D:\\WINNT");
    ASSERT_EQ(Step(ktz::CreateDriverService), 1u);
    EXPECT_EQ(Value(kService, "ImagePath"),
              Sz("D:\\WINNT\\system32\\drivers\\KTZ3649S.SYS", REG_EXPAND_SZ));
    EXPECT_EQ(Value(kService, "Start"), "dword:2");
    // An existing service counts as created.
    EXPECT_EQ(Step(ktz::CreateDriverService), 1u);

    ASSERT_EQ(Step(ktz::DeleteDriverService), 1u);
    HwSetWindowsDirectory(std::string(300, 'W').c_str());  // too long for the path
    EXPECT_EQ(Step(ktz::CreateDriverService), 0u);
    EXPECT_EQ(Step(ktz::StartDriverService), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceHostTest, MissingEventLogIsNoError) {
    HKEY eventLog;  // the lab's machine has no event log
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventLog, 0, KEY_READ, &eventLog),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    EXPECT_EQ(Value(kService, "Type"), "dword:1");
    EXPECT_EQ(Value(kSource, "TypesSupported"), "");
}

}  // namespace
}  // namespace ktztest
