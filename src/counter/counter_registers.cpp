#include "counter/counter_registers.h"

#include "core/registers.h"

namespace ktz {

bool GateConfiguration(WORD gateMode, WORD clock, WORD *value) {
    switch (gateMode) {
    case 0: *value = 0x80 | clock; return true;
    case 1:
    case 3: *value = 0x20 | clock; return true;
    case 2:
    case 4: *value = 0x60 | clock; return true;
    default: return false;
    }
}

void WriteWords(const DeviceRecord &device, WORD offset, std::initializer_list<WORD> values) {
    for (WORD value : values) CardWriteWord(device, offset, value);
}

WORD ReadCounterValue(const DeviceRecord &device, WORD counter) {
    WORD low = CardReadWord(device, CounterData(counter)) & 0xFF;
    WORD high = CardReadWord(device, CounterData(counter)) & 0xFF;
    return static_cast<WORD>(high << 8 | low);
}

}  // namespace ktz
