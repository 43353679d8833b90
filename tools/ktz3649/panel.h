// The ktz3649 test panel: shared helpers of its subcommands.
#pragma once

#include <ktz3649.h>

#include <string>

namespace panel {

// Sets up the virtual lab: a PCI-3649 on bus 0, slot 13, installed as device 0.
bool SetUpLab();

// Prints a library result code in words ("0x1018 (device 0, error 24)").
std::string Describe(DWORD result);

// The demo subcommand.
int RunDemo();

}  // namespace panel
