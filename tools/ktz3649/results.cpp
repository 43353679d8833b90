// Result codes in words, and the report of each library call.
#include <cstdarg>
#include <cstdio>

#include "panel.h"

namespace panel {
namespace {

bool verboseCalls = false;

struct ErrorName {
    DWORD number;
    const char *name;
};

constexpr ErrorName kErrorNames[] = {
    {ErrMemoryAlloc, "ErrMemoryAlloc"},
    {ErrSettingsNotFound, "ErrSettingsNotFound"},
    {ErrInvalidHandle, "ErrInvalidHandle"},
    {ErrConversionTimeout, "ErrConversionTimeout"},
    {ErrInvalidScaleRange, "ErrInvalidScaleRange"},
    {ErrInvalidChannel, "ErrInvalidChannel"},
    {ErrInvalidGain, "ErrInvalidGain"},
    {ErrTriggerTimeout, "ErrTriggerTimeout"},
    {ErrInvalidParameter, "ErrInvalidParameter"},
    {ErrInvalidPacerRate, "ErrInvalidPacerRate"},
    {ErrAcquisitionRunning, "ErrAcquisitionRunning"},
    {ErrUnsupportedBoard, "ErrUnsupportedBoard"},
    {ErrKernelOpen, "ErrKernelOpen"},
    {ErrNotSupported, "ErrNotSupported"},
    {ErrInvalidSetting, "ErrInvalidSetting"},
    {ErrNoBuffer, "ErrNoBuffer"},
    {ErrInvalidCount, "ErrInvalidCount"},
    {ErrEventCreate, "ErrEventCreate"},
    {ErrTransferStart, "ErrTransferStart"},
    {ErrInvalidEventType, "ErrInvalidEventType"},
    {ErrDmaBusy, "ErrDmaBusy"},
    {ErrInvalidTriggerLevel, "ErrInvalidTriggerLevel"},
    {ErrUnknownProperty, "ErrUnknownProperty"},
    {ErrEventWait, "ErrEventWait"},
    {ErrKernelRequest, "ErrKernelRequest"},
    {ErrPortFileNotFound, "ErrPortFileNotFound"},
    {ErrPortInvalidHandle, "ErrPortInvalidHandle"},
    {ErrPortTooManyCommands, "ErrPortTooManyCommands"},
    {ErrPortNoAccess, "ErrPortNoAccess"},
    {ErrPortRequest, "ErrPortRequest"},
    {ErrEventEnable, "ErrEventEnable"},
};

// The library's name of an error number; a number it has no name for
// came from the kernel driver's status word.
std::string NumberInWords(DWORD number) {
    for (const ErrorName &e : kErrorNames)
        if (e.number == number) return e.name;
    return "status " + std::to_string(number);
}

}  // namespace

std::string Describe(DWORD result) {
    if (result == 0) return "0 (success)";
    const DWORD number = KtzErrorNumber(result);
    const LONG device = KtzErrorDevice(result);
    char text[96];
    if (device < 0)
        std::snprintf(text, sizeof text, "%u (%s)", static_cast<unsigned>(number),
                      NumberInWords(number).c_str());
    else
        std::snprintf(text, sizeof text, "0x%X (device %ld: %s)", static_cast<unsigned>(result),
                      static_cast<long>(device), NumberInWords(number).c_str());
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
