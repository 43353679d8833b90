// ktz3649: a test panel for the Ktz3649 library on the virtual lab.
#include <CLI/CLI.hpp>

#include "panel.h"

int main(int argc, char **argv) {
    CLI::App app{"ktz3649: test panel of the Ktz3649 library on the virtual lab"};
    app.require_subcommand(1);

    auto *demo = app.add_subcommand("demo", "Set up the virtual lab and tour the library");
    demo->callback([] { std::exit(panel::RunDemo()); });

    CLI11_PARSE(app, argc, argv);
    return 0;
}
