// Opening and closing devices, the open-device list, the way every
// operation reaches a record, and the library's process-wide values.
#include "core/device.h"

#include <ktz3649_driver.h>

#include <atomic>
#include <mutex>
#include <new>

#include "config/registry_paths.h"
#include "core/card_registers.h"
#include "core/kernel.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz {
namespace {

// The open-device list, in order of first open. Opening and closing are
// serialised by the application; the lock only keeps the list consistent
// for the handle checks that run on other threads.
std::mutex listMutex;
DeviceRecord *listHead = nullptr;

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

// The record of an open device, or null when the handle is none (null,
// closed or never opened).
DeviceRecord *FindListed(KTZHANDLE handle) {
    if (!handle) return nullptr;
    std::lock_guard lock(listMutex);
    for (DeviceRecord *d = listHead; d; d = d->next)
        if (reinterpret_cast<KTZHANDLE>(d) == handle) return d;
    return nullptr;
}

}  // namespace

DeviceUse::DeviceUse(KTZHANDLE handle, BoardCheck check) {
    DeviceRecord *device = FindListed(handle);
    if (!device) {
        refusal_ = Bare(KtzErrInvalidHandle);
        return;
    }
    if (check == BoardCheck::Known && !device->IsKnownBoard()) {
        refusal_ = DeviceError(*device, KtzErrUnsupportedBoard);
        return;
    }
    if (check == BoardCheck::NotPci3649L && device->settings.BoardID == kBoardPci3649L) {
        refusal_ = DeviceError(*device, KtzErrNotSupported);
        return;
    }
    device_ = device;
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
    // The close takes no use of the record: the last one releases it.
    DeviceRecord *device = FindListed(*handleVar);
    if (!device) return Bare(KtzErrInvalidHandle);

    events::Close(*device);
    if (!KernelRequest(*device, KTZ_IOCTL_CLOSE, nullptr, 0, nullptr, 0))
        return DeviceError(*device, KtzErrKernelRequest);

    if (device->openCount > 1) {
        --device->openCount;
    } else {
        // The last close: end everything that still uses the record first.
        fao::Release(*device);
        fai::Release(*device);
        counter::Release(*device);
        events::Close(*device);
        Unlink(device);
        ReleaseRecord(device);
    }
    *handleVar = 0;
    return kSuccess;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
    moduleHandle = module;
    return TRUE;
}

}  // extern "C"
