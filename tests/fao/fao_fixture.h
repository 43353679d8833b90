// A lab for waveform output: device 0 on a PCI-3649 (card 0) and device 2
// on a PCI-3649L (card 1), both open; helpers to start an output, to watch
// the device's output events as event notification would, and to read the
// lab's view of the output.
#pragma once

#include <windows.h>

#include <ktz3649_driver.h>

#include <vector>

#include "../ai/polled_fixture.h"

namespace ktztest {

constexpr WORD kOutputEnded = 0x2804;
constexpr WORD kUnderrun = 0x2805;
constexpr WORD kHighHalf = 0x2806;
constexpr WORD kLowHalf = 0x2807;

constexpr DWORD kWait = 10000;  // ms: generous, the waits end on events

class FaoTest : public PolledTest {
protected:
    void SetUp() override {
        PolledTest::SetUp();
        ASSERT_EQ(KtzSimAddCard(0, 14, KTZSIM_PCI3649L), 1);
        Install(0);
        Install(2, 1);
        handle_ = Open(0);
        handleL_ = Open(2);
    }

    // FAODmaExStart on device 0 with `count` samples of `code` (kept in samples_).
    DWORD Start(DWORD count, DWORD rate = 10000, WORD channel = 0, WORD option = 0,
                WORD clockSource = 0, WORD code = 2048) {
        samples_.assign(count, code);
        return FAODmaExStart(handle_, option, rate, channel, 1, clockSource, samples_.data(),
                             count, 0);
    }

    // Enables an output event of device 0 for the next start and gives its
    // event, which the test waits on itself (the library closes it at the
    // last close).
    HANDLE Watch(WORD type) {
        EXPECT_EQ(EnableEvent(handle_, type, 1, 0), 0u);
        int slot = 0;
        while (KtzEventTypeCode(slot) != type) ++slot;
        HANDLE event = Record(handle_).events.eventHandles[slot];
        EXPECT_NE(event, nullptr);
        return event;
    }

    static bool Signalled(HANDLE event, DWORD ms = 0) {
        return WaitForSingleObject(event, ms) == WAIT_OBJECT_0;
    }

    static KtzSimOutputState OutputState(int card = 0) {
        KtzSimOutputState state{};
        EXPECT_EQ(KtzSimGetOutputState(card, &state), 0);
        return state;
    }

    // The voltages channel `channel` of card 0 played, the last `max` of them.
    static std::vector<double> Played(unsigned channel, size_t max) {
        std::vector<double> volts(max);
        size_t copied = 0;
        EXPECT_EQ(KtzSimGetOutputRecord(0, channel, volts.data(), max, &copied, nullptr), 0);
        volts.resize(copied);
        return volts;
    }

    KTZHANDLE handleL_ = 0;
    std::vector<WORD> samples_;
};

}  // namespace ktztest
