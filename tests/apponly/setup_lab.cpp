// Sets up the virtual lab in the registry file named by HOSTWIN_REGISTRY:
// a PCI-3649 on bus 0, slot 13, installed as device 0. The next process
// finds it there.
#include <ktz3649sim.h>

#include <cstdio>

int main() {
    KtzSimReset(0);
    int card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    int rc = KtzSimInstallDevice(0, card, nullptr);
    if (card < 0 || rc != 0) {
        std::fprintf(stderr, "lab setup failed: card %d, install %d\n", card, rc);
        return 1;
    }
    return 0;
}
