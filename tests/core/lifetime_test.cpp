// The record's lifetime against a driver that completes requests late and
// against threads that race the last close: nothing touches a released
// record (run under AddressSanitizer and ThreadSanitizer). Exports and the
// lab only.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include <atomic>
#include <thread>
#include <vector>

#include "lab_fixture.h"
#include "leak_checks.h"

namespace ktztest {
namespace {

constexpr DWORD kWait = 60000;  // ms: generous, a wait ends on its event long before

class LifetimeTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
        KtzSimSetTimeFactor(100.0);
        baseline_ = ProcessHandleCount();
        handle_ = Open(0);
    }
    void TearDown() override {
        LabTest::TearDown();
        if (buffer_) GlobalFree(buffer_);
    }

    // An output that repeats its buffer and an acquisition that waits for
    // its trigger: both run until ended.
    void StartBoth() {
        samples_.assign(4096, 2048);
        ASSERT_EQ(FAODmaExStart(handle_, 1, 10000, 0, 1, 0, samples_.data(), 4096, 0), 0u);
        buffer_ = GlobalAlloc(GHND, 1000 * sizeof(WORD));
        WORD gains[1] = {0};
        ASSERT_EQ(FAIDmaExStart(handle_, 1, 3, 0, 0, 0, 0.0f, 0, 1, 0, 2, 1000, 10000, gains, 0,
                                0, buffer_, 0, 0, 0, 0),
                  0u);
    }

    void CloseHandle() {
        KTZHANDLE handle = handle_;
        ASSERT_EQ(DeviceClose(&handle), 0u);
        std::erase(open_, handle_);
        handle_ = 0;
    }

    DWORD baseline_ = 0;
    KTZHANDLE handle_ = 0;
    HGLOBAL buffer_ = nullptr;
    std::vector<WORD> samples_;
};

// The driver completes the pending read and output start a while after the
// terminate requests: the last close waits for them before the record goes.
TEST_F(LifetimeTest, LastCloseOutlastsRequestsCompletedLate) {
    StartBoth();
    KtzSimSetLateCompletion(30);
    CloseHandle();
    EXPECT_EQ(ProcessHandleCount(), baseline_);
    ExpectUnlocked(buffer_);
    ExpectCardIdle(0);
    // Whatever is still due completes now: into a released record, were it
    // released too early.
    KtzSimReset(KTZSIM_KEEP_REGISTRY);

    // The device opens and runs again.
    KtzSimSetTimeFactor(100.0);
    handle_ = Open(0);
    GlobalFree(buffer_);
    StartBoth();
    CloseHandle();
}

// Operations on other threads race the last close: the close takes the
// record off the list at once, wakes a waiting CheckEvent and releases the
// record when they have returned; afterwards every call gets bare 3.
TEST_F(LifetimeTest, LastCloseRacesOperationsOnOtherThreads) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(EnableEvent(handle_, 4, 1, 0), 0u);
        KTZHANDLE handle = handle_;
        std::atomic<int> started{0};
        std::atomic<bool> timedOut{false};
        auto loop = [&](auto call) {
            return std::thread([&, call] {
                bool first = true;
                DWORD rc;
                do {
                    if (first) ++started;
                    first = false;
                    rc = call();
                } while (rc == 0);
                EXPECT_EQ(rc, 3u);
            });
        };
        std::vector<std::thread> threads;
        threads.push_back(loop([&] {
            WORD code = 0;
            DWORD rc = CheckEvent(handle, &code, kWait);
            if (rc == 0 && code == 0xFFFF) timedOut = true;
            return rc;
        }));
        threads.push_back(loop([&] {
            WORD zero, status1, status2, status3;
            DWORD count;
            return FAICheck(handle, &zero, &status1, &count, &status2, &status3);
        }));
        threads.push_back(loop([&] {
            FLOAT volts;
            return AIVoltageIn(handle, 0, 0, 0, &volts);
        }));
        while (started < 3) std::this_thread::yield();
        CloseHandle();
        for (auto &t : threads) t.join();
        EXPECT_FALSE(timedOut);  // the close woke the wait
        EXPECT_EQ(ProcessHandleCount(), baseline_);
        handle_ = Open(0);
    }
}

// FAOStop and FAOTerminate (or two FAOTerminate, as the CheckEvent thread
// after the output-ended event and the application) end one output once:
// one end request, one release of the DMA buffer, the start's event closed
// once.
TEST_F(LifetimeTest, EndsOfAnOutputRacingEachOther) {
    const struct {
        const char *name;
        DWORD(WINAPI *first)(KTZHANDLE);
        DWORD(WINAPI *second)(KTZHANDLE);
    } cases[] = {
        {"stop and terminate", FAOStop, FAOTerminate},
        {"terminate twice", FAOTerminate, FAOTerminate},
    };
    for (const auto &c : cases) {
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(c.name);
            DWORD handles = ProcessHandleCount();
            samples_.assign(4096, 2048);
            ASSERT_EQ(FAODmaExStart(handle_, 1, 10000, 0, 1, 0, samples_.data(), 4096, 0), 0u);
            KtzSimTraceClear();
            std::atomic<bool> go{false};
            auto end = [&](DWORD(WINAPI * call)(KTZHANDLE)) {
                return std::thread([&, call] {
                    while (!go) std::this_thread::yield();
                    EXPECT_EQ(call(handle_), 0u);
                });
            };
            std::thread a = end(c.first), b = end(c.second);
            go = true;
            a.join();
            b.join();
            EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_STOP) + RequestCount(KTZ_IOCTL_FAO_TERMINATE), 1u);
            EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_FREE), c.second == FAOTerminate ? 1u : 0u);
            ASSERT_EQ(FAOTerminate(handle_), 0u);  // frees what a stop left
            EXPECT_EQ(ProcessHandleCount(), handles);
        }
    }
}

}  // namespace
}  // namespace ktztest
