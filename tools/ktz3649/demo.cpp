// The demo: a short tour of the library on a freshly set-up virtual lab.
#include <ktz3649sim.h>

#include <cstdio>

#include <cstring>
#include "panel.h"

namespace panel {
namespace {

constexpr DWORD kDevice = 0;
constexpr char kSettingsKey[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device000";

// The settings as the registry holds them, as any application can read them.
WORD ShowSettings() {
    static const char *const numbers[] = {"BoardID",    "BaseAddress", "Interrupt",
                                          "BusNumber",  "SlotNumber",  "ChanConfig",
                                          "DioPortMode", "FreqArea",   "PWMArea"};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("  (no settings in the registry)\n");
        return 0;
    }
    char text[128] = {};
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, "DeviceName", nullptr, nullptr, reinterpret_cast<BYTE *>(text),
                         &size) == ERROR_SUCCESS)
        std::printf("  %-14s %s\n", "DeviceName", text);
    DWORD base = 0;
    for (const char *name : numbers) {
        DWORD value = 0;
        size = sizeof value;
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                             &size) != ERROR_SUCCESS)
            continue;
        std::printf("  %-14s %u (0x%X)\n", name, value, value);
        if (std::string(name) == "BaseAddress") base = value;
    }
    for (int channel = 0; channel < 2; ++channel) {
        char name[16];
        std::snprintf(name, sizeof name, "AOSettings %d", channel);
        size = sizeof text - 1;
        std::memset(text, 0, sizeof text);
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size) ==
            ERROR_SUCCESS)
            std::printf("  %-14s \"%s\"\n", name, text);
    }
    RegCloseKey(key);
    return static_cast<WORD>(base);
}

}  // namespace

bool SetUpLab() {
    KtzSimReset(0);
    int card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    if (card < 0) return false;
    return KtzSimInstallDevice(kDevice, card, nullptr) == 0;
}

std::string Describe(DWORD result) {
    char text[64];
    if (result == 0)
        std::snprintf(text, sizeof text, "0 (success)");
    else if (KtzErrorDevice(result) < 0)
        std::snprintf(text, sizeof text, "%u (error %u)", result, KtzErrorNumber(result));
    else
        std::snprintf(text, sizeof text, "0x%X (device %d, error %u)", result,
                      static_cast<int>(KtzErrorDevice(result)), KtzErrorNumber(result));
    return text;
}

int RunDemo() {
    std::printf("Virtual lab: PCI-3649 on bus 0, slot 13, installed as device 0.\n");
    if (!SetUpLab()) {
        std::printf("The virtual lab could not be set up.\n");
        return 1;
    }

    KTZHANDLE handle = 0;
    DWORD rc = DeviceOpen(kDevice, &handle);
    std::printf("\nDeviceOpen(0): %s\n", Describe(rc).c_str());
    if (rc != 0) return 1;

    std::printf("\nSettings of device 0 in the registry:\n");
    WORD base = ShowSettings();

    std::printf("\nRegister round trips through the kernel driver (digital ports):\n");
    const struct {
        WORD offset;
        WORD value;
        bool word;
    } trips[] = {{0x28, 0x5A, false}, {0x29, 0xA5, false}, {0x28, 0x1234, true}};
    int failures = 0;
    for (const auto &trip : trips) {
        WORD port = static_cast<WORD>(base + trip.offset), readBack = 0;
        DWORD w = trip.word ? WritePortWord(handle, port, trip.value)
                            : WritePortByte(handle, port, static_cast<BYTE>(trip.value));
        DWORD r = trip.word ? ReadPortWord(handle, port, &readBack)
                            : ReadPortByte(handle, port, &readBack);
        bool ok = w == 0 && r == 0 && readBack == trip.value;
        failures += ok ? 0 : 1;
        std::printf("  %s port 0x%04X: wrote 0x%04X, read 0x%04X  %s\n",
                    trip.word ? "word" : "byte", port, trip.value, readBack, ok ? "ok" : "MISMATCH");
    }

    rc = DeviceClose(&handle);
    std::printf("\nDeviceClose: %s\n", Describe(rc).c_str());
    return failures == 0 && rc == 0 ? 0 : 1;
}

}  // namespace panel
