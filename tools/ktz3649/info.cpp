// Device info: the stored settings, the properties through DriverProc
// code 109, and the features record through code 2.
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
    static const char *const kNumbers[] = {"BoardID",   "BaseAddress", "Interrupt",
                                           "BusNumber", "SlotNumber",  "ChanConfig",
                                           "DioPortMode", "FreqArea",  "PWMArea"};
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
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text),
                             &size) == ERROR_SUCCESS)
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

bool ShowProperties(const Session &session) {
    std::printf("Properties (DriverProc 109):\n");
    bool ok = true;
    auto line = [](WORD property, const char *name, const std::string &value) {
        std::printf("  0x%04X %-18s %s\n", property, name, value.c_str());
    };
    auto text = [](const char *format, auto... values) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, format, values...);
        return std::string(buffer);
    };
    const char *call = "DriverProc 109";

    DWORD device = 0, boardId = 0, bus = 0, slot = 0, aiRate = 0, aoRate = 0;
    WORD base = 0, interrupt = 0, chanConfig = 0;
    if ((ok &= ReadProperty(session, KTZ_PROP_DEVICE_NUMBER, &device, call)))
        line(0x0000, "device number", text("%u", static_cast<unsigned>(device)));
    if ((ok &= ReadProperty(session, KTZ_PROP_BOARD_ID, &boardId, call)))
        line(0x0001, "board ID", text("%u (%s)", static_cast<unsigned>(boardId),
                                      BoardName(boardId)));
    if ((ok &= ReadProperty(session, KTZ_PROP_BASE_ADDRESS, &base, call)))
        line(0x0003, "base address", text("0x%04X", base));
    if ((ok &= ReadProperty(session, KTZ_PROP_INTERRUPT, &interrupt, call)))
        line(0x0004, "interrupt", text("%u", interrupt));
    if ((ok &= ReadProperty(session, KTZ_PROP_BUS_NUMBER, &bus, call)))
        line(0x0005, "bus number", text("%u", static_cast<unsigned>(bus)));
    if ((ok &= ReadProperty(session, KTZ_PROP_SLOT_NUMBER, &slot, call)))
        line(0x0006, "slot number", text("%u", static_cast<unsigned>(slot)));
    if ((ok &= ReadProperty(session, KTZ_PROP_CHAN_CONFIG, &chanConfig, call)))
        line(0x1000, "ChanConfig", text("0x%04X (bit n: input n differential)", chanConfig));
    if ((ok &= ReadProperty(session, KTZ_PROP_AI_PACER_RATE, &aiRate, call)))
        line(0x1001, "AI pacer rate", text("%u Hz", static_cast<unsigned>(aiRate)));
    if ((ok &= ReadProperty(session, KTZ_PROP_AO_PACER_RATE, &aoRate, call)))
        line(0x2001, "AO pacer rate", text("%u Hz", static_cast<unsigned>(aoRate)));

    KtzOutputRange ranges[4] = {};
    if ((ok &= ReadProperty(session, KTZ_PROP_AO_RANGES, &ranges, call))) {
        std::string list;
        for (const KtzOutputRange &r : ranges)
            list += text("%s%g to %g V", list.empty() ? "" : ", ", r.minimum, r.maximum);
        line(0x2000, "AO ranges", list);
    }
    for (WORD channel = 0; channel < 2; ++channel) {
        KtzOutputRange range{};
        range.channel = channel;  // the channel the property reads
        if ((ok &= ReadProperty(session, KTZ_PROP_AO_CHANNEL_RANGE, &range, call)))
            line(0x2004, text("AO channel %u", channel).c_str(),
                 text("%s, %g to %g V%s", ReferenceName(range.referenceSource), range.minimum,
                      range.maximum, range.pairSelector ? " (second range)" : ""));
    }
    BYTE widths[2] = {};
    if ((ok &= ReadProperty(session, KTZ_PROP_DIO_PORT_WIDTHS, &widths, call)))
        line(0x3005, "DIO port widths", text("%u, %u", widths[0], widths[1]));
    DWORD directions[2] = {};
    if ((ok &= ReadProperty(session, KTZ_PROP_DIO_DIRECTIONS, &directions, call)))
        line(0x3006, "DIO directions",
             text("port 0 %s, port 1 %s", directions[0] ? "output" : "input",
                  directions[1] ? "output" : "input"));
    FLOAT clocks[4] = {};
    if ((ok &= ReadProperty(session, KTZ_PROP_COUNTER_CLOCKS, &clocks, call)))
        line(0x5007, "counter clocks",
             text("%g, %g, %g, %g Hz", clocks[0], clocks[1], clocks[2], clocks[3]));
    DWORD constants[6] = {};
    const WORD kConstants[] = {0x3C82, 0x3C83, 0x3C84, 0x4806, 0x4807, 0x4808};
    for (int i = 0; i < 6; ++i) ok &= ReadProperty(session, kConstants[i], &constants[i], call);
    DWORD triple[3] = {}, single = 0;
    ok &= ReadProperty(session, KTZ_PROP_CONSTANT_5001, &triple, call);
    ok &= ReadProperty(session, KTZ_PROP_CONSTANT_5002, &single, call);
    if (ok)
        std::printf("  constants: 0x3C82-0x3C84 %u, %u, %u; 0x4806-0x4808 %u, %u, %u; "
                    "0x5001 %u, %u, %u; 0x5002 %u\n",
                    unsigned(constants[0]), unsigned(constants[1]), unsigned(constants[2]),
                    unsigned(constants[3]), unsigned(constants[4]), unsigned(constants[5]),
                    unsigned(triple[0]), unsigned(triple[1]), unsigned(triple[2]),
                    unsigned(single));
    return ok;
}

}  // namespace

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
    std::printf("Device info: %s\n\n", DescribeLab(session).c_str());
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
                "analog inputs", f.maxAISingleChannels, f.maxAIDiffChannels, f.adBits,
                f.adBytes);
    std::printf("  %-16s %u, %u bits in %u bytes\n", "analog outputs", f.maxAOChannels,
                f.daBits, f.daBytes);
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
