// The settings reader over fuzzed registry values. The lab has one
// PCI-3649 installed as device 0; each input starts from its stored
// settings as installed and changes them: a list of operations, each
// setting a value (of any type and size, a string with or without its
// terminator) or deleting one, among the values the library reads (the
// device's settings, its MapEntry path, the found-device records) or under
// a fuzzed name. Then:
//   - ReadDeviceSettings, IsDeviceConfigured, DescribeDevice (into a buffer
//     of fuzzed size) and EnumFoundDevices read them;
//   - DeviceOpen opens the device with them (it refuses them exactly when
//     the reader does) and the functions that use the settings run (input
//     configuration, ranges and scaling of the outputs, port access by
//     address, the counters' areas, the output properties);
//   - settings that read back are written and read again: the numbers
//     come back as they were, and a second round changes nothing.
// Every buffer handed to RegSetValueExA has a byte of slack after the
// data, as a caller's memory would (the function counts a terminator that
// sits right after string data, as Windows does).
#include <ktz3649.h>
#include <ktz3649sim.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_input.h"

#include "config/registry_paths.h"
#include "config/settings.h"
#include "core/device.h"
#include "ui/dialogs.h"

namespace {

using fuzz::Check;

const std::string kDeviceKey = std::string(ktz::kServiceKey) + "\\Device000";

// A value the library reads: its key and name.
struct Place {
    std::string key;
    std::string name;
};

const std::vector<Place> &Places() {
    static const std::vector<Place> places = [] {
        std::vector<Place> p;
        for (const char *name :
             {"BaseAddress", "BoardID", "IoPortCount", "AllowConflicts", "Interrupt", "DMA",
              "TimerClock", "NumExpChan", "CJCChannel", "OnSystem", "BusNumber", "SlotNumber",
              "DioPortMode", "FreqArea", "PWMArea", "DMABaseAddress", "ChanConfig",
              "AOSettings 0", "AOSettings 1", "DeviceName", "DriverName", "KernelKey"})
            p.push_back({kDeviceKey, name});
        p.push_back({ktz::kMapEntryKey, "0"});
        for (const char *name : {"FoundDevice0", "FoundDevice1", "FoundDevice2"})
            p.push_back({ktz::kServiceKey, name});
        return p;
    }();
    return places;
}

// A value as stored, or missing.
struct Stored {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Stored Query(const Place &place) {
    Stored s;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return s;
    DWORD size = 0;
    if (RegQueryValueExA(key, place.name.c_str(), nullptr, &s.type, nullptr, &size) ==
        ERROR_SUCCESS) {
        s.data.resize(size);
        s.present = RegQueryValueExA(key, place.name.c_str(), nullptr, nullptr, s.data.data(),
                                     &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return s;
}

HKEY Create(const std::string &path) {
    HKEY key;
    Check(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS,
          "cannot create a key");
    return key;
}

// Sets a value from a buffer with one byte of slack after the data.
void SetValue(HKEY key, const char *name, DWORD type, const std::vector<BYTE> &data, BYTE slack) {
    std::vector<BYTE> buffer(data);
    buffer.push_back(slack);
    RegSetValueExA(key, name, 0, type, buffer.data(), static_cast<DWORD>(data.size()));
}

// The installed values, read once.
const std::vector<Stored> &Baseline() {
    static const std::vector<Stored> baseline = [] {
        std::vector<Stored> b;
        for (const Place &place : Places()) b.push_back(Query(place));
        return b;
    }();
    return baseline;
}

// Puts the installed values back; the device key loses any other value.
void Restore() {
    ktz::DeleteKeyTree(HKEY_LOCAL_MACHINE, kDeviceKey.c_str());
    for (size_t i = 0; i < Places().size(); ++i) {
        const Place &place = Places()[i];
        const Stored &value = Baseline()[i];
        HKEY key = Create(place.key);
        if (value.present)
            SetValue(key, place.name.c_str(), value.type, value.data, 0);
        else
            RegDeleteValueA(key, place.name.c_str());
        RegCloseKey(key);
    }
}

// The fuzzed changes to the stored values: a count (up to 24), then for
// each a byte that picks the value (past the list: a name follows, a
// length byte and its characters), a byte (a multiple of 8: delete it), a
// byte that picks the type (past the list: a u32 type follows), a size
// byte (up to 48), the data and the byte of slack after it.
void Change(fuzz::Reader &r) {
    static const DWORD kTypes[] = {REG_DWORD, REG_SZ, REG_BINARY, REG_NONE, REG_EXPAND_SZ,
                                   REG_MULTI_SZ, 5 /* REG_DWORD_BIG_ENDIAN */, 11 /* REG_QWORD */};
    for (int n = r.Byte() % 25; n > 0 && !r.Empty(); --n) {
        const size_t which = r.Byte();
        const Place place = which < Places().size() ? Places()[which] : Place{kDeviceKey, r.Text()};
        HKEY key = Create(place.key);
        if (r.Byte() % 8 == 0) {
            RegDeleteValueA(key, place.name.c_str());
        } else {
            const size_t kind = r.Byte();
            const DWORD type = kind < std::size(kTypes) ? kTypes[kind] : r.Take<DWORD>();
            std::vector<BYTE> bytes = r.Bytes(r.Byte() % 49);
            SetValue(key, place.name.c_str(), type, bytes, r.Byte());
        }
        RegCloseKey(key);
    }
}

// The functions that use a device's settings, with arguments from the
// input: an input channel and gain code, two voltages per output, a port
// address and a byte for it.
void UseDevice(KTZHANDLE h, fuzz::Reader &r) {
    BYTE config[276] = {};
    AIGetConfig(h, config, 0);
    KtzDeviceFeatures features;
    DeviceGetFeatures(h, &features, sizeof features);
    FLOAT volts = 0;
    const WORD channel = r.Byte() % 16, gain = r.Byte() % 32;
    AIVoltageIn(h, channel, gain, 0, &volts);
    for (WORD output = 0; output < 2; ++output) {
        FLOAT table[3];
        r.Fields(table[0], table[2]);
        table[1] = -table[0];
        WORD code = 0, codes[3];
        AOScale(h, output, table[0], &code);
        AOVoltageOut(h, output, table[0]);
        FAOScale(h, output, 3, table, codes);
    }
    const WORD port = r.Take<WORD>();
    WORD value = 0;
    ReadPortByte(h, port, &value);
    ReadPortWord(h, port, &value);
    WritePortByte(h, port, r.Byte());
    DioReadPortByte(h, 0, &value);
    WORD directions[2];
    DioGetConfig(h, directions, 2);
    CounterFreqStart(h, 2, 0, 0);
    // The output ranges through the properties (DriverProc 107 and 109).
    BYTE buffer[128];
    DWORD length = sizeof buffer;
    ReadAOSettingsBlock read{KTZ_PROP_AO_RANGES, 0, &length, buffer};
    DriverProc(0, 0, 107, h, reinterpret_cast<ULONG_PTR>(&read));
    for (WORD property : {KTZ_PROP_AO_RANGES, KTZ_PROP_AO_CHANNEL_RANGE, KTZ_PROP_BASE_ADDRESS,
                          KTZ_PROP_DIO_DIRECTIONS}) {
        length = sizeof buffer;
        DeviceGetPropertyBlock get{property, 0, &length, buffer};
        DriverProc(0, 0, 109, h, reinterpret_cast<ULONG_PTR>(&get));
    }
}

bool SameNumbers(const ktz::DeviceSettings &a, const ktz::DeviceSettings &b) {
    return a.BoardID == b.BoardID && a.BaseAddress == b.BaseAddress &&
           a.DMABaseAddress == b.DMABaseAddress && a.Interrupt == b.Interrupt && a.DMA == b.DMA &&
           a.TimerClock == b.TimerClock && a.IoPortCount == b.IoPortCount &&
           a.AllowConflicts == b.AllowConflicts && a.ChanConfig == b.ChanConfig &&
           a.NumExpChan == b.NumExpChan && a.CJCChannel == b.CJCChannel &&
           a.BusNumber == b.BusNumber && a.SlotNumber == b.SlotNumber && a.OnSystem == b.OnSystem &&
           a.DioPortMode == b.DioPortMode && a.FreqArea == b.FreqArea && a.PWMArea == b.PWMArea;
}

bool SameOutputs(const ktz::DeviceSettings &a, const ktz::DeviceSettings &b) {
    for (int c = 0; c < ktz::kStoredAOEntries; ++c) {
        const ktz::AOSettingsEntry &x = a.aoSettings[c], &y = b.aoSettings[c];
        if (x.referenceSource != y.referenceSource || x.maximum != y.maximum || x.minimum != y.minimum)
            return false;
    }
    return true;
}

// Output settings written longer than the reader of today takes (volts of
// more than five characters: being fixed with the reader).
bool OutputsWrittenTooLong() {
    for (const char *name : {"AOSettings 0", "AOSettings 1"})
        if (Query({kDeviceKey, name}).data.size() > 19) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    unsetenv("HOSTWIN_REGISTRY");
    KtzSimReset(0);
    const int card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    Check(card == 0 && KtzSimInstallDevice(0, card, nullptr) == 0, "cannot set up the lab");
    KtzSimTraceEnable(0);
    KtzSimSetCounterPollCost(card, 1000000);
    Baseline();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    fuzz::Reader r(bytes, size);
    Restore();
    Change(r);

    ktz::DeviceSettings settings;
    const DWORD read = ktz::ReadDeviceSettings(0, &settings);
    Check(read == 0 || read == 1, "the reader returned neither 0 nor 1");
    DWORD place[2] = {};
    ktz::IsDeviceConfigured(0, place);
    const size_t textSize = r.Byte() % 65;
    std::vector<char> text(textSize + 1, 'U');
    ktz::DescribeDevice(settings, text.data(), textSize);
    Check(text[textSize] == 'U' && (textSize == 0 || std::memchr(text.data(), 0, textSize)),
          "DescribeDevice wrote past its buffer or without a terminator");
    LPVOID found = nullptr;
    ktz::EnumFoundDevices(&found);
    if (found) GlobalFree(found);

    // The open reads the same settings: it refuses them exactly when the reader does.
    KTZHANDLE handle = 0;
    const DWORD opened = DeviceOpen(0, &handle);
    Check((opened == KtzErrSettingsNotFound) == (read != 0), "the open and the reader disagree");
    if (opened == 0) {
        UseDevice(handle, r);
        CounterReset(handle, 2);
        Check(DeviceClose(&handle) == 0, "the device does not close");
    }

    // Settings that read back survive a write and a read unchanged in
    // their numbers, and a second round changes nothing.
    if (read == 0) {
        ktz::SetCurrentDeviceNumber(0);
        Check(ktz::WriteDeviceSettings(&settings) == 0, "the settings cannot be written");
        ktz::DeviceSettings again;
        const DWORD reread = ktz::ReadDeviceSettings(0, &again);
        if (reread == 0) {
            Check(SameNumbers(settings, again), "the numbers changed in a write and read");
            Check(ktz::WriteDeviceSettings(&again) == 0, "the settings cannot be written again");
            ktz::DeviceSettings third;
            Check(ktz::ReadDeviceSettings(0, &third) == 0 && SameNumbers(again, third) &&
                      SameOutputs(again, third),
                  "a second write and read changed the settings");
        } else {
            Check(OutputsWrittenTooLong(), "written settings do not read back");
        }
    }
    return 0;
}
