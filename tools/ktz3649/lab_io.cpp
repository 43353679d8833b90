// What the panel's lab puts in and shows: input signals, trigger pulses,
// the lines at the digital ports and the counters' inputs as the options
// give them; the analog outputs, latches, counter outputs and the record
// of a waveform output.
#include <ktz3649sim.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "lab.h"

namespace panel::lab {
namespace {

// Trigger pulses for externally triggered reads: one every 5 us of lab time.
constexpr unsigned kTriggerPeriodNs = 5000;
// The lab's default cost of one request, restored after a measurement.
constexpr unsigned kRequestCostNs = 1000;
// Status reads that a measurement's gate (frequency) or pulse train
// (pulse width) takes.
constexpr double kFrequencyPolls = 2000, kPulseTrainPolls = 400;

struct ParsedSignal {
    unsigned channel = 0;
    KtzSimSignal signal{};
};

bool Number(const std::string &text, double *value) {
    if (text.empty()) return false;
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(*value);
}

std::vector<std::string> Split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.push_back("");
    return parts;
}

// "" and the signal, or what is wrong with the text:
//   CH=dc:VOLTS | CH=sine:AMP:HZ[:OFFSET] | CH=square:AMP:HZ[:OFFSET] |
//   CH=sawtooth:AMP:HZ[:OFFSET] | CH=noise:AMP[:SEED[:OFFSET]]
std::string Parse(const std::string &text, ParsedSignal *parsed) {
    const auto equals = text.find('=');
    double channel = 0;
    if (equals == std::string::npos || !Number(text.substr(0, equals), &channel) || channel < 0 ||
        channel > 15 || channel != static_cast<unsigned>(channel))
        return "a signal starts with its input channel, 0 to 15, and '='";
    parsed->channel = static_cast<unsigned>(channel);
    std::vector<std::string> parts = Split(text.substr(equals + 1), ':');
    const std::string kind = parts.empty() ? "" : parts[0];
    std::vector<double> values;
    for (size_t i = 1; i < parts.size(); ++i) {
        double value = 0;
        if (!Number(parts[i], &value)) return "\"" + parts[i] + "\" is not a number";
        values.push_back(value);
    }
    KtzSimSignal &s = parsed->signal;
    s = KtzSimSignal{};
    auto count = values.size();
    if (kind == "dc" && count == 1) {
        s.kind = KTZSIM_SIGNAL_DC;
        s.offset = values[0];
    } else if ((kind == "sine" || kind == "square" || kind == "sawtooth") &&
               (count == 2 || count == 3)) {
        s.kind = kind == "sine"     ? KTZSIM_SIGNAL_SINE
                 : kind == "square" ? KTZSIM_SIGNAL_SQUARE
                                    : KTZSIM_SIGNAL_SAWTOOTH;
        s.amplitude = values[0];
        s.frequency = values[1];
        s.offset = count == 3 ? values[2] : 0.0;
    } else if (kind == "noise" && count >= 1 && count <= 3) {
        s.kind = KTZSIM_SIGNAL_NOISE;
        s.amplitude = values[0];
        if (count >= 2) {
            if (values[1] < 0 || values[1] != static_cast<unsigned>(values[1]))
                return "a noise seed is a whole number";
            s.seed = static_cast<unsigned>(values[1]);
        }
        s.offset = count == 3 ? values[2] : 0.0;
    } else {
        return "expected dc:VOLTS, sine:AMP:HZ[:OFFSET], square:AMP:HZ[:OFFSET], "
               "sawtooth:AMP:HZ[:OFFSET] or "
               "noise:AMP[:SEED[:OFFSET]] after the '='";
    }
    return "";
}

std::string CheckSignal(const std::string &text) {
    ParsedSignal parsed;
    std::string problem = Parse(text, &parsed);
    return problem.empty() ? "" : text + ": " + problem;
}

// "PORT=VALUE" with a port 0 or 1 and a value 0 to 0xFF.
bool ParseLines(const std::string &text, WORD *port, unsigned *lines) {
    if (text.size() < 3 || (text[0] != '0' && text[0] != '1') || text[1] != '=') return false;
    *port = static_cast<WORD>(text[0] - '0');
    char *end = nullptr;
    unsigned long value = std::strtoul(text.c_str() + 2, &end, 0);
    *lines = static_cast<unsigned>(value);
    return *end == '\0' && value <= 0xFF;
}

std::string CheckLines(const std::string &text) {
    WORD port;
    unsigned lines;
    return ParseLines(text, &port, &lines) ? "" : "expected PORT=VALUE with VALUE 0 to 0xFF";
}

}  // namespace

// ---- inputs ----------------------------------------------------------------------

void AddSignalOption(CLI::App &command, std::vector<std::string> &signals) {
    command
        .add_option("--signal", signals,
                    "The lab's signal at an input channel (repeatable): CH=dc:VOLTS, "
                    "CH=sine:AMP:HZ[:OFFSET], CH=square:AMP:HZ[:OFFSET], "
                    "CH=sawtooth:AMP:HZ[:OFFSET], "
                    "CH=noise:AMP[:SEED[:OFFSET]]; every other input is at 0 V")
        ->type_name("CH=SIGNAL")
        ->check(CLI::Validator(CheckSignal, ""));
}

bool ApplySignals(const Session &session, const std::vector<std::string> &signals) {
    for (const std::string &text : signals) {
        ParsedSignal parsed;
        if (!Parse(text, &parsed).empty()) return Fail("bad signal %s", text.c_str());
        if (KtzSimSetSignal(session.card, parsed.channel, &parsed.signal) != 0)
            return Fail("the lab refused the signal %s", text.c_str());
    }
    return true;
}

bool PulseTrigger(const Session &session) {
    return KtzSimSetExternalTrigger(session.card, kTriggerPeriodNs, KTZSIM_ENDLESS) == 0 ||
           Fail("the lab refused the trigger pulses");
}

void AddLinesOption(CLI::App &command, std::vector<std::string> &lines) {
    command.add_option("--lines", lines, "The lab's lines at a port (what an input reads)")
        ->type_name("PORT=VALUE")
        ->check(CLI::Validator(CheckLines, ""));
}

bool ApplyLines(const Session &session, const std::vector<std::string> &lines) {
    for (const std::string &text : lines) {
        WORD port = 0;
        unsigned value = 0;
        ParseLines(text, &port, &value);
        if (KtzSimSetDigitalInput(session.card, port, value) != 0)
            return Fail("the lab refused lines %s", text.c_str());
    }
    return true;
}

void AddEventOptions(CLI::App &command, unsigned long long &pulses, double &hertz) {
    command
        .add_option("--pulses", pulses,
                    "Pulses the lab injects before each read (a read sees a wrap of the "
                    "counter only up to 65535 events after the last one)")
        ->capture_default_str();
    command.add_option("--rate", hertz, "And pulses at this rate (Hz) meanwhile");
}

bool StartEvents(const Session &session, WORD counter, double hertz) {
    return hertz <= 0 || KtzSimSetCounterRate(session.card, counter, hertz) == 0 ||
           Fail("the lab refused the rate %g Hz", hertz);
}

bool InjectEvents(const Session &session, WORD counter, unsigned long long pulses) {
    return pulses == 0 || KtzSimInjectCounterPulses(session.card, counter, pulses) == 0 ||
           Fail("the lab refused the pulses");
}

void AddFrequencyOption(CLI::App &command, double &hertz) {
    command.add_option("--rate", hertz, "The lab's signal at counter 2's input, in Hz")
        ->check(CLI::Range(0.0, 5e8))
        ->capture_default_str();
}

void AddPulseTrainOptions(CLI::App &command, double &highUs, double &lowUs) {
    command.add_option("--high", highUs, "The lab's high phase, in microseconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command.add_option("--low", lowUs, "The lab's low phase, in microseconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
}

bool FrequencyInput(const Session &session, double hertz, double gateNs) {
    if (KtzSimSetCounterRate(session.card, 2, hertz) != 0)
        return Fail("the lab refused the rate %g Hz", hertz);
    // The start's writes take no lab time, so that the gate opens after
    // counter 2 is connected; the thread's polls pass the gate.
    KtzSimSetRequestCost(0);
    KtzSimSetCounterPollCost(session.card,
                             static_cast<unsigned long long>(gateNs / kFrequencyPolls));
    return true;
}

bool PulseTrainInput(const Session &session, double highUs, double lowUs) {
    const auto highNs = static_cast<unsigned long long>(highUs * 1000.0);
    const auto lowNs = static_cast<unsigned long long>(lowUs * 1000.0);
    if (KtzSimSetCounterPulseTrain(session.card, 2, highNs, lowNs) != 0)
        return Fail("the lab refused the pulse train");
    KtzSimSetCounterPollCost(
        session.card, static_cast<unsigned long long>((highNs + lowNs) / kPulseTrainPolls));
    return true;
}

void EndMeasurement(const Session &session) {
    KtzSimSetRequestCost(kRequestCostNs);
    KtzSimSetCounterPollCost(session.card, 0);
}

std::string FrequencyNote(double hertz) { return Text("; the lab's input: %g Hz", hertz); }

std::string PulseTrainNote(double highUs, double lowUs) {
    return Text("; the lab's train: high %g us, low %g us", highUs, lowUs);
}

// ---- outputs ---------------------------------------------------------------------

std::optional<double> AnalogOutput(const Session &session, WORD channel) {
    double volts = 0;
    if (KtzSimGetAnalogOutput(session.card, channel, &volts) != 0) return std::nullopt;
    return volts;
}

std::optional<unsigned> DigitalLatch(const Session &session, WORD port) {
    unsigned latch = 0;
    if (KtzSimGetDigitalOutput(session.card, port, &latch) != 0) return std::nullopt;
    return latch;
}

std::string CounterOutputNote(const Session &session, WORD counter) {
    KtzSimCounterOutput out{};
    if (KtzSimGetCounterOutput(session.card, counter, &out) != 0) return "";
    return Text("; the lab's output: mode %u, level %u, period %.0f ns, high %.0f ns", out.mode,
                out.level, out.periodNs, out.highNs);
}

void ClearOutputRecord(const Session &session) { KtzSimClearOutputRecord(session.card); }

std::optional<unsigned long long> PlayedSamples(const Session &session) {
    KtzSimOutputState state{};
    if (KtzSimGetOutputState(session.card, &state) != 0) return std::nullopt;
    return state.played;
}

std::optional<std::vector<double>> OutputRecord(const Session &session, WORD channel,
                                                size_t max) {
    std::vector<double> volts(max);
    size_t copied = 0;
    if (KtzSimGetOutputRecord(session.card, channel, volts.data(), volts.size(), &copied,
                              nullptr) != 0)
        return std::nullopt;
    volts.resize(copied);
    return volts;
}

}  // namespace panel::lab
