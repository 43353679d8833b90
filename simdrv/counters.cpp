#include "counters.h"

#include <algorithm>
#include <cmath>

#include "block_access.h"
#include "lab.h"

namespace sim {
namespace {

// Register offsets.
constexpr WORD kFirstRegister = 24;  // data of counter 0
constexpr WORD kControl = 30;
constexpr WORD kFirstSetting = 32;
constexpr WORD kSelector = 38;
constexpr WORD kLastRegister = 39;

// Bits of a gate and clock setting.
constexpr WORD kClockMask = 0x03;
constexpr WORD kClockInternal = 0x01;
constexpr WORD kClockInput = 0x02;
constexpr WORD kClear = 0x08;
constexpr int kSourceShift = 4;
constexpr WORD kSourceMask = 0x03;
constexpr WORD kSourceLowerOutput = 1;
constexpr WORD kSourceGateLine = 2;
constexpr WORD kSourcePhase = 3;
constexpr WORD kInvert = 0x40;
constexpr WORD kHeldOpen = 0x80;
constexpr WORD kArm = 0x100;
// Status bits.
constexpr WORD kStatusGateOpen = 0x100;
constexpr WORD kStatusOutput = 0x200;
constexpr WORD kStatusOpened = 0x400;
constexpr WORD kStatusPhase = 0x800;

// Tick periods of the clocks of register 38: 10 MHz, 1 MHz, 100 kHz, 10 kHz.
constexpr uint64_t kTickPs[4] = {100'000, 1'000'000, 10'000'000, 100'000'000};

constexpr uint64_t kPsPerNs = 1000;

WORD Source(BYTE setting) { return setting >> kSourceShift & kSourceMask; }

}  // namespace

bool PulseSignal::Level(uint64_t t) const {
    if (!Periodic()) return high != 0;
    if (t < start + low) return false;
    return (t - start - low) % Period() < high;
}

uint64_t PulseSignal::RisingEdgesUntil(uint64_t t) const {
    if (!Periodic() || t < start + low) return 0;
    return (t - start - low) / Period() + 1;
}

uint64_t PulseSignal::NextEdge(uint64_t t, bool rising) const {
    if (!Periodic()) return kNever;
    uint64_t first = start + low + (rising ? 0 : high);
    if (t < first) return first;
    return first + ((t - first) / Period() + 1) * Period();
}

CounterBlock::CounterBlock(uint64_t nowNs) : now_(nowNs * kPsPerNs) {}

void CounterBlock::Sync() {
    uint64_t t = Lab::Get().Now() * kPsPerNs;
    if (t > now_) AdvanceTo(t);
}

void CounterBlock::AdvanceTo(uint64_t target) {
    while (now_ < target) {
        // Run to the next change of a gate source (at most to the target):
        // in between, every counter sees a constant gate.
        uint64_t events[kCounters];
        uint64_t next = target;
        for (int c = 0; c < kCounters; ++c) {
            events[c] = NextGateEvent(c);
            next = std::min(next, events[c]);
        }
        for (int c = 0; c < kCounters; ++c)
            channels_[c].counter.Clock(ClockEdges(c, now_, next));
        now_ = next;
        for (int c = 0; c < kCounters; ++c) {
            Channel &ch = channels_[c];
            if (events[c] != now_ || Source(ch.setting) != kSourcePhase) continue;
            if (ch.phase == Phase::Waiting)
                ch.phase = Phase::Timing;
            else if (ch.phase == Phase::Timing)
                ch.phase = Phase::Idle;
        }
        Settle();
    }
}

void CounterBlock::Settle() {
    for (int c = 0; c < kCounters; ++c) {
        Channel &ch = channels_[c];
        bool level = GateLevel(c);
        if (level == ch.counter.Gate()) continue;
        ch.counter.SetGate(level);
        if (level) ch.opened = true;
    }
}

bool CounterBlock::GateLevel(int c) const {
    const Channel &ch = channels_[c];
    if (ch.setting & kHeldOpen) return true;
    bool invert = (ch.setting & kInvert) != 0;
    switch (Source(ch.setting)) {
    case kSourceLowerOutput: return c > 0 && channels_[c - 1].counter.Out() != invert;
    case kSourceGateLine: return ch.gateLine != invert;
    case kSourcePhase: return ch.phase == Phase::Timing;
    default: return false;
    }
}

uint64_t CounterBlock::NextGateEvent(int c) const {
    const Channel &ch = channels_[c];
    if (ch.setting & kHeldOpen) return kNever;
    switch (Source(ch.setting)) {
    case kSourceLowerOutput: {
        if (c == 0) return kNever;
        uint64_t edges = channels_[c - 1].counter.EdgesToOutputChange();
        return edges ? EdgeTime(c - 1, now_, edges) : kNever;
    }
    case kSourcePhase: {
        // The pulse-width input is counter 2's input; the high phase begins
        // with a rising edge, the low phase with a falling one.
        bool high = !(ch.setting & kInvert);
        const PulseSignal &input = channels_[kCounters - 1].input;
        if (ch.phase == Phase::Waiting) return input.NextEdge(now_, high);
        if (ch.phase == Phase::Timing) return input.NextEdge(now_, !high);
        return kNever;
    }
    default: return kNever;
    }
}

uint64_t CounterBlock::ClockEdges(int c, uint64_t from, uint64_t to) const {
    const Channel &ch = channels_[c];
    switch (ch.setting & kClockMask) {
    case kClockInternal: {
        uint64_t tick = kTickPs[selector_ & 3];
        return to / tick - from / tick;
    }
    case kClockInput: return ch.input.RisingEdgesUntil(to) - ch.input.RisingEdgesUntil(from);
    default: return 0;
    }
}

uint64_t CounterBlock::EdgeTime(int c, uint64_t t, uint64_t k) const {
    uint64_t first, period;
    switch (channels_[c].setting & kClockMask) {
    case kClockInternal:
        period = kTickPs[selector_ & 3];
        first = (t / period + 1) * period;
        break;
    case kClockInput:
        period = channels_[c].input.Period();
        first = channels_[c].input.NextEdge(t, true);
        break;
    default: return kNever;
    }
    if (first == kNever || (k - 1) > (kNever - first) / period) return kNever;
    return first + (k - 1) * period;
}

uint64_t CounterBlock::ClockPeriod(int c) const {
    const Channel &ch = channels_[c];
    switch (ch.setting & kClockMask) {
    case kClockInternal: return kTickPs[selector_ & 3];
    case kClockInput: return ch.input.Periodic() ? ch.input.Period() : 0;
    default: return 0;
    }
}

WORD CounterBlock::Status(int c) const {
    const Channel &ch = channels_[c];
    WORD status = ch.setting;
    if (ch.counter.Gate()) status |= kStatusGateOpen;
    if (ch.counter.Out()) status |= kStatusOutput;
    if (ch.opened) status |= kStatusOpened;
    if (ch.phase != Phase::Idle) status |= kStatusPhase;
    return status;
}

void CounterBlock::WriteSetting(int c, WORD value) {
    Channel &ch = channels_[c];
    ch.setting = static_cast<BYTE>(value);
    if (value & kClear) {
        ch.opened = false;
        ch.phase = Phase::Idle;
    }
    if (Source(ch.setting) != kSourcePhase || (ch.setting & kHeldOpen))
        ch.phase = Phase::Idle;
    else if (value & kArm)
        ch.phase = Phase::Armed;
    else if (ch.phase == Phase::Armed)
        ch.phase = Phase::Waiting;
}

void CounterBlock::WriteControl(BYTE word) {
    int c = word >> 6;
    if (c == 3) return;  // the read-back command is not modelled
    if ((word & 0x30) == 0)
        channels_[c].counter.Latch();
    else
        channels_[c].counter.Control(word);
}

bool CounterBlock::Read(Card &, WORD offset, int width, WORD &value) {
    if (offset < kFirstRegister || offset > kLastRegister) return false;
    bool high = offset & 1;
    WORD base = offset & ~1;
    if (base >= kFirstSetting && base < kSelector) Lab::Get().Advance(pollCost_);
    Sync();
    if (base < kControl) {
        value = high ? 0 : channels_[(base - kFirstRegister) / 2].counter.ReadData();
        return true;
    }
    WORD word = 0;
    if (base == kSelector)
        word = selector_;
    else if (base >= kFirstSetting)
        word = Status((base - kFirstSetting) / 2);
    value = high ? word >> 8 : width == 8 ? word & 0xFF : word;
    return true;
}

bool CounterBlock::Write(Card &, WORD offset, int width, WORD value) {
    if (offset < kFirstRegister || offset > kLastRegister) return false;
    bool high = offset & 1;
    WORD base = offset & ~1;
    BYTE low = static_cast<BYTE>(value);
    Sync();
    if (base < kControl) {
        // One byte for the counter in the low byte of the access.
        if (!high) channels_[(base - kFirstRegister) / 2].counter.WriteData(low);
    } else if (base == kControl) {
        if (!high) WriteControl(low);
    } else if (base == kSelector) {
        if (high)
            selector_ = static_cast<WORD>((selector_ & 0xFF) | low << 8);
        else
            selector_ = width == 8 ? static_cast<WORD>((selector_ & 0xFF00) | low) : value;
    } else {
        int c = (base - kFirstSetting) / 2;
        // A byte written to the odd address carries the command bits only.
        if (high)
            WriteSetting(c, static_cast<WORD>(channels_[c].setting | low << 8));
        else
            WriteSetting(c, width == 8 ? low : value);
    }
    Settle();
    return true;
}

void CounterBlock::SetInput(int c, uint64_t highPs, uint64_t lowPs) {
    Sync();
    channels_[c].input = PulseSignal{now_, lowPs, highPs};
}

void CounterBlock::InjectPulses(int c, uint64_t count) {
    Sync();
    Channel &ch = channels_[c];
    if ((ch.setting & kClockMask) == kClockInput) ch.counter.Clock(count);
    Settle();
}

void CounterBlock::SetGateLine(int c, bool level) {
    Sync();
    channels_[c].gateLine = level;
    Settle();
}

KtzSimCounterOutput CounterBlock::Output(int c) {
    Sync();
    const Counter8254 &counter = channels_[c].counter;
    KtzSimCounterOutput out{};
    out.level = counter.Out() ? 1 : 0;
    out.mode = counter.Mode();
    out.count = counter.Count();
    double tickNs = static_cast<double>(ClockPeriod(c)) / kPsPerNs;
    out.periodNs = counter.PeriodEdges() * tickNs;
    out.highNs = counter.HighEdges() * tickNs;
    return out;
}

}  // namespace sim

using namespace sim;

namespace {

// Runs `action` on a counter of a card under the card's lock; 0, or
// ERROR_INVALID_PARAMETER for a card or counter that does not exist.
template <class Action>
int OnCounter(int card, unsigned counter, Action action) {
    if (counter >= static_cast<unsigned>(CounterBlock::kCounters)) return ERROR_INVALID_PARAMETER;
    bool found = WithBlock<CounterBlock>(
        card, [&](Card &, CounterBlock &block) { action(block, static_cast<int>(counter)); });
    return found ? 0 : ERROR_INVALID_PARAMETER;
}

}  // namespace

extern "C" {

int KtzSimSetCounterRate(int card, unsigned counter, double hertz) {
    if (!(hertz >= 0) || std::isinf(hertz)) return ERROR_INVALID_PARAMETER;
    // Whole picoseconds per period, at least two for the two phases.
    double periodPs = hertz > 0 ? std::round(1e12 / hertz) : 0;
    if (hertz > 0 && (periodPs < 2 || periodPs > 1e18)) return ERROR_INVALID_PARAMETER;
    uint64_t period = static_cast<uint64_t>(periodPs), high = period / 2;
    return OnCounter(card, counter,
                     [&](CounterBlock &b, int c) { b.SetInput(c, high, period - high); });
}

int KtzSimSetCounterPulseTrain(int card, unsigned counter, unsigned long long highNs,
                               unsigned long long lowNs) {
    constexpr unsigned long long kLimit = UINT64_MAX / kPsPerNs / 4;
    if (highNs > kLimit || lowNs > kLimit) return ERROR_INVALID_PARAMETER;
    return OnCounter(card, counter, [&](CounterBlock &b, int c) {
        b.SetInput(c, highNs * kPsPerNs, lowNs * kPsPerNs);
    });
}

int KtzSimInjectCounterPulses(int card, unsigned counter, unsigned long long count) {
    return OnCounter(card, counter, [&](CounterBlock &b, int c) { b.InjectPulses(c, count); });
}

int KtzSimSetCounterGate(int card, unsigned counter, int level) {
    return OnCounter(card, counter, [&](CounterBlock &b, int c) { b.SetGateLine(c, level != 0); });
}

int KtzSimGetCounterOutput(int card, unsigned counter, KtzSimCounterOutput *output) {
    if (!output) return ERROR_INVALID_PARAMETER;
    return OnCounter(card, counter, [&](CounterBlock &b, int c) { *output = b.Output(c); });
}

int KtzSimSetCounterPollCost(int card, unsigned long long nanoseconds) {
    return OnCounter(card, 0, [&](CounterBlock &b, int) { b.SetPollCost(nanoseconds); });
}

}  // extern "C"
