// hostwin internals shared between its source files.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace hostwin {

// ---- handle table ---------------------------------------------------------

enum class ObjectKind { Event, Thread, File };

struct Object {
    explicit Object(ObjectKind k) : kind(k) {}
    virtual ~Object() = default;
    const ObjectKind kind;
};

// Waitable objects share one lock and one condition: simple, and waits on
// several objects of different kinds need no more.
struct Waitable : Object {
    using Object::Object;
    bool signaled = false;    // guarded by WaitMutex()
    bool manualReset = true;  // auto-reset objects clear when a wait takes them
};

std::mutex &WaitMutex();
std::condition_variable &WaitCondition();

HANDLE InsertHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle, ObjectKind kind) {
    auto object = LookupHandle(handle);
    if (!object || object->kind != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
}
// Removes the handle; the object lives on while other handles or owners hold it.
std::shared_ptr<Object> RemoveHandle(HANDLE handle);

// ---- last error ------------------------------------------------------------

// Sets the thread's last error and returns the value given as result, for
// one-line failure returns.
template <class R>
R Fail(DWORD error, R result) {
    SetLastError(error);
    return result;
}

// ---- events ------------------------------------------------------------------

// Signals a waitable object's event (used for OVERLAPPED completion).
void SetEventHandle(HANDLE event);

// ---- boot ----------------------------------------------------------------------

// Boots the host on first use (registry load, automatic services). Returns
// at once on the thread that is booting, so boot-time work can use hostwin.
void EnsureBooted();

namespace registry {
// Empties the registry tree (and saves the empty tree if a file is set).
void Clear();
// See HwSetRegistryFile.
DWORD SetFile(const char *path);
const char *File();
const char *FileError();
}  // namespace registry

namespace services {
// Starts every kernel-driver service whose Start value is 0, 1 or 2.
void StartAutomatic();
// Stops every running service and forgets the service database.
void Shutdown();
}  // namespace services

namespace devices {
// Case-insensitive comparison used for device paths and registry names.
bool EqualNoCase(const std::string &a, const std::string &b);
}  // namespace devices

}  // namespace hostwin
