// Installing configured devices in one call, and the service's control.
#include <cstring>
#include <windows.h>

#include <cmath>
#include <cstdint>

#include <ktz3649_driver.h>

#include "driver.h"
#include "lab.h"

namespace sim {
namespace {

constexpr char kServiceName[] = KTZ_SERVICE_NAME;
constexpr char kServiceKey[] = KTZ_SERVICE_KEY;
constexpr char kSharedKey[] = KTZ_SHARED_KEY;
constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\" KTZ_SERVICE_NAME;

LONG SetNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value);
}

LONG SetText(HKEY key, const char *name, const char *value, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(std::strlen(value) + 1));
}

// Deletes a key with its subkeys.
void DeleteTree(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    DWORD length = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        DeleteTree(key, name);
        length = sizeof name;
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path);
}

LONG RecreateKey(const char *path, HKEY *key) {
    DeleteTree(HKEY_LOCAL_MACHINE, path);
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// Whole volts in a 16-bit signed field, truncated toward zero.
LONG Volts(float v) {
    if (!std::isfinite(v)) return 0;
    double t = std::trunc(static_cast<double>(v));
    t = t < INT32_MIN ? INT32_MIN : (t > INT32_MAX ? INT32_MAX : t);
    return static_cast<SHORT>(static_cast<int32_t>(t));
}

// The device's two keys, value for value as the library's settings writer
// stores them.
LONG WriteSettings(unsigned number, const KtzSimDeviceSettings &s) {
    char description[64];
    wsprintfA(description, "PCI-3649%s %sI/O=%xH", s.boardId == KTZSIM_PCI3649 ? "" : "L",
              s.numExpChan ? "With Exp. " : "", s.baseAddress & 0xFFFF);
    char path[128];
    HKEY key;
    wsprintfA(path, "%s" KTZ_DEVICE_SUBKEY_FORMAT, kSharedKey, static_cast<int>(number));
    LONG rc = RecreateKey(path, &key);
    if (rc != ERROR_SUCCESS) return rc;
    SetText(key, "DeviceName", description);
    SetText(key, "DriverName", "Ktz3649.dll");
    SetText(key, "KernelKey", kServiceName);
    SetNumber(key, "BoardID", s.boardId);
    RegCloseKey(key);

    wsprintfA(path, "%s" KTZ_DEVICE_SUBKEY_FORMAT, kServiceKey, static_cast<int>(number));
    rc = RecreateKey(path, &key);
    if (rc != ERROR_SUCCESS) return rc;
    SetText(key, "DeviceName", description);
    SetText(key, "DriverName", "Ktz3649.dll");
    SetText(key, "KernelKey", kServiceName);
    const struct {
        const char *name;
        unsigned value;
    } numbers[] = {
        {"BaseAddress", s.baseAddress & 0xFFFF}, {"BoardID", s.boardId},
        {"IoPortCount", s.ioPortCount & 0xFFFF}, {"AllowConflicts", s.allowConflicts & 0xFFFF},
        {"Interrupt", s.interrupt & 0xFFFF},     {"DMA", s.dma & 0xFFFF},
        {"DMABaseAddress", s.dmaBaseAddress & 0xFFFF}, {"TimerClock", s.timerClock & 0xFFFF},
        {"OnSystem", s.onSystem},                {"BusNumber", s.busNumber},
        {"SlotNumber", s.slotNumber},            {"CJCChannel", s.cjcChannel & 0xFFFF},
        {"NumExpChan", s.numExpChan & 0xFFFF},   {"DioPortMode", s.dioPortMode & 0xFFFF},
        {"FreqArea", s.freqArea & 0xFFFF},       {"PWMArea", s.pwmArea & 0xFFFF},
        {"ChanConfig", s.chanConfig & 0xFFFF},
    };
    for (const auto &n : numbers) SetNumber(key, n.name, n.value);
    for (int channel = 0; channel < 2; ++channel) {
        char name[16], text[32];
        wsprintfA(name, "AOSettings %d", channel);
        wsprintfA(text, " %5u %5ld %5ld", s.aoReference[channel] & 0xFFFF,
                  Volts(s.aoMaximum[channel]), Volts(s.aoMinimum[channel]));
        SetText(key, name, text);
    }
    RegCloseKey(key);
    return ERROR_SUCCESS;
}

// The service keys and the event-log source, written only when new.
void RegisterServiceKeys() {
    const struct {
        const char *path;
        DWORD start;
    } keys[] = {{kSharedKey, 4}, {kServiceKey, 2}};
    for (const auto &k : keys) {
        HKEY key;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, k.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
            continue;
        if (disposition == REG_CREATED_NEW_KEY) {
            SetNumber(key, "Type", 1);
            SetNumber(key, "Start", k.start);
            SetText(key, "Group", "Extended Base");
            SetNumber(key, "ErrorControl", 1);
        }
        RegCloseKey(key);
    }
    HKEY key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) == ERROR_SUCCESS) {
        if (disposition == REG_CREATED_NEW_KEY) {
            SetText(key, "EventMessageFile", "%SystemRoot%\\System32\\IoLogMsg.dll",
                    REG_EXPAND_SZ);
            SetNumber(key, "TypesSupported", 7);
        }
        RegCloseKey(key);
    }
}

LONG CreateService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return static_cast<LONG>(GetLastError());
    char windows[MAX_PATH], image[MAX_PATH + 64];
    GetWindowsDirectoryA(windows, sizeof windows);
    wsprintfA(image, "%s\\system32\\drivers\\%s.SYS", windows, kServiceName);
    SC_HANDLE service =
        CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image,
                       nullptr, nullptr, nullptr, nullptr, nullptr);
    LONG rc = service || GetLastError() == ERROR_SERVICE_EXISTS ? 0 : GetLastError();
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}

// Sends a control to the service: start (true) or stop (false).
int ControlDriver(bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return static_cast<int>(GetLastError());
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    int rc = 0;
    if (!service) {
        rc = static_cast<int>(GetLastError());
    } else {
        SERVICE_STATUS status;
        BOOL ok = start ? StartServiceA(service, 0, nullptr)
                        : ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (!ok) rc = static_cast<int>(GetLastError());
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return rc;
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimDefaultSettings(int card, KtzSimDeviceSettings *settings) {
    KtzSimCard c;
    if (!settings || KtzSimGetCard(card, &c) != 0) return ERROR_INVALID_PARAMETER;
    *settings = KtzSimDeviceSettings{};
    settings->boardId = c.boardId;
    settings->baseAddress = c.baseAddress;
    settings->interrupt = c.interrupt;
    settings->timerClock = 1;
    settings->ioPortCount = 32;
    settings->allowConflicts = 0;
    settings->cjcChannel = 0xFFFF;
    for (int channel = 0; channel < 2; ++channel) {
        settings->aoReference[channel] = 0;
        settings->aoMaximum[channel] = 5.0f;
        settings->aoMinimum[channel] = 0.0f;
    }
    settings->busNumber = c.bus;
    settings->slotNumber = c.slot;
    settings->onSystem = 1;
    settings->freqArea = 1;
    settings->pwmArea = 0;
    return 0;
}

int KtzSimInstallDevice(unsigned deviceNumber, int card, const KtzSimDeviceSettings *settings) {
    KtzSimDeviceSettings defaults;
    if (!settings) {
        if (int rc = KtzSimDefaultSettings(card, &defaults)) return rc;
        settings = &defaults;
    } else if (card < 0 || card >= KtzSimCardCount()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (LONG rc = WriteSettings(deviceNumber, *settings)) return rc;
    RegisterServiceKeys();
    if (LONG rc = CreateService()) return rc;
    if (KtzSimDriverRunning()) {
        if (int rc = KtzSimStopDriver()) return rc;
    }
    return KtzSimStartDriver();
}

int KtzSimStartDriver(void) { return ControlDriver(true); }

int KtzSimStopDriver(void) { return ControlDriver(false); }

}  // extern "C"
