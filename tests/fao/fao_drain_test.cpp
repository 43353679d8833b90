// The bound of the wait for the card's FIFO to play out at a terminate:
// an internal function whose only other effect is the time a terminate
// waits, so it is checked on the host build, on the record.
#include <fao/fao.h>

#include "fao_fixture.h"

namespace ktztest {
namespace {

TEST_F(FaoTest, DrainBoundIsThePlayOutTimeAtTheSlowestRatePlusAMargin) {
    auto &fao = Record(handle_).fao;
    const struct {
        DWORD fifo;
        WORD clockSource, divisor;
        DWORD limit;
    } cases[] = {
        {4096, 0, 10, 505},       {4096, 0, 64935, 27098}, {32768, 0, 1000, 3777},
        {0, 0, 1000, 3777},       // not probed: the larger FIFO
        {32768, 1, 10, 215249},   // an external clock: the pacer's slowest rate
        {4096, 1, 0, 27344},
    };
    for (const auto &c : cases) {
        fao.fifoSamples = c.fifo;
        fao.faoClockSource = c.clockSource;
        fao.aoPacerDivisor = c.divisor;
        EXPECT_EQ(ktz::fao::DrainLimitMs(Record(handle_)), c.limit) << c.fifo << " " << c.divisor;
    }
    fao.fifoSamples = fao.faoClockSource = fao.aoPacerDivisor = 0;
}

}  // namespace
}  // namespace ktztest
