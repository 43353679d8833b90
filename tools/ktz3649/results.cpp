// Result codes in words, and the report of each library call.
#include <cstdarg>
#include <cstdio>

#include "panel.h"

namespace panel {
namespace {

bool verboseCalls = false;

}  // namespace

std::string Describe(DWORD result) {
    char words[64];
    KtzResultText(result, words, sizeof words);
    char text[96];
    if (KtzErrorDevice(result) < 0)
        std::snprintf(text, sizeof text, "%u (%s)", static_cast<unsigned>(result), words);
    else
        std::snprintf(text, sizeof text, "0x%X (%s)", static_cast<unsigned>(result), words);
    return text;
}

std::string Text(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[256];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void SetVerbose(bool verbose) { verboseCalls = verbose; }

bool Check(const char *call, DWORD result) {
    if (result != 0)
        std::fprintf(stderr, "%s: %s\n", call, Describe(result).c_str());
    else if (verboseCalls)
        std::printf("  [%s: %s]\n", call, Describe(result).c_str());
    return result == 0;
}

Failure Fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return {};
}

}  // namespace panel
