// The counters on the lab: the status read that the measurement threads
// repeat, with the card model following a running gate, and a whole
// frequency measurement.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <core/registers.h>

#include "bench_lab.h"

namespace {

// One read of register 36 while counter 1's gate runs (FreqArea 1: 60 ms,
// 60 million reads at 1 ns each) and counter 2 counts a 1 MHz input.
void BM_GateStatusRead(benchmark::State &state) {
    bench::Lab lab;
    KtzSimSetCounterRate(0, 2, 1e6);
    const auto &device = bench::Record(lab.handle);
    float frequency;
    CounterFreqStart(lab.handle, 2, 0, 0);
    CounterFreqRead(lab.handle, 2, &frequency);  // starts the gate and a thread
    CounterReset(lab.handle, 0);                 // stops the thread; the gate runs on
    KtzSimSetRequestCost(1);
    for (auto _ : state) benchmark::DoNotOptimize(ktz::CardReadWord(device, 36));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GateStatusRead);

// A frequency measurement of FreqArea 1 whose 60 ms gate passes in about
// 6000 status reads of the thread.
void BM_FrequencyMeasurement(benchmark::State &state) {
    bench::Lab lab;
    KtzSimSetCounterRate(0, 2, 1e6);
    KtzSimSetCounterPollCost(0, 10'000);
    CounterFreqStart(lab.handle, 2, 0, 0);  // selects the FreqArea clock
    for (auto _ : state) {
        float frequency = -1;
        CounterFreqRead(lab.handle, 2, &frequency);
        while (CounterFreqRead(lab.handle, 2, &frequency) == 0 && frequency < 0) Sleep(0);
        benchmark::DoNotOptimize(frequency);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrequencyMeasurement)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
