// Controls of the hostwin test driver (test_driver.cpp).
#pragma once

#include <windows.h>

extern "C" {
bool HwTestCompleteOldest(DWORD error, DWORD bytes);
int HwTestEntries();
int HwTestUnloads();
int HwTestCleanups();
}

// Registers and starts the test driver's service; returns StartServiceA's error (0 = started).
DWORD StartTestDriver();
// Stops it.
void StopTestDriver();
