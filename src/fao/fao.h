// Waveform output inside the library: its state in the device record, the
// verbs of the exports, and what event notification and the last close call.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>

#include <ktz3649_driver.h>

namespace ktz {

struct DeviceRecord;

struct FaoState {
    OVERLAPPED startOverlapped = {};  // the pending start request's overlapped record
    std::atomic<WORD> faoRunning{0};  // shared with the drain thread
    DWORD sampleCount = 0;
    WORD faoClockSource = 0;
    WORD aoAvailWord = 0;
    KtzFaoStartRequest startRequest = {};  // kept here: the driver completes it later
    DWORD startBytes = 0;
    WORD aoPacerDivisor = 0;
    DWORD faoDmaBuffer = 0;
    DWORD fifoSamples = 0;            // the FIFO size the last start probed; 0 before
    std::atomic<bool> drainStop{false};  // set when the drain has polled long enough
    // FAOStop and FAOTerminate one at a time (the application's thread and
    // the CheckEvent thread may both end an output): one of them sends its
    // request and closes the start's event, one drain runs at a time.
    std::mutex endLock;
};

namespace fao {

// The verbs of the exports, after the handle (and board) check.
DWORD ExStart(DeviceRecord &device, WORD option, DWORD rate, WORD channel,  // FAODmaExStart
              WORD channelCount, WORD clockSource, WORD *samples, DWORD sampleCount, WORD mode);
DWORD Start(DeviceRecord &device, WORD option, DWORD rate, WORD channel,  // FAODmaStart
            WORD *samples, DWORD sampleCount);
// The samples to the driver's DMA buffer: the start's load request
// (FAODmaStartLoad) or the load of a running output (FAOLoad).
void Load(const DeviceRecord &device, DWORD code, WORD *samples, DWORD loadArgument,
          DWORD sampleCount);
DWORD AllocateBuffer(DeviceRecord &device, WORD mode, DWORD size,  // AllocateDMABuffer
                     DWORD *sizeObtained, DWORD *address);
DWORD FreeBuffer(const DeviceRecord &device, DWORD *address);  // FreeDMABuffer
DWORD Check(const DeviceRecord &device, WORD *stopped, WORD *status1,  // FAOCheck
            DWORD *count, WORD *zero, WORD *status3);
DWORD CheckEx(const DeviceRecord &device, WORD *stopped, WORD *status1,  // FAOCheckEx
              WORD *status3, DWORD *count, WORD *status2);
DWORD ClearOutputFlag(const DeviceRecord &device, DWORD flagCode);  // ClearFlag
DWORD ScaleTable(const DeviceRecord &device, WORD channel,     // FAOScale
                 DWORD count, FLOAT *voltages, WORD *codes);
void Stop(DeviceRecord &device);                               // FAOStop
// FAOTerminate: ends a running output, frees the DMA buffer that
// FAODmaExStart obtained and waits, within a bound, for the FIFO to play out.
void Terminate(DeviceRecord &device);
// At the last close: terminates a running output (a PCI-3649L may hold a
// DMA buffer of FAODmaExStart), and closes the start request's event.
void Release(DeviceRecord &device);

// Closes the event of the start request's overlapped record, if open.
void CloseStartEvent(FaoState &fao);
// Waits until the start request is no longer pending (see AwaitRequest;
// `ended`: the driver accepted a stop or terminate), then closes its event.
void SettleStart(DeviceRecord &device, bool ended);
// The longest the drain waits for the FIFO to play out, in milliseconds.
DWORD DrainLimitMs(const DeviceRecord &device);

}  // namespace fao
}  // namespace ktz
