// Event counting: a counter in mode 0 counts its input down from 0xFFFF,
// and the reads extend its 16 bits to a 32-bit total by counting wraps.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter.h"

namespace ktz::counter {

void CountEvents(CounterState &state, WORD counter, WORD current, WORD *overflow, DWORD *count) {
    DWORD &last = state.evtLastCount[counter];
    DWORD &accumulated = state.evtAccumulated[counter];
    if (state.evtFirstPhase[counter]) {
        if (current == last) {
            *count = accumulated;
            return;
        }
        if (last > current && last != 0xFFFF) {
            accumulated += last - current;
            *count = accumulated;
            last = current;
            return;
        }
        // The counter has wrapped, or started from 0xFFFF.
        state.evtFirstPhase[counter] = 0;
        last = 0xFFFF;
    }
    DWORD &overflows = state.evtOverflows[counter];
    if (last < current) ++overflows;
    DWORD elapsed = (0xFFFFu - current) + overflows * 65536u;
    *overflow = overflows > 0xFFFF ? 1 : 0;
    *count = elapsed + accumulated;
    last = current;
}

DWORD StartEvents(DeviceRecord &device, WORD counter, WORD gateMode) {
    if (counter > kHighestCounter) return DeviceError(device, KtzErrInvalidChannel);

    CounterState &state = device.counter;
    state.evtOverflows[counter] = 0;
    state.evtFirstPhase[counter] = 1;
    CardWriteWord(device, card::kCounterControl,
                  card::ControlWord8254(counter, card::Access8254::LowThenHigh,
                                        card::kMode8254Count));
    WriteWords(device, card::CounterData(counter), {0xFF, 0xFF});
    ClearGate(device, counter);
    CardWriteWord(device, card::CounterGate(counter), card::kGateHeldOpen);
    WORD gate;
    if (GateConfiguration(gateMode, card::kGateClockInput, &gate))
        CardWriteWord(device, card::CounterGate(counter), gate);
    CardWriteByte(device, card::kCounterControl, static_cast<BYTE>(card::LatchWord8254(counter)));
    state.evtLastCount[counter] = ReadValue(device, counter);
    state.evtAccumulated[counter] = 0;
    return kSuccess;
}

DWORD ReadEvents(DeviceRecord &device, WORD counter, WORD *overflow, DWORD *count) {
    if (counter > kHighestCounter) return DeviceError(device, KtzErrInvalidChannel);
    if (!overflow || !count) return DeviceError(device, KtzErrInvalidParameter);

    CardWriteWord(device, card::kCounterControl, card::LatchWord8254(counter));
    CountEvents(device.counter, counter, ReadValue(device, counter), overflow, count);
    return kSuccess;
}

}  // namespace ktz::counter

using namespace ktz;

extern "C" {

DWORD WINAPI CounterEventStart(KTZHANDLE handle, WORD counter, WORD gateMode) {
    // The slot is process-wide: it forgets its thread whatever the handle.
    counter::ForgetThread(CounterThreadKind::Frequency);
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::StartEvents(*device, counter, gateMode) : device.Refusal();
}

DWORD WINAPI CounterEventRead(KTZHANDLE handle, WORD counter, WORD *overflow, DWORD *count) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::ReadEvents(*device, counter, overflow, count) : device.Refusal();
}

}  // extern "C"
