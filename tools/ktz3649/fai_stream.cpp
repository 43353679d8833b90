// fai --stream: a recording without end into a file, with a live line, a
// clean stop on Ctrl-C and a summary line; docs/streaming.md.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include <unistd.h>

#include "commands.h"
#include "lab.h"
#include "stream_file.h"

namespace panel {
namespace {

constexpr DWORD kEventWaitMs = 50;
constexpr auto kLiveEvery = std::chrono::milliseconds(250);

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

// Ctrl-C asks the recording to stop while this lives.
class InterruptCatcher {
public:
    InterruptCatcher() : previous_(std::signal(SIGINT, OnInterrupt)) { interrupted = 0; }
    ~InterruptCatcher() { std::signal(SIGINT, previous_); }

private:
    void (*previous_)(int);
};

bool EndsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The header: the scan's channels and their ranges from the features record.
bool DescribeRecording(Session &session, const FaiOptions &options, WORD chanConfig,
                       DWORD rate, DWORD half, stream::FileHeader *header) {
    KtzDeviceFeatures features{};
    if (!Check("DeviceGetFeatures", DeviceGetFeatures(session.handle, &features, sizeof features)))
        return false;
    header->entries = options.entries;
    header->rate = rate;
    header->half = half;
    header->device = session.lab.device;
    const auto channels = ScanChannels(options.start, options.entries, chanConfig);
    const auto gains = ExpandGains(options.gains, options.entries);
    for (unsigned e = 0; e < options.entries && e < stream::kMaxEntries; ++e) {
        stream::EntryRange &range = header->ranges[e];
        range.channel = static_cast<WORD>(e < channels.size() ? channels[e] : 0);
        range.gain = gains[e];
        for (WORD g = 0; g < features.gainCount && g < 16; ++g)
            if (features.gainList[g].gainCode == gains[e]) {
                range.lower = features.gainList[g].lowerLimit;
                range.upper = features.gainList[g].upperLimit;
            }
    }
    return true;
}

void ShowLive(const stream::Recorder &recorder, double seconds, bool last) {
    const stream::Totals &t = recorder.totals();
    std::fprintf(stderr,
                 "\rstreaming: %llu samples, %.0f samples/s, %u halves, %u overruns, %u lost, "
                 "pending half %3u%%%s",
                 static_cast<unsigned long long>(t.samples),
                 seconds > 0 ? static_cast<double>(t.written) / seconds : 0.0, t.halves,
                 t.overruns, t.lostHalves,
                 static_cast<unsigned>(uint64_t{recorder.Pending()} * 100 / recorder.half()),
                 last ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace

int RunFaiStream(Session &session, const FaiOptions &options, stream::Totals *totals) {
    if (!lab::ApplySignals(session, options.signals)) return 1;
    WORD chanConfig = 0;
    if (!ChanConfig(session, options.differential.has_value(), options.differential.value_or(0),
                    &chanConfig))
        return 1;
    stream::Setup setup;
    setup.handle = session.handle;
    setup.startChannel = options.start;
    setup.entries = options.entries;
    setup.gains = ExpandGains(options.gains, options.entries);
    setup.rate = options.rate;
    setup.clockSource = options.clockSource;
    setup.half = options.half;

    // The pacer's rate is 10 MHz over a whole divisor.
    const DWORD divisor = options.rate ? static_cast<DWORD>(10000000.0 / options.rate) : 0;
    const double rate = divisor ? 10000000.0 / divisor : options.rate;
    std::unique_ptr<stream::FileSink> file;
    if (EndsWith(options.stream, ".csv"))
    {
        auto labels = ScanLabels(options.start, options.entries, chanConfig);
        for (auto &label : labels) label += "_V";
        file = std::make_unique<stream::CsvFileSink>(std::move(labels));
    }
    else
        file = std::make_unique<stream::BinaryFileSink>();
    stream::Recorder recorder(setup, *file);
    stream::FileHeader header;
    if (!DescribeRecording(session, options, chanConfig, static_cast<DWORD>(rate),
                           recorder.half(), &header) ||
        !file->Open(options.stream, header))
        return 1;
    if (options.slowReaderMs)
        recorder.SetBeforeCopy([ms = options.slowReaderMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        });

    InterruptCatcher catcher;
    if (!Check("FAIDmaExStart", recorder.Start())) return 1;
    std::printf("recording %u entries at %.0f samples/s, halves of %u samples, into %s%s\n",
                options.entries, rate, static_cast<unsigned>(recorder.half()),
                options.stream.c_str(), options.seconds > 0 ? "" : " until Ctrl-C");
    std::fflush(stdout);
    const uint64_t target = static_cast<uint64_t>(options.seconds * rate + 0.5);
    const bool live = isatty(fileno(stderr)) != 0;
    const auto began = std::chrono::steady_clock::now();
    auto shown = began;
    bool ok = true;
    while (!interrupted && !recorder.ended() && (target == 0 || recorder.totals().written < target)) {
        if (!Check("CheckEvent, FAICheck, FAITransfer", recorder.Poll(kEventWaitMs))) {
            ok = false;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (live && now - shown >= kLiveEvery) {
            ShowLive(recorder, std::chrono::duration<double>(now - began).count(), false);
            shown = now;
        }
    }
    ok = Check("FAIStop", recorder.Stop()) && ok;
    if (live)
        ShowLive(recorder,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(),
                 true);
    ok = file->Finish(recorder.totals()) && ok;
    if (interrupted) std::printf("stopped by Ctrl-C\n");
    std::printf("%s\n", stream::Summary(recorder.totals()).c_str());
    if (totals) *totals = recorder.totals();
    return ok ? 0 : 1;
}

}  // namespace panel
