// Waveform output status, the driver's output flags, and voltages scaled to
// output codes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "ao/ao.h"
#include "core/device.h"
#include "core/kernel.h"
#include "core/result.h"
#include "fao/fao.h"

namespace ktz::fao {
namespace {

// The flags ClearFlag accepts: underrun, high half and low half transferred.
constexpr DWORD kFlagCodes[] = {0x2805, 0x2806, 0x2807};

// The driver's progress record; the request's own result is not consulted.
DWORD ReadStatus(const DeviceRecord &device, KtzFastStatusRecord *status) {
    *status = KtzFastStatusRecord{};
    SendIgnoringResult(device, KTZ_IOCTL_FAO_STATUS, status, sizeof *status, status,
                       sizeof *status);
    if (status->error != 0) return DeviceStatus(device, status->error);
    return kSuccess;
}

}  // namespace

DWORD Check(const DeviceRecord &device, WORD *stopped, WORD *status1, DWORD *count, WORD *zero,
            WORD *status3) {
    if (!stopped || !status1 || !count || !zero || !status3)
        return DeviceError(device, KtzErrInvalidParameter);
    KtzFastStatusRecord status;
    if (DWORD rc = ReadStatus(device, &status)) return rc;
    *stopped = 0;
    *status1 = status.status1;
    *count = status.count;
    *zero = 0;  // status word 2 is FAOCheckEx's
    *status3 = status.status3;
    return kSuccess;
}

DWORD CheckEx(const DeviceRecord &device, WORD *stopped, WORD *status1, WORD *status3,
              DWORD *count, WORD *status2) {
    if (!stopped || !status1 || !status3 || !count || !status2)
        return DeviceError(device, KtzErrInvalidParameter);
    KtzFastStatusRecord status;
    if (DWORD rc = ReadStatus(device, &status)) return rc;
    *stopped = 0;
    *status1 = status.status1;
    *status3 = status.status3;
    *count = status.count;
    *status2 = status.status2;
    return kSuccess;
}

DWORD ClearOutputFlag(const DeviceRecord &device, DWORD flagCode) {
    if (std::find(std::begin(kFlagCodes), std::end(kFlagCodes), flagCode) == std::end(kFlagCodes))
        return Bare(KtzErrInvalidParameter);
    SendIgnoringResult(device, KTZ_IOCTL_FAO_CLEAR_FLAG, &flagCode, sizeof flagCode, nullptr, 0);
    return kSuccess;
}

DWORD ScaleTable(const DeviceRecord &device, WORD channel, DWORD count, FLOAT *voltages,
                 WORD *codes) {
    if (count == 0) return DeviceError(device, KtzErrInvalidCount);
    // Only the stored entries can be read.
    if (channel >= kAOSettingsEntries) return DeviceError(device, KtzErrInvalidChannel);
    if (!voltages || !codes) return DeviceError(device, KtzErrInvalidParameter);
    // A range without width, or a voltage that is not a number, has no
    // code: the table is refused before any code is written.
    ao::ScaleRange range;
    if (!ao::ResolveScaleRange(device.settings.aoSettings[channel], &range) ||
        std::any_of(voltages, voltages + count, [](FLOAT v) { return std::isnan(v); }))
        return DeviceError(device, KtzErrInvalidParameter);
    // From the last voltage to the first, each scaled as AOScale does. The
    // copies keep that order where the code table overlaps the voltages.
    for (DWORD i = count; i-- > 0;) {
        FLOAT voltage;
        std::memcpy(&voltage, voltages + i, sizeof voltage);
        WORD code = ao::CodeInRange(range, voltage);
        std::memcpy(codes + i, &code, sizeof code);
    }
    return kSuccess;
}

}  // namespace ktz::fao

using namespace ktz;

extern "C" {

DWORD WINAPI FAOCheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count, WORD *zero,
                      WORD *status3) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    return device ? fao::Check(*device, stopped, status1, count, zero, status3) : device.Refusal();
}

DWORD WINAPI FAOCheckEx(KTZHANDLE handle, WORD *stopped, WORD *status1, WORD *status3,
                        DWORD *count, WORD *status2) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    return device ? fao::CheckEx(*device, stopped, status1, status3, count, status2)
                  : device.Refusal();
}

DWORD WINAPI ClearFlag(KTZHANDLE handle, DWORD flagCode) {
    DeviceUse device(handle);
    return device ? fao::ClearOutputFlag(*device, flagCode) : device.Refusal();
}

DWORD WINAPI FAOScale(KTZHANDLE handle, WORD channel, DWORD count, FLOAT *voltages, WORD *codes) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    return device ? fao::ScaleTable(*device, channel, count, voltages, codes) : device.Refusal();
}

}  // extern "C"
