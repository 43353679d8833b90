// Bringing the lab up: the driver image in place, the lab service KTZ3649SIM
// running, the card's driver KTZ3649S in the same driver host, the control
// device open.
#include "lab_link.h"

#include <ktz3649_driver.h>
#include <ktz3649sim.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "lab_protocol.h"
#include "services.h"

namespace simlab {
namespace {

constexpr int kOpenAttempts = 50;
constexpr DWORD kOpenPauseMs = 20;

std::mutex g_mutex;
HANDLE g_control = INVALID_HANDLE_VALUE;
bool g_reported = false;

HANDLE OpenControl() {
    return CreateFileA(KTZSIM_CONTROL_DEVICE, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool ReadWhole(const char *path, std::vector<char> &bytes) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, nullptr), got = 0;
    bytes.resize(size);
    bool ok = size == INVALID_FILE_SIZE ? false
                                         : ReadFile(file, bytes.data(), size, &got, nullptr) &&
                                               got == size;
    CloseHandle(file);
    return ok;
}

// KTZ3649S.SYS from beside this DLL to where the services load it, unless
// the same image is there already.
DWORD InstallImage() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&InstallImage), &self);
    char source[MAX_PATH] = {}, target[MAX_PATH] = {};
    GetModuleFileNameA(self, source, sizeof source);
    char *slash = std::strrchr(source, '\\');
    if (!slash) return ERROR_FILE_NOT_FOUND;
    std::snprintf(slash + 1, sizeof source - (slash + 1 - source), "KTZ3649S.SYS");
    DriverImagePath(target, sizeof target);
    std::vector<char> built, installed;
    if (!ReadWhole(source, built)) return ERROR_FILE_NOT_FOUND;
    if (ReadWhole(target, installed) && installed == built) return 0;
    return CopyFileA(source, target, FALSE) ? 0 : GetLastError();
}

// The lab service: the driver image's path and the lab's group, on demand.
DWORD RegisterLabService() {
    char image[MAX_PATH];
    DriverImagePath(image, sizeof image);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return GetLastError();
    SC_HANDLE service = CreateServiceA(manager, KTZSIM_LAB_SERVICE, KTZSIM_LAB_SERVICE,
                                       SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image,
                                       KTZSIM_DRIVER_GROUP, nullptr, nullptr, nullptr, nullptr);
    DWORD rc = 0;
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        service = OpenServiceA(manager, KTZSIM_LAB_SERVICE, SERVICE_ALL_ACCESS);
        if (service && !ChangeServiceConfigA(service, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                             SERVICE_ERROR_NORMAL, image, KTZSIM_DRIVER_GROUP,
                                             nullptr, nullptr, nullptr, nullptr, nullptr))
            rc = GetLastError();
    }
    if (!service) rc = GetLastError();
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}

// Starts the lab; the card's driver, if it ran in a driver host of its own
// (without the lab), moves into the lab's.
DWORD BringUp(HANDLE *control) {
    bool cardDriverRan = DriverRuns(KTZ_SERVICE_NAME);
    if (cardDriverRan) StopDriver(KTZ_SERVICE_NAME);  // its image may be replaced
    if (DWORD rc = InstallImage()) return rc;
    if (DWORD rc = RegisterLabService()) return rc;
    DWORD rc = StartDriver(KTZSIM_LAB_SERVICE);
    if (rc && rc != ERROR_SERVICE_ALREADY_RUNNING) return rc;
    JoinLabGroup(KTZ_SERVICE_NAME);
    if (cardDriverRan) StartDriver(KTZ_SERVICE_NAME);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        *control = OpenControl();
        if (*control != INVALID_HANDLE_VALUE) return 0;
        Sleep(kOpenPauseMs);
    }
    return GetLastError();
}

HANDLE Control() {
    std::lock_guard lock(g_mutex);
    if (g_control != INVALID_HANDLE_VALUE) return g_control;
    HANDLE control = OpenControl();
    DWORD rc = control == INVALID_HANDLE_VALUE ? BringUp(&control) : 0;
    if (rc) {
        if (!g_reported)
            std::fprintf(stderr, "Ktz3649Sim: the lab driver (service %s) cannot be started: "
                                 "error %lu\n", KTZSIM_LAB_SERVICE, rc);
        g_reported = true;
        return INVALID_HANDLE_VALUE;
    }
    g_control = control;
    return control;
}

}  // namespace

bool Transact(const void *request, DWORD requestSize, void *reply, DWORD replySize, DWORD *got) {
    HANDLE control = Control();
    if (control == INVALID_HANDLE_VALUE) return false;
    HookLibraryReads();
    if (DeviceIoControl(control, KTZSIM_IOCTL_CALL, const_cast<void *>(request), requestSize,
                        reply, replySize, got, nullptr))
        return true;
    std::lock_guard lock(g_mutex);
    if (!g_reported)
        std::fprintf(stderr, "Ktz3649Sim: a lab request failed: error %lu\n", GetLastError());
    g_reported = true;
    return false;
}

}  // namespace simlab
