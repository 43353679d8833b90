// System information and module handles.
#include <gtest/gtest.h>

#include <hostwin.h>
#include <windows.h>

namespace {

TEST(System, VersionIsSettable) {
    HwSetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwBuildNumber, 2195u);
    info.dwOSVersionInfoSize = 4;
    EXPECT_FALSE(GetVersionExA(&info));
    HwSetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
}

TEST(System, WindowsDirectoryReportsTheSizeNeeded) {
    HwSetWindowsDirectory("D:\\WINNT");
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, "D:\\WINNT");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 8), 9u);  // too small: length + terminator
    HwSetWindowsDirectory("C:\\WINDOWS");
}

TEST(System, ModulesHaveStableHandles) {
    HINSTANCE a = HwRegisterModule("Test.dll");
    EXPECT_EQ(HwRegisterModule("TEST.DLL"), a);
    EXPECT_NE(HwRegisterModule("Other.dll"), a);
    EXPECT_STREQ(HwModuleName(a), "Test.dll");
    EXPECT_EQ(HwModuleName(nullptr), nullptr);
}

}  // namespace
