// The ktz3649 test panel: what its subcommands share. Every subcommand
// reaches the library through its exported functions or DriverProc, as an
// application does; where the panel has the virtual lab (lab.h), the lab
// supplies the signals and shows what the card puts out.
#pragma once

#include <ktz3649.h>

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace panel {

// ---- the lab and the open device -------------------------------------------

// The global options: which device the panel works on and, with the lab,
// the machine it sets up.
struct LabOptions {
    unsigned device = 0;                   // device number
    unsigned boardId = KTZ_BOARD_PCI3649;  // card kind when the panel sets up the lab
    unsigned bus = 0;
    unsigned slot = 13;
    unsigned freqArea = 1;  // the device's stored counter areas
    unsigned pwmArea = 0;
    bool fresh = false;         // set up a new lab even if the registry holds one
    double timeFactor = 100.0;  // the lab's engines run this much faster
    bool verbose = false;       // report every library call
};

// The device a subcommand works on, open, and the lab's card behind it.
struct Session {
    LabOptions lab;
    int card = -1;         // the lab's card, -1 without the lab
    unsigned boardId = 0;  // the device's board ID (property 0x0001)
    KTZHANDLE handle = 0;
    bool Pci3649L() const { return boardId == KTZ_BOARD_PCI3649L; }
};

// Prepares the lab where there is one (lab::Prepare), opens the device and
// reads its board ID. Prints why on failure.
bool OpenSession(const LabOptions &options, Session &session);
// Closes the device; false (with the result printed) if that fails.
bool CloseSession(Session &session);

// The session's device: "device 0, a PCI-3649", and on the lab " on bus 0,
// slot 13 (lab card 0)".
std::string DescribeDevice(const Session &session);
const char *BoardName(unsigned boardId);

// ---- result codes -----------------------------------------------------------

// A result code and its words (KtzResultText): "0 (success)", "3 (invalid
// handle)", "0x1007 (device 0: invalid channel)", "0x1063 (device 0: kernel
// driver status 99)".
std::string Describe(DWORD result);

// printf into a string.
std::string Text(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Reports a library call: with --verbose every one, else only failures
// ("AIConfig: 0x1007 (device 0: invalid channel)", on stderr). True for success.
bool Check(const char *call, DWORD result);
void SetVerbose(bool verbose);

// What Fail returns: false where a success flag is returned, the exit
// code 1 where an exit code is.
struct Failure {
    operator bool() const { return false; }
    operator int() const { return 1; }
};
// Prints a failure of the panel's own (a file it cannot write, a value
// that is not what the lab says it should be) on stderr.
Failure Fail(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));

// ---- device properties through DriverProc ----------------------------------

// DriverProc code 109: reads a property into `buffer` (length in, size out).
DWORD GetProperty(const Session &session, WORD property, void *buffer, DWORD *length);
// DriverProc code 108.
DWORD SetProperty(const Session &session, WORD property, const void *data, DWORD length);
// Reads a fixed-size property; false (with the result printed) on failure.
template <class T>
bool ReadProperty(const Session &session, WORD property, T *value, const char *what) {
    DWORD length = sizeof(T);
    return Check(what, GetProperty(session, property, value, &length));
}

// ---- inputs ------------------------------------------------------------------

// The input channels that a run of `entries` scan entries from `start`
// covers with the differential mask `chanConfig`, as the card scans them:
// "ch3", or "ch2-3" for a differential pair; and the channel of each entry
// (the even one of a pair).
std::vector<std::string> ScanLabels(unsigned start, unsigned entries, WORD chanConfig);
std::vector<unsigned> ScanChannels(unsigned start, unsigned entries, WORD chanConfig);
// One gain code per channel or scan entry: the given ones, the last one
// repeated (0 when none is given).
std::vector<WORD> ExpandGains(const std::vector<WORD> &gains, size_t count);
// Adds the --gain option (a list, comma-separated or repeated).
void AddGainsOption(CLI::App &command, std::vector<WORD> &gains, const std::string &what);

// The device's ChanConfig (property 0x1000); with `set`, writes `mask`
// first (property write 0x1000: pairs follow their even channel).
bool ChanConfig(const Session &session, bool set, WORD mask, WORD *value);

// ---- subcommands ---------------------------------------------------------------

// What a subcommand does once the command line is parsed: its exit code.
using Action = std::function<int(Session &)>;

// Adds a subcommand whose action runs on the open session (or, with
// `opens` false, on a session that holds only the lab options).
CLI::App *AddCommand(CLI::App &parent, const std::string &name, const std::string &description,
                     Action action, bool opens = true);
// Runs the action of the subcommand the command line chose: its exit code.
int RunSelected(const LabOptions &options);

// ---- values, progress, CSV and SVG ---------------------------------------------

// The lowest, the mean and the highest of some values (all 0 for none).
struct Stats {
    double low = 0, mean = 0, high = 0;
};
template <class Values>
Stats Summarize(const Values &values) {
    Stats s;
    if (values.empty()) return s;
    s.low = s.high = values.front();
    for (double v : values) {
        s.low = v < s.low ? v : s.low;
        s.high = v > s.high ? v : s.high;
        s.mean += v;
    }
    s.mean /= static_cast<double>(values.size());
    return s;
}

// A progress bar on stderr: redrawn in place on a terminal, drawn once at
// the end otherwise.
class Progress {
public:
    Progress(std::string label, uint64_t total);
    void Update(uint64_t done);
    void Finish(uint64_t done);

private:
    void Draw(uint64_t done, bool last);
    std::string label_;
    uint64_t total_;
    int lastPercent_ = -1;
    bool terminal_;
};

// What one look at a running acquisition or output found.
enum class Step { Running, Done, Failed };
// Follows a running acquisition or output until it is done, drawing the
// progress: each look waits a little for an event in CheckEvent, then
// `look` gets the event code (0 for none) and reports how far the run got.
// False when a look fails or `realSeconds` (what the time factor promises)
// plus a generous slack pass, which is reported.
bool AwaitRun(const Session &session, const std::string &label, uint64_t total, double realSeconds,
              const std::function<Step(WORD event, uint64_t *done)> &look);

// One curve: volts against seconds.
struct Trace {
    std::string name;
    std::vector<double> seconds;
    std::vector<double> volts;
};

// CSV: a header "time_s,<name>_V,...", then one row per point of the
// traces (all of one length), the time of the first trace's point first.
bool WriteCsv(const std::string &path, const std::vector<Trace> &traces);
// A self-contained SVG plot: one polyline per trace, axes in seconds and
// volts with ticks and labels, a legend.
bool WriteSvg(const std::string &path, const std::string &title, const std::vector<Trace> &traces);
// Writes the CSV and the SVG asked for (an empty path: none), saying so.
bool WritePlots(const std::string &csv, const std::string &svg, const std::string &title,
                const std::vector<Trace> &traces);
// Adds the --csv and --svg options that ask for them.
void AddPlotOptions(CLI::App &command, std::string &csv, std::string &svg,
                    const std::string &csvHelp, const std::string &svgHelp);
// The SVG text itself.
std::string SvgPlot(const std::string &title, const std::vector<Trace> &traces);

}  // namespace panel
