// The counters inside the library: their state in the device record, the
// measurement threads, the register work the counter functions share, and
// the arithmetic of counts.
//
// The measurement threads: a process-wide slot tracks one frequency and one
// pulse-width thread per process, and each record owns the threads started
// on it. A thread is never killed. It polls with its stop flag checked in
// every iteration and around every sleep; whoever stops it sets the flag
// and joins it, then closes its handle. A thread that ends by itself is
// joined by the call that takes its result, by CounterReset, or at the last
// DeviceClose of its record (Release), so no thread outlives its record.
#pragma once

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/card_registers.h"

namespace ktz {

struct DeviceRecord;

constexpr int kCounters = card::kCounters;
constexpr WORD kHighestCounter = card::kCounters - 1;

enum class CounterThreadKind { Frequency, PulseWidth };

// A measurement thread (the frequency or the pulse-width wait) and what it
// shares with the callers. The record's list owns it until it has been joined.
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

namespace counter {

// ---- the measurement threads ----

// Whether the kind's process-wide slot names a thread (of any device).
bool SlotBusy(CounterThreadKind kind);
// Clears the kind's slot; the thread runs on and stays the record's.
void ForgetThread(CounterThreadKind kind);
// Creates a thread running `procedure` with its CounterThread as argument,
// tracked by the record and the kind's slot. False when it cannot be
// created; the slot then stays empty and the next call tries again.
bool StartThread(DeviceRecord &device, CounterThreadKind kind, LPTHREAD_START_ROUTINE procedure);
// Stops and joins the record's threads of one kind (a new measurement of
// that kind reprograms the counters they poll).
void StopThreads(DeviceRecord &device, CounterThreadKind kind);
// Stops and joins the threads named by both slots, whatever device they
// belong to, and every thread of the record.
void StopAllThreads(DeviceRecord &device);
// Joins the record's threads that have ended by themselves.
void ReapThreads(DeviceRecord &device);
// At the last close: stops and joins every thread of the record, those
// that a slot has forgotten too.
void Release(DeviceRecord &device);

// On the thread: whether it is asked to stop.
inline bool StopRequested(const CounterThread &thread) { return thread.stop.load(); }
// On the thread: sleeps 1 ms; false if a stop was asked before or during it.
bool PauseOneMillisecond(const CounterThread &thread);
// On the thread, at its end: unless stopped, marks the result ready and
// clears the kind's slot if it still names this thread.
void FinishThread(CounterThread &thread, std::atomic<WORD> &ready);

// ---- register work ----

// The gate and clock setting for a caller's gate mode: 0 held open, 1 and
// 3 the gate line active high, 2 and 4 active low, each with `clock`;
// false (nothing to write) for any other mode.
bool GateConfiguration(WORD gateMode, WORD clock, WORD *value);
// Holds the gate of a counter open and clears its state: the start of
// every counter's setup, before the gate gets its source.
void ClearGate(const DeviceRecord &device, WORD counter);
// Writes each value as a word to the register, in turn.
void WriteWords(const DeviceRecord &device, WORD offset, std::initializer_list<WORD> values);
// A counter's 16-bit value from two word reads of its data register, the
// low byte first; only the low 8 bits of each read count.
WORD ReadValue(const DeviceRecord &device, WORD counter);

// ---- the arithmetic of counts ----

// Event counting (counter_event.cpp): takes the counter's current value
// into the running total of `counter` and gives the total; the overflow
// flag is written only once the counter has wrapped since the start (the
// second phase).
void CountEvents(CounterState &state, WORD counter, WORD current, WORD *overflow, DWORD *count);
// Frequency measurement (counter_freq.cpp): the frequency for a count of
// input edges during the gate of `area` (FreqArea); false for an area above 3.
bool FrequencyFromCount(WORD area, WORD count, FLOAT *frequency);
// Pulse-width measurement (counter_pwm.cpp): microseconds timed by a
// counter that counted down from 0xFFFF to `count` on the clock of `area`
// (PWMArea); false for an area above 3.
bool PulseWidthFromCount(WORD area, WORD count, FLOAT *microseconds);
// Pulse output (counter_pulse.cpp): the clock selector and the mode 3
// divisor for a square wave of `period` seconds; false for a period
// outside 0.0000002 to 6.5535 s or not a number.
bool PulseSetting(FLOAT period, WORD *selector, DWORD *divisor);

}  // namespace counter
}  // namespace ktz
