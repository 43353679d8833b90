// Event notification: which slots an EnableEvent call flags and what it
// sends, the events opened by name, CheckEvent's wait and its codes, and
// the ends of fast input and output it terminates.
#include <ktz3649.h>

#include <string>

#include "fai_fixture.h"

namespace ktztest {
namespace {


constexpr WORD kTimedOut = 0xFFFF;

class EventTest : public FaiTest {
protected:
    KTZHANDLE OpenDevice(unsigned device = 0) {
        Install(device);
        return Open(device);
    }
    // The driver's event of a slot, opened by its name as anyone may.
    static HANDLE Named(int slot, unsigned device = 0) {
        std::string name = KtzEventBaseName(slot) + std::to_string(device);
        return OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    }
    static std::vector<WORD> Flags(KTZHANDLE handle) {
        const auto &flags = Record(handle).events.eventFlags;
        return std::vector<WORD>(flags, flags + 10);
    }
};

TEST_F(EventTest, EnableFlagsTheSlotsOfTheType) {
    const struct {
        const char *name;
        WORD type, enabled;
        DWORD expected;
        std::vector<WORD> flags;
        size_t requests;
    } cases[] = {
        {"input bits 1 and 2", 3, 1, 0, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"all input bits", 15, 5, 0, {5, 5, 5, 5, 0, 0, 0, 0, 0, 0}, 1},
        {"input type 17", 17, 1, 0x1028, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"type 10239", 10239, 1, 0x1028, {1, 1, 1, 1, 0, 0, 0, 0, 0, 0}, 0},
        {"output ended", 0x2804, 1, 0, {0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 1},
        {"low half sits in slot 8", 0x2807, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 1},
        {"high half sits in slot 9", 0x2806, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 1},
        {"no such output event", 0x2808, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"output codes are not bits", 10240, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        KTZHANDLE handle = OpenDevice();
        EXPECT_EQ(EnableEvent(handle, c.type, c.enabled, 33), c.expected);
        EXPECT_EQ(Flags(handle), c.flags);
        const auto &events = Record(handle).events;
        EXPECT_EQ(events.eventType, c.type);
        EXPECT_EQ(events.eventEnabled, c.enabled);
        EXPECT_EQ(events.eventCount, 33);
        EXPECT_EQ(RequestCount(KTZ_IOCTL_EVENT_ENABLE), c.requests);
        EXPECT_EQ(events.eventsOpened, c.expected == 0 ? 1 : 0);
        for (HANDLE event : events.eventHandles) EXPECT_EQ(event != nullptr, c.expected == 0);
        Close(handle);
    }
}

TEST_F(EventTest, LaterCallsChangeOnlyTheirSlots) {
    KTZHANDLE handle = OpenDevice();
    ASSERT_EQ(EnableEvent(handle, 7, 1, 0), 0u);
    HANDLE first = Record(handle).events.eventHandles[0];
    ASSERT_EQ(EnableEvent(handle, 2, 0, 0), 0u);
    EXPECT_EQ(Flags(handle), (std::vector<WORD>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Record(handle).events.eventHandles[0], first);  // opened once
    EXPECT_EQ(EnableEvent(0, 7, 1, 0), 3u);
}

TEST_F(EventTest, FailuresOfTheDriver) {
    // The driver rejects the enable request.
    KTZHANDLE handle = OpenDevice();
    KtzSimFailRequest(KTZ_IOCTL_EVENT_ENABLE, ERROR_GEN_FAILURE, 1);
    EXPECT_EQ(EnableEvent(handle, 1, 1, 0), 0x106Fu);
    EXPECT_EQ(Record(handle).events.eventsOpened, 1);
    EXPECT_EQ(Record(handle).events.eventHandles[0], nullptr);
    Close(handle);

    // It has not created the overrun event: the slots before it open, and
    // waits fail until it exists.
    KtzSimSetEventsNotCreated(0, 1u << 3);
    handle = OpenDevice();
    EXPECT_EQ(EnableEvent(handle, 1, 1, 0), 0x1025u);
    const auto &events = Record(handle).events;
    for (int slot = 0; slot < 10; ++slot)
        EXPECT_EQ(events.eventHandles[slot] != nullptr, slot < 3) << slot;
    WORD code = 9;
    EXPECT_EQ(CheckEvent(handle, &code, 0), 0x103Fu);
    EXPECT_EQ(code, 9);
}

TEST_F(EventTest, EventNamesCarryTheDeviceNumber) {
    KTZHANDLE handle = OpenDevice(12);
    ASSERT_EQ(EnableEvent(handle, 1, 1, 0), 0u);
    HANDLE named = Named(0, 12);
    ASSERT_NE(named, nullptr);
    SetEvent(named);
    EXPECT_EQ(NextEvent(handle, 0), 1);
    EXPECT_EQ(WaitForSingleObject(named, 0), WAIT_TIMEOUT);  // CheckEvent reset it
    CloseHandle(named);
}

TEST_F(EventTest, CheckEventCodes) {
    KTZHANDLE handle = OpenDevice();
    // Before any EnableEvent: 0 at once, whatever the time-out.
    EXPECT_EQ(NextEvent(handle, INFINITE), 0);
    EXPECT_EQ(CheckEvent(handle, nullptr, 0), 0x100Au);
    EXPECT_EQ(CheckEvent(0, nullptr, 0), 3u);

    ASSERT_EQ(EnableEvent(handle, 2, 1, 0), 0u);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);

    // A disabled slot's event stays signalled and hides the others.
    HANDLE interrupt = Named(0), change = Named(1);
    SetEvent(interrupt);
    SetEvent(change);
    EXPECT_EQ(NextEvent(handle, 0), 0);
    EXPECT_EQ(NextEvent(handle, kWaitMs), 0);
    EXPECT_EQ(WaitForSingleObject(interrupt, 0), WAIT_OBJECT_0);
    ResetEvent(interrupt);
    EXPECT_EQ(NextEvent(handle, 0), 2);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
    CloseHandle(interrupt);
    CloseHandle(change);
}

TEST_F(EventTest, InterruptAndBufferChangeFollowTheSamples) {
    KTZHANDLE handle = OpenDevice();
    ASSERT_EQ(EnableEvent(handle, 3, 1, 4), 0u);  // every 4 samples
    FaiStart start;
    start.clockSource = 1;
    start.sampleCount = 16;
    ASSERT_EQ(Start(handle, start), 0u);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 3), 0);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 1), 0);
    EXPECT_EQ(NextEvent(handle, 0), 1);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 4), 0);  // 8: an interrupt and the low half
    EXPECT_EQ(NextEvent(handle, 0), 1);
    EXPECT_EQ(NextEvent(handle, 0), 2);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
    // The end is not enabled: no terminated event, the run stays claimed.
    ASSERT_EQ(KtzSimPulseExternalClock(0, 8), 0);
    EXPECT_EQ(NextEvent(handle, 0), 1);
    EXPECT_EQ(NextEvent(handle, 0), 2);
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
    EXPECT_EQ(Record(handle).fai.faiRunning, 1);
}

TEST_F(EventTest, InputEndedTerminatesTheAcquisition) {
    KTZHANDLE handle = OpenDevice();
    ASSERT_EQ(EnableEvent(handle, 4, 1, 0), 0u);
    FaiStart start;
    start.clockSource = 1;
    start.sampleCount = 4;
    ASSERT_EQ(Start(handle, start), 0u);
    ASSERT_EQ(KtzSimPulseExternalClock(0, 4), 0);
    EXPECT_EQ(NextEvent(handle), 4);
    const auto &fai = Record(handle).fai;
    EXPECT_EQ(fai.faiRunning, 0);
    EXPECT_EQ(fai.faiClaimed, 0);
    EXPECT_EQ(fai.faiReadRequest.hEvent, nullptr);
    EXPECT_EQ(LockCount(lastBuffer_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_TERMINATE), 1u);

    // Signalled again with nothing running, it is only reported.
    HANDLE ended = Named(2);
    SetEvent(ended);
    KtzSimTraceClear();
    EXPECT_EQ(NextEvent(handle, 0), 4);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAI_TERMINATE), 0u);
    CloseHandle(ended);
}

TEST_F(EventTest, OutputEndIsReportedOnceTheFifoHasRunEmpty) {
    KTZHANDLE handle = OpenDevice();
    ASSERT_EQ(EnableEvent(handle, 0x2804, 1, 0), 0u);
    // 1 kS/s: the FIFO's 4096 samples take 41 ms to play out at factor 100.
    std::vector<WORD> samples(8192, 2048);
    ASSERT_EQ(FAODmaExStart(handle, 0, 1000, 0, 1, 0, samples.data(), 8192, 0), 0u);
    EXPECT_EQ(NextEvent(handle), 0);  // the last sample is in the FIFO: terminated, drained
    EXPECT_EQ(Record(handle).fao.faoRunning, 0);
    EXPECT_EQ(NextEvent(handle), 0x2804);  // signalled again by the drain
    EXPECT_EQ(NextEvent(handle, 0), kTimedOut);
}

TEST_F(EventTest, CloseKeepsTheEventsWhileInputRuns) {
    KTZHANDLE handle = OpenDevice();
    ASSERT_EQ(EnableEvent(handle, 4, 1, 0), 0u);
    KTZHANDLE second = Open(0);
    FaiStart start;
    start.clockSource = 1;
    ASSERT_EQ(Start(handle, start), 0u);
    Close(second);
    EXPECT_EQ(Record(handle).events.eventsOpened, 1);
    EXPECT_EQ(Record(handle).events.eventFlags[2], 1);
    FAITerminate(handle);
    second = Open(0);
    Close(second);
    EXPECT_EQ(Record(handle).events.eventsOpened, 0);
    EXPECT_EQ(Record(handle).events.eventHandles[2], nullptr);
    EXPECT_EQ(NextEvent(handle, INFINITE), 0);
}

}  // namespace
}  // namespace ktztest
