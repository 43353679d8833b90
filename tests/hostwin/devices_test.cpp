// Device objects and device I/O: plain and overlapped requests, pending
// completion, cleanup on the last close and on device removal.
#include <gtest/gtest.h>

#include <hostwin.h>
#include <windows.h>

#include "test_driver.h"

namespace {

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        HwReboot(TRUE);
        ASSERT_EQ(StartTestDriver(), 0u);
        file_ = CreateFileA("\\\\.\\hwtest", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(file_, INVALID_HANDLE_VALUE);
        event_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    }
    void TearDown() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        CloseHandle(event_);
        HwReboot(TRUE);
    }
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
};

TEST_F(Devices, UnknownDeviceIsNotFound) {
    EXPECT_EQ(CreateFileA("\\\\.\\NOSUCH", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Devices, PlainRequestCompletesOnReturn) {
    DWORD in = 0x12345678, out = 0, bytes = 0;
    ASSERT_TRUE(DeviceIoControl(file_, 1, &in, sizeof in, &out, sizeof out, &bytes, nullptr));
    EXPECT_EQ(out, in);
    EXPECT_EQ(bytes, 4u);
    EXPECT_FALSE(DeviceIoControl(file_, 99, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST_F(Devices, OverlappedRequestCompletingAtOnceSignalsItsEvent) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    DWORD in = 7, out = 0, bytes = 0;
    ASSERT_TRUE(DeviceIoControl(file_, 1, &in, sizeof in, &out, sizeof out, &bytes, &overlapped));
    EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped));
    EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
}

TEST_F(Devices, PendingRequestCompletesLater) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;  // signalled now: the start resets it
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(file_, 2, nullptr, 0, nullptr, 0, &bytes, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(HasOverlappedIoCompleted(&overlapped));
    EXPECT_EQ(WaitForSingleObject(event_, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(GetOverlappedResult(file_, &overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    ASSERT_TRUE(HwTestCompleteOldest(ERROR_SUCCESS, 24));
    EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(file_, &overlapped, &bytes, TRUE));
    EXPECT_EQ(bytes, 24u);

    // A failure travels back as its own error, even one equal to STATUS_PENDING's value.
    EXPECT_FALSE(DeviceIoControl(file_, 2, nullptr, 0, nullptr, 0, &bytes, &overlapped));
    ASSERT_TRUE(HwTestCompleteOldest(ERROR_NO_MORE_ITEMS, 0));
    EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped));
    EXPECT_FALSE(GetOverlappedResult(file_, &overlapped, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(Devices, OverlappedHandleNeedsAnOverlappedRead) {
    BYTE buffer[8];
    DWORD bytes = 0;
    EXPECT_FALSE(ReadFile(file_, buffer, sizeof buffer, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Devices, LastCloseCompletesPendingRequestsThroughCleanup) {
    BYTE buffer[8];
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    EXPECT_FALSE(ReadFile(file_, buffer, sizeof buffer, nullptr, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    int cleanups = HwTestCleanups();
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(HwTestCleanups(), cleanups + 1);
    EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
    EXPECT_EQ(overlapped.Internal & 0xFFFF, static_cast<ULONG_PTR>(ERROR_OPERATION_ABORTED));
}

TEST_F(Devices, RemovedDeviceRefusesRequestsOnOpenHandles) {
    int cleanups = HwTestCleanups();
    StopTestDriver();
    EXPECT_EQ(HwTestCleanups(), cleanups + 1);
    DWORD in = 1, out = 0, bytes = 0;
    EXPECT_FALSE(DeviceIoControl(file_, 1, &in, sizeof in, &out, sizeof out, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_REMOVED));
    EXPECT_EQ(CreateFileA("\\\\.\\HWTEST", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    CloseHandle(file_);  // no second cleanup
    file_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(HwTestCleanups(), cleanups + 1);
}

}  // namespace
