#include "services.h"

#include <cstdio>

#include "lab_protocol.h"

namespace simlab {
namespace {

constexpr int kStartAttempts = 10;
constexpr DWORD kPollMs = 10;
constexpr DWORD kWaitMs = 30000;

// Runs f(service) on a service opened with all access; the Win32 error of
// the opening, or f's.
template <class F>
DWORD WithService(const char *name, F f) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return GetLastError();
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    DWORD rc = service ? f(service) : GetLastError();
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}

DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : SERVICE_STOPPED;
}

// Waits while the service is in a pending state; its final state.
DWORD Settle(SC_HANDLE service) {
    for (DWORD waited = 0;; waited += kPollMs) {
        DWORD state = StateOf(service);
        bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        if (!pending || waited >= kWaitMs) return state;
        Sleep(kPollMs);
    }
}

}  // namespace

void DriverImagePath(char *path, DWORD size) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    std::snprintf(path, size, "%s\\system32\\drivers\\KTZ3649S.SYS", windows);
}

DWORD StartDriver(const char *name) {
    return WithService(name, [](SC_HANDLE service) -> DWORD {
        for (int attempt = 1;; ++attempt) {
            // A stop under way ends first; a start under way is a running service.
            if (Settle(service) == SERVICE_RUNNING) return ERROR_SERVICE_ALREADY_RUNNING;
            if (StartServiceA(service, 0, nullptr))
                return Settle(service) == SERVICE_RUNNING ? 0 : ERROR_SERVICE_NOT_ACTIVE;
            DWORD error = GetLastError();
            if (error != ERROR_SERVICE_REQUEST_TIMEOUT || attempt == kStartAttempts) return error;
        }
    });
}

DWORD StopDriver(const char *name) {
    return WithService(name, [](SC_HANDLE service) -> DWORD {
        SERVICE_STATUS status{};
        if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return GetLastError();
        return Settle(service) == SERVICE_STOPPED ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
    });
}

bool DriverRuns(const char *name) {
    DWORD state = SERVICE_STOPPED;
    WithService(name, [&](SC_HANDLE service) -> DWORD {
        state = StateOf(service);
        return 0;
    });
    return state == SERVICE_RUNNING || state == SERVICE_START_PENDING;
}

bool JoinLabGroup(const char *name) {
    return WithService(name, [](SC_HANDLE service) -> DWORD {
               return ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                           SERVICE_NO_CHANGE, nullptr, KTZSIM_DRIVER_GROUP,
                                           nullptr, nullptr, nullptr, nullptr, nullptr)
                          ? 0
                          : GetLastError();
           }) == 0;
}

}  // namespace simlab
