// Pulse-width measurement: counters 2 and 1 count the PWMArea clock through
// one high and one low phase of the input, armed in turn by a thread.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter.h"

namespace ktz::counter {
namespace {

constexpr WORD kHighCounter = 2;  // times the high phase
constexpr WORD kLowCounter = 1;   // times the low phase
// Gated by a phase of the input (the low one inverted), on the PWMArea clock.
constexpr WORD kHighPhaseGate = card::kGatePhase | card::kGateClockSelected;
constexpr WORD kLowPhaseGate = card::kGatePhase | card::kGateInvert | card::kGateClockSelected;
constexpr DWORD kArmRepeats = 1000001;
constexpr DWORD kPhaseReads = 10000001;

// Reads the register until the phase has been timed; false if stopped.
bool WaitForPhase(const CounterThread &thread, WORD offset) {
    for (DWORD i = 0; i < kPhaseReads; ++i) {
        if (StopRequested(thread)) return false;
        if (!(CardReadWord(*thread.device, offset) & card::kGateStatusPending)) break;
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

namespace {

// Arms counter 2 until the card reports the phase measurement pending and
// waits for the high phase, then arms counter 1 and waits for the low one.
DWORD WINAPI PulseWidthWait(LPVOID parameter) {
    auto &thread = *static_cast<CounterThread *>(parameter);
    const DeviceRecord &device = *thread.device;
    const WORD high = card::CounterGate(kHighCounter), low = card::CounterGate(kLowCounter);
    bool running = true;
    for (DWORD i = 0; running && i < kArmRepeats; ++i) {
        CardWriteWord(device, high, card::kGateArm | kHighPhaseGate);
        if (!(running = PauseOneMillisecond(thread))) break;
        WORD status = CardReadWord(device, high);
        CardWriteWord(device, high, kHighPhaseGate);
        running = PauseOneMillisecond(thread);
        if (status & card::kGateStatusPending) break;
    }
    if (running && WaitForPhase(thread, high)) {
        CardWriteWord(device, low, card::kGateArm | kLowPhaseGate);
        if (PauseOneMillisecond(thread)) {
            CardWriteWord(device, low, kLowPhaseGate);
            WaitForPhase(thread, low);
        }
    }
    FinishThread(thread, thread.device->counter.pwmReady);
    return 0;
}

}  // namespace

DWORD ReadPulseWidths(DeviceRecord &device, FLOAT *firstTime, FLOAT *secondTime) {
    if (!firstTime || !secondTime) return DeviceError(device, KtzErrInvalidParameter);

    CounterState &state = device.counter;
    // The slot first: a thread sets its result before it clears its slot.
    if (!SlotBusy(CounterThreadKind::PulseWidth) && state.pwmReady == 0) {
        StopThreads(device, CounterThreadKind::PulseWidth);
        state.pwmReady = 0;
        CardWriteWord(device, card::kCounterClock, device.settings.PWMArea);
        // Both counters count the PWMArea clock down from 0xFFFF...
        for (WORD counter : {kLowCounter, kHighCounter}) {
            CardWriteWord(device, card::kCounterControl,
                          card::ControlWord8254(counter, card::Access8254::LowThenHigh,
                                                card::kMode8254Count));
            WriteWords(device, card::CounterData(counter), {0xFF, 0xFF});
        }
        // ...counter 2 through the input's high phase, counter 1 through its low one.
        ClearGate(device, kHighCounter);
        CardWriteWord(device, card::CounterGate(kHighCounter), kHighPhaseGate);
        ClearGate(device, kLowCounter);
        CardWriteWord(device, card::CounterGate(kLowCounter), kLowPhaseGate);
        StartThread(device, CounterThreadKind::PulseWidth, PulseWidthWait);
        return kSuccess;  // the first call of a measurement gives no value
    }
    if (state.pwmReady == 1) {
        WORD second = ReadValue(device, kLowCounter);
        WORD first = ReadValue(device, kHighCounter);
        WORD area = device.settings.PWMArea;
        PulseWidthFromCount(area, first, firstTime);
        PulseWidthFromCount(area, second, secondTime);
        state.pwmReady = 0;
        ReapThreads(device);
    }
    return kSuccess;
}

}  // namespace ktz::counter

using namespace ktz;

extern "C" DWORD WINAPI PWMStartRead(KTZHANDLE handle, DWORD, FLOAT *firstTime,
                                     FLOAT *secondTime) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::ReadPulseWidths(*device, firstTime, secondTime) : device.Refusal();
}
