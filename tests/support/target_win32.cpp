// The Windows build, run under Wine.
#include "target.h"

#include <winternl.h>

#include <cstdio>
#include <vector>

namespace ktztest {
namespace {

constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct HandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// The process's entries in the system's handle list, those of a type only:
// Wine's synchronous device requests wait on a short-lived handle of an
// object without a type, which another thread's request (a measurement
// thread's) may hold at any moment.
DWORD CountInSystemList() {
    std::vector<BYTE> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    ULONG entries = *reinterpret_cast<const ULONG *>(buffer.data());
    const auto *entry = reinterpret_cast<const HandleEntry *>(buffer.data() + sizeof(ULONG_PTR));
    DWORD self = GetCurrentProcessId(), count = 0;
    for (ULONG i = 0; i < entries; ++i)
        count += entry[i].processId == self && entry[i].objectType != 0;
    return count;
}

}  // namespace

bool OnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void WineDeparts(const char *reason) { std::printf("[   WINE   ] %s\n", reason); }

// Wine 8's GetProcessHandleCount is a stub that reports 0 handles (a
// process always has some): there the system's handle list is counted.
DWORD OpenHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count ? count : CountInSystemList();
}

// A driver completes a request with an NTSTATUS; the lab's carry the Win32
// error in their low 16 bits (FACILITY_WIN32), which is what comes back.
bool DriverCanFailWith(DWORD lastError) {
    if (lastError <= 0xFFFF) return true;
    std::printf("[ SKIPPED  ] last error 0x%lX: a driver fails a request with an NTSTATUS, "
                "which gives a Win32 error of 16 bits\n",
                static_cast<unsigned long>(lastError));
    return false;
}

}  // namespace ktztest
