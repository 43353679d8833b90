#include "dac.h"

#include "block_access.h"

namespace sim {
namespace {

constexpr WORD kRegControl = 10;
constexpr WORD kRegCode[kDacChannels] = {12, 14};

constexpr WORD kControlRange10V = 0x1;
constexpr WORD kControlExternal = 0x2;
constexpr WORD kControlBipolar = 0x4;

}  // namespace

double DacBlock::CodeToVolts(WORD code, WORD control, int channel, double externalReference) {
    WORD bits = static_cast<WORD>(control >> (4 * channel));
    double reference = (bits & kControlExternal) ? externalReference
                       : (bits & kControlRange10V) ? 10.0
                                                   : 5.0;
    double fraction = static_cast<double>(code & 0x0FFF) / 4096.0;  // a 12-bit converter
    if (bits & kControlBipolar) return fraction * 2.0 * reference - reference;
    return fraction * reference;
}

double DacBlock::Volts(const Card &card, int channel) const {
    return CodeToVolts(card.Stored(kRegCode[channel], 16), card.Stored(kRegControl, 16), channel,
                       externalReference_);
}

void DacBlock::SetCode(Card &card, int channel, WORD code) {
    card.Store(kRegCode[channel], 16, code);
}

}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimGetAnalogOutput(int card, unsigned channel, double *volts) {
    if (!volts || channel >= kDacChannels) return ERROR_INVALID_PARAMETER;
    bool ok = WithBlock<DacBlock>(card, [&](Card &c, DacBlock &dac) {
        *volts = dac.Volts(c, static_cast<int>(channel));
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetExternalReference(int card, double volts) {
    bool ok = WithBlock<DacBlock>(card, [&](Card &, DacBlock &dac) {
        dac.SetExternalReference(volts);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

}  // extern "C"
