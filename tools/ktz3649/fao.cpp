// Waveform output: a sine, square or triangle table scaled with FAOScale,
// played by DMA (FAODmaExStart) with its progress from CheckEvent and
// FAOCheckEx, and what the lab's outputs played (without the lab, the
// table), shown or written as CSV and SVG.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "commands.h"
#include "lab.h"

namespace panel {
namespace {

constexpr WORD kOutputEnded = 0x2804;

// The shape at a phase counted in periods.
double Shape(const std::string &shape, double phase) {
    const double fraction = phase - std::floor(phase);
    if (shape == "square") return fraction < 0.5 ? 1.0 : -1.0;
    if (shape == "triangle") {  // 0, rising to 1 at a quarter, -1 at three quarters
        const double shifted = fraction - 0.25;
        return 4.0 * std::fabs(shifted - std::floor(shifted) - 0.5) - 1.0;
    }
    return std::sin(2.0 * std::numbers::pi * fraction);
}

std::vector<WORD> Channels(const std::string &channel) {
    if (channel == "both") return {0, 1};
    return {static_cast<WORD>(channel == "1" ? 1 : 0)};
}

// Waits until the card has played every sample, drawing the progress; the
// output is terminated in any case, which frees the DMA buffer. *reported
// is the count of played samples at the last look.
bool AwaitPlayed(Session &session, DWORD samples, double labSeconds, uint64_t *reported) {
    bool played = AwaitRun(
        session, "playing", samples, labSeconds / session.lab.timeFactor,
        [&](WORD event, uint64_t *done) {
            WORD stopped = 0, status1 = 0, status2 = 0, status3 = 0;
            DWORD count = 0;
            if (!Check("FAOCheckEx",
                       FAOCheckEx(session.handle, &stopped, &status1, &status3, &count, &status2)))
                return Step::Failed;
            *done = *reported = count;
            // The end comes with the output-ended event once the FIFO has
            // drained; the status tells it too, should CheckEvent have
            // terminated the output when the FIFO was empty already.
            bool drained = count >= samples && status3 == 0 && !(status1 & 1);
            return event == kOutputEnded || drained ? Step::Done : Step::Running;
        });
    return Check("FAOTerminate", FAOTerminate(session.handle)) && played;
}

}  // namespace

int RunWave(Session &session, const WaveOptions &options, WaveResult *result) {
    const std::vector<WORD> channels = Channels(options.channel);
    const auto perChannel = static_cast<DWORD>(options.samples / channels.size());
    const DWORD total = perChannel * static_cast<DWORD>(channels.size());
    // The card plays one sample per pacer tick, to the channels in turn.
    const DWORD divisor = options.rate ? 10000000 / options.rate : 0;
    const double tick = divisor * 100e-9;

    WaveResult r;
    std::vector<WORD> samples(total);
    for (size_t c = 0; c < channels.size(); ++c) {
        if (!options.range.empty() && !ConfigureOutput(session, channels[c], 0, options.range))
            return 1;
        Trace table{"ao" + std::to_string(channels[c]), {}, {}};
        std::vector<FLOAT> volts(perChannel);
        for (DWORD i = 0; i < perChannel; ++i) {
            const double seconds = static_cast<double>(i * channels.size() + c) * tick;
            volts[i] = static_cast<FLOAT>(
                options.offset + options.amplitude * Shape(options.shape, options.hertz * seconds));
            table.seconds.push_back(seconds);
            table.volts.push_back(volts[i]);
        }
        std::vector<WORD> codes(perChannel);
        if (!Check("FAOScale",
                   FAOScale(session.handle, channels[c], perChannel, volts.data(), codes.data())))
            return 1;
        for (DWORD i = 0; i < perChannel; ++i) samples[i * channels.size() + c] = codes[i];
        r.table.push_back(std::move(table));
    }

    lab::ClearOutputRecord(session);
    if (!Check("EnableEvent", EnableEvent(session.handle, kOutputEnded, 1, 0))) return 1;
    if (!Check("FAODmaExStart",
               FAODmaExStart(session.handle, 0, options.rate, channels[0],
                             static_cast<WORD>(channels.size()), 0, samples.data(), total, 0))) {
        FAOTerminate(session.handle);  // frees the DMA buffer a refused start may hold
        return 1;
    }
    uint64_t reported = 0;
    if (!AwaitPlayed(session, total, total * tick, &reported)) return 1;

    // The lab counts every sample played; the card reports those played
    // until the last one entered its FIFO.
    const auto counted = lab::PlayedSamples(session);
    r.count = counted.value_or(reported);
    bool complete = !counted || r.count == total;
    std::printf(
        "played %u samples of a %s table (amplitude %g V, offset %g V, %g Hz) at %u "
        "samples/s (pacer divisor %u), %g s\n",
        static_cast<unsigned>(total), options.shape.c_str(), options.amplitude, options.offset,
        options.hertz, static_cast<unsigned>(options.rate), static_cast<unsigned>(divisor),
        total * tick);
    for (size_t c = 0; c < channels.size() && lab::Present(); ++c) {
        const auto record = lab::OutputRecord(session, channels[c], perChannel);
        if (!record) return Fail("the lab has no output record of channel %u", channels[c]);
        const std::vector<double> &volts = *record;
        const size_t copied = volts.size();
        Trace played{r.table[c].name, {}, volts};
        for (size_t i = 0; i < copied; ++i) {
            played.seconds.push_back(r.table[c].seconds[i]);
            r.worstError = std::max(r.worstError, std::fabs(volts[i] - r.table[c].volts[i]));
        }
        const Stats stats = Summarize(volts);
        std::printf(
            "  %-4s the lab's output played %zu values: min %8.4f V, mean %8.4f V, "
            "max %8.4f V\n",
            played.name.c_str(), copied, stats.low, stats.mean, stats.high);
        if (copied != perChannel)
            complete = Fail("channel %u played %zu of %u values", channels[c], copied,
                            static_cast<unsigned>(perChannel));
        r.played.push_back(std::move(played));
    }
    if (!r.played.empty())
        std::printf("  largest difference from the table: %.4f V\n", r.worstError);
    const std::string title = Text("Waveform output, device %u, %u samples/s", session.lab.device,
                                   static_cast<unsigned>(options.rate));
    // What the lab's outputs played, or without the lab the table.
    if (!WritePlots(options.csv, options.svg, title, r.played.empty() ? r.table : r.played))
        return 1;
    if (!complete)
        Fail("the card played %llu of %u samples", r.count, static_cast<unsigned>(total));
    if (result) *result = std::move(r);
    return complete ? 0 : 1;
}

void AddWaveCommand(CLI::App &app) {
    auto options = std::make_shared<WaveOptions>();
    auto *wave = AddCommand(app, "wave",
                            "Waveform output: a table scaled with FAOScale and played by DMA, "
                            "with a progress bar; as CSV and SVG, what the outputs played (on "
                            "the lab) or the table",
                            [options](Session &session) { return RunWave(session, *options); });
    wave->add_option("--shape", options->shape, "Shape of the table")
        ->check(CLI::IsMember({"sine", "square", "triangle"}))
        ->capture_default_str();
    wave->add_option("--amplitude", options->amplitude, "Peak volts")->capture_default_str();
    wave->add_option("--offset", options->offset, "Volts added")->capture_default_str();
    wave->add_option("--frequency", options->hertz, "Periods per second")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    wave->add_option("--rate,-r", options->rate, "Samples per second (154 to 1000000)")
        ->capture_default_str();
    wave->add_option("--samples,-n", options->samples,
                     "Samples in the table (all channels; at least the FIFO, 4096)")
        ->check(CLI::Range(1u, 65536u))
        ->capture_default_str();
    wave->add_option("--channel,-c", options->channel, "Output channel: 0, 1 or both in turn")
        ->check(CLI::IsMember({"0", "1", "both"}))
        ->capture_default_str();
    AddRangeOption(*wave, options->range, "of the channels");
    AddPlotOptions(*wave, options->csv, options->svg,
                   "Write what the outputs played (without the lab: the table) as CSV, a "
                   "row per sample",
                   "Draw it as SVG, a curve per channel");
}

}  // namespace panel
