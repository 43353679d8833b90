// Ending a waveform output: stop (the DMA buffer stays), terminate (the
// buffer is freed and the card's FIFO drains), the drain thread, and the
// end at the last close.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/kernel.h"
#include "core/registers.h"
#include "core/result.h"
#include "fao/fao.h"

namespace ktz::fao {
namespace {

// Room for the requests of the poll and the scheduler beyond the play-out time.
constexpr DWORD kDrainMarginMs = 500;

// Waits until the card's FIFO has run empty (while the card plays it), or
// until FAOTerminate has waited long enough; then signals the output-ended
// event and marks the output ended.
DWORD WINAPI DrainThread(LPVOID parameter) {
    DeviceRecord &device = *static_cast<DeviceRecord *>(parameter);
    if (CardReadByte(device, card::kAoControlHigh) & card::kAoControlHighPlaying) {
        for (;;) {
            CardReadByte(device, card::kStatusHigh);
            if (CardReadByte(device, card::kStatusHigh) & card::kStatusHighOutputFifoEmpty) break;
            if (device.fao.drainStop) break;
        }
    }
    if (HANDLE ended = device.events.eventHandles[kOutputEndedSlot]) SetEvent(ended);
    device.fao.faoRunning = 0;
    return 0;
}

}  // namespace

void CloseStartEvent(FaoState &fao) {
    if (fao.startOverlapped.hEvent) {
        CloseHandle(fao.startOverlapped.hEvent);
        fao.startOverlapped.hEvent = nullptr;
    }
}

void SettleStart(DeviceRecord &device, bool ended) {
    FaoState &fao = device.fao;
    if (!fao.startOverlapped.hEvent) return;
    AwaitRequest(device, fao.startOverlapped, ended);
    CloseStartEvent(fao);
}

DWORD DrainLimitMs(const DeviceRecord &device) {
    const FaoState &fao = device.fao;
    // The FIFO of the last probe, or the larger one when none was probed.
    ULONGLONG samples = fao.fifoSamples ? fao.fifoSamples : card::kLargeOutputFifo;
    // The pacer's own rate; an external clock's is unknown: the slowest
    // rate of the pacer stands in for it.
    ULONGLONG divisor = fao.faoClockSource == 0 && fao.aoPacerDivisor != 0
                            ? fao.aoPacerDivisor
                            : card::kPacerSlowestDivisor;
    constexpr ULONGLONG kTicksPerMs = card::kPacerClockHz / 1000;
    ULONGLONG playOut = (samples * divisor + kTicksPerMs - 1) / kTicksPerMs;
    return static_cast<DWORD>(playOut) + kDrainMarginMs;
}

void Stop(DeviceRecord &device) {
    FaoState &fao = device.fao;
    std::lock_guard end(fao.endLock);
    if (!fao.faoRunning.exchange(0)) return;
    SettleStart(device, KernelRequest(device, KTZ_IOCTL_FAO_STOP, nullptr, 0, nullptr, 0));
}

void Terminate(DeviceRecord &device) {
    FaoState &fao = device.fao;
    std::lock_guard end(fao.endLock);
    if (fao.faoRunning.exchange(0))
        SettleStart(device, KernelRequest(device, KTZ_IOCTL_FAO_TERMINATE, nullptr, 0, nullptr, 0));
    if (fao.faoDmaBuffer) FreeBuffer(device, &fao.faoDmaBuffer);
    if (CardReadByte(device, card::kStatusHigh) & card::kStatusHighOutputFifoEmpty) return;

    // Samples remain in the FIFO: the drain thread waits for them to play
    // out. Its poll is bounded: past the time the FIFO needs (an external
    // clock may have stopped), it is told to give up; the output-ended
    // event is signalled and faoRunning cleared either way.
    fao.drainStop = false;
    HANDLE thread = CreateThread(nullptr, 0, DrainThread, &device, 0, nullptr);
    if (!thread) return;
    if (WaitForSingleObject(thread, DrainLimitMs(device)) != WAIT_OBJECT_0) {
        fao.drainStop = true;
        WaitForSingleObject(thread, INFINITE);
    }
    CloseHandle(thread);
}

void Release(DeviceRecord &device) {
    FaoState &fao = device.fao;
    if (device.settings.BoardID == kBoardPci3649L) {
        // No output runs on this board, but FAODmaExStart may hold a buffer.
        if (fao.faoDmaBuffer) FreeBuffer(device, &fao.faoDmaBuffer);
    } else if (fao.faoRunning || fao.faoDmaBuffer || fao.startOverlapped.hEvent) {
        Terminate(device);
    }
    SettleStart(device, false);  // nothing is pending by now; a start left so is cancelled
}

}  // namespace ktz::fao

using namespace ktz;

extern "C" {

DWORD WINAPI FAOStop(KTZHANDLE handle) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    if (!device) return device.Refusal();
    fao::Stop(*device);
    return kSuccess;
}

DWORD WINAPI FAOTerminate(KTZHANDLE handle) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    if (!device) return device.Refusal();
    fao::Terminate(*device);
    return kSuccess;
}

}  // extern "C"
