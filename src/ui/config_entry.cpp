// The configuration entry points: DeviceConfig decides between the settings
// dialog of a device with a card and the choice of an unconfigured card.
#include <cstring>

#include "config/registry_paths.h"
#include "config/service.h"
#include "core/device.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

namespace ktz {
namespace {

KtzFoundDevice contextFoundDevice{};

// Windows NT 5 has the kernel service installed through the card's setup
// information; other systems get it temporarily for the card discovery.
bool IsNt5() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion == 5;
}

}  // namespace

KtzFoundDevice &ContextFoundDevice() { return contextFoundDevice; }

DeviceSettings *AllocSettings() {
    return static_cast<DeviceSettings *>(GlobalAlloc(GPTR, sizeof(DeviceSettings)));
}

void FreeSettings(DeviceSettings *settings) {
    if (settings) GlobalFree(settings);
}

}  // namespace ktz

using namespace ktz;

extern "C" {

LONG WINAPI DeviceConfigExt(DWORD deviceNumber, DWORD boardId, HWND parent,
                            const KtzFoundDevice *foundDevice, DWORD) {
    if (!foundDevice) return -1;
    SetCurrentDeviceNumber(deviceNumber);
    SetCurrentBoardId(boardId);
    if (foundDevice != &contextFoundDevice)
        std::memcpy(&contextFoundDevice, foundDevice, sizeof contextFoundDevice);
    return static_cast<LONG>(DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_DEVICE_SETTING),
                                             parent, ConfigDlgProc3649, 0));
}

LONG WINAPI DeviceConfig(DWORD deviceNumber, DWORD boardId, HWND parent) {
    SetCurrentDeviceNumber(deviceNumber);
    SetCurrentBoardId(boardId);
    DWORD busAndSlot[2] = {contextFoundDevice.BusNumber, contextFoundDevice.SlotNumber};
    DWORD configured = IsDeviceConfigured(deviceNumber, busAndSlot);
    contextFoundDevice.BusNumber = busAndSlot[0];
    contextFoundDevice.SlotNumber = busAndSlot[1];
    if (configured & 0xFF) {
        DeviceConfigExt(deviceNumber, boardId, parent, &contextFoundDevice, 0);
        return 0;
    }

    bool nt5 = IsNt5();
    bool temporary = !nt5 && (TemporaryServiceInstall(kServiceName, kServiceKey) & 0xFF);
    INT_PTR found = DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_FOUND_DEVICE), parent,
                                    ConfigProcFoundDev, 0);
    if (temporary) RemoveService(kServiceName);
    if (found == 1) return DeviceConfigExt(deviceNumber, boardId, parent, &contextFoundDevice, 0);
    if (found == -1)
        return static_cast<LONG>(DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_WARNING),
                                                 parent, WarningDlgProc, 0));
    return static_cast<LONG>(found);
}

}  // extern "C"
