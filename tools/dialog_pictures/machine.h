// The machine the pictures show, kept in the Wine prefix's registry: the
// cards the kernel service found and one configured device.
#pragma once

#include <windows.h>

#include <ktz3649_driver.h>

namespace pictures {

// What a configured device has stored in its settings key.
struct StoredDevice {
    DWORD boardId;
    WORD baseAddress;
    WORD interrupt;
    DWORD bus;
    DWORD slot;
    WORD chanConfig;
    WORD dioPortMode;
    WORD freqArea;
    WORD pwmArea;
    struct {
        WORD reference;  // 0 internal, 1 external unipolar, 2 external bipolar
        int maximum;     // volts
        int minimum;
    } outputs[2];
};

// Removes the service key and the device list key with everything in them.
bool ResetMachine();
// Records a card as the kernel service does, as value FoundDevice<index>.
bool AddFoundDevice(DWORD index, const KtzFoundDevice &card);
// Stores a device's settings as the settings dialog's OK does.
bool InstallDevice(DWORD number, const StoredDevice &device);

// Whether HKEY_LOCAL_MACHINE holds this key.
bool KeyExists(const char *path);
// Whether the service control manager knows this service.
bool ServiceExists(const char *name);

}  // namespace pictures
