// The lab machine under Wine: the prefix's registry keeps it, and the lab
// driver finds its cards there again.
#include "lab_machine.h"

namespace panel::lab::machine {

bool Usable() { return true; }

const char *KeptIn() { return "the Wine prefix's registry"; }

}  // namespace panel::lab::machine
