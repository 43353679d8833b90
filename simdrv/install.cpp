// Installing configured devices in one call: their settings as the
// library's settings writer stores them, then the service (platform.h).
#include <windows.h>

#include <cmath>
#include <cstdint>

#include <ktz3649_driver.h>
#include <ktz3649sim.h>

#include "platform.h"
#include "registry_values.h"

namespace sim {
namespace {

constexpr char kServiceName[] = KTZ_SERVICE_NAME;
constexpr char kServiceKey[] = KTZ_SERVICE_KEY;
constexpr char kSharedKey[] = KTZ_SHARED_KEY;

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
    return RegisterAndRestartDriver();
}

}  // extern "C"
