// System information and the module handles of the loader stand-in.
#include "internal.h"

#include <hostwin.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace hostwin {
namespace {

struct SystemInfo {
    std::mutex mutex;
    OSVERSIONINFOA version{sizeof(OSVERSIONINFOA), 6, 1, 7601, VER_PLATFORM_WIN32_NT,
                           "Service Pack 1"};
    std::string windowsDirectory = "C:\\WINDOWS";
    std::vector<std::string> modules;  // module handle k+1 is modules[k]
};

SystemInfo &Info() {
    static auto *info = new SystemInfo;
    return *info;
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (!lpVersionInformation || lpVersionInformation->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    *lpVersionInformation = info.version;
    return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    UINT length = static_cast<UINT>(info.windowsDirectory.size());
    if (!lpBuffer || uSize <= length) return length + 1;  // the size needed, terminator included
    std::memcpy(lpBuffer, info.windowsDirectory.c_str(), length + 1);
    return length;
}

VOID WINAPI HwSetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    info.version.dwPlatformId = platformId;
    info.version.dwMajorVersion = major;
    info.version.dwMinorVersion = minor;
    info.version.dwBuildNumber = build;
    info.version.szCSDVersion[0] = '\0';
}

VOID WINAPI HwSetWindowsDirectory(LPCSTR path) {
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    info.windowsDirectory = path ? path : "";
}

HINSTANCE WINAPI HwRegisterModule(LPCSTR name) {
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    std::string wanted = name ? name : "";
    for (size_t i = 0; i < info.modules.size(); ++i)
        if (devices::EqualNoCase(info.modules[i], wanted))
            return reinterpret_cast<HINSTANCE>((i + 1) << 16);
    info.modules.push_back(wanted);
    return reinterpret_cast<HINSTANCE>(info.modules.size() << 16);
}

LPCSTR WINAPI HwModuleName(HINSTANCE module) {
    auto &info = Info();
    std::lock_guard lock(info.mutex);
    size_t index = reinterpret_cast<uintptr_t>(module) >> 16;
    if (index == 0 || index > info.modules.size() ||
        (reinterpret_cast<uintptr_t>(module) & 0xFFFF) != 0)
        return nullptr;
    return info.modules[index - 1].c_str();
}

}  // extern "C"
