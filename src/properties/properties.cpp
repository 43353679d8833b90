// Device properties: what they read and write in the device record and on
// the card. Nothing here is stored in the registry.
#include "properties/properties.h"

#include <cstring>

#include "ao/ao.h"
#include "dio/dio.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz::properties {
namespace {

static_assert(sizeof(KtzOutputRange) == 16);

constexpr DWORD kPortInput = 0;
constexpr DWORD kPortOutput = 255;

// The output ranges of the internal reference, as property 0x2000 lists them.
constexpr KtzOutputRange kOutputRanges[] = {
    {4, 0, 0, 0, 5.0f, 0.0f},
    {4, 0, 0, 0, 10.0f, 0.0f},
    {4, 0, 0, 0, 5.0f, -5.0f},
    {4, 0, 0, 0, 10.0f, -10.0f},
};

// What a property read produces; `zeroFirst` clears the caller's whole
// buffer before the data goes in.
struct PropertyData {
    BYTE bytes[64] = {};
    DWORD size = 0;
    bool zeroFirst = false;
};

template <class T>
void Put(PropertyData &data, DWORD offset, T value) {
    std::memcpy(data.bytes + offset, &value, sizeof value);
}

DWORD PacerRate(WORD divisor) {
    // Nothing is programmed while the divisor is 0: report no rate.
    return divisor == 0 ? 0 : card::kPacerClockHz / divisor;
}

// The range record of an output channel.
KtzOutputRange RangeOf(const AOSettingsEntry &entry, WORD channel) {
    bool second = entry.secondMaximum != 0.0f;
    return KtzOutputRange{4, entry.referenceSource, static_cast<WORD>(second ? 1 : 0), channel,
                          second ? entry.secondMaximum : entry.maximum,
                          second ? entry.secondMinimum : entry.minimum};
}

// The data of a readable property; false for an unknown identifier.
bool Describe(const DeviceRecord &device, WORD property, PropertyData &data) {
    const DeviceSettings &s = device.settings;
    auto dword = [&](DWORD value, bool zeroFirst) {
        data.size = 4;
        data.zeroFirst = zeroFirst;
        Put(data, 0, value);
    };
    auto word = [&](WORD value) {
        data.size = 2;
        data.zeroFirst = true;
        Put(data, 0, value);
    };
    switch (property) {
    case KTZ_PROP_DEVICE_NUMBER: dword(device.deviceNumber, true); return true;
    case KTZ_PROP_BOARD_ID: dword(s.BoardID, true); return true;
    case KTZ_PROP_BASE_ADDRESS: word(s.BaseAddress); return true;
    case KTZ_PROP_INTERRUPT: word(s.Interrupt); return true;
    case KTZ_PROP_BUS_NUMBER: dword(s.BusNumber, true); return true;
    case KTZ_PROP_SLOT_NUMBER: dword(s.SlotNumber, true); return true;
    case KTZ_PROP_CHAN_CONFIG: word(s.ChanConfig); return true;
    case KTZ_PROP_AI_PACER_RATE: dword(PacerRate(device.fai.aiPacerDivisor), false); return true;
    case KTZ_PROP_AO_PACER_RATE: dword(PacerRate(device.fao.aoPacerDivisor), false); return true;
    case KTZ_PROP_AO_RANGES:
        data.size = sizeof kOutputRanges;
        data.zeroFirst = true;
        std::memcpy(data.bytes, kOutputRanges, sizeof kOutputRanges);
        return true;
    case KTZ_PROP_AO_CHANNEL_RANGE: data.size = sizeof(KtzOutputRange); return true;  // per channel
    case KTZ_PROP_DIO_PORT_WIDTHS:
        data.size = 2;
        data.bytes[0] = data.bytes[1] = 3;
        return true;
    case KTZ_PROP_DIO_DIRECTIONS:
        data.size = 8;
        Put(data, 0, (s.DioPortMode & card::DioInputBit(0)) ? kPortInput : kPortOutput);
        Put(data, 4, (s.DioPortMode & card::DioInputBit(1)) ? kPortInput : kPortOutput);
        return true;
    case KTZ_PROP_DI_FIRST_CHANNEL:
    case KTZ_PROP_DO_FIRST_CHANNEL: dword(0, false); return true;
    case KTZ_PROP_DI_CHANNELS:
    case KTZ_PROP_DO_CHANNELS: dword(16, false); return true;
    case KTZ_PROP_DI_PORTS:
    case KTZ_PROP_DO_PORTS: dword(2, false); return true;
    case KTZ_PROP_COUNTER_CAPABILITIES:
        data.size = 12;
        data.zeroFirst = true;
        Put(data, 0, DWORD{65});
        Put(data, 4, DWORD{69});
        Put(data, 8, DWORD{67});
        return true;
    case KTZ_PROP_COUNTER_MASK: dword(7, true); return true;
    case KTZ_PROP_COUNTER_CLOCKS: {
        data.size = 16;
        data.zeroFirst = true;
        constexpr WORD n = card::kCounterClockSelectors;
        FLOAT clocks[n];  // the counter clocks, slowest first
        for (WORD i = 0; i < n; ++i)
            clocks[i] = static_cast<FLOAT>(card::kCounterClockHz[n - 1 - i]);
        std::memcpy(data.bytes, clocks, sizeof clocks);
        return true;
    }
    default: return false;
    }
}

// Programs a pacer counter in mode 3 with 10 MHz / rate; the divisor is
// kept in the record.
DWORD SetPacerRate(DeviceRecord &device, const void *data, WORD *divisor, WORD counter,
                   WORD counterRegister) {
    DWORD rate;
    std::memcpy(&rate, data, sizeof rate);
    if (rate < card::kPacerMinRate || rate > card::kPacerMaxRate)
        return DeviceError(device, KtzErrInvalidParameter);
    *divisor = static_cast<WORD>(card::kPacerClockHz / rate);
    CardWriteWord(device, card::kPacerControl,
                  card::ControlWord8254(counter, card::Access8254::LowThenHigh,
                                        card::kMode8254SquareWave));
    CardWriteWord(device, counterRegister, LOBYTE(*divisor));
    CardWriteWord(device, counterRegister, HIBYTE(*divisor));
    return kSuccess;
}

DWORD SetOutputRange(DeviceRecord &device, const void *data) {
    KtzOutputRange range;
    std::memcpy(&range, data, sizeof range);
    if (DWORD rc = ao::CheckBoard(device)) return rc;
    if (range.channel > 1) return DeviceError(device, KtzErrInvalidChannel);
    if (range.referenceSource == 0 && !ao::IsInternalReferenceRange(range.maximum, range.minimum))
        return DeviceError(device, KtzErrInvalidParameter);
    AOSettingsEntry &entry = device.settings.aoSettings[range.channel];
    entry.referenceSource = range.referenceSource;
    if (range.pairSelector == 0) {
        entry.maximum = range.maximum;
        entry.minimum = range.minimum;
        entry.secondMaximum = entry.secondMinimum = 0.0f;
    } else {
        entry.secondMaximum = range.maximum;
        entry.secondMinimum = range.minimum;
        entry.maximum = entry.minimum = 0.0f;
    }
    return kSuccess;
}

DWORD SetPortDirections(DeviceRecord &device, const void *data) {
    DWORD values[2];
    std::memcpy(values, data, sizeof values);
    for (WORD port = 0; port < 2; ++port) {
        if (values[port] != kPortInput && values[port] != kPortOutput)
            return DeviceError(device, KtzErrInvalidParameter);  // port 0 may be changed already
        dio::SetPortMode(device, port, values[port] == kPortOutput ? 1 : 0);
    }
    return kSuccess;
}

}  // namespace

DWORD Get(KTZHANDLE handle, WORD property, DWORD *length, LPVOID buffer) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    PropertyData data;
    if (!Describe(*device, property, data)) return DeviceError(*device, KtzErrUnknownProperty);
    if (!length) return DeviceError(*device, KtzErrInvalidParameter);
    if (!buffer) {
        *length = data.size;
        return kSuccess;
    }
    if (*length < data.size) {
        *length = data.size;
        return DeviceError(*device, KtzErrInvalidParameter);
    }
    if (property == KTZ_PROP_AO_CHANNEL_RANGE) {
        // The channel comes from the caller's record; only 0 and 1 have entries.
        WORD channel;
        std::memcpy(&channel, static_cast<BYTE *>(buffer) + offsetof(KtzOutputRange, channel),
                    sizeof channel);
        if (channel > 1) return DeviceError(*device, KtzErrInvalidChannel);
        KtzOutputRange range = RangeOf(device->settings.aoSettings[channel], channel);
        std::memcpy(data.bytes, &range, sizeof range);
    }
    if (data.zeroFirst) std::memset(buffer, 0, *length);
    std::memcpy(buffer, data.bytes, data.size);
    *length = data.size;
    return kSuccess;
}

DWORD Set(KTZHANDLE handle, WORD property, DWORD length, LPVOID data) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    auto needData = [&] { return DeviceError(*device, KtzErrInvalidParameter); };
    switch (property) {
    case KTZ_PROP_CHAN_CONFIG: {
        if (length != 2 || !data) return needData();
        WORD mask;
        std::memcpy(&mask, data, sizeof mask);
        // A pair is differential as a whole, by its even channel's bit.
        for (int pair = 0; pair < 8; ++pair) {
            WORD odd = static_cast<WORD>(1u << (2 * pair + 1));
            mask = (mask & (1u << (2 * pair))) ? (mask | odd) : (mask & ~odd);
        }
        device->settings.ChanConfig = mask;
        return kSuccess;
    }
    case KTZ_PROP_AI_PACER_RATE:
        if (!data) return needData();
        return SetPacerRate(*device, data, &device->fai.aiPacerDivisor, card::kPacerAiCounter,
                            card::kPacerAiData);
    case KTZ_PROP_AO_PACER_RATE:
        if (!data) return needData();
        return SetPacerRate(*device, data, &device->fao.aoPacerDivisor, card::kPacerAoCounter,
                            card::kPacerAoData);
    case KTZ_PROP_AO_RANGES:
    case KTZ_PROP_AO_CHANNEL_RANGE:
        if (length < sizeof(KtzOutputRange)) return Bare(KtzErrInvalidSetting);
        if (!data) return needData();
        return SetOutputRange(*device, data);
    case KTZ_PROP_DIO_DIRECTIONS:
        if (length < 8 || !data) return needData();
        return SetPortDirections(*device, data);
    default: return Bare(KtzErrInvalidSetting);
    }
}

DWORD ReadOutputSettings(KTZHANDLE handle, WORD property, DWORD *byteCount, LPVOID buffer) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    if (property != KTZ_PROP_AO_RANGES) return Bare(KtzErrInvalidSetting);
    if (!byteCount || !buffer) return DeviceError(*device, KtzErrInvalidParameter);
    auto *out = static_cast<BYTE *>(buffer);
    for (int channel = 0; channel < 2; ++channel) {
        const AOSettingsEntry &entry = device->settings.aoSettings[channel];
        BYTE *slot = out + 20 * channel;
        // Bytes 2 and 3 of each entry are left as they are.
        std::memcpy(slot, &entry.referenceSource, 2);
        std::memcpy(slot + 4, &entry.maximum, 4);
        std::memcpy(slot + 8, &entry.minimum, 4);
        std::memcpy(slot + 12, &entry.secondMaximum, 4);
        std::memcpy(slot + 16, &entry.secondMinimum, 4);
    }
    *byteCount = 40;
    return kSuccess;
}

}  // namespace ktz::properties
