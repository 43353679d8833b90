// The lab on the host: hostwin's service control manager runs the simulated
// driver in this process, a lab reset reboots hostwin, and a pending read
// writes the application's own buffer.
#include <windows.h>

#include <hostwin.h>
#include <ktz3649_driver.h>
#include <ktz3649sim.h>

#include "lab.h"
#include "platform.h"
#include "registry_values.h"

namespace sim {
namespace {

constexpr char kServiceName[] = KTZ_SERVICE_NAME;
constexpr char kServiceKey[] = KTZ_SERVICE_KEY;
constexpr char kSharedKey[] = KTZ_SHARED_KEY;
constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\" KTZ_SERVICE_NAME;

// The service keys and the event-log source, written only when new.
void RegisterServiceKeys() {
    const struct {
        const char *path;
        DWORD start;
    } keys[] = {{kSharedKey, 4}, {kServiceKey, 2}};
    for (const auto &k : keys) {
        HKEY key;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, k.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
            continue;
        if (disposition == REG_CREATED_NEW_KEY) {
            SetNumber(key, "Type", 1);
            SetNumber(key, "Start", k.start);
            SetText(key, "Group", "Extended Base");
            SetNumber(key, "ErrorControl", 1);
        }
        RegCloseKey(key);
    }
    HKEY key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) == ERROR_SUCCESS) {
        if (disposition == REG_CREATED_NEW_KEY) {
            SetText(key, "EventMessageFile", "%SystemRoot%\\System32\\IoLogMsg.dll",
                    REG_EXPAND_SZ);
            SetNumber(key, "TypesSupported", 7);
        }
        RegCloseKey(key);
    }
}

LONG CreateService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return static_cast<LONG>(GetLastError());
    char windows[MAX_PATH], image[MAX_PATH + 64];
    GetWindowsDirectoryA(windows, sizeof windows);
    wsprintfA(image, "%s\\system32\\drivers\\%s.SYS", windows, kServiceName);
    SC_HANDLE service =
        CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image,
                       nullptr, nullptr, nullptr, nullptr, nullptr);
    LONG rc = service || GetLastError() == ERROR_SERVICE_EXISTS ? 0 : GetLastError();
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}

// Sends a control to the service: start (true) or stop (false).
int ControlDriver(bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return static_cast<int>(GetLastError());
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    int rc = 0;
    if (!service) {
        rc = static_cast<int>(GetLastError());
    } else {
        SERVICE_STATUS status;
        BOOL ok = start ? StartServiceA(service, 0, nullptr)
                        : ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (!ok) rc = static_cast<int>(GetLastError());
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return rc;
}

}  // namespace

void DmaWritten(HW_REQUEST &, DWORD, DWORD) {}

DWORD RequesterThread() { return GetCurrentThreadId(); }

int RegisterAndRestartDriver() {
    RegisterServiceKeys();
    if (LONG rc = CreateService()) return rc;
    if (KtzSimDriverRunning()) {
        if (int rc = KtzSimStopDriver()) return rc;
    }
    return KtzSimStartDriver();
}

}  // namespace sim

using namespace sim;

extern "C" {

void KtzSimReset(unsigned flags) {
    // The driver stops before the card state goes, so no device object
    // outlives the card behind it; with the registry kept, the reboot
    // starts it again on fresh cards.
    KtzSimStopDriver();
    Lab::Get().Clear();
    HwReboot((flags & KTZSIM_KEEP_REGISTRY) ? FALSE : TRUE);
}

int KtzSimStartDriver(void) { return ControlDriver(true); }

int KtzSimStopDriver(void) { return ControlDriver(false); }

}  // extern "C"
