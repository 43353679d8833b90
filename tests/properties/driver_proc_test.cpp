// DriverProc: every function code reaches its function with the block's
// fields in the documented order. Each case runs twice on identical fresh
// labs, once through DriverProc and once by calling the function directly
// with the documented argument order, and the two effects must be equal:
// result, everything written into the caller's memory, the record's
// settings, the register traffic and the requests. Distinct field values
// make a swapped or misread field show. Codes 107 to 109 reach functions
// that have no export: the property tests drive them through DriverProc.
#include <ktz3649.h>

#include <cstring>
#include <functional>

#include "lab_fixture.h"
#include "record.h"

namespace ktztest {
namespace {

constexpr size_t kScratch = 1024;
constexpr WORD kBase = 0xE000;

template <class T>
ULONG_PTR P(T *p) {
    return reinterpret_cast<ULONG_PTR>(p);
}

// What a call did.
struct Effect {
    DWORD result = 0;
    std::vector<BYTE> memory;  // the scratch area the block's addresses point into
    std::vector<BYTE> settings;
    std::vector<Access> registers;
    std::vector<unsigned> requests;
    std::vector<DWORD> state;  // run-time fields of the record and the driver's acquisition
    bool operator==(const Effect &) const = default;
};

// Buffers that fast-input cases hand to the driver; freed by the next fresh lab.
std::vector<HGLOBAL> buffers;

// A 64-sample acquisition buffer with a pattern (bit 15 set from sample 40 on).
HGLOBAL Buffer() {
    HGLOBAL block = GlobalAlloc(GHND, 64 * sizeof(WORD));
    auto *samples = static_cast<WORD *>(GlobalLock(block));
    for (WORD i = 0; i < 64; ++i)
        samples[i] = static_cast<WORD>((i * 397) % 4096 | (i * 1000 % 7 << 12) | (i >= 40 ? 0x8000 : 0));
    GlobalUnlock(block);
    buffers.push_back(block);
    return block;
}

// The run-time state a call may change besides memory and registers.
std::vector<DWORD> StateOf(KTZHANDLE handle) {
    std::vector<DWORD> state;
    {
        const auto *d = &Record(handle);
        const auto &e = d->events;
        state.insert(state.end(), {e.eventEnabled, e.eventType, e.eventCount, e.eventsOpened});
        state.insert(state.end(), std::begin(e.eventFlags), std::end(e.eventFlags));
        const auto &f = d->fai;
        state.insert(state.end(), {f.faiScanLength, f.faiCount, f.faiTriggerMode, f.faiPostScans,
                                   f.faiClaimed.load(), f.faiRunning.load(), f.aiPacerDivisor});
        state.insert(state.end(), std::begin(f.faiGains), std::end(f.faiGains));
        const auto &o = d->fao;
        state.insert(state.end(), {o.faoClockSource, o.aoPacerDivisor, o.faoRunning.load()});
    }
    KtzSimAcquisition a{};
    KtzSimGetAcquisition(0, &a);
    state.insert(state.end(), {a.state, a.sampleCount, a.pacerDivisor, a.clockSource,
                               a.triggerMode, a.triggerSource, a.triggerLevelCode,
                               a.postTriggerScans, a.multiplexer, a.options[0], a.options[1],
                               a.options[2], a.eventEnabled, a.eventType, a.eventCount,
                               a.scanLength});
    state.insert(state.end(), std::begin(a.scanChannels), std::end(a.scanChannels));
    state.insert(state.end(), std::begin(a.scanRanges), std::end(a.scanRanges));
    return state;
}

// A case: the code, its call through DriverProc and its direct call.
struct Case {
    WORD code;
    std::function<DWORD(KTZHANDLE, BYTE *)> viaDriverProc;
    std::function<DWORD(KTZHANDLE, BYTE *)> direct;
    std::function<void(KTZHANDLE, BYTE *)> prepare = {};
    bool startsThread = false;  // its register traffic interleaves: not compared
};

// The call of a function code through DriverProc with its block.
template <class Block>
DWORD Via(WORD code, KTZHANDLE handle, Block block) {
    return DriverProc(0, 0, code, handle, P(&block));
}

template <class T>
T *At(BYTE *scratch, size_t offset) {
    return reinterpret_cast<T *>(scratch + offset);
}

class DriverProcTest : public LabTest {
protected:
    // A fresh lab with device 0 open, distinctive inputs and stopped engines.
    KTZHANDLE Fresh() {
        KtzSimSetTimeFactor(10000);  // an output still in the FIFO drains at once on close
        for (KTZHANDLE h : open_) {
            KTZHANDLE copy = h;
            while (DeviceClose(&copy) == 0 && copy == 0) copy = h;
        }
        open_.clear();
        for (HGLOBAL block : buffers) GlobalFree(block);
        buffers.clear();
        KtzSimReset(0);
        KtzSimAddCard(0, 13, KTZSIM_PCI3649);
        Install(0, 0, [](KtzSimDeviceSettings &s) { s.chanConfig = 0x0030; });
        for (unsigned c = 0; c < 16; ++c) KtzSimSetInputVoltage(0, c, 0.37 * c - 2.9);
        KtzSimSetDigitalInput(0, 0, 0x5A);
        KtzSimSetDigitalInput(0, 1, 0xC3);
        KtzSimSetTimeFactor(0);
        return Open(0);
    }

    Effect Run(const Case &c, bool viaDriverProc) {
        KTZHANDLE handle = Fresh();
        std::vector<BYTE> scratch(kScratch);
        for (size_t i = 0; i < kScratch; ++i) scratch[i] = static_cast<BYTE>(i * 7 + 1);
        if (c.prepare) c.prepare(handle, scratch.data());
        KtzSimTraceClear();
        Effect effect;
        effect.result = (viaDriverProc ? c.viaDriverProc : c.direct)(handle, scratch.data());
        effect.memory = scratch;
        auto *bytes = reinterpret_cast<const BYTE *>(&Record(handle).settings);
        effect.settings.assign(bytes, bytes + sizeof Record(handle).settings);
        effect.state = StateOf(handle);
        effect.registers = Registers();
        for (const auto &e : Trace())
            if (e.kind == KTZSIM_TRACE_REQUEST) effect.requests.push_back(e.code);
        return effect;
    }
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    auto add = [&](Case c) { cases.push_back(std::move(c)); };

    add({2, [](KTZHANDLE h, BYTE *s) { return Via(2, h, DeviceGetFeaturesBlock{s, 7}); },
         [](KTZHANDLE h, BYTE *s) { return DeviceGetFeatures(h, s, 7); }});
    add({3, [](KTZHANDLE h, BYTE *) { return Via(3, h, AIConfigBlock{5, 17}); },
         [](KTZHANDLE h, BYTE *) { return AIConfig(h, 5, 17); }});
    add({4, [](KTZHANDLE h, BYTE *s) { return Via(4, h, AIGetConfigBlock{s, 9}); },
         [](KTZHANDLE h, BYTE *s) { return AIGetConfig(h, s, 9); }});
    add({5, [](KTZHANDLE h, BYTE *s) { return Via(5, h, AIBinaryInBlock{3, 0, At<WORD>(s, 8)}); },
         [](KTZHANDLE h, BYTE *s) { return AIBinaryIn(h, 3, 0, At<WORD>(s, 8)); },
         [](KTZHANDLE h, BYTE *) { AIConfig(h, 7, 1); }});
    add({6, [](KTZHANDLE, BYTE *s) { AIScaleBlock b{3072, 0, 5.0f, 4000, 1000, At<FLOAT>(s, 4)};
             return DriverProc(0, 0, 6, 0, P(&b)); },
         [](KTZHANDLE, BYTE *s) { return AIScale(3072, 5.0f, 4000, 1000, At<FLOAT>(s, 4)); }});
    add({7, [](KTZHANDLE h, BYTE *s) { return Via(7, h, AIVoltageInBlock{3, 1, 0, 0, At<FLOAT>(s, 12)}); },
         [](KTZHANDLE h, BYTE *s) { return AIVoltageIn(h, 3, 1, 0, At<FLOAT>(s, 12)); },
         [](KTZHANDLE h, BYTE *) { AIConfig(h, 9, 1); }});
    auto gains = [](BYTE *s) {
        WORD *g = At<WORD>(s, 64);
        for (WORD i = 0; i < 16; ++i) g[i] = static_cast<WORD>(i % 5 == 4 ? 16 + i % 4 : i % 5);
        return g;
    };
    add({9, [=](KTZHANDLE h, BYTE *s) { return Via(9, h, MAIConfigBlock{5, 3, gains(s)}); },
         [=](KTZHANDLE h, BYTE *s) { return MAIConfig(h, 5, 3, gains(s)); }});
    add({10, [](KTZHANDLE h, BYTE *s) { return Via(10, h, MAIBinaryInBlock{4, 2, 0, 0, At<WORD>(s, 128)}); },
          [](KTZHANDLE h, BYTE *s) { return MAIBinaryIn(h, 4, 2, 0, At<WORD>(s, 128)); },
          [=](KTZHANDLE h, BYTE *s) { MAIConfig(h, 4, 2, gains(s)); }});
    add({11, [=](KTZHANDLE h, BYTE *s) { return Via(11, h, MAIVoltageInBlock{4, 2, gains(s), 0, 0, At<FLOAT>(s, 128)}); },
          [=](KTZHANDLE h, BYTE *s) { return MAIVoltageIn(h, 4, 2, gains(s), 0, At<FLOAT>(s, 128)); },
          [=](KTZHANDLE h, BYTE *s) { MAIConfig(h, 4, 2, gains(s)); }});
    add({14, [](KTZHANDLE h, BYTE *) { return Via(14, h, AOConfigBlock{1, 0, 10.0f, -5.0f}); },
          [](KTZHANDLE h, BYTE *) { return AOConfig(h, 1, 0, 10.0f, -5.0f); }});
    add({15, [](KTZHANDLE h, BYTE *) { return Via(15, h, AOBinaryOutBlock{1, 0x0ABC}); },
          [](KTZHANDLE h, BYTE *) { return AOBinaryOut(h, 1, 0x0ABC); }});
    add({16, [](KTZHANDLE h, BYTE *) { return Via(16, h, AOVoltageOutBlock{1, 0, 3.3f}); },
          [](KTZHANDLE h, BYTE *) { return AOVoltageOut(h, 1, 3.3f); }});
    add({17, [](KTZHANDLE h, BYTE *s) { return Via(17, h, AOScaleBlock{1, 0, 2.7f, At<WORD>(s, 2)}); },
          [](KTZHANDLE h, BYTE *s) { return AOScale(h, 1, 2.7f, At<WORD>(s, 2)); }});
    add({18, [](KTZHANDLE h, BYTE *) { return Via(18, h, DioSetPortModeBlock{1, 0}); },
          [](KTZHANDLE h, BYTE *) { return DioSetPortMode(h, 1, 0); }});
    add({19, [](KTZHANDLE h, BYTE *s) { return Via(19, h, DioGetConfigBlock{At<WORD>(s, 10), 3}); },
          [](KTZHANDLE h, BYTE *s) { return DioGetConfig(h, At<WORD>(s, 10), 3); },
          [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 1, 0); }});
    add({20, [](KTZHANDLE h, BYTE *s) { return Via(20, h, DioReadPortByteBlock{1, 0, At<WORD>(s, 6)}); },
          [](KTZHANDLE h, BYTE *s) { return DioReadPortByte(h, 1, At<WORD>(s, 6)); }});
    add({21, [](KTZHANDLE h, BYTE *) { return Via(21, h, DioWritePortByteBlock{1, 0x0F, 0xA5}); },
          [](KTZHANDLE h, BYTE *) { return DioWritePortByte(h, 1, 0x0F, 0xA5); },
          [](KTZHANDLE h, BYTE *) { DioWritePortByte(h, 1, 0xFF, 0x96); }});
    add({22, [](KTZHANDLE h, BYTE *s) { return Via(22, h, DioReadBitBlock{1, 3, At<WORD>(s, 6)}); },
          [](KTZHANDLE h, BYTE *s) { return DioReadBit(h, 1, 3, At<WORD>(s, 6)); },
          [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 1, 0); }});
    add({23, [](KTZHANDLE h, BYTE *) { return Via(23, h, DioWriteBitBlock{1, 5, 1}); },
          [](KTZHANDLE h, BYTE *) { return DioWriteBit(h, 1, 5, 1); }});
    add({24, [](KTZHANDLE h, BYTE *s) { return Via(24, h, DioGetCurrentDOByteBlock{1, 0, At<WORD>(s, 6)}); },
          [](KTZHANDLE h, BYTE *s) { return DioGetCurrentDOByte(h, 1, At<WORD>(s, 6)); },
          [](KTZHANDLE h, BYTE *) { DioWritePortByte(h, 1, 0xFF, 0x96); }});
    add({25, [](KTZHANDLE h, BYTE *s) { return Via(25, h, DioGetCurrentDOBitBlock{1, 2, At<WORD>(s, 6)}); },
          [](KTZHANDLE h, BYTE *s) { return DioGetCurrentDOBit(h, 1, 2, At<WORD>(s, 6)); },
          [](KTZHANDLE h, BYTE *) { DioWritePortByte(h, 1, 0xFF, 0x96); }});
    add({26, [](KTZHANDLE h, BYTE *) { return Via(26, h, WritePortByteBlock{kBase + 0x29, 0x1234}); },
          [](KTZHANDLE h, BYTE *) { return WritePortByte(h, kBase + 0x29, 0x34); }});
    add({27, [](KTZHANDLE h, BYTE *) { return Via(27, h, WritePortWordBlock{kBase + 0x28, 0x1234}); },
          [](KTZHANDLE h, BYTE *) { return WritePortWord(h, kBase + 0x28, 0x1234); }});
    add({28, [](KTZHANDLE h, BYTE *s) { return Via(28, h, ReadPortByteBlock{kBase + 0x29, 0, At<WORD>(s, 2)}); },
          [](KTZHANDLE h, BYTE *s) { return ReadPortByte(h, kBase + 0x29, At<WORD>(s, 2)); }});
    add({29, [](KTZHANDLE h, BYTE *s) { return Via(29, h, ReadPortWordBlock{kBase + 0x28, 0, At<WORD>(s, 2)}); },
          [](KTZHANDLE h, BYTE *s) { return ReadPortWord(h, kBase + 0x28, At<WORD>(s, 2)); }});
    add({30, [](KTZHANDLE h, BYTE *) { return Via(30, h, CounterEventStartBlock{1, 2}); },
          [](KTZHANDLE h, BYTE *) { return CounterEventStart(h, 1, 2); }});
    add({31, [](KTZHANDLE h, BYTE *s) { return Via(31, h, CounterEventReadBlock{2, 0, At<WORD>(s, 2), At<DWORD>(s, 8)}); },
          [](KTZHANDLE h, BYTE *s) { return CounterEventRead(h, 2, At<WORD>(s, 2), At<DWORD>(s, 8)); },
          [](KTZHANDLE h, BYTE *) { CounterEventStart(h, 2, 0); KtzSimInjectCounterPulses(0, 2, 70000); }});
    add({32, [](KTZHANDLE h, BYTE *) { return Via(32, h, CounterFreqStartBlock{2, 7, 9}); },
          [](KTZHANDLE h, BYTE *) { return CounterFreqStart(h, 2, 7, 9); }});
    add({33, [](KTZHANDLE h, BYTE *s) { return Via(33, h, CounterFreqReadBlock{1, 0, At<FLOAT>(s, 4)}); },
          [](KTZHANDLE h, BYTE *s) { return CounterFreqRead(h, 1, At<FLOAT>(s, 4)); }});
    add({34, [](KTZHANDLE h, BYTE *) { return Via(34, h, CounterPulseStartBlock{1, 0, 0.02f, 77, 2}); },
          [](KTZHANDLE h, BYTE *) { return CounterPulseStart(h, 1, 0.02f, 77, 2); }});
    add({35, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 35, h, 2); },
          [](KTZHANDLE h, BYTE *) { return CounterReset(h, 2); }});
    add({100, [](KTZHANDLE h, BYTE *s) { return Via(100, h, PWMStartReadBlock{9, 0, At<FLOAT>(s, 4), At<FLOAT>(s, 8)}); },
           [](KTZHANDLE h, BYTE *s) { return PWMStartRead(h, 9, At<FLOAT>(s, 4), At<FLOAT>(s, 8)); },
           {}, true});

    // Waveform output. The engines stand still (time factor 0).
    // A 4096-sample table (the smallest start the FIFO takes).
    auto samples = [](BYTE *) {
        static std::vector<WORD> table = [] {
            std::vector<WORD> t(4096);
            for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<WORD>(i * 61 % 4096);
            return t;
        }();
        return table.data();
    };
    add({71, [=](KTZHANDLE h, BYTE *s) { return Via(71, h, FAODmaStartBlock{3, 0, 20000, 1, 0, samples(s), 4096}); },
          [=](KTZHANDLE h, BYTE *s) { return FAODmaStart(h, 3, 20000, 1, samples(s), 4096); },
          [](KTZHANDLE h, BYTE *s) { AllocateDMABuffer(h, 0, 8192, At<DWORD>(s, 200), At<DWORD>(s, 204)); }});
    add({72, [](KTZHANDLE h, BYTE *s) {
              FLOAT *v = At<FLOAT>(s, 0);
              for (int i = 0; i < 4; ++i) v[i] = 1.1f * i;
              FAOScaleBlock b{1, 0, 3, v, At<WORD>(s, 32)};
              return DriverProc(0, 0, 72, h, P(&b)); },
          [](KTZHANDLE h, BYTE *s) {
              FLOAT *v = At<FLOAT>(s, 0);
              for (int i = 0; i < 4; ++i) v[i] = 1.1f * i;
              return FAOScale(h, 1, 3, v, At<WORD>(s, 32)); }});
    add({73, [=](KTZHANDLE h, BYTE *s) { return Via(73, h, FAOLoadBlock{0, 0, samples(s), 5, 64}); },
          [=](KTZHANDLE h, BYTE *s) { return FAOLoad(h, 0, samples(s), 5, 64); },
          [](KTZHANDLE h, BYTE *s) { AllocateDMABuffer(h, 0, 8192, At<DWORD>(s, 200), At<DWORD>(s, 204)); }});
    auto fiveOutputs = [](BYTE *s) { return std::make_tuple(At<WORD>(s, 0), At<WORD>(s, 2), At<DWORD>(s, 4), At<WORD>(s, 8), At<WORD>(s, 10)); };
    add({74, [=](KTZHANDLE h, BYTE *s) { auto [a, b1, c, d, e] = fiveOutputs(s);
              FAOCheckBlock b{a, b1, c, d, e};
              return DriverProc(0, 0, 74, h, P(&b)); },
          [=](KTZHANDLE h, BYTE *s) { auto [a, b, c, d, e] = fiveOutputs(s);
              return FAOCheck(h, a, b, c, d, e); },
          [=](KTZHANDLE h, BYTE *s) {
              FAODmaExStart(h, 0, 10000, 0, 1, 0, samples(s), 4096, 0); }});
    add({75, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 75, h, 0); },
          [](KTZHANDLE h, BYTE *) { return FAOStop(h); }});
    add({79, [](KTZHANDLE h, BYTE *s) { return Via(79, h, AllocateDMABufferBlock{2, 0, 8192, At<DWORD>(s, 4), At<DWORD>(s, 8)}); },
          [](KTZHANDLE h, BYTE *s) { return AllocateDMABuffer(h, 2, 8192, At<DWORD>(s, 4), At<DWORD>(s, 8)); }});
    add({80, [](KTZHANDLE h, BYTE *s) { return DriverProc(0, 0, 80, h, P(At<DWORD>(s, 204))); },
          [](KTZHANDLE h, BYTE *s) { return FreeDMABuffer(h, At<DWORD>(s, 204)); },
          [](KTZHANDLE h, BYTE *s) { AllocateDMABuffer(h, 0, 8192, At<DWORD>(s, 200), At<DWORD>(s, 204)); }});
    add({118, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 118, h, 0x2806); },
           [](KTZHANDLE h, BYTE *) { return ClearFlag(h, 0x2806); }});
    add({128, [=](KTZHANDLE h, BYTE *s) { return Via(128, h, FAODmaExStartBlock{1, 0, 10000, 0, 2, samples(s), 4096, 3, 0}); },
           [=](KTZHANDLE h, BYTE *s) { return FAODmaExStart(h, 1, 10000, 0, 2, 0, samples(s), 4096, 3); }});
    add({130, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 130, h, 0); },
           [](KTZHANDLE h, BYTE *) { return FAOTerminate(h); },
           [](KTZHANDLE h, BYTE *s) { AllocateDMABuffer(h, 0, 8192, At<DWORD>(s, 200), At<DWORD>(s, 204)); }});
    add({137, [=](KTZHANDLE h, BYTE *s) { auto [a, b1, c, d, e] = fiveOutputs(s);
               FAOCheckExBlock b{a, b1, c, d, e};
               return DriverProc(0, 0, 137, h, P(&b)); },
           [=](KTZHANDLE h, BYTE *s) { auto [a, b, c, d, e] = fiveOutputs(s);
               return FAOCheckEx(h, a, b, e, c, d); },
           [=](KTZHANDLE h, BYTE *s) {  // a running output: its words differ
               FAODmaExStart(h, 0, 10000, 0, 1, 0, samples(s), 4096, 0); }});

    // Fast input and events. A start on a 3-entry scan of 64 samples.
    auto start = [=](KTZHANDLE h, BYTE *s, WORD mode) {
        return FAIDmaExStart(h, mode ? 1 : 0, mode, 0, 0x11, 0x22, 2.5f, 0x33, 3, 14, 5, 64,
                             50000, gains(s), 0, 0, Buffer(), 0, 0, 0, 0);
    };
    add({63, [=](KTZHANDLE h, BYTE *s) { auto [a, b1, c, d, e] = fiveOutputs(s);
              FAICheckBlock b{a, b1, c, d, e};
              return DriverProc(0, 0, 63, h, P(&b)); },
          [=](KTZHANDLE h, BYTE *s) { auto [a, b, c, d, e] = fiveOutputs(s);
              return FAICheck(h, a, b, c, d, e); }});
    add({64, [](KTZHANDLE h, BYTE *s) { return Via(64, h, FAITransferBlock{0, 0, s + 256, 1, 0, 5, 20, 0}); },
          [](KTZHANDLE h, BYTE *s) { return FAITransfer(h, 0, s + 256, 1, 5, 20, 0); },
          [=](KTZHANDLE h, BYTE *s) { start(h, s, 0); FAITerminate(h); }});
    add({65, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 65, h, 0); },
          [](KTZHANDLE h, BYTE *) { return FAIStop(h); },
          [=](KTZHANDLE h, BYTE *s) { start(h, s, 0); }});
    add({69, [](KTZHANDLE h, BYTE *s) { return Via(69, h, FAIWatchdogCheckBlock{1, 0, 2, 3, 4, At<DWORD>(s, 4), 5}); },
          [](KTZHANDLE h, BYTE *s) { return FAIWatchdogCheck(h, 1, 2, 3, 4, At<DWORD>(s, 4), 5); },
          [=](KTZHANDLE h, BYTE *s) { start(h, s, 3); FAITerminate(h); }});
    add({76, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 76, h, 0); },
          [](KTZHANDLE h, BYTE *) { return ClearOverrun(h); }});
    add({77, [](KTZHANDLE h, BYTE *) { return Via(77, h, EnableEventBlock{3, 1, 9}); },
          [](KTZHANDLE h, BYTE *) { return EnableEvent(h, 3, 1, 9); }});
    add({78, [](KTZHANDLE h, BYTE *s) { return Via(78, h, CheckEventBlock{At<WORD>(s, 2), 0}); },
          [](KTZHANDLE h, BYTE *s) { return CheckEvent(h, At<WORD>(s, 2), 0); },
          [](KTZHANDLE h, BYTE *) { EnableEvent(h, 2, 1, 0); }});
    add({99, [](KTZHANDLE h, BYTE *s) { return DriverProc(0, 0, 99, h, P(At<DWORD>(s, 4))); },
          [](KTZHANDLE h, BYTE *s) { return GetFIFOSize(h, At<DWORD>(s, 4)); }});
    add({101, [=](KTZHANDLE h, BYTE *s) {
               HGLOBAL buffer = Buffer();
               FAIDmaExStartBlock b{2, 3, 0, 0x11, 0x22, 0, 2.5f, 0x33, 3, 14, 0, 5, 64, 50000,
                                    gains(s), 7, 8, buffer, 9, 10, 11, 12};
               return DriverProc(0, 0, 101, h, P(&b)); },
           [=](KTZHANDLE h, BYTE *s) {
               return FAIDmaExStart(h, 2, 3, 0, 0x11, 0x22, 2.5f, 0x33, 3, 14, 5, 64, 50000,
                                    gains(s), 7, 8, Buffer(), 9, 10, 11, 12); },
           [](KTZHANDLE h, BYTE *) { EnableEvent(h, 6, 1, 40); }});
    add({129, [](KTZHANDLE h, BYTE *) { return DriverProc(0, 0, 129, h, 0); },
           [](KTZHANDLE h, BYTE *) { return FAITerminate(h); },
           [=](KTZHANDLE h, BYTE *s) { start(h, s, 3); }});

    // Digital word, double word and port groups; 122, 124, 126 and 127
    // pass the field at +8 before the one at +4.
    add({122, [](KTZHANDLE h, BYTE *s) { return Via(122, h, DioReadPortWordBlock{0, 0, At<WORD>(s, 2), At<WORD>(s, 6)}); },
           [](KTZHANDLE h, BYTE *s) { return DioReadPortWord(h, 0, At<WORD>(s, 6), At<WORD>(s, 2)); },
           [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 0, 0); }});
    add({123, [](KTZHANDLE h, BYTE *) { return Via(123, h, DioWritePortWordBlock{1, 0x0F0F, 0x1234}); },
           [](KTZHANDLE h, BYTE *) { return DioWritePortWord(h, 1, 0x0F0F, 0x1234); },
           [](KTZHANDLE h, BYTE *) { DioWritePortWord(h, 0, 0xFFFF, 0x6996); }});
    add({124, [](KTZHANDLE h, BYTE *s) { return Via(124, h, DioReadPortDwordBlock{0, 0, At<DWORD>(s, 4), At<DWORD>(s, 12)}); },
           [](KTZHANDLE h, BYTE *s) { return DioReadPortDword(h, 0, At<DWORD>(s, 12), At<DWORD>(s, 4)); },
           [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 1, 0); }});
    add({125, [](KTZHANDLE h, BYTE *) { return Via(125, h, DioWritePortDwordBlock{0, 0, 0x00FF00F0, 0x12345678}); },
           [](KTZHANDLE h, BYTE *) { return DioWritePortDword(h, 0, 0x00FF00F0, 0x12345678); },
           [](KTZHANDLE h, BYTE *) { DioWritePortWord(h, 0, 0xFFFF, 0x6996); }});
    add({126, [](KTZHANDLE h, BYTE *s) { return Via(126, h, DioGetCurrentDOWordBlock{0, 0, At<WORD>(s, 2), At<WORD>(s, 6)}); },
           [](KTZHANDLE h, BYTE *s) { return DioGetCurrentDOWord(h, 0, At<WORD>(s, 6), At<WORD>(s, 2)); },
           [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 0, 0); DioWritePortWord(h, 0, 0xFFFF, 0xBEEF); }});
    add({127, [](KTZHANDLE h, BYTE *s) { return Via(127, h, DioGetCurrentDODwordBlock{0, 0, At<DWORD>(s, 4), At<DWORD>(s, 12)}); },
           [](KTZHANDLE h, BYTE *s) { return DioGetCurrentDODword(h, 0, At<DWORD>(s, 12), At<DWORD>(s, 4)); },
           [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 1, 0); DioWritePortWord(h, 0, 0xFFFF, 0xBEEF); }});
    add({134, [](KTZHANDLE h, BYTE *s) { return Via(134, h, DioReadDiPortsBlock{1, 1, s + 3}); },
           [](KTZHANDLE h, BYTE *s) { return DioReadDiPorts(h, 1, 1, s + 3); }});
    add({135, [](KTZHANDLE h, BYTE *s) { return Via(135, h, DioWriteDoPortsBlock{0, 2, s + 3}); },
           [](KTZHANDLE h, BYTE *s) { return DioWriteDoPorts(h, 0, 2, s + 3); }});
    add({136, [](KTZHANDLE h, BYTE *s) { return Via(136, h, DioGetCurrentDoPortsStateBlock{0, 2, s + 3}); },
           [](KTZHANDLE h, BYTE *s) { return DioGetCurrentDoPortsState(h, 0, 2, s + 3); },
           [](KTZHANDLE h, BYTE *) { DioSetPortMode(h, 1, 0); DioWritePortWord(h, 0, 0xFFFF, 0xBEEF); }});
    return cases;
}

TEST_F(DriverProcTest, EveryCodeReachesItsFunctionWithTheDocumentedArguments) {
    for (const Case &c : Cases()) {
        SCOPED_TRACE(testing::Message() << "function code " << c.code);
        Effect viaDriverProc = Run(c, true);
        Effect direct = Run(c, false);
        EXPECT_EQ(viaDriverProc.result, direct.result);
        EXPECT_TRUE(viaDriverProc.memory == direct.memory);
        EXPECT_TRUE(viaDriverProc.settings == direct.settings);
        if (c.startsThread) continue;
        EXPECT_EQ(viaDriverProc.registers, direct.registers);
        EXPECT_EQ(viaDriverProc.requests, direct.requests);
        EXPECT_EQ(viaDriverProc.state, direct.state);
    }
}

TEST_F(DriverProcTest, UnknownCodesAnswer27WithoutReadingTheBlock) {
    KTZHANDLE handle = Fresh();
    const ULONG_PTR poison = 1;  // reading through it would crash
    std::vector<DWORD> codes = {138, 200, 0xFFFF, 8, 12, 13, 70};
    for (DWORD c = 36; c <= 62; ++c) codes.push_back(c);
    for (DWORD c = 66; c <= 68; ++c) codes.push_back(c);
    for (DWORD c = 81; c <= 98; ++c) codes.push_back(c);
    for (DWORD c = 102; c <= 106; ++c) codes.push_back(c);
    for (DWORD c = 110; c <= 117; ++c) codes.push_back(c);
    for (DWORD c = 119; c <= 121; ++c) codes.push_back(c);
    for (DWORD c = 131; c <= 133; ++c) codes.push_back(c);
    for (DWORD code : codes) EXPECT_EQ(DriverProc(0, 0, code, handle, poison), 27u) << code;
    EXPECT_TRUE(Trace().empty());
}

TEST_F(DriverProcTest, OnlyTheLow16BitsOfTheCodeCount) {
    KTZHANDLE handle = Fresh();
    AIConfigBlock block{5, 17};
    EXPECT_EQ(DriverProc(0xDEAD, 0xBEEF, 0x10000 + 3, handle, P(&block)), 0u);
    EXPECT_EQ(RegisterWrites().size(), 4u);  // the configuration of channel 5
    EXPECT_EQ(DriverProc(0, 0, 0x10000 + 138, handle, P(&block)), 27u);
}

TEST_F(DriverProcTest, OpenAndCloseCarryTheirArgumentsInHandleAndBlock) {
    KtzSimAddCard(0, 14, KTZSIM_PCI3649);
    Install(2, 1);
    KTZHANDLE handle = 0;
    ASSERT_EQ(DriverProc(0, 0, 0, 2, P(&handle)), 0u);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Record(handle).deviceNumber, 2u);
    ASSERT_EQ(DriverProc(0, 0, 1, P(&handle), 0), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(DriverProc(0, 0, 1, P(&handle), 0), 3u);  // the variable now holds 0
}

TEST_F(DriverProcTest, AMissingBlockIsRefusedNotRead) {
    KTZHANDLE handle = Fresh();
    EXPECT_EQ(DriverProc(0, 0, 3, handle, 0), 0x100Au);
    EXPECT_EQ(DriverProc(0, 0, 3, 0, 0), 3u);
    EXPECT_EQ(DriverProc(0, 0, 6, 0, 0), 10u);  // no handle: bare
    EXPECT_TRUE(Trace().empty());
}

}  // namespace
}  // namespace ktztest
