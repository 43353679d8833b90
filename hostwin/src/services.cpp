// The service control manager. Its database lives in the registry under
// SYSTEM\CurrentControlSet\Services and is read when the host boots; a
// kernel-driver service whose image names a driver module really loads it
// (see hostwin_driver.h) and starts and stops it.
#include "internal.h"
#include "regfile.h"

#include <hostwin_driver.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <dlfcn.h>
#include <unordered_map>
#include <vector>

struct SC_HANDLE__ {};

namespace hostwin {
namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

struct Service {
    std::string name;
    DWORD type = 0;
    DWORD start = SERVICE_DEMAND_START;
    std::string imagePath;
    bool running = false;
    bool busy = false;  // a start or stop is under way outside the lock
    bool markedForDelete = false;
    bool forgotten = false;  // the database was reset (host rebooted)
    int handles = 0;
    HW_DRIVER_UNLOAD unload = nullptr;
};

struct ScHandle : SC_HANDLE__ {
    bool manager = false;
    DWORD access = 0;
    std::shared_ptr<Service> service;
};

struct Manager {
    std::mutex mutex;
    std::vector<std::shared_ptr<Service>> services;
    std::unordered_map<ScHandle *, std::unique_ptr<ScHandle>> handles;
};

Manager &TheManager() {
    static auto *manager = new Manager;
    return *manager;
}

std::shared_ptr<Service> FindLocked(Manager &m, const std::string &name) {
    for (auto &s : m.services)
        if (devices::EqualNoCase(s->name, name)) return s;
    return nullptr;
}

ScHandle *HandleLocked(Manager &m, SC_HANDLE h) {
    auto it = m.handles.find(static_cast<ScHandle *>(h));
    return it == m.handles.end() ? nullptr : it->second.get();
}

SC_HANDLE NewHandleLocked(Manager &m, bool manager, DWORD access, std::shared_ptr<Service> s) {
    auto handle = std::make_unique<ScHandle>();
    handle->manager = manager;
    handle->access = access;
    handle->service = std::move(s);
    if (handle->service) ++handle->service->handles;
    ScHandle *raw = handle.get();
    m.handles.emplace(raw, std::move(handle));
    return raw;
}

DWORD ReadDword(HKEY key, const char *name, DWORD fallback) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        return fallback;
    return value;
}

std::string ReadString(HKEY key, const char *name) {
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size) !=
        ERROR_SUCCESS)
        return {};
    return std::string(buffer, strnlen(buffer, size));
}

void DeleteTree(HKEY root, const std::string &path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    for (;;) {
        char name[regfile::kMaxNameLength + 1];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DeleteTree(key, name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

// A service marked for deletion goes once it is stopped and unhandled.
void ReapLocked(Manager &m, const std::shared_ptr<Service> &s) {
    if (!s->markedForDelete || s->running || s->busy || s->handles > 0 || s->forgotten) return;
    m.services.erase(std::remove(m.services.begin(), m.services.end(), s), m.services.end());
    DeleteTree(HKEY_LOCAL_MACHINE, std::string(kServicesKey) + "\\" + s->name);
}

std::string DriverModuleName(const std::string &imagePath) {
    std::string base = imagePath.substr(imagePath.find_last_of("\\/") + 1);
    if (auto dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return "lib" + base + ".so";
}

std::vector<std::string> DriverFolders() {
    std::vector<std::string> folders;
    if (const char *path = std::getenv("HOSTWIN_DRIVER_PATH")) {
        std::string list = path;
        size_t begin = 0;
        while (begin <= list.size()) {
            size_t end = list.find(':', begin);
            if (end == std::string::npos) end = list.size();
            if (end > begin) folders.push_back(list.substr(begin, end - begin));
            begin = end + 1;
        }
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&DriverFolders), &info) && info.dli_fname) {
        std::string self = info.dli_fname;
        auto slash = self.rfind('/');
        folders.push_back(slash == std::string::npos ? "." : self.substr(0, slash));
    }
    return folders;
}

// Loads and starts a driver module; returns a Win32 error.
DWORD LoadDriver(Service &s) {
    if (s.type != SERVICE_KERNEL_DRIVER) return ERROR_NOT_SUPPORTED;
    if (s.imagePath.empty()) return ERROR_FILE_NOT_FOUND;
    std::string module = DriverModuleName(s.imagePath);
    void *library = nullptr;
    for (const auto &folder : DriverFolders()) {
        library = dlopen((folder + "/" + module).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library) break;
    }
    if (!library) return ERROR_FILE_NOT_FOUND;
    auto entry = reinterpret_cast<HW_DRIVER_ENTRY>(dlsym(library, "HwDriverEntry"));
    auto unload = reinterpret_cast<HW_DRIVER_UNLOAD>(dlsym(library, "HwDriverUnload"));
    if (!entry || !unload) return ERROR_BAD_EXE_FORMAT;
    DWORD error = entry(s.name.c_str());
    if (error == ERROR_SUCCESS) s.unload = unload;
    return error;
}

void FillStatus(const Service &s, LPSERVICE_STATUS status) {
    if (!status) return;
    *status = SERVICE_STATUS{};
    status->dwServiceType = s.type;
    status->dwCurrentState = s.running ? SERVICE_RUNNING : SERVICE_STOPPED;
    status->dwControlsAccepted = s.running ? SERVICE_ACCEPT_STOP : 0;
}

}  // namespace

namespace services {

void StartAutomatic() {
    auto &m = TheManager();
    std::vector<std::shared_ptr<Service>> toStart;
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return;
    std::vector<std::shared_ptr<Service>> found;
    for (DWORD index = 0;; ++index) {
        char name[regfile::kMaxNameLength + 1];
        DWORD length = sizeof name;
        LONG rc = RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        HKEY key;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        DWORD type = ReadDword(key, "Type", 0);
        if (type != 0) {
            auto s = std::make_shared<Service>();
            s->name = name;
            s->type = type;
            s->start = ReadDword(key, "Start", SERVICE_DEMAND_START);
            s->imagePath = ReadString(key, "ImagePath");
            found.push_back(s);
        }
        RegCloseKey(key);
    }
    RegCloseKey(root);
    {
        std::lock_guard lock(m.mutex);
        for (auto &s : found) {
            if (FindLocked(m, s->name)) continue;
            m.services.push_back(s);
            if (s->type == SERVICE_KERNEL_DRIVER && s->start <= SERVICE_AUTO_START) {
                s->busy = true;
                toStart.push_back(s);
            }
        }
    }
    for (auto &s : toStart) {
        DWORD error = LoadDriver(*s);
        std::lock_guard lock(m.mutex);
        s->busy = false;
        s->running = error == ERROR_SUCCESS;
    }
}

void Shutdown() {
    auto &m = TheManager();
    std::vector<std::shared_ptr<Service>> running;
    {
        std::lock_guard lock(m.mutex);
        for (auto &s : m.services) {
            s->forgotten = true;
            if (s->running) running.push_back(s);
        }
        m.services.clear();
    }
    for (auto &s : running) {
        s->unload();
        std::lock_guard lock(m.mutex);
        s->running = false;
    }
}

}  // namespace services
}  // namespace hostwin

using namespace hostwin;

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
    EnsureBooted();
    if (lpMachineName && *lpMachineName) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    if (lpDatabaseName && std::strcmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0)
        return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    auto &m = TheManager();
    std::lock_guard lock(m.mutex);
    return NewHandleLocked(m, true, dwDesiredAccess, nullptr);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR, LPCSTR,
                                LPCSTR) {
    auto &m = TheManager();
    std::unique_lock lock(m.mutex);
    ScHandle *manager = HandleLocked(m, hSCManager);
    if (!manager || !manager->manager) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!(manager->access & SC_MANAGER_CREATE_SERVICE))
        return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    if (!lpServiceName || !*lpServiceName || std::strpbrk(lpServiceName, "\\/"))
        return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    if (!lpBinaryPathName || !*lpBinaryPathName)
        return Fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    if (lpdwTagId) return Fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    if (auto existing = FindLocked(m, lpServiceName))
        return Fail<SC_HANDLE>(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                         : ERROR_SERVICE_EXISTS,
                               nullptr);
    auto s = std::make_shared<Service>();
    s->name = lpServiceName;
    s->type = dwServiceType;
    s->start = dwStartType;
    s->imagePath = lpBinaryPathName;
    m.services.push_back(s);
    SC_HANDLE handle = NewHandleLocked(m, false, dwDesiredAccess, s);
    lock.unlock();

    // The service's configuration, where the next boot reads it.
    HKEY key;
    std::string path = std::string(kServicesKey) + "\\" + lpServiceName;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        auto setDword = [&](const char *name, DWORD value) {
            RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value);
        };
        auto setString = [&](const char *name, DWORD type, const char *value) {
            RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(value),
                           static_cast<DWORD>(std::strlen(value) + 1));
        };
        setDword("Type", dwServiceType);
        setDword("Start", dwStartType);
        setDword("ErrorControl", dwErrorControl);
        setString("ImagePath", REG_EXPAND_SZ, lpBinaryPathName);
        setString("DisplayName", REG_SZ, lpDisplayName ? lpDisplayName : lpServiceName);
        if (lpLoadOrderGroup && *lpLoadOrderGroup) setString("Group", REG_SZ, lpLoadOrderGroup);
        RegCloseKey(key);
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    auto &m = TheManager();
    std::lock_guard lock(m.mutex);
    ScHandle *manager = HandleLocked(m, hSCManager);
    if (!manager || !manager->manager) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!lpServiceName || !*lpServiceName) return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    auto s = FindLocked(m, lpServiceName);
    if (!s) return Fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
    return NewHandleLocked(m, false, dwDesiredAccess, s);
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD, LPCSTR *) {
    auto &m = TheManager();
    std::shared_ptr<Service> s;
    {
        std::lock_guard lock(m.mutex);
        ScHandle *handle = HandleLocked(m, hService);
        if (!handle || handle->manager) return Fail(ERROR_INVALID_HANDLE, FALSE);
        if (!(handle->access & SERVICE_START)) return Fail(ERROR_ACCESS_DENIED, FALSE);
        s = handle->service;
        if (s->forgotten) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
        if (s->start == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED, FALSE);
        if (s->running || s->busy) return Fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
        if (s->markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
        s->busy = true;
    }
    DWORD error = LoadDriver(*s);
    std::lock_guard lock(m.mutex);
    s->busy = false;
    if (error != ERROR_SUCCESS) return Fail(error, FALSE);
    s->running = true;
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    auto &m = TheManager();
    std::shared_ptr<Service> s;
    {
        std::lock_guard lock(m.mutex);
        ScHandle *handle = HandleLocked(m, hService);
        if (!handle || handle->manager) return Fail(ERROR_INVALID_HANDLE, FALSE);
        s = handle->service;
        if (s->forgotten) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
        const DWORD needed = dwControl == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                             : dwControl == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                                        : 0;
        if ((handle->access & needed) != needed) return Fail(ERROR_ACCESS_DENIED, FALSE);
        // A service that is not running takes no control at all; one that is
        // starting or stopping takes none now.
        FillStatus(*s, lpServiceStatus);
        if (!s->running) return Fail(s->busy ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                             : ERROR_SERVICE_NOT_ACTIVE,
                                     FALSE);
        if (s->busy) return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, FALSE);
        if (dwControl == SERVICE_CONTROL_INTERROGATE) return TRUE;
        if (dwControl != SERVICE_CONTROL_STOP) return Fail(ERROR_INVALID_SERVICE_CONTROL, FALSE);
        s->busy = true;
    }
    s->unload();
    std::lock_guard lock(m.mutex);
    s->busy = false;
    s->running = false;
    s->unload = nullptr;
    FillStatus(*s, lpServiceStatus);
    ReapLocked(m, s);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    auto &m = TheManager();
    std::lock_guard lock(m.mutex);
    ScHandle *handle = HandleLocked(m, hService);
    if (!handle || handle->manager) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpServiceStatus) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    FillStatus(*handle->service, lpServiceStatus);
    return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
    auto &m = TheManager();
    std::lock_guard lock(m.mutex);
    ScHandle *handle = HandleLocked(m, hService);
    if (!handle || handle->manager) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(handle->access & DELETE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    auto &s = handle->service;
    if (s->forgotten) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    if (s->markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    s->markedForDelete = true;
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    auto &m = TheManager();
    std::lock_guard lock(m.mutex);
    auto it = m.handles.find(static_cast<ScHandle *>(hSCObject));
    if (it == m.handles.end()) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::shared_ptr<Service> s = it->second->service;
    m.handles.erase(it);
    if (s) {
        --s->handles;
        ReapLocked(m, s);
    }
    return TRUE;
}

}  // extern "C"
