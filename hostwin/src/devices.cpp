// Device objects published by drivers, and the device I/O that reaches them.
#include "internal.h"

#include <hostwin_driver.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <shared_mutex>
#include <vector>

struct HW_DEVICE__ {};  // opaque to drivers; the real object is Device below

namespace hostwin {
namespace {

struct File;

struct Device : HW_DEVICE__ {
    std::string name;  // the path after "\\.\"
    HW_DEVICE_CALLBACKS callbacks{};
    LPVOID context = nullptr;
    std::shared_mutex gate;  // opens hold it shared, deletion exclusive
    bool deleted = false;    // guarded by gate
    std::vector<std::weak_ptr<File>> files;  // guarded by gate
};

struct File : Object {
    File() : Object(ObjectKind::File) {}
    ~File() override { Cleanup(); }

    // Runs the driver's cleanup once; waits for requests in flight.
    void Cleanup() {
        std::unique_lock lock(gate);
        if (cleanedUp) return;
        cleanedUp = true;
        if (device->callbacks.cleanup) device->callbacks.cleanup(fileContext);
    }

    std::shared_ptr<Device> device;
    LPVOID fileContext = nullptr;
    bool overlapped = false;
    uint64_t serial = 0;  // names the open for CancelIo, never reused
    std::shared_mutex gate;  // requests hold it shared, cleanup exclusive
    bool cleanedUp = false;  // guarded by gate
};

struct LessNoCase {
    bool operator()(const std::string &a, const std::string &b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](unsigned char x, unsigned char y) {
                                                return std::tolower(x) < std::tolower(y);
                                            });
    }
};

struct DeviceTable {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Device>, LessNoCase> byName;
};

DeviceTable &Devices() {
    static auto *table = new DeviceTable;
    return *table;
}

constexpr char kDevicePrefix[] = "\\\\.\\";

// A request the driver kept. The OVERLAPPED (or the synchronous waiter)
// hears of its completion.
struct Pending {
    HW_REQUEST request{};
    LPOVERLAPPED overlapped = nullptr;
    // For a caller without an OVERLAPPED: the thread waits here.
    bool done = false;  // guarded by WaitMutex()
    DWORD error = 0;
    DWORD bytes = 0;
    // For one with an OVERLAPPED, what CancelIo looks for: the open and the
    // sending thread. While CancelIo asks the driver about it, a completion
    // leaves it to CancelIo to free. Guarded by Outstanding().mutex.
    uint64_t file = 0;
    DWORD thread = 0;
    int cancelling = 0;
    bool completed = false;
};

// The overlapped requests sent and not yet completed (or completed while
// CancelIo held them).
struct OutstandingRequests {
    std::mutex mutex;
    std::vector<Pending *> list;
};

OutstandingRequests &Outstanding() {
    static auto *outstanding = new OutstandingRequests;
    return *outstanding;
}

// The lock is held.
void Forget(OutstandingRequests &outstanding, Pending *pending) {
    std::erase(outstanding.list, pending);
    delete pending;
}

std::atomic<uint64_t> nextFileSerial{1};

// OVERLAPPED.Internal holds 0 for success, STATUS_PENDING while pending,
// and the Win32 error with the top bits set for a failure (so that no error
// number can be mistaken for STATUS_PENDING).
constexpr ULONG_PTR kFailureBits = 0xC0000000u;

// The status words change under the wait lock (the kernel's own writes, on
// Windows), before the event tells that they did.
void FinishOverlapped(LPOVERLAPPED overlapped, DWORD error, DWORD bytes) {
    {
        std::lock_guard lock(WaitMutex());
        overlapped->InternalHigh = bytes;
        overlapped->Internal = error == ERROR_SUCCESS ? 0 : (kFailureBits | error);
    }
    if (overlapped->hEvent) SetEventHandle(overlapped->hEvent);
}

// The status words of an OVERLAPPED: Internal, InternalHigh.
std::pair<ULONG_PTR, ULONG_PTR> OverlappedStatus(LPOVERLAPPED overlapped) {
    std::lock_guard lock(WaitMutex());
    return {overlapped->Internal, overlapped->InternalHigh};
}

// Sends a request to the file's driver; the common path of DeviceIoControl and ReadFile.
BOOL Send(HANDLE handle, HW_REQUEST request, LPDWORD bytesOut, LPOVERLAPPED overlapped) {
    auto file = LookupHandleAs<File>(handle, ObjectKind::File);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);

    auto *pending = new Pending;
    pending->request = request;
    pending->request.overlapped = overlapped != nullptr;
    pending->request.fileContext = file->fileContext;
    pending->overlapped = overlapped;
    auto &outstanding = Outstanding();
    if (overlapped) {
        overlapped->Internal = STATUS_PENDING;
        overlapped->InternalHigh = 0;
        if (overlapped->hEvent) ResetEvent(overlapped->hEvent);
        // Known before the driver sees it: it may complete it from another
        // thread before its dispatch returns.
        pending->file = file->serial;
        pending->thread = GetCurrentThreadId();
        std::lock_guard lock(outstanding.mutex);
        outstanding.list.push_back(pending);
    }

    DWORD bytes = 0;
    DWORD error;
    {
        std::shared_lock lock(file->gate);
        if (file->cleanedUp)
            error = ERROR_DEVICE_REMOVED;
        else
            error = file->device->callbacks.dispatch(file->fileContext, &pending->request, &bytes);
    }

    if (error == ERROR_IO_PENDING) {
        if (overlapped) return Fail(ERROR_IO_PENDING, FALSE);  // completion frees `pending`
        std::unique_lock lock(WaitMutex());
        WaitCondition().wait(lock, [&] { return pending->done; });
        error = pending->error;
        bytes = pending->bytes;
        lock.unlock();
        delete pending;
    } else if (overlapped) {
        {
            std::lock_guard lock(outstanding.mutex);
            Forget(outstanding, pending);
        }
        FinishOverlapped(overlapped, error, bytes);
    } else {
        delete pending;
    }
    if (error != ERROR_SUCCESS) return Fail(error, FALSE);
    if (bytesOut) *bytesOut = bytes;
    return TRUE;
}

}  // namespace

namespace devices {
bool EqualNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}
}  // namespace devices

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HW_DEVICE WINAPI HwCreateDevice(LPCSTR path, const HW_DEVICE_CALLBACKS *callbacks,
                                LPVOID deviceContext) {
    if (!path || !callbacks || !callbacks->dispatch ||
        std::strncmp(path, kDevicePrefix, sizeof kDevicePrefix - 1) != 0 ||
        !path[sizeof kDevicePrefix - 1])
        return Fail<HW_DEVICE>(ERROR_INVALID_PARAMETER, nullptr);
    auto device = std::make_shared<Device>();
    device->name = path + sizeof kDevicePrefix - 1;
    device->callbacks = *callbacks;
    device->context = deviceContext;
    auto &table = Devices();
    std::lock_guard lock(table.mutex);
    auto [it, inserted] = table.byName.emplace(device->name, device);
    if (!inserted) return Fail<HW_DEVICE>(ERROR_ALREADY_EXISTS, nullptr);
    return device.get();
}

VOID WINAPI HwDeleteDevice(HW_DEVICE handle) {
    if (!handle) return;
    std::shared_ptr<Device> device;
    {
        auto &table = Devices();
        std::lock_guard lock(table.mutex);
        for (auto it = table.byName.begin(); it != table.byName.end(); ++it) {
            if (it->second.get() == handle) {
                device = it->second;
                table.byName.erase(it);
                break;
            }
        }
    }
    if (!device) return;
    std::vector<std::weak_ptr<File>> files;
    {
        std::unique_lock lock(device->gate);
        device->deleted = true;
        files.swap(device->files);
    }
    for (auto &weak : files)
        if (auto file = weak.lock()) file->Cleanup();
}

VOID WINAPI HwCompleteRequest(HW_REQUEST *request, DWORD error, DWORD bytes) {
    auto *pending = reinterpret_cast<Pending *>(reinterpret_cast<char *>(request) -
                                                offsetof(Pending, request));
    if (pending->overlapped) {
        auto &outstanding = Outstanding();
        std::lock_guard lock(outstanding.mutex);
        FinishOverlapped(pending->overlapped, error, bytes);
        pending->completed = true;
        if (pending->cancelling == 0) Forget(outstanding, pending);
        return;
    }
    std::lock_guard lock(WaitMutex());
    pending->error = error;
    pending->bytes = bytes;
    pending->done = true;
    WaitCondition().notify_all();
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    EnsureBooted();
    if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (std::strncmp(lpFileName, kDevicePrefix, sizeof kDevicePrefix - 1) != 0)
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);  // only device objects here
    if (dwCreationDisposition != OPEN_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    std::shared_ptr<Device> device;
    {
        auto &table = Devices();
        std::lock_guard lock(table.mutex);
        auto it = table.byName.find(lpFileName + sizeof kDevicePrefix - 1);
        if (it != table.byName.end()) device = it->second;
    }
    if (!device) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

    std::shared_lock lock(device->gate);
    if (device->deleted) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    LPVOID fileContext = nullptr;
    if (device->callbacks.open) {
        DWORD error = device->callbacks.open(device->context, &fileContext);
        if (error != ERROR_SUCCESS) return Fail(error, INVALID_HANDLE_VALUE);
    }
    auto file = std::make_shared<File>();
    file->device = device;
    file->fileContext = fileContext;
    file->serial = nextFileSerial++;
    file->overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    lock.unlock();
    {
        std::unique_lock exclusive(device->gate);
        if (device->deleted) {
            exclusive.unlock();
            return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);  // ~File cleans up
        }
        std::erase_if(device->files, [](const std::weak_ptr<File> &f) { return f.expired(); });
        device->files.push_back(file);
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(file);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    HW_REQUEST request{};
    request.kind = HW_REQUEST_DEVICE_CONTROL;
    request.code = dwIoControlCode;
    request.inBuffer = lpInBuffer;
    request.inSize = nInBufferSize;
    request.outBuffer = lpOutBuffer;
    request.outSize = nOutBufferSize;
    return Send(hDevice, request, lpBytesReturned, lpOverlapped);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    HW_REQUEST request{};
    request.kind = HW_REQUEST_READ;
    request.outBuffer = lpBuffer;
    request.outSize = nNumberOfBytesToRead;
    return Send(hFile, request, lpNumberOfBytesRead, lpOverlapped);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
    auto file = LookupHandleAs<File>(hFile, ObjectKind::File);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    auto cancel = file->device->callbacks.cancel;
    if (!cancel) return TRUE;  // no cancel routine: the requests stay pending
    // The calling thread's requests on this open, held while the driver hears of them.
    auto &outstanding = Outstanding();
    std::vector<Pending *> mine;
    {
        std::lock_guard lock(outstanding.mutex);
        for (Pending *pending : outstanding.list) {
            if (pending->file == file->serial && pending->thread == GetCurrentThreadId() &&
                !pending->completed) {
                ++pending->cancelling;
                mine.push_back(pending);
            }
        }
    }
    {
        std::shared_lock lock(file->gate);
        if (!file->cleanedUp)
            for (Pending *pending : mine) cancel(file->fileContext, &pending->request);
    }
    std::lock_guard lock(outstanding.mutex);
    for (Pending *pending : mine)
        if (--pending->cancelling == 0 && pending->completed) Forget(outstanding, pending);
    return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    if (!lpOverlapped) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // The file handle matters only for a wait: a completed request is
    // answered from the OVERLAPPED alone, even after the handle was closed.
    if (OverlappedStatus(lpOverlapped).first == STATUS_PENDING) {
        if (!bWait) return Fail(ERROR_IO_INCOMPLETE, FALSE);
        if (!LookupHandleAs<File>(hFile, ObjectKind::File)) return Fail(ERROR_INVALID_HANDLE, FALSE);
        if (!lpOverlapped->hEvent) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        if (WaitForSingleObject(lpOverlapped->hEvent, INFINITE) != WAIT_OBJECT_0) return FALSE;
    }
    auto [status, bytes] = OverlappedStatus(lpOverlapped);
    if (lpNumberOfBytesTransferred) *lpNumberOfBytesTransferred = static_cast<DWORD>(bytes);
    if (status != 0) return Fail(static_cast<DWORD>(status & ~kFailureBits), FALSE);
    return TRUE;
}

}  // extern "C"
