// Counters: event counting, frequency, square-wave output and pulse width,
// with the lab driving the counters' inputs and showing their outputs.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "commands.h"

namespace panel {
namespace {

constexpr WORD kFrequencyCounter = 2;
// A measurement thread's result is waited for this long at most (real time).
constexpr auto kMeasurementLimit = std::chrono::seconds(60);
// The lab's default cost of one request, restored after a frequency measurement.
constexpr unsigned kRequestCostNs = 1000;

// The gate of a frequency measurement: 60000 ticks of the FreqArea clock.
double GateNs(DWORD area) {
    static const double kTickNs[] = {100, 1000, 10000, 100000};
    return 60000 * kTickNs[area < 4 ? area : 3];
}

// The ranges of the areas as the configuration dialog names them.
const char *FreqAreaText(DWORD area) {
    static const char *const kTexts[] = {"1.3M Hz ~ 10M Hz", "131K Hz ~ 1.3M Hz",
                                         "13K Hz ~ 131K Hz", "0.2 Hz ~ 13K Hz"};
    return area < 4 ? kTexts[area] : "unknown area";
}

const char *PwmAreaText(DWORD area) {
    static const char *const kTexts[] = {"0.1us ~ 6553.5us", "6553us ~ 65535us",
                                         "65535us ~ 655350us", "655350us ~ 6553500us"};
    return area < 4 ? kTexts[area] : "unknown area";
}

// Calls `poll` until it reports a result, pausing a millisecond between
// calls; false (printed) when a call fails or the limit passes.
template <class Poll>
bool PollMeasurement(const char *call, Poll poll) {
    const auto deadline = std::chrono::steady_clock::now() + kMeasurementLimit;
    for (;;) {
        bool done = false;
        if (!Check(call, poll(&done))) return false;
        if (done) return true;
        if (std::chrono::steady_clock::now() > deadline)
            return Fail("%s delivered no result within %lld s", call,
                        static_cast<long long>(kMeasurementLimit.count()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

int RunCounterEvents(Session &session, const CounterEventOptions &options, DWORD *count) {
    if (!Check("CounterEventStart",
               CounterEventStart(session.handle, options.counter, options.gate)))
        return 1;
    if (options.hertz > 0 && KtzSimSetCounterRate(session.card, options.counter, options.hertz))
        return Fail("the lab refused the rate %g Hz", options.hertz);
    DWORD total = 0;
    for (unsigned i = 0; i < options.reads; ++i) {
        if (options.pulses &&
            KtzSimInjectCounterPulses(session.card, options.counter, options.pulses) != 0)
            return Fail("the lab refused the pulses");
        WORD overflow = 0;
        if (!Check("CounterEventRead",
                   CounterEventRead(session.handle, options.counter, &overflow, &total)))
            return 1;
        std::printf("counter %u: %u events%s\n", options.counter, static_cast<unsigned>(total),
                    overflow ? " (overflowed)" : "");
    }
    if (count) *count = total;
    return 0;
}

int RunCounterFreq(Session &session, double hertz, float *frequency) {
    DWORD area = 1;
    ReadSetting(session, "FreqArea", &area);
    if (KtzSimSetCounterRate(session.card, kFrequencyCounter, hertz) != 0)
        return Fail("the lab refused the rate %g Hz", hertz);
    // The start's writes take no lab time, so that the gate opens after
    // counter 2 is connected; the thread's polls pass the gate in about
    // 2000 reads.
    KtzSimSetRequestCost(0);
    KtzSimSetCounterPollCost(session.card, static_cast<unsigned long long>(GateNs(area) / 2000));
    FLOAT measured = NAN;
    bool ok =
        Check("CounterFreqStart", CounterFreqStart(session.handle, kFrequencyCounter, 0, 0)) &&
        PollMeasurement("CounterFreqRead", [&](bool *done) {
            DWORD rc = CounterFreqRead(session.handle, kFrequencyCounter, &measured);
            *done = !std::isnan(measured);
            return rc;
        });
    KtzSimSetRequestCost(kRequestCostNs);
    KtzSimSetCounterPollCost(session.card, 0);
    if (!ok) return 1;
    std::printf("counter %u: %.0f Hz (the lab's input: %g Hz; FreqArea %u: %s)\n",
                kFrequencyCounter, measured, hertz, static_cast<unsigned>(area),
                FreqAreaText(area));
    if (frequency) *frequency = measured;
    return 0;
}

int RunCounterPulse(Session &session, const CounterPulseOptions &options,
                    KtzSimCounterOutput *output) {
    if (!Check("CounterPulseStart",
               CounterPulseStart(session.handle, options.counter, options.period, 0, options.gate)))
        return 1;
    KtzSimCounterOutput out{};
    if (KtzSimGetCounterOutput(session.card, options.counter, &out) != 0)
        return Fail("the lab has no counter %u", options.counter);
    std::printf(
        "counter %u: square wave of %g s asked; the lab's output: mode %u, period %.0f ns, "
        "high %.0f ns\n",
        options.counter, options.period, out.mode, out.periodNs, out.highNs);
    if (output) *output = out;
    return 0;
}

int RunPulseWidth(Session &session, double highUs, double lowUs, float *first, float *second) {
    DWORD area = 0;
    ReadSetting(session, "PWMArea", &area);
    const auto highNs = static_cast<unsigned long long>(highUs * 1000.0);
    const auto lowNs = static_cast<unsigned long long>(lowUs * 1000.0);
    if (KtzSimSetCounterPulseTrain(session.card, kFrequencyCounter, highNs, lowNs) != 0)
        return Fail("the lab refused the pulse train");
    // The thread's polls pass each phase in a few hundred reads.
    KtzSimSetCounterPollCost(session.card, (highNs + lowNs) / 400);
    FLOAT firstTime = NAN, secondTime = NAN;
    bool ok = PollMeasurement("PWMStartRead", [&](bool *done) {
        DWORD rc = PWMStartRead(session.handle, 0, &firstTime, &secondTime);
        *done = !std::isnan(firstTime) && !std::isnan(secondTime);
        return rc;
    });
    KtzSimSetCounterPollCost(session.card, 0);
    if (!ok) return 1;
    std::printf(
        "pulse width: first phase %g us, second phase %g us (the lab's train: high %g us, "
        "low %g us; PWMArea %u: %s)\n",
        firstTime, secondTime, highUs, lowUs, static_cast<unsigned>(area), PwmAreaText(area));
    if (first) *first = firstTime;
    if (second) *second = secondTime;
    return 0;
}

int RunCounterReset(Session &session, WORD counter) {
    if (!Check("CounterReset", CounterReset(session.handle, counter))) return 1;
    KtzSimCounterOutput out{};
    KtzSimGetCounterOutput(session.card, counter, &out);
    std::printf("counter %u reset: the lab's output: mode %u, level %u\n", counter, out.mode,
                out.level);
    return 0;
}

void AddCounterCommands(CLI::App &app) {
    auto *counter = app.add_subcommand("counter", "Counters 0 to 2");
    counter->require_subcommand(1);
    counter->fallthrough();
    const std::string gateHelp = "Gate mode: 0 none, 1 or 3 the gate line high, 2 or 4 low";

    auto events = std::make_shared<CounterEventOptions>();
    auto *eventCommand = AddCommand(
        *counter, "events", "Count events on a counter's input (CounterEventStart, ...Read)",
        [events](Session &session) { return RunCounterEvents(session, *events); });
    eventCommand->add_option("--counter,-c", events->counter, "Counter")->capture_default_str();
    eventCommand->add_option("--gate", events->gate, gateHelp)->capture_default_str();
    eventCommand
        ->add_option("--pulses", events->pulses,
                     "Pulses the lab injects before each read (a read sees a wrap of the "
                     "counter only up to 65535 events after the last one)")
        ->capture_default_str();
    eventCommand->add_option("--rate", events->hertz, "And pulses at this rate (Hz) meanwhile");
    eventCommand->add_option("--reads", events->reads, "Number of reads")
        ->check(CLI::Range(1u, 100000u))
        ->capture_default_str();

    auto hertz = std::make_shared<double>(500e3);
    AddCommand(*counter, "freq",
               "Measure the frequency at counter 2's input (CounterFreqStart, ...Read)",
               [hertz](Session &session) { return RunCounterFreq(session, *hertz); })
        ->add_option("--rate", *hertz, "The lab's signal at counter 2's input, in Hz")
        ->check(CLI::Range(0.0, 5e8))
        ->capture_default_str();

    auto pulse = std::make_shared<CounterPulseOptions>();
    auto *pulseCommand = AddCommand(
        *counter, "pulse", "Start a square wave on a counter's output (CounterPulseStart)",
        [pulse](Session &session) { return RunCounterPulse(session, *pulse); });
    pulseCommand->add_option("--counter,-c", pulse->counter, "Counter")->capture_default_str();
    pulseCommand->add_option("--period", pulse->period, "Period in seconds")->capture_default_str();
    pulseCommand->add_option("--gate", pulse->gate, gateHelp)->capture_default_str();

    auto widths = std::make_shared<std::pair<double, double>>(100.0, 50.0);
    auto *pwm = AddCommand(*counter, "pwm",
                           "Measure both phases of a pulse train at counter 2 (PWMStartRead)",
                           [widths](Session &session) {
                               return RunPulseWidth(session, widths->first, widths->second);
                           });
    pwm->add_option("--high", widths->first, "The lab's high phase, in microseconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    pwm->add_option("--low", widths->second, "The lab's low phase, in microseconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();

    auto reset = std::make_shared<WORD>(0);
    AddCommand(*counter, "reset", "Stop a counter and its measurements (CounterReset)",
               [reset](Session &session) { return RunCounterReset(session, *reset); })
        ->add_option("--counter,-c", *reset, "Counter")
        ->capture_default_str();
}

}  // namespace panel
