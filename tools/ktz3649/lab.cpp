// The machine of the panel's virtual lab: setting it up, or taking the one
// that is kept (lab_machine.h), before the device is opened; the global
// options and the help that go with it; the setup subcommand.
#include <ktz3649sim.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "commands.h"
#include "lab.h"
#include "lab_machine.h"

namespace panel::lab {
namespace {

// Device numbers the lab's listing looks at.
constexpr unsigned kDeviceNumbers = 1000;

constexpr char kHelp[] = R"(
The lab: unless it is kept, every run sets up a machine of its own: a
PCI-3649 (--board PCI-3649L) on bus 0, slot 13 (--bus, --slot), installed
as device 0 (--device).

On the host the machine is kept in the file that HOSTWIN_REGISTRY names:
one run sets it up, later runs with the same file use it as it is.
  export HOSTWIN_REGISTRY=$PWD/lab.reg
  ktz3649 --board PCI-3649L --device 2 setup    # a new machine in lab.reg
  ktz3649 --device 2 info                       # device 2 as lab.reg has it
  ktz3649 --device 3 --slot 14 setup --add      # a second card and device
Under Wine the prefix's registry keeps it. A run whose device is not in
the kept machine refuses to start; --fresh sets up a new machine first.
The lab's signals, input lines and counter inputs belong to one run: each
subcommand sets them from its options.

Every subcommand reaches the library through its exported functions or
DriverProc, as an application does. Exit code 0 when every call succeeded
(and the lab showed what it should), 1 otherwise, 2 for a bad command line.
)";

int CardAt(unsigned bus, unsigned slot) {
    for (int index = 0; index < KtzSimCardCount(); ++index) {
        KtzSimCard card{};
        if (KtzSimGetCard(index, &card) == 0 && card.bus == bus && card.slot == slot) return index;
    }
    return -1;
}

// Sets up a new machine: an empty registry, one card as the options say,
// the device installed on it. With `add`, the machine is kept and the card
// (unless one sits at that bus and slot) and the device are added to it.
// False (printed) on failure.
bool SetUp(const LabOptions &options, bool add) {
    if (!machine::Usable()) return false;
    if (!add) KtzSimReset(0);
    int card = CardAt(options.bus, options.slot);
    if (card >= 0) {
        KtzSimCard present{};
        KtzSimGetCard(card, &present);
        if (present.boardId != options.boardId)
            return Fail("bus %u, slot %u holds a %s already", options.bus, options.slot,
                        BoardName(present.boardId));
    } else {
        card = KtzSimAddCard(options.bus, options.slot, options.boardId);
        if (card < 0)
            return Fail("the lab refused a %s on bus %u, slot %u", BoardName(options.boardId),
                        options.bus, options.slot);
    }
    KtzSimDeviceSettings settings{};
    KtzSimDefaultSettings(card, &settings);
    settings.freqArea = options.freqArea;
    settings.pwmArea = options.pwmArea;
    if (int rc = KtzSimInstallDevice(options.device, card, &settings))
        return Fail("installing device %u failed: system error %d", options.device, rc);
    return true;
}

void ShowLab() {
    std::printf("The lab:\n");
    for (int index = 0; index < KtzSimCardCount(); ++index) {
        KtzSimCard card{};
        KtzSimGetCard(index, &card);
        std::printf("  card %d: %s on bus %u, slot %u (base 0x%X, interrupt %u)\n", index,
                    BoardName(card.boardId), card.bus, card.slot, card.baseAddress, card.interrupt);
    }
    for (unsigned device = 0; device < kDeviceNumbers; ++device)
        if (int card = KtzSimCardOfDevice(device); card >= 0)
            std::printf("  device %u on card %d\n", device, card);
}

int RunSetup(const LabOptions &options, bool add) {
    if (!SetUp(options, add)) return 1;
    LabOptions kept = options;
    kept.fresh = false;
    Session session;
    if (!OpenSession(kept, session)) return 1;
    std::printf("Set up %s.\n", DescribeDevice(session).c_str());
    ShowLab();
    if (const char *place = machine::KeptIn())
        std::printf("The lab is kept in %s: later runs use it.\n", place);
    else
        std::printf(
            "The lab lives in this run only: with HOSTWIN_REGISTRY naming a file, later "
            "runs use it.\n");
    return CloseSession(session) ? 0 : 1;
}

}  // namespace

bool Present() { return true; }

const char *Help() { return kHelp; }

void AddOptions(CLI::App &app, LabOptions &options) {
    app.add_option_function<std::string>(
           "--board",
           [&options](const std::string &name) {
               std::string upper = name;
               std::transform(upper.begin(), upper.end(), upper.begin(),
                              [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
               options.boardId = upper == "PCI-3649L" ? KTZ_BOARD_PCI3649L : KTZ_BOARD_PCI3649;
           },
           "Card kind when the panel sets up the lab")
        ->check(CLI::IsMember({"PCI-3649", "PCI-3649L"}, CLI::ignore_case))
        ->default_str("PCI-3649");
    app.add_option("--bus", options.bus, "PCI bus of that card")
        ->check(CLI::Range(0u, 255u))
        ->capture_default_str();
    app.add_option("--slot", options.slot, "PCI slot of that card")
        ->check(CLI::Range(0u, 31u))
        ->capture_default_str();
    app.add_option("--freq-area", options.freqArea,
                   "FreqArea of the device the panel sets up: 0 1.3-10 MHz, 1 131 kHz-1.3 MHz, "
                   "2 13-131 kHz, 3 0.2 Hz-13 kHz")
        ->check(CLI::Range(0u, 3u))
        ->capture_default_str();
    app.add_option("--pwm-area", options.pwmArea,
                   "PWMArea of the device the panel sets up: 0 0.1-6553.5 us, 1 to 65535 us, "
                   "2 to 655350 us, 3 to 6553500 us")
        ->check(CLI::Range(0u, 3u))
        ->capture_default_str();
    app.add_flag("--fresh", options.fresh, "Set up a new lab even when a kept one exists");
    app.add_option("--time-factor", options.timeFactor,
                   "How much faster than real time the lab's acquisitions and outputs run")
        ->check(CLI::Range(0.001, 1e6))
        ->capture_default_str();
}

void AddCommands(CLI::App &app) {
    auto add = std::make_shared<bool>(false);
    auto *setup = AddCommand(
        app, "setup",
        "Set up the lab as the global options say (a new machine, kept if the lab is kept) "
        "and show it",
        [add](Session &session) { return RunSetup(session.lab, *add); }, false);
    setup->add_flag("--add", *add,
                    "Keep the machine and add the card (unless one sits at that bus and slot) "
                    "and the device to it");
    AddDemoCommand(app);
}

bool Prepare(const LabOptions &options, Session &session) {
    if (!machine::Usable()) return false;
    if (options.fresh || KtzSimCardOfDevice(options.device) < 0) {
        // A kept lab is never replaced behind the user's back.
        if (!options.fresh && machine::KeptIn() && KtzSimCardCount() > 0)
            return Fail("device %u is not installed in the lab kept in %s: add it with "
                        "\"ktz3649 --device %u setup --add\", or start anew with --fresh",
                        options.device, machine::KeptIn(), options.device);
        if (!SetUp(options, false)) return false;
    }
    session.card = KtzSimCardOfDevice(options.device);
    if (session.card < 0) return Fail("the driver serves no device %u", options.device);
    if (KtzSimSetTimeFactor(options.timeFactor) != 0)
        return Fail("the lab refused the time factor %g", options.timeFactor);
    return true;
}

std::string Where(const Session &session) {
    KtzSimCard card{};
    if (KtzSimGetCard(session.card, &card) != 0) return "";
    return Text(" on bus %u, slot %u (lab card %d)", card.bus, card.slot, session.card);
}

}  // namespace panel::lab
