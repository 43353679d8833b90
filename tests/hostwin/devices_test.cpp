// Device objects and device I/O through the test driver: plain and
// overlapped requests, pending completion, cleanup on the last close and
// requests on a device whose driver was stopped.
#include <gtest/gtest.h>

#include <windows.h>

#include "test_driver.h"
#include "test_platform.h"

namespace {

using hwtest::OnWine;
using hwtest::WineDeparts;

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        hwtest::RemoveTestService();
        ASSERT_EQ(hwtest::StartTestDriver(), 0u);
        file_ = Open(FILE_FLAG_OVERLAPPED);
        ASSERT_NE(file_, INVALID_HANDLE_VALUE) << GetLastError();
        control_ = Open(0);
        ASSERT_NE(control_, INVALID_HANDLE_VALUE) << GetLastError();
        event_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    }
    void TearDown() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        if (control_ != INVALID_HANDLE_VALUE) CloseHandle(control_);
        hwtest::RemoveTestService();
        CloseHandle(event_);
    }

    static HANDLE Open(DWORD flags) {
        return CreateFileA("\\\\.\\hwtest", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    }
    // Completes the oldest pending request through the second handle; false if none was pending.
    bool CompleteOldest(DWORD result, DWORD bytes = 0) {
        HWTEST_COMPLETION how = {result, bytes};
        uint32_t done = 0;
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(control_, IOCTL_HWTEST_COMPLETE, &how, sizeof how, &done,
                                    sizeof done, &returned, nullptr))
            << GetLastError();
        return done == 1;
    }
    HWTEST_COUNTS Counts() {
        HWTEST_COUNTS counts{};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(control_, IOCTL_HWTEST_COUNT, nullptr, 0, &counts,
                                    sizeof counts, &returned, nullptr));
        return counts;
    }
    // A request of the kind given, left pending on file_ with overlapped_.
    void StartPending(bool read) {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_;  // signalled now: the start resets it
        BOOL started = read ? ReadFile(file_, buffer_, sizeof buffer_, nullptr, &overlapped_)
                            : DeviceIoControl(file_, IOCTL_HWTEST_PEND, nullptr, 0, buffer_,
                                              sizeof buffer_, nullptr, &overlapped_);
        EXPECT_FALSE(started);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }

    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE control_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
    OVERLAPPED overlapped_{};
    BYTE buffer_[32] = {};
};

TEST_F(Devices, UnknownDeviceIsNotFound) {
    EXPECT_EQ(CreateFileA("\\\\.\\NOSUCH", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Devices, PlainRequestCompletesOnReturn) {
    DWORD in = 0x12345678, out = 0, bytes = 0;
    ASSERT_TRUE(DeviceIoControl(control_, IOCTL_HWTEST_ECHO, &in, sizeof in, &out, sizeof out,
                                &bytes, nullptr));
    EXPECT_EQ(out, in);
    EXPECT_EQ(bytes, 4u);
    EXPECT_FALSE(DeviceIoControl(control_, HWTEST_CONTROL(0x8FF), nullptr, 0, nullptr, 0, &bytes,
                                 nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST_F(Devices, OverlappedRequestCompletingAtOnceSignalsItsEvent) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    DWORD in = 7, out = 0, bytes = 0;
    ASSERT_TRUE(DeviceIoControl(file_, IOCTL_HWTEST_ECHO, &in, sizeof in, &out, sizeof out,
                                &bytes, &overlapped));
    EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped));
    EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
    EXPECT_EQ(out, 7u);
}

// A pending request delivers its result, bytes and data when it completes;
// a failure travels back as its own error, even one whose number is
// STATUS_PENDING's value.
TEST_F(Devices, PendingRequestsCompleteLater) {
    struct Case {
        const char *what;
        bool read;
        DWORD result, bytes;
        BOOL ok;
        DWORD error, transferred;
    };
    const Case cases[] = {
        {"control, success", false, HWTEST_RESULT_SUCCESS, 24, TRUE, 0, 24},
        {"read, success", true, HWTEST_RESULT_SUCCESS, 32, TRUE, 0, 32},
        {"control, failure 259", false, HWTEST_RESULT_NO_MORE_ITEMS, 0, FALSE,
         ERROR_NO_MORE_ITEMS, 0},
        {"read, cancelled", true, HWTEST_RESULT_CANCELLED, 0, FALSE, ERROR_OPERATION_ABORTED, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        memset(buffer_, 0xEE, sizeof buffer_);
        StartPending(c.read);
        EXPECT_FALSE(HasOverlappedIoCompleted(&overlapped_));
        EXPECT_EQ(WaitForSingleObject(event_, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        DWORD bytes = 99;
        EXPECT_FALSE(GetOverlappedResult(file_, &overlapped_, &bytes, FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
        EXPECT_EQ(Counts().pending, 1u);

        ASSERT_TRUE(CompleteOldest(c.result, c.bytes));
        EXPECT_EQ(GetOverlappedResult(file_, &overlapped_, &bytes, TRUE), c.ok);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped_));
        if (c.ok) {
            EXPECT_EQ(bytes, c.transferred);
            EXPECT_EQ(buffer_[0], 1);
            EXPECT_EQ(buffer_[c.transferred - 1], c.transferred);
        }
    }
    EXPECT_FALSE(CompleteOldest(HWTEST_RESULT_SUCCESS));
}

DWORD WINAPI PlainRead(LPVOID parameter) {
    BYTE data[8];
    DWORD bytes = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(parameter), data, sizeof data, &bytes, nullptr);
    return ok ? bytes : 1000 + GetLastError();
}

// Without an OVERLAPPED, a request on a handle opened for overlapped I/O
// waits for its completion.
TEST_F(Devices, PlainReadOnAnOverlappedHandleWaitsForItsCompletion) {
    HANDLE thread = CreateThread(nullptr, 0, PlainRead, file_, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD deadline = 10000;
    while (!CompleteOldest(HWTEST_RESULT_SUCCESS, 5) && deadline--) Sleep(1);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
}

DWORD WINAPI CancelOnThisThread(LPVOID parameter) {
    return CancelIo(static_cast<HANDLE>(parameter)) ? 0 : 1000 + GetLastError();
}

// CancelIo reaches the driver's cancel routine for the requests that the
// calling thread sent on the file; another thread's CancelIo leaves them.
TEST_F(Devices, CancelIoEndsTheCallingThreadsRequestsOnly) {
    StartPending(true);
    HANDLE thread = CreateThread(nullptr, 0, CancelOnThisThread, file_, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Counts().pending, 1u);

    EXPECT_TRUE(CancelIo(file_));
    DWORD bytes = 99;
    EXPECT_FALSE(GetOverlappedResult(file_, &overlapped_, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(Counts().pending, 0u);
    EXPECT_TRUE(CancelIo(file_));  // nothing left: still success
    EXPECT_FALSE(CancelIo(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Devices, LastCloseCompletesPendingRequestsThroughCleanup) {
    StartPending(true);
    DWORD cleanups = Counts().cleanups;
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (OnWine()) {
        WineDeparts("Wine 8 sends no IRP_MJ_CLEANUP at the last close of a device file; the "
                    "test driver completes the open's requests at IRP_MJ_CLOSE instead, which "
                    "Wine sends then even while requests are pending");
        EXPECT_EQ(Counts().cleanups, cleanups);
    } else {
        EXPECT_EQ(Counts().cleanups, cleanups + 1);
    }
    // The request is complete; its file handle is not consulted any more.
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(file_, &overlapped_, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(Counts().pending, 0u);
}

TEST_F(Devices, StoppedDriverRefusesRequestsOnOpenHandles) {
    StartPending(false);
    hwtest::StopTestDriver();
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(file_, &overlapped_, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    DWORD in = 1, out = 0;
    EXPECT_FALSE(DeviceIoControl(control_, IOCTL_HWTEST_ECHO, &in, sizeof in, &out, sizeof out,
                                 &bytes, nullptr));
    // Windows keeps a stopped driver loaded until its device's last handle
    // is closed; Wine and hostwin unload it at once and fail later requests.
    if (OnWine()) {
        WineDeparts("Wine unloads a driver stopped while its device is open; requests on the "
                    "open handles then fail with ERROR_ACCESS_DENIED");
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_REMOVED));
    }
    EXPECT_EQ(CreateFileA("\\\\.\\HWTEST", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
