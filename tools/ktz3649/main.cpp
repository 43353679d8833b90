// ktz3649: the test panel of the Ktz3649 library on the virtual lab.
#include <algorithm>
#include <cctype>
#include <memory>

#include "commands.h"

namespace panel {
namespace {

struct Selection {
    std::shared_ptr<Action> action;
    bool opens = true;
};

Selection &Selected() {
    static Selection selection;
    return selection;
}

constexpr char kLabHelp[] = R"(
The lab: without HOSTWIN_REGISTRY, every run sets up a machine of its own
in memory: a PCI-3649 (--board PCI-3649L) on bus 0, slot 13 (--bus,
--slot), installed as device 0 (--device).

With HOSTWIN_REGISTRY naming a file, the machine is kept in that file:
one run sets it up, later runs with the same file use it as it is.
  export HOSTWIN_REGISTRY=$PWD/lab.reg
  ktz3649 --board PCI-3649L --device 2 setup    # a new machine in lab.reg
  ktz3649 --device 2 info                       # device 2 as lab.reg has it
  ktz3649 --device 3 --slot 14 setup --add      # a second card and device
A run whose device is not in the file refuses to start; --fresh sets up a
new machine in the file first. The lab's signals, input lines and counter
inputs belong to one run: each subcommand sets them from its options.

Every subcommand reaches the library through its exported functions or
DriverProc, as an application does. Exit code 0 when every call succeeded
(and the lab showed what it should), 1 otherwise, 2 for a bad command line.
)";

}  // namespace

CLI::App *AddCommand(CLI::App &parent, const std::string &name, const std::string &description,
                     Action action, bool opens) {
    auto *command = parent.add_subcommand(name, description);
    command->fallthrough();  // the global options may follow the subcommand
    auto shared = std::make_shared<Action>(std::move(action));
    command->callback([shared, opens] { Selected() = Selection{shared, opens}; });
    return command;
}

int RunSelected(const LabOptions &options) {
    const Selection &selected = Selected();
    if (!selected.action) return 2;
    Session session;
    session.lab = options;
    if (selected.opens && !OpenSession(options, session)) return 1;
    int code = (*selected.action)(session);
    if (selected.opens && !CloseSession(session)) code = 1;
    return code;
}

}  // namespace panel

int main(int argc, char **argv) {
    CLI::App app{"ktz3649: the test panel of the Ktz3649 library on the virtual lab"};
    app.require_subcommand(1);
    app.footer(panel::kLabHelp);

    panel::LabOptions lab;
    std::string board = "PCI-3649";
    app.add_option("--device,-d", lab.device, "Device number")
        ->check(CLI::Range(0u, 999u))
        ->capture_default_str();
    app.add_option("--board", board, "Card kind when the panel sets up the lab")
        ->check(CLI::IsMember({"PCI-3649", "PCI-3649L"}, CLI::ignore_case))
        ->capture_default_str();
    app.add_option("--bus", lab.bus, "PCI bus of that card")
        ->check(CLI::Range(0u, 255u))
        ->capture_default_str();
    app.add_option("--slot", lab.slot, "PCI slot of that card")
        ->check(CLI::Range(0u, 31u))
        ->capture_default_str();
    app.add_option("--freq-area", lab.freqArea,
                   "FreqArea of the device the panel sets up: 0 1.3-10 MHz, 1 131 kHz-1.3 MHz, "
                   "2 13-131 kHz, 3 0.2 Hz-13 kHz")
        ->check(CLI::Range(0u, 3u))
        ->capture_default_str();
    app.add_option("--pwm-area", lab.pwmArea,
                   "PWMArea of the device the panel sets up: 0 0.1-6553.5 us, 1 to 65535 us, "
                   "2 to 655350 us, 3 to 6553500 us")
        ->check(CLI::Range(0u, 3u))
        ->capture_default_str();
    app.add_flag("--fresh", lab.fresh,
                 "Set up a new lab even when the file of HOSTWIN_REGISTRY holds one");
    app.add_option("--time-factor", lab.timeFactor,
                   "How much faster than real time the lab's acquisitions and outputs run")
        ->check(CLI::Range(0.001, 1e6))
        ->capture_default_str();
    app.add_flag("--verbose", lab.verbose, "Report every library call with its result");

    panel::AddSetupCommand(app);
    panel::AddInfoCommands(app);
    panel::AddAiCommands(app);
    panel::AddAoCommand(app);
    panel::AddDioCommands(app);
    panel::AddCounterCommands(app);
    panel::AddFaiCommand(app);
    panel::AddWaveCommand(app);
    panel::AddDemoCommand(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    std::transform(board.begin(), board.end(), board.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    lab.boardId = board == "PCI-3649L" ? KTZ_BOARD_PCI3649L : KTZ_BOARD_PCI3649;
    panel::SetVerbose(lab.verbose);
    return panel::RunSelected(lab);
}
