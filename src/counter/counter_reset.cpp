// Resetting a counter: the measurement threads stop first, then the counter
// is left loaded with 0 in mode 4.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter.h"

namespace ktz::counter {

DWORD Reset(DeviceRecord &device, WORD counter) {
    if (counter > kHighestCounter) return DeviceError(device, KtzErrInvalidChannel);

    // Whatever the counter: the threads in the slots and the record's own.
    StopAllThreads(device);
    CardWriteWord(device, card::kCounterControl,
                  card::ControlWord8254(counter, card::Access8254::LowThenHigh,
                                        card::kMode8254Strobe, true));
    WriteWords(device, card::CounterData(counter), {0, 0});
    return kSuccess;
}

}  // namespace ktz::counter

using namespace ktz;

extern "C" DWORD WINAPI CounterReset(KTZHANDLE handle, WORD counter) {
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::Reset(*device, counter) : device.Refusal();
}
