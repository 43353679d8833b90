// The fast-input transfer done the literal way: a scratch copy of the whole
// buffer on every call, and per sample a gain lookup and the scaling in
// extended precision. The tests hold FAITransfer to it bit for bit, and the
// benchmark measures against it.
#pragma once

#include <windows.h>

#include <ktz3649.h>

#include <core/device.h>

namespace ktztest {

// Full scale and offset of the card's gain codes, written out here as the
// card lists them (0 to 4 bipolar, 16 to 19 unipolar; 5 to 8 alias 16 to 19).
struct GainScale {
    float fullScale;
    WORD offset;
};
inline GainScale GainScaleOf(WORD gain) {
    switch (gain) {
    case 0: return {5.0f, 2048};
    case 1: return {2.5f, 2048};
    case 2: return {1.25f, 2048};
    case 3: return {0.625f, 2048};
    case 4: return {10.0f, 2048};
    case 5: case 16: return {10.0f, 0};
    case 6: case 17: return {5.0f, 0};
    case 7: case 18: return {2.5f, 0};
    case 8: case 19: return {1.25f, 0};
    default: return {0.0f, 0};
    }
}

// For a valid range only (start + count <= N, count > 0).
inline void ReferenceTransfer(const ktz::DeviceRecord &device, void *destination, WORD dataType,
                              DWORD start, DWORD count) {
    const ktz::FaiState &fai = device.fai;
    const DWORD n = fai.faiCount;
    auto *scratch =
        static_cast<WORD *>(VirtualAlloc(nullptr, n * sizeof(WORD), MEM_COMMIT, PAGE_READWRITE));
    const WORD *source = fai.faiBuffer;
    if (fai.faiTriggerMode == 3 && dataType == 1 && fai.faiClaimed == 0) {
        DWORD p = 0;
        for (DWORD i = 0; i + 1 < n; ++i) {
            if (!(source[i] & 0x8000) && (source[i + 1] & 0x8000)) {
                p = i + 1;
                break;
            }
        }
        DWORD m = DWORD{fai.faiPostScans} * fai.faiScanLength;
        if (m > n) m = n;  // the bound the library keeps as well
        for (DWORD j = 0; j < n; ++j) {
            WORD v = p + j < n ? source[p + j] : source[p + j - n];
            if (j < m)
                scratch[n - m + j] = v;
            else
                scratch[j - m] = v;
        }
        source = scratch;
    }
    for (DWORD i = start, k = 0; i < start + count; ++i, ++k) {
        if (dataType == 0) {
            static_cast<WORD *>(destination)[k] = source[i];
            continue;
        }
        WORD gain = fai.faiScanLength ? fai.faiGains[i % fai.faiScanLength] : 0;
        GainScale scale = GainScaleOf(gain);
        AIScale(source[i] & 0x0FFF, scale.fullScale, 4095, scale.offset,
                &static_cast<FLOAT *>(destination)[k]);
    }
    VirtualFree(scratch, 0, MEM_RELEASE);
}

}  // namespace ktztest
