#include "stream.h"

#include <algorithm>

namespace stream {
namespace {

constexpr WORD kBufferChangeEvent = 2, kOverrunEvent = 8;
constexpr WORD kLabTrigger = 1, kAboutTrigger = 3;
constexpr DWORD kPostTriggerScans = 2;
constexpr DWORD kMaxSamples = 1024000;
constexpr WORD kStatusEnded = 3;
constexpr DWORD kSuccess = 0;
constexpr DWORD kMaxGuard = 2048;

}  // namespace

Recorder::Recorder(const Setup &setup, Sink &sink) : setup_(setup), sink_(sink) {
    const DWORD entries = std::max<DWORD>(setup.entries, 1);
    half_ = setup.half / entries * entries;
}

Recorder::~Recorder() { Stop(); }

DWORD Recorder::Start() {
    if (half_ == 0 || half_ > kMaxSamples / 2) return KtzErrInvalidCount;
    std::vector<WORD> gains(setup_.entries ? setup_.entries : 1);
    for (size_t e = 0; e < gains.size(); ++e)
        gains[e] = setup_.gains.empty() ? 0 : setup_.gains[std::min(e, setup_.gains.size() - 1)];
    // The card's count trails its writes by up to one transfer block: the
    // event count, which the start takes along. A quarter of a half, at
    // most half the FIFO as the card's own default.
    guard_ = std::clamp<DWORD>(half_ / 4 & ~1u, 2, kMaxGuard);
    DWORD rc = EnableEvent(setup_.handle, kBufferChangeEvent | kOverrunEvent, 1,
                           static_cast<WORD>(guard_));
    if (rc) return rc;
    buffer_ = GlobalAlloc(GHND, 2 * half_ * sizeof(WORD));
    if (!buffer_) return KtzErrNoBuffer;
    block_.resize(half_);
    rc = FAIDmaExStart(setup_.handle, kLabTrigger, kAboutTrigger, setup_.clockSource, 0, 0, 0.0f,
                       0, setup_.entries, setup_.startChannel, kPostTriggerScans, 2 * half_,
                       setup_.rate, gains.data(), 0, 0, buffer_, 0, 0, 0, 0);
    if (rc) {
        FAIStop(setup_.handle);  // a refused start keeps the device claimed
        GlobalFree(buffer_);
        buffer_ = nullptr;
        return rc;
    }
    running_ = true;
    return kSuccess;
}

DWORD Recorder::Poll(DWORD timeoutMs) {
    if (!running_) return kSuccess;
    WORD event = 0;
    DWORD rc = CheckEvent(setup_.handle, &event, timeoutMs);
    return rc ? rc : TakeHalves(false);
}

// The card's count and overrun report: the count widened past 2^32 from
// its differences, each report counted once and cleared.
DWORD Recorder::Look() {
    WORD stopped = 0, status1 = 0, status2 = 0, status3 = 0;
    DWORD count = 0;
    DWORD rc = FAICheck(setup_.handle, &stopped, &status1, &count, &status2, &status3);
    if (rc) return rc;
    const DWORD delta = count - lastCount_;
    // A count that went back (a card that clears it at the stop) adds nothing.
    if (delta < 0x80000000u) {
        totals_.written += delta;
        lastCount_ = count;
    }
    if (status3) {
        ++totals_.overruns;
        rc = ClearOverrun(setup_.handle);
    }
    if (status1 == kStatusEnded) ended_ = true;
    return rc;
}

// Half next_ counts as lost: the card has begun to rewrite it.
bool Recorder::Lose() {
    ++totals_.lostHalves;
    totals_.lost += half_;
    return sink_.Gap(next_++ * half_, half_);
}

// Copies `count` samples of half next_ and tells whether the card left them
// alone while they were copied.
DWORD Recorder::Copy(DWORD count, bool *intact) {
    if (beforeCopy_) beforeCopy_();
    const DWORD at = static_cast<DWORD>(next_ % 2) * half_;
    DWORD rc = FAITransfer(setup_.handle, 0, block_.data(), 0, at, count, 0);
    if (!rc) rc = Look();
    *intact = Intact();
    return rc;
}

// Whether half next_ is still as the card wrote it: the card, perhaps one
// block past its count (not once it stopped), has not begun to rewrite it.
bool Recorder::Intact() const {
    return totals_.written + (running_ ? guard_ : 0) <= (next_ + 2) * half_;
}

DWORD Recorder::TakeHalves(bool stopped) {
    DWORD rc = Look();
    // The halves complete now; those completed while they are taken wait
    // for the next look, so that a reader slower than the card still returns.
    const uint64_t complete = totals_.written / half_;
    while (!rc && !ended_ && next_ < complete) {
        bool intact = Intact();
        if (intact) rc = Copy(half_, &intact);
        if (rc) break;
        if (!intact) {
            if (!Lose()) ended_ = true;
            continue;
        }
        if (!sink_.Data(next_ * half_, block_.data(), half_)) {
            ended_ = true;  // nothing more goes anywhere, and nothing is counted as taken
            break;
        }
        ++next_;
        ++totals_.halves;
        totals_.samples += half_;
    }
    if (rc || !stopped || ended_) return rc;
    // After the stop the buffer stays as it is: the half in progress, up to
    // the card's last sample, unless the card has already passed it.
    const DWORD part = static_cast<DWORD>(totals_.written - next_ * half_);
    if (part == 0 || part >= half_) return kSuccess;
    bool intact = true;
    rc = Copy(part, &intact);
    if (!rc && intact && sink_.Data(next_ * half_, block_.data(), part)) totals_.samples += part;
    return rc;
}

DWORD Recorder::Stop() {
    if (!running_) return kSuccess;
    running_ = false;
    DWORD rc = FAIStop(setup_.handle);
    if (!rc) rc = TakeHalves(true);
    GlobalFree(buffer_);
    buffer_ = nullptr;
    return rc;
}

DWORD Recorder::Pending() const {
    const uint64_t filled = totals_.written > next_ * half_ ? totals_.written - next_ * half_ : 0;
    return static_cast<DWORD>(std::min<uint64_t>(filled, half_));
}

}  // namespace stream
