// Loads Ktz3649.dll as an application does: every export of its .def file
// must resolve by name, and what works without a card must work.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The exported names of a .def file: the names left of "=" after EXPORTS.
std::vector<std::string> ExportNames(const char *defPath) {
    std::vector<std::string> names;
    std::ifstream def(defPath);
    std::string line;
    bool exports = false;
    while (std::getline(def, line)) {
        size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == ';') continue;
        if (line.compare(start, 7, "EXPORTS") == 0) {
            exports = true;
            continue;
        }
        if (!exports) continue;
        size_t end = line.find_first_of(" \t=", start);
        names.push_back(line.substr(start, end - start));
    }
    return names;
}

template <class Function>
Function Resolve(HMODULE dll, const char *name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_dll Ktz3649.def\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("Ktz3649.dll");
    if (!dll) {
        std::fprintf(stderr, "LoadLibraryA failed: %lu\n", GetLastError());
        return 1;
    }
    int failures = 0;
    auto names = ExportNames(argv[1]);
    for (const auto &name : names) {
        if (!GetProcAddress(dll, name.c_str())) {
            std::fprintf(stderr, "not found: %s\n", name.c_str());
            ++failures;
        }
    }
    std::printf("%zu exports resolved by name\n", names.size() - failures);

    using DriverProcFn = DWORD(WINAPI *)(DWORD, DWORD, DWORD, ULONG_PTR, ULONG_PTR);
    if (auto driverProc = Resolve<DriverProcFn>(dll, "DriverProc")) {
        DWORD rc = driverProc(0, 0, 12, 0, 0);
        std::printf("DriverProc(unimplemented code 12) = %lu\n", rc);
        if (rc != 27) ++failures;
    }
    using DeviceOpenFn = DWORD(WINAPI *)(DWORD, ULONG_PTR *);
    auto deviceOpen = Resolve<DeviceOpenFn>(dll, "DeviceOpen");
    ULONG_PTR handle = 0;
    DWORD rc = deviceOpen ? deviceOpen(77, &handle) : 0;
    std::printf("DeviceOpen(77) without settings = %lu\n", rc);
    if (rc != 2) ++failures;
    FreeLibrary(dll);
    return failures == 0 ? 0 : 1;
}
