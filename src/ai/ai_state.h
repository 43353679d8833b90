// Analog-input state kept in the device record.
#pragma once

#include <windows.h>

namespace ktz {

struct AiState {
    WORD aiSettleCount = 0;    // status reads + 1 after a software conversion; 10 after AIConfig
    WORD maiScanPosition = 0;  // next position of a multi-channel scan, kept between calls
};

}  // namespace ktz
