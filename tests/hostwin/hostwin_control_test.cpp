// hostwin's own controls (hostwin.h): the settable version and Windows
// directory, module handles, handle values and booting the host.
#include <gtest/gtest.h>

#include <hostwin.h>
#include <windows.h>

#include "test_platform.h"

namespace {

TEST(HostControl, VersionAndWindowsDirectoryAreSettable) {
    HwSetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwBuildNumber, 2195u);
    HwSetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);

    HwSetWindowsDirectory("D:\\WINNT");
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, "D:\\WINNT");
    HwSetWindowsDirectory("C:\\WINDOWS");
}

TEST(HostControl, ModulesHaveStableHandles) {
    HINSTANCE a = HwRegisterModule("Test.dll");
    EXPECT_EQ(HwRegisterModule("TEST.DLL"), a);
    EXPECT_NE(HwRegisterModule("Other.dll"), a);
    EXPECT_STREQ(HwModuleName(a), "Test.dll");
    EXPECT_EQ(HwModuleName(nullptr), nullptr);
}

// Unlike Windows, hostwin never reuses a handle value, so that a stale
// handle fails instead of reaching a newer object.
TEST(HostControl, ClosedHandlesAreNotReused) {
    DWORD before = HwOpenHandleCount();
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(a);
    HANDLE b = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(a, b);
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(b);
    EXPECT_EQ(HwOpenHandleCount(), before);

    HKEY first = nullptr, second = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, hwtest::kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &first, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(first);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, hwtest::kTestKey, 0, KEY_READ, &second),
              ERROR_SUCCESS);
    EXPECT_NE(second, first);
    RegCloseKey(second);
    hwtest::DeleteTree(HKEY_LOCAL_MACHINE, hwtest::kTestKey);
}

TEST(HostControl, AutomaticDriversStartWhenTheHostBoots) {
    hwtest::RemoveTestService();
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    CloseServiceHandle(
        hwtest::CreateTestService(manager, hwtest::TestDriverImage(), SERVICE_AUTO_START));
    CloseServiceHandle(manager);
    HwReboot(FALSE);  // the service database is read from the registry again
    HANDLE device =
        CreateFileA("\\\\.\\HWTEST", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);
    hwtest::RemoveTestService();
}

}  // namespace
