// The panel's subcommands, one family per source file. Each Run function
// does what its subcommand does on an open session and prints it; it
// returns the exit code (0 when every library call succeeded and the lab
// agreed) and, for the demo, what it measured.
#pragma once

#include <optional>

#include "panel.h"
#include "stream.h"

namespace panel {

// ---- device info and features (info.cpp)
int RunInfo(Session &session);
// A number among the device's stored settings ("FreqArea"); false if absent.
bool ReadSetting(const Session &session, const char *name, DWORD *value);
// The name of an input range from the features record ("+/-5V").
std::string GainRangeName(const Session &session, WORD gain);
int RunFeatures(Session &session, KtzDeviceFeatures *features = nullptr);
void AddInfoCommands(CLI::App &app);

// ---- analog input (ai.cpp)
struct AiReadOptions {
    WORD channel = 0;
    WORD gain = 0;
    WORD trigger = 0;
    unsigned count = 1;
    std::vector<std::string> signals;
};
int RunAiRead(Session &session, const AiReadOptions &options, std::vector<float> *volts = nullptr);

struct AiScanOptions {
    WORD start = 0;
    WORD channels = 4;
    std::vector<WORD> gains{0};  // one per channel; the last one repeats
    std::optional<WORD> differential;
    std::vector<std::string> signals;
};
int RunAiScan(Session &session, const AiScanOptions &options, std::vector<float> *volts = nullptr);
void AddAiCommands(CLI::App &app);

// ---- analog output (ao.cpp)
struct AoOptions {
    WORD channel = 0;
    std::optional<double> volts;
    std::optional<WORD> code;
    std::string range;  // "MIN:MAX" in volts; empty keeps the channel's range
    WORD reference = 0;
};
struct AoResult {
    WORD code = 0;
};
int RunAo(Session &session, const AoOptions &options, AoResult *result = nullptr);
// AOConfig from a "MIN:MAX" range text; false (printed) on failure.
bool ConfigureOutput(Session &session, WORD channel, WORD reference, const std::string &range);
// Adds the --range MIN:MAX option of an output channel.
void AddRangeOption(CLI::App &command, std::string &range, const std::string &what);
void AddAoCommand(CLI::App &app);

// ---- digital I/O (dio.cpp)
struct DioLab {
    std::vector<std::string> directions;  // "PORT=in" or "PORT=out"
    std::vector<std::string> lines;       // "PORT=VALUE": the lab's lines at an input port
};
enum class DioWidth { Byte, Bit, Word };
struct DioReadOptions {
    DioLab lab;
    WORD port = 0;
    DioWidth width = DioWidth::Byte;
    WORD bit = 0;
};
struct DioWriteOptions {
    DioLab lab;
    WORD port = 0;
    DioWidth width = DioWidth::Byte;
    WORD bit = 0;
    unsigned value = 0;
    unsigned mask = 0xFFFF;
};
int RunDioShow(Session &session, const DioLab &wiring);
int RunDioRead(Session &session, const DioReadOptions &options, DWORD *value = nullptr);
int RunDioWrite(Session &session, const DioWriteOptions &options);
void AddDioCommands(CLI::App &app);

// ---- counters (counter.cpp)
struct CounterEventOptions {
    WORD counter = 0;
    WORD gate = 0;
    unsigned long long pulses = 1000;  // injected at once before each read
    double hertz = 0;                  // and/or pulses at a rate while reading
    unsigned reads = 1;
};
int RunCounterEvents(Session &session, const CounterEventOptions &options, DWORD *count = nullptr);
int RunCounterFreq(Session &session, double hertz, float *frequency = nullptr);
struct CounterPulseOptions {
    WORD counter = 0;
    float period = 0.001f;  // seconds
    WORD gate = 0;
};
int RunCounterPulse(Session &session, const CounterPulseOptions &options);
int RunPulseWidth(Session &session, double highUs, double lowUs, float *first = nullptr,
                  float *second = nullptr);
int RunCounterReset(Session &session, WORD counter);
void AddCounterCommands(CLI::App &app);

// ---- fast acquisition (fai.cpp)
struct FaiOptions {
    WORD start = 0;
    WORD entries = 1;
    std::vector<WORD> gains{0};  // one per scan entry; the last one repeats
    DWORD rate = 100000;         // samples per second
    DWORD scans = 1000;
    std::optional<WORD> differential;
    std::vector<std::string> signals;
    std::string csv, svg;
    // A recording without end into this file instead (CSV for a .csv name,
    // else the binary format), of `seconds` of acquisition (0: until Ctrl-C).
    std::string stream;
    double seconds = 0;
    DWORD half = 65536;          // samples per half of the buffer
    unsigned slowReaderMs = 0;   // a pause before each copy of a half
    WORD clockSource = 0;
};
struct FaiResult {
    DWORD samples = 0;
    std::vector<Trace> traces;  // one per scan entry
};
int RunFai(Session &session, const FaiOptions &options, FaiResult *result = nullptr);
// The recording of --stream (fai_stream.cpp); the totals to *totals.
int RunFaiStream(Session &session, const FaiOptions &options, stream::Totals *totals = nullptr);
void AddFaiCommand(CLI::App &app);

// ---- waveform output (fao.cpp)
struct WaveOptions {
    std::string shape = "sine";
    double amplitude = 4.0;
    double offset = 0.0;
    double hertz = 100.0;
    DWORD rate = 10000;
    DWORD samples = 4096;
    std::string channel = "0";  // 0, 1 or both
    std::string range;          // "MIN:MAX" for the channels, as in `ao`
    std::string csv, svg;
};
struct WaveResult {
    std::vector<Trace> played;     // the lab's output record per channel
    std::vector<Trace> table;      // the table in volts per channel
    unsigned long long count = 0;  // samples the card played
    double worstError = 0;         // largest difference of played and table volts
};
int RunWave(Session &session, const WaveOptions &options, WaveResult *result = nullptr);
void AddWaveCommand(CLI::App &app);

// ---- the tour (demo.cpp, in the panels that have the lab)
int RunDemo(Session &session, const std::string &folder);
void AddDemoCommand(CLI::App &app);

}  // namespace panel
