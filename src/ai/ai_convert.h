// Single-channel analog input on a device record, with the argument checks
// of the exported functions; the multi-channel functions run through them.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

constexpr WORD kAiChannels = 16;

// Whether the channel's own ChanConfig bit marks it part of a differential pair.
bool IsDifferential(const DeviceRecord &device, WORD channel);

// AIConfig without the handle check.
DWORD AiConfigure(DeviceRecord &device, WORD channel, WORD gainCode);
// AIBinaryIn without the handle check.
DWORD AiBinaryIn(DeviceRecord &device, WORD channel, WORD triggerMode, WORD *reading);
// AIVoltageIn without the handle check.
DWORD AiVoltageIn(DeviceRecord &device, WORD channel, WORD gainCode, WORD triggerMode,
                  FLOAT *voltage);

}  // namespace ktz
