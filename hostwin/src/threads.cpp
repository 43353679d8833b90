// Threads: waitable, with an exit code; never killed from outside.
#include "internal.h"

#include <atomic>
#include <thread>

namespace hostwin {
namespace {

struct Thread : Waitable {
    Thread() : Waitable(ObjectKind::Thread) {}
    DWORD exitCode = STILL_ACTIVE;  // guarded by WaitMutex()
    DWORD id = 0;
};

std::atomic<DWORD> nextThreadId{0x100};
thread_local DWORD currentThreadId = 0;

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    if (dwCreationFlags & CREATE_SUSPENDED) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    auto thread = std::make_shared<Thread>();
    thread->id = nextThreadId.fetch_add(4);
    HANDLE handle = InsertHandle(thread);
    try {
        // The running thread owns a reference, so its object outlives the
        // handle when the creator closes it early.
        std::thread([thread, lpStartAddress, lpParameter] {
            currentThreadId = thread->id;
            DWORD code = lpStartAddress(lpParameter);
            std::lock_guard lock(WaitMutex());
            thread->exitCode = code;
            thread->signaled = true;
            WaitCondition().notify_all();
        }).detach();
    } catch (const std::system_error &) {
        RemoveHandle(handle);
        return Fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    if (lpThreadId) *lpThreadId = thread->id;
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = LookupHandleAs<Thread>(hThread, ObjectKind::Thread);
    if (!thread) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpExitCode) return Fail(ERROR_NOACCESS, FALSE);
    std::lock_guard lock(WaitMutex());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(VOID) {
    if (currentThreadId == 0) currentThreadId = nextThreadId.fetch_add(4);
    return currentThreadId;
}

}  // extern "C"
