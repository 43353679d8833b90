// A recording without end, soaked: ten minutes of acquisition time at
// 1 MS/s (16 scan entries, halves of 65,536 samples) through the panel's
// recorder, the lab's time factor compressing it. Every input carries a
// sawtooth, so the reader checks each sample it takes; it reports what it took against what the card wrote, the
// overruns, the halves lost, the samples out of place, and its own CPU per
// second of data. A second run raises the time factor until a half is lost
// or an overrun reported: the highest rate at which none are.
//
//   bench_stream [--soak_seconds=600] [--soak_factor=2]
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_lab.h"
#include "stream.h"

namespace {

constexpr WORD kEntries = 16;
constexpr DWORD kRate = 1000000;
constexpr DWORD kHalf = 65536;
constexpr WORD kTenVoltsBipolar = 4;
constexpr double kPeriodScans = 4093;  // of the sawtooth: prime

double soakSeconds = 600;  // of acquisition time
double soakFactor = 2;     // lab time per real time

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Takes the samples and checks each against the sawtooth: entry e of scan
// s is the first scan's code plus s x 4096 / kPeriodScans, modulo 4096,
// within a code (the conversion rounds, the top code clips). The period is
// prime to the half, so a half repeated or out of place is off by codes.
class CheckingSink : public stream::Sink {
public:
    bool Data(uint64_t first, const WORD *words, DWORD count) override {
        for (DWORD i = 0; i < count; ++i) {
            const uint64_t index = first + i;
            const unsigned e = index % kEntries;
            const double code = words[i] & 0x0FFF;
            const double rise = std::fmod(static_cast<double>(index / kEntries) * 4096.0 /
                                              kPeriodScans, 4096.0);
            if (base_[e] < 0) base_[e] = std::fmod(code - rise + 4096.0, 4096.0);
            const double off = std::fabs(std::fmod(code - base_[e] - rise + 8192.0, 4096.0));
            misplaced += std::min(off, 4096.0 - off) > 1.5;
        }
        return true;
    }
    bool Gap(uint64_t, DWORD) override { return true; }
    uint64_t misplaced = 0;

private:
    double base_[kEntries] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

struct Outcome {
    stream::Totals totals;
    uint64_t labSamples = 0, misplaced = 0;
    double readerCpu = 0, realSeconds = 0;
};

// One recording of `seconds` of acquisition at a time factor.
Outcome Record(double seconds, double factor) {
    bench::Lab lab;
    const KtzSimSignal saw{KTZSIM_SIGNAL_SAWTOOTH, 10.0, 0.0,
                           static_cast<double>(kRate) / (kPeriodScans * kEntries), 0};
    for (unsigned channel = 0; channel < 16; ++channel) KtzSimSetSignal(0, channel, &saw);
    KtzSimSetTimeFactor(factor);

    stream::Setup setup;
    setup.handle = lab.handle;
    setup.entries = kEntries;
    setup.gains = {kTenVoltsBipolar};
    setup.rate = kRate;
    setup.half = kHalf;
    CheckingSink sink;
    stream::Recorder recorder(setup, sink);
    Outcome o;
    const auto began = std::chrono::steady_clock::now();
    const double cpu = ThreadCpuSeconds();
    if (recorder.Start() != 0) return o;
    const uint64_t target = static_cast<uint64_t>(seconds * kRate);
    while (recorder.totals().written < target)
        if (recorder.Poll(100) != 0) break;
    recorder.Stop();
    o.readerCpu = ThreadCpuSeconds() - cpu;
    o.realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    KtzSimAcquisition acquisition{};
    KtzSimGetAcquisition(0, &acquisition);
    KtzSimSetTimeFactor(1);
    o.totals = recorder.totals();
    o.labSamples = acquisition.samples;
    o.misplaced = sink.misplaced;
    return o;
}

void Report(benchmark::State &state, const Outcome &o) {
    const double dataSeconds = static_cast<double>(o.totals.written) / kRate;
    state.counters["samples"] = static_cast<double>(o.totals.samples);
    state.counters["lab_samples"] = static_cast<double>(o.labSamples);
    state.counters["overruns"] = o.totals.overruns;
    state.counters["lost_halves"] = o.totals.lostHalves;
    state.counters["misplaced"] = static_cast<double>(o.misplaced);
    state.counters["reader_cpu_ms_per_data_s"] =
        dataSeconds > 0 ? o.readerCpu * 1000 / dataSeconds : 0;
    state.counters["real_s"] = o.realSeconds;
}

void BM_Soak(benchmark::State &state) {
    Outcome o;
    for (auto _ : state) o = Record(soakSeconds, soakFactor);
    Report(state, o);
    state.counters["data_s"] = static_cast<double>(o.totals.written) / kRate;
    state.counters["factor"] = soakFactor;
    if (o.totals.samples != o.labSamples || o.totals.overruns || o.totals.lostHalves ||
        o.misplaced)
        state.SkipWithError("samples lost, out of place or overrun");
}
BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond);

// Doubles the time factor from 8 while ten seconds of acquisition keep
// every half and no overrun; the rate is the highest factor's times 1 MS/s.
void BM_HighestRate(benchmark::State &state) {
    double highest = 0;
    Outcome last;
    for (auto _ : state) {
        for (double factor = 8; factor <= 1024; factor *= 2) {
            last = Record(10, factor);
            if (last.totals.overruns || last.totals.lostHalves || last.misplaced) break;
            highest = factor;
        }
    }
    Report(state, last);
    state.counters["highest_MSps"] = highest * kRate / 1e6;
}
BENCHMARK(BM_HighestRate)->Iterations(1)->Unit(benchmark::kSecond);

// Takes --soak_seconds=S and --soak_factor=F before Google Benchmark's own.
void TakeOptions(int *argc, char **argv) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const char *arg = argv[i];
        if (std::strncmp(arg, "--soak_seconds=", 15) == 0)
            soakSeconds = std::atof(arg + 15);
        else if (std::strncmp(arg, "--soak_factor=", 14) == 0)
            soakFactor = std::atof(arg + 14);
        else
            argv[kept++] = argv[i];
    }
    *argc = kept;
}

}  // namespace

int main(int argc, char **argv) {
    TakeOptions(&argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
