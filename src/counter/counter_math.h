// The arithmetic of the counter functions, apart from the card.
#pragma once

#include <windows.h>

#include "counter/counter_state.h"

namespace ktz {

// Event counting: takes the counter's current value into the running
// total of `counter` and gives the total; the overflow flag is written
// only once the counter has wrapped since the start (the second phase).
void CountEvents(CounterState &state, WORD counter, WORD current, WORD *overflow, DWORD *count);

// The frequency for a count of input edges during the gate of `area`
// (FreqArea); false for an area above 3.
bool FrequencyFromCount(WORD area, WORD count, FLOAT *frequency);

// Microseconds timed by a counter that counted down from 0xFFFF to
// `count` on the clock of `area` (PWMArea); false for an area above 3.
bool PulseWidthFromCount(WORD area, WORD count, FLOAT *microseconds);

// The clock selector and the mode 3 divisor for a square wave of `period`
// seconds; false for a period outside 0.0000002 to 6.5535 s or not a number.
bool PulseSetting(FLOAT period, WORD *selector, DWORD *divisor);

}  // namespace ktz
