// System information: the version, the Windows directory's size rules and
// the process's handle count.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "test_platform.h"

namespace {

TEST(System, VersionNeedsTheWholeRecord) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    info.dwOSVersionInfoSize = 4;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The length on success; the size needed, terminator included, when the buffer is too small.
TEST(System, WindowsDirectoryReportsTheSizeNeeded) {
    char buffer[MAX_PATH];
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(buffer), length);
    char small[MAX_PATH];
    memset(small, '#', sizeof small);
    EXPECT_EQ(GetWindowsDirectoryA(small, length), length + 1);
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), length + 1);
}

// The leak checks of the library's tests count the process's handles.
TEST(System, ProcessHandleCountFollowsOpensAndCloses) {
    DWORD before = 0, during = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &during));
    CloseHandle(event);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine 8's GetProcessHandleCount is a stub that reports no handles");
        EXPECT_EQ(during, 0u);
        return;
    }
    EXPECT_EQ(during, before + 1);
    EXPECT_EQ(after, before);
}

}  // namespace
