// The digital ports: two 8-bit ports at registers 40 and 41 (40 also as
// one 16-bit word, port 0 low), their direction in register 42 (bit 0
// port 0, bit 4 port 1, set = input). The output latches are the register
// storage; an input port reads the external lines instead.
#pragma once

#include <windows.h>

#include "card.h"

namespace sim {

constexpr int kDioPorts = 2;

class DioBlock : public CardBlock {
public:
    bool Read(Card &card, WORD offset, int width, WORD &value) override;
    bool Write(Card &, WORD, int, WORD) override { return false; }

    bool IsInput(const Card &card, int port) const;
    // What a read of the port gives: the lines of an input, else the latch.
    BYTE PortValue(const Card &card, int port) const;
    static BYTE Latch(const Card &card, int port);

    void SetLines(int port, BYTE lines) { lines_[port] = lines; }

private:
    BYTE lines_[kDioPorts] = {};
};

}  // namespace sim
