// Events, waits and Sleep.
#include "internal.h"

#include <chrono>
#include <thread>
#include <unordered_map>
#include <vector>

namespace hostwin {
namespace {

struct Event : Waitable {
    Event() : Waitable(ObjectKind::Event) {}
    ~Event() override;
    std::string name;
};

// Named events: one object per name while any handle (or owner) holds it.
struct Namespace {
    std::mutex mutex;
    std::unordered_map<std::string, std::weak_ptr<Event>> events;
};

Namespace &Names() {
    static auto *names = new Namespace;
    return *names;
}

Event::~Event() {
    if (name.empty()) return;
    auto &names = Names();
    std::lock_guard lock(names.mutex);
    auto it = names.events.find(name);
    if (it != names.events.end() && it->second.expired()) names.events.erase(it);
}

bool IsWaitable(const Object &object) {
    return object.kind == ObjectKind::Event || object.kind == ObjectKind::Thread;
}

}  // namespace

std::mutex &WaitMutex() {
    static auto *mutex = new std::mutex;
    return *mutex;
}

std::condition_variable &WaitCondition() {
    static auto *condition = new std::condition_variable;
    return *condition;
}

void SetEventHandle(HANDLE event) {
    auto object = LookupHandleAs<Event>(event, ObjectKind::Event);
    if (!object) return;
    std::lock_guard lock(WaitMutex());
    object->signaled = true;
    WaitCondition().notify_all();
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
    std::shared_ptr<Event> event;
    bool existed = false;
    if (lpName && *lpName) {
        auto &names = Names();
        std::lock_guard lock(names.mutex);
        auto &slot = names.events[lpName];
        event = slot.lock();
        if (event) {
            existed = true;
        } else {
            event = std::make_shared<Event>();
            event->name = lpName;
            slot = event;
        }
    } else {
        event = std::make_shared<Event>();
    }
    if (!existed) {
        std::lock_guard lock(WaitMutex());
        event->manualReset = bManualReset != FALSE;
        event->signaled = bInitialState != FALSE;
    }
    HANDLE handle = InsertHandle(event);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI OpenEventA(DWORD, BOOL, LPCSTR lpName) {
    EnsureBooted();
    if (!lpName || !*lpName) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    std::shared_ptr<Event> event;
    {
        auto &names = Names();
        std::lock_guard lock(names.mutex);
        auto it = names.events.find(lpName);
        if (it != names.events.end()) event = it->second.lock();
    }
    if (!event) return Fail<HANDLE>(ERROR_FILE_NOT_FOUND, nullptr);
    return InsertHandle(event);
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    auto event = LookupHandleAs<Event>(hEvent, ObjectKind::Event);
    if (!event) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard lock(WaitMutex());
    event->signaled = true;
    WaitCondition().notify_all();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    auto event = LookupHandleAs<Event>(hEvent, ObjectKind::Event);
    if (!event) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard lock(WaitMutex());
    event->signaled = false;
    return TRUE;
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, CONST HANDLE *lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles)
        return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    // Resolve every handle first: a null, closed or non-waitable handle
    // fails the whole wait, as on Windows.
    std::vector<std::shared_ptr<Waitable>> objects;
    objects.reserve(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = LookupHandle(lpHandles[i]);
        if (!object || !IsWaitable(*object)) return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        objects.push_back(std::static_pointer_cast<Waitable>(object));
    }

    auto ready = [&]() -> DWORD {
        if (bWaitAll) {
            for (auto &o : objects)
                if (!o->signaled) return WAIT_TIMEOUT;
            for (auto &o : objects)
                if (!o->manualReset) o->signaled = false;
            return WAIT_OBJECT_0;
        }
        for (DWORD i = 0; i < nCount; ++i) {
            if (objects[i]->signaled) {
                if (!objects[i]->manualReset) objects[i]->signaled = false;
                return WAIT_OBJECT_0 + i;  // the lowest signalled index wins
            }
        }
        return WAIT_TIMEOUT;
    };

    std::unique_lock lock(WaitMutex());
    DWORD result = ready();
    if (result != WAIT_TIMEOUT || dwMilliseconds == 0) return result;
    if (dwMilliseconds == INFINITE) {
        WaitCondition().wait(lock, [&] { return (result = ready()) != WAIT_TIMEOUT; });
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    WaitCondition().wait_until(lock, deadline, [&] { return (result = ready()) != WAIT_TIMEOUT; });
    return result;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

VOID WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

}  // extern "C"
