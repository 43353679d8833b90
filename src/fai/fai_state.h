// Fast analog-input state kept in the device record.
#pragma once

#include <windows.h>

#include <atomic>

namespace ktz {

constexpr int kMaxScanLength = 16;

struct FaiState {
    WORD faiScanLength = 0;
    WORD faiGains[kMaxScanLength] = {};
    WORD *faiBuffer = nullptr;          // the locked address of the application's buffer
    HGLOBAL faiBufferHandle = nullptr;  // the application's global memory block
    DWORD faiCount = 0;                 // samples in the buffer
    OVERLAPPED faiReadRequest = {};     // the pending read of the whole buffer
    std::atomic<WORD> faiRunning{0};
    WORD faiAvailWord = 0;
    WORD faiTriggerMode = 0;
    WORD faiPostScans = 0;
    std::atomic<WORD> faiClaimed{0};
    WORD aiPacerDivisor = 0;
};

}  // namespace ktz
