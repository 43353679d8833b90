// What must be back where it was once a device is closed: the process's
// handles, the lock of an acquisition buffer, and the card's runs and DMA
// buffer in the lab. Win32 and the lab only, so that it also runs under Wine.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <ktz3649sim.h>

namespace ktztest {

inline DWORD ProcessHandleCount() {
    DWORD count = 0;
    EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &count));
    return count;
}

inline void ExpectUnlocked(HGLOBAL buffer) { EXPECT_EQ(GlobalFlags(buffer) & GMEM_LOCKCOUNT, 0u); }

// Neither an acquisition nor an output runs on the card, and its driver holds no DMA buffer.
inline void ExpectCardIdle(int card) {
    KtzSimOutputState output{};
    EXPECT_EQ(KtzSimGetOutputState(card, &output), 0);
    EXPECT_EQ(output.running, 0u);
    EXPECT_EQ(output.dmaBytes, 0u);
    KtzSimAcquisition acquisition{};
    EXPECT_EQ(KtzSimGetAcquisition(card, &acquisition), 0);
    EXPECT_NE(acquisition.state, unsigned{KTZSIM_ACQ_PREPARED});
    EXPECT_NE(acquisition.state, unsigned{KTZSIM_ACQ_RUNNING});
}

}  // namespace ktztest
