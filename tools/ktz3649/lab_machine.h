// Where the panel's lab keeps its machine between runs: on the host in the
// registry file that HOSTWIN_REGISTRY names (lab_machine_host.cpp), under
// Wine in the prefix's registry (lab_machine_wine.cpp).
#pragma once

namespace panel::lab::machine {

// False (printed) when the kept machine cannot be used (a damaged file).
bool Usable();
// Where the machine is kept ("/path/lab.reg"), or nullptr when it lives in
// this run only.
const char *KeptIn();

}  // namespace panel::lab::machine
