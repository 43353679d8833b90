// The counter registers, and the register work that the counter functions
// share.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace ktz {

struct DeviceRecord;

constexpr WORD kCounterControl = 30;  // control word in the 8254 format
constexpr WORD kClockSelector = 38;   // 0 10 MHz, 1 1 MHz, 2 100 kHz, 3 10 kHz
constexpr WORD kHighestCounter = 2;

// The data register of a counter, and its gate and clock configuration.
constexpr WORD CounterData(WORD counter) { return static_cast<WORD>(24 + 2 * counter); }
constexpr WORD CounterGate(WORD counter) { return static_cast<WORD>(32 + 2 * counter); }
// A control word for a counter: the counter in bits 6-7 over the rest.
constexpr WORD ControlWord(WORD counter, WORD rest) {
    return static_cast<WORD>(counter << 6 | rest);
}

// Clock sources in a gate and clock configuration.
constexpr WORD kClockSelected = 0x01;  // the clock of register 38
constexpr WORD kClockInput = 0x02;     // the counter's input

// The gate and clock configuration for a caller's gate mode: 0 ungated, 1
// and 3 the gate input active high, 2 and 4 active low; false (nothing to
// write) for any other mode.
bool GateConfiguration(WORD gateMode, WORD clock, WORD *value);

// Writes each value as a word to the register, in turn.
void WriteWords(const DeviceRecord &device, WORD offset, std::initializer_list<WORD> values);
// A counter's 16-bit value from two word reads of its data register, the
// low byte first; only the low 8 bits of each read count.
WORD ReadCounterValue(const DeviceRecord &device, WORD counter);

}  // namespace ktz
