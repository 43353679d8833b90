// The start of a fast acquisition: argument checks, the card's channel and
// range queue, the start request to the kernel driver and the overlapped
// read of the whole buffer; and the FIFO depth.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "ai/ai.h"
#include "core/card_registers.h"
#include "core/device.h"
#include "core/kernel.h"
#include "core/registers.h"
#include "core/result.h"
#include "fai/fai.h"

namespace ktz::fai {
namespace {

constexpr WORD kLastChannel = kAiChannels - 1;
constexpr DWORD kMinPostScans = 2;
constexpr DWORD kMaxPostScans = 65535;
constexpr float kMaxTriggerLevel = 10.0f;

// Channel numbers past 15 wrap to 0 once.
DWORD Wrap(DWORD channel) { return channel > kLastChannel ? channel - kAiChannels : channel; }

bool IsPairEven(const DeviceRecord &device, DWORD channel) {
    return channel <= kLastChannel && !(channel & 1) && ai::IsDifferential(device, WORD(channel));
}
bool IsPairOdd(const DeviceRecord &device, DWORD channel) {
    return channel <= kLastChannel && (channel & 1) && ai::IsDifferential(device, WORD(channel));
}

// The last channel the scan reaches: the odd member of a pair takes no scan
// entry, and the scan wraps from 15 to 0, as often as it passes 15.
DWORD StopChannel(const DeviceRecord &device, DWORD start, DWORD scanLength) {
    bool pending = IsPairEven(device, start);
    DWORD stop = start;
    for (DWORD i = 1, n = scanLength; i < n; ++i) {
        DWORD channel = Wrap(start + i);
        if (IsPairOdd(device, channel)) {
            ++n;
        } else {
            stop += pending ? 2 : 1;
            pending = false;
        }
        if (IsPairEven(device, channel)) pending = true;
        stop = Wrap(stop);
    }
    return stop;
}

// One queue entry per scan entry: select the channel, write its range byte.
void ProgramQueue(const DeviceRecord &device, DWORD start, DWORD stop) {
    const FaiState &fai = device.fai;
    CardWriteWord(device, card::kAdControl, card::kAdControlSoftware);
    DWORD channel = start, gain = 0;
    for (DWORD i = 0, n = fai.faiScanLength; i < n; ++i) {
        channel = Wrap(channel);
        if (IsPairOdd(device, channel)) {
            ++channel;
            ++n;
            continue;
        }
        WORD range = fai.faiGains[gain++];
        if (IsPairEven(device, channel))
            range = static_cast<WORD>(range + card::kAdRangeDifferential);
        CardWriteWord(device, card::kAdMux, card::AdMuxWord(channel, channel));
        CardWriteByte(device, card::kAdRange, static_cast<BYTE>(range));
        ++channel;
    }
    CardWriteWord(device, card::kAdMux, card::AdMuxWord(start, stop));
}

// The divisor of the 10 MHz pacer clock for a rate, truncated to 16 bits
// (an external clock's rate is not range-tested; a rate of 0 gives 0).
WORD PacerDivisor(DWORD rate) {
    if (rate == 0) return 0;
    return static_cast<WORD>(card::kPacerClockHz / rate);
}

// -10 V to +10 V as 0 to 255.
WORD TriggerLevelCode(float level) {
    return static_cast<WORD>((static_cast<double>(level) + 10.0) * 255.0 / 20.0);
}

// Asks the driver to stop writing into the buffer of a start it accepted
// but whose read could not be queued.
void AbandonStart(const DeviceRecord &device) {
    SendIgnoringResult(device, KTZ_IOCTL_FAI_TERMINATE, nullptr, 0, nullptr, 0);
}

// The argument checks that follow the claim, in their order.
DWORD CheckStart(const DeviceRecord &device, const StartArguments &a, WORD startChannel) {
    if ((a.triggerMode == 0) != (a.triggerSource == 0))
        return DeviceError(device, KtzErrInvalidParameter);
    if (a.scanLength > kMaxScanLength || startChannel > kLastChannel)
        return DeviceError(device, KtzErrInvalidChannel);
    if ((a.sampleCount & 1) || a.sampleCount == 0 || a.sampleCount > kFaiMaxSamples)
        return DeviceError(device, KtzErrInvalidCount);
    if (a.postTriggerScans < kMinPostScans || a.postTriggerScans > kMaxPostScans)
        return DeviceError(device, KtzErrInvalidParameter);
    if (!a.bufferHandle) return DeviceError(device, KtzErrNoBuffer);
    if (a.clockSource == 0 &&
        (a.sampleRate > card::kPacerMaxRate || a.sampleRate < card::kPacerMinRate))
        return DeviceError(device, KtzErrInvalidPacerRate);
    if (!(a.triggerLevel <= kMaxTriggerLevel && a.triggerLevel >= -kMaxTriggerLevel))
        return DeviceError(device, KtzErrInvalidTriggerLevel);
    if (a.scanLength && !a.gainList) return DeviceError(device, KtzErrInvalidParameter);
    for (WORD i = 0; i < a.scanLength; ++i)
        if (a.gainList[i] > kAiMaxGainCode) return DeviceError(device, KtzErrInvalidGain);
    return kSuccess;
}

}  // namespace

DWORD Start(DeviceRecord &device, const StartArguments &a) {
    FaiState &fai = device.fai;
    if (fai.faiClaimed) return DeviceError(device, KtzErrAcquisitionRunning);
    fai.faiClaimed = 1;  // stays set on every failure from here on

    // The reply word tells; the request's own result is not consulted.
    SendIgnoringResult(device, KTZ_IOCTL_FAI_AVAILABILITY, &fai.faiAvailWord,
                       sizeof fai.faiAvailWord, &fai.faiAvailWord, sizeof fai.faiAvailWord);
    if (fai.faiAvailWord != 0) return DeviceError(device, KtzErrDmaBusy);

    // The odd member of a pair starts the scan on its even channel.
    WORD start = a.startChannel;
    if ((start & 1) && ai::IsDifferential(device, start)) --start;
    if (DWORD rc = CheckStart(device, a, start)) return rc;

    // The driver writes sampleCount words into the buffer: it must hold them.
    DWORD bytes = a.sampleCount * sizeof(WORD);
    if (GlobalSize(a.bufferHandle) < bytes) return DeviceError(device, KtzErrNoBuffer);
    auto *buffer = static_cast<WORD *>(GlobalLock(a.bufferHandle));
    if (!buffer) return DeviceError(device, KtzErrNoBuffer);
    // A start that fails from here on gives the lock back: only a running
    // acquisition holds the buffer (a stop unlocks only what runs). The
    // values of the start stay for the transfers, as after a stop.
    auto refuse = [&](DWORD result) {
        GlobalUnlock(a.bufferHandle);
        return result;
    };

    fai.faiBufferHandle = a.bufferHandle;
    fai.faiBuffer = buffer;
    fai.faiCount = a.sampleCount;
    fai.faiScanLength = a.scanLength;
    fai.faiTriggerMode = a.triggerMode;
    fai.faiPostScans = static_cast<WORD>(a.postTriggerScans);
    for (WORD i = 0; i < a.scanLength; ++i) fai.faiGains[i] = a.gainList[i];

    DWORD stop = StopChannel(device, start, a.scanLength);
    ProgramQueue(device, start, stop);
    fai.aiPacerDivisor = PacerDivisor(a.sampleRate);

    KtzFaiStartRequest request{};
    request.eventEnabled = device.events.eventEnabled;
    request.eventType = device.events.eventType;
    request.eventCount = device.events.eventCount;
    request.sampleCount = a.sampleCount;
    request.triggerSource = a.triggerSource;
    request.option1 = a.option1;
    request.option3 = a.option3;
    request.pacerDivisor = fai.aiPacerDivisor;
    request.triggerMode = a.triggerMode;
    request.triggerLevelCode = TriggerLevelCode(a.triggerLevel);
    request.postTriggerScans = a.postTriggerScans;
    request.clockSource = a.clockSource;
    request.option2 = a.option2;
    request.multiplexer = card::AdMuxWord(start, stop);
    // The reply's status tells; the request's own result is not consulted
    // (a start the driver did not take fails at the read).
    SendIgnoringResult(device, KTZ_IOCTL_FAI_START, &request, sizeof request, &request,
                       sizeof request);
    if (request.status != 0) return refuse(DeviceStatus(device, request.status));

    OVERLAPPED &read = fai.faiReadRequest;
    read = OVERLAPPED{};
    read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!read.hEvent) {
        AbandonStart(device);
        return refuse(DeviceError(device, KtzErrEventCreate));
    }
    if (!ReadFile(device.kernelHandle, buffer, bytes, nullptr, &read) &&
        GetLastError() != ERROR_IO_PENDING) {
        AbandonStart(device);
        CloseHandle(read.hEvent);  // no read will signal it
        read.hEvent = nullptr;
        return refuse(DeviceError(device, KtzErrTransferStart));
    }
    fai.faiRunning = 1;
    // Yield the rest of the time slice: the driver's side of the new
    // acquisition gets the processor before the caller goes on.
    Sleep(0);
    return kSuccess;
}

DWORD FifoSize(const DeviceRecord &device, DWORD *size) {
    if (!size) return DeviceError(device, KtzErrInvalidParameter);
    *size = card::kAdFifoSamples;
    return kSuccess;
}

}  // namespace ktz::fai

using namespace ktz;

extern "C" {

DWORD WINAPI FAIDmaExStart(KTZHANDLE handle, WORD triggerSource, WORD triggerMode,
                           WORD clockSource, WORD option1, WORD option2, FLOAT triggerLevel,
                           WORD option3, WORD scanLength, WORD startChannel,
                           DWORD postTriggerScans, DWORD sampleCount, DWORD sampleRate,
                           WORD *gainList, DWORD, DWORD, HGLOBAL bufferHandle, DWORD, DWORD,
                           DWORD, DWORD) {
    DeviceUse device(handle, BoardCheck::Known);
    if (!device) return device.Refusal();
    return fai::Start(*device, {triggerSource, triggerMode, clockSource, option1, option2,
                                triggerLevel, option3, scanLength, startChannel,
                                postTriggerScans, sampleCount, sampleRate, gainList,
                                bufferHandle});
}

DWORD WINAPI GetFIFOSize(KTZHANDLE handle, DWORD *size) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? fai::FifoSize(*device, size) : device.Refusal();
}

}  // extern "C"
