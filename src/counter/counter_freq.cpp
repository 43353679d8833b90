// Frequency measurement: counter 1 in mode 1 makes a gate of 60000 ticks of
// the FreqArea clock, counter 2 counts the input during it, and a thread
// waits for the gate to end.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter.h"

namespace ktz::counter {
namespace {

constexpr WORD kGateCounter = 1;       // makes the gate
constexpr WORD kFrequencyCounter = 2;  // counts the input through it
constexpr WORD kGateTicks = 60000;
constexpr DWORD kGateStartReads = 10000000;
constexpr DWORD kGateEndReads = 1000001;

// Waits until the gate has opened, then while it stays open; the count is
// final after that. Running out of reads is not reported.
DWORD WINAPI FrequencyWait(LPVOID parameter) {
    auto &thread = *static_cast<CounterThread *>(parameter);
    const DeviceRecord &device = *thread.device;
    // Counter 2's setting, read as its gate's status.
    constexpr WORD kStatus = card::CounterGate(kFrequencyCounter);
    constexpr WORD kOpenAndOpened = card::kGateStatusOpen | card::kGateStatusOpened;
    for (DWORD i = 0; i < kGateStartReads && !StopRequested(thread); ++i)
        if ((CardReadWord(device, kStatus) & kOpenAndOpened) == kOpenAndOpened) break;
    for (DWORD i = 0; i < kGateEndReads && !StopRequested(thread); ++i)
        if (!(CardReadWord(device, kStatus) & card::kGateStatusOpen)) break;
    FinishThread(thread, thread.device->counter.freqReady);
    return 0;
}

// Programs the gate and the count, and starts the thread that waits for
// the gate to end.
void StartMeasurement(DeviceRecord &device) {
    constexpr WORD gate = kGateCounter, input = kFrequencyCounter;
    // Both gates shut: nothing counts while the counters are loaded.
    CardWriteWord(device, card::CounterGate(input), 0);
    CardWriteWord(device, card::CounterGate(gate), 0);
    // Counter 1, a one-shot of 60000 ticks: its output is low for the gate.
    CardWriteWord(device, card::kCounterControl,
                  card::ControlWord8254(gate, card::Access8254::LowThenHigh,
                                        card::kMode8254OneShot));
    WriteWords(device, card::CounterData(gate), {LOBYTE(kGateTicks), HIBYTE(kGateTicks)});
    // Counter 2 counts down from 0xFFFF.
    CardWriteWord(device, card::kCounterControl,
                  card::ControlWord8254(input, card::Access8254::LowThenHigh,
                                        card::kMode8254Count));
    WriteWords(device, card::CounterData(input), {0xFF, 0xFF});
    // Counter 1's gate held open on the FreqArea clock: the one-shot fires.
    ClearGate(device, gate);
    WriteWords(device, card::CounterGate(gate),
               {card::kGateHeldOpen, card::kGateHeldOpen | card::kGateClockSelected});
    // Counter 2 counts its input while counter 1's output is low.
    ClearGate(device, input);
    WriteWords(device, card::CounterGate(input),
               {0, card::kGateLowerOutput | card::kGateInvert | card::kGateClockInput});
    StartThread(device, CounterThreadKind::Frequency, FrequencyWait);
}

}  // namespace

bool FrequencyFromCount(WORD area, WORD count, FLOAT *frequency) {
    LONG n = count;
    switch (area) {
    case 0: *frequency = static_cast<FLOAT>(n * 500 / 3); return true;
    case 1: *frequency = static_cast<FLOAT>(n * 50 / 3); return true;
    case 2: *frequency = static_cast<FLOAT>(n * 5 / 3); return true;
    case 3: *frequency = static_cast<FLOAT>(n / 6); return true;
    default: return false;
    }
}

DWORD StartFrequency(DeviceRecord &device, WORD counter) {
    if (counter != kFrequencyCounter) return DeviceError(device, KtzErrInvalidChannel);
    CardWriteWord(device, card::kCounterClock, device.settings.FreqArea);
    ForgetThread(CounterThreadKind::Frequency);
    device.counter.freqReady = 0;
    return kSuccess;
}

DWORD ReadFrequency(DeviceRecord &device, WORD counter, FLOAT *frequency) {
    if (counter != kFrequencyCounter) return DeviceError(device, KtzErrInvalidChannel);
    if (!frequency) return DeviceError(device, KtzErrInvalidParameter);

    CounterState &state = device.counter;
    // The slot first: a thread sets its result before it clears its slot.
    if (!SlotBusy(CounterThreadKind::Frequency) && state.freqReady == 0) {
        // A thread that a slot forgot would poll the gate restarted here.
        StopThreads(device, CounterThreadKind::Frequency);
        state.freqReady = 0;
        StartMeasurement(device);
        return kSuccess;  // the first call of a measurement gives no value
    }
    if (state.freqReady == 1) {
        WORD low = CardReadByte(device, card::CounterData(kFrequencyCounter));
        WORD high = CardReadByte(device, card::CounterData(kFrequencyCounter));
        FrequencyFromCount(device.settings.FreqArea,
                           static_cast<WORD>(0xFFFF - (high << 8 | low)), frequency);
        state.freqReady = 0;
        ReapThreads(device);
    }
    return kSuccess;
}

}  // namespace ktz::counter

using namespace ktz;

extern "C" {

DWORD WINAPI CounterFreqStart(KTZHANDLE handle, WORD counter, DWORD, DWORD) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::StartFrequency(*device, counter) : device.Refusal();
}

DWORD WINAPI CounterFreqRead(KTZHANDLE handle, WORD counter, FLOAT *frequency) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::ReadFrequency(*device, counter, frequency) : device.Refusal();
}

}  // extern "C"
