// What the Win32 tests of hostwin share. They run on the host against
// hostwin and, built for Windows, against a real Win32 (Wine); they create
// only their own registry keys and services, and remove them again, since a
// Windows machine (or Wine prefix) keeps them.
#pragma once

#include <windows.h>

#include <string>

#include "target.h"

namespace hwtest {

// Whether the tests run on Wine, and how they say where Wine answers
// otherwise than Windows (target.h).
using ktztest::OnWine;
using ktztest::WineDeparts;

// The key under HKEY_LOCAL_MACHINE that the registry tests work in.
constexpr char kTestKey[] = "SOFTWARE\\KtzHostwinTest";

// Deletes a key with everything below it; ERROR_FILE_NOT_FOUND if it is not there.
LONG DeleteTree(HKEY root, const char *path);

// The test driver's service (test_driver.h) and its registry key.
constexpr char kTestService[] = "HWTESTDRV";
constexpr char kTestServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\HWTESTDRV";

// The image path of the test driver for CreateServiceA.
std::string TestDriverImage();

SC_HANDLE CreateTestService(SC_HANDLE manager, const std::string &image,
                            DWORD start = SERVICE_DEMAND_START);

// Creates the test driver's service if needed and starts it; returns
// StartServiceA's error (0 = started).
DWORD StartTestDriver();
// Stops it.
void StopTestDriver();
// Stops and deletes it, if there is one: the state every test starts from and leaves.
void RemoveTestService();
// Waits (10 s at most) until the service is gone; a deleted service goes when its
// last handle is closed, which on Windows may be the driver host's, a moment
// after the stop returned.
bool TestServiceGone();

}  // namespace hwtest
