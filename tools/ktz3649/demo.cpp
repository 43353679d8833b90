// The demo: a short tour of every family on the lab, each step checked
// against what the lab puts in or shows. Part of the panels that have the lab.
#include <ktz3649sim.h>

#include <cmath>
#include <cstdio>

#include "commands.h"

namespace panel {
namespace {

class Tour {
public:
    // Runs one step; it passes when `body` returns true.
    template <class Body>
    void Step(const char *title, Body body) {
        ++steps_;
        std::printf("\n[%d] %s\n", steps_, title);
        std::fflush(stdout);
        const bool ok = body();
        std::printf("  -> %s\n", ok ? "ok" : "FAILED");
        passed_ += ok ? 1 : 0;
    }

    int Finish() const {
        std::printf("\nDemo: %d of %d steps passed.\n", passed_, steps_);
        return passed_ == steps_ ? 0 : 1;
    }

private:
    int steps_ = 0, passed_ = 0;
};

// A measured value against the lab's truth.
bool Near(const char *what, double value, double expected, double tolerance) {
    if (std::fabs(value - expected) <= tolerance) return true;
    return Fail("%s: %g, expected %g (within %g)", what, value, expected, tolerance);
}

// Two codes of a 12-bit range that spans `span` volts.
double Codes(double span) { return 2 * span / 4096; }

// A PCI-3649L refuses analog output with KtzErrNotSupported.
bool RefusesOutput(const char *call, DWORD result) {
    std::printf("%s on a PCI-3649L: %s\n", call, Describe(result).c_str());
    return KtzErrorNumber(result) == KtzErrNotSupported ||
           Fail("%s: %s, expected KtzErrNotSupported", call, Describe(result).c_str());
}

std::string InFolder(const std::string &folder, const char *name) {
    return folder.empty() ? "" : folder + "/" + name;
}

}  // namespace

int RunDemo(Session &session, const std::string &folder) {
    std::printf("ktz3649 demo: a tour of the library on %s\n", DescribeDevice(session).c_str());
    Tour tour;

    tour.Step("Device info: stored settings and properties (DriverProc 109)",
              [&] { return RunInfo(session) == 0; });

    tour.Step("Features record (DriverProc 2)", [&] {
        KtzDeviceFeatures f{};
        return RunFeatures(session, &f) == 0 && Near("board ID", f.boardId, session.boardId, 0) &&
               Near("input ranges", f.gainCount, 9, 0) &&
               Near("analog outputs", f.maxAOChannels, session.Pci3649L() ? 0 : 2, 0);
    });

    tour.Step("Analog input: channel 0 at 2.5 V DC, range +/-5 V (AIConfig, AIVoltageIn)", [&] {
        AiReadOptions read;
        read.count = 3;
        read.signals = {"0=dc:2.5"};
        std::vector<float> volts;
        if (RunAiRead(session, read, &volts) != 0) return false;
        for (float v : volts)
            if (!Near("channel 0", v, 2.5, Codes(10))) return false;
        return true;
    });

    tour.Step("Analog input: channels 0 to 3 in one call, each in its own range (MAIVoltageIn)",
              [&] {
                  AiScanOptions scan;
                  scan.gains = {0, 4, 16, 1};
                  scan.signals = {"0=dc:2.5", "1=dc:-7.5", "2=dc:6", "3=dc:1"};
                  const double expected[] = {2.5, -7.5, 6.0, 1.0}, spans[] = {10, 20, 10, 5};
                  std::vector<float> volts;
                  if (RunAiScan(session, scan, &volts) != 0) return false;
                  for (int c = 0; c < 4; ++c)
                      if (!Near("scanned channel", volts[c], expected[c], Codes(spans[c])))
                          return false;
                  return true;
              });

    if (session.Pci3649L()) {
        tour.Step("Analog output: none on a PCI-3649L", [&] {
            return RefusesOutput("AOVoltageOut", AOVoltageOut(session.handle, 0, 1.0f));
        });
    } else {
        tour.Step("Analog output: 7.5 V on channel 0, range 0 to 10 V (AOConfig, AOVoltageOut)",
                  [&] {
                      AoOptions ao;
                      ao.volts = 7.5;
                      ao.range = "0:10";
                      AoResult r;
                      double volts = 0;
                      return RunAo(session, ao, &r) == 0 && Near("code", r.code, 3072, 0) &&
                             KtzSimGetAnalogOutput(session.card, 0, &volts) == 0 &&
                             Near("the lab's output", volts, 7.5, Codes(10));
                  });
    }

    tour.Step("Digital I/O: port 0 output, port 1 input reading the lab's lines 0x3C", [&] {
        DioWriteOptions write;
        write.lab.directions = {"0=out", "1=in"};
        write.lab.lines = {"1=0x3C"};
        write.value = 0xA5;
        write.mask = 0xFF;
        unsigned latch = 0;
        if (RunDioWrite(session, write) != 0) return false;
        KtzSimGetDigitalOutput(session.card, 0, &latch);
        if (!Near("port 0 latch", latch, 0xA5, 0)) return false;
        DioWriteOptions bit;
        bit.width = DioWidth::Bit;
        bit.bit = 1;
        bit.value = 1;
        if (RunDioWrite(session, bit) != 0) return false;
        KtzSimGetDigitalOutput(session.card, 0, &latch);
        DioReadOptions read;
        read.port = 1;
        DWORD lines = 0;
        return Near("port 0 latch after bit 1", latch, 0xA7, 0) &&
               RunDioRead(session, read, &lines) == 0 && Near("port 1", lines, 0x3C, 0);
    });

    tour.Step("Counter 1 counts 2 x 35000 events across a wrap (CounterEventStart, ...Read)", [&] {
        CounterEventOptions events;
        events.counter = 1;
        events.pulses = 35000;
        events.reads = 2;
        DWORD count = 0;
        return RunCounterEvents(session, events, &count) == 0 && Near("events", count, 70000, 0);
    });

    tour.Step(
        "Counter 0 puts out a 1 ms square wave, then is reset (CounterPulseStart, "
        "CounterReset)",
        [&] {
            CounterPulseOptions pulse;
            KtzSimCounterOutput out{};
            if (RunCounterPulse(session, pulse) != 0 ||
                KtzSimGetCounterOutput(session.card, 0, &out) != 0 ||
                !Near("period (ns)", out.periodNs, 1e6, 0) ||
                !Near("high time (ns)", out.highNs, 5e5, 0) || RunCounterReset(session, 0) != 0)
                return false;
            KtzSimGetCounterOutput(session.card, 0, &out);
            return Near("period after the reset", out.periodNs, 0, 0);
        });

    tour.Step("Counter 2 measures a pulse train high 100 us, low 50 us (PWMStartRead)", [&] {
        float first = 0, second = 0;
        return RunPulseWidth(session, 100, 50, &first, &second) == 0 &&
               Near("first phase (us)", first, 100, 0.2) &&
               Near("second phase (us)", second, 50, 0.2);
    });

    tour.Step("Counter 2 measures the lab's 250 kHz (CounterFreqStart, ...Read)", [&] {
        float hertz = 0;
        return RunCounterFreq(session, 250e3, &hertz) == 0 && Near("frequency", hertz, 250e3, 250);
    });

    tour.Step(
        "Fast acquisition: a 4 V, 50 Hz sine at channel 0 and -2 V at channel 1, "
        "1000 scans at 100 kS/s (FAIDmaExStart, CheckEvent, FAICheck, FAITransfer)",
        [&] {
            FaiOptions fai;
            fai.entries = 2;
            fai.gains = {4};
            fai.scans = 1000;
            fai.signals = {"0=sine:4:50", "1=dc:-2"};
            fai.csv = InFolder(folder, "demo_fai.csv");
            fai.svg = InFolder(folder, "demo_fai.svg");
            FaiResult r;
            if (RunFai(session, fai, &r) != 0 || !Near("samples", r.samples, 2000, 0) ||
                !Near("scan entries", static_cast<double>(r.traces.size()), 2, 0))
                return false;
            const Stats sine = Summarize(r.traces[0].volts), dc = Summarize(r.traces[1].volts);
            return Near("sine peak", sine.high, 4, 0.05) &&
                   Near("sine trough", sine.low, -4, 0.05) &&
                   Near("lowest DC sample", dc.low, -2, Codes(20)) &&
                   Near("highest DC sample", dc.high, -2, Codes(20));
        });

    if (session.Pci3649L()) {
        tour.Step("Waveform output: none on a PCI-3649L", [&] {
            FLOAT volts[1] = {1.0f};
            WORD codes[1] = {};
            return RefusesOutput("FAOScale", FAOScale(session.handle, 0, 1, volts, codes));
        });
    } else {
        tour.Step(
            "Waveform output: a 4 V, 100 Hz sine table of 4096 samples at 10 kS/s on "
            "channel 0 (FAOScale, FAODmaExStart, CheckEvent, FAOCheckEx)",
            [&] {
                WaveOptions wave;
                wave.range = "-10:10";
                wave.csv = InFolder(folder, "demo_wave.csv");
                wave.svg = InFolder(folder, "demo_wave.svg");
                WaveResult r;
                return RunWave(session, wave, &r) == 0 && Near("played", r.count, 4096, 0) &&
                       Near("largest difference", r.worstError, 0, Codes(20));
            });
    }
    return tour.Finish();
}

void AddDemoCommand(CLI::App &app) {
    auto folder = std::make_shared<std::string>();
    AddCommand(app, "demo", "A short tour of every family on the lab, each step checked",
               [folder](Session &session) { return RunDemo(session, *folder); })
        ->add_option("--out", *folder, "Write the plots of the tour (CSV and SVG) into this folder")
        ->check(CLI::ExistingDirectory)
        ->type_name("DIR");
}

}  // namespace panel
