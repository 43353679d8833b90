// The fast-input transfer done the literal way: a scratch copy of the whole
// buffer on every call, and per sample a gain lookup and the scaling in
// extended precision. The tests hold FAITransfer to it bit for bit, and the
// benchmark measures against it.
#pragma once

#include <windows.h>

#include <ktz3649.h>

#include <ai/gain.h>
#include <core/device.h>

namespace ktztest {

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
        FLOAT fullScale = 0, offset = 0;
        ktz::AIGainRange(device, gain, &fullScale, &offset);
        AIScale(source[i] & 0x0FFF, fullScale, ktz::kAiMaxCount, static_cast<WORD>(offset),
                &static_cast<FLOAT *>(destination)[k]);
    }
    VirtualFree(scratch, 0, MEM_RELEASE);
}

}  // namespace ktztest
