// The stored configuration of one device and its registry reader and writer.
#pragma once

#include <windows.h>

namespace ktz {

// What an expansion board contributes to one analog input channel.
struct ExpansionEntry {
    DWORD boardType;  // 0 none, 262 the XTBD-5203
    WORD mark;        // 1 when assigned by connecting the board
    FLOAT gain;
    WORD reserved;
};
static_assert(sizeof(ExpansionEntry) == 16);

// Range and reference of one analog output channel.
struct AOSettingsEntry {
    WORD referenceSource;  // 0 internal, 1 external unipolar, 2 external bipolar
    FLOAT maximum;         // volts of code 4096
    FLOAT minimum;         // volts of code 0
    FLOAT secondMaximum;   // an alternative range, used when above 0
    FLOAT secondMinimum;
};
static_assert(sizeof(AOSettingsEntry) == 20);

constexpr int kExpansionEntries = 16;
constexpr int kAOSettingsEntries = 32;
constexpr int kStoredAOEntries = 2;

// Fields in the order of the stored layout; names follow the registry values.
struct DeviceSettings {
    DWORD BoardID;
    WORD BaseAddress;
    WORD DMABaseAddress;
    WORD Interrupt;
    WORD DMA;
    WORD TimerClock;
    WORD IoPortCount;
    WORD AllowConflicts;
    WORD ChanConfig;
    WORD NumExpChan;
    WORD CJCChannel;
    ExpansionEntry expansion[kExpansionEntries];
    AOSettingsEntry aoSettings[kAOSettingsEntries];
    DWORD BusNumber;
    DWORD SlotNumber;
    DWORD OnSystem;
    WORD DioPortMode;
    WORD FreqArea;
    WORD PWMArea;
};

// Reads the settings of a device; 0 on success, 1 on failure (the fields
// read before the failure and the defaults stay in the record).
DWORD ReadDeviceSettings(DWORD deviceNumber, DeviceSettings *settings);

// Writes the settings for the current device number; 0 or 1.
DWORD WriteDeviceSettings(const DeviceSettings *settings);

// Reads BusNumber and SlotNumber of a device into out[0] and out[1]; the
// low byte of the result is 1 when both were read, else 0.
DWORD IsDeviceConfigured(DWORD deviceNumber, DWORD out[2]);

// Deletes a key with all its subkeys; 0 or a system error code
// (ERROR_BADKEY when the path is null or empty).
DWORD DeleteKeyTree(HKEY root, LPCSTR path);

// The description stored as DeviceName, e.g. "PCI-3649 With Exp. I/O=e000H".
void DescribeDevice(const DeviceSettings &settings, char *text, size_t size);

}  // namespace ktz
