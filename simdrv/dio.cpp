#include "dio.h"

#include "block_access.h"

namespace sim {
namespace {

constexpr WORD kRegPort[kDioPorts] = {40, 41};
constexpr WORD kRegDirection = 42;
constexpr BYTE kInputBit[kDioPorts] = {0x01, 0x10};

}  // namespace

bool DioBlock::IsInput(const Card &card, int port) const {
    return (card.Stored(kRegDirection, 8) & kInputBit[port]) != 0;
}

BYTE DioBlock::Latch(const Card &card, int port) {
    return static_cast<BYTE>(card.Stored(kRegPort[port], 8));
}

BYTE DioBlock::PortValue(const Card &card, int port) const {
    return IsInput(card, port) ? lines_[port] : Latch(card, port);
}

bool DioBlock::Read(Card &card, WORD offset, int width, WORD &value) {
    if (offset == kRegPort[0]) {
        value = PortValue(card, 0);
        if (width == 16) value = static_cast<WORD>(value | PortValue(card, 1) << 8);
        return true;
    }
    if (offset == kRegPort[1] && width == 8) {
        value = PortValue(card, 1);
        return true;
    }
    return false;
}

}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimSetDigitalInput(int card, unsigned port, unsigned lines) {
    if (port >= kDioPorts) return ERROR_INVALID_PARAMETER;
    bool ok = WithBlock<DioBlock>(card, [&](Card &, DioBlock &dio) {
        dio.SetLines(static_cast<int>(port), static_cast<BYTE>(lines));
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimGetDigitalOutput(int card, unsigned port, unsigned *latch) {
    if (!latch || port >= kDioPorts) return ERROR_INVALID_PARAMETER;
    bool ok = WithBlock<DioBlock>(card, [&](Card &c, DioBlock &) {
        *latch = DioBlock::Latch(c, static_cast<int>(port));
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

}  // extern "C"
