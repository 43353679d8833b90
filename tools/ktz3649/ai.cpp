// Polled analog input: one channel (AIConfig, AIVoltageIn) or a run of
// channels (MAIConfig, MAIVoltageIn), in volts; on the lab, from its signals.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "lab.h"

namespace panel {

int RunAiRead(Session &session, const AiReadOptions &options, std::vector<float> *volts) {
    if (!lab::ApplySignals(session, options.signals)) return 1;
    if (options.trigger && !lab::PulseTrigger(session)) return 1;
    if (!Check("AIConfig", AIConfig(session.handle, options.channel, options.gain))) return 1;
    const std::string range = GainRangeName(session, options.gain);
    std::vector<float> read;
    for (unsigned i = 0; i < options.count; ++i) {
        FLOAT v = 0;
        if (!Check("AIVoltageIn",
                   AIVoltageIn(session.handle, options.channel, options.gain, options.trigger, &v)))
            return 1;
        read.push_back(v);
        std::printf("ch%u (%s): %.4f V\n", options.channel, range.c_str(), v);
    }
    if (read.size() > 1) {
        const Stats stats = Summarize(read);
        std::printf("%zu reads: min %.4f V, mean %.4f V, max %.4f V\n", read.size(), stats.low,
                    stats.mean, stats.high);
    }
    if (volts) *volts = read;
    return 0;
}

int RunAiScan(Session &session, const AiScanOptions &options, std::vector<float> *volts) {
    if (!lab::ApplySignals(session, options.signals)) return 1;
    WORD mask = 0;
    if (!ChanConfig(session, options.differential.has_value(), options.differential.value_or(0),
                    &mask))
        return 1;
    // At least one gain code, so that a count of 0 meets the channel check.
    std::vector<WORD> gains = ExpandGains(options.gains, std::max<WORD>(options.channels, 1));
    if (!Check("MAIConfig",
               MAIConfig(session.handle, options.channels, options.start, gains.data())))
        return 1;
    std::vector<FLOAT> read(options.channels);
    if (!Check("MAIVoltageIn", MAIVoltageIn(session.handle, options.channels, options.start,
                                            gains.data(), 0, read.data())))
        return 1;
    const auto labels = ScanLabels(options.start, options.channels, mask);
    std::printf("%-7s %-10s %10s\n", "input", "range", "volts");
    for (size_t i = 0; i < read.size(); ++i)
        std::printf("%-7s %-10s %10.4f\n", i < labels.size() ? labels[i].c_str() : "?",
                    GainRangeName(session, gains[i]).c_str(), read[i]);
    if (volts) volts->assign(read.begin(), read.end());
    return 0;
}

void AddAiCommands(CLI::App &app) {
    auto *ai = app.add_subcommand("ai", "Polled analog input in volts");
    ai->require_subcommand(1);
    ai->fallthrough();

    auto read = std::make_shared<AiReadOptions>();
    auto *single = AddCommand(*ai, "read", "Read one channel (AIConfig, AIVoltageIn)",
                              [read](Session &session) { return RunAiRead(session, *read); });
    single->add_option("--channel,-c", read->channel, "Input channel")->capture_default_str();
    single->add_option("--gain,-g", read->gain, "Gain code (see `features`)")
        ->capture_default_str();
    single->add_option("--count,-n", read->count, "Number of reads")
        ->check(CLI::Range(1u, 100000u))
        ->capture_default_str();
    single->add_flag_function(
        "--external", [read](int64_t) { read->trigger = 1; },
        "Externally triggered conversions: each one starts at a pulse of the trigger "
        "input (the lab pulses it every 5 us)");
    lab::AddSignalOption(*single, read->signals);

    auto scan = std::make_shared<AiScanOptions>();
    auto *multi =
        AddCommand(*ai, "scan", "Read a run of channels in one call (MAIConfig, MAIVoltageIn)",
                   [scan](Session &session) { return RunAiScan(session, *scan); });
    multi->add_option("--start,-s", scan->start, "First channel")->capture_default_str();
    multi->add_option("--channels,-n", scan->channels, "Number of (logical) channels")
        ->capture_default_str();
    AddGainsOption(*multi, scan->gains, "per channel");
    multi->add_option("--differential", scan->differential,
                      "Write ChanConfig first (DriverProc 108, property 0x1000): bit n makes "
                      "input n differential with its pair, e.g. 0x3");
    lab::AddSignalOption(*multi, scan->signals);
}

}  // namespace panel
