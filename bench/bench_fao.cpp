// Waveform output: FAOScale of a 65,536-voltage table against a plain loop
// of the same formula and against AOScale called per sample, and the cost
// of one start (the 4096-write FIFO probe included) in requests and time.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <cmath>
#include <vector>

#include "bench_lab.h"

namespace {

constexpr DWORD kTable = 65536;
constexpr unsigned kRequestCost = 1000;  // virtual ns per request

// A sine table on a -10 to 10 V channel.
struct ScaleLab : bench::Lab {
    ScaleLab() : volts(kTable), codes(kTable) {
        AOConfig(handle, 0, 0, 10.0f, -10.0f);
        for (DWORD i = 0; i < kTable; ++i)
            volts[i] = static_cast<float>(10.5 * std::sin(i * 0.001));
    }
    std::vector<float> volts;
    std::vector<WORD> codes;
};

// Samples per second; 1e9 / items_per_second is the time per sample in ns.
void PerSample(benchmark::State &state) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kTable));
}

void BM_FAOScale(benchmark::State &state) {
    ScaleLab lab;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            FAOScale(lab.handle, 0, kTable, lab.volts.data(), lab.codes.data()));
        benchmark::ClobberMemory();
    }
    PerSample(state);
}
BENCHMARK(BM_FAOScale);

// The same formula in a plain loop: clamp, (v - min) * 4096 / width in
// extended precision, truncate, at most 4095.
void BM_PlainLoop(benchmark::State &state) {
    ScaleLab lab;
    float maximum = 10.0f, minimum = -10.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(maximum);  // a range read at run time, as the library's
        benchmark::DoNotOptimize(minimum);
        long double width = static_cast<long double>(maximum) - minimum;
        for (DWORD i = kTable; i-- > 0;) {
            float v = lab.volts[i];
            if (v < minimum) v = minimum;
            if (v > maximum) v = maximum;
            long double scaled = (static_cast<long double>(v) - minimum) * 4096 / width;
            if (scaled > 4095) scaled = 4095;
            lab.codes[i] = static_cast<WORD>(scaled);
        }
        benchmark::ClobberMemory();
    }
    PerSample(state);
}
BENCHMARK(BM_PlainLoop);

// The exported AOScale per sample: the handle looked up every time.
void BM_AOScalePerSample(benchmark::State &state) {
    ScaleLab lab;
    for (auto _ : state) {
        for (DWORD i = kTable; i-- > 0;) AOScale(lab.handle, 0, lab.volts[i], &lab.codes[i]);
        benchmark::ClobberMemory();
    }
    PerSample(state);
}
BENCHMARK(BM_AOScalePerSample);

// One start with a DMA buffer already allocated: the probe's 4096 writes
// and its five other register accesses, the load and the start request.
// The card holds still (time factor 0); a stop, not timed, ends each start.
void BM_FAODmaStart(benchmark::State &state) {
    bench::Lab lab;
    KtzSimSetRequestCost(kRequestCost);
    KtzSimSetTimeFactor(0);
    std::vector<WORD> samples(4096, 2048);
    DWORD size = 0, address = 0;
    AllocateDMABuffer(lab.handle, 0, 8192, &size, &address);
    unsigned long long requests = 0;
    for (auto _ : state) {
        unsigned long long before = KtzSimNow();
        benchmark::DoNotOptimize(FAODmaStart(lab.handle, 0, 10000, 0, samples.data(), 4096));
        requests += (KtzSimNow() - before) / kRequestCost;
        state.PauseTiming();
        FAOStop(lab.handle);
        state.ResumeTiming();
    }
    state.counters["requests"] =
        static_cast<double>(requests) / static_cast<double>(state.iterations());
    state.counters["documented"] = 4096 + 5 + 2;
    FAOTerminate(lab.handle);
}
BENCHMARK(BM_FAODmaStart)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
