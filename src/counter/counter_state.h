// Counter state kept in the device record.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

namespace ktz {

struct DeviceRecord;

constexpr int kCounters = 3;

enum class CounterThreadKind { Frequency, PulseWidth };

// A measurement thread (CounterFreqWait or PWMWait) and what it shares with
// the callers. The record's list owns it until it has been joined.
struct CounterThread {
    DeviceRecord *device = nullptr;
    CounterThreadKind kind = CounterThreadKind::Frequency;
    HANDLE handle = nullptr;  // closed when the thread is joined
    DWORD id = 0;
    std::atomic<bool> stop{false};  // asks the thread to end without a result
    std::atomic<bool> done{false};  // set before the thread's result: it ends now
};

struct CounterState {
    // Event counting, per counter.
    DWORD evtFirstPhase[kCounters] = {};
    DWORD evtOverflows[kCounters] = {};
    DWORD evtLastCount[kCounters] = {};
    DWORD evtAccumulated[kCounters] = {};
    // Set by the measurement threads, read by the callers.
    std::atomic<WORD> freqReady{0};
    std::atomic<WORD> pwmReady{0};
    // Every measurement thread of the record that has not been joined yet,
    // including those that a process-wide slot has forgotten. Guarded by
    // the counter thread lock (counter_threads.cpp).
    std::vector<std::unique_ptr<CounterThread>> threads;
};

}  // namespace ktz
