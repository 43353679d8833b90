#include "card.h"

#include "acquisition.h"
#include "adc.h"
#include "counters.h"
#include "dac.h"
#include "dio.h"
#include "lab.h"
#include "output.h"

namespace sim {

Card::Card(const KtzSimCard &info) : info_(info) {
    // The card's functions join here as blocks.
    // The acquisition engine first: blocks go in order, and its engine
    // stops before the converter it samples goes (it claims no register).
    AddBlock(std::make_unique<AcquisitionBlock>(*this));
    // The output FIFO first: it brings itself up to date on status reads,
    // which the converter then answers.
    if (info.boardId == KTZSIM_PCI3649) AddBlock(std::make_unique<OutputBlock>(*this));
    AddBlock(std::make_unique<AdcBlock>());
    if (info.boardId == KTZSIM_PCI3649) AddBlock(std::make_unique<DacBlock>());
    AddBlock(std::make_unique<DioBlock>());
    AddBlock(std::make_unique<CounterBlock>(Lab::Get().Now()));
}

Card::~Card() = default;

WORD Card::Stored(WORD offset, int width) const {
    if (offset >= kRegisterWindow) return width == 8 ? 0xFF : 0xFFFF;
    WORD low = registers_[offset];
    if (width == 8) return low;
    WORD high = offset + 1 < kRegisterWindow ? registers_[offset + 1] : 0xFF;
    return static_cast<WORD>(low | (high << 8));
}

void Card::Store(WORD offset, int width, WORD value) {
    if (offset >= kRegisterWindow) return;
    registers_[offset] = static_cast<BYTE>(value);
    if (width == 16 && offset + 1 < kRegisterWindow)
        registers_[offset + 1] = static_cast<BYTE>(value >> 8);
}

WORD Card::Read(WORD offset, int width) {
    std::lock_guard lock(mutex_);
    WORD value = 0;
    for (auto &block : blocks_)
        if (block->Read(*this, offset, width, value)) return value;
    return Stored(offset, width);
}

void Card::Write(WORD offset, int width, WORD value) {
    std::lock_guard lock(mutex_);
    for (auto &block : blocks_)
        if (block->Write(*this, offset, width, value)) return;
    Store(offset, width, value);
}

}  // namespace sim
