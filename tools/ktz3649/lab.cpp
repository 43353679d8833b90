// The machine the panel works on: setting up the virtual lab, or taking
// the one the registry file holds, and opening the device on it.
#include <hostwin.h>
#include <ktz3649sim.h>

#include <cstdio>
#include <cstdlib>

#include "commands.h"

namespace panel {
namespace {

// Device numbers the lab's listing looks at.
constexpr unsigned kDeviceNumbers = 1000;

// A registry file that hostwin refused (damaged) is never touched.
bool RegistryUsable() {
    HwBoot();
    const char *path = std::getenv("HOSTWIN_REGISTRY");
    if (path && *path && !HwRegistryFile()) {
        std::fprintf(stderr, "the registry file %s cannot be used: %s\n", path,
                     HwRegistryFileError());
        return false;
    }
    return true;
}

int CardAt(unsigned bus, unsigned slot) {
    for (int index = 0; index < KtzSimCardCount(); ++index) {
        KtzSimCard card{};
        if (KtzSimGetCard(index, &card) == 0 && card.bus == bus && card.slot == slot) return index;
    }
    return -1;
}

}  // namespace

const char *BoardName(unsigned boardId) {
    switch (boardId) {
    case KTZ_BOARD_PCI3649: return "PCI-3649";
    case KTZ_BOARD_PCI3649L: return "PCI-3649L";
    default: return "unknown board";
    }
}

bool SetUpLab(const LabOptions &options, bool add) {
    if (!RegistryUsable()) return false;
    if (!add) KtzSimReset(0);
    int card = CardAt(options.bus, options.slot);
    if (card >= 0) {
        KtzSimCard present{};
        KtzSimGetCard(card, &present);
        if (present.boardId != options.boardId) {
            std::fprintf(stderr, "bus %u, slot %u holds a %s already\n", options.bus, options.slot,
                         BoardName(present.boardId));
            return false;
        }
    } else {
        card = KtzSimAddCard(options.bus, options.slot, options.boardId);
        if (card < 0) {
            std::fprintf(stderr, "the lab refused a %s on bus %u, slot %u\n",
                         BoardName(options.boardId), options.bus, options.slot);
            return false;
        }
    }
    KtzSimDeviceSettings settings{};
    KtzSimDefaultSettings(card, &settings);
    settings.freqArea = options.freqArea;
    settings.pwmArea = options.pwmArea;
    if (int rc = KtzSimInstallDevice(options.device, card, &settings)) {
        std::fprintf(stderr, "installing device %u failed: system error %d\n", options.device, rc);
        return false;
    }
    return true;
}

bool OpenSession(const LabOptions &options, Session &session) {
    session = Session{};
    session.lab = options;
    if (!RegistryUsable()) return false;
    if (options.fresh || KtzSimCardOfDevice(options.device) < 0) {
        // A lab kept in a registry file is never replaced behind the user's back.
        if (!options.fresh && HwRegistryFile() && KtzSimCardCount() > 0) {
            std::fprintf(stderr,
                         "device %u is not installed in the lab kept in %s: add it with "
                         "\"ktz3649 --device %u setup --add\", or start anew with --fresh\n",
                         options.device, HwRegistryFile(), options.device);
            return false;
        }
        if (!SetUpLab(options, false)) return false;
    }
    session.card = KtzSimCardOfDevice(options.device);
    KtzSimCard card{};
    if (session.card < 0 || KtzSimGetCard(session.card, &card) != 0) {
        std::fprintf(stderr, "the driver serves no device %u\n", options.device);
        return false;
    }
    session.boardId = card.boardId;
    if (KtzSimSetTimeFactor(options.timeFactor) != 0) {
        std::fprintf(stderr, "the lab refused the time factor %g\n", options.timeFactor);
        return false;
    }
    return Check("DeviceOpen", DeviceOpen(options.device, &session.handle));
}

bool CloseSession(Session &session) {
    if (!session.handle) return true;
    return Check("DeviceClose", DeviceClose(&session.handle));
}

std::string DescribeLab(const Session &session) {
    KtzSimCard card{};
    KtzSimGetCard(session.card, &card);
    return Text("device %u, a %s on bus %u, slot %u (lab card %d)", session.lab.device,
                BoardName(card.boardId), card.bus, card.slot, session.card);
}

namespace {

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
    if (!SetUpLab(options, add)) return 1;
    LabOptions kept = options;
    kept.fresh = false;
    Session session;
    if (!OpenSession(kept, session)) return 1;
    std::printf("Set up %s.\n", DescribeLab(session).c_str());
    ShowLab();
    if (const char *file = HwRegistryFile())
        std::printf("The lab is kept in %s: later runs with HOSTWIN_REGISTRY=%s use it.\n", file,
                    file);
    else
        std::printf(
            "The lab lives in this run only: with HOSTWIN_REGISTRY naming a file, later "
            "runs use it.\n");
    return CloseSession(session) ? 0 : 1;
}

}  // namespace

void AddSetupCommand(CLI::App &app) {
    auto add = std::make_shared<bool>(false);
    auto *setup = AddCommand(
        app, "setup",
        "Set up the lab as the global options say (a new machine, kept in HOSTWIN_REGISTRY's "
        "file if set) and show it",
        [add](Session &session) { return RunSetup(session.lab, *add); }, false);
    setup->add_flag("--add", *add,
                    "Keep the machine and add the card (unless one sits at that bus and slot) "
                    "and the device to it");
}

}  // namespace panel
