// Waveform-output state kept in the device record.
#pragma once

#include <windows.h>

#include <atomic>

#include <ktz3649_driver.h>

namespace ktz {

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
};

}  // namespace ktz
