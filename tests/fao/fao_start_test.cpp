// Waveform output start: the argument checks in their order, the FIFO
// probe and the minimum sample count, the control word and the divisor,
// and the kernel driver's DMA buffer.
#include <ktz3649.h>

#include "fao_fixture.h"

namespace ktztest {
namespace {


// Ends whatever a case started without a drain: stop, then terminate.
void EndOutput(KTZHANDLE handle) {
    ASSERT_EQ(FAOStop(handle), 0u);
    ASSERT_EQ(FAOTerminate(handle), 0u);
}

TEST_F(FaoTest, ArgumentChecksComeFirst) {
    WORD samples[4] = {};
    DWORD d = 0;
    float v = 0;
    // Null handle: KtzErrInvalidHandle everywhere; the PCI-3649L: KtzErrNotSupported
    // where the board is tested.
    const struct {
        const char *name;
        DWORD nullHandle, pci3649L;
        DWORD (*call)(KTZHANDLE, WORD *, DWORD *, float *);
    } cases[] = {
        {"FAODmaStart", 3, 0x301B,
         [](KTZHANDLE h, WORD *s, DWORD *, float *) { return FAODmaStart(h, 0, 1000, 0, s, 4096); }},
        {"FAODmaStartLoad", 3, 0x301B,
         [](KTZHANDLE h, WORD *s, DWORD *, float *) { return FAODmaStartLoad(h, 0, s, 0, 4); }},
        {"FAOCheck", 3, 0x301B,
         [](KTZHANDLE h, WORD *s, DWORD *d, float *) { return FAOCheck(h, s, s, d, s, s); }},
        {"FAOCheckEx", 3, 0x301B,
         [](KTZHANDLE h, WORD *s, DWORD *d, float *) { return FAOCheckEx(h, s, s, s, d, s); }},
        {"FAOScale", 3, 0x301B,
         [](KTZHANDLE h, WORD *s, DWORD *, float *v) { return FAOScale(h, 0, 1, v, s); }},
        {"FAOStop", 3, 0x301B, [](KTZHANDLE h, WORD *, DWORD *, float *) { return FAOStop(h); }},
        {"FAOTerminate", 3, 0x301B,
         [](KTZHANDLE h, WORD *, DWORD *, float *) { return FAOTerminate(h); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        KtzSimTraceClear();
        EXPECT_EQ(c.call(0, samples, &d, &v), c.nullHandle);
        EXPECT_EQ(c.call(handleL_, samples, &d, &v), c.pci3649L);
        EXPECT_TRUE(Trace().empty());  // not a register, not a request
    }
    EXPECT_EQ(FAODmaExStart(0, 0, 1000, 0, 1, 0, samples, 4096, 0), 3u);
    EXPECT_EQ(FAOLoad(0, 0, samples, 0, 4), 3u);
    EXPECT_EQ(AllocateDMABuffer(0, 0, 8, &d, &d), 3u);
    EXPECT_EQ(FreeDMABuffer(0, &d), 3u);
    EXPECT_EQ(ClearFlag(0, kUnderrun), 3u);
    EXPECT_EQ(FAOIntStart(0, 1, 2, 3, 4, 5, 6), 0u);
    EXPECT_EQ(FAOIntStart(handle_, 0, 0, 0, 0, 0, 0), 0u);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(FaoTest, RateIsTestedBeforeTheProbeAndTheCountAfterIt) {
    const struct {
        unsigned fifo;
        WORD clockSource;
        DWORD rate, count, result;
        bool probed;
    } cases[] = {
        {4096, 0, 153, 4096, 0x1020, false},      {4096, 0, 1000001, 4096, 0x1020, false},
        {4096, 1, 153, 4096, 0, true},            {4096, 1, 0, 4096, 0, true},
        {4096, 0, 154, 4095, 0x1020, true},       {4096, 0, 1000000, 4096, 0, true},
        {32768, 0, 10000, 32767, 0x1020, true},   {32768, 0, 10000, 32768, 0, true},
        {32768, 0, 10000, 4096, 0x1020, true},
    };
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);  // nothing plays: the FIFO stays as started
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fifo << " " << c.rate << " " << c.count);
        ASSERT_EQ(KtzSimSetOutputFifoSize(0, c.fifo), 0);
        KtzSimTraceClear();
        EXPECT_EQ(Start(c.count, c.rate, 0, 0, c.clockSource), c.result);
        EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_ALLOCATE), 1u);
        auto registers = Registers();
        if (!c.probed) {
            EXPECT_TRUE(registers.empty());
        } else {
            ASSERT_EQ(registers.size(), 4096u + 5);
            WORD keep = c.clockSource ? 0x09FF : 0x01FF;
            EXPECT_EQ(registers[0], W16(8, 0x0800));
            EXPECT_EQ(registers[1].offset, 10u);
            EXPECT_EQ(registers[2], W16(10, registers[1].value & keep));
            for (size_t i = 3; i < 4096 + 3; ++i) ASSERT_EQ(registers[i], W16(48, 1)) << i;
            EXPECT_EQ(registers[4099].offset, 8u);
            EXPECT_EQ(registers[4099].value & 0x6000, c.fifo == 4096 ? 0x6000u : 0u);
            EXPECT_EQ(registers[4100], W16(8, 0x0800));
        }
        // Only an accepted start sends the samples and the start request.
        EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_START_LOAD), c.result == 0 ? 1u : 0u);
        EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_START), c.result == 0 ? 1u : 0u);
        EXPECT_EQ(Record(handle_).fao.faoRunning, c.result == 0 ? 1 : 0);
        EndOutput(handle_);
        EXPECT_EQ(OutputState().dmaBytes, 0u);
    }
}

TEST_F(FaoTest, ControlWordAndDivisor) {
    const struct {
        WORD reference0;
        float max0, min0;
        WORD reference1;
        float max1, min1;
        WORD channel, channelCount;
        DWORD rate;
        WORD control, divisor;
    } cases[] = {
        {0, 10, 0, 0, 10, 0, 1, 1, 10000, 0x0211, 1000},
        {0, 10, 0, 0, 10, 0, 0, 2, 10000, 0x0311, 1000},
        {0, 5, -5, 1, 10, 0, 0, 1, 154, 0x0134, 64935},
        {2, 10, -10, 0, 5, 0, 1, 1, 1000000, 0x0205, 10},
        {0, 5, 0, 0, 10, -10, 2, 1, 333, 0x0350, 30030},
    };
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "control 0x" << std::hex << c.control);
        ASSERT_EQ(AOConfig(handle_, 0, c.reference0, c.max0, c.min0), 0u);
        ASSERT_EQ(AOConfig(handle_, 1, c.reference1, c.max1, c.min1), 0u);
        samples_.assign(4096, 2048);
        EXPECT_EQ(FAODmaExStart(handle_, 0, c.rate, c.channel, c.channelCount, 0,
                                samples_.data(), 4096, 0),
                  0u);
        const auto &fao = Record(handle_).fao;
        EXPECT_EQ(fao.startRequest.control, c.control);
        EXPECT_EQ(fao.startRequest.pacerDivisor, c.divisor);
        EXPECT_EQ(fao.aoPacerDivisor, c.divisor);
        EXPECT_EQ(fao.startRequest.sampleCount, 4096u);
        // The card takes the range bits and the channel path, and plays.
        EXPECT_EQ(KtzSimPeek(0, 10, 16), 0x8000u | c.control);
        EndOutput(handle_);
    }
}

TEST_F(FaoTest, DriverRefusalsComeBackAsDeviceStatus) {
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);
    // Channel 3 names no output channel: the driver refuses with 7, and
    // the output counts as running until it is ended.
    samples_.assign(4096, 0);
    EXPECT_EQ(FAODmaExStart(handle_, 0, 1000, 3, 1, 0, samples_.data(), 4096, 0), 0x1007u);
    EXPECT_EQ(Record(handle_).fao.startRequest.control & 0x0700, 0x0400);
    EXPECT_EQ(Record(handle_).fao.faoRunning, 1);
    EXPECT_EQ(OutputState().running, 0u);
    KtzSimTraceClear();
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_TERMINATE), 1u);
    EXPECT_EQ(Record(handle_).fao.faoRunning, 0);

    // A status of the driver's own.
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_START, 0x65), 0);
    EXPECT_EQ(Start(4096), 0x1065u);
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_FAO_START, 0), 0);
    ASSERT_EQ(FAOTerminate(handle_), 0u);

    // FAODmaStart without a DMA buffer: the driver has none to play from.
    EXPECT_EQ(FAODmaStart(handle_, 0, 1000, 0, samples_.data(), 4096), 0x1021u);
    ASSERT_EQ(FAOTerminate(handle_), 0u);
}

TEST_F(FaoTest, ASecondStartWhileOneIsPendingTouchesNothing) {
    ASSERT_EQ(KtzSimSetTimeFactor(0), 0);
    ASSERT_EQ(Start(8192), 0u);  // more than the FIFO: the start stays pending
    ASSERT_EQ(OutputState().running, 1u);
    KtzSimTraceClear();
    EXPECT_EQ(FAODmaStart(handle_, 0, 1000, 0, samples_.data(), 8192), 0x102Bu);
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(OutputState().running, 1u);
    // Stopped, the buffer is still held and a start may follow.
    ASSERT_EQ(FAOStop(handle_), 0u);
    EXPECT_EQ(FAODmaStart(handle_, 0, 1000, 0, samples_.data(), 8192), 0u);
    EXPECT_EQ(OutputState().running, 1u);
    EndOutput(handle_);
}

TEST_F(FaoTest, ExternalClockWithRateZero) {
    // Bit 11 of register 10 selects the external clock; the probe keeps it.
    ASSERT_EQ(WritePortWord(handle_, 0xE000 + 10, 0x0800), 0u);
    ASSERT_EQ(KtzSimSetTimeFactor(1000), 0);
    ASSERT_EQ(KtzSimSetOutputClock(0, 1e6), 0);
    HANDLE ended = Watch(kOutputEnded);
    ASSERT_EQ(Start(4096, 0, 1, 0, 1, 3000), 0u);
    EXPECT_EQ(Record(handle_).fao.startRequest.pacerDivisor, 0);
    EXPECT_EQ(KtzSimPeek(0, 10, 16) & 0x8A00u, 0x8A00u);
    ASSERT_TRUE(Signalled(ended, kWait));
    ASSERT_EQ(FAOTerminate(handle_), 0u);  // the drain waits for the last sample
    unsigned long long played = 0;
    size_t copied = 0;
    ASSERT_EQ(KtzSimGetOutputRecord(0, 1, nullptr, 0, &copied, &played), 0);
    EXPECT_EQ(played, 4096u);
}

TEST_F(FaoTest, ShortDmaBufferReturnsBare1AndKeepsIt) {
    ASSERT_EQ(KtzSimSetDmaLimit(0, 8190), 0);
    EXPECT_EQ(Start(4096), 1u);
    EXPECT_TRUE(Registers().empty());
    EXPECT_EQ(OutputState().dmaBytes, 8190u);
    EXPECT_NE(Record(handle_).fao.faoDmaBuffer, 0u);
    // The held buffer keeps another allocation out.
    EXPECT_EQ(Start(4000), 0x102Bu);
    KtzSimTraceClear();
    ASSERT_EQ(FAOTerminate(handle_), 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_FAO_TERMINATE), 0u);  // nothing ran
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_FREE), 1u);
    EXPECT_EQ(Record(handle_).fao.faoDmaBuffer, 0u);
    EXPECT_EQ(OutputState().dmaBytes, 0u);
}

TEST_F(FaoTest, SampleCountBeyond32BitBytesIsRefusedBeforeAllocating) {
    ASSERT_EQ(KtzSimSetDmaLimit(0, 16), 0);
    WORD sample = 0;
    EXPECT_EQ(FAODmaExStart(handle_, 0, 1000, 0, 1, 1, &sample, 0x80000000u, 0), 0x1020u);
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(Record(handle_).fao.faoClockSource, 1);  // stored before any check
    // The largest count that fits goes to the driver, which obtains less.
    EXPECT_EQ(FAODmaExStart(handle_, 0, 1000, 0, 1, 1, &sample, 0x7FFFFFFFu, 0), 1u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_ALLOCATE), 1u);
    ASSERT_EQ(FAOTerminate(handle_), 0u);
}

TEST_F(FaoTest, AllocateAndFreeTheDmaBuffer) {
    DWORD size = 0xEEEE, address = 0xEEEE;
    // Outputs are tested after the availability query.
    EXPECT_EQ(AllocateDMABuffer(handle_, 0, 64, nullptr, &address), 0x100Au);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_AVAILABILITY), 1u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_ALLOCATE), 0u);

    ASSERT_EQ(KtzSimSetDmaAvailability(0, 5), 0);
    EXPECT_EQ(AllocateDMABuffer(handle_, 0, 64, &size, &address), 0x102Bu);
    EXPECT_EQ(Record(handle_).fao.aoAvailWord, 5);
    EXPECT_EQ(size, 0xEEEEu);
    ASSERT_EQ(KtzSimSetDmaAvailability(0, 0), 0);

    // A status reply still stores the (empty) size and address.
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_DMA_ALLOCATE, 77), 0);
    EXPECT_EQ(AllocateDMABuffer(handle_, 0, 64, &size, &address), 0x104Du);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(address, 0u);
    ASSERT_EQ(KtzSimSetOutputStatus(0, KTZ_IOCTL_DMA_ALLOCATE, 0), 0);

    EXPECT_EQ(AllocateDMABuffer(handle_, 0, 64, &size, &address), 0u);
    EXPECT_EQ(size, 64u);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(Record(handle_).fao.aoAvailWord, 0);
    DWORD second = 0;
    EXPECT_EQ(AllocateDMABuffer(handle_, 0, 64, &size, &second), 0x102Bu);

    KtzSimTraceClear();
    EXPECT_EQ(FreeDMABuffer(handle_, nullptr), 0x100Au);
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(FreeDMABuffer(handle_, &address), 0u);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(OutputState().dmaBytes, 0u);
    address = 0x1234;  // nothing held: the variable is still cleared
    EXPECT_EQ(FreeDMABuffer(handle_, &address), 0u);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_DMA_FREE), 2u);

    // The PCI-3649L holds no DMA buffer for an output it does not have.
    EXPECT_EQ(AllocateDMABuffer(handleL_, 0, 64, &size, &address), 0x301Bu);
}

}  // namespace
}  // namespace ktztest
