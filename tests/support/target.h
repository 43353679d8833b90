// What differs between the two targets the suites run on: the host build
// against hostwin (target_host.cpp) and the Windows build under Wine
// (target_win32.cpp).
#pragma once

#include <windows.h>

namespace ktztest {

// True when running under Wine.
bool OnWine();

// Prints, in the test's output, why Wine answers otherwise than Windows at
// this point (the test then checks Wine's answer or leaves the step out).
void WineDeparts(const char *reason);

// The number of handles open in the test's process, for the leak checks.
DWORD OpenHandleCount();

// Whether the lab's driver can fail a request with this last error; says
// why not when it cannot.
bool DriverCanFailWith(DWORD lastError);

}  // namespace ktztest
