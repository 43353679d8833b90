// Output ranges: the ranges of the internal reference, and voltages scaled
// to codes (AOScale).
#include "ao/ao.h"

#include <cmath>

#include <ktz3649.h>

#include "core/device.h"
#include "core/result.h"

namespace ktz::ao {
namespace {

constexpr double kRangeTolerance = 0.000001;
constexpr double kInternalMaxima[] = {10.0, 5.0};
constexpr double kInternalMinima[] = {0.0, -5.0, -10.0};

// The distance is rounded to a float before the comparison in double.
template <size_t N>
bool IsNearOneOf(FLOAT value, const double (&targets)[N]) {
    for (double target : targets) {
        auto distance = static_cast<FLOAT>(std::fabs(static_cast<double>(value) - target));
        if (static_cast<double>(distance) < kRangeTolerance) return true;
    }
    return false;
}

}  // namespace

bool IsInternalReferenceRange(FLOAT maximum, FLOAT minimum) {
    return IsNearOneOf(maximum, kInternalMaxima) && IsNearOneOf(minimum, kInternalMinima);
}

bool ResolveScaleRange(const AOSettingsEntry &entry, ScaleRange *range) {
    FLOAT maximum = entry.maximum, minimum = entry.minimum;
    if (entry.secondMaximum > 0.0f) {
        maximum = entry.secondMaximum;
        minimum = entry.secondMinimum;
    }
    long double width = static_cast<long double>(maximum) - minimum;
    if (!std::isfinite(width) || width == 0) return false;
    *range = ScaleRange{minimum, maximum, width};
    return true;
}

bool ScaleToCode(const AOSettingsEntry &entry, FLOAT voltage, WORD *code) {
    ScaleRange range;
    if (std::isnan(voltage) || !ResolveScaleRange(entry, &range)) return false;
    *code = CodeInRange(range, voltage);
    return true;
}

DWORD CheckBoard(const DeviceRecord &device) {
    if (device.settings.BoardID == kBoardPci3649L) return DeviceError(device, KtzErrNotSupported);
    if (device.settings.BoardID != kBoardPci3649)
        return DeviceError(device, KtzErrUnsupportedBoard);
    return kSuccess;
}

DWORD Scale(const DeviceRecord &device, WORD channel, FLOAT voltage, WORD *code) {
    // Only the stored entries can be read, whatever the channel.
    if (channel >= kAOSettingsEntries) return DeviceError(device, KtzErrInvalidChannel);
    if (!code) return DeviceError(device, KtzErrInvalidParameter);
    if (!ScaleToCode(device.settings.aoSettings[channel], voltage, code))
        return DeviceError(device, KtzErrInvalidParameter);
    return kSuccess;
}

}  // namespace ktz::ao

using namespace ktz;

extern "C" DWORD WINAPI AOScale(KTZHANDLE handle, WORD channel, FLOAT voltage, WORD *code) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    return device ? ao::Scale(*device, channel, voltage, code) : device.Refusal();
}
