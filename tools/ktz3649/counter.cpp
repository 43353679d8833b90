// Counters: event counting, frequency, square-wave output and pulse width;
// on the lab, it drives the counters' inputs and shows their outputs.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "lab.h"

namespace panel {
namespace {

constexpr WORD kFrequencyCounter = 2;
// A measurement thread's result is waited for this long at most (real time).
constexpr auto kMeasurementLimit = std::chrono::seconds(60);

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
    if (!lab::StartEvents(session, options.counter, options.hertz)) return 1;
    DWORD total = 0;
    for (unsigned i = 0; i < options.reads; ++i) {
        if (!lab::InjectEvents(session, options.counter, options.pulses)) return 1;
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
    if (!lab::FrequencyInput(session, hertz, GateNs(area))) return 1;
    FLOAT measured = NAN;
    bool ok =
        Check("CounterFreqStart", CounterFreqStart(session.handle, kFrequencyCounter, 0, 0)) &&
        PollMeasurement("CounterFreqRead", [&](bool *done) {
            DWORD rc = CounterFreqRead(session.handle, kFrequencyCounter, &measured);
            *done = !std::isnan(measured);
            return rc;
        });
    lab::EndMeasurement(session);
    if (!ok) return 1;
    std::printf("counter %u: %.0f Hz (FreqArea %u: %s%s)\n", kFrequencyCounter, measured,
                static_cast<unsigned>(area), FreqAreaText(area),
                lab::FrequencyNote(hertz).c_str());
    if (frequency) *frequency = measured;
    return 0;
}

int RunCounterPulse(Session &session, const CounterPulseOptions &options) {
    if (!Check("CounterPulseStart",
               CounterPulseStart(session.handle, options.counter, options.period, 0, options.gate)))
        return 1;
    std::printf("counter %u: square wave of %g s asked%s\n", options.counter, options.period,
                lab::CounterOutputNote(session, options.counter).c_str());
    return 0;
}

int RunPulseWidth(Session &session, double highUs, double lowUs, float *first, float *second) {
    DWORD area = 0;
    ReadSetting(session, "PWMArea", &area);
    if (!lab::PulseTrainInput(session, highUs, lowUs)) return 1;
    FLOAT firstTime = NAN, secondTime = NAN;
    bool ok = PollMeasurement("PWMStartRead", [&](bool *done) {
        DWORD rc = PWMStartRead(session.handle, 0, &firstTime, &secondTime);
        *done = !std::isnan(firstTime) && !std::isnan(secondTime);
        return rc;
    });
    lab::EndMeasurement(session);
    if (!ok) return 1;
    std::printf("pulse width: first phase %g us, second phase %g us (PWMArea %u: %s%s)\n",
                firstTime, secondTime, static_cast<unsigned>(area), PwmAreaText(area),
                lab::PulseTrainNote(highUs, lowUs).c_str());
    if (first) *first = firstTime;
    if (second) *second = secondTime;
    return 0;
}

int RunCounterReset(Session &session, WORD counter) {
    if (!Check("CounterReset", CounterReset(session.handle, counter))) return 1;
    std::printf("counter %u reset%s\n", counter, lab::CounterOutputNote(session, counter).c_str());
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
    lab::AddEventOptions(*eventCommand, events->pulses, events->hertz);
    eventCommand->add_option("--reads", events->reads, "Number of reads")
        ->check(CLI::Range(1u, 100000u))
        ->capture_default_str();

    auto hertz = std::make_shared<double>(500e3);
    lab::AddFrequencyOption(
        *AddCommand(*counter, "freq",
                    "Measure the frequency at counter 2's input (CounterFreqStart, ...Read)",
                    [hertz](Session &session) { return RunCounterFreq(session, *hertz); }),
        *hertz);

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
    lab::AddPulseTrainOptions(*pwm, widths->first, widths->second);

    auto reset = std::make_shared<WORD>(0);
    AddCommand(*counter, "reset", "Stop a counter and its measurements (CounterReset)",
               [reset](Session &session) { return RunCounterReset(session, *reset); })
        ->add_option("--counter,-c", *reset, "Counter")
        ->capture_default_str();
}

}  // namespace panel
