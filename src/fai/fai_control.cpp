// A running acquisition: the driver's progress, its overrun condition, and
// the end of the acquisition by stop or terminate, or by the last close.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "core/device.h"
#include "core/kernel.h"
#include "core/result.h"
#include "fai/fai.h"

namespace ktz::fai {
namespace {

// What a start took for the run, given back once the driver has ended it:
// the driver completes the pending read when it stops (perhaps a while
// after the request that stopped it; `ended` is false when that request
// failed, and the read is then cancelled), writing the read's OVERLAPPED
// in the record and, under some drivers, the buffer. Only then do the
// read's event close and the buffer unlock, so that the application may
// free it.
void ReleaseRun(DeviceRecord &device, bool ended) {
    FaiState &fai = device.fai;
    if (fai.faiReadRequest.hEvent) {
        AwaitRequest(device, fai.faiReadRequest, ended);
        CloseHandle(fai.faiReadRequest.hEvent);
        fai.faiReadRequest.hEvent = nullptr;
    }
    if (fai.faiBufferHandle) GlobalUnlock(fai.faiBufferHandle);
}

}  // namespace

void Stop(DeviceRecord &device) {
    FaiState &fai = device.fai;
    fai.faiClaimed = 0;
    if (!fai.faiRunning) return;
    bool ended = KernelRequest(device, KTZ_IOCTL_FAI_STOP, nullptr, 0, nullptr, 0);
    // Only one of two racing ends releases the run.
    if (fai.faiRunning.exchange(0)) ReleaseRun(device, ended);
}

void Terminate(DeviceRecord &device) {
    FaiState &fai = device.fai;
    fai.faiClaimed = 0;
    if (!fai.faiRunning.exchange(0)) return;
    ReleaseRun(device, KernelRequest(device, KTZ_IOCTL_FAI_TERMINATE, nullptr, 0, nullptr, 0));
}

void Release(DeviceRecord &device) { Terminate(device); }

DWORD Check(const DeviceRecord &device, WORD *stopped, WORD *status1, DWORD *count,
            WORD *status2, WORD *status3) {
    if (!stopped || !status1 || !count || !status2 || !status3)
        return DeviceError(device, KtzErrInvalidParameter);
    KtzFastStatusRecord record{};
    // The reply's error number tells; the request's own result is not consulted.
    SendIgnoringResult(device, KTZ_IOCTL_FAI_STATUS, &record, sizeof record, &record,
                       sizeof record);
    if (record.error != 0) return DeviceStatus(device, record.error);
    *stopped = 0;
    *status1 = record.status1;
    *count = record.count;
    *status2 = record.status2;
    *status3 = record.status3;
    return kSuccess;
}

void ResetOverrun(const DeviceRecord &device) {
    SendIgnoringResult(device, KTZ_IOCTL_FAI_CLEAR_OVERRUN, nullptr, 0, nullptr, 0);
}

}  // namespace ktz::fai

using namespace ktz;

extern "C" {

DWORD WINAPI FAICheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count,
                      WORD *status2, WORD *status3) {
    DeviceUse device(handle);
    return device ? fai::Check(*device, stopped, status1, count, status2, status3)
                  : device.Refusal();
}

DWORD WINAPI ClearOverrun(KTZHANDLE handle) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    fai::ResetOverrun(*device);
    return kSuccess;
}

DWORD WINAPI FAIStop(KTZHANDLE handle) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    fai::Stop(*device);
    return kSuccess;
}

DWORD WINAPI FAITerminate(KTZHANDLE handle) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    fai::Terminate(*device);
    return kSuccess;
}

}  // extern "C"
