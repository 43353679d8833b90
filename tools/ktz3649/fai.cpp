// Fast acquisition: a DMA scan at the pacer rate (FAIDmaExStart), its
// progress from CheckEvent and FAICheck, the samples in volts
// (FAITransfer), written as CSV and drawn as SVG.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "lab.h"

namespace panel {
namespace {

constexpr WORD kInterruptEvent = 1, kEndedEvent = 4;

// Interrupt events about every 2% of the samples, for the progress bar.
WORD InterruptEvery(DWORD samples) {
    return static_cast<WORD>(std::clamp<DWORD>((samples / 50) & ~1u, 2, 65534));
}

// Waits for the end, drawing the progress; the acquisition is stopped
// when it does not end in time or a call fails.
bool AwaitEnd(Session &session, DWORD samples, double labSeconds) {
    bool ended = AwaitRun(session, "acquiring", samples, labSeconds / session.lab.timeFactor,
                          [&](WORD event, uint64_t *done) {
                              WORD stopped = 0, status1 = 0, status2 = 0, status3 = 0;
                              DWORD count = 0;
                              if (!Check("FAICheck", FAICheck(session.handle, &stopped, &status1,
                                                              &count, &status2, &status3)))
                                  return Step::Failed;
                              *done = count;
                              // At the end CheckEvent has terminated the acquisition.
                              return event == kEndedEvent ? Step::Done : Step::Running;
                          });
    if (!ended) Check("FAIStop", FAIStop(session.handle));
    return ended;
}

}  // namespace

int RunFai(Session &session, const FaiOptions &options, FaiResult *result) {
    if (!lab::ApplySignals(session, options.signals)) return 1;
    WORD mask = 0;
    if (!ChanConfig(session, options.differential.has_value(), options.differential.value_or(0),
                    &mask))
        return 1;
    const DWORD samples = options.scans * options.entries;
    const std::vector<WORD> gains = ExpandGains(options.gains, 16);
    if (!Check("EnableEvent", EnableEvent(session.handle, kInterruptEvent | kEndedEvent, 1,
                                          InterruptEvery(samples))))
        return 1;

    HGLOBAL buffer = GlobalAlloc(GHND, std::max<DWORD>(samples, 1) * sizeof(WORD));
    if (!buffer) return Fail("no memory for %u samples", static_cast<unsigned>(samples));
    std::vector<FLOAT> volts;
    DWORD rc = FAIDmaExStart(session.handle, 0, 0, 0, 0, 0, 0.0f, 0, options.entries, options.start,
                             2, samples, options.rate, const_cast<WORD *>(gains.data()), 0, 0,
                             buffer, 0, 0, 0, 0);
    bool ok = Check("FAIDmaExStart", rc);
    if (!ok) FAIStop(session.handle);  // a refused start keeps the device claimed
    ok = ok && AwaitEnd(session, samples, static_cast<double>(samples) / options.rate);
    if (ok) {
        volts.resize(samples);
        ok = Check("FAITransfer", FAITransfer(session.handle, 0, volts.data(), 1, 0, samples, 0));
    }
    GlobalFree(buffer);
    if (!ok) return 1;

    // Sample k was converted k pacer periods after the first one.
    const DWORD divisor = static_cast<DWORD>(10000000.0 / options.rate) & 0xFFFF;
    const double period = divisor * 100e-9;
    const auto labels = ScanLabels(options.start, options.entries, mask);
    FaiResult r;
    r.samples = samples;
    r.traces.resize(options.entries);
    for (WORD e = 0; e < options.entries; ++e) {
        Trace &trace = r.traces[e];
        trace.name = e < labels.size() ? labels[e] : "entry" + std::to_string(e);
        for (DWORD k = e; k < samples; k += options.entries) {
            trace.seconds.push_back(k * period);
            trace.volts.push_back(volts[k]);
        }
    }
    std::printf(
        "acquired %u samples: %u scans of %u entries at %u samples/s (pacer divisor %u), "
        "%g s\n",
        static_cast<unsigned>(samples), static_cast<unsigned>(options.scans), options.entries,
        static_cast<unsigned>(options.rate), static_cast<unsigned>(divisor), samples * period);
    for (WORD e = 0; e < options.entries; ++e) {
        const Stats stats = Summarize(r.traces[e].volts);
        std::printf("  %-6s %-10s min %8.4f V, mean %8.4f V, max %8.4f V\n",
                    r.traces[e].name.c_str(), GainRangeName(session, gains[e]).c_str(), stats.low,
                    stats.mean, stats.high);
    }
    const std::string title = Text("Fast acquisition, device %u, %u samples/s", session.lab.device,
                                   static_cast<unsigned>(options.rate));
    if (!WritePlots(options.csv, options.svg, title, r.traces)) return 1;
    if (result) *result = std::move(r);
    return 0;
}

void AddFaiCommand(CLI::App &app) {
    auto options = std::make_shared<FaiOptions>();
    auto *fai = AddCommand(app, "fai",
                           "Fast acquisition of a scan by DMA, with a progress bar; the samples "
                           "in volts as CSV and SVG; or, with --stream, a recording without end",
                           [options](Session &session) {
                               return options->stream.empty() ? RunFai(session, *options)
                                                              : RunFaiStream(session, *options);
                           });
    fai->add_option("--start,-s", options->start, "First channel of the scan")
        ->capture_default_str();
    fai->add_option("--entries,-n", options->entries,
                    "Scan entries (channels, a pair counting once)")
        ->check(CLI::Range(1, 16))
        ->capture_default_str();
    AddGainsOption(*fai, options->gains, "per scan entry");
    fai->add_option("--rate,-r", options->rate, "Samples per second (154 to 1000000)")
        ->capture_default_str();
    fai->add_option("--scans", options->scans,
                    "Scans to acquire (scans x entries samples, an even number)")
        ->check(CLI::Range(1u, 1024000u))
        ->capture_default_str();
    fai->add_option("--differential", options->differential,
                    "Write ChanConfig first (DriverProc 108, property 0x1000), e.g. 0x3");
    AddPlotOptions(*fai, options->csv, options->svg,
                   "Write the samples in volts as CSV, a row per scan",
                   "Draw the samples as SVG, a curve per scan entry");
    lab::AddSignalOption(*fai, options->signals);
    fai->add_option("--stream", options->stream,
                    "Record into FILE while the card fills its buffer cyclically, a half at a "
                    "time, until --seconds or Ctrl-C: CSV for a .csv name, else the binary "
                    "format (docs/streaming.md); ends with \"stream: N samples, H halves, "
                    "K overruns, L lost\" (L halves lost)")
        ->type_name("FILE");
    fai->add_option("--seconds", options->seconds,
                    "With --stream: seconds of acquisition to record (0: until Ctrl-C)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    fai->add_option("--half", options->half,
                    "With --stream: samples per half of the buffer, rounded down to whole scans")
        ->check(CLI::Range(2u, 512000u))
        ->capture_default_str();
    fai->add_option("--slow-reader", options->slowReaderMs,
                    "With --stream: wait MS milliseconds before taking each half, to show an "
                    "overrun and the gap it leaves")
        ->type_name("MS");
    fai->add_option("--clock", options->clockSource,
                    "Clock source: 0 the pacer, else the external clock")
        ->capture_default_str();
}

}  // namespace panel
