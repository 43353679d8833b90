// The analog inputs: the lab's signals as the command line gives them,
// the channels a scan covers, and the differential mask.
#include <ktz3649sim.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "panel.h"

namespace panel {
namespace {

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

// "" and the signal, or what is wrong with the text.
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
    } else if ((kind == "sine" || kind == "square") && (count == 2 || count == 3)) {
        s.kind = kind == "sine" ? KTZSIM_SIGNAL_SINE : KTZSIM_SIGNAL_SQUARE;
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
        return "expected dc:VOLTS, sine:AMP:HZ[:OFFSET], square:AMP:HZ[:OFFSET] or "
               "noise:AMP[:SEED[:OFFSET]] after the '='";
    }
    return "";
}

}  // namespace

std::string CheckSignal(const std::string &text) {
    ParsedSignal parsed;
    std::string problem = Parse(text, &parsed);
    return problem.empty() ? "" : text + ": " + problem;
}

void AddSignalOption(CLI::App &command, std::vector<std::string> &signals) {
    command
        .add_option("--signal", signals,
                    "The lab's signal at an input channel (repeatable): CH=dc:VOLTS, "
                    "CH=sine:AMP:HZ[:OFFSET], CH=square:AMP:HZ[:OFFSET], "
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

std::vector<std::string> ScanLabels(unsigned start, unsigned entries, WORD chanConfig) {
    auto differential = [&](unsigned channel) { return (chanConfig >> channel & 1) != 0; };
    std::vector<std::string> labels;
    unsigned channel = start % 16;
    if (channel % 2 == 1 && differential(channel)) --channel;
    // The odd member of a differential pair takes no entry.
    for (unsigned walked = 0; labels.size() < entries && walked < 32; ++walked, ++channel) {
        channel %= 16;
        if (channel % 2 == 1 && differential(channel)) continue;
        if (channel % 2 == 0 && differential(channel))
            labels.push_back("ch" + std::to_string(channel) + "-" + std::to_string(channel + 1));
        else
            labels.push_back("ch" + std::to_string(channel));
    }
    return labels;
}

std::vector<WORD> ExpandGains(const std::vector<WORD> &gains, size_t count) {
    std::vector<WORD> expanded(gains.begin(), gains.begin() + std::min(gains.size(), count));
    expanded.resize(count, gains.empty() ? WORD{0} : gains.back());
    return expanded;
}

void AddGainsOption(CLI::App &command, std::vector<WORD> &gains, const std::string &what) {
    command
        .add_option("--gain", gains,
                    "Gain codes (range codes; see `features`) " + what +
                        ", comma-separated; the last one repeats")
        ->delimiter(',')
        ->capture_default_str();
}

bool ChanConfig(const Session &session, bool set, WORD mask, WORD *value) {
    if (set && !Check("DriverProc 108 (property 0x1000)", SetProperty(session, 0x1000, &mask, 2)))
        return false;
    return ReadProperty(session, KTZ_PROP_CHAN_CONFIG, value, "DriverProc 109 (property 0x1000)");
}

}  // namespace panel
