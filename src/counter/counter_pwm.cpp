// Pulse-width measurement: counters 2 and 1 count the PWMArea clock through
// one high and one low phase of the input, armed in turn by a thread.
#include <ktz3649.h>

#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter_math.h"
#include "counter/counter_registers.h"
#include "counter/counter_threads.h"

namespace ktz {
namespace {

constexpr WORD kHighPhaseGate = 0x31;  // counter 2: the high phase
constexpr WORD kLowPhaseGate = 0x71;   // counter 1: the low phase
constexpr WORD kArm = 0x100;
constexpr WORD kPhasePending = 0x800;  // status: armed, waiting or timing
constexpr DWORD kArmRepeats = 1000001;
constexpr DWORD kPhaseReads = 10000001;

// Reads the register until the phase has been timed; false if stopped.
bool WaitForPhase(const CounterThread &thread, WORD offset) {
    for (DWORD i = 0; i < kPhaseReads; ++i) {
        if (StopRequested(thread)) return false;
        if (!(CardReadWord(*thread.device, offset) & kPhasePending)) break;
    }
    return true;
}

}  // namespace

bool PulseWidthFromCount(WORD area, WORD count, FLOAT *microseconds) {
    LONG ticks = 0xFFFF - count;
    switch (area) {
    case 0: *microseconds = static_cast<FLOAT>(static_cast<double>(ticks) * 0.1); return true;
    case 1: *microseconds = static_cast<FLOAT>(ticks); return true;
    case 2: *microseconds = static_cast<FLOAT>(ticks * 10); return true;
    case 3: *microseconds = static_cast<FLOAT>(ticks * 100); return true;
    default: return false;
    }
}

// Arms counter 2 until the card reports the phase measurement pending and
// waits for the high phase, then arms counter 1 and waits for the low one.
DWORD WINAPI PWMWait(LPVOID parameter) {
    auto &thread = *static_cast<CounterThread *>(parameter);
    const DeviceRecord &device = *thread.device;
    const WORD high = CounterGate(2), low = CounterGate(1);
    bool running = true;
    for (DWORD i = 0; running && i < kArmRepeats; ++i) {
        CardWriteWord(device, high, kArm | kHighPhaseGate);
        if (!(running = PauseOneMillisecond(thread))) break;
        WORD status = CardReadWord(device, high);
        CardWriteWord(device, high, kHighPhaseGate);
        running = PauseOneMillisecond(thread);
        if (status & kPhasePending) break;
    }
    if (running && WaitForPhase(thread, high)) {
        CardWriteWord(device, low, kArm | kLowPhaseGate);
        if (PauseOneMillisecond(thread)) {
            CardWriteWord(device, low, kLowPhaseGate);
            WaitForPhase(thread, low);
        }
    }
    FinishCounterThread(thread, thread.device->counter.pwmReady);
    return 0;
}

}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI PWMStartRead(KTZHANDLE handle, DWORD, FLOAT *firstTime, FLOAT *secondTime) {
    DWORD result;
    DeviceRecord *device = FindKnownDevice(handle, &result);
    if (!device) return result;
    if (!firstTime || !secondTime) return DeviceError(*device, ErrInvalidParameter);

    CounterState &state = device->counter;
    // The slot first: a thread sets its result before it clears its slot.
    if (!CounterSlotBusy(CounterThreadKind::PulseWidth) && state.pwmReady == 0) {
        StopCounterThreads(*device, CounterThreadKind::PulseWidth);
        state.pwmReady = 0;
        CardWriteWord(*device, kClockSelector, device->settings.PWMArea);
        CardWriteWord(*device, kCounterControl, 0x70);  // counter 1, mode 0
        WriteWords(*device, CounterData(1), {0xFF, 0xFF});
        CardWriteWord(*device, kCounterControl, 0xB0);  // counter 2, mode 0
        WriteWords(*device, CounterData(2), {0xFF, 0xFF});
        WriteWords(*device, CounterGate(2), {0x80, 0x88, kHighPhaseGate});
        WriteWords(*device, CounterGate(1), {0x80, 0x88, kLowPhaseGate});
        StartCounterThread(*device, CounterThreadKind::PulseWidth, PWMWait);
        return kSuccess;  // the first call of a measurement gives no value
    }
    if (state.pwmReady == 1) {
        WORD second = ReadCounterValue(*device, 1);
        WORD first = ReadCounterValue(*device, 2);
        WORD area = device->settings.PWMArea;
        PulseWidthFromCount(area, first, firstTime);
        PulseWidthFromCount(area, second, secondTime);
        state.pwmReady = 0;
        ReapCounterThreads(*device);
    }
    return kSuccess;
}

}  // extern "C"
