// Analog input inside the library: its state in the device record, the
// gain codes and their scaling, and the verbs that the exports, the
// multi-channel scan and the fast-input transfer share.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

struct AiState {
    WORD aiSettleCount = 0;    // status reads + 1 after a software conversion; 10 after AIConfig
    WORD maiScanPosition = 0;  // next position of a multi-channel scan, kept between calls
};

constexpr WORD kAiChannels = 16;
// The largest code of the 12-bit converter, as AIScale takes it.
constexpr WORD kAiMaxCount = 4095;
// The largest gain code that the range register takes.
constexpr WORD kAiMaxGainCode = 20;

namespace ai {

// Whether the channel's own ChanConfig bit marks it part of a differential pair.
bool IsDifferential(const DeviceRecord &device, WORD channel);

// Full scale (volts) and offset (counts: 2048 bipolar, 0 unipolar) of a gain
// code. Codes 16 to 19 map to the unipolar entries (so do 5 to 8, which
// index them directly). Returns false, writing nothing, for a code without
// a scaling entry (9 to 15 and 20 and above).
bool GainRange(const DeviceRecord &device, WORD gainCode, FLOAT *fullScale, FLOAT *offset);

// The verbs of the exports, after the handle check.
DWORD Configure(DeviceRecord &device, WORD channel, WORD gainCode);    // AIConfig
DWORD GetConfig(const DeviceRecord &device, LPVOID config);            // AIGetConfig
DWORD BinaryIn(DeviceRecord &device, WORD channel, WORD triggerMode,  // AIBinaryIn
               WORD *reading);
DWORD VoltageIn(DeviceRecord &device, WORD channel, WORD gainCode,    // AIVoltageIn
                WORD triggerMode, FLOAT *voltage);
DWORD Scale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset,  // AIScale
            FLOAT *voltage);
DWORD ConfigureRun(DeviceRecord &device, WORD channels, WORD start,  // MAIConfig
                   const WORD *gainCodes);
DWORD ScanCodes(DeviceRecord &device, WORD channels, WORD start,  // MAIBinaryIn
                WORD triggerMode, WORD *readings);
DWORD ScanVolts(DeviceRecord &device, WORD channels, WORD start,  // MAIVoltageIn
                const WORD *gainCodes, WORD triggerMode, FLOAT *voltages);

}  // namespace ai
}  // namespace ktz
