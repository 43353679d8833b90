// Samples out of the acquisition buffer, as raw words or volts, in time
// order around the trigger marker for a stopped about-trigger acquisition;
// and the position of that marker.
#include <ktz3649.h>

#include <cstring>

#include "core/device.h"
#include "core/result.h"
#include "fai/fai.h"

namespace ktz::fai {
namespace {

// Whether sample i (at least 1) is the first after a clear-to-set change of
// the trigger marker.
bool MarkerStartsAt(const WORD *buffer, DWORD i) {
    return !(buffer[i - 1] & kFaiTriggerMarker) && (buffer[i] & kFaiTriggerMarker);
}

// Sample i of the transfer's source is buffer word (base + i) mod N: base
// is 0, or for a reordered buffer the place where time order starts. Calls
// copy(source, output offset, first position, length) for each run of
// contiguous buffer words, at most two.
template <class Copy>
void ForEachRun(const FaiState &fai, DWORD base, DWORD start, DWORD count, Copy copy) {
    const DWORD n = fai.faiCount, end = start + count, wrap = n - base;
    if (start < wrap) {
        DWORD stop = end < wrap ? end : wrap;
        copy(fai.faiBuffer + base + start, 0, start, stop - start);
    }
    if (end > wrap) {
        DWORD first = start > wrap ? start : wrap;
        copy(fai.faiBuffer + (first - wrap), first - start, first, end - first);
    }
}

// Where time order starts in a stopped about-trigger buffer: the M samples
// from the marker on come last. More post-trigger samples than the buffer
// holds count as a buffer that is all post-trigger (the marker first).
DWORD ReorderBase(const FaiState &fai) {
    const DWORD n = fai.faiCount;
    DWORD marker = FirstMarker(fai.faiBuffer, n);
    DWORD post = DWORD{fai.faiPostScans} * fai.faiScanLength;
    if (post > n) post = n;
    return (marker + post) % n;
}

// The scan entries' scaling laid out per sample position: position j holds
// that of entry j mod the scan length, over a period that is a whole number
// of scans and of blocks, plus one block so that a block never wraps.
struct Pattern {
    static constexpr DWORD kMaxPeriod = 240;  // lcm(15, 16)
    DWORD entries = 0, period = 0;
    INT offsets[kMaxPeriod + kBlock];
    FLOAT steps[kMaxPeriod + kBlock];
    const Scale *scales[kMaxScanLength];
};

DWORD Lcm(DWORD a, DWORD b) {
    DWORD x = a, y = b;
    while (y) {
        DWORD r = x % y;
        x = y;
        y = r;
    }
    return a / x * b;
}

// Volts of `length` contiguous samples, the first at scan position `first`.
void ScaleRun(const WORD *source, FLOAT *out, DWORD length, DWORD first, const Pattern &p) {
    DWORD q = first % p.entries;
    for (; length >= kBlock; length -= kBlock) {
        ScaleBlock(source, out, p.offsets + q, p.steps + q);
        source += kBlock;
        out += kBlock;
        q += kBlock;
        if (q >= p.period) q -= p.period;
    }
    for (DWORD j = 0; j < length; ++j)
        out[j] = p.scales[(q + j) % p.entries]->volts[source[j] & kFaiCodeMask];
}

// The same from the tables alone, for a range the computation does not match.
void LookUpRun(const WORD *source, FLOAT *out, DWORD length, DWORD first, const Pattern &p) {
    for (DWORD j = 0, entry = first % p.entries; j < length; ++j) {
        out[j] = p.scales[entry]->volts[source[j] & kFaiCodeMask];
        if (++entry == p.entries) entry = 0;
    }
}

}  // namespace

DWORD Transfer(const DeviceRecord &device, void *destination, WORD dataType, DWORD start,
               DWORD count) {
    const FaiState &fai = device.fai;
    const DWORD n = fai.faiCount;
    if (start >= n || count > n || count > n - start || count == 0)
        return DeviceError(device, KtzErrInvalidCount);
    if (!destination) return DeviceError(device, KtzErrInvalidParameter);

    DWORD base = 0;
    if (fai.faiTriggerMode == kFaiAboutTrigger && dataType == 1 && !fai.faiClaimed)
        base = ReorderBase(fai);

    if (dataType == 0) {
        auto *out = static_cast<WORD *>(destination);
        ForEachRun(fai, base, start, count, [&](const WORD *source, DWORD at, DWORD, DWORD length) {
            std::memcpy(out + at, source, length * sizeof(WORD));
        });
        return kSuccess;
    }

    // Sample i is scaled with the gain of scan entry i mod the scan length
    // (gain code 0 for every sample without a scan length).
    Pattern p;
    p.entries = fai.faiScanLength ? fai.faiScanLength : 1;
    p.period = Lcm(p.entries, kBlock);
    bool exact = true;
    for (DWORD entry = 0; entry < p.entries; ++entry) {
        WORD gain = fai.faiScanLength ? fai.faiGains[entry] : 0;
        p.scales[entry] = ScaleOf(device, gain);
        // Only the entries the range reaches need a scaling.
        DWORD distance = (entry + p.entries - start % p.entries) % p.entries;
        bool used = count >= p.entries || distance < count;
        if (!p.scales[entry] && used) return DeviceError(device, KtzErrInvalidGain);
        exact = exact && (!p.scales[entry] || p.scales[entry]->exact);
    }
    for (DWORD j = 0; j < p.period + kBlock; ++j) {
        const Scale *scale = p.scales[j % p.entries];
        p.offsets[j] = scale ? scale->offset : 0;
        p.steps[j] = scale ? scale->step : 0.0f;
    }
    auto *out = static_cast<FLOAT *>(destination);
    ForEachRun(fai, base, start, count, [&](const WORD *source, DWORD at, DWORD first,
                                           DWORD length) {
        (exact ? ScaleRun : LookUpRun)(source, out + at, length, first, p);
    });
    return kSuccess;
}

DWORD FirstMarker(const WORD *buffer, DWORD count) {
    for (DWORD i = 1; i < count; ++i)
        if (MarkerStartsAt(buffer, i)) return i;
    return 0;
}

DWORD FindTrigger(const DeviceRecord &device, DWORD *triggerIndex) {
    if (!triggerIndex) return DeviceError(device, KtzErrInvalidParameter);
    const FaiState &fai = device.fai;
    if (fai.faiTriggerMode != kFaiAboutTrigger) return kSuccess;
    // The last clear-to-set change of the marker wins.
    for (DWORD i = fai.faiCount; i-- > 1;) {
        if (MarkerStartsAt(fai.faiBuffer, i)) {
            *triggerIndex = i;
            break;
        }
    }
    return kSuccess;
}

}  // namespace ktz::fai

using namespace ktz;

extern "C" {

DWORD WINAPI FAITransfer(KTZHANDLE handle, WORD, LPVOID destination, WORD dataType,
                         DWORD startIndex, DWORD count, DWORD) {
    DeviceUse device(handle);
    return device ? fai::Transfer(*device, destination, dataType, startIndex, count)
                  : device.Refusal();
}

DWORD WINAPI FAIWatchdogCheck(KTZHANDLE handle, WORD, DWORD, DWORD, DWORD, DWORD *triggerIndex,
                              DWORD) {
    DeviceUse device(handle);
    return device ? fai::FindTrigger(*device, triggerIndex) : device.Refusal();
}

}  // extern "C"
