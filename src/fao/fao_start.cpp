// Waveform output start: the kernel driver's DMA buffer, the samples handed
// to it, the FIFO probe, and the start request that stays pending while the
// output runs.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "ao/ao.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/kernel.h"
#include "core/registers.h"
#include "core/result.h"
#include "fao/fao.h"

namespace ktz::fao {
namespace {

// The most samples whose byte size fits the 32 bits of the requests.
constexpr DWORD kMaxSampleCount = 0x7FFFFFFF;


// Fills the FIFO with 4096 words and tells its size from the status bits:
// a 4096-sample FIFO is then full. Returns the smallest sample count the
// output accepts, the FIFO size.
DWORD ProbeFifo(const DeviceRecord &device) {
    CardWriteWord(device, card::kStatus, card::kStatusOutputFifoReset);
    // The channel bits stay, and the external clock if that is the source.
    WORD keep = card::kAoControlChannelBits;
    if (device.fao.faoClockSource != 0) keep |= card::kAoControlExternalClock;
    CardWriteWord(device, card::kAoControl, CardReadWord(device, card::kAoControl) & keep);
    for (DWORD i = 0; i < card::kSmallOutputFifo; ++i) CardWriteWord(device, card::kAoFifo, 1);
    WORD status = CardReadWord(device, card::kStatus);
    CardWriteWord(device, card::kStatus, card::kStatusOutputFifoReset);
    constexpr WORD kFull = card::kStatusOutputFifoHalfFull | card::kStatusOutputFifoFull;
    return (status & kFull) == kFull ? card::kSmallOutputFifo : card::kLargeOutputFifo;
}

// The range and reference bits of both channels (tests of their own, not
// those of the single-value output) and the chosen channels in bits 8-10.
WORD OutputControlWord(const DeviceRecord &device, WORD channel) {
    WORD control = 0;
    for (WORD c = 0; c < card::kAoChannels; ++c) {
        const AOSettingsEntry &entry = device.settings.aoSettings[c];
        WORD bits = 0;
        if (entry.maximum > 5.0f) bits |= card::kAoControlRangeHigh;
        if (entry.referenceSource == kReferenceExternalUnipolar) bits |= card::kAoControlExternal;
        if (entry.minimum < 0.0f) bits |= card::kAoControlBipolar;
        control |= card::AoControlBits(c, bits);
    }
    // The paths: 1 channel 0, 2 channel 1, 3 both.
    return static_cast<WORD>(control | ((channel & 3) + 1) * card::AoControlPath(0));
}

// Whether the start request of an earlier start is still pending. The
// event of a finished one is closed here, so that a new start does not
// leak it.
bool StartStillPending(DeviceRecord &device) {
    HANDLE event = device.fao.startOverlapped.hEvent;
    if (!event) return false;
    if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0) return true;
    CloseHandle(event);
    device.fao.startOverlapped.hEvent = nullptr;
    return false;
}

}  // namespace

void Load(const DeviceRecord &device, DWORD code, WORD *samples, DWORD loadArgument,
          DWORD sampleCount) {
    KtzLoadRequest load{};
    load.one = 1;
    load.samples = reinterpret_cast<ULONG_PTR>(samples);
    load.loadArgument = loadArgument;
    load.sampleCount = sampleCount;
    // The driver reads the samples straight from the output buffer. A byte
    // size past 32 bits wraps here, and the driver refuses the mismatch.
    // The load's outcome is not consulted.
    SendIgnoringResult(device, code, &load, sizeof load, samples, sampleCount * 2);
}

DWORD AllocateBuffer(DeviceRecord &device, WORD mode, DWORD size, DWORD *sizeObtained,
                     DWORD *address) {
    WORD &avail = device.fao.aoAvailWord;
    // The reply word tells; the request's own result is not consulted.
    SendIgnoringResult(device, KTZ_IOCTL_DMA_AVAILABILITY, &avail, sizeof avail, &avail,
                       sizeof avail);
    if (avail != 0) return DeviceError(device, KtzErrDmaBusy);
    if (!sizeObtained || !address) return DeviceError(device, KtzErrInvalidParameter);

    KtzDmaBufferRequest request{};
    request.mode = mode;
    request.requestedSize = size;
    // The replies tell (a request that failed leaves them 0, the size
    // obtained too); its own result is not consulted.
    SendIgnoringResult(device, KTZ_IOCTL_DMA_ALLOCATE, &request, sizeof request, &request,
                       sizeof request);
    *sizeObtained = request.obtainedSize;
    *address = request.address;
    if (request.status != 0) return DeviceStatus(device, request.status);
    return kSuccess;
}

DWORD FreeBuffer(const DeviceRecord &device, DWORD *address) {
    if (!address) return DeviceError(device, KtzErrInvalidParameter);
    // The outcome is not reported, but a buffer the driver still holds
    // stays named: a later FAOTerminate (or the last close) frees it, and
    // the caller's variable shows it.
    if (KernelRequest(device, KTZ_IOCTL_DMA_FREE, nullptr, 0, nullptr, 0)) *address = 0;
    return kSuccess;
}

DWORD Start(DeviceRecord &device, WORD option, DWORD rate, WORD channel, WORD *samples,
            DWORD sampleCount) {
    FaoState &fao = device.fao;
    if (!samples) return DeviceError(device, KtzErrNoBuffer);
    if (fao.faoClockSource == 0 && (rate > card::kPacerMaxRate || rate < card::kPacerMinRate))
        return DeviceError(device, KtzErrInvalidSetting);
    // The driver writes into the overlapped record of a pending start: a
    // second start must not reuse it, nor probe the FIFO under a running output.
    if (StartStillPending(device)) return DeviceError(device, KtzErrDmaBusy);

    DWORD minimum = ProbeFifo(device);
    fao.fifoSamples = minimum;
    if (sampleCount < minimum) return DeviceError(device, KtzErrInvalidSetting);
    WORD control = OutputControlWord(device, channel);

    fao.startOverlapped = OVERLAPPED{};
    fao.startOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!fao.startOverlapped.hEvent) return DeviceError(device, KtzErrEventCreate);

    // With an external clock the rate may be 0: the divisor is then 0 too.
    WORD divisor = rate ? static_cast<WORD>(card::kPacerClockHz / rate) : 0;
    KtzFaoStartRequest &request = fao.startRequest;
    request = KtzFaoStartRequest{};
    request.eventEnabled = device.events.eventEnabled;
    request.eventType = device.events.eventType;
    request.eventCount = device.events.eventCount;
    request.sampleCount = sampleCount;
    request.option = option;
    request.pacerDivisor = divisor;
    request.control = control;
    fao.aoPacerDivisor = divisor;
    fao.sampleCount = sampleCount;

    Load(device, KTZ_IOCTL_FAO_START_LOAD, samples, 0, sampleCount);
    // Pending while the output runs; the driver completes it at the end.
    // Its result is not consulted, but a request that failed at once has
    // nothing pending that the event could announce: it closes now, and
    // the ends of the output wait for nothing.
    if (!KernelRequest(device, KTZ_IOCTL_FAO_START, &request, sizeof request, &request,
                       sizeof request, &fao.startBytes, &fao.startOverlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        CloseStartEvent(fao);
    fao.faoRunning = 1;
    if (request.status != 0) return DeviceStatus(device, request.status);
    return kSuccess;
}

DWORD ExStart(DeviceRecord &device, WORD option, DWORD rate, WORD channel, WORD channelCount,
              WORD clockSource, WORD *samples, DWORD sampleCount, WORD mode) {
    device.fao.faoClockSource = clockSource;  // kept also when the start is refused
    if (sampleCount > kMaxSampleCount) return DeviceError(device, KtzErrInvalidSetting);
    DWORD size = sampleCount * 2, obtained = 0;
    if (DWORD rc = AllocateBuffer(device, mode, size, &obtained, &device.fao.faoDmaBuffer))
        return rc;
    if (obtained < size) return Bare(KtzErrMemoryAlloc);
    if (channelCount > 1) channel = 2;
    // The board is tested after the buffer: a PCI-3649L keeps one until
    // FreeDMABuffer or the last close.
    if (device.settings.BoardID == kBoardPci3649L) return DeviceError(device, KtzErrNotSupported);
    return Start(device, option, rate, channel, samples, sampleCount);
}

}  // namespace ktz::fao

using namespace ktz;

extern "C" {

DWORD WINAPI FAODmaStartLoad(KTZHANDLE handle, WORD, WORD *samples, DWORD loadArgument,
                             DWORD sampleCount) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    if (!device) return device.Refusal();
    fao::Load(*device, KTZ_IOCTL_FAO_START_LOAD, samples, loadArgument, sampleCount);
    return kSuccess;
}

DWORD WINAPI FAOLoad(KTZHANDLE handle, WORD, WORD *samples, DWORD loadArgument,
                     DWORD sampleCount) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    fao::Load(*device, KTZ_IOCTL_FAO_LOAD, samples, loadArgument, sampleCount);
    return kSuccess;
}

DWORD WINAPI FAOIntStart(KTZHANDLE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD) {
    return kSuccess;  // interrupt-driven output is not offered
}

DWORD WINAPI AllocateDMABuffer(KTZHANDLE handle, WORD mode, DWORD size, DWORD *sizeObtained,
                               DWORD *address) {
    DeviceUse device(handle);
    return device ? fao::AllocateBuffer(*device, mode, size, sizeObtained, address)
                  : device.Refusal();
}

DWORD WINAPI FreeDMABuffer(KTZHANDLE handle, DWORD *addressVar) {
    DeviceUse device(handle);
    return device ? fao::FreeBuffer(*device, addressVar) : device.Refusal();
}

DWORD WINAPI FAODmaStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel, WORD *samples,
                         DWORD sampleCount) {
    DeviceUse device(handle, BoardCheck::NotPci3649L);
    return device ? fao::Start(*device, option, rate, channel, samples, sampleCount)
                  : device.Refusal();
}

DWORD WINAPI FAODmaExStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel,
                           WORD channelCount, WORD clockSource, WORD *samples, DWORD sampleCount,
                           WORD mode) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    return fao::ExStart(*device, option, rate, channel, channelCount, clockSource, samples,
                        sampleCount, mode);
}

}  // extern "C"
