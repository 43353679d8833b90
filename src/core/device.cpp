// Opening and closing devices, the open-device list, the way every
// operation reaches a record, and the library's process-wide values.
#include "core/device.h"

#include <ktz3649_driver.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

#include "config/registry_paths.h"
#include "core/card_registers.h"
#include "core/kernel.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz {
namespace {

// The open-device list, in order of first open, and the lifetime fields of
// its records (users, closing, closeEvent). Operations take and drop their
// uses under the lock; the last close waits on `usesEnded` for those in
// flight.
std::mutex listMutex;
std::condition_variable usesEnded;
DeviceRecord *listHead = nullptr;

// DeviceOpen and DeviceClose run one at a time. The application serialises
// them already; this keeps a slip from releasing a record that another
// open or close is working on. No operation opens or closes a device, so a
// close that waits for the operations in flight holds it safely.
std::mutex openCloseMutex;

std::atomic<DWORD> currentDeviceNumber{0};
std::atomic<DWORD> currentBoardId{0};
std::atomic<HINSTANCE> moduleHandle{nullptr};

DeviceRecord *FindByNumber(DWORD deviceNumber) {
    std::lock_guard lock(listMutex);
    for (DeviceRecord *d = listHead; d; d = d->next)
        if (d->deviceNumber == deviceNumber) return d;
    return nullptr;
}

void Append(DeviceRecord *device) {
    std::lock_guard lock(listMutex);
    DeviceRecord **link = &listHead;
    while (*link) link = &(*link)->next;
    *link = device;
}

void Unlink(DeviceRecord *device) {
    std::lock_guard lock(listMutex);
    for (DeviceRecord **link = &listHead; *link; link = &(*link)->next) {
        if (*link == device) {
            *link = device->next;
            return;
        }
    }
}

DeviceRecord *CreateRecord(DWORD deviceNumber, const DeviceSettings &settings) {
    HGLOBAL block = GlobalAlloc(GPTR, sizeof(DeviceRecord));
    if (!block) return nullptr;
    auto *device = new (block) DeviceRecord{};
    device->settings = settings;
    device->deviceNumber = deviceNumber;
    device->memoryHandle = block;
    device->openCount = 1;
    return device;
}

void ReleaseRecord(DeviceRecord *device) {
    if (device->kernelHandle) CloseHandle(device->kernelHandle);
    if (device->closeEvent) CloseHandle(device->closeEvent);
    HGLOBAL block = device->memoryHandle;
    device->~DeviceRecord();
    GlobalFree(block);
}

// The path of the kernel driver's device object, from the MapEntry value
// named after the device number.
bool ReadDevicePath(DWORD deviceNumber, char (&path)[1025]) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMapEntryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char name[16];
    wsprintfA(name, "%u", deviceNumber);
    DWORD size = sizeof path - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// The record of an open device whose last close has not begun, or null
// when the handle is none (null, closed or never opened). The lock is held.
DeviceRecord *FindListedLocked(KTZHANDLE handle) {
    if (!handle) return nullptr;
    for (DeviceRecord *d = listHead; d; d = d->next)
        if (reinterpret_cast<KTZHANDLE>(d) == handle) return d->closing ? nullptr : d;
    return nullptr;
}

DeviceRecord *FindListed(KTZHANDLE handle) {
    std::lock_guard lock(listMutex);
    return FindListedLocked(handle);
}

void DropUse(DeviceRecord *device) {
    std::lock_guard lock(listMutex);
    if (--device->users == 0 && device->closing) usesEnded.notify_all();
}

// The last close begins: no new operation gets the record, a CheckEvent
// waiting on it wakes, and the operations in flight return.
void BeginLastClose(DeviceRecord *device) {
    std::unique_lock lock(listMutex);
    device->closing = true;
    if (device->closeEvent) SetEvent(device->closeEvent);
    usesEnded.wait(lock, [&] { return device->users == 0; });
}

// The close request was refused: the record stays open.
void CancelLastClose(DeviceRecord *device) {
    std::lock_guard lock(listMutex);
    device->closing = false;
    if (device->closeEvent) ResetEvent(device->closeEvent);
}

}  // namespace

DeviceUse::DeviceUse(KTZHANDLE handle, BoardCheck check) {
    DeviceRecord *device = nullptr;
    {
        std::lock_guard lock(listMutex);
        device = FindListedLocked(handle);
        if (device) ++device->users;
    }
    if (!device) {
        refusal_ = Bare(KtzErrInvalidHandle);
        return;
    }
    if (check == BoardCheck::Known && !device->IsKnownBoard())
        refusal_ = DeviceError(*device, KtzErrUnsupportedBoard);
    else if (check == BoardCheck::NotPci3649L && device->settings.BoardID == kBoardPci3649L)
        refusal_ = DeviceError(*device, KtzErrNotSupported);
    if (refusal_ != kSuccess) {
        DropUse(device);
        return;
    }
    device_ = device;
}

DeviceUse::~DeviceUse() {
    if (device_) DropUse(device_);
}

HANDLE CloseSignal(DeviceRecord &device) {
    std::lock_guard lock(listMutex);
    if (!device.closeEvent)
        device.closeEvent = CreateEventA(nullptr, TRUE, device.closing ? TRUE : FALSE, nullptr);
    return device.closeEvent;
}

DWORD CurrentDeviceNumber() { return currentDeviceNumber; }
void SetCurrentDeviceNumber(DWORD deviceNumber) { currentDeviceNumber = deviceNumber; }
DWORD CurrentBoardId() { return currentBoardId; }
void SetCurrentBoardId(DWORD boardId) { currentBoardId = boardId; }
HINSTANCE ModuleHandle() { return moduleHandle; }

}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI DeviceOpen(DWORD deviceNumber, KTZHANDLE *handleOut) {
    if (!handleOut) return DeviceError(deviceNumber, KtzErrInvalidParameter);
    std::lock_guard serial(openCloseMutex);
    SetCurrentDeviceNumber(deviceNumber);

    // The settings are read on every open, but only the first one keeps them.
    DeviceSettings settings{};
    if (ReadDeviceSettings(deviceNumber, &settings) != 0) return Bare(KtzErrSettingsNotFound);

    DeviceRecord *device = FindByNumber(deviceNumber);
    if (device) {
        ++device->openCount;
    } else {
        device = CreateRecord(deviceNumber, settings);
        if (!device) return DeviceError(deviceNumber, KtzErrMemoryAlloc);
        char path[1025] = {};
        if (!ReadDevicePath(deviceNumber, path)) {
            ReleaseRecord(device);
            return DeviceError(deviceNumber, KtzErrMemoryAlloc);
        }
        HANDLE kernel = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (kernel == INVALID_HANDLE_VALUE) {
            ReleaseRecord(device);
            return DeviceError(deviceNumber, KtzErrKernelOpen);
        }
        device->kernelHandle = kernel;
        Append(device);

        if (device->settings.AllowConflicts == 0) {
            if (!device->IsKnownBoard()) {
                // Nothing of a refused open stays behind: a later open starts clean.
                BeginLastClose(device);
                Unlink(device);
                ReleaseRecord(device);
                return DeviceError(deviceNumber, KtzErrUnsupportedBoard);
            }
            for (WORD offset : card::kResetRegisters) CardWriteByte(*device, offset, 0);
        }
    }
    device->counter.freqReady = 0;
    device->counter.pwmReady = 0;
    *handleOut = reinterpret_cast<KTZHANDLE>(device);
    return kSuccess;
}

DWORD WINAPI DeviceClose(KTZHANDLE *handleVar) {
    if (!handleVar) return Bare(KtzErrInvalidHandle);
    std::lock_guard serial(openCloseMutex);
    DeviceRecord *device = FindListed(*handleVar);
    if (!device) return Bare(KtzErrInvalidHandle);

    if (device->openCount > 1) {
        // Another open keeps the record; the driver hears of every close.
        events::Close(*device);
        if (!KernelRequest(*device, KTZ_IOCTL_CLOSE, nullptr, 0, nullptr, 0))
            return DeviceError(*device, KtzErrKernelRequest);
        --device->openCount;
        *handleVar = 0;
        return kSuccess;
    }

    // The last close. New calls get KtzErrInvalidHandle from here on; the
    // record goes only once the operations in flight have returned.
    BeginLastClose(device);
    // Everything that still runs on the record ends first: the driver stops
    // writing into the application's buffer and into the record (the
    // pending read and output start have completed when these return), the
    // DMA buffer goes back, the measurement threads are joined, and the
    // events close. Then the driver hears of the close.
    fao::Release(*device);
    fai::Release(*device);
    counter::Release(*device);
    events::Close(*device);
    if (!KernelRequest(*device, KTZ_IOCTL_CLOSE, nullptr, 0, nullptr, 0)) {
        CancelLastClose(device);
        return DeviceError(*device, KtzErrKernelRequest);
    }
    Unlink(device);
    ReleaseRecord(device);
    *handleVar = 0;
    return kSuccess;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
    moduleHandle = module;
    return TRUE;
}

}  // extern "C"
