// The two D/A outputs of the PCI-3649: register 10 holds each channel's
// control bits (bit 4c: 10 V internal range, 4c+1: external reference,
// 4c+2: bipolar; bit 8+c: the waveform path), registers 12 and 14 the
// codes. The registers are plain storage; the block turns them into volts.
#pragma once

#include <windows.h>

#include "card.h"

namespace sim {

constexpr int kDacChannels = 2;

class DacBlock : public CardBlock {
public:
    bool Read(Card &, WORD, int, WORD &) override { return false; }
    bool Write(Card &, WORD, int, WORD) override { return false; }

    // The voltage of a code (12 bits used) under channel c's bits of the
    // control word, with the given external reference voltage.
    static double CodeToVolts(WORD code, WORD control, int channel, double externalReference);

    // What output channel c drives now (card lock held).
    double Volts(const Card &card, int channel) const;
    // Sets the code of a channel, as a write of its code register does.
    static void SetCode(Card &card, int channel, WORD code);

    double ExternalReference() const { return externalReference_; }
    void SetExternalReference(double volts) { externalReference_ = volts; }

private:
    double externalReference_ = 10.0;
};

}  // namespace sim
