#include "output.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "block_access.h"
#include "dac.h"
#include "driver.h"

namespace sim {
namespace {

constexpr WORD kRegStatus = 8;
constexpr WORD kRegControl = 10;
constexpr WORD kRegFifo = 48;

// Register 8: the write bit that empties the FIFO, the bits that report it.
constexpr WORD kFifoReset = 0x0800;
constexpr WORD kFifoRanEmpty = 0x1000;
constexpr WORD kFifoHalfFull = 0x2000;
constexpr WORD kFifoFull = 0x4000;
constexpr WORD kFifoBits = kFifoRanEmpty | kFifoHalfFull | kFifoFull;

// Register 10: the waveform path.
constexpr WORD kRangeBits = 0x0077;  // both channels' range and reference bits
constexpr WORD kPathChannel0 = 0x0100;
constexpr WORD kPathChannel1 = 0x0200;
constexpr WORD kPathBits = kPathChannel0 | kPathChannel1;
constexpr WORD kExternalClock = 0x0800;
constexpr WORD kPlay = 0x8000;

constexpr double kPacerTickNs = 100.0;  // 10 MHz
constexpr unsigned kCountsOf0 = 65536;

// Statuses of the driver's replies (numbers the library knows).
constexpr DWORD kStatusNoMemory = 1;
constexpr DWORD kStatusChannel = 7;
constexpr DWORD kStatusNoBuffer = 33;
constexpr DWORD kStatusCount = 34;
constexpr DWORD kStatusBusy = 43;

constexpr DWORD kDefaultDmaLimit = 64u << 20;
constexpr DWORD kAddressBase = 0x0C000000;

// Event slots of the output.
constexpr int kSlotInterrupt = 4;
constexpr int kSlotBufferChange = 5;
constexpr int kSlotEnded = 6;
constexpr int kSlotUnderrun = 7;
constexpr int kSlotLowHalf = 8;
constexpr int kSlotHighHalf = 9;

constexpr auto kStep = std::chrono::milliseconds(1);

// Whether a write to the status register carries the FIFO reset (bit 11,
// that is bit 3 of its high byte, register 9).
bool ResetsFifo(WORD offset, int width, WORD value) {
    if (offset == kRegStatus + 1) return value & (kFifoReset >> 8);
    return offset == kRegStatus && width == 16 && (value & kFifoReset);
}

}  // namespace

OutputBlock::OutputBlock(Card &card)
    : card_(card), fifo_(kLargeOutputFifo), lastReal_(Clock::now()), dmaLimit_(kDefaultDmaLimit) {}

OutputBlock::~OutputBlock() {
    {
        std::lock_guard lock(card_.Lock());
        quit_ = true;
        Complete(ERROR_OPERATION_ABORTED);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool OutputBlock::Read(Card &, WORD offset, int width, WORD &) {
    if (Covers(offset, width, kRegStatus) || Covers(offset, width, kRegStatus + 1)) Advance();
    return false;
}

bool OutputBlock::Write(Card &card, WORD offset, int width, WORD value) {
    if (offset == kRegFifo) {
        Advance();
        if (level_ < capacity_) Push(value);
        UpdateStatusBits();
        return true;
    }
    if (Covers(offset, width, kRegStatus) || Covers(offset, width, kRegStatus + 1)) {
        Advance();
        card.Store(offset, width, value);
        if (ResetsFifo(offset, width, value)) {
            head_ = level_ = 0;
            ranEmpty_ = false;
        }
        UpdateStatusBits();
        return true;
    }
    return false;
}

// ---- the card ------------------------------------------------------------------

void OutputBlock::Push(WORD code) {
    fifo_[(head_ + level_) % capacity_] = code;
    ++level_;
    ranEmpty_ = false;
    underrunSignalled_ = false;
}

WORD OutputBlock::Pop() {
    WORD code = fifo_[head_];
    head_ = (head_ + 1) % capacity_;
    if (--level_ == 0) ranEmpty_ = true;
    return code;
}

void OutputBlock::UpdateStatusBits() {
    WORD bits = ranEmpty_ ? kFifoRanEmpty : 0;
    if (level_ >= capacity_ / 2) bits |= kFifoHalfFull;
    if (level_ == capacity_) bits |= kFifoFull;
    card_.Store(kRegStatus, 16, static_cast<WORD>((card_.Stored(kRegStatus, 16) & ~kFifoBits) | bits));
}

double OutputBlock::Period(WORD control) const {
    if (control & kExternalClock) return externalHz_ > 0 ? 1e9 / externalHz_ : 0.0;
    return (divisor_ ? divisor_ : kCountsOf0) * kPacerTickNs;
}

void OutputBlock::Play(WORD code, WORD control) {
    int channel;
    switch (control & kPathBits) {
    case kPathChannel0: channel = 0; break;
    case kPathChannel1: channel = 1; break;
    case kPathBits:
        channel = nextChannel_;
        nextChannel_ ^= 1;
        break;
    default: return;  // routed nowhere
    }
    if (!dac_) dac_ = card_.Find<DacBlock>();
    DacBlock::SetCode(card_, channel, code);
    Record &r = record_[channel];
    if (r.volts.empty()) r.volts.assign(kOutputRecordCapacity, 0.0);
    r.volts[r.next] = DacBlock::CodeToVolts(code, control, channel, dac_->ExternalReference());
    r.next = (r.next + 1) % kOutputRecordCapacity;
    ++r.total;
}

// Plays every tick due up to the card's present time, the DMA channel
// refilling the FIFO as it empties.
void OutputBlock::Advance() {
    auto now = Clock::now();
    engineNs_ += std::chrono::duration<double, std::nano>(now - lastReal_).count() *
                 Lab::Get().TimeFactor();
    lastReal_ = now;
    for (;;) {
        Refill();
        WORD control = card_.Stored(kRegControl, 16);
        double period = (control & kPlay) ? Period(control) : 0.0;
        if (period <= 0.0) {
            nextTick_ = engineNs_;  // no clock: the first tick comes when one does
            break;
        }
        if (nextTick_ > engineNs_) break;
        if (level_ == 0) {
            ranEmpty_ = true;
            if (dmaActive_ && !underrunSignalled_) {
                flags_ |= kOutputFlagUnderrun;
                underrunSignalled_ = true;
                Signal(kSlotUnderrun);
            }
            // The ticks that find the FIFO empty play nothing.
            nextTick_ += (std::floor((engineNs_ - nextTick_) / period) + 1) * period;
            break;
        }
        Play(Pop(), control);
        ++played_;
        nextTick_ += period;
    }
    UpdateStatusBits();
}

bool OutputBlock::Busy() const {
    return dmaActive_ || ((card_.Stored(kRegControl, 16) & kPlay) && level_ > 0);
}

void OutputBlock::Run() {
    std::unique_lock lock(card_.Lock());
    while (!quit_) {
        Advance();
        if (Busy())
            wake_.wait_for(lock, kStep);
        else
            wake_.wait(lock);
    }
}

// ---- the DMA channel -------------------------------------------------------------

void OutputBlock::Refill() {
    while (dmaActive_ && !dmaStalled_ && level_ < capacity_) {
        Push(buffer_[dmaPos_++]);
        if (dmaPos_ == count_ / 2) HalfTransferred(false);
        if (dmaPos_ == count_) {
            HalfTransferred(true);
            if (repeat_) {
                dmaPos_ = 0;
            } else {
                // Every sample is in the FIFO: the output has ended for the
                // driver, while the card still plays them.
                dmaActive_ = false;
                Signal(kSlotEnded);
                Complete(ERROR_SUCCESS, true);
            }
        }
    }
}

void OutputBlock::HalfTransferred(bool high) {
    flags_ |= high ? kOutputFlagHighHalf : kOutputFlagLowHalf;
    Signal(kSlotInterrupt);
    Signal(kSlotBufferChange);
    Signal(high ? kSlotHighHalf : kSlotLowHalf);
}

void OutputBlock::Signal(int slot) {
    if (device_) SignalEnabledEvent(*device_, slot);
}

void OutputBlock::Complete(DWORD error, bool finished) {
    if (!pending_) return;
    // The reply stays as the start left it: the library reads it meanwhile.
    if (finished)
        HwCompleteRequest(pending_, error, 0);
    else
        Lab::Get().CompleteEnded(pending_, error, 0);
    pending_ = nullptr;
}

WORD OutputBlock::Availability() const {
    if (forcedAvailability_) return forcedAvailability_;
    return held_ ? 1 : 0;
}

void OutputBlock::Allocate(const OpenFile &file, KtzDmaBufferRequest &request) {
    request.obtainedSize = 0;
    request.address = 0;
    request.status = 0;
    if (allocateStatus_) {
        request.status = allocateStatus_;
        return;
    }
    if (held_) {
        request.status = kStatusBusy;
        return;
    }
    if (request.requestedSize < 2) {
        request.status = kStatusCount;
        return;
    }
    DWORD bytes = std::min(request.requestedSize, dmaLimit_) & ~1u;
    try {
        buffer_.assign(bytes / 2, 0);
    } catch (const std::bad_alloc &) {
        request.status = kStatusNoMemory;
        return;
    }
    held_ = true;
    bufferOwner_ = &file;
    serial_ = (serial_ + 1) & 0xFF;
    request.obtainedSize = bytes;
    request.address = kAddressBase | serial_ << 16;
}

void OutputBlock::Free() {
    if (dmaActive_) Terminate();  // the DMA must not read a freed buffer
    buffer_.clear();
    buffer_.shrink_to_fit();
    held_ = false;
    bufferOwner_ = nullptr;
}

DWORD OutputBlock::Load(DWORD first, DWORD count, const WORD *samples) {
    if (!held_) return ERROR_NOT_READY;
    if (first > buffer_.size() || count > buffer_.size() - first) return ERROR_INVALID_PARAMETER;
    std::memcpy(buffer_.data() + first, samples, count * sizeof(WORD));
    return ERROR_SUCCESS;
}

DWORD OutputBlock::Start(OpenFile &file, HW_REQUEST &request, DWORD &bytes) {
    KtzFaoStartRequest start;
    std::memcpy(&start, request.inBuffer, sizeof start);
    Advance();
    DWORD status = startStatus_;
    if (!status && dmaActive_) status = kStatusBusy;
    if (!status && !held_) status = kStatusNoBuffer;
    if (!status && (start.sampleCount == 0 || start.sampleCount > buffer_.size()))
        status = kStatusCount;
    if (!status && !(start.control & kPathBits)) status = kStatusChannel;
    if (status) {
        start.status = status;
        std::memcpy(request.outBuffer, &start, sizeof start);
        bytes = sizeof start;
        return ERROR_SUCCESS;
    }

    // The start repeats the application's last event setting.
    RecordEventEnable(*file.device, start.eventType, start.eventEnabled);
    owner_ = &file;
    device_ = file.device;
    pending_ = &request;
    count_ = start.sampleCount;
    repeat_ = (start.option & kOptionRepeat) != 0;
    dmaPos_ = 0;
    flags_ = 0;
    played_ = 0;
    divisor_ = start.pacerDivisor;
    nextChannel_ = 0;
    WORD control = static_cast<WORD>((card_.Stored(kRegControl, 16) & kExternalClock) |
                                     (start.control & (kRangeBits | kPathBits)) | kPlay);
    card_.Store(kRegControl, 16, control);
    nextTick_ = engineNs_ + Period(control);
    dmaActive_ = true;
    Advance();  // the DMA fills the FIFO at once
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_all();
    return ERROR_IO_PENDING;
}

void OutputBlock::Stop() {
    Advance();
    dmaActive_ = false;
    card_.Store(kRegControl, 16, static_cast<WORD>(card_.Stored(kRegControl, 16) & ~kPlay));
    Complete(ERROR_OPERATION_ABORTED);
}

void OutputBlock::Terminate() {
    Advance();
    dmaActive_ = false;  // the card plays what its FIFO holds
    Complete(ERROR_OPERATION_ABORTED);
}

KtzFastStatusRecord OutputBlock::Status() {
    Advance();
    KtzFastStatusRecord status{};
    bool playing = (card_.Stored(kRegControl, 16) & kPlay) && level_ > 0;
    status.status1 = static_cast<WORD>((pending_ ? kOutputRunning : 0) |
                                       (playing ? kOutputPlaying : 0));
    status.count = static_cast<DWORD>(played_);
    status.status2 = flags_;
    status.status3 = static_cast<WORD>(level_);
    status.error = statusStatus_;
    return status;
}

bool OutputBlock::ClearFlag(DWORD code) {
    switch (code) {
    case 10245: flags_ &= ~kOutputFlagUnderrun; return true;
    case 10246: flags_ &= ~kOutputFlagHighHalf; return true;
    case 10247: flags_ &= ~kOutputFlagLowHalf; return true;
    default: return false;
    }
}

void OutputBlock::Cleanup(const OpenFile &file) {
    if (owner_ == &file) {
        if (dmaActive_ || pending_) Stop();
        owner_ = nullptr;
        device_ = nullptr;
    }
    if (bufferOwner_ == &file) Free();
}

void OutputBlock::Cancel(const HW_REQUEST &request) {
    if (pending_ == &request) Stop();
}

bool OutputBlock::SetStatusReply(DWORD code, DWORD status) {
    switch (code) {
    case KTZ_IOCTL_DMA_ALLOCATE: allocateStatus_ = status; return true;
    case KTZ_IOCTL_FAO_START: startStatus_ = status; return true;
    case KTZ_IOCTL_FAO_STATUS: statusStatus_ = status; return true;
    default: return false;
    }
}

// ---- lab controls ----------------------------------------------------------------

bool OutputBlock::SetFifoSize(unsigned samples) {
    if (samples != kSmallOutputFifo && samples != kLargeOutputFifo) return false;
    Advance();
    capacity_ = samples;
    head_ = level_ = 0;
    UpdateStatusBits();
    return true;
}

void OutputBlock::ClearRecord() {
    for (auto &r : record_) {
        r.next = 0;
        r.total = 0;
    }
}

size_t OutputBlock::CopyRecord(int channel, double *volts, size_t max,
                               unsigned long long *played) const {
    const Record &r = record_[channel];
    size_t kept = static_cast<size_t>(std::min<unsigned long long>(r.total, kOutputRecordCapacity));
    size_t n = std::min(max, kept);
    for (size_t i = 0; i < n; ++i)
        volts[i] = r.volts[(r.next + kOutputRecordCapacity - n + i) % kOutputRecordCapacity];
    if (played) *played = r.total;
    return n;
}

void OutputBlock::Describe(KtzSimOutputState &state) {
    Advance();
    state.running = pending_ ? 1 : 0;
    state.playing = (card_.Stored(kRegControl, 16) & kPlay) ? 1 : 0;
    state.fifoSize = capacity_;
    state.fifoSamples = level_;
    state.dmaBytes = held_ ? static_cast<unsigned>(buffer_.size() * sizeof(WORD)) : 0;
    state.played = played_;
}

namespace {

// Runs a lab control on a card's output; 0, or ERROR_INVALID_PARAMETER when
// the card has none or the control refuses.
template <class F>
int WithOutput(int card, F f) {
    bool ok = true;
    bool found = WithBlock<OutputBlock>(card, [&](Card &, OutputBlock &output) { ok = f(output); });
    return found && ok ? 0 : ERROR_INVALID_PARAMETER;
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimSetOutputFifoSize(int card, unsigned samples) {
    return WithOutput(card, [&](OutputBlock &o) { return o.SetFifoSize(samples); });
}

int KtzSimSetOutputClock(int card, double hertz) {
    if (!(hertz >= 0.0) || std::isinf(hertz)) return ERROR_INVALID_PARAMETER;
    return WithOutput(card, [&](OutputBlock &o) {
        o.SetExternalClock(hertz);
        return true;
    });
}

int KtzSimSetOutputDmaStalled(int card, int stalled) {
    return WithOutput(card, [&](OutputBlock &o) {
        o.SetDmaStalled(stalled != 0);
        return true;
    });
}

int KtzSimSetDmaAvailability(int card, unsigned word) {
    return WithOutput(card, [&](OutputBlock &o) {
        o.SetAvailabilityWord(static_cast<WORD>(word));
        return true;
    });
}

int KtzSimSetDmaLimit(int card, unsigned bytes) {
    return WithOutput(card, [&](OutputBlock &o) {
        o.SetDmaLimit(bytes);
        return true;
    });
}

int KtzSimSetOutputStatus(int card, unsigned code, unsigned status) {
    return WithOutput(card, [&](OutputBlock &o) { return o.SetStatusReply(code, status); });
}

int KtzSimGetOutputState(int card, KtzSimOutputState *state) {
    if (!state) return ERROR_INVALID_PARAMETER;
    return WithOutput(card, [&](OutputBlock &o) {
        o.Describe(*state);
        return true;
    });
}

int KtzSimGetOutputRecord(int card, unsigned channel, double *volts, size_t max, size_t *copied,
                          unsigned long long *played) {
    if (channel >= kDacChannels || !copied || (max > 0 && !volts)) return ERROR_INVALID_PARAMETER;
    return WithOutput(card, [&](OutputBlock &o) {
        *copied = o.CopyRecord(static_cast<int>(channel), volts, max, played);
        return true;
    });
}

int KtzSimClearOutputRecord(int card) {
    return WithOutput(card, [](OutputBlock &o) {
        o.ClearRecord();
        return true;
    });
}

}  // extern "C"
