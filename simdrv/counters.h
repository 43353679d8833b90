// The counter block of the card: three 8254-format counters (registers 24
// to 30), their gate and clock settings with status bits (32, 34, 36), the
// clock selector (38), and the lab's signals on the counters' lines, all on
// the lab's virtual clock. ktz3649sim.h documents every bit.
#pragma once

#include <windows.h>

#include <ktz3649sim.h>

#include <cstdint>

#include "card.h"
#include "counter8254.h"

namespace sim {

constexpr uint64_t kNever = UINT64_MAX;

// A digital signal in picoseconds of virtual time: from `start` low for
// `low`, then high for `high`, repeated. Without both phases it holds a
// level: high when only `high` is given, else low.
struct PulseSignal {
    uint64_t start = 0;
    uint64_t low = 0;
    uint64_t high = 0;

    bool Periodic() const { return low && high; }
    uint64_t Period() const { return low + high; }
    bool Level(uint64_t t) const;
    // Rising edges from the start up to and including t.
    uint64_t RisingEdgesUntil(uint64_t t) const;
    // The first rising (or falling) edge after t, or kNever.
    uint64_t NextEdge(uint64_t t, bool rising) const;
};

class CounterBlock : public CardBlock {
public:
    static constexpr int kCounters = 3;

    explicit CounterBlock(uint64_t nowNs);

    bool Read(Card &card, WORD offset, int width, WORD &value) override;
    bool Write(Card &card, WORD offset, int width, WORD value) override;

    // Lab controls; the card's lock is held.
    void SetInput(int counter, uint64_t highPs, uint64_t lowPs);
    void InjectPulses(int counter, uint64_t count);
    void SetGateLine(int counter, bool level);
    KtzSimCounterOutput Output(int counter);
    void SetPollCost(uint64_t ns) { pollCost_ = ns; }

private:
    // A phase measurement (gate source 3): armed, waiting for its phase to
    // begin, timing it; idle before arming and after the phase.
    enum class Phase { Idle, Armed, Waiting, Timing };

    struct Channel {
        Counter8254 counter;
        BYTE setting = 0;     // the low byte of register 32 + 2c
        bool opened = false;  // status bit 10
        Phase phase = Phase::Idle;
        PulseSignal input;
        bool gateLine = true;
    };

    void Sync();
    void AdvanceTo(uint64_t t);
    // Brings every gate to the level its source has now, in counter order
    // (a gate may follow the output of the counter below).
    void Settle();
    bool GateLevel(int c) const;
    // The next time after now at which counter c's gate source changes, or kNever.
    uint64_t NextGateEvent(int c) const;
    uint64_t ClockEdges(int c, uint64_t from, uint64_t to) const;
    // The time of the k-th clock edge of counter c after t, or kNever.
    uint64_t EdgeTime(int c, uint64_t t, uint64_t k) const;
    // The clock period of counter c while it is periodic, else 0.
    uint64_t ClockPeriod(int c) const;
    void WriteSetting(int c, WORD value);
    WORD Status(int c) const;
    void WriteControl(BYTE word);

    Channel channels_[kCounters];
    WORD selector_ = 0;
    uint64_t now_;  // picoseconds
    uint64_t pollCost_ = 0;
};

}  // namespace sim
