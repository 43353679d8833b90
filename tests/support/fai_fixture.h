// A lab fixture for fast input and events: acquisition buffers that outlive
// the devices, a start with every argument named, and waits on events.
#pragma once

#include <windows.h>

#include <ktz3649_driver.h>

#include <vector>

#include "lab_fixture.h"
#include "record.h"
#include "target.h"

namespace ktztest {

// The arguments of FAIDmaExStart that matter, valid as they stand: one
// scan entry on channel 0 at +/-5 V, 16 samples at 100 kS/s, no trigger.
struct FaiStart {
    WORD triggerSource = 0;
    WORD triggerMode = 0;
    WORD clockSource = 0;
    WORD option1 = 0, option2 = 0, option3 = 0;
    float triggerLevel = 0.0f;
    WORD scanLength = 1;
    WORD startChannel = 0;
    DWORD postTriggerScans = 2;
    DWORD sampleCount = 16;
    DWORD sampleRate = 100000;
    std::vector<WORD> gains = std::vector<WORD>(16, 0);
    bool nullGains = false;
    HGLOBAL buffer = nullptr;  // null: a fitting one from Buffer()
    bool nullBuffer = false;
};

class FaiTest : public LabTest {
protected:
    // One second of acquisition in ten milliseconds.
    static constexpr double kTimeFactor = 100.0;
    // Generous: waits end on events, long before this.
    static constexpr DWORD kWaitMs = 20000;

    void SetUp() override {
        LabTest::SetUp();
        KtzSimSetTimeFactor(kTimeFactor);
    }
    void TearDown() override {
        LabTest::TearDown();  // closing the devices ends their acquisitions
        for (HGLOBAL block : buffers_) GlobalFree(block);
        buffers_.clear();
    }

    // A zero-filled moveable block of `samples` words, freed after the test.
    HGLOBAL Buffer(DWORD samples) {
        HGLOBAL block = GlobalAlloc(GHND, samples * sizeof(WORD));
        buffers_.push_back(block);
        return block;
    }

    DWORD Start(KTZHANDLE handle, FaiStart s) {
        if (!s.buffer && !s.nullBuffer) s.buffer = Buffer(s.sampleCount);
        lastBuffer_ = s.buffer;
        return FAIDmaExStart(handle, s.triggerSource, s.triggerMode, s.clockSource, s.option1,
                             s.option2, s.triggerLevel, s.option3, s.scanLength, s.startChannel,
                             s.postTriggerScans, s.sampleCount, s.sampleRate,
                             s.nullGains ? nullptr : s.gains.data(), 0, 0, s.buffer, 0, 0, 0, 0);
    }

    static KtzSimAcquisition Acquisition(int card = 0) {
        KtzSimAcquisition info{};
        EXPECT_EQ(KtzSimGetAcquisition(card, &info), 0);
        return info;
    }

    // The next event CheckEvent reports (waiting at most kWaitMs).
    static WORD NextEvent(KTZHANDLE handle, DWORD timeout = kWaitMs) {
        WORD code = 0xABCD;
        EXPECT_EQ(CheckEvent(handle, &code, timeout), 0u);
        return code;
    }

    // Waits until CheckEvent reports `code`, skipping the other events.
    static bool WaitForEvent(KTZHANDLE handle, WORD code) {
        for (int i = 0; i < 100000; ++i) {
            WORD got = NextEvent(handle);
            if (got == code) return true;
            if (got == 0xFFFF) return false;
        }
        return false;
    }

    // The lock count of a global memory block.
    static DWORD LockCount(HGLOBAL block) { return GlobalFlags(block) & GMEM_LOCKCOUNT; }

    // The words of the last start's buffer.
    std::vector<WORD> Words(DWORD count) {
        auto *words = static_cast<WORD *>(GlobalLock(lastBuffer_));
        std::vector<WORD> copy(words, words + count);
        GlobalUnlock(lastBuffer_);
        return copy;
    }

    std::vector<HGLOBAL> buffers_;
    HGLOBAL lastBuffer_ = nullptr;
};

}  // namespace ktztest
