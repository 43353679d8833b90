// The measurement threads: the process-wide slots that track one frequency
// and one pulse-width thread per process, and the threads each record owns.
//
// A thread is never killed. It polls with its stop flag checked in every
// iteration and around every sleep; whoever stops it sets the flag and
// joins it, then closes its handle. A thread that ends by itself is joined
// by the call that takes its result, by CounterReset, or at the last
// DeviceClose of its record, which joins every thread of the record, so no
// thread outlives its record.
#pragma once

#include <windows.h>

#include "counter/counter_state.h"

namespace ktz {

// Whether the kind's process-wide slot names a thread (of any device).
bool CounterSlotBusy(CounterThreadKind kind);
// Clears the kind's slot; the thread runs on and stays the record's.
void ForgetCounterThread(CounterThreadKind kind);
// Creates a thread running `procedure` with its CounterThread as argument,
// tracked by the record and the kind's slot. False when it cannot be
// created; the slot then stays empty and the next call tries again.
bool StartCounterThread(DeviceRecord &device, CounterThreadKind kind,
                        LPTHREAD_START_ROUTINE procedure);

// Stops and joins the record's threads of one kind (a new measurement of
// that kind reprograms the counters they poll).
void StopCounterThreads(DeviceRecord &device, CounterThreadKind kind);
// Stops and joins every thread of the record.
void StopRecordThreads(DeviceRecord &device);
// Stops and joins the threads named by both slots, whatever device they
// belong to, and every thread of the record.
void StopAllCounterThreads(DeviceRecord &device);
// Joins the record's threads that have ended by themselves.
void ReapCounterThreads(DeviceRecord &device);

// On the thread: whether it is asked to stop.
inline bool StopRequested(const CounterThread &thread) { return thread.stop.load(); }
// On the thread: sleeps 1 ms; false if a stop was asked before or during it.
bool PauseOneMillisecond(const CounterThread &thread);
// On the thread, at its end: unless stopped, marks the result ready and
// clears the kind's slot if it still names this thread.
void FinishCounterThread(CounterThread &thread, std::atomic<WORD> &ready);

}  // namespace ktz
