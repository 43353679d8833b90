// The A/D converter of the card: a range queue entry per channel, the
// multiplexer with its start and stop channel and automatic stepping, the
// software and external triggers, a conversion time in virtual time, the
// status and the result registers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "card.h"

namespace sim {

constexpr int kAdcChannels = 16;

// Range byte: bits 0 to 4 the gain code, bit 5 a differential pair.
constexpr BYTE kRangeGainMask = 0x1F;
constexpr BYTE kRangeDifferential = 0x20;

class AdcBlock : public CardBlock {
public:
    AdcBlock();

    bool Read(Card &card, WORD offset, int width, WORD &value) override;
    bool Write(Card &card, WORD offset, int width, WORD value) override;

    // The converter model, for the acquisition engines as well (card lock held).

    // The voltage at input channel c (0 to 15) at virtual time t (ns).
    double InputVoltage(int channel, uint64_t t) const;
    // What the converter sees on channel c with a range byte: the input, or
    // for a differential range channel 2k minus channel 2k+1 of c's pair.
    double MeasuredVoltage(int channel, BYTE range, uint64_t t) const;
    // The 12-bit code of a voltage for a range byte: bipolar ranges from
    // 2048 at 0 V, unipolar from 0, rounded, clipped at 0 and 4095.
    static WORD CodeOf(double volts, BYTE range);
    // The code that a conversion of channel c with range `range` at t gives.
    WORD Sample(int channel, BYTE range, uint64_t t) const;
    // Full scale (volts) of a range byte and whether it is bipolar.
    static double FullScale(BYTE range, bool *bipolar);

    // The range queue entry of a channel, as register 2 last programmed it.
    BYTE RangeOf(int channel) const { return range_[channel & 0xF]; }
    int StartChannel() const { return start_; }
    int StopChannel() const { return stop_; }
    int CurrentChannel() const { return current_; }
    // The channel after c in the scan: past a differential pair's odd
    // channel, and from the stop channel back to the start channel.
    int NextChannel(int channel) const;

    // Lab controls.
    void SetSignal(int channel, const KtzSimSignal &signal) { signals_[channel] = signal; }
    void SetConversionTime(uint64_t ns) { conversionTime_ = ns; }
    void SetNeverFinishes(bool never) { neverFinishes_ = never; }
    // `count` trigger pulses (< 0: without end), one every `period` ns from `now` on.
    void SetTriggerPulses(Card &card, uint64_t now, uint64_t period, long long count);
    void FireTrigger(Card &card, uint64_t now);

private:
    void Update(Card &card, uint64_t now);
    void Start(uint64_t t);
    void Complete(Card &card);
    void Pulse(uint64_t t);
    bool Armed() const;

    KtzSimSignal signals_[kAdcChannels] = {};
    BYTE range_[kAdcChannels] = {};
    int start_ = 0;
    int stop_ = 0;
    int current_ = 0;
    BYTE control_ = 0;

    uint64_t conversionTime_;
    bool neverFinishes_ = false;
    bool converting_ = false;
    bool waiting_ = false;  // a result waits to be read
    uint64_t readyAt_ = 0;
    WORD pending_ = 0;  // the register value of the conversion under way
    WORD data_ = 0;     // the result register

    uint64_t pulseAt_ = 0;
    uint64_t pulsePeriod_ = 1;
    long long pulsesLeft_ = 0;
};

}  // namespace sim
