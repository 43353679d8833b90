// Single-value analog output: each channel's range and reference, its
// control bits in register 10, and the code written to the converter.
#include <ktz3649.h>

#include "ao/ao_range.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz {
namespace {

constexpr WORD kRegControl = 10;
constexpr WORD kRegCode[kAoChannels] = {12, 14};

// Control bits of channel c, shifted left by 4c; bit 8 + c is the channel's own.
constexpr WORD kControlRange10V = 0x1;
constexpr WORD kControlExternal = 0x2;
constexpr WORD kControlBipolar = 0x4;

constexpr WORD kReferenceInternal = 0;
constexpr WORD kReferenceExternalBipolar = 2;

// The checks of AOBinaryOut and AOVoltageOut after the handle.
DWORD CheckOutput(const DeviceRecord &device, WORD channel) {
    if (DWORD rc = CheckOutputBoard(device)) return rc;
    if (channel >= kAoChannels) return DeviceError(device, ErrInvalidChannel);
    return kSuccess;
}

void WriteOutput(const DeviceRecord &device, WORD channel, WORD code) {
    const AOSettingsEntry &entry = device.settings.aoSettings[channel];
    bool internal = entry.referenceSource == kReferenceInternal;
    WORD bits = 0;
    if (internal && entry.maximum == 10.0f) bits |= kControlRange10V;  // exact, unlike AOConfig
    if (!internal) bits |= kControlExternal;
    if ((internal && entry.minimum < 0.0f) || entry.referenceSource == kReferenceExternalBipolar)
        bits |= kControlBipolar;
    WORD shift = static_cast<WORD>(4 * channel);
    WORD own = static_cast<WORD>((kControlRange10V | kControlExternal | kControlBipolar) << shift |
                                 1u << (8 + channel));
    WORD control = CardReadWord(device, kRegControl);
    control = static_cast<WORD>((control & ~own) | bits << shift);
    CardWriteWord(device, kRegControl, control);
    CardWriteWord(device, kRegCode[channel], code);
}

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI AOConfig(KTZHANDLE handle, WORD channel, WORD referenceSource, FLOAT maximum,
                      FLOAT minimum) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(ErrInvalidHandle);
    if (referenceSource == kReferenceInternal && !IsInternalReferenceRange(maximum, minimum))
        return DeviceError(*device, ErrInvalidParameter);
    if (DWORD rc = CheckOutput(*device, channel)) return rc;
    AOSettingsEntry &entry = device->settings.aoSettings[channel];
    entry.referenceSource = referenceSource;
    entry.maximum = maximum;
    entry.minimum = minimum;
    return kSuccess;
}

DWORD WINAPI AOBinaryOut(KTZHANDLE handle, WORD channel, WORD code) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(ErrInvalidHandle);
    if (DWORD rc = CheckOutput(*device, channel)) return rc;
    WriteOutput(*device, channel, code);
    return kSuccess;
}

DWORD WINAPI AOVoltageOut(KTZHANDLE handle, WORD channel, FLOAT voltage) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(ErrInvalidHandle);
    if (DWORD rc = CheckOutput(*device, channel)) return rc;
    WORD code = 0;
    if (!ScaleToCode(device->settings.aoSettings[channel], voltage, &code))
        return DeviceError(*device, ErrInvalidParameter);
    WriteOutput(*device, channel, code);
    return kSuccess;
}

}  // extern "C"
