// One thread waits in CheckEvent, and terminates the acquisition there when
// it ends, while another polls its status and transfers its samples: the
// device record is shared without a lock (run it under ThreadSanitizer).
#include <ktz3649.h>

#include <atomic>
#include <thread>

#include "fai_fixture.h"
#include "fai_reference.h"

namespace ktztest {
namespace {

class EventThreadsTest : public FaiTest {};

TEST_F(EventThreadsTest, CheckEventBesideStatusAndTransfer) {
    Install(0);
    KTZHANDLE handle = Open(0);
    KtzSimSetTimeFactor(10.0);  // long enough for many transfers meanwhile
    KtzSimSignal sine{KTZSIM_SIGNAL_SINE, 2.0, 0.0, 50.0, 0};
    for (unsigned c = 0; c < 4; ++c) KtzSimSetSignal(0, c, &sine);
    ASSERT_EQ(EnableEvent(handle, 1 | 2 | 4, 1, 1024), 0u);
    // About trigger: the transfers read the claim that the terminate clears.
    FaiStart start;
    start.triggerSource = 1;
    start.triggerMode = 3;
    start.scanLength = 4;
    start.gains = {0, 1, 4, 16};
    start.sampleCount = 64000;
    start.postTriggerScans = 8000;
    start.sampleRate = 100000;
    ASSERT_EQ(Start(handle, start), 0u);
    const DWORD n = start.sampleCount;

    std::atomic<bool> ended{false};
    std::atomic<int> interrupts{0}, changes{0}, others{0}, passes{0}, failures{0};
    std::thread waiter([&] {
        for (;;) {
            WORD code = 0;
            if (CheckEvent(handle, &code, kWaitMs) != 0 || code == 0xFFFF) {
                ++others;
                break;
            }
            if (code == 1) ++interrupts;
            else if (code == 2) ++changes;
            else if (code == 4) break;  // CheckEvent has terminated it
            else ++others;
        }
        ended = true;
    });

    std::thread reader([&] {
        std::vector<FLOAT> volts(n);
        std::vector<WORD> raw(n);
        while (!ended) {
            WORD zero, status1, status2, status3;
            DWORD count;
            if (FAICheck(handle, &zero, &status1, &count, &status2, &status3) != 0) ++failures;
            if (FAITransfer(handle, 0, volts.data(), 1, 0, n, 0) != 0) ++failures;
            if (FAITransfer(handle, 0, raw.data(), 0, n / 2, n / 2, 0) != 0) ++failures;
            DWORD marker = 7;
            if (FAIWatchdogCheck(handle, 0, 0, 0, 0, &marker, 0) != 0) ++failures;
            ++passes;
        }
    });
    // Trigger once both threads are under way.
    while (!ended && (passes < 3 || changes < 2)) std::this_thread::yield();
    EXPECT_EQ(KtzSimFireAcquisitionTrigger(0), 0);
    waiter.join();
    reader.join();

    EXPECT_EQ(others, 0);
    EXPECT_EQ(failures, 0);
    EXPECT_GT(passes, 0);
    EXPECT_GT(interrupts, 0);
    EXPECT_GT(changes, 0);
    const auto &fai = Record(handle).fai;
    EXPECT_EQ(fai.faiRunning, 0);
    EXPECT_EQ(fai.faiClaimed, 0);
    EXPECT_EQ(LockCount(lastBuffer_), 0u);

    // The finished buffer: complete, and transferred as the literal method does.
    std::vector<FLOAT> volts(n), reference(n);
    ASSERT_EQ(FAITransfer(handle, 0, volts.data(), 1, 0, n, 0), 0u);
    ReferenceTransfer(Record(handle), reference.data(), 1, 0, n);
    EXPECT_EQ(volts, reference);
    std::vector<WORD> raw(n);
    ASSERT_EQ(FAITransfer(handle, 0, raw.data(), 0, 0, n, 0), 0u);
    for (DWORD k = 0; k < n; ++k) ASSERT_EQ(raw[k] >> 12 & 7, k % 4) << k;
}

}  // namespace
}  // namespace ktztest
