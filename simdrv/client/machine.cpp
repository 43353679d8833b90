// The machine around the lab under Wine, run in the application's process
// as a configuration program would run it: the KTZ3649S service registered
// and (re)started through the library's own registration (the library's
// src/config/service.cpp, built in) and Wine's service control manager,
// and what a lab reset does to the services and the registry.
#include <windows.h>

#include <config/service.h>
#include <ktz3649_driver.h>
#include <ktz3649sim.h>

#include "../platform.h"
#include "lab_protocol.h"
#include "services.h"

namespace {

constexpr DWORD kPollMs = 10;
constexpr int kDeletePolls = 500;

// What the lab and the configuration keep in the registry: the cards, the
// shared key with the device settings and MapEntry values, the service key
// with the device settings and found devices, the event-log source.
const char *const kMachineKeys[] = {
    "SOFTWARE\\KTZLAB", KTZ_SHARED_KEY, KTZ_SERVICE_KEY,
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\" KTZ_SERVICE_NAME};

// Whether the card's driver is set to start with the system (boot, system
// or automatic start).
bool StartsAtBoot() {
    DWORD start = SERVICE_DISABLED, size = sizeof start;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KTZ_SERVICE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegQueryValueExA(key, "Start", nullptr, nullptr, reinterpret_cast<BYTE *>(&start), &size);
    RegCloseKey(key);
    return start <= SERVICE_AUTO_START;
}

// Deletes the card driver's service and waits until it is gone, so that
// the next installation creates it anew.
void DeleteCardService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceA(manager, KTZ_SERVICE_NAME, SERVICE_ALL_ACCESS)) {
        DeleteService(service);
        CloseServiceHandle(service);
        for (int poll = 0; poll < kDeletePolls; ++poll) {
            SC_HANDLE left = OpenServiceA(manager, KTZ_SERVICE_NAME, SERVICE_QUERY_STATUS);
            if (!left) break;
            CloseServiceHandle(left);
            Sleep(kPollMs);
        }
    }
    CloseServiceHandle(manager);
}

}  // namespace

namespace sim {

int RegisterAndRestartDriver() {
    ktz::RegisterDriverKeys();
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return static_cast<int>(GetLastError());
    DWORD created = ktz::CreateDriverService(manager, KTZ_SERVICE_NAME);
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    if (!created) return static_cast<int>(error);
    // The library creates the service without a load-order group, and
    // Wine's CreateServiceA then deletes the Group value of its keys; in the
    // lab's group Wine runs the driver in the lab's driver host.
    simlab::JoinLabGroup(KTZ_SERVICE_NAME);
    return static_cast<int>(ktz::InstallAndRestartService(KTZ_SERVICE_NAME));
}

}  // namespace sim

extern "C" {

void KtzSimReset(unsigned flags) {
    // The driver stops before the card state goes, so that no device object
    // outlives the card behind it. The lab service itself keeps running.
    simlab::StopDriver(KTZ_SERVICE_NAME);
    simlab::ClearLab();
    if (flags & KTZSIM_KEEP_REGISTRY) {
        // As after a reboot: the recorded cards with fresh state, the driver
        // started again if it starts with the system.
        if (StartsAtBoot()) simlab::StartDriver(KTZ_SERVICE_NAME);
        return;
    }
    DeleteCardService();
    for (const char *key : kMachineKeys) RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
}

int KtzSimStartDriver(void) { return static_cast<int>(simlab::StartDriver(KTZ_SERVICE_NAME)); }

int KtzSimStopDriver(void) { return static_cast<int>(simlab::StopDriver(KTZ_SERVICE_NAME)); }

// The service manager's answer, wherever the driver runs: a KTZ3649S that
// the library's registration created runs in a driver host of its own
// until it joins the lab's group (Wine's CreateServiceA deletes the Group
// value the library wrote), and the lab does not see it there.
int KtzSimDriverRunning(void) { return simlab::DriverRuns(KTZ_SERVICE_NAME) ? 1 : 0; }

}  // extern "C"
