// ktz3649: the test panel of the Ktz3649 library, on the virtual lab where
// the panel has it (lab.h), else on the cards of the machine.
#include <memory>

#include "commands.h"
#include "lab.h"

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
    CLI::App app{panel::lab::Present()
                     ? "ktz3649: the test panel of the Ktz3649 library on the virtual lab"
                     : "ktz3649: the test panel of the Ktz3649 library"};
    app.require_subcommand(1);
    app.footer(panel::lab::Help());

    panel::LabOptions options;
    app.add_option("--device,-d", options.device, "Device number")
        ->check(CLI::Range(0u, 999u))
        ->capture_default_str();
    panel::lab::AddOptions(app, options);
    app.add_flag("--verbose", options.verbose, "Report every library call with its result");

    panel::lab::AddCommands(app);
    panel::AddInfoCommands(app);
    panel::AddAiCommands(app);
    panel::AddAoCommand(app);
    panel::AddDioCommands(app);
    panel::AddCounterCommands(app);
    panel::AddFaiCommand(app);
    panel::AddWaveCommand(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    panel::SetVerbose(options.verbose);
    return panel::RunSelected(options);
}
