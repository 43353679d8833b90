// hwrc's compiler with fuzzed input. Each input is read both as a resource
// script and as a compiled resource file; what compiles is dumped and
// turned into source text. Faults must come as exceptions (a message with
// file and line), never as a crash, a hang or undefined behaviour.
// Quoted #include lines find one file, resource.h as the library has it
// (FUZZ_RESOURCE_H), from memory; nothing is read from disk.
#include "hwrc_compile.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

const std::string &ResourceHeader() {
    static const std::string text = [] {
        std::ifstream in(FUZZ_RESOURCE_H, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }();
    return text;
}

bool ReadFromMemory(const std::string &path, std::string *text) {
    if (path != "fuzz/resource.h") return false;
    *text = ResourceHeader();
    return true;
}

void Output(const std::vector<hwrc::Dialog> &dialogs) {
    hwrc::Dump(dialogs);
    hwrc::Source(dialogs, "fuzz_resources", "fuzz.rc");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    const std::string text(reinterpret_cast<const char *>(bytes), size);
    try {
        Output(hwrc::CompileScript(text, "fuzz/fuzz.rc", {}, ReadFromMemory));
    } catch (const std::runtime_error &) {
    }
    try {
        Output(hwrc::ReadCompiled(text));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
