// The kernel service: its registry keys, the event-log source and the
// service-control sequences of the configuration.
#include "config/service.h"

#include <cstring>
#include <string>

#include "config/registry_paths.h"

namespace ktz {
namespace {

constexpr char kGroup[] = "Extended Base";
constexpr char kEventMessageFile[] = "%SystemRoot%\\System32\\IoLogMsg.dll";
constexpr DWORD kTypesSupported = 7;
constexpr DWORD kWindowsDirectoryLength = 255;

bool SetNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const char *name, const char *value, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

// Type, Start, Group and ErrorControl of a service key, in that order.
bool WriteServiceValues(HKEY key, DWORD start) {
    return SetNumber(key, "Type", SERVICE_KERNEL_DRIVER) && SetNumber(key, "Start", start) &&
           SetText(key, "Group", kGroup) && SetNumber(key, "ErrorControl", SERVICE_ERROR_NORMAL);
}

// Creates or opens a key with all access; *created tells whether it is new.
bool CreateKey(HKEY root, const char *path, HKEY *key, bool *created) {
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key, &disposition) != ERROR_SUCCESS)
        return false;
    *created = disposition == REG_CREATED_NEW_KEY;
    return true;
}

// A service key whose values are written only when the key is new; false
// when it cannot be created or a value not written.
bool RegisterServiceKey(const char *path, DWORD start) {
    HKEY key;
    bool created = false;
    if (!CreateKey(HKEY_LOCAL_MACHINE, path, &key, &created)) return false;
    bool ok = !created || WriteServiceValues(key, start);
    RegCloseKey(key);
    return ok;
}

// Runs one step on a service opened by name with all access; a service that
// cannot be opened gives 0. The last error of a failing step survives the
// closing of the handle.
template <class Step>
DWORD OnService(SC_HANDLE manager, LPCSTR name, Step step) {
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (!service) return 0;
    DWORD result = step(service);
    DWORD error = GetLastError();
    CloseServiceHandle(service);
    SetLastError(error);
    return result;
}

// Runs one step through its own service-manager connection.
DWORD WithManager(LPCSTR name, DWORD (*step)(SC_HANDLE, LPCSTR)) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return 0;
    DWORD result = step(manager, name);
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    SetLastError(error);
    return result;
}

// The system's last error of a failed sequence, never 0: a failure must not
// read as success.
DWORD FailureCode() {
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

}  // namespace

DWORD RegisterDriverKeys() {
    if (!RegisterServiceKey(kSharedKey, SERVICE_DISABLED)) return 1;
    if (!RegisterServiceKey(kServiceKey, SERVICE_AUTO_START)) return 1;

    HKEY eventLog;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventLogKey, 0, KEY_ALL_ACCESS, &eventLog) !=
        ERROR_SUCCESS)
        return 0;
    HKEY source;
    bool created = false;
    bool opened = CreateKey(eventLog, kServiceName, &source, &created);
    RegCloseKey(eventLog);
    if (!opened) return 0;
    bool ok = !created ||
              (SetText(source, "EventMessageFile", kEventMessageFile, REG_EXPAND_SZ) &&
               SetNumber(source, "TypesSupported", kTypesSupported));
    RegCloseKey(source);
    return ok ? 0 : 1;
}

DWORD CreateDriverService(SC_HANDLE manager, LPCSTR name) {
    char windows[kWindowsDirectoryLength + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) {
        // A Windows directory longer than the buffer leaves no path to use.
        if (length != 0) SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    std::string path = std::string(windows) + "\\system32\\drivers\\" + name + ".SYS";
    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                                       SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (!service) return GetLastError() == ERROR_SERVICE_EXISTS ? 1 : 0;
    CloseServiceHandle(service);
    return 1;
}

DWORD StopDriverService(SC_HANDLE manager, LPCSTR name) {
    return OnService(manager, name, [](SC_HANDLE service) -> DWORD {
        SERVICE_STATUS status{};
        if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return 1;
        // A stop is asked so that the service is not running: a service that
        // is not running (a driver just created, or stopped) is where the
        // stop would leave it.
        const DWORD error = GetLastError();
        return error == ERROR_INVALID_SERVICE_CONTROL || error == ERROR_SERVICE_NOT_ACTIVE ? 1 : 0;
    });
}

DWORD StartDriverService(SC_HANDLE manager, LPCSTR name) {
    return OnService(manager, name, [](SC_HANDLE service) -> DWORD {
        if (StartServiceA(service, 0, nullptr)) return 1;
        return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? 1 : 0;
    });
}

DWORD DeleteDriverService(SC_HANDLE manager, LPCSTR name) {
    return OnService(manager, name, [](SC_HANDLE service) -> DWORD {
        if (DeleteService(service)) return 1;
        return GetLastError() == ERROR_INVALID_SERVICE_CONTROL ? 1 : 0;
    });
}

DWORD InstallAndRestartService(LPCSTR name) {
    if (WithManager(name, CreateDriverService) && WithManager(name, StopDriverService) &&
        WithManager(name, StartDriverService))
        return 0;
    return FailureCode();
}

DWORD RemoveService(LPCSTR name) {
    if (WithManager(name, StopDriverService) && WithManager(name, DeleteDriverService)) return 0;
    return FailureCode();
}

DWORD TemporaryServiceInstall(LPCSTR name, LPCSTR serviceKey) {
    HKEY key;
    bool created = false;
    if (!CreateKey(HKEY_LOCAL_MACHINE, serviceKey, &key, &created)) return 0;
    bool written = created && WriteServiceValues(key, SERVICE_AUTO_START);
    RegCloseKey(key);
    if (!written) return 0;
    return InstallAndRestartService(name) == 0 ? 1 : 0;
}

}  // namespace ktz
