// The host build: hostwin, whose simulated driver fails a request with any
// last error.
#include "target.h"

namespace ktztest {

bool OnWine() { return false; }

void WineDeparts(const char *) {}

DWORD OpenHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

bool DriverCanFailWith(DWORD) { return true; }

}  // namespace ktztest
