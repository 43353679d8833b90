// The counters on the lab: the status poll that the measurement threads
// repeat, with the card model following a running gate, and a whole
// frequency measurement.
#include <benchmark/benchmark.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <core/device.h>
#include <core/registers.h>

namespace {

struct Lab {
    explicit Lab(unsigned freqArea) {
        KtzSimReset(0);
        KtzSimAddCard(0, 13, KTZSIM_PCI3649);
        KtzSimDeviceSettings settings;
        KtzSimDefaultSettings(0, &settings);
        settings.freqArea = freqArea;
        KtzSimInstallDevice(0, 0, &settings);
        DeviceOpen(0, &handle);
        KtzSimTraceEnable(0);
        KtzSimSetCounterRate(0, 2, 1e6);
    }
    ~Lab() { DeviceClose(&handle); }
    KTZHANDLE handle = 0;
};

// One read of register 36 while counter 1's gate runs and counter 2 counts
// a 1 MHz input through it (6 s gate: it stays open throughout).
void BM_GateStatusRead(benchmark::State &state) {
    Lab lab(3);
    const auto &device = *ktz::FindOpenDevice(lab.handle);
    float frequency;
    CounterFreqRead(lab.handle, 2, &frequency);  // starts the gate and a thread
    CounterReset(lab.handle, 0);                 // stops the thread, the gate runs on
    for (auto _ : state) benchmark::DoNotOptimize(ktz::CardReadWord(device, 36));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GateStatusRead);

// A frequency measurement of area 0 (6 ms gate) at the default request
// cost: the thread polls about 6000 times.
void BM_FrequencyMeasurement(benchmark::State &state) {
    Lab lab(0);
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
