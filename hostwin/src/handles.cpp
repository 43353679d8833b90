// The process's handle table and the thread's last error.
#include "internal.h"

#include <hostwin.h>

#include <unordered_map>

namespace hostwin {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
    // Handle values are multiples of 4 as on Windows, and never reused, so
    // that a stale handle fails instead of reaching a newer object.
    uintptr_t next = 0x40;
};

HandleTable &Table() {
    static auto *table = new HandleTable;  // outlives static destructors
    return *table;
}

thread_local DWORD lastError = 0;

}  // namespace

HANDLE InsertHandle(std::shared_ptr<Object> object) {
    auto &table = Table();
    std::lock_guard lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> LookupHandle(HANDLE handle) {
    auto &table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Object> RemoveHandle(HANDLE handle) {
    auto &table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) return nullptr;
    auto object = std::move(it->second);
    table.objects.erase(it);
    return object;
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

DWORD WINAPI GetLastError(VOID) { return lastError; }

VOID WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

BOOL WINAPI CloseHandle(HANDLE hObject) {
    // The object itself goes when its last owner lets go (a device file's
    // cleanup runs in its destructor, outside the table's lock).
    auto object = RemoveHandle(hObject);
    if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
    object.reset();
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess(VOID) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI GetProcessHandleCount(HANDLE hProcess, PDWORD pdwHandleCount) {
    // The one process there is: its own pseudo handle.
    if (hProcess != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!pdwHandleCount) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *pdwHandleCount = HwOpenHandleCount();
    return TRUE;
}

DWORD WINAPI HwOpenHandleCount(VOID) {
    auto &table = Table();
    std::lock_guard lock(table.mutex);
    return static_cast<DWORD>(table.objects.size());
}

}  // extern "C"
