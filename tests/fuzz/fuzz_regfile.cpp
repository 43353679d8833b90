// The REGEDIT4 loader of hostwin with fuzzed files. Each input is a
// registry file:
//   - parsed (regfile::Parse); a file that parses formats to a text that
//     parses again and formats to the same text (the writer and the reader
//     agree);
//   - loaded as the registry file (HwSetRegistryFile), which must succeed
//     exactly when it parses and its saved form fits the bound; the
//     registry API then shows the parsed tree (every key, value, type and
//     byte); a change rewrites the file as the tree with the change formats;
//     the host reboots on it (its services start from the loaded tree);
//   - then the registry is let go and emptied by a reboot.
// regfile.cpp is compiled into this program to reach Parse and Format; the
// registry itself is libhostwin's.
#include <hostwin.h>
#include <windows.h>

#include "fuzz_input.h"
#include "regfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fuzz::Check;

using hostwin::regfile::Format;
using hostwin::regfile::Key;
using hostwin::regfile::kMaxFileBytes;
using hostwin::regfile::kRootCount;
using hostwin::regfile::Parse;
using hostwin::regfile::Roots;
using hostwin::regfile::Value;

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    Check(static_cast<bool>(out), "cannot write the input file");
}

// The registry file of the inputs, in a folder of its own removed at exit:
// in memory where /dev/shm is there (a file system on disk may write the
// file out at each replacement).
const std::string &InputPath() {
    static const std::string path = [] {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string folder = (base / "fuzz_regfile.XXXXXX").string();
        Check(mkdtemp(folder.data()) != nullptr, "cannot make a temporary folder");
        static std::string removed = folder;
        std::atexit([] { std::filesystem::remove_all(removed); });
        return folder + "/input.reg";
    }();
    return path;
}

// A name the A functions can pass: no zero byte inside.
bool Addressable(const std::string &name) { return name.find('\0') == std::string::npos; }

// The registry API shows the key `key` at handle h as parsed.
void Compare(HKEY h, const Key &key) {
    for (const Value &v : key.values) {
        if (!Addressable(v.name)) continue;
        DWORD type = 0, size = 0;
        Check(RegQueryValueExA(h, v.name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS,
              "a loaded value is not there");
        Check(type == v.type && size == v.data.size(), "a loaded value has another type or size");
        std::vector<BYTE> data(size + 1);
        Check(RegQueryValueExA(h, v.name.c_str(), nullptr, nullptr, data.data(), &size) ==
                      ERROR_SUCCESS &&
                  std::equal(v.data.begin(), v.data.end(), data.begin()),
              "a loaded value has other data");
    }
    DWORD index = 0;
    for (const auto &[name, sub] : key.subkeys) {
        char found[hostwin::regfile::kMaxNameLength + 1];
        DWORD length = sizeof found;
        Check(RegEnumKeyExA(h, index++, found, &length, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS &&
                  std::string(found, length) == name,
              "the loaded subkeys differ");
        if (!Addressable(name)) continue;
        HKEY child;
        Check(RegOpenKeyExA(h, name.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS,
              "a loaded key does not open");
        Compare(child, *sub);
        RegCloseKey(child);
    }
    char name[hostwin::regfile::kMaxNameLength + 1];
    DWORD length = sizeof name;
    Check(RegEnumKeyExA(h, index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
              ERROR_NO_MORE_ITEMS,
          "the registry has more subkeys than the file");
}

const HKEY kRoots[kRootCount] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                 HKEY_USERS};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    unsetenv("HOSTWIN_REGISTRY");  // this program sets its registry files itself
    HwBoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    const std::string text(reinterpret_cast<const char *>(bytes), size);

    // The reader and the writer agree.
    Roots parsed;
    int line = 0;
    std::string what;
    const bool parses = Parse(text, &parsed, &line, &what);
    std::string formatted;
    if (parses) {
        formatted = Format(parsed);
        Roots again;
        Check(Parse(formatted, &again, &line, &what), "a formatted tree does not parse");
        Check(Format(again) == formatted, "a formatted tree formats differently when read back");
    } else {
        Check(line >= 1 && !what.empty(), "a refused file has no line and reason");
    }

    // The registry loads it when it parses and its saved form fits.
    const std::string &path = InputPath();
    WriteAll(path, text);
    const bool fits = parses && formatted.size() <= kMaxFileBytes;
    const DWORD loaded = HwSetRegistryFile(path.c_str());
    Check((loaded == ERROR_SUCCESS) == fits, "the loader and the parser disagree");
    if (loaded == ERROR_SUCCESS) {
        for (int i = 0; i < kRootCount; ++i) Compare(kRoots[i], *parsed[i]);

        // A change rewrites the file: the tree with the change, or nothing
        // when that would not fit.
        const DWORD number = 0x12345678;
        const LONG set = RegSetValueExA(HKEY_LOCAL_MACHINE, "FuzzChange", 0, REG_DWORD,
                                        reinterpret_cast<const BYTE *>(&number), sizeof number);
        if (set == ERROR_SUCCESS) {
            Value change{"FuzzChange", REG_DWORD, {0x78, 0x56, 0x34, 0x12}};
            Key &machine = *parsed[2];
            if (Value *old = machine.FindValue(change.name)) {
                old->type = change.type;
                old->data = change.data;
            } else {
                machine.values.push_back(change);
            }
            Check(ReadAll(path) == Format(parsed), "the saved file is not the changed tree");
        } else {
            Check(set == ERROR_NO_SYSTEM_RESOURCES && ReadAll(path) == text,
                  "a change that does not fit failed otherwise or touched the file");
        }
        HwReboot(FALSE);
    } else {
        Check(loaded == ERROR_BADDB && *HwRegistryFileError(), "a refused file gives no reason");
        HKEY key;
        Check(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key) == ERROR_BADDB,
              "the registry of a refused file answers");
    }
    HwSetRegistryFile(nullptr);
    HwReboot(TRUE);
    return 0;
}
