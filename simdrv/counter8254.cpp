#include "counter8254.h"

namespace sim {

uint16_t ToBcd(uint32_t value) {
    value %= 10000;
    return static_cast<uint16_t>((value / 1000) << 12 | (value / 100 % 10) << 8 |
                                 (value / 10 % 10) << 4 | value % 10);
}

uint32_t FromBcd(uint16_t digits) {
    return (digits >> 12 & 15) * 1000u + (digits >> 8 & 15) * 100u + (digits >> 4 & 15) * 10u +
           (digits & 15);
}

void Counter8254::Control(uint8_t word) {
    idle_ = Element();
    access_ = word >> 4 & 3;
    mode_ = word >> 1 & 7;
    if (mode_ > 5) mode_ -= 4;
    bcd_ = (word & 1) != 0;
    writeHigh_ = readHigh_ = latched_ = false;
    hasCount_ = counting_ = triggered_ = false;
    elapsed_ = 0;
}

void Counter8254::Latch() {
    if (latched_) return;
    latch_ = Count();
    latched_ = true;
}

void Counter8254::WriteData(uint8_t byte) {
    switch (access_) {
    case 1: Load(byte); break;
    case 2: Load(static_cast<uint16_t>(byte << 8)); break;
    default:
        if (writeHigh_) {
            writeHigh_ = false;
            Load(static_cast<uint16_t>(lowByte_ | byte << 8));
        } else {
            lowByte_ = byte;
            writeHigh_ = true;
            if (mode_ == 0) {  // the first byte of a new count stops mode 0
                idle_ = Element();
                counting_ = false;
            }
        }
    }
}

uint8_t Counter8254::ReadData() {
    uint16_t value = latched_ ? latch_ : Count();
    bool high = access_ == 2 || (access_ == 3 && readHigh_);
    if (access_ == 3) readHigh_ = !readHigh_;
    if (access_ != 3 || high) latched_ = false;
    return static_cast<uint8_t>(high ? value >> 8 : value);
}

void Counter8254::Load(uint16_t value) {
    uint32_t n = (bcd_ ? FromBcd(value) : value) % Modulus();
    count_ = n ? n : Modulus();
    hasCount_ = true;
    if (mode_ == 1 || mode_ == 5) return;  // loaded by the next trigger
    counting_ = true;
    elapsed_ = 0;
}

void Counter8254::Clock(uint64_t edges) {
    if (!edges) return;
    bool triggeredMode = mode_ == 1 || mode_ == 5;
    if (triggeredMode && triggered_) {
        // This edge loads the count and does not count.
        triggered_ = false;
        counting_ = true;
        elapsed_ = 0;
        --edges;
    }
    if (counting_ && (triggeredMode || gate_)) elapsed_ += edges;
}

void Counter8254::SetGate(bool level) {
    if (level == gate_) return;
    gate_ = level;
    if (!level) return;
    if ((mode_ == 1 || mode_ == 5) && hasCount_) triggered_ = true;
    if ((mode_ == 2 || mode_ == 3) && counting_) elapsed_ = 0;  // a rising gate restarts
}

bool Counter8254::Out() const {
    if (!counting_) return mode_ != 0;  // mode 0 holds OUT low from its control word
    switch (mode_) {
    case 0:
    case 1: return elapsed_ >= count_;
    case 2: return !gate_ || count_ < 2 || elapsed_ % count_ != count_ - 1;
    case 3: return !gate_ || elapsed_ % count_ < (count_ + 1) / 2;
    default: return elapsed_ != count_;  // modes 4 and 5: low for one clock at zero
    }
}

uint64_t Counter8254::EdgesToOutputChange() const {
    uint64_t n = count_;
    switch (mode_) {
    case 0:
        return counting_ && gate_ && elapsed_ < n ? n - elapsed_ : 0;
    case 1:
        if (triggered_) return Out() ? 1 : 1 + n;
        return counting_ && elapsed_ < n ? n - elapsed_ : 0;
    case 2:
    case 3: {
        if (!Repeats() || n < 2) return 0;
        uint64_t p = elapsed_ % n;
        if (mode_ == 2) return p < n - 1 ? n - 1 - p : 1;
        uint64_t high = (n + 1) / 2;
        return p < high ? high - p : n - p;
    }
    default:  // modes 4 and 5
        if (mode_ == 5 && triggered_) return Out() ? 1 + n : 1;
        if (!counting_ || (mode_ == 4 && !gate_)) return 0;
        return elapsed_ < n ? n - elapsed_ : elapsed_ == n ? 1 : 0;
    }
}

uint32_t Counter8254::PeriodEdges() const { return Repeats() && count_ >= 2 ? count_ : 0; }

uint32_t Counter8254::HighEdges() const {
    if (!PeriodEdges()) return 0;
    return mode_ == 3 ? (count_ + 1) / 2 : count_ - 1;
}

uint32_t Counter8254::Element() const {
    if (!counting_) return idle_;
    uint64_t m = Modulus(), n = count_;
    if (mode_ == 2) return static_cast<uint32_t>((n - elapsed_ % n) % m);
    if (mode_ == 3) {
        uint64_t p = elapsed_ % n, high = (n + 1) / 2;
        uint64_t step = p < high ? p : p - high;
        return static_cast<uint32_t>((n - 2 * step) % m);
    }
    return static_cast<uint32_t>((n + m - elapsed_ % m) % m);
}

uint16_t Counter8254::Count() const {
    uint32_t value = Element();
    return bcd_ ? ToBcd(value) : static_cast<uint16_t>(value);
}

}  // namespace sim
