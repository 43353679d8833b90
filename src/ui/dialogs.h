// The configuration user interface: the configuration context shared by the
// entry points and the dialogs, and the internal dialog procedures.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>

#include <ktz3649.h>

#include "config/settings.h"

namespace ktz {

// The found-device record of the configuration context: the card that the
// settings dialog assigns to a device without one. (The context's device
// number and default board ID are the current values of core/device.h.)
KtzFoundDevice &ContextFoundDevice();

// The cards not yet used by a device, from the kernel service's FoundDevice
// values: stores a new list (a DWORD count, then the records; a fixed global
// block) at *list and returns the count; 0 leaves *list as it was.
DWORD EnumFoundDevices(LPVOID *list);
// Entry `index` of such a list.
KtzFoundDevice *FoundDeviceEntry(LPVOID list, DWORD index);

// The options dialog (107) edits `copy` and, on OK, copies it over `working`.
struct OptionsEdit {
    DeviceSettings *working;
    DeviceSettings *copy;
    bool connected;  // the XTBD-5203 is connected to channels 0-15
};

// Dialog procedures of the warning (103) and the options (107) dialogs and
// of the property page (102).
INT_PTR CALLBACK WarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DevicePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The device key ("Device" + number) whose bus and slot are those of the
// device manager's device; its number and board ID go to the outputs.
BOOL FindDeviceByBusSlot(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                         DWORD *deviceNumber, DWORD *boardId);

// The property page's debug trace: printf-style lines that go nowhere
// unless a sink is set (tests set one to follow the provider's steps).
using DebugTraceSink = void (*)(const char *line);
void SetDebugTraceSink(DebugTraceSink sink);

// Settings records of the dialogs: zero-filled fixed global blocks.
DeviceSettings *AllocSettings();
void FreeSettings(DeviceSettings *settings);

}  // namespace ktz
