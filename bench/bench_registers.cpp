// The unit that every polled operation is counted in: one register access
// through the library, hostwin's device I/O and the simulated driver.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <core/registers.h>

#include "bench_lab.h"

namespace {

using bench::Lab;

void BM_CardReadWord(benchmark::State &state) {
    Lab lab;
    const auto &device = bench::Record(lab.handle);
    for (auto _ : state) benchmark::DoNotOptimize(ktz::CardReadWord(device, 8));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CardReadWord);

void BM_ReadPortWord(benchmark::State &state) {
    Lab lab;
    WORD value = 0;
    for (auto _ : state) benchmark::DoNotOptimize(ReadPortWord(lab.handle, 0xE008, &value));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadPortWord);

void BM_CardReadWordTraced(benchmark::State &state) {
    Lab lab;
    KtzSimTraceEnable(1);
    const auto &device = bench::Record(lab.handle);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ktz::CardReadWord(device, 8));
        if (KtzSimTraceCount() > 100000) KtzSimTraceClear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CardReadWordTraced);

}  // namespace

BENCHMARK_MAIN();
