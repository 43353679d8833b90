// The machine the pictures show, kept in the Wine prefix's registry.
#include "machine.h"

#include <cstdio>

#include <ktz3649.h>

namespace pictures {
namespace {

bool SetNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const char *name, const char *text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>(lstrlenA(text) + 1)) == ERROR_SUCCESS;
}

bool DeleteTree(const char *path) {
    LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return true;
    std::fprintf(stderr, "cannot delete %s: %ld\n", path, rc);
    return false;
}

}  // namespace

bool ResetMachine() { return DeleteTree(KTZ_SERVICE_KEY) && DeleteTree(KTZ_SHARED_KEY); }

bool AddFoundDevice(DWORD index, const KtzFoundDevice &card) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KTZ_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    char name[32];
    std::snprintf(name, sizeof name, KTZ_FOUND_DEVICE_FORMAT, static_cast<int>(index));
    bool written = RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE *>(&card),
                                  sizeof card) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

bool InstallDevice(DWORD number, const StoredDevice &device) {
    char path[128], text[64];
    std::snprintf(path, sizeof path, KTZ_SERVICE_KEY KTZ_DEVICE_SUBKEY_FORMAT,
                  static_cast<int>(number));
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    std::snprintf(text, sizeof text, "%s I/O=%xH",
                  device.boardId == KTZ_BOARD_PCI3649 ? "PCI-3649" : "PCI-3649L",
                  device.baseAddress);
    bool written = SetText(key, "DeviceName", text) && SetText(key, "DriverName", "Ktz3649.dll") &&
                   SetText(key, "KernelKey", KTZ_SERVICE_NAME);
    const struct {
        const char *name;
        DWORD value;
    } numbers[] = {
        {"BaseAddress", device.baseAddress},
        {"BoardID", device.boardId},
        {"IoPortCount", 32},
        {"AllowConflicts", 1},
        {"Interrupt", device.interrupt},
        {"DMA", 0},
        {"DMABaseAddress", 0},
        {"TimerClock", 1},
        {"OnSystem", 1},
        {"BusNumber", device.bus},
        {"SlotNumber", device.slot},
        {"CJCChannel", 0xFFFF},
        {"NumExpChan", 0},
        {"DioPortMode", device.dioPortMode},
        {"FreqArea", device.freqArea},
        {"PWMArea", device.pwmArea},
        {"ChanConfig", device.chanConfig},
    };
    for (const auto &number : numbers)
        written = written && SetNumber(key, number.name, number.value);
    for (int channel = 0; channel < 2; ++channel) {
        char name[16];
        std::snprintf(name, sizeof name, "AOSettings %d", channel);
        const auto &output = device.outputs[channel];
        std::snprintf(text, sizeof text, " %5u %5d %5d", output.reference, output.maximum,
                      output.minimum);
        written = written && SetText(key, name, text);
    }
    RegCloseKey(key);
    return written;
}

bool KeyExists(const char *path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ServiceExists(const char *name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

}  // namespace pictures
