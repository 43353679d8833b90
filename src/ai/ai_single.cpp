// Single-channel analog input: range and wiring of a channel, one polled
// conversion, and its scaling to volts.
#include <cstddef>
#include <cstring>

#include <ktz3649.h>

#include "ai/ai.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz {
namespace {

constexpr int kStatusPolls = 2048;
constexpr int kDelayReads = 9;
constexpr WORD kSettleAfterConfig = 10;

// Reads the status once and then up to kStatusPolls more times while no
// result waits; true when a result arrived.
bool WaitForResult(const DeviceRecord &device) {
    WORD status = CardReadWord(device, card::kStatus);
    for (int poll = 0; poll < kStatusPolls && (status & card::kStatusNoAdResult); ++poll)
        status = CardReadWord(device, card::kStatus);
    return !(status & card::kStatusNoAdResult);
}

// The AIGetConfig record.
struct AiConfigRecord {
    DWORD boardId;
    DWORD chanConfig;
    WORD zero[3];
    WORD numExpChan;
    WORD cjcChannel;
    WORD notWritten;
    ExpansionEntry expansion[kExpansionEntries];
};
static_assert(sizeof(AiConfigRecord) == 276);

}  // namespace

namespace ai {

bool IsDifferential(const DeviceRecord &device, WORD channel) {
    return channel < kAiChannels && (device.settings.ChanConfig >> channel & 1) != 0;
}

DWORD Configure(DeviceRecord &device, WORD channel, WORD gainCode) {
    if (channel >= kAiChannels) return DeviceError(device, KtzErrInvalidChannel);
    if (!device.IsKnownBoard()) return DeviceError(device, KtzErrUnsupportedBoard);
    if (gainCode > kAiMaxGainCode) return DeviceError(device, KtzErrInvalidGain);

    CardWriteWord(device, card::kAdControl, card::kAdControlSoftware);
    WORD range = gainCode;
    if (IsDifferential(device, channel)) {
        channel &= ~1u;  // a pair is programmed on its even channel
        range = static_cast<WORD>(gainCode + card::kAdRangeDifferential);
    }
    CardWriteWord(device, card::kAdMux, card::AdMuxWord(channel, channel));
    CardWriteWord(device, card::kAdRange, range);
    for (int i = 0; i < kDelayReads; ++i) CardReadByte(device, card::kAdSettle);
    device.ai.aiSettleCount = kSettleAfterConfig;
    CardWriteByte(device, card::kStatusHigh, card::kStatusHighRangeDone);
    return kSuccess;
}

DWORD BinaryIn(DeviceRecord &device, WORD channel, WORD triggerMode, WORD *reading) {
    if (channel >= kAiChannels) return DeviceError(device, KtzErrInvalidChannel);
    if (!device.IsKnownBoard()) return DeviceError(device, KtzErrUnsupportedBoard);
    if (!reading) return DeviceError(device, KtzErrInvalidParameter);

    if (triggerMode == 0) {
        CardWriteWord(device, card::kAdControl, card::kAdControlSoftware);
        CardWriteWord(device, card::kAdData, 0);
        if (!WaitForResult(device)) {
            *reading = 0xFFFF;  // the sample is lost
            return DeviceError(device, KtzErrConversionTimeout);
        }
        for (int i = 1; i < device.ai.aiSettleCount; ++i) CardReadWord(device, card::kStatus);
        CardReadWord(device, card::kAdData);
        *reading = CardReadWord(device, card::kAdData) & card::kAdResultMask;
        return kSuccess;
    }
    CardWriteByte(device, card::kAdControl, card::kAdControlExternalTrigger);
    if (!WaitForResult(device)) return DeviceError(device, KtzErrTriggerTimeout);
    *reading = CardReadWord(device, card::kAdData) & card::kAdResultMask;
    return kSuccess;
}

DWORD VoltageIn(DeviceRecord &device, WORD channel, WORD gainCode, WORD triggerMode,
                FLOAT *voltage) {
    if (channel >= kAiChannels) return DeviceError(device, KtzErrInvalidChannel);
    if (!device.IsKnownBoard()) return DeviceError(device, KtzErrUnsupportedBoard);
    FLOAT fullScale = 0, offset = 0;
    // A code without a scaling entry would give a voltage of no meaning.
    if (gainCode > kAiMaxGainCode || !GainRange(device, gainCode, &fullScale, &offset))
        return DeviceError(device, KtzErrInvalidGain);
    if (!voltage) return DeviceError(device, KtzErrInvalidParameter);

    WORD reading = 0;
    if (DWORD rc = BinaryIn(device, channel, triggerMode, &reading)) return rc;
    Scale(reading, fullScale, kAiMaxCount, static_cast<WORD>(offset), voltage);
    return kSuccess;
}

DWORD GetConfig(const DeviceRecord &device, LPVOID config) {
    if (!config) return DeviceError(device, KtzErrInvalidParameter);
    const DeviceSettings &s = device.settings;
    auto *out = static_cast<BYTE *>(config);
    // Field by field: bytes 18 and 19 of the caller's record stay as they are.
    auto put = [out](size_t offset, const auto &value) {
        std::memcpy(out + offset, &value, sizeof value);
    };
    put(offsetof(AiConfigRecord, boardId), s.BoardID);
    put(offsetof(AiConfigRecord, chanConfig), static_cast<DWORD>(s.ChanConfig));
    put(offsetof(AiConfigRecord, zero), WORD{0});
    put(offsetof(AiConfigRecord, zero) + 2, WORD{0});
    put(offsetof(AiConfigRecord, zero) + 4, WORD{0});
    put(offsetof(AiConfigRecord, numExpChan), s.NumExpChan);
    put(offsetof(AiConfigRecord, cjcChannel), s.CJCChannel);
    put(offsetof(AiConfigRecord, expansion), s.expansion);
    return kSuccess;
}

}  // namespace ai
}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI AIConfig(KTZHANDLE handle, WORD channel, WORD gainCode) {
    DeviceUse device(handle);
    return device ? ai::Configure(*device, channel, gainCode) : device.Refusal();
}

DWORD WINAPI AIGetConfig(KTZHANDLE handle, LPVOID config, DWORD) {
    DeviceUse device(handle);
    return device ? ai::GetConfig(*device, config) : device.Refusal();
}

DWORD WINAPI AIBinaryIn(KTZHANDLE handle, WORD channel, WORD triggerMode, WORD *reading) {
    DeviceUse device(handle);
    return device ? ai::BinaryIn(*device, channel, triggerMode, reading) : device.Refusal();
}

DWORD WINAPI AIVoltageIn(KTZHANDLE handle, WORD channel, WORD gainCode, WORD triggerMode,
                         FLOAT *voltage) {
    DeviceUse device(handle);
    return device ? ai::VoltageIn(*device, channel, gainCode, triggerMode, voltage)
                  : device.Refusal();
}

}  // extern "C"
