// The device settings in the registry: reader, writer and their helpers.
#include <cstring>
#include "config/settings.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "config/registry_paths.h"
#include "core/device.h"

namespace ktz {
namespace {

constexpr char kDriverName[] = "Ktz3649.dll";
constexpr char kKernelKey[] = "KTZ3649S";
// " %5u %5ld %5ld" and its terminator: 19 bytes, or up to 21 when a voltage
// needs six characters (-10000 and below, 100000 and above: a hand-edited or
// damaged value, which the writer too can store). The reader takes
// whatever the writer can write and refuses only longer strings.
constexpr DWORD kAOSettingsMaxSize = 21;

// A 32-bit registry number and the settings field it fills (one of the two
// members is set: a u32 field takes all 32 bits, a u16 field the low 16).
struct NumberField {
    const char *name;
    DWORD DeviceSettings::*dword;
    WORD DeviceSettings::*word;
};

constexpr NumberField Dword(const char *name, DWORD DeviceSettings::*field) {
    return {name, field, nullptr};
}
constexpr NumberField Word(const char *name, WORD DeviceSettings::*field) {
    return {name, nullptr, field};
}

// The order in which the reader reads the numbers; the first missing one ends it.
constexpr NumberField kReadOrder[] = {
    Word("BaseAddress", &DeviceSettings::BaseAddress),
    Dword("BoardID", &DeviceSettings::BoardID),
    Word("IoPortCount", &DeviceSettings::IoPortCount),
    Word("AllowConflicts", &DeviceSettings::AllowConflicts),
    Word("Interrupt", &DeviceSettings::Interrupt),
    Word("DMA", &DeviceSettings::DMA),
    Word("TimerClock", &DeviceSettings::TimerClock),
    Word("NumExpChan", &DeviceSettings::NumExpChan),
    Word("CJCChannel", &DeviceSettings::CJCChannel),
    Dword("OnSystem", &DeviceSettings::OnSystem),
    Dword("BusNumber", &DeviceSettings::BusNumber),
    Dword("SlotNumber", &DeviceSettings::SlotNumber),
    Word("DioPortMode", &DeviceSettings::DioPortMode),
    Word("FreqArea", &DeviceSettings::FreqArea),
    Word("PWMArea", &DeviceSettings::PWMArea),
    Word("DMABaseAddress", &DeviceSettings::DMABaseAddress),
    Word("ChanConfig", &DeviceSettings::ChanConfig),
};

// The order in which the writer stores them.
constexpr NumberField kWriteOrder[] = {
    Word("BaseAddress", &DeviceSettings::BaseAddress),
    Dword("BoardID", &DeviceSettings::BoardID),
    Word("IoPortCount", &DeviceSettings::IoPortCount),
    Word("AllowConflicts", &DeviceSettings::AllowConflicts),
    Word("Interrupt", &DeviceSettings::Interrupt),
    Word("DMA", &DeviceSettings::DMA),
    Word("DMABaseAddress", &DeviceSettings::DMABaseAddress),
    Word("TimerClock", &DeviceSettings::TimerClock),
    Dword("OnSystem", &DeviceSettings::OnSystem),
    Dword("BusNumber", &DeviceSettings::BusNumber),
    Dword("SlotNumber", &DeviceSettings::SlotNumber),
    Word("CJCChannel", &DeviceSettings::CJCChannel),
    Word("NumExpChan", &DeviceSettings::NumExpChan),
    Word("DioPortMode", &DeviceSettings::DioPortMode),
    Word("FreqArea", &DeviceSettings::FreqArea),
    Word("PWMArea", &DeviceSettings::PWMArea),
    Word("ChanConfig", &DeviceSettings::ChanConfig),
};

void DeviceKeyPath(const char *base, DWORD deviceNumber, char (&path)[128]) {
    char suffix[32];
    wsprintfA(suffix, kDeviceSubkeyFormat, static_cast<int>(deviceNumber));
    wsprintfA(path, "%s%s", base, suffix);
}

void AOSettingsName(int channel, char (&name)[16]) { wsprintfA(name, "AOSettings %d", channel); }

void FillDefaults(DeviceSettings &s) {
    s.BoardID = CurrentBoardId();
    s.CJCChannel = 0xFFFF;
    s.TimerClock = 1;
    s.NumExpChan = 0;
    s.IoPortCount = 32;
    s.AllowConflicts = 1;
    s.DioPortMode = 0;
    s.FreqArea = 1;
    s.PWMArea = 0;
    for (auto &entry : s.aoSettings) entry = {0, 5.0f, 0.0f, 0.0f, 0.0f};
    for (auto &entry : s.expansion) entry = {};
}

// Parses `length` characters of `text` as the standard conversions do.
long ParseInteger(const char *text, size_t length) {
    char field[8] = {};
    std::memcpy(field, text, length < sizeof field ? length : sizeof field - 1);
    return std::strtol(field, nullptr, 10);
}

float ParseNumber(const char *text, size_t length) {
    char field[8] = {};
    std::memcpy(field, text, length < sizeof field ? length : sizeof field - 1);
    return static_cast<float>(std::strtod(field, nullptr));
}

// A voltage stored as whole volts: truncated toward zero to a 16-bit signed
// integer (out-of-range values are limited first, so nothing is undefined).
LONG StoredVolts(FLOAT volts) {
    if (!std::isfinite(volts)) return 0;
    double whole = std::trunc(static_cast<double>(volts));
    if (whole < INT32_MIN) whole = INT32_MIN;
    if (whole > INT32_MAX) whole = INT32_MAX;
    return static_cast<SHORT>(static_cast<int32_t>(whole));
}

bool SetString(HKEY key, const char *name, const char *value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

// Deletes a key tree and creates the key anew; the caller closes it.
bool RecreateKey(const char *path, HKEY *key) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key, nullptr) == ERROR_SUCCESS;
}

bool WriteDeviceListKey(const DeviceSettings &s, const char *description) {
    char path[128];
    DeviceKeyPath(kSharedKey, CurrentDeviceNumber(), path);
    HKEY key;
    if (!RecreateKey(path, &key)) return false;
    bool ok = SetString(key, "DeviceName", description) &&
              SetString(key, "DriverName", kDriverName) && SetString(key, "KernelKey", kKernelKey) &&
              SetNumber(key, "BoardID", s.BoardID);
    RegCloseKey(key);
    return ok;
}

bool WriteSettingsKey(const DeviceSettings &s, const char *description) {
    char path[128];
    DeviceKeyPath(kServiceKey, CurrentDeviceNumber(), path);
    HKEY key;
    if (!RecreateKey(path, &key)) return false;
    bool ok = SetString(key, "DeviceName", description) &&
              SetString(key, "DriverName", kDriverName) && SetString(key, "KernelKey", kKernelKey);
    for (const auto &field : kWriteOrder) {
        if (!ok) break;
        ok = SetNumber(key, field.name, field.dword ? s.*field.dword : s.*field.word);
    }
    for (int channel = 0; ok && channel < kStoredAOEntries; ++channel) {
        const AOSettingsEntry &entry = s.aoSettings[channel];
        char name[16], text[32];
        AOSettingsName(channel, name);
        wsprintfA(text, " %5u %5ld %5ld", static_cast<UINT>(entry.referenceSource),
                  StoredVolts(entry.maximum), StoredVolts(entry.minimum));
        ok = SetString(key, name, text);
    }
    RegCloseKey(key);
    return ok;
}

}  // namespace

void DescribeDevice(const DeviceSettings &settings, char *text, size_t size) {
    char description[64];
    wsprintfA(description, "%s%sI/O=%xH",
              settings.BoardID == kBoardPci3649 ? "PCI-3649 " : "PCI-3649L ",
              settings.NumExpChan != 0 ? "With Exp. " : "",
              static_cast<UINT>(settings.BaseAddress));
    if (size == 0) return;
    size_t length = std::strlen(description);
    if (length >= size) length = size - 1;
    std::memcpy(text, description, length);
    text[length] = '\0';
}

DWORD ReadDeviceSettings(DWORD deviceNumber, DeviceSettings *settings) {
    FillDefaults(*settings);
    char path[128];
    DeviceKeyPath(kServiceKey, deviceNumber, path);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;

    for (const auto &field : kReadOrder) {
        DWORD value = 0, size = sizeof value;
        if (RegQueryValueExA(key, field.name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                             &size) != ERROR_SUCCESS) {
            RegCloseKey(key);
            return 1;
        }
        if (field.dword)
            settings->*field.dword = value;
        else
            settings->*field.word = static_cast<WORD>(value);
    }

    for (int channel = 0; channel < kStoredAOEntries; ++channel) {
        char name[16];
        char text[kAOSettingsMaxSize + 1] = {};
        DWORD size = kAOSettingsMaxSize;
        AOSettingsName(channel, name);
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size) !=
            ERROR_SUCCESS) {
            RegCloseKey(key);
            return 1;
        }
        AOSettingsEntry &entry = settings->aoSettings[channel];
        entry.referenceSource = static_cast<WORD>(ParseInteger(text, 6));
        entry.maximum = ParseNumber(text + 6, 6);
        entry.minimum = ParseNumber(text + 12, 6);
    }
    RegCloseKey(key);
    return 0;
}

DWORD WriteDeviceSettings(const DeviceSettings *settings) {
    char description[64];
    DescribeDevice(*settings, description, sizeof description);
    if (!WriteDeviceListKey(*settings, description)) return 1;
    if (!WriteSettingsKey(*settings, description)) return 1;
    return 0;
}

DWORD IsDeviceConfigured(DWORD deviceNumber, DWORD out[2]) {
    char path[128];
    DeviceKeyPath(kServiceKey, deviceNumber, path);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
    DWORD size = sizeof out[0];
    bool bus = RegQueryValueExA(key, "BusNumber", nullptr, nullptr,
                                reinterpret_cast<BYTE *>(&out[0]), &size) == ERROR_SUCCESS;
    size = sizeof out[1];
    bool slot = bus && RegQueryValueExA(key, "SlotNumber", nullptr, nullptr,
                                        reinterpret_cast<BYTE *>(&out[1]), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return bus && slot ? TRUE : FALSE;
}

DWORD DeleteKeyTree(HKEY root, LPCSTR path) {
    if (!path || !*path) return ERROR_BADKEY;
    HKEY key;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_ENUMERATE_SUB_KEYS | DELETE, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        char name[256];
        DWORD length = sizeof name;
        rc = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) rc = DeleteKeyTree(key, name);
        if (rc != ERROR_SUCCESS) {
            RegCloseKey(key);
            return rc;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(root, path);
}

}  // namespace ktz
