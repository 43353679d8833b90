// Multi-channel analog input: a run of consecutive logical channels (a
// differential pair counts once, on its even channel), configured in one
// call and converted in scan order while the card steps its multiplexer.
#include <ktz3649.h>

#include "ai/ai.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz::ai {
namespace {

constexpr WORD kSettleAfterConfig = 10;

// Channels 0 to 15, a differential channel passing over the next one.
WORD LogicalChannelCount(const DeviceRecord &device) {
    WORD count = 0;
    for (WORD channel = 0; channel < kAiChannels; ++channel) {
        ++count;
        if (IsDifferential(device, channel)) ++channel;
    }
    return count;
}

// The channel at a position of a run, wrapping from 15 to 0.
WORD RunChannel(WORD start, DWORD position) {
    return static_cast<WORD>((start + position) % kAiChannels);
}

// The odd member of a differential pair takes no place of its own in a run.
bool IsPassedOver(const DeviceRecord &device, WORD channel) {
    return (channel & 1) != 0 && IsDifferential(device, channel);
}

// The checks of a run and its first channel (a pair's odd member starts the
// run at the pair's even channel); 0 or the error.
DWORD CheckRun(const DeviceRecord &device, WORD channels, WORD &start) {
    if (channels == 0 || start >= kAiChannels || channels > LogicalChannelCount(device))
        return DeviceError(device, KtzErrInvalidChannel);
    if (IsPassedOver(device, start)) --start;
    return kSuccess;
}

// Converts the run from the stored scan position on, with `convert`
// (channel, result index) for every channel that takes a place.
template <class Convert>
DWORD ScanRun(DeviceRecord &device, WORD channels, WORD start, WORD triggerMode,
              Convert convert) {
    if (triggerMode == 0) device.ai.maiScanPosition = 0;
    DWORD length = channels;  // grows by every channel passed over
    DWORD index = 0;
    while (device.ai.maiScanPosition < length) {
        WORD channel = RunChannel(start, device.ai.maiScanPosition);
        if (IsPassedOver(device, channel)) {
            ++length;
        } else {
            if (DWORD rc = convert(channel, index)) return rc;
            ++index;
        }
        ++device.ai.maiScanPosition;
    }
    device.ai.maiScanPosition = 0;
    return kSuccess;
}

}  // namespace

DWORD ConfigureRun(DeviceRecord &device, WORD channels, WORD startChannel,
                   const WORD *gainCodes) {
    if (!gainCodes) return DeviceError(device, KtzErrInvalidParameter);
    WORD start = startChannel;
    if (DWORD rc = CheckRun(device, channels, start)) return rc;

    DWORD length = channels;
    DWORD gain = 0;
    WORD channel = start;
    for (DWORD position = 0; position < length; ++position) {
        channel = RunChannel(start, position);
        if (IsPassedOver(device, channel)) {
            ++length;
        } else if (DWORD rc = Configure(device, channel, gainCodes[gain++])) {
            return rc;
        }
        if (device.ai.aiSettleCount < kSettleAfterConfig)
            device.ai.aiSettleCount = kSettleAfterConfig;
    }
    // A run that ends on a pair stops on the pair's odd channel.
    WORD stop = IsDifferential(device, channel) ? static_cast<WORD>(channel + 1) : channel;
    CardWriteByte(device, card::kAdScanStart, static_cast<BYTE>(start));
    CardWriteByte(device, card::kAdScanStop, static_cast<BYTE>(stop));
    device.ai.maiScanPosition = 0;
    return kSuccess;
}

DWORD ScanCodes(DeviceRecord &device, WORD channels, WORD startChannel, WORD triggerMode,
                WORD *readings) {
    WORD start = startChannel;
    if (DWORD rc = CheckRun(device, channels, start)) return rc;
    if (!readings) return DeviceError(device, KtzErrInvalidParameter);
    return ScanRun(device, channels, start, triggerMode, [&](WORD channel, DWORD index) {
        return BinaryIn(device, channel, triggerMode, &readings[index]);
    });
}

DWORD ScanVolts(DeviceRecord &device, WORD channels, WORD startChannel,
                const WORD *gainCodes, WORD triggerMode, FLOAT *voltages) {
    if (!gainCodes || !voltages) return DeviceError(device, KtzErrInvalidParameter);
    WORD start = startChannel;
    if (DWORD rc = CheckRun(device, channels, start)) return rc;
    return ScanRun(device, channels, start, triggerMode, [&](WORD channel, DWORD index) {
        return VoltageIn(device, channel, gainCodes[index], triggerMode, &voltages[index]);
    });
}

}  // namespace ktz::ai

using namespace ktz;

extern "C" {

DWORD WINAPI MAIConfig(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes) {
    DeviceUse device(handle);
    return device ? ai::ConfigureRun(*device, channels, startChannel, gainCodes) : device.Refusal();
}

DWORD WINAPI MAIBinaryIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD triggerMode,
                         WORD *readings) {
    DeviceUse device(handle);
    return device ? ai::ScanCodes(*device, channels, startChannel, triggerMode, readings)
                  : device.Refusal();
}

DWORD WINAPI MAIVoltageIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes,
                          WORD triggerMode, FLOAT *voltages) {
    DeviceUse device(handle);
    return device ? ai::ScanVolts(*device, channels, startChannel, gainCodes, triggerMode, voltages)
                  : device.Refusal();
}

}  // extern "C"
