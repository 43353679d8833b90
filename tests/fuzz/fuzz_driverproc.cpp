// DriverProc, the exported dispatcher, with fuzzed function codes and
// parameter blocks on the virtual lab. An input is a run of up to eight
// calls; each picks a code (one of those with a function, or any 32-bit
// value), a handle (an open PCI-3649, an open PCI-3649L, null, or a value
// that is no handle) and the bytes of the code's block. Every field of a
// block that carries an address points into a scratch block of its own,
// sized as the caller's side of the call promises (a reading: one word; a
// table: its count of entries, bounded by what the device could ever
// use), or is null now and then; never at memory the harness does not own.
// The acquisition buffer (a global memory block) has a fuzzed size, which
// the library checks.
//
// The two devices stay open across inputs. After each input the harness
// ends what the input started (acquisition, waveform output, measurement
// threads), closes the extra opens it made, reopens a device whose record
// kept state of the input (events, the DMA buffer, an acquisition's buffer,
// properties), and only then frees the input's memory.
#include <ktz3649.h>
#include <ktz3649sim.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz_input.h"

namespace {

using fuzz::Fail;

// The codes that reach a function.
constexpr WORD kCodes[] = {0,  1,  2,  3,  4,  5,  6,  7,  9,   10,  11,  14,  15,  16,  17,  18,
                           19, 20, 21, 22, 23, 24, 25, 26, 27,  28,  29,  30,  31,  32,  33,  34,
                           35, 63, 64, 65, 69, 71, 72, 73, 74,  75,  76,  77,  78,  79,  80,  99,
                           100, 101, 107, 108, 109, 118, 122, 123, 124, 125, 126, 127, 128, 129,
                           130, 134, 135, 136, 137};

// The largest counts a correct call on the lab can use: the scratch blocks
// are sized for the count in the block but no larger than this (a library
// that went past it would go past the data it accepted anyway).
constexpr size_t kMaxLogicalChannels = 17;  // 16 channels, one more to spare
constexpr size_t kMaxPorts = 16;
constexpr size_t kMaxFaiSamples = 1024000;  // the largest acquisition
constexpr size_t kDmaLimit = size_t{1} << 20;  // the lab's DMA buffers (bytes) on the PCI-3649
// Counts that the harness cuts (modulo one more) to keep each input quick:
// the waveform tables and DMA buffers (the PCI-3649L's driver has no
// limit below 64 MiB), and FAOScale's table.
constexpr DWORD kMaxOutputSamples = DWORD{1} << 18;
constexpr DWORD kMaxDmaRequest = 2 * kDmaLimit;
constexpr DWORD kMaxScaleCount = 65536;

// The open devices: device 0 on a PCI-3649, device 1 on a PCI-3649L.
struct Device {
    DWORD number;
    KTZHANDLE handle = 0;
    bool reset = false;     // the input left state in the record: reopen it
    bool started = false;   // the input may have started something: end it
};
Device devices[2] = {{0}, {1}};

void Open(Device &d) {
    if (DeviceOpen(d.number, &d.handle) != 0) Fail("a device of the lab does not open");
}

// FUZZ_TRACE set: each call and its result on stderr.
const bool trace = std::getenv("FUZZ_TRACE") != nullptr;

template <class T>
ULONG_PTR Address(T *p) {
    return reinterpret_cast<ULONG_PTR>(p);
}

// One input: its data, and the memory and opens it made.
class Input {
public:
    explicit Input(fuzz::Reader &reader) : reader_(reader) {}
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    fuzz::Reader &Data() { return reader_; }

    // An array of exactly n elements (a block of one byte at least) from a
    // byte (255: null), a pattern length (up to 32) and the pattern, which
    // is repeated over the block (zeros without one).
    template <class T>
    T *Array(size_t n) {
        if (reader_.Byte() == 255) return nullptr;
        const std::vector<uint8_t> pattern = reader_.Bytes(reader_.Byte() % 33);
        return Scratch<T>(n, pattern);
    }

    // A zeroed parameter block.
    template <class B>
    B *Block() {
        return Scratch<B>(1, {});
    }

    // A block with the given number fields read in turn.
    template <class B, class... M>
    B *Read(M B::*...fields) {
        B *b = Block<B>();
        reader_.Fields((b->*fields)...);
        return b;
    }

    // A global memory block of `bytes`, moveable or fixed (freed after
    // the devices are reset).
    HGLOBAL Global(size_t bytes, bool moveable) {
        HGLOBAL block = GlobalAlloc(moveable ? GMEM_MOVEABLE : GMEM_FIXED, bytes);
        if (block) globals_.push_back(block);
        return block;
    }

    // An open of a device made by a call (closed at the end).
    void ExtraOpen(KTZHANDLE handle) { extraOpens_.push_back(handle); }

    // The largest acquisition started in this input.
    size_t faiSamples = 0;

    ~Input() {
        for (KTZHANDLE handle : extraOpens_)
            if (DeviceClose(&handle) != 0) Fail("an extra open does not close");
        for (Device &d : devices) {
            if (d.started) {
                FAITerminate(d.handle);
                FAOTerminate(d.handle);
                CounterReset(d.handle, 2);
            }
            if (d.reset) {
                if (DeviceClose(&d.handle) != 0) Fail("a device does not close");
                Open(d);
            }
            d.started = d.reset = false;
            DWORD size = 0;
            if (GetFIFOSize(d.handle, &size) != 0) Fail("a device of the lab was lost");
        }
        for (HGLOBAL block : globals_) GlobalFree(block);
    }

private:
    template <class T>
    T *Scratch(size_t n, const std::vector<uint8_t> &pattern) {
        const size_t bytes = n * sizeof(T);
        auto block = std::make_unique<unsigned char[]>(bytes ? bytes : 1);
        if (!pattern.empty() && bytes) {
            const size_t first = std::min(bytes, pattern.size());
            std::memcpy(block.get(), pattern.data(), first);
            for (size_t done = first; done < bytes; done *= 2)
                std::memcpy(block.get() + done, block.get(), std::min(done, bytes - done));
        }
        T *p = reinterpret_cast<T *>(block.get());
        blocks_.push_back(std::move(block));
        return p;
    }

    fuzz::Reader &reader_;
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    std::vector<HGLOBAL> globals_;
    std::vector<KTZHANDLE> extraOpens_;
};

// What the codes leave behind, by code: started (something runs until
// ended) and kept (the record holds state of the call).
bool Starts(WORD code) {
    switch (code) {
    case 30: case 32: case 33: case 34: case 63: case 64: case 65: case 69: case 71: case 72:
    case 73: case 74: case 75: case 76: case 78: case 100: case 101: case 118: case 128:
    case 137:
        return true;
    default:
        return false;
    }
}
bool Keeps(WORD code) { return code == 77 || code == 79 || code == 101 || code == 108; }

// A count of entries for a scratch block: the count, bounded.
size_t Bounded(size_t count, size_t most) { return std::min(count, most); }

// The lab's time factor, and the fastest pacer rates of output and input
// that the harness lets through. The lab's output engine plays every tick
// that is due, one by one, before a request goes on: a fast output at a
// high factor would never let a request through (a tick costs about a
// microsecond here). So the factor lets the slowest output's FIFO play out
// in some 30 ms, and the rates are moved
// to the slow end: an output rate (which the library does not check with an
// external clock) up to 10 MHz to 0 to 200 Hz, past 10 MHz it stays (a
// divisor of 0, the slowest); an input rate the library takes (154 Hz to
// 1 MHz) to 154 to 2000 Hz, others stay (refused).
constexpr double kTimeFactor = 1000.0;
constexpr DWORD kFastestOutputHz = 200;
constexpr DWORD kFastestInputHz = 2000;
DWORD SlowOutputRate(DWORD rate) { return rate <= 10000000 ? rate % (kFastestOutputHz + 1) : rate; }
DWORD SlowInputRate(DWORD rate) {
    constexpr DWORD kSlowest = 154, kFastest = 1000000;
    return rate >= kSlowest && rate <= kFastest ? kSlowest + rate % (kFastestInputHz - kSlowest + 1) : rate;
}

// Calls DriverProc once for the code, with its block read from the input:
// its number fields in their order, then for each address field an array
// (see Input::Array), in their order.
void CallOne(Input &in, DWORD functionCode, ULONG_PTR handle, bool withBlock) {
    fuzz::Reader &r = in.Data();
    const WORD code = LOWORD(functionCode);
    auto call = [&](ULONG_PTR h, ULONG_PTR parameters) {
        const DWORD result = DriverProc(0, 0, functionCode, h, parameters);
        if (trace)
            std::fprintf(stderr, "code %u, handle %#lx%s: %#x\n", static_cast<unsigned>(functionCode),
                         static_cast<unsigned long>(h), parameters ? "" : ", no block", result);
    };
    auto block = [&](auto *b) { call(handle, withBlock ? Address(b) : 0); };

    switch (code) {
    case 0: {  // DeviceOpen: the handle is a device number (0 to 3), the block the handle variable
        const DWORD number = r.Byte() % 4;
        auto *variable = in.Array<KTZHANDLE>(1);
        if (DriverProc(0, 0, functionCode, number, Address(variable)) == 0) in.ExtraOpen(*variable);
        return;
    }
    case 1: {  // DeviceClose: the handle is the address of the handle variable
        // It holds 0, whatever the input put there, or an open device's
        // handle: then the harness opens that device once more first, so
        // that the close takes that open and not the one it keeps.
        const BYTE content = r.Byte();
        auto *variable = in.Array<KTZHANDLE>(1);
        Device *closed = nullptr;
        if (variable) {
            if (content % 4 == 0) *variable = 0;
            if (content % 4 >= 2) *variable = devices[content % 2].handle;
            for (Device &d : devices)
                if (*variable == d.handle) closed = &d;
            if (closed && DeviceOpen(closed->number, variable) != 0) Fail("a second open failed");
        }
        const KTZHANDLE held = variable ? *variable : 0;
        if (DriverProc(0, 0, functionCode, Address(variable), 0) != 0 && closed) in.ExtraOpen(held);
        return;
    }
    case 35:   // CounterReset: the block is the counter number
    case 118:  // ClearFlag: the block is the flag code
    case 65: case 75: case 76: case 129: case 130:  // the handle only
        call(handle, r.Take<ULONG_PTR>());
        return;
    case 80:  // FreeDMABuffer: the block is the address variable
    case 99:  // GetFIFOSize: the block is the u32
        call(handle, Address(in.Array<DWORD>(1)));
        return;
    case 2: {
        auto *b = in.Block<DeviceGetFeaturesBlock>();
        r.Fields(b->bufferSize);
        b->buffer = in.Array<KtzDeviceFeatures>(1);  // all 520 bytes, whatever the size says
        return block(b);
    }
    case 3: {
        auto *b = in.Block<AIConfigBlock>();
        r.Fields(b->channel, b->gainCode);
        return block(b);
    }
    case 4: {
        auto *b = in.Block<AIGetConfigBlock>();
        r.Fields(b->reserved);
        b->config = in.Array<BYTE>(276);
        return block(b);
    }
    case 5: {
        auto *b = in.Block<AIBinaryInBlock>();
        r.Fields(b->channel, b->triggerMode);
        b->reading = in.Array<WORD>(1);
        return block(b);
    }
    case 6: {
        auto *b = in.Block<AIScaleBlock>();
        r.Fields(b->reading, b->fullScale, b->maxCount, b->offset);
        b->voltage = in.Array<FLOAT>(1);
        return block(b);
    }
    case 7: {
        auto *b = in.Block<AIVoltageInBlock>();
        r.Fields(b->channel, b->gainCode, b->triggerMode);
        b->voltage = in.Array<FLOAT>(1);
        return block(b);
    }
    case 9: {
        auto *b = in.Block<MAIConfigBlock>();
        r.Fields(b->channels, b->startChannel);
        b->gainCodes = in.Array<WORD>(Bounded(b->channels, kMaxLogicalChannels));
        return block(b);
    }
    case 10: {
        auto *b = in.Block<MAIBinaryInBlock>();
        r.Fields(b->channels, b->startChannel, b->triggerMode);
        b->readings = in.Array<WORD>(Bounded(b->channels, kMaxLogicalChannels));
        return block(b);
    }
    case 11: {
        auto *b = in.Block<MAIVoltageInBlock>();
        r.Fields(b->channels, b->startChannel, b->triggerMode);
        b->gainCodes = in.Array<WORD>(Bounded(b->channels, kMaxLogicalChannels));
        b->voltages = in.Array<FLOAT>(Bounded(b->channels, kMaxLogicalChannels));
        return block(b);
    }
    case 14: {
        auto *b = in.Block<AOConfigBlock>();
        r.Fields(b->channel, b->referenceSource, b->maximum, b->minimum);
        return block(b);
    }
    case 15: {
        auto *b = in.Block<AOBinaryOutBlock>();
        r.Fields(b->channel, b->code);
        return block(b);
    }
    case 16: {
        auto *b = in.Block<AOVoltageOutBlock>();
        r.Fields(b->channel, b->voltage);
        return block(b);
    }
    case 17: {
        auto *b = in.Block<AOScaleBlock>();
        r.Fields(b->channel, b->voltage);
        b->code = in.Array<WORD>(1);
        return block(b);
    }
    case 18: {
        auto *b = in.Block<DioSetPortModeBlock>();
        r.Fields(b->port, b->direction);
        return block(b);
    }
    case 19: {
        auto *b = in.Block<DioGetConfigBlock>();
        r.Fields(b->count);
        b->directions = in.Array<WORD>(b->count);
        return block(b);
    }
    case 20: case 24: case 28: case 29: {  // a port and the address of a word
        auto *b = in.Block<DioReadPortByteBlock>();  // the layout of all four
        r.Fields(b->port);
        b->value = in.Array<WORD>(1);
        return block(b);
    }
    case 21: return block(in.Read<DioWritePortByteBlock>(&DioWritePortByteBlock::port,
                                                         &DioWritePortByteBlock::mask,
                                                         &DioWritePortByteBlock::state));
    case 22: case 25: {  // a port, a bit and the address of a word
        auto *b = in.Block<DioReadBitBlock>();  // the layout of both
        r.Fields(b->port, b->bit);
        b->value = in.Array<WORD>(1);
        return block(b);
    }
    case 23: return block(in.Read<DioWriteBitBlock>(&DioWriteBitBlock::port, &DioWriteBitBlock::bit,
                                                    &DioWriteBitBlock::state));
    case 26: return block(in.Read<WritePortByteBlock>(&WritePortByteBlock::port, &WritePortByteBlock::value));
    case 27: return block(in.Read<WritePortWordBlock>(&WritePortWordBlock::port, &WritePortWordBlock::value));
    case 30: return block(in.Read<CounterEventStartBlock>(&CounterEventStartBlock::counter,
                                                          &CounterEventStartBlock::gateMode));
    case 123: return block(in.Read<DioWritePortWordBlock>(&DioWritePortWordBlock::port,
                                                          &DioWritePortWordBlock::mask,
                                                          &DioWritePortWordBlock::state));
    case 31: {
        auto *b = in.Block<CounterEventReadBlock>();
        r.Fields(b->counter);
        b->overflow = in.Array<WORD>(1);
        b->count = in.Array<DWORD>(1);
        return block(b);
    }
    case 32: {
        auto *b = in.Block<CounterFreqStartBlock>();
        r.Fields(b->counter, b->reserved1, b->reserved2);
        return block(b);
    }
    case 33: {
        auto *b = in.Block<CounterFreqReadBlock>();
        r.Fields(b->counter);
        b->frequency = in.Array<FLOAT>(1);
        return block(b);
    }
    case 34: {
        auto *b = in.Block<CounterPulseStartBlock>();
        r.Fields(b->counter, b->period, b->reserved, b->gateMode);
        return block(b);
    }
    case 63: case 74: case 137: {  // five addresses
        auto *b = in.Block<FAICheckBlock>();  // the layout of all three
        b->stopped = in.Array<WORD>(1);
        b->status1 = in.Array<WORD>(1);
        b->count = in.Array<DWORD>(1);
        b->status2 = in.Array<WORD>(1);
        b->status3 = in.Array<WORD>(1);
        return block(b);
    }
    case 64: {
        auto *b = in.Block<FAITransferBlock>();
        r.Fields(b->reserved, b->dataType, b->startIndex, b->count, b->reserved2);
        const size_t count = Bounded(b->count, in.faiSamples + 1);
        b->destination = b->dataType == 0 ? static_cast<LPVOID>(in.Array<WORD>(count))
                                          : static_cast<LPVOID>(in.Array<FLOAT>(count));
        return block(b);
    }
    case 69: {
        auto *b = in.Block<FAIWatchdogCheckBlock>();
        r.Fields(b->reserved, b->reserved1, b->reserved2, b->reserved3, b->reserved4);
        b->triggerIndex = in.Array<DWORD>(1);
        return block(b);
    }
    case 71: {
        auto *b = in.Block<FAODmaStartBlock>();
        r.Fields(b->option, b->rate, b->channel, b->sampleCount);
        b->rate = SlowOutputRate(b->rate);
        b->sampleCount %= kMaxOutputSamples + 1;
        b->samples = in.Array<WORD>(b->sampleCount);
        return block(b);
    }
    case 72: {
        auto *b = in.Block<FAOScaleBlock>();
        r.Fields(b->channel, b->count);
        b->count %= kMaxScaleCount + 1;
        b->voltages = in.Array<FLOAT>(b->count);
        b->codes = in.Array<WORD>(b->count);
        return block(b);
    }
    case 73: {
        auto *b = in.Block<FAOLoadBlock>();
        r.Fields(b->reserved, b->loadArgument, b->sampleCount);
        b->sampleCount %= kMaxOutputSamples + 1;
        b->samples = in.Array<WORD>(b->sampleCount);
        return block(b);
    }
    case 77: {
        auto *b = in.Block<EnableEventBlock>();
        r.Fields(b->eventType, b->enabled, b->count);
        return block(b);
    }
    case 78: {
        auto *b = in.Block<CheckEventBlock>();
        r.Fields(b->timeout);
        b->timeout %= 3;  // milliseconds: no input waits long
        b->eventType = in.Array<WORD>(1);
        return block(b);
    }
    case 79: {
        auto *b = in.Block<AllocateDMABufferBlock>();
        r.Fields(b->mode, b->size);
        b->size %= kMaxDmaRequest + 1;
        b->sizeObtained = in.Array<DWORD>(1);
        b->address = in.Array<DWORD>(1);
        return block(b);
    }
    case 100: {
        auto *b = in.Block<PWMStartReadBlock>();
        r.Fields(b->reserved);
        b->firstTime = in.Array<FLOAT>(1);
        b->secondTime = in.Array<FLOAT>(1);
        return block(b);
    }
    case 101: {
        auto *b = in.Block<FAIDmaExStartBlock>();
        r.Fields(b->triggerSource, b->triggerMode, b->clockSource, b->option1, b->option2,
                 b->triggerLevel, b->option3, b->scanLength, b->startChannel, b->postTriggerScans,
                 b->sampleCount, b->sampleRate, b->reserved40, b->reserved44, b->reserved52,
                 b->reserved56, b->reserved60, b->reserved64);
        b->sampleRate = SlowInputRate(b->sampleRate);
        // The buffer: the size the samples take, a few bytes less or more,
        // or any size up to 4 KiB; or none.
        const BYTE choice = r.Byte();
        const int delta = static_cast<int8_t>(r.Byte()) % 3;
        size_t bytes = Bounded(size_t{b->sampleCount} * 2, 2 * kMaxFaiSamples);
        if (choice % 4 == 1) bytes = r.Take<WORD>() % 4097;
        else if (delta < 0 && bytes < 2) bytes = 0;
        else bytes += delta;
        b->bufferHandle = choice % 4 == 3 ? nullptr : in.Global(bytes, choice & 4);
        in.faiSamples = std::max(in.faiSamples, Bounded(b->sampleCount, kMaxFaiSamples));
        b->gainList = in.Array<WORD>(Bounded(b->scanLength, kMaxLogicalChannels));
        return block(b);
    }
    case 107: {
        auto *b = in.Block<ReadAOSettingsBlock>();
        r.Fields(b->property);
        b->byteCount = in.Array<DWORD>(1);
        b->buffer = in.Array<BYTE>(40);  // two 20-byte entries
        return block(b);
    }
    case 108: {
        auto *b = in.Block<DeviceSetPropertyBlock>();
        r.Fields(b->property, b->length);
        b->length %= 256;
        // The pacer rates are read as a u32 whatever the length says.
        const bool rate = b->property == KTZ_PROP_AI_PACER_RATE || b->property == KTZ_PROP_AO_PACER_RATE;
        b->data = in.Array<BYTE>(rate ? std::max<DWORD>(b->length, 4) : b->length);
        return block(b);
    }
    case 109: {
        auto *b = in.Block<DeviceGetPropertyBlock>();
        r.Fields(b->property);
        b->length = in.Array<DWORD>(1);
        const DWORD size = b->length ? (*b->length %= 256) : 0;
        b->buffer = in.Array<BYTE>(size);
        return block(b);
    }
    case 122: case 126: {  // a port and the addresses of two words
        auto *b = in.Block<DioReadPortWordBlock>();  // the layout of both
        r.Fields(b->port);
        b->value = in.Array<WORD>(1);
        b->validMask = in.Array<WORD>(1);
        return block(b);
    }
    case 124: case 127: {  // a port and the addresses of two u32
        auto *b = in.Block<DioReadPortDwordBlock>();  // the layout of both
        r.Fields(b->port);
        b->value = in.Array<DWORD>(1);
        b->validMask = in.Array<DWORD>(1);
        return block(b);
    }
    case 125: {
        auto *b = in.Block<DioWritePortDwordBlock>();
        r.Fields(b->port, b->mask, b->state);
        return block(b);
    }
    case 128: {
        auto *b = in.Block<FAODmaExStartBlock>();
        r.Fields(b->option, b->rate, b->channel, b->channelCount, b->sampleCount, b->mode,
                 b->clockSource);
        b->rate = SlowOutputRate(b->rate);
        // Counts whose bytes do not fit 32 bits stay: they are refused first.
        if (b->sampleCount <= 0x7FFFFFFF) b->sampleCount %= kMaxOutputSamples + 1;
        b->samples = in.Array<WORD>(Bounded(b->sampleCount, kMaxOutputSamples));
        return block(b);
    }
    case 134: case 135: case 136: {  // ports and a byte per port
        auto *b = in.Block<DioReadDiPortsBlock>();  // the layout of all three
        r.Fields(b->firstPort, b->portCount);
        b->buffer = in.Array<BYTE>(Bounded(b->portCount, kMaxPorts));
        return block(b);
    }
    default:  // no function: the block is never read
        call(handle, r.Take<ULONG_PTR>());
        return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    unsetenv("HOSTWIN_REGISTRY");
    KtzSimReset(0);
    const int cards[2] = {KtzSimAddCard(0, 13, KTZSIM_PCI3649), KtzSimAddCard(0, 14, KTZSIM_PCI3649L)};
    for (int i = 0; i < 2; ++i) {
        if (cards[i] != i || KtzSimInstallDevice(devices[i].number, cards[i], nullptr) != 0)
            Fail("cannot set up the lab");
        KtzSimSetConversionTime(cards[i], 100);
        KtzSimSetCounterPollCost(cards[i], 1000000);
        KtzSimSetCounterRate(cards[i], 2, 10000.0);
        KtzSimSetExternalTrigger(cards[i], 50000, KTZSIM_ENDLESS);
        KtzSimSetExternalClock(cards[i], 1000000000 / kFastestInputHz);
    }
    KtzSimSetDmaLimit(cards[0], kDmaLimit);
    KtzSimSetOutputClock(cards[0], kFastestOutputHz);
    KtzSimSetTimeFactor(kTimeFactor);
    KtzSimTraceEnable(0);
    for (Device &d : devices) Open(d);
    return 0;
}

// An input is a run of calls, each: a byte that picks the code (past the
// list: a u32 code follows), a byte that picks the handle (0-4: device 0,
// 5: device 1, 6: null, 7: a u64 follows), a byte (255: no block), then
// what the code reads (CallOne).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    fuzz::Reader reader(bytes, size);
    Input in(reader);
    for (int calls = 0; calls < 8 && !reader.Empty(); ++calls) {
        const size_t pick = reader.Byte();
        const DWORD functionCode = pick < std::size(kCodes) ? kCodes[pick] : reader.Take<DWORD>();
        ULONG_PTR handle = 0;
        switch (const BYTE h = reader.Byte() % 8) {
        case 6: break;
        case 7: handle = reader.Take<ULONG_PTR>(); break;
        default: handle = devices[h == 5].handle;
        }
        const bool withBlock = reader.Byte() != 255;
        // Whatever the handle names, the devices may have been reached.
        const WORD code = LOWORD(functionCode);
        for (Device &d : devices) {
            d.started = d.started || Starts(code);
            d.reset = d.reset || Keeps(code);
        }
        CallOne(in, functionCode, handle, withBlock);
    }
    return 0;
}
