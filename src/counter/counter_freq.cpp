// Frequency measurement: counter 1 in mode 1 makes a gate of 60000 ticks of
// the FreqArea clock, counter 2 counts the input during it, and a thread
// waits for the gate to end.
#include <ktz3649.h>

#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter_math.h"
#include "counter/counter_registers.h"
#include "counter/counter_threads.h"

namespace ktz {
namespace {

constexpr WORD kFrequencyCounter = 2;
constexpr WORD kStatusRegister = 36;  // counter 2's configuration, read as status
constexpr WORD kGateOpen = 0x100;
constexpr WORD kGateOpened = 0x400;
constexpr DWORD kGateStartReads = 10000000;
constexpr DWORD kGateEndReads = 1000001;

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

// Waits until the gate has opened, then while it stays open; the count is
// final after that. Running out of reads is not reported.
DWORD WINAPI CounterFreqWait(LPVOID parameter) {
    auto &thread = *static_cast<CounterThread *>(parameter);
    const DeviceRecord &device = *thread.device;
    for (DWORD i = 0; i < kGateStartReads && !StopRequested(thread); ++i)
        if ((CardReadWord(device, kStatusRegister) & (kGateOpen | kGateOpened)) ==
            (kGateOpen | kGateOpened))
            break;
    for (DWORD i = 0; i < kGateEndReads && !StopRequested(thread); ++i)
        if (!(CardReadWord(device, kStatusRegister) & kGateOpen)) break;
    FinishCounterThread(thread, thread.device->counter.freqReady);
    return 0;
}

}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI CounterFreqStart(KTZHANDLE handle, WORD counter, DWORD, DWORD) {
    DWORD result;
    DeviceRecord *device = FindKnownDevice(handle, &result);
    if (!device) return result;
    if (counter != kFrequencyCounter) return DeviceError(*device, ErrInvalidChannel);
    CardWriteWord(*device, kClockSelector, device->settings.FreqArea);
    ForgetCounterThread(CounterThreadKind::Frequency);
    device->counter.freqReady = 0;
    return kSuccess;
}

DWORD WINAPI CounterFreqRead(KTZHANDLE handle, WORD counter, FLOAT *frequency) {
    DWORD result;
    DeviceRecord *device = FindKnownDevice(handle, &result);
    if (!device) return result;
    if (counter != kFrequencyCounter) return DeviceError(*device, ErrInvalidChannel);
    if (!frequency) return DeviceError(*device, ErrInvalidParameter);

    CounterState &state = device->counter;
    // The slot first: a thread sets its result before it clears its slot.
    if (!CounterSlotBusy(CounterThreadKind::Frequency) && state.freqReady == 0) {
        // A thread that a slot forgot would poll the gate restarted here.
        StopCounterThreads(*device, CounterThreadKind::Frequency);
        state.freqReady = 0;
        CardWriteWord(*device, CounterGate(2), 0);
        CardWriteWord(*device, CounterGate(1), 0);
        CardWriteWord(*device, kCounterControl, 0x72);  // counter 1, mode 1
        WriteWords(*device, CounterData(1), {0x60, 0xEA});  // 60000 ticks
        CardWriteWord(*device, kCounterControl, 0xB0);  // counter 2, mode 0
        WriteWords(*device, CounterData(2), {0xFF, 0xFF});
        WriteWords(*device, CounterGate(1), {0x80, 0x88, 0x80, 0x81});
        WriteWords(*device, CounterGate(2), {0x80, 0x88, 0x00, 0x52});
        StartCounterThread(*device, CounterThreadKind::Frequency, CounterFreqWait);
        return kSuccess;  // the first call of a measurement gives no value
    }
    if (state.freqReady == 1) {
        WORD low = CardReadByte(*device, CounterData(2));
        WORD high = CardReadByte(*device, CounterData(2));
        FrequencyFromCount(device->settings.FreqArea,
                           static_cast<WORD>(0xFFFF - (high << 8 | low)), frequency);
        state.freqReady = 0;
        ReapCounterThreads(*device);
    }
    return kSuccess;
}

}  // extern "C"
