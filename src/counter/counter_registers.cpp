// The register work that the counter functions share.
#include "counter/counter.h"

#include "core/registers.h"

namespace ktz::counter {

bool GateConfiguration(WORD gateMode, WORD clock, WORD *value) {
    switch (gateMode) {
    case 0: *value = card::kGateHeldOpen | clock; return true;
    case 1:
    case 3: *value = card::kGateLine | clock; return true;
    case 2:
    case 4: *value = card::kGateLine | card::kGateInvert | clock; return true;
    default: return false;
    }
}

void ClearGate(const DeviceRecord &device, WORD counter) {
    CardWriteWord(device, card::CounterGate(counter), card::kGateHeldOpen);
    CardWriteWord(device, card::CounterGate(counter), card::kGateHeldOpen | card::kGateClear);
}

void WriteWords(const DeviceRecord &device, WORD offset, std::initializer_list<WORD> values) {
    for (WORD value : values) CardWriteWord(device, offset, value);
}

WORD ReadValue(const DeviceRecord &device, WORD counter) {
    WORD low = CardReadWord(device, card::CounterData(counter)) & 0xFF;
    WORD high = CardReadWord(device, card::CounterData(counter)) & 0xFF;
    return static_cast<WORD>(high << 8 | low);
}

}  // namespace ktz::counter
