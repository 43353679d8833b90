// Device info: the stored settings, the properties through DriverProc
// codes 108 and 109 (which the other subcommands use too), and the
// features record through code 2.
#include <array>
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace panel {
namespace {

std::string SettingsKey(const Session &session) {
    char key[80];
    std::snprintf(key, sizeof key, "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device%03u",
                  session.lab.device);
    return key;
}

// The settings as the registry holds them, as any application can read them.
void ShowSettings(const Session &session) {
    static const char *const kNumbers[] = {"BoardID",     "BaseAddress", "Interrupt",
                                           "BusNumber",   "SlotNumber",  "ChanConfig",
                                           "DioPortMode", "FreqArea",    "PWMArea"};
    const std::string path = SettingsKey(session);
    std::printf("Settings in the registry (HKEY_LOCAL_MACHINE\\%s):\n", path.c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("  (none)\n");
        return;
    }
    char text[128] = {};
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, "DeviceName", nullptr, nullptr, reinterpret_cast<BYTE *>(text),
                         &size) == ERROR_SUCCESS)
        std::printf("  %-14s %s\n", "DeviceName", text);
    for (const char *name : kNumbers) {
        DWORD value = 0;
        size = sizeof value;
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                             &size) == ERROR_SUCCESS)
            std::printf("  %-14s %u (0x%X)\n", name, static_cast<unsigned>(value),
                        static_cast<unsigned>(value));
    }
    for (int channel = 0; channel < 2; ++channel) {
        char name[16];
        std::snprintf(name, sizeof name, "AOSettings %d", channel);
        std::memset(text, 0, sizeof text);
        size = sizeof text - 1;
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size) ==
            ERROR_SUCCESS)
            std::printf("  %-14s \"%s\"\n", name, text);
    }
    RegCloseKey(key);
}

const char *ReferenceName(WORD reference) {
    switch (reference) {
    case 0: return "internal";
    case 1: return "external unipolar";
    case 2: return "external bipolar";
    default: return "unknown reference";
    }
}

// Reads a property as a T (starting from `value`) and prints it as
// `format` makes it; false (printed) on failure.
template <class T, class Format>
bool ShowProperty(const Session &session, WORD property, const std::string &name, Format format,
                  T value = T{}) {
    if (!ReadProperty(session, property, &value, "DriverProc 109")) return false;
    std::printf("  0x%04X %-18s %s\n", property, name.c_str(), format(value).c_str());
    return true;
}

bool ShowProperties(const Session &session) {
    std::printf("Properties (DriverProc 109):\n");
    auto number = [](auto value) { return Text("%u", static_cast<unsigned>(value)); };
    auto hertz = [](DWORD value) { return Text("%u Hz", static_cast<unsigned>(value)); };
    bool ok = ShowProperty<DWORD>(session, KTZ_PROP_DEVICE_NUMBER, "device number", number);
    ok &= ShowProperty<DWORD>(session, KTZ_PROP_BOARD_ID, "board ID", [](DWORD id) {
        return Text("%u (%s)", static_cast<unsigned>(id), BoardName(id));
    });
    ok &= ShowProperty<WORD>(session, KTZ_PROP_BASE_ADDRESS, "base address",
                             [](WORD base) { return Text("0x%04X", base); });
    ok &= ShowProperty<WORD>(session, KTZ_PROP_INTERRUPT, "interrupt", number);
    ok &= ShowProperty<DWORD>(session, KTZ_PROP_BUS_NUMBER, "bus number", number);
    ok &= ShowProperty<DWORD>(session, KTZ_PROP_SLOT_NUMBER, "slot number", number);
    ok &= ShowProperty<WORD>(session, KTZ_PROP_CHAN_CONFIG, "ChanConfig", [](WORD mask) {
        return Text("0x%04X (bit n: input n differential)", mask);
    });
    ok &= ShowProperty<DWORD>(session, KTZ_PROP_AI_PACER_RATE, "AI pacer rate", hertz);
    ok &= ShowProperty<DWORD>(session, KTZ_PROP_AO_PACER_RATE, "AO pacer rate", hertz);
    using Ranges = std::array<KtzOutputRange, 4>;
    ok &= ShowProperty<Ranges>(session, KTZ_PROP_AO_RANGES, "AO ranges", [](const Ranges &list) {
        std::string text;
        for (const KtzOutputRange &r : list)
            text += Text("%s%g to %g V", text.empty() ? "" : ", ", r.minimum, r.maximum);
        return text;
    });
    for (WORD channel = 0; channel < 2; ++channel) {
        KtzOutputRange asked{};
        asked.channel = channel;  // the channel the property reads
        ok &= ShowProperty<KtzOutputRange>(
            session, KTZ_PROP_AO_CHANNEL_RANGE, Text("AO channel %u", channel),
            [](const KtzOutputRange &r) {
                return Text("%s, %g to %g V%s", ReferenceName(r.referenceSource), r.minimum,
                            r.maximum, r.pairSelector ? " (second range)" : "");
            },
            asked);
    }
    using Bytes = std::array<BYTE, 2>;
    ok &= ShowProperty<Bytes>(session, KTZ_PROP_DIO_PORT_WIDTHS, "DIO port widths",
                              [](const Bytes &w) { return Text("%u, %u", w[0], w[1]); });
    using Pair = std::array<DWORD, 2>;
    ok &= ShowProperty<Pair>(session, KTZ_PROP_DIO_DIRECTIONS, "DIO directions", [](const Pair &d) {
        return Text("port 0 %s, port 1 %s", d[0] ? "output" : "input", d[1] ? "output" : "input");
    });
    using Clocks = std::array<FLOAT, 4>;
    ok &= ShowProperty<Clocks>(
        session, KTZ_PROP_COUNTER_CLOCKS, "counter clocks",
        [](const Clocks &c) { return Text("%g, %g, %g, %g Hz", c[0], c[1], c[2], c[3]); });
    const struct {
        WORD property;
        const char *name;
    } constants[] = {
        {KTZ_PROP_DI_FIRST_CHANNEL, "DI first channel"}, {KTZ_PROP_DI_CHANNELS, "DI channels"},
        {KTZ_PROP_DI_PORTS, "DI ports"},   {KTZ_PROP_DO_FIRST_CHANNEL, "DO first channel"},
        {KTZ_PROP_DO_CHANNELS, "DO channels"}, {KTZ_PROP_DO_PORTS, "DO ports"},
        {KTZ_PROP_COUNTER_MASK, "counter mask"},
    };
    for (const auto &c : constants) ok &= ShowProperty<DWORD>(session, c.property, c.name, number);
    using Triple = std::array<DWORD, 3>;
    ok &= ShowProperty<Triple>(session, KTZ_PROP_COUNTER_CAPABILITIES, "counter capabilities",
                               [](const Triple &t) {
                                   return Text("%u, %u, %u", unsigned(t[0]), unsigned(t[1]),
                                               unsigned(t[2]));
                               });
    return ok;
}

}  // namespace

DWORD GetProperty(const Session &session, WORD property, void *buffer, DWORD *length) {
    DeviceGetPropertyBlock block{property, 0, length, buffer};
    return DriverProc(0, 0, 109, session.handle, reinterpret_cast<ULONG_PTR>(&block));
}

DWORD SetProperty(const Session &session, WORD property, const void *data, DWORD length) {
    DeviceSetPropertyBlock block{property, 0, length, const_cast<void *>(data)};
    return DriverProc(0, 0, 108, session.handle, reinterpret_cast<ULONG_PTR>(&block));
}

bool ReadSetting(const Session &session, const char *name, DWORD *value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey(session).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = sizeof *value;
    bool found = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value),
                                  &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

std::string GainRangeName(const Session &session, WORD gain) {
    KtzDeviceFeatures features{};
    if (DeviceGetFeatures(session.handle, &features, sizeof features) == 0)
        for (WORD i = 0; i < features.gainCount && i < 16; ++i)
            if (features.gainList[i].gainCode == gain)
                return std::string(features.gainList[i].rangeName,
                                   strnlen(features.gainList[i].rangeName, 16));
    return "gain code " + std::to_string(gain);
}

int RunInfo(Session &session) {
    std::printf("Device info: %s\n\n", DescribeDevice(session).c_str());
    ShowSettings(session);
    std::printf("\n");
    bool ok = ShowProperties(session);
    DWORD fifo = 0;
    if (Check("DriverProc 99 (GetFIFOSize)",
              DriverProc(0, 0, 99, session.handle, reinterpret_cast<ULONG_PTR>(&fifo))))
        std::printf("\nInput FIFO (DriverProc 99): %u samples\n", static_cast<unsigned>(fifo));
    else
        ok = false;
    return ok ? 0 : 1;
}

int RunFeatures(Session &session, KtzDeviceFeatures *out) {
    KtzDeviceFeatures f{};
    DeviceGetFeaturesBlock block{&f, sizeof f};
    if (!Check("DriverProc 2 (DeviceGetFeatures)",
               DriverProc(0, 0, 2, session.handle, reinterpret_cast<ULONG_PTR>(&block))))
        return 1;
    if (out) *out = f;
    std::printf("Features record of device %u (DriverProc 2):\n", session.lab.device);
    std::printf("  %-16s %.*s %.*s\n", "driver", static_cast<int>(strnlen(f.driverName, 16)),
                f.driverName, static_cast<int>(strnlen(f.driverVersion, 8)), f.driverVersion);
    std::printf("  %-16s %u (%s)\n", "board ID", static_cast<unsigned>(f.boardId),
                BoardName(f.boardId));
    std::printf("  %-16s %u single-ended or %u differential, %u bits in %u bytes\n",
                "analog inputs", f.maxAISingleChannels, f.maxAIDiffChannels, f.adBits, f.adBytes);
    std::printf("  %-16s %u, %u bits in %u bytes\n", "analog outputs", f.maxAOChannels, f.daBits,
                f.daBytes);
    std::printf("  %-16s %u outputs, %u inputs\n", "digital lines", f.maxDOChannels,
                f.maxDIChannels);
    std::printf("  %-16s %u\n", "counters", f.maxCounterChannels);
    std::printf("  %-16s %u, %u\n", "feature words", f.featureWord1, f.featureWord2);
    std::printf("  %-16s 0x%08X\n", "capability bits", static_cast<unsigned>(f.capabilityBits));
    std::printf("  %-16s %u:\n", "input ranges", f.gainCount);
    std::printf("    %9s  %-10s %9s %9s\n", "gain code", "range", "lower (V)", "upper (V)");
    for (WORD i = 0; i < f.gainCount && i < 16; ++i) {
        const KtzGainListEntry &g = f.gainList[i];
        std::printf("    %9u  %-10.*s %9.3f %9.3f\n", g.gainCode,
                    static_cast<int>(strnlen(g.rangeName, 16)), g.rangeName, g.lowerLimit,
                    g.upperLimit);
    }
    return 0;
}

void AddInfoCommands(CLI::App &app) {
    AddCommand(app, "info",
               "Show the device: its stored settings, its properties (DriverProc 109) and its "
               "FIFO size",
               [](Session &session) { return RunInfo(session); });
    AddCommand(app, "features",
               "Show the device's features record (DriverProc 2) with its input ranges",
               [](Session &session) { return RunFeatures(session); });
}

}  // namespace panel
