// Polled operations end to end: the requests each call sends (from the
// lab's virtual clock, which every request advances by one request cost)
// against the documented count, and the time per call.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include "bench_lab.h"

namespace {

constexpr unsigned kRequestCost = 1000;  // virtual ns per request

// The lab with a known request cost.
struct Lab : bench::Lab {
    Lab() { KtzSimSetRequestCost(kRequestCost); }
};

// Runs `call` per iteration and reports the requests per call, which must
// equal `documented`.
template <class Call>
void Measure(benchmark::State &state, double documented, Call call) {
    unsigned long long before = KtzSimNow();
    for (auto _ : state) call();
    double requests = static_cast<double>(KtzSimNow() - before) / kRequestCost /
                      static_cast<double>(state.iterations());
    state.counters["requests"] = requests;
    state.counters["documented"] = documented;
    if (requests != documented) state.SkipWithError("request count differs from the documented");
}

// Control, range select, start, one status read (the result is ready),
// nine settling reads after a range change, two result reads.
void BM_AIVoltageIn(benchmark::State &state) {
    Lab lab;
    AIConfig(lab.handle, 3, 0);
    float volts = 0;
    Measure(state, 2 + 1 + 9 + 2, [&] {
        benchmark::DoNotOptimize(AIVoltageIn(lab.handle, 3, 0, 0, &volts));
    });
}
BENCHMARK(BM_AIVoltageIn);

// The same conversion for each of the 16 channels of the scan.
void BM_MAIVoltageIn16(benchmark::State &state) {
    Lab lab;
    WORD gains[16] = {};
    float volts[16];
    MAIConfig(lab.handle, 16, 0, gains);
    Measure(state, 16 * (2 + 1 + 9 + 2), [&] {
        benchmark::DoNotOptimize(MAIVoltageIn(lab.handle, 16, 0, gains, 0, volts));
    });
}
BENCHMARK(BM_MAIVoltageIn16);

// Direction write, port read, port write.
void BM_DioWritePortByte(benchmark::State &state) {
    Lab lab;
    WORD value = 0;
    Measure(state, 3, [&] {
        benchmark::DoNotOptimize(DioWritePortByte(lab.handle, 0, 0x0F, value++));
    });
}
BENCHMARK(BM_DioWritePortByte);

}  // namespace

BENCHMARK_MAIN();
