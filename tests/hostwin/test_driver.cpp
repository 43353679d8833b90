// The hostwin tests' driver as a hostwin driver module (HWTESTDRV.SYS is
// libhwtestdrv.so), answering as the kernel-mode driver does (test_driver.h).
#include "test_driver.h"

#include <hostwin_driver.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#define TESTDRV_API extern "C" __attribute__((visibility("default")))

namespace {

std::mutex mutex;
HW_DEVICE device;
std::deque<HW_REQUEST *> pending;  // oldest first
HWTEST_COUNTS counts;

DWORD Open(LPVOID, LPVOID *file) {
    std::lock_guard lock(mutex);
    *file = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(++counts.opens));
    return ERROR_SUCCESS;
}

// Completes the oldest kept request as asked; false if there is none.
bool CompleteOldest(const HWTEST_COMPLETION &how) {
    static const DWORD errors[] = {ERROR_SUCCESS, ERROR_OPERATION_ABORTED, ERROR_NO_MORE_ITEMS};
    HW_REQUEST *request;
    {
        std::lock_guard lock(mutex);
        if (pending.empty()) return false;
        request = pending.front();
        pending.pop_front();
        --counts.pending;
    }
    DWORD bytes = 0;
    if (how.result == HWTEST_RESULT_SUCCESS && how.bytes <= request->outSize) {
        bytes = how.bytes;
        auto *data = static_cast<BYTE *>(request->outBuffer);
        for (DWORD i = 0; i < bytes; ++i) data[i] = static_cast<BYTE>(i + 1);
    }
    HwCompleteRequest(request, how.result < 3 ? errors[how.result] : ERROR_GEN_FAILURE, bytes);
    return true;
}

DWORD Dispatch(LPVOID, HW_REQUEST *request, DWORD *bytes) {
    if (request->kind == HW_REQUEST_READ) {
        std::lock_guard lock(mutex);
        pending.push_back(request);
        ++counts.pending;
        return ERROR_IO_PENDING;
    }
    switch (request->code) {
    case IOCTL_HWTEST_ECHO:
        *bytes = request->inSize < request->outSize ? request->inSize : request->outSize;
        std::memmove(request->outBuffer, request->inBuffer, *bytes);
        return ERROR_SUCCESS;
    case IOCTL_HWTEST_PEND: {
        std::lock_guard lock(mutex);
        pending.push_back(request);
        ++counts.pending;
        return ERROR_IO_PENDING;
    }
    case IOCTL_HWTEST_COMPLETE: {
        if (request->inSize < sizeof(HWTEST_COMPLETION) || request->outSize < sizeof(uint32_t))
            return ERROR_INVALID_PARAMETER;
        HWTEST_COMPLETION how;
        std::memcpy(&how, request->inBuffer, sizeof how);
        uint32_t done = CompleteOldest(how) ? 1 : 0;
        std::memcpy(request->outBuffer, &done, sizeof done);
        *bytes = sizeof done;
        return ERROR_SUCCESS;
    }
    case IOCTL_HWTEST_COUNT: {
        if (request->outSize < sizeof counts) return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(mutex);
        std::memcpy(request->outBuffer, &counts, sizeof counts);
        *bytes = sizeof counts;
        return ERROR_SUCCESS;
    }
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

// Cancels the kept requests of one open (all of them for nullptr).
void CancelKept(LPVOID file) {
    std::deque<HW_REQUEST *> cancelled;
    {
        std::lock_guard lock(mutex);
        for (auto it = pending.begin(); it != pending.end();) {
            if (!file || (*it)->fileContext == file) {
                cancelled.push_back(*it);
                it = pending.erase(it);
                --counts.pending;
            } else {
                ++it;
            }
        }
    }
    for (HW_REQUEST *request : cancelled) HwCompleteRequest(request, ERROR_OPERATION_ABORTED, 0);
}

void Cleanup(LPVOID file) {
    CancelKept(file);
    std::lock_guard lock(mutex);
    ++counts.cleanups;
}

// A cancelled request, if still kept, completes at once (as the kernel-mode
// driver's cancel routine does).
void Cancel(LPVOID, HW_REQUEST *request) {
    {
        std::lock_guard lock(mutex);
        auto it = std::find(pending.begin(), pending.end(), request);
        if (it == pending.end()) return;
        pending.erase(it);
        --counts.pending;
    }
    HwCompleteRequest(request, ERROR_OPERATION_ABORTED, 0);
}

const HW_DEVICE_CALLBACKS callbacks = {Open, Dispatch, Cleanup, Cancel};

}  // namespace

TESTDRV_API DWORD HwDriverEntry(LPCSTR) {
    {
        std::lock_guard lock(mutex);
        counts = HWTEST_COUNTS{};
    }
    device = HwCreateDevice("\\\\.\\HWTEST", &callbacks, nullptr);
    return device ? ERROR_SUCCESS : GetLastError();
}

TESTDRV_API VOID HwDriverUnload(VOID) {
    CancelKept(nullptr);
    HwDeleteDevice(device);
    device = nullptr;
}
