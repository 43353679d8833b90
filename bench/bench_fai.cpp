// Fast input: FAITransfer of a full 1,024,000-sample buffer of a 16-entry
// scan with mixed gains, raw and in volts, against the literal method
// (scratch copy per call, gain lookup and extended-precision scaling per
// sample) and against memcpy of the same output bytes; and the lab's
// acquisition engine at 1 MS/s in real time: its CPU share and whether it
// keeps up with the pacer.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>


#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "bench_lab.h"
#include "fai_reference.h"

namespace {

constexpr DWORD kSamples = 1024000;
constexpr WORD kScanLength = 16;
WORD kGains[kScanLength] = {0, 1, 2, 3, 4, 16, 17, 18, 19, 0, 4, 16, 1, 17, 2, 18};

// A device whose last acquisition is a full buffer of random samples.
struct FinishedBuffer : bench::Lab {
    FinishedBuffer() {
        buffer = GlobalAlloc(GHND, kSamples * sizeof(WORD));
        // An externally clocked start that is terminated before a pulse:
        // the record describes the buffer, which is then filled here.
        FAIDmaExStart(handle, 0, 0, 1, 0, 0, 0.0f, 0, kScanLength, 0, 2, kSamples, 0, kGains, 0,
                      0, buffer, 0, 0, 0, 0);
        FAITerminate(handle);
        auto *words = static_cast<WORD *>(GlobalLock(buffer));
        std::mt19937 random(1);
        for (DWORD i = 0; i < kSamples; ++i) words[i] = static_cast<WORD>(random());
        GlobalUnlock(buffer);
        device = &bench::Record(handle);
    }
    ~FinishedBuffer() {
        DeviceClose(&handle);
        GlobalFree(buffer);
    }
    HGLOBAL buffer = nullptr;
    ktz::DeviceRecord *device = nullptr;
};

// Runs `copy` into a full-buffer output of `Out` per iteration; reports
// the time per sample.
template <class Out, class Copy>
void PerSample(benchmark::State &state, Copy copy) {
    std::vector<Out> out(kSamples);
    for (auto _ : state) {
        copy(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["time_per_sample"] =
        benchmark::Counter(static_cast<double>(kSamples) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TransferVolts(benchmark::State &state) {
    FinishedBuffer lab;
    PerSample<FLOAT>(state,
                     [&](FLOAT *out) { FAITransfer(lab.handle, 0, out, 1, 0, kSamples, 0); });
}
BENCHMARK(BM_TransferVolts)->Unit(benchmark::kMillisecond);

void BM_ReferenceVolts(benchmark::State &state) {
    FinishedBuffer lab;
    PerSample<FLOAT>(state, [&](FLOAT *out) {
        ktztest::ReferenceTransfer(*lab.device, out, 1, 0, kSamples);
    });
}
BENCHMARK(BM_ReferenceVolts)->Unit(benchmark::kMillisecond);

void BM_MemcpyVoltsBytes(benchmark::State &state) {
    std::vector<FLOAT> in(kSamples, 1.0f);
    PerSample<FLOAT>(state, [&](FLOAT *out) {
        std::memcpy(out, in.data(), kSamples * sizeof(FLOAT));
    });
}
BENCHMARK(BM_MemcpyVoltsBytes)->Unit(benchmark::kMillisecond);

void BM_TransferRaw(benchmark::State &state) {
    FinishedBuffer lab;
    PerSample<WORD>(state, [&](WORD *out) { FAITransfer(lab.handle, 0, out, 0, 0, kSamples, 0); });
}
BENCHMARK(BM_TransferRaw)->Unit(benchmark::kMillisecond);

void BM_ReferenceRaw(benchmark::State &state) {
    FinishedBuffer lab;
    PerSample<WORD>(state, [&](WORD *out) {
        ktztest::ReferenceTransfer(*lab.device, out, 0, 0, kSamples);
    });
}
BENCHMARK(BM_ReferenceRaw)->Unit(benchmark::kMillisecond);

void BM_MemcpyRawBytes(benchmark::State &state) {
    std::vector<WORD> in(kSamples, 1);
    PerSample<WORD>(state,
                    [&](WORD *out) { std::memcpy(out, in.data(), kSamples * sizeof(WORD)); });
}
BENCHMARK(BM_MemcpyRawBytes)->Unit(benchmark::kMillisecond);

// A 1 MS/s acquisition of the full buffer at time factor 1 (about one
// second each): the engine thread's CPU time over the run's wall time, and
// the most samples it was ever behind the pacer (it keeps up while that
// stays within the card's 4096-sample FIFO).
void BM_Engine1MSps(benchmark::State &state) {
    bench::Lab lab;
    KtzSimSetTimeFactor(1.0);
    for (unsigned c = 0; c < 16; ++c) {
        KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 2.0, 0.0, 50.0 + c, 0};
        KtzSimSetSignal(0, c, &sine);
    }
    HGLOBAL buffer = GlobalAlloc(GHND, kSamples * sizeof(WORD));
    double cpu = 0, wall = 0;
    unsigned long long lag = 0, ownLag = 0;
    for (auto _ : state) {
        auto begin = std::chrono::steady_clock::now();
        if (FAIDmaExStart(lab.handle, 0, 0, 0, 0, 0, 0.0f, 0, kScanLength, 0, 2, kSamples,
                          1000000, kGains, 0, 0, buffer, 0, 0, 0, 0) != 0) {
            state.SkipWithError("start failed");
            break;
        }
        HANDLE read = bench::Record(lab.handle).fai.faiReadRequest.hEvent;
        WaitForSingleObject(read, INFINITE);
        wall += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() -
                                                         begin).count();
        KtzSimAcquisition info{};
        KtzSimGetAcquisition(0, &info);
        cpu += static_cast<double>(info.engineCpuNs);
        lag = std::max(lag, info.maxLag);
        ownLag = std::max(ownLag, info.maxOwnLag);
        FAIStop(lab.handle);
    }
    GlobalFree(buffer);
    state.counters["engine_cpu_percent"] = 100.0 * cpu / wall;
    state.counters["max_lag_samples"] = static_cast<double>(lag);
    state.counters["max_own_lag_samples"] = static_cast<double>(ownLag);
    std::printf("engine: %.2f%% of a core; at most %llu samples behind the pacer, %llu of them "
                "its own\n",
                100.0 * cpu / wall, lag, ownLag);
    if (cpu / wall > 0.10) state.SkipWithError("the engine took more than 10% of a core");
    if (ownLag > 4096) state.SkipWithError("the engine fell behind by more than the FIFO");
}
BENCHMARK(BM_Engine1MSps)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
