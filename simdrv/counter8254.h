// One counter in the register format of the 8254 interval timer: control
// word, count register, counting element with its output latch, and the
// OUT line in modes 0 to 5. Time is not its business: its owner feeds it
// clock edges and gate changes in order.
//
// Simplifications against the chip: in modes 0, 2, 3 and 4 a count takes
// effect when its last byte is written (the chip loads it at the next clock
// edge); in modes 1 and 5 a gate rising edge loads the count at the next
// clock edge, as on the chip. The count read in mode 3 steps by two from
// the count down to two (or one) in each half period.
#pragma once

#include <cstdint>

namespace sim {

class Counter8254 {
public:
    // A control word addressed to this counter that is not a latch command:
    // bits 4-5 access (1 low byte, 2 high byte, 3 low then high), bits 1-3
    // mode (6 and 7 are modes 2 and 3), bit 0 BCD.
    void Control(uint8_t word);
    // The counter latch command: the count is held until read in full.
    void Latch();
    void WriteData(uint8_t byte);
    uint8_t ReadData();

    // `edges` clock edges with the gate at its present level.
    void Clock(uint64_t edges);
    // The gate changes level between clock edges.
    void SetGate(bool level);
    bool Gate() const { return gate_; }

    bool Out() const;
    unsigned Mode() const { return mode_; }
    // Clock edges until OUT changes while the gate stays as it is; 0: never.
    uint64_t EdgesToOutputChange() const;
    // Clock edges per output period while the output repeats (modes 2 and 3
    // with a count and the gate open), and how many of them OUT is high; 0
    // when the output does not repeat.
    uint32_t PeriodEdges() const;
    uint32_t HighEdges() const;
    // The counting element as it reads (BCD digits in BCD mode).
    uint16_t Count() const;

private:
    uint32_t Modulus() const { return bcd_ ? 10000u : 65536u; }
    uint32_t Element() const;  // binary value of the counting element
    void Load(uint16_t value);
    bool Repeats() const { return (mode_ == 2 || mode_ == 3) && counting_ && gate_; }

    uint8_t mode_ = 0;
    bool bcd_ = false;
    uint8_t access_ = 3;
    bool writeHigh_ = false;  // access 3: the next byte written is the high byte
    uint8_t lowByte_ = 0;
    bool readHigh_ = false;  // access 3: the next byte read is the high byte
    bool latched_ = false;
    uint16_t latch_ = 0;

    bool hasCount_ = false;  // a count was written since the control word
    uint32_t count_ = 0;     // the count in clock edges, 1 to the modulus
    bool counting_ = false;  // the count is loaded and counts
    bool triggered_ = false; // modes 1 and 5: a gate edge waits for a clock edge
    uint64_t elapsed_ = 0;   // clock edges counted since the count was loaded
    uint32_t idle_ = 0;      // the counting element while not counting
    bool gate_ = false;
};

uint16_t ToBcd(uint32_t value);
uint32_t FromBcd(uint16_t digits);

}  // namespace sim
