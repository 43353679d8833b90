// Pulse output: a counter in mode 3 divides the selected clock into a
// square wave of the requested period.
#include <ktz3649.h>

#include <cmath>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "counter/counter.h"

namespace ktz::counter {
namespace {

// The period ranges, by clock selector: the longest period of each clock
// (65535 of its ticks) and its frequency. The bounds are compared as the
// float the period arrives in, so every documented limit is inside its range.
struct PulseRange {
    FLOAT longest;
    double clockHz;
};
constexpr FLOAT kShortestPeriod = 0.0000002f;
constexpr PulseRange kPulseRanges[card::kCounterClockSelectors] = {
    {0.0065535f, card::kCounterClockHz[0]},
    {0.065535f, card::kCounterClockHz[1]},
    {0.65535f, card::kCounterClockHz[2]},
    {6.5535f, card::kCounterClockHz[3]}};

}  // namespace

bool PulseSetting(FLOAT period, WORD *selector, DWORD *divisor) {
    if (!(period >= kShortestPeriod)) return false;  // also refuses NaN
    for (WORD s = 0; s < card::kCounterClockSelectors; ++s) {
        if (!(period <= kPulseRanges[s].longest)) continue;
        double x = kPulseRanges[s].clockHz * static_cast<double>(period);
        double whole = std::floor(x);
        *selector = s;
        *divisor = static_cast<DWORD>(whole) + (x - whole >= 0.5 ? 1 : 0);
        return true;
    }
    return false;
}

DWORD StartPulse(const DeviceRecord &device, WORD counter, FLOAT period, WORD gateMode) {
    if (counter > kHighestCounter) return DeviceError(device, KtzErrInvalidChannel);

    WORD gate;
    if (GateConfiguration(gateMode, card::kGateClockSelected, &gate))
        CardWriteWord(device, card::CounterGate(counter), gate);
    WORD selector;
    DWORD divisor;
    if (!PulseSetting(period, &selector, &divisor)) return Bare(KtzErrInvalidParameter);
    CardWriteWord(device, card::kCounterClock, selector);
    CardWriteByte(device, card::kCounterControl,
                  static_cast<BYTE>(card::ControlWord8254(counter, card::Access8254::LowThenHigh,
                                                          card::kMode8254SquareWave)));
    WriteWords(device, card::CounterData(counter),
               {static_cast<WORD>(divisor & 0xFF), static_cast<WORD>(divisor >> 8 & 0xFF)});
    return kSuccess;
}

}  // namespace ktz::counter

using namespace ktz;

extern "C" DWORD WINAPI CounterPulseStart(KTZHANDLE handle, WORD counter, FLOAT period, DWORD,
                                          WORD gateMode) {
    // The slot is process-wide: it forgets its thread whatever the handle.
    counter::ForgetThread(CounterThreadKind::Frequency);
    DeviceUse device(handle, BoardCheck::Known);
    return device ? counter::StartPulse(*device, counter, period, gateMode) : device.Refusal();
}
