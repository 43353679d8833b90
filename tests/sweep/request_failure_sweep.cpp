// The request-failure sweep: every exported operation that sends a request
// to the kernel driver, with the N-th request it sends failing, for N = 1,
// 2, ... until it sends fewer; and with each status reply and busy word it
// reads set. Each time the result is the documented one, nothing leaks
// (the process's handles, the lock of the acquisition buffer, the driver's
// DMA buffer and runs, all back where they were after the close), and the
// operation then works again on the device. Exports and the lab only.
//
// A run of identical requests (the 4096 writes of the output FIFO probe,
// the settling reads of a conversion) is swept at its first and its last
// request: between them a failure meets the same code in the same state.
#include <ktz3649.h>
#include <ktz3649_driver.h>
#include <ktz3649sim.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lab_fixture.h"
#include "leak_checks.h"
#include "target.h"

namespace ktztest {
namespace {

constexpr DWORD kFailure = ERROR_GEN_FAILURE;  // the error every failed request gets
constexpr DWORD kWait = 60000;                 // ms: waits end on their events long before
constexpr WORD kPort0 = 0xE028;                // card 0's digital port 0, as a port address
constexpr DWORD kStatus = 77;                  // a status reply of the driver

constexpr DWORD Device0(DWORD error) { return 0x1000u | error; }
constexpr DWORD kBare106 = KtzErrPortRequest;  // a port function's failure with kFailure

// A request as the lab traced it: what makes two requests alike.
struct Request {
    unsigned kind, code, offset, width, write;
    bool operator==(const Request &) const = default;
    // The same request, as far as the trace of a failed one tells (its code;
    // a failed register request carries no register).
    bool Matches(const Request &other) const {
        return code == other.code &&
               (kind == KTZSIM_TRACE_OPEN) == (other.kind == KTZSIM_TRACE_OPEN);
    }
};

// The device an operation works on, and what its setup gave it.
struct Device {
    KTZHANDLE handle = 0;
    KTZHANDLE second = 0;       // a second open of the same device
    HGLOBAL buffer = nullptr;   // the acquisition buffer
    std::vector<WORD> samples;  // the output's samples
    DWORD dmaAddress = 0;       // from AllocateDMABuffer
};

// A status reply or busy word of the driver, set for one run.
struct Reply {
    const char *what;
    void (*set)(unsigned value);  // 0 takes it back
    DWORD result;
};

struct Operation {
    const char *name = nullptr;
    void (*setup)(Device &) = nullptr;           // may be null
    DWORD (*run)(Device &) = nullptr;            // 0 when nothing fails
    DWORD (*failed)(const Request &) = nullptr;  // the result when that request fails; null: 0
    void (*cleanup)(Device &) = nullptr;         // ends what run left; may be null
    std::vector<Reply> replies = {};
    bool opens = false;  // the operation opens the device itself
    bool once = false;   // it closes or opens: the probe afterwards is a port read only
};

// ---- setups and cleanups ---------------------------------------------------------------

DWORD StartInput(Device &d, WORD mode) {
    if (!d.buffer) d.buffer = GlobalAlloc(GHND, 1000 * sizeof(WORD));
    WORD gains[1] = {0};
    WORD source = mode ? 1 : 0;
    return FAIDmaExStart(d.handle, source, mode, 0, 0, 0, 0.0f, 0, 1, 0, 2, 1000, 10000, gains,
                         0, 0, d.buffer, 0, 0, 0, 0);
}

DWORD StartOutput(Device &d, WORD option) {
    d.samples.assign(4096, 2048);
    return FAODmaExStart(d.handle, option, 10000, 0, 1, 0, d.samples.data(), 4096, 0);
}

void EndlessInput(Device &d) { EXPECT_EQ(StartInput(d, 3), 0u); }  // waits for its trigger
void RepeatingOutput(Device &d) { EXPECT_EQ(StartOutput(d, 1), 0u); }
void EndlessInputAndOutput(Device &d) {
    RepeatingOutput(d);
    EndlessInput(d);
}
void DmaBuffer(Device &d) {
    DWORD size = 0;
    EXPECT_EQ(AllocateDMABuffer(d.handle, 0, 8192, &size, &d.dmaAddress), 0u);
}
void EndInput(Device &d) { FAIStop(d.handle); }
void EndOutput(Device &d) { FAOTerminate(d.handle); }
void FreeBuffer(Device &d) { FreeDMABuffer(d.handle, &d.dmaAddress); }
void EndOutputAndBuffer(Device &d) {
    FAOTerminate(d.handle);
    FreeDMABuffer(d.handle, &d.dmaAddress);
}
void ResetCounters(Device &d) {
    for (WORD c = 0; c < 3; ++c) CounterReset(d.handle, c);
}
void SecondOpen(Device &d) { EXPECT_EQ(DeviceOpen(0, &d.second), 0u); }
void CloseSecond(Device &d) {
    if (d.second) {
        EXPECT_EQ(DeviceClose(&d.second), 0u);
    }
}

// ---- what a failed request gives -------------------------------------------------------

template <unsigned Code, DWORD Result>
DWORD When(const Request &r) {
    return r.code == Code && r.kind == KTZSIM_TRACE_REQUEST ? Result : 0;
}

DWORD OpenRefused(const Request &r) { return r.kind == KTZSIM_TRACE_OPEN ? Device0(26) : 0; }

// The read of the buffer fails, or the driver took no start before it: 38.
DWORD InputStart(const Request &r) {
    bool read = r.kind == KTZSIM_TRACE_REQUEST && r.code == 0;
    return read || (r.kind == KTZSIM_TRACE_REQUEST && r.code == KTZ_IOCTL_FAI_START) ? Device0(38)
                                                                                      : 0;
}

// A conversion that was never started does not finish (4).
DWORD Conversion(const Request &r) {
    return r.kind == KTZSIM_TRACE_REGISTER && r.offset == 0 && r.write ? Device0(4) : 0;
}

// The FIFO probe finds no full FIFO, and takes it for the large one with
// too few samples (32): the card still plays (register 10 not written), a
// sample did not enter, or the status read gives 0.
DWORD OutputStart(const Request &r) {
    if (r.kind != KTZSIM_TRACE_REGISTER) return 0;
    bool probe = (r.offset == 10 && r.write) || r.offset == 48 || (r.offset == 8 && !r.write);
    return probe ? Device0(32) : 0;
}

// The allocation's replies stay 0: a buffer smaller than asked (bare 1).
DWORD OutputExStart(const Request &r) {
    if (r.kind == KTZSIM_TRACE_REQUEST && r.code == KTZ_IOCTL_DMA_ALLOCATE) return 1;
    return OutputStart(r);
}

// ---- the replies ---------------------------------------------------------------------

void InputStartStatus(unsigned v) { KtzSimSetStatusReply(0, KTZ_IOCTL_FAI_START, v, v ? 1 : 0); }
void InputStatusStatus(unsigned v) { KtzSimSetStatusReply(0, KTZ_IOCTL_FAI_STATUS, v, v ? 1 : 0); }
void InputBusy(unsigned v) { KtzSimSetAvailabilityWord(0, v ? 1 : 0); }
void AllocateStatus(unsigned v) { KtzSimSetOutputStatus(0, KTZ_IOCTL_DMA_ALLOCATE, v); }
void OutputStartStatus(unsigned v) { KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_START, v); }
void OutputStatusStatus(unsigned v) { KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_STATUS, v); }
void DmaBusy(unsigned v) { KtzSimSetDmaAvailability(0, v ? 1 : 0); }

const Reply kInputStartStatus{"start status", InputStartStatus, Device0(kStatus)};
const Reply kInputBusy{"acquisition busy", InputBusy, Device0(KtzErrDmaBusy)};
const Reply kAllocateStatus{"allocation status", AllocateStatus, Device0(kStatus)};
const Reply kDmaBusy{"DMA busy", DmaBusy, Device0(KtzErrDmaBusy)};
const Reply kOutputStartStatus{"start status", OutputStartStatus, Device0(kStatus)};

// ---- the operations ---------------------------------------------------------------------

DWORD PropertySet(Device &d, WORD property, const void *data, DWORD length) {
    DeviceSetPropertyBlock block{property, 0, length, const_cast<void *>(data)};
    return DriverProc(0, 0, 108, d.handle, reinterpret_cast<ULONG_PTR>(&block));
}

// clang-format off
const Operation kOperations[] = {
    // Devices and ports.
    {"DeviceOpen", nullptr,
     [](Device &d) { return DeviceOpen(0, &d.handle); }, OpenRefused, nullptr, {}, true, true},
    {"DeviceClose", nullptr,
     [](Device &d) { return DeviceClose(&d.handle); }, When<KTZ_IOCTL_CLOSE, Device0(100)>,
     nullptr, {}, false, true},
    {"DeviceClose, another open remains", SecondOpen,
     [](Device &d) { KTZHANDLE copy = d.second; DWORD rc = DeviceClose(&copy); if (!rc) d.second = 0; return rc; },
     When<KTZ_IOCTL_CLOSE, Device0(100)>, CloseSecond, {}, false, true},
    {"DeviceClose, fast input and output running", EndlessInputAndOutput,
     [](Device &d) { return DeviceClose(&d.handle); }, When<KTZ_IOCTL_CLOSE, Device0(100)>,
     nullptr, {}, false, true},
    {"WritePortByte", nullptr, [](Device &d) { return WritePortByte(d.handle, kPort0, 0x5A); },
     [](const Request &) { return kBare106; }},
    {"WritePortWord", nullptr, [](Device &d) { return WritePortWord(d.handle, kPort0, 0x5A5A); },
     [](const Request &) { return kBare106; }},
    {"ReadPortByte", nullptr, [](Device &d) { WORD v; return ReadPortByte(d.handle, kPort0, &v); },
     [](const Request &) { return kBare106; }},
    {"ReadPortWord", nullptr, [](Device &d) { WORD v; return ReadPortWord(d.handle, kPort0, &v); },
     [](const Request &) { return kBare106; }},

    // Analog input and output: register failures are silent.
    {"AIConfig", nullptr, [](Device &d) { return AIConfig(d.handle, 3, 1); }},
    {"AIBinaryIn", nullptr, [](Device &d) { WORD v; return AIBinaryIn(d.handle, 3, 0, &v); },
     Conversion},
    {"AIVoltageIn", nullptr, [](Device &d) { FLOAT v; return AIVoltageIn(d.handle, 3, 1, 0, &v); },
     Conversion},
    {"MAIConfig", nullptr, [](Device &d) { WORD g[2] = {0, 1}; return MAIConfig(d.handle, 2, 4, g); }},
    {"MAIBinaryIn", nullptr, [](Device &d) { WORD v[2]; return MAIBinaryIn(d.handle, 2, 4, 0, v); },
     Conversion},
    {"MAIVoltageIn", nullptr,
     [](Device &d) { WORD g[2] = {0, 1}; FLOAT v[2]; return MAIVoltageIn(d.handle, 2, 4, g, 0, v); },
     Conversion},
    {"AOBinaryOut", nullptr, [](Device &d) { return AOBinaryOut(d.handle, 1, 3000); }},
    {"AOVoltageOut", nullptr, [](Device &d) { return AOVoltageOut(d.handle, 0, 2.5f); }},

    // Digital ports.
    {"DioReadPortByte", nullptr, [](Device &d) { WORD v; return DioReadPortByte(d.handle, 0, &v); }},
    {"DioWritePortByte", nullptr, [](Device &d) { return DioWritePortByte(d.handle, 0, 0x0F, 0x05); }},
    {"DioReadBit", nullptr, [](Device &d) { WORD v; return DioReadBit(d.handle, 1, 3, &v); }},
    {"DioWriteBit", nullptr, [](Device &d) { return DioWriteBit(d.handle, 1, 3, 1); }},
    {"DioGetCurrentDOByte", nullptr, [](Device &d) { WORD v; return DioGetCurrentDOByte(d.handle, 0, &v); }},
    {"DioGetCurrentDOBit", nullptr, [](Device &d) { WORD v; return DioGetCurrentDOBit(d.handle, 0, 2, &v); }},
    {"DioReadPortWord", nullptr, [](Device &d) { WORD m, v; return DioReadPortWord(d.handle, 0, &m, &v); }},
    {"DioReadPortDword", nullptr, [](Device &d) { DWORD m, v; return DioReadPortDword(d.handle, 0, &m, &v); }},
    {"DioWritePortWord", nullptr, [](Device &d) { return DioWritePortWord(d.handle, 0, 0xFFFF, 0x1234); }},
    {"DioWritePortDword", nullptr, [](Device &d) { return DioWritePortDword(d.handle, 0, 0xFFFF, 0x4321); }},
    {"DioGetCurrentDOWord", nullptr, [](Device &d) { WORD m, v; return DioGetCurrentDOWord(d.handle, 0, &m, &v); }},
    {"DioGetCurrentDODword", nullptr, [](Device &d) { DWORD m, v; return DioGetCurrentDODword(d.handle, 0, &m, &v); }},
    {"DioReadDiPorts", nullptr, [](Device &d) { BYTE b[2]; return DioReadDiPorts(d.handle, 0, 2, b); }},
    {"DioWriteDoPorts", nullptr, [](Device &d) { BYTE b[2] = {1, 2}; return DioWriteDoPorts(d.handle, 0, 2, b); }},
    {"DioGetCurrentDoPortsState", nullptr,
     [](Device &d) { BYTE b[2]; return DioGetCurrentDoPortsState(d.handle, 0, 2, b); }},

    // Counters (their measurement threads' requests are not this thread's).
    {"CounterEventStart", nullptr, [](Device &d) { return CounterEventStart(d.handle, 0, 0); }},
    {"CounterEventRead", [](Device &d) { CounterEventStart(d.handle, 0, 0); },
     [](Device &d) { WORD o; DWORD c; return CounterEventRead(d.handle, 0, &o, &c); }},
    {"CounterFreqStart", nullptr, [](Device &d) { return CounterFreqStart(d.handle, 2, 0, 0); }},
    {"CounterFreqRead", [](Device &d) { CounterFreqStart(d.handle, 2, 0, 0); },
     [](Device &d) { FLOAT f; return CounterFreqRead(d.handle, 2, &f); }, nullptr, ResetCounters},
    {"CounterPulseStart", nullptr, [](Device &d) { return CounterPulseStart(d.handle, 0, 0.001f, 0, 0); }},
    {"CounterReset", nullptr, [](Device &d) { return CounterReset(d.handle, 1); }},
    {"PWMStartRead", nullptr, [](Device &d) { FLOAT a, b; return PWMStartRead(d.handle, 0, &a, &b); },
     nullptr, ResetCounters},

    // Properties through DriverProc.
    {"DriverProc 108, input pacer rate", nullptr,
     [](Device &d) { DWORD rate = 1000; return PropertySet(d, KTZ_PROP_AI_PACER_RATE, &rate, 4); }},
    {"DriverProc 108, output pacer rate", nullptr,
     [](Device &d) { DWORD rate = 1000; return PropertySet(d, KTZ_PROP_AO_PACER_RATE, &rate, 4); }},

    // Events.
    {"EnableEvent", nullptr, [](Device &d) { return EnableEvent(d.handle, 4, 1, 0); },
     When<KTZ_IOCTL_EVENT_ENABLE, Device0(KtzErrEventEnable)>},
    {"CheckEvent, fast input ended",
     [](Device &d) { EnableEvent(d.handle, 4, 1, 0); EXPECT_EQ(StartInput(d, 0), 0u); },
     [](Device &d) { WORD code; return CheckEvent(d.handle, &code, kWait); }, nullptr, EndInput},
    {"CheckEvent, output ended",
     [](Device &d) { EnableEvent(d.handle, 0x2804, 1, 0); EXPECT_EQ(StartOutput(d, 0), 0u); },
     [](Device &d) { WORD code; return CheckEvent(d.handle, &code, kWait); }, nullptr, EndOutput},

    // Fast input.
    {"FAIDmaExStart", nullptr, [](Device &d) { return StartInput(d, 3); }, InputStart, EndInput,
     {kInputStartStatus, kInputBusy}},
    {"FAICheck", EndlessInput,
     [](Device &d) { WORD z, s1, s2, s3; DWORD c; return FAICheck(d.handle, &z, &s1, &c, &s2, &s3); },
     nullptr, EndInput, {{"status", InputStatusStatus, Device0(kStatus)}}},
    {"ClearOverrun", EndlessInput, [](Device &d) { return ClearOverrun(d.handle); }, nullptr, EndInput},
    {"FAIStop", EndlessInput, [](Device &d) { return FAIStop(d.handle); }},
    {"FAITerminate", EndlessInput, [](Device &d) { return FAITerminate(d.handle); }},

    // Fast output.
    {"AllocateDMABuffer", nullptr,
     [](Device &d) { DWORD size; return AllocateDMABuffer(d.handle, 0, 8192, &size, &d.dmaAddress); },
     nullptr, FreeBuffer, {kAllocateStatus, kDmaBusy}},
    {"FreeDMABuffer", DmaBuffer, [](Device &d) { return FreeDMABuffer(d.handle, &d.dmaAddress); },
     nullptr, FreeBuffer},
    {"FAODmaExStart", nullptr, [](Device &d) { return StartOutput(d, 1); }, OutputExStart, EndOutput,
     {kAllocateStatus, kDmaBusy, kOutputStartStatus}},
    {"FAODmaStart", DmaBuffer,
     [](Device &d) { d.samples.assign(4096, 2048); return FAODmaStart(d.handle, 1, 10000, 0, d.samples.data(), 4096); },
     OutputStart, EndOutputAndBuffer, {kOutputStartStatus}},
    {"FAODmaStartLoad", DmaBuffer,
     [](Device &d) { d.samples.assign(4096, 100); return FAODmaStartLoad(d.handle, 0, d.samples.data(), 0, 4096); },
     nullptr, FreeBuffer},
    {"FAOLoad", RepeatingOutput,
     [](Device &d) { return FAOLoad(d.handle, 0, d.samples.data(), 0, 4096); }, nullptr, EndOutput},
    {"FAOCheck", RepeatingOutput,
     [](Device &d) { WORD a, b, z, c; DWORD n; return FAOCheck(d.handle, &a, &b, &n, &z, &c); },
     nullptr, EndOutput, {{"status", OutputStatusStatus, Device0(kStatus)}}},
    {"FAOCheckEx", RepeatingOutput,
     [](Device &d) { WORD a, b, c, e; DWORD n; return FAOCheckEx(d.handle, &a, &b, &c, &n, &e); },
     nullptr, EndOutput, {{"status", OutputStatusStatus, Device0(kStatus)}}},
    {"ClearFlag", RepeatingOutput, [](Device &d) { return ClearFlag(d.handle, 10246); }, nullptr, EndOutput},
    {"FAOStop", RepeatingOutput, [](Device &d) { return FAOStop(d.handle); }, nullptr, EndOutput},
    {"FAOTerminate", RepeatingOutput, [](Device &d) { return FAOTerminate(d.handle); }, nullptr,
     EndOutput},
};

// The exported operations on a device that send no request (the settings
// kept in the record, the features, the buffer of a finished acquisition,
// scaling): the sweep holds them to it, so that one that starts sending is
// noticed and swept. (The configuration dialogs run the service control,
// not requests.)
const Operation kQuiet[] = {
    {"DeviceGetFeatures", nullptr, [](Device &d) { BYTE f[520]; return DeviceGetFeatures(d.handle, f, sizeof f); }},
    {"AIGetConfig", nullptr, [](Device &d) { BYTE c[276]; return AIGetConfig(d.handle, c, 0); }},
    {"AOConfig", nullptr, [](Device &d) { return AOConfig(d.handle, 0, 0, 10.0f, -10.0f); }},
    {"AOScale", nullptr, [](Device &d) { WORD c; return AOScale(d.handle, 0, 1.0f, &c); }},
    {"DioSetPortMode", nullptr, [](Device &d) { return DioSetPortMode(d.handle, 1, 0); }},
    {"DioGetConfig", nullptr, [](Device &d) { WORD m[2]; return DioGetConfig(d.handle, m, 2); }},
    {"GetFIFOSize", nullptr, [](Device &d) { DWORD n; return GetFIFOSize(d.handle, &n); }},
    {"FAITransfer", [](Device &d) { EXPECT_EQ(StartInput(d, 0), 0u); },
     [](Device &d) { WORD w[16]; return FAITransfer(d.handle, 0, w, 0, 0, 16, 0); }, nullptr, EndInput},
    {"FAIWatchdogCheck", [](Device &d) { EXPECT_EQ(StartInput(d, 0), 0u); },
     [](Device &d) { DWORD p; return FAIWatchdogCheck(d.handle, 0, 0, 0, 0, &p, 0); }, nullptr, EndInput},
    {"FAOScale", nullptr, [](Device &d) { FLOAT v[2] = {1, 2}; WORD c[2]; return FAOScale(d.handle, 0, 2, v, c); }},
    {"FAOIntStart", nullptr, [](Device &d) { return FAOIntStart(d.handle, 0, 0, 0, 0, 0, 0); }},
    {"DriverProc 108, port directions", nullptr,
     [](Device &d) { DWORD dirs[2] = {255, 0}; return PropertySet(d, KTZ_PROP_DIO_DIRECTIONS, dirs, 8); }},
};
// clang-format on

// The requests this thread sent since the trace was cleared, and the one
// that failed (kind 0 if none did).
struct Sent {
    std::vector<Request> requests;
    Request failed{};
};

Sent SentByThisThread() {
    Sent sent;
    for (const KtzSimTraceEntry &e : Trace()) {
        if (e.thread != GetCurrentThreadId()) continue;
        Request r{e.kind, e.code, e.offset, e.width, e.write};
        if (e.kind == KTZSIM_TRACE_OPEN) r.code = 0;
        sent.requests.push_back(r);
        if (e.error == kFailure) sent.failed = r;
    }
    return sent;
}

std::string Describe(const Request &r) {
    char text[96];
    std::snprintf(text, sizeof text, "kind %u code 0x%08X offset %u%s", r.kind, r.code, r.offset,
                  r.kind == KTZSIM_TRACE_REGISTER ? (r.write ? " write" : " read") : "");
    return text;
}

class RequestFailureSweep : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
        KtzSimSetTimeFactor(100.0);
    }

    // One run of an operation: with the n-th request of this thread failing
    // (0: none), or with a reply set. Checks its result, the leaks after the
    // close and the next operation on the device; gives what it sent.
    Sent RunOnce(const Operation &op, unsigned n, const Reply *reply, DWORD expected) {
        DWORD handles = ProcessHandleCount();
        Device d;
        if (!op.opens) {
            EXPECT_EQ(DeviceOpen(0, &d.handle), 0u);
        }
        if (op.setup) op.setup(d);
        KtzSimTraceClear();
        if (n) KtzSimFailNthRequest(n, kFailure);
        if (reply) reply->set(kStatus);
        DWORD rc = op.run(d);
        if (reply) reply->set(0);
        KtzSimFailNthRequest(0, 0);
        Sent sent = SentByThisThread();
        if (n == 0 || sent.failed.kind) {
            EXPECT_EQ(rc, expected);
        }
        if (op.cleanup) op.cleanup(d);

        // The next operation works: the same again, or a port read where
        // the operation opened or closed the device.
        if (!d.handle) {
            EXPECT_EQ(DeviceOpen(0, &d.handle), 0u);
        }
        WORD value = 0;
        EXPECT_EQ(ReadPortByte(d.handle, kPort0, &value), 0u);
        if (!op.once) {
            if (op.setup) op.setup(d);
            EXPECT_EQ(op.run(d), 0u) << "again, without a failure";
            if (op.cleanup) op.cleanup(d);
        }
        EXPECT_EQ(DeviceClose(&d.handle), 0u);

        // Nothing stays behind.
        EXPECT_EQ(ProcessHandleCount(), handles);
        if (d.buffer) {
            ExpectUnlocked(d.buffer);
            GlobalFree(d.buffer);
        }
        ExpectCardIdle(0);
        return sent;
    }
};

TEST_F(RequestFailureSweep, EveryRequestOfEveryOperation) {
    size_t cases = 0;
    for (const Operation &op : kOperations) {
        SCOPED_TRACE(op.name);
        std::vector<Request> clean = RunOnce(op, 0, nullptr, 0).requests;
        ASSERT_FALSE(clean.empty()) << "sends no request: not one for the sweep";
        // N = 1, 2, ...; a run of identical requests only at its ends.
        for (unsigned n = 1; n <= clean.size() + 1; ++n) {
            size_t i = n - 1;
            bool inRun = i > 0 && i + 1 < clean.size() && clean[i] == clean[i - 1] &&
                         clean[i] == clean[i + 1];
            if (inRun) continue;
            if (i < clean.size() && clean[i].kind == KTZSIM_TRACE_OPEN && OnWine()) {
                WineDeparts("Wine 8 opens a device file without waiting for the driver's "
                            "answer to IRP_MJ_CREATE: a driver cannot refuse an open");
                continue;
            }
            SCOPED_TRACE("request " + std::to_string(n));
            DWORD expected = 0;
            if (i < clean.size()) {
                SCOPED_TRACE(Describe(clean[i]));
                expected = op.failed ? op.failed(clean[i]) : 0;
            }
            Sent sent = RunOnce(op, n, nullptr, expected);
            ++cases;
            if (i == clean.size()) {
                // Past the last request: nothing fails, the operation succeeds.
                EXPECT_EQ(sent.failed.kind, 0u);
            } else {
                EXPECT_TRUE(sent.failed.Matches(clean[i])) << Describe(sent.failed);
            }
        }
        for (const Reply &reply : op.replies) {
            SCOPED_TRACE(reply.what);
            RunOnce(op, 0, &reply, reply.result);
            ++cases;
        }
    }
    std::printf("request-failure sweep: %zu operations, %zu cases\n", std::size(kOperations),
                cases);
}

TEST_F(RequestFailureSweep, TheOtherOperationsSendNoRequest) {
    for (const Operation &op : kQuiet) {
        SCOPED_TRACE(op.name);
        EXPECT_TRUE(RunOnce(op, 0, nullptr, 0).requests.empty());
    }
}

}  // namespace
}  // namespace ktztest
