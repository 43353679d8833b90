// The host's lab machine: hostwin's registry, kept in the file that
// HOSTWIN_REGISTRY names, if any.
#include <hostwin.h>

#include <cstdlib>

#include "lab_machine.h"
#include "panel.h"

namespace panel::lab::machine {

bool Usable() {
    HwBoot();
    // A registry file that hostwin refused (damaged) is never touched.
    const char *path = std::getenv("HOSTWIN_REGISTRY");
    if (path && *path && !HwRegistryFile())
        return Fail("the registry file %s cannot be used: %s", path, HwRegistryFileError());
    return true;
}

const char *KeptIn() { return HwRegistryFile(); }

}  // namespace panel::lab::machine
