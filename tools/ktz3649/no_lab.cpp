// No lab here: the panel that drives the cards of the machine through the
// library. The lab's options and subcommands are left out, its settings do
// nothing and its readings are absent; time runs at the card's own pace.
#include "lab.h"

namespace panel::lab {

constexpr char kHelp[] = R"(
The panel drives the device through the library, on the card its stored
settings name; configure it first (DeviceConfig, or the card's property
page in the device manager). Every subcommand reaches the library through
its exported functions or DriverProc, as an application does. Exit code 0
when every call succeeded, 1 otherwise, 2 for a bad command line.
)";

bool Present() { return false; }
const char *Help() { return kHelp; }
void AddOptions(CLI::App &, LabOptions &) {}
void AddCommands(CLI::App &) {}

bool Prepare(const LabOptions &, Session &session) {
    session.lab.timeFactor = 1.0;
    return true;
}

std::string Where(const Session &) { return ""; }

void AddSignalOption(CLI::App &, std::vector<std::string> &) {}
bool ApplySignals(const Session &, const std::vector<std::string> &) { return true; }
bool PulseTrigger(const Session &) { return true; }
void AddLinesOption(CLI::App &, std::vector<std::string> &) {}
bool ApplyLines(const Session &, const std::vector<std::string> &) { return true; }
void AddEventOptions(CLI::App &, unsigned long long &, double &) {}
bool StartEvents(const Session &, WORD, double) { return true; }
bool InjectEvents(const Session &, WORD, unsigned long long) { return true; }
void AddFrequencyOption(CLI::App &, double &) {}
void AddPulseTrainOptions(CLI::App &, double &, double &) {}
bool FrequencyInput(const Session &, double, double) { return true; }
bool PulseTrainInput(const Session &, double, double) { return true; }
void EndMeasurement(const Session &) {}
std::string FrequencyNote(double) { return ""; }
std::string PulseTrainNote(double, double) { return ""; }

std::optional<double> AnalogOutput(const Session &, WORD) { return std::nullopt; }
std::optional<unsigned> DigitalLatch(const Session &, WORD) { return std::nullopt; }
std::string CounterOutputNote(const Session &, WORD) { return ""; }
void ClearOutputRecord(const Session &) {}
std::optional<unsigned long long> PlayedSamples(const Session &) { return std::nullopt; }
std::optional<std::vector<double>> OutputRecord(const Session &, WORD, size_t) {
    return std::nullopt;
}

}  // namespace panel::lab
