// The counter registers, and the register work that the counter functions
// share.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "core/card_registers.h"

namespace ktz {

struct DeviceRecord;

constexpr WORD kHighestCounter = card::kCounters - 1;

// The gate and clock configuration for a caller's gate mode: 0 ungated, 1
// and 3 the gate input active high, 2 and 4 active low; false (nothing to
// write) for any other mode.
bool GateConfiguration(WORD gateMode, WORD clock, WORD *value);

// Holds the gate of a counter open and clears its state: the start of
// every counter's setup, before the gate gets its source.
void ClearGate(const DeviceRecord &device, WORD counter);
// Writes each value as a word to the register, in turn.
void WriteWords(const DeviceRecord &device, WORD offset, std::initializer_list<WORD> values);
// A counter's 16-bit value from two word reads of its data register, the
// low byte first; only the low 8 bits of each read count.
WORD ReadCounterValue(const DeviceRecord &device, WORD counter);

}  // namespace ktz
