// The analog inputs: the channels a scan covers, the gain codes of its
// entries and the differential mask.
#include <algorithm>

#include "panel.h"

namespace panel {

std::vector<unsigned> ScanChannels(unsigned start, unsigned entries, WORD chanConfig) {
    auto differential = [&](unsigned channel) { return (chanConfig >> channel & 1) != 0; };
    std::vector<unsigned> channels;
    unsigned channel = start % 16;
    if (channel % 2 == 1 && differential(channel)) --channel;
    // The odd member of a differential pair takes no entry.
    for (unsigned walked = 0; channels.size() < entries && walked < 32; ++walked, ++channel) {
        channel %= 16;
        if (channel % 2 == 1 && differential(channel)) continue;
        channels.push_back(channel);
    }
    return channels;
}

std::vector<std::string> ScanLabels(unsigned start, unsigned entries, WORD chanConfig) {
    std::vector<std::string> labels;
    for (unsigned channel : ScanChannels(start, entries, chanConfig))
        labels.push_back("ch" + std::to_string(channel) +
                         (chanConfig >> channel & 1 ? "-" + std::to_string(channel + 1) : ""));
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
