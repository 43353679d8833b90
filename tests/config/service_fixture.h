// What the service tests share: the keys they read, values as text, and a
// fixture that runs one service-control step on its own connection.
#pragma once

#include <config/registry_paths.h>
#include <config/service.h>

#include <cstring>
#include <string>

#include "lab_fixture.h"
#include "target.h"

namespace ktztest {

constexpr char kShared[] = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ";
constexpr char kService[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S";
constexpr char kEventLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System";
constexpr char kSource[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\KTZ3649S";

// A value as "type:bytes" (numbers in decimal), or "" when missing.
inline std::string Value(const char *path, const char *name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
    char data[512];
    DWORD size = sizeof data, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "";
    if (type == REG_DWORD) {
        DWORD n;
        std::memcpy(&n, data, sizeof n);
        return "dword:" + std::to_string(n);
    }
    return std::to_string(type) + ":" + std::string(data, size);
}

inline void SetNumber(const char *path, const char *name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

inline void CreateKey(const char *path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline std::string Sz(const char *text, DWORD type = REG_SZ) {
    return std::to_string(type) + ":" + std::string(text, std::strlen(text) + 1);
}

class ServiceTest : public LabTest {
protected:
    // A step through its own service-manager connection.
    static DWORD Step(DWORD (*step)(SC_HANDLE, LPCSTR)) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        DWORD result = step(manager, "KTZ3649S");
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        SetLastError(error);
        return result;
    }
};

}  // namespace ktztest
