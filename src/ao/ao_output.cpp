// Single-value analog output: each channel's range and reference, its
// control bits, and the code written to the converter.
#include <ktz3649.h>

#include "ao/ao.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz::ao {
namespace {

// The checks of AOBinaryOut and AOVoltageOut after the handle.
DWORD CheckOutput(const DeviceRecord &device, WORD channel) {
    if (DWORD rc = CheckBoard(device)) return rc;
    if (channel >= kAoChannels) return DeviceError(device, KtzErrInvalidChannel);
    return kSuccess;
}

void WriteOutput(const DeviceRecord &device, WORD channel, WORD code) {
    const AOSettingsEntry &entry = device.settings.aoSettings[channel];
    bool internal = entry.referenceSource == kReferenceInternal;
    WORD bits = 0;
    // 10 V exactly, unlike the tolerance of AOConfig.
    if (internal && entry.maximum == 10.0f) bits |= card::kAoControlRangeHigh;
    if (!internal) bits |= card::kAoControlExternal;
    if ((internal && entry.minimum < 0.0f) || entry.referenceSource == kReferenceExternalBipolar)
        bits |= card::kAoControlBipolar;
    constexpr WORD kAll =
        card::kAoControlRangeHigh | card::kAoControlExternal | card::kAoControlBipolar;
    WORD own = card::AoControlBits(channel, kAll) | card::AoControlPath(channel);
    WORD control = CardReadWord(device, card::kAoControl);
    control = static_cast<WORD>((control & ~own) | card::AoControlBits(channel, bits));
    CardWriteWord(device, card::kAoControl, control);
    CardWriteWord(device, card::AoCode(channel), code);
}

}  // namespace

DWORD Configure(DeviceRecord &device, WORD channel, WORD referenceSource, FLOAT maximum,
                FLOAT minimum) {
    if (referenceSource == kReferenceInternal && !IsInternalReferenceRange(maximum, minimum))
        return DeviceError(device, KtzErrInvalidParameter);
    if (DWORD rc = CheckOutput(device, channel)) return rc;
    AOSettingsEntry &entry = device.settings.aoSettings[channel];
    entry.referenceSource = referenceSource;
    entry.maximum = maximum;
    entry.minimum = minimum;
    return kSuccess;
}

DWORD BinaryOut(const DeviceRecord &device, WORD channel, WORD code) {
    if (DWORD rc = CheckOutput(device, channel)) return rc;
    WriteOutput(device, channel, code);
    return kSuccess;
}

DWORD VoltageOut(const DeviceRecord &device, WORD channel, FLOAT voltage) {
    if (DWORD rc = CheckOutput(device, channel)) return rc;
    WORD code = 0;
    if (!ScaleToCode(device.settings.aoSettings[channel], voltage, &code))
        return DeviceError(device, KtzErrInvalidParameter);
    WriteOutput(device, channel, code);
    return kSuccess;
}

}  // namespace ktz::ao

using namespace ktz;

extern "C" {

DWORD WINAPI AOConfig(KTZHANDLE handle, WORD channel, WORD referenceSource, FLOAT maximum,
                      FLOAT minimum) {
    DeviceUse device(handle);
    return device ? ao::Configure(*device, channel, referenceSource, maximum, minimum)
                  : device.Refusal();
}

DWORD WINAPI AOBinaryOut(KTZHANDLE handle, WORD channel, WORD code) {
    DeviceUse device(handle);
    return device ? ao::BinaryOut(*device, channel, code) : device.Refusal();
}

DWORD WINAPI AOVoltageOut(KTZHANDLE handle, WORD channel, FLOAT voltage) {
    DeviceUse device(handle);
    return device ? ao::VoltageOut(*device, channel, voltage) : device.Refusal();
}

}  // extern "C"
