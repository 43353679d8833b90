// Fast analog input inside the library: its state in the device record,
// the verbs of the exports, what event notification and the last close
// call, and the scaling that the transfer and the benchmark share.
#pragma once

#include <windows.h>

#include <atomic>

#include "core/card_registers.h"

namespace ktz {

struct DeviceRecord;

constexpr int kMaxScanLength = 16;

struct FaiState {
    WORD faiScanLength = 0;
    WORD faiGains[kMaxScanLength] = {};
    WORD *faiBuffer = nullptr;          // the locked address of the application's buffer
    HGLOBAL faiBufferHandle = nullptr;  // the application's global memory block
    DWORD faiCount = 0;                 // samples in the buffer
    OVERLAPPED faiReadRequest = {};     // the pending read of the whole buffer
    std::atomic<WORD> faiRunning{0};
    WORD faiAvailWord = 0;
    WORD faiTriggerMode = 0;
    WORD faiPostScans = 0;
    std::atomic<WORD> faiClaimed{0};
    WORD aiPacerDivisor = 0;
};

// The largest sample count of one acquisition.
constexpr DWORD kFaiMaxSamples = 1024000;
// The trigger mode whose buffer FAITransfer reorders around the marker.
constexpr WORD kFaiAboutTrigger = 3;
// Bit 15 of a sample: taken after the trigger (about-trigger mode).
constexpr WORD kFaiTriggerMarker = 0x8000;
// Bits 0 to 11 of a sample: the conversion result.
constexpr WORD kFaiCodeMask = card::kAdResultMask;

namespace fai {

// The arguments of FAIDmaExStart that it reads.
struct StartArguments {
    WORD triggerSource, triggerMode, clockSource, option1, option2;
    float triggerLevel;
    WORD option3, scanLength, startChannel;
    DWORD postTriggerScans, sampleCount, sampleRate;
    const WORD *gainList;
    HGLOBAL bufferHandle;
};

// The verbs of the exports, after the handle (and board) check.
DWORD Start(DeviceRecord &device, const StartArguments &arguments);  // FAIDmaExStart
DWORD FifoSize(const DeviceRecord &device, DWORD *size);              // GetFIFOSize
DWORD Check(const DeviceRecord &device, WORD *stopped, WORD *status1,  // FAICheck
            DWORD *count, WORD *status2, WORD *status3);
DWORD Transfer(const DeviceRecord &device, void *destination,  // FAITransfer
               WORD dataType, DWORD start, DWORD count);
DWORD FindTrigger(const DeviceRecord &device, DWORD *triggerIndex);  // FAIWatchdogCheck
void ResetOverrun(const DeviceRecord &device);                        // ClearOverrun
void Stop(DeviceRecord &device);                                      // FAIStop
void Terminate(DeviceRecord &device);                                 // FAITerminate
// At the last close: the driver stops writing into the buffer before the
// record goes (Terminate), and the events can then close.
void Release(DeviceRecord &device);

// The index of the sample just after the first clear-to-set change of the
// marker bit in buffer[0..count), or 0 when there is none.
DWORD FirstMarker(const WORD *buffer, DWORD count);

// Volts of fast-input samples. The volts of every 12-bit code of a range
// are computed once by AIScale, exactly as scaling sample by sample does;
// where (code - offset) x step gives those same floats bit for bit (checked
// for all 4096 codes when the range is first used), transfers compute
// instead of looking up, in blocks that the compiler vectorises.
constexpr DWORD kCodes = 4096;
constexpr DWORD kBlock = 16;  // samples per call of ScaleBlock

struct Scale {
    const FLOAT *volts;  // the volts of the codes 0 to 4095
    INT offset;          // counts of 0 V
    FLOAT step;          // volts per count
    bool exact;          // (code - offset) x step equals volts[code] for every code
};

// The scaling of a gain code, or null for a gain code without a scaling
// entry. Lives as long as the process.
const Scale *ScaleOf(const DeviceRecord &device, WORD gainCode);

// out[j] = (source[j] AND 0xFFF - offsets[j]) x steps[j] for j < kBlock.
inline void ScaleBlock(const WORD *__restrict source, FLOAT *__restrict out,
                       const INT *__restrict offsets, const FLOAT *__restrict steps) {
    for (DWORD j = 0; j < kBlock; ++j)
        out[j] = static_cast<FLOAT>(static_cast<INT>(source[j] & 0x0FFF) - offsets[j]) * steps[j];
}

}  // namespace fai
}  // namespace ktz
