// Counter state kept in the device record.
#pragma once

#include <windows.h>

#include <atomic>

namespace ktz {

constexpr int kCounters = 3;

struct CounterState {
    // Event counting, per counter.
    DWORD evtFirstPhase[kCounters] = {};
    DWORD evtOverflows[kCounters] = {};
    DWORD evtLastCount[kCounters] = {};
    DWORD evtAccumulated[kCounters] = {};
    // Set by the measurement threads, read by the callers.
    std::atomic<WORD> freqReady{0};
    std::atomic<WORD> pwmReady{0};
};

}  // namespace ktz
