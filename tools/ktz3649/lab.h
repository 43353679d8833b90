// The virtual lab behind the panel, where there is one: the host build,
// and Windows with the lab driver (Ktz3649Sim.dll). There the lab supplies
// the signals, input lines and counter inputs that the subcommands' options
// ask for and shows what the card puts out.
//
// Which panel has the lab is chosen when it is linked: lab.cpp,
// lab_inputs.cpp and demo.cpp provide these functions through ktz3649sim.h;
// no_lab.cpp stands in for them in the panel that drives a real card. Then
// Present() is false, the lab's options and subcommands are left out, its
// settings do nothing and its readings are absent.
#pragma once

#include <optional>

#include "panel.h"

namespace panel::lab {

bool Present();

// ---- the machine ----------------------------------------------------------------

// The global options that set up the lab (card kind, bus, slot, stored
// counter areas, --fresh, --time-factor), and the help text on the machine.
void AddOptions(CLI::App &app, LabOptions &options);
const char *Help();
// The lab's subcommands: setup and demo.
void AddCommands(CLI::App &app);
// Takes or sets up the machine that serves the session's device, before
// it is opened: the session's lab card. False (printed) on failure.
bool Prepare(const LabOptions &options, Session &session);
// Where the device sits on the lab (" on bus 0, slot 13 (lab card 0)"), or "".
std::string Where(const Session &session);

// ---- inputs ----------------------------------------------------------------------

// --signal CH=SIGNAL (repeatable): the lab's signal at an input channel.
void AddSignalOption(CLI::App &command, std::vector<std::string> &signals);
bool ApplySignals(const Session &session, const std::vector<std::string> &signals);
// Pulses at the external trigger input (one every 5 us), for externally
// triggered conversions.
bool PulseTrigger(const Session &session);
// --lines PORT=VALUE (repeatable): the lab's lines at a digital port.
void AddLinesOption(CLI::App &command, std::vector<std::string> &lines);
bool ApplyLines(const Session &session, const std::vector<std::string> &lines);

// Counter inputs. --pulses and --rate of event counting: pulses injected
// before each read, and pulses at a rate meanwhile.
void AddEventOptions(CLI::App &command, unsigned long long &pulses, double &hertz);
bool StartEvents(const Session &session, WORD counter, double hertz);
bool InjectEvents(const Session &session, WORD counter, unsigned long long pulses);
// --rate of a frequency measurement: the lab's signal at counter 2's input.
void AddFrequencyOption(CLI::App &command, double &hertz);
// --high and --low of a pulse-width measurement: the lab's pulse train.
void AddPulseTrainOptions(CLI::App &command, double &highUs, double &lowUs);
// The input of a frequency (gate of `gateNs`) or pulse-width measurement
// at counter 2, with the virtual time its polls take so that it ends after
// a few thousand of them; EndMeasurement restores the lab's costs.
bool FrequencyInput(const Session &session, double hertz, double gateNs);
bool PulseTrainInput(const Session &session, double highUs, double lowUs);
void EndMeasurement(const Session &session);
// "; the lab's input: 300000 Hz" and the like, to finish a result line.
std::string FrequencyNote(double hertz);
std::string PulseTrainNote(double highUs, double lowUs);

// ---- outputs ---------------------------------------------------------------------

// The voltage the lab sees at an analog output.
std::optional<double> AnalogOutput(const Session &session, WORD channel);
// The output latch of a digital port.
std::optional<unsigned> DigitalLatch(const Session &session, WORD port);
// What a counter's output does: "; the lab's output: mode 3, level 1, period
// 1000000 ns, high 500000 ns".
std::string CounterOutputNote(const Session &session, WORD counter);
// The waveform output: the record is cleared before a start; afterwards
// the samples the card played, and each channel's played voltages.
void ClearOutputRecord(const Session &session);
std::optional<unsigned long long> PlayedSamples(const Session &session);
std::optional<std::vector<double>> OutputRecord(const Session &session, WORD channel,
                                                size_t max);

}  // namespace panel::lab
