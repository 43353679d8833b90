// hwrc: the resource compiler of the host build. Reads the dialog templates
// of a Windows resource script (.rc) and writes them as HW_RESOURCES data
// (hostwin_ui.h), so that the host build uses the very templates that the
// Windows build compiles with windres. The compiler is hwrc_compile.h.
//
//   hwrc [-I dir]... -n symbol -o out.cpp file.rc   writes the data
//   hwrc [-I dir]... --dump file.rc                 prints the templates
//   hwrc --dump file.res                            the same from a compiled file
#include "hwrc_compile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: hwrc [-I dir]... (-n symbol -o out.cpp | --dump) file.rc\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> includeDirs;
    std::string symbol, output, input;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-I" && i + 1 < argc)
            includeDirs.push_back(argv[++i]);
        else if (arg.rfind("-I", 0) == 0 && arg.size() > 2)
            includeDirs.push_back(arg.substr(2));
        else if (arg == "-n" && i + 1 < argc)
            symbol = argv[++i];
        else if (arg == "-o" && i + 1 < argc)
            output = argv[++i];
        else if (arg == "--dump")
            dump = true;
        else if (!arg.empty() && arg[0] != '-' && input.empty())
            input = arg;
        else
            return Usage();
    }
    if (input.empty() || (!dump && (symbol.empty() || output.empty()))) return Usage();
    try {
        std::string text;
        if (!hwrc::ReadWholeFile(input, &text)) throw std::runtime_error(input + ": cannot be read");
        std::vector<hwrc::Dialog> dialogs;
        if (input.size() > 4 && input.compare(input.size() - 4, 4, ".res") == 0)
            dialogs = hwrc::ReadCompiled(text);
        else
            dialogs = hwrc::CompileScript(text, input, includeDirs);
        if (dump) {
            std::fputs(hwrc::Dump(dialogs).c_str(), stdout);
            return 0;
        }
        std::string source = hwrc::Source(dialogs, symbol, input.substr(input.rfind('/') + 1));
        std::ifstream existing(output);
        std::stringstream old;
        old << existing.rdbuf();
        if (old.str() != source) {
            std::ofstream out(output);
            out << source;
            if (!out) throw std::runtime_error(output + ": cannot be written");
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hwrc: %s\n", e.what());
        return 1;
    }
    return 0;
}
