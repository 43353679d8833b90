// A minimal driver module for the hostwin tests: the image HWTESTDRV.SYS.
// Device "\\.\HWTEST": code 1 echoes its input, code 2 stays pending, a
// read stays pending; pending requests complete from the test or at cleanup.
#include <hostwin_driver.h>

#include <mutex>
#include <vector>

#define TESTDRV_API extern "C" __attribute__((visibility("default")))

namespace {

std::mutex mutex;
HW_DEVICE device;
std::vector<HW_REQUEST *> pending;
int entries, unloads, opens, cleanups;

DWORD Open(LPVOID, LPVOID *file) {
    std::lock_guard lock(mutex);
    ++opens;
    *file = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(opens));
    return ERROR_SUCCESS;
}

DWORD Dispatch(LPVOID, HW_REQUEST *request, DWORD *bytes) {
    if (request->kind == HW_REQUEST_DEVICE_CONTROL && request->code == 1) {
        DWORD n = request->inSize < request->outSize ? request->inSize : request->outSize;
        memcpy(request->outBuffer, request->inBuffer, n);
        *bytes = n;
        return ERROR_SUCCESS;
    }
    if (request->kind == HW_REQUEST_READ ||
        (request->kind == HW_REQUEST_DEVICE_CONTROL && request->code == 2)) {
        std::lock_guard lock(mutex);
        pending.push_back(request);
        return ERROR_IO_PENDING;
    }
    return ERROR_INVALID_FUNCTION;
}

void Cleanup(LPVOID file) {
    std::lock_guard lock(mutex);
    ++cleanups;
    for (auto it = pending.begin(); it != pending.end();) {
        if ((*it)->fileContext == file) {
            HwCompleteRequest(*it, ERROR_OPERATION_ABORTED, 0);
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}

const HW_DEVICE_CALLBACKS callbacks = {Open, Dispatch, Cleanup};

}  // namespace

TESTDRV_API DWORD HwDriverEntry(LPCSTR) {
    std::lock_guard lock(mutex);
    ++entries;
    device = HwCreateDevice("\\\\.\\HWTEST", &callbacks, nullptr);
    return device ? ERROR_SUCCESS : GetLastError();
}

TESTDRV_API VOID HwDriverUnload(VOID) {
    HwDeleteDevice(device);
    std::lock_guard lock(mutex);
    ++unloads;
    device = nullptr;
}

// Completes the oldest pending request; false if none.
TESTDRV_API bool HwTestCompleteOldest(DWORD error, DWORD bytes) {
    std::lock_guard lock(mutex);
    if (pending.empty()) return false;
    HW_REQUEST *request = pending.front();
    pending.erase(pending.begin());
    HwCompleteRequest(request, error, bytes);
    return true;
}

TESTDRV_API int HwTestEntries() { return entries; }
TESTDRV_API int HwTestUnloads() { return unloads; }
TESTDRV_API int HwTestCleanups() { return cleanups; }
