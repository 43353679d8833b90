#include "adc.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "block_access.h"

namespace sim {
namespace {

constexpr WORD kRegData = 0;
constexpr WORD kRegRange = 2;
constexpr WORD kRegScanStart = 4;
constexpr WORD kRegScanStop = 5;
constexpr WORD kRegControl = 6;
constexpr WORD kRegStatus = 8;

constexpr WORD kStatusNoResult = 0x0100;
// Status bits that other blocks keep in the register storage (the output
// FIFO's ran-empty, half-full and full bits).
constexpr WORD kStatusStoredBits = 0x7000;
constexpr BYTE kControlSoftware = 0;
constexpr BYTE kControlExternal = 9;
constexpr uint64_t kDefaultConversionTime = 1000;
constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

// A value in [-1, 1) from a seed and a time, the same for the same pair.
double NoiseAt(unsigned seed, uint64_t t) {
    uint64_t z = (static_cast<uint64_t>(seed) << 32 ^ t) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

}  // namespace

AdcBlock::AdcBlock() : conversionTime_(kDefaultConversionTime) {}

double AdcBlock::InputVoltage(int channel, uint64_t t) const {
    const KtzSimSignal &s = signals_[channel & 0xF];
    double seconds = static_cast<double>(t) * 1e-9;
    switch (s.kind) {
    case KTZSIM_SIGNAL_SINE:
        return s.offset + s.amplitude * std::sin(2 * std::numbers::pi * s.frequency * seconds);
    case KTZSIM_SIGNAL_SQUARE: {
        double cycles = s.frequency * seconds;
        return s.offset + (cycles - std::floor(cycles) < 0.5 ? s.amplitude : -s.amplitude);
    }
    case KTZSIM_SIGNAL_NOISE: return s.offset + s.amplitude * NoiseAt(s.seed, t);
    case KTZSIM_SIGNAL_SAWTOOTH: {
        if (!(s.frequency > 0)) return s.offset - s.amplitude;
        // The phase from whole nanoseconds, exact where the period is.
        double period = 1e9 / s.frequency;
        double phase = std::fmod(static_cast<double>(t), period) / period;
        return s.offset + s.amplitude * (2.0 * phase - 1.0);
    }
    default: return s.offset;
    }
}

double AdcBlock::MeasuredVoltage(int channel, BYTE range, uint64_t t) const {
    if (!(range & kRangeDifferential)) return InputVoltage(channel, t);
    int even = channel & 0xE;
    return InputVoltage(even, t) - InputVoltage(even + 1, t);
}

double AdcBlock::FullScale(BYTE range, bool *bipolar) {
    static constexpr double kBipolar[] = {5.0, 2.5, 1.25, 0.625, 10.0};
    static constexpr double kUnipolar[] = {10.0, 5.0, 2.5, 1.25};
    unsigned gain = range & kRangeGainMask;
    unsigned index = gain & 0x7;
    *bipolar = !(gain & 0x10);
    if (*bipolar) return index < std::size(kBipolar) ? kBipolar[index] : 10.0;
    return index < std::size(kUnipolar) ? kUnipolar[index] : 10.0;
}

WORD AdcBlock::CodeOf(double volts, BYTE range) {
    bool bipolar = false;
    double fullScale = FullScale(range, &bipolar);
    if (std::isnan(volts)) volts = 0.0;
    double counts = bipolar ? volts / fullScale * 2048.0 + 2048.0 : volts / fullScale * 4096.0;
    return static_cast<WORD>(std::clamp(std::floor(counts + 0.5), 0.0, 4095.0));
}

WORD AdcBlock::Sample(int channel, BYTE range, uint64_t t) const {
    return CodeOf(MeasuredVoltage(channel, range, t), range);
}

int AdcBlock::NextChannel(int channel) const {
    int last = channel;
    if ((range_[channel & 0xF] & kRangeDifferential) && !(channel & 1)) last = channel + 1;
    if (channel == stop_ || last == stop_) return start_;
    return (last + 1) % kAdcChannels;
}

bool AdcBlock::Armed() const { return control_ == kControlExternal; }

void AdcBlock::Start(uint64_t t) {
    BYTE range = range_[current_];
    pending_ = static_cast<WORD>(Sample(current_, range, t) | (current_ & 0x7) << 12);
    converting_ = true;
    waiting_ = false;
    readyAt_ = t + conversionTime_;
}

void AdcBlock::Complete(Card &card) {
    converting_ = false;
    waiting_ = true;
    data_ = pending_;
    card.Store(kRegData, 16, data_);
    current_ = NextChannel(current_);
}

void AdcBlock::Pulse(uint64_t t) {
    if (Armed() && !converting_) Start(t);
}

// Plays the conversions that end and the trigger pulses that come up to
// `now`, in time order.
void AdcBlock::Update(Card &card, uint64_t now) {
    for (;;) {
        uint64_t doneAt = converting_ && !neverFinishes_ ? readyAt_ : kNever;
        uint64_t pulseAt = pulsesLeft_ != 0 ? pulseAt_ : kNever;
        if (std::min(doneAt, pulseAt) > now) return;
        if (doneAt <= pulseAt) {
            Complete(card);
            continue;
        }
        uint64_t lost = 1;
        if (Armed() && !converting_) {
            Start(pulseAt);
        } else {
            // Every pulse before the converter can take one again is lost.
            uint64_t until = std::min(doneAt, now + 1);
            lost = std::max<uint64_t>(1, (until - pulseAt + pulsePeriod_ - 1) / pulsePeriod_);
        }
        if (pulsesLeft_ > 0) lost = std::min<uint64_t>(lost, static_cast<uint64_t>(pulsesLeft_));
        pulseAt_ += lost * pulsePeriod_;
        if (pulsesLeft_ > 0) pulsesLeft_ -= static_cast<long long>(lost);
    }
}

void AdcBlock::SetTriggerPulses(Card &card, uint64_t now, uint64_t period, long long count) {
    Update(card, now);
    pulsePeriod_ = std::max<uint64_t>(period, 1);
    pulseAt_ = now + pulsePeriod_;
    pulsesLeft_ = count;
}

void AdcBlock::FireTrigger(Card &card, uint64_t now) {
    Update(card, now);
    Pulse(now);
}

bool AdcBlock::Read(Card &card, WORD offset, int width, WORD &value) {
    if (offset == kRegData || (offset == kRegData + 1 && width == 8)) {
        Update(card, Lab::Get().Now());
        if (offset == kRegData) waiting_ = false;  // the result is taken
        value = offset == kRegData ? data_ : static_cast<WORD>(data_ >> 8);
        if (width == 8) value &= 0xFF;
        return true;
    }
    if (offset == kRegStatus || (offset == kRegStatus + 1 && width == 8)) {
        Update(card, Lab::Get().Now());
        WORD status = static_cast<WORD>((waiting_ ? 0 : kStatusNoResult) |
                                        (card.Stored(kRegStatus, 16) & kStatusStoredBits));
        value = offset == kRegStatus ? status : static_cast<WORD>(status >> 8);
        if (width == 8) value &= 0xFF;
        return true;
    }
    return false;
}

bool AdcBlock::Write(Card &card, WORD offset, int width, WORD value) {
    bool claimed = Covers(offset, width, kRegData) || Covers(offset, width, kRegRange) ||
                   Covers(offset, width, kRegScanStart) || Covers(offset, width, kRegScanStop) ||
                   Covers(offset, width, kRegControl);
    if (!claimed) return false;
    uint64_t now = Lab::Get().Now();
    Update(card, now);
    card.Store(offset, width, value);
    if (Covers(offset, width, kRegControl))
        control_ = static_cast<BYTE>(card.Stored(kRegControl, 8));
    if (Covers(offset, width, kRegScanStop)) stop_ = card.Stored(kRegScanStop, 8) & 0xF;
    // Selecting the start channel puts the multiplexer on it.
    if (Covers(offset, width, kRegScanStart))
        current_ = start_ = card.Stored(kRegScanStart, 8) & 0xF;
    if (Covers(offset, width, kRegRange))
        range_[start_] = static_cast<BYTE>(card.Stored(kRegRange, 8) & 0x3F);
    if (offset == kRegData && control_ == kControlSoftware) Start(now);
    return true;
}

}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimSetSignal(int card, unsigned channel, const KtzSimSignal *signal) {
    if (!signal || channel >= kAdcChannels) return ERROR_INVALID_PARAMETER;
    bool ok = WithBlock<AdcBlock>(card, [&](Card &, AdcBlock &adc) {
        adc.SetSignal(static_cast<int>(channel), *signal);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetInputVoltage(int card, unsigned channel, double volts) {
    KtzSimSignal dc{KTZSIM_SIGNAL_DC, 0.0, volts, 0.0, 0};
    return KtzSimSetSignal(card, channel, &dc);
}

double KtzSimInputVoltage(int card, unsigned channel, unsigned long long time) {
    double volts = 0.0;
    if (channel < kAdcChannels)
        WithBlock<AdcBlock>(card, [&](Card &, AdcBlock &adc) {
            volts = adc.InputVoltage(static_cast<int>(channel), time);
        });
    return volts;
}

int KtzSimSetConversionTime(int card, unsigned nanoseconds) {
    bool ok = WithBlock<AdcBlock>(card, [&](Card &, AdcBlock &adc) {
        adc.SetConversionTime(nanoseconds);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetConverterNeverFinishes(int card, int never) {
    bool ok = WithBlock<AdcBlock>(card, [&](Card &, AdcBlock &adc) {
        adc.SetNeverFinishes(never != 0);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetExternalTrigger(int card, unsigned period, int count) {
    bool ok = WithBlock<AdcBlock>(card, [&](Card &c, AdcBlock &adc) {
        adc.SetTriggerPulses(c, Lab::Get().Now(), period, count);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimFireTrigger(int card) {
    bool ok = WithBlock<AdcBlock>(card, [&](Card &c, AdcBlock &adc) {
        adc.FireTrigger(c, Lab::Get().Now());
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

}  // extern "C"
