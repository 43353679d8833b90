// DriverProc: one row per function code, each reading its parameter block
// into the arguments of the function it reaches, in the order that function
// takes them.
#include <array>
#include <cstddef>

#include "properties/properties.h"
#include "core/device.h"
#include "core/result.h"

namespace ktz {
namespace {

using Route = DWORD (*)(ULONG_PTR handle, ULONG_PTR parameters);

constexpr WORD kLastCode = 137;

// A block that is not there: the target could not even read its arguments.
// A handle that is no open device still answers 3 first, as it would.
DWORD MissingBlock(ULONG_PTR handle) {
    DeviceUse device(handle);
    return device ? DeviceError(*device, KtzErrInvalidParameter) : device.Refusal();
}

// A row whose arguments come from a parameter block.
template <class Block, auto Call>
DWORD FromBlock(ULONG_PTR handle, ULONG_PTR parameters) {
    if (!parameters) return MissingBlock(handle);
    return Call(handle, *reinterpret_cast<const Block *>(parameters));
}

// A row that passes the handle (and the fifth argument) itself.
template <auto Call>
DWORD Direct(ULONG_PTR handle, ULONG_PTR parameters) {
    return Call(handle, parameters);
}

template <class T>
T *Address(ULONG_PTR value) {
    return reinterpret_cast<T *>(value);
}

struct Row {
    WORD code;
    Route route;
};

// clang-format off
constexpr Row kRows[] = {
    {0, Direct<[](ULONG_PTR h, ULONG_PTR p) { return DeviceOpen(static_cast<DWORD>(h), Address<KTZHANDLE>(p)); }>},
    {1, Direct<[](ULONG_PTR h, ULONG_PTR) { return DeviceClose(Address<KTZHANDLE>(h)); }>},
    {2, FromBlock<DeviceGetFeaturesBlock, [](ULONG_PTR h, const DeviceGetFeaturesBlock &b) {
         return DeviceGetFeatures(h, b.buffer, b.bufferSize); }>},
    {3, FromBlock<AIConfigBlock, [](ULONG_PTR h, const AIConfigBlock &b) {
         return AIConfig(h, b.channel, b.gainCode); }>},
    {4, FromBlock<AIGetConfigBlock, [](ULONG_PTR h, const AIGetConfigBlock &b) {
         return AIGetConfig(h, b.config, b.reserved); }>},
    {5, FromBlock<AIBinaryInBlock, [](ULONG_PTR h, const AIBinaryInBlock &b) {
         return AIBinaryIn(h, b.channel, b.triggerMode, b.reading); }>},
    {6, [](ULONG_PTR, ULONG_PTR p) -> DWORD {  // no handle
         if (!p) return Bare(KtzErrInvalidParameter);
         const auto &b = *reinterpret_cast<const AIScaleBlock *>(p);
         return AIScale(b.reading, b.fullScale, b.maxCount, b.offset, b.voltage); }},
    {7, FromBlock<AIVoltageInBlock, [](ULONG_PTR h, const AIVoltageInBlock &b) {
         return AIVoltageIn(h, b.channel, b.gainCode, b.triggerMode, b.voltage); }>},
    {9, FromBlock<MAIConfigBlock, [](ULONG_PTR h, const MAIConfigBlock &b) {
         return MAIConfig(h, b.channels, b.startChannel, b.gainCodes); }>},
    {10, FromBlock<MAIBinaryInBlock, [](ULONG_PTR h, const MAIBinaryInBlock &b) {
         return MAIBinaryIn(h, b.channels, b.startChannel, b.triggerMode, b.readings); }>},
    {11, FromBlock<MAIVoltageInBlock, [](ULONG_PTR h, const MAIVoltageInBlock &b) {
         return MAIVoltageIn(h, b.channels, b.startChannel, b.gainCodes, b.triggerMode, b.voltages); }>},
    {14, FromBlock<AOConfigBlock, [](ULONG_PTR h, const AOConfigBlock &b) {
         return AOConfig(h, b.channel, b.referenceSource, b.maximum, b.minimum); }>},
    {15, FromBlock<AOBinaryOutBlock, [](ULONG_PTR h, const AOBinaryOutBlock &b) {
         return AOBinaryOut(h, b.channel, b.code); }>},
    {16, FromBlock<AOVoltageOutBlock, [](ULONG_PTR h, const AOVoltageOutBlock &b) {
         return AOVoltageOut(h, b.channel, b.voltage); }>},
    {17, FromBlock<AOScaleBlock, [](ULONG_PTR h, const AOScaleBlock &b) {
         return AOScale(h, b.channel, b.voltage, b.code); }>},
    {18, FromBlock<DioSetPortModeBlock, [](ULONG_PTR h, const DioSetPortModeBlock &b) {
         return DioSetPortMode(h, b.port, b.direction); }>},
    {19, FromBlock<DioGetConfigBlock, [](ULONG_PTR h, const DioGetConfigBlock &b) {
         return DioGetConfig(h, b.directions, b.count); }>},
    {20, FromBlock<DioReadPortByteBlock, [](ULONG_PTR h, const DioReadPortByteBlock &b) {
         return DioReadPortByte(h, b.port, b.value); }>},
    {21, FromBlock<DioWritePortByteBlock, [](ULONG_PTR h, const DioWritePortByteBlock &b) {
         return DioWritePortByte(h, b.port, b.mask, b.state); }>},
    {22, FromBlock<DioReadBitBlock, [](ULONG_PTR h, const DioReadBitBlock &b) {
         return DioReadBit(h, b.port, b.bit, b.value); }>},
    {23, FromBlock<DioWriteBitBlock, [](ULONG_PTR h, const DioWriteBitBlock &b) {
         return DioWriteBit(h, b.port, b.bit, b.state); }>},
    {24, FromBlock<DioGetCurrentDOByteBlock, [](ULONG_PTR h, const DioGetCurrentDOByteBlock &b) {
         return DioGetCurrentDOByte(h, b.port, b.value); }>},
    {25, FromBlock<DioGetCurrentDOBitBlock, [](ULONG_PTR h, const DioGetCurrentDOBitBlock &b) {
         return DioGetCurrentDOBit(h, b.port, b.bit, b.value); }>},
    {26, FromBlock<WritePortByteBlock, [](ULONG_PTR h, const WritePortByteBlock &b) {
         return WritePortByte(h, b.port, LOBYTE(b.value)); }>},
    {27, FromBlock<WritePortWordBlock, [](ULONG_PTR h, const WritePortWordBlock &b) {
         return WritePortWord(h, b.port, b.value); }>},
    {28, FromBlock<ReadPortByteBlock, [](ULONG_PTR h, const ReadPortByteBlock &b) {
         return ReadPortByte(h, b.port, b.value); }>},
    {29, FromBlock<ReadPortWordBlock, [](ULONG_PTR h, const ReadPortWordBlock &b) {
         return ReadPortWord(h, b.port, b.value); }>},
    {30, FromBlock<CounterEventStartBlock, [](ULONG_PTR h, const CounterEventStartBlock &b) {
         return CounterEventStart(h, b.counter, b.gateMode); }>},
    {31, FromBlock<CounterEventReadBlock, [](ULONG_PTR h, const CounterEventReadBlock &b) {
         return CounterEventRead(h, b.counter, b.overflow, b.count); }>},
    {32, FromBlock<CounterFreqStartBlock, [](ULONG_PTR h, const CounterFreqStartBlock &b) {
         return CounterFreqStart(h, b.counter, b.reserved1, b.reserved2); }>},
    {33, FromBlock<CounterFreqReadBlock, [](ULONG_PTR h, const CounterFreqReadBlock &b) {
         return CounterFreqRead(h, b.counter, b.frequency); }>},
    {34, FromBlock<CounterPulseStartBlock, [](ULONG_PTR h, const CounterPulseStartBlock &b) {
         return CounterPulseStart(h, b.counter, b.period, b.reserved, b.gateMode); }>},
    {35, Direct<[](ULONG_PTR h, ULONG_PTR p) { return CounterReset(h, static_cast<WORD>(p)); }>},
    {63, FromBlock<FAICheckBlock, [](ULONG_PTR h, const FAICheckBlock &b) {
         return FAICheck(h, b.stopped, b.status1, b.count, b.status2, b.status3); }>},
    {64, FromBlock<FAITransferBlock, [](ULONG_PTR h, const FAITransferBlock &b) {
         return FAITransfer(h, b.reserved, b.destination, b.dataType, b.startIndex, b.count,
                            b.reserved2); }>},
    {65, Direct<[](ULONG_PTR h, ULONG_PTR) { return FAIStop(h); }>},
    {69, FromBlock<FAIWatchdogCheckBlock, [](ULONG_PTR h, const FAIWatchdogCheckBlock &b) {
         return FAIWatchdogCheck(h, b.reserved, b.reserved1, b.reserved2, b.reserved3,
                                 b.triggerIndex, b.reserved4); }>},
    {71, FromBlock<FAODmaStartBlock, [](ULONG_PTR h, const FAODmaStartBlock &b) {
         return FAODmaStart(h, b.option, b.rate, b.channel, b.samples, b.sampleCount); }>},
    {72, FromBlock<FAOScaleBlock, [](ULONG_PTR h, const FAOScaleBlock &b) {
         return FAOScale(h, b.channel, b.count, b.voltages, b.codes); }>},
    {73, FromBlock<FAOLoadBlock, [](ULONG_PTR h, const FAOLoadBlock &b) {
         return FAOLoad(h, b.reserved, b.samples, b.loadArgument, b.sampleCount); }>},
    {74, FromBlock<FAOCheckBlock, [](ULONG_PTR h, const FAOCheckBlock &b) {
         return FAOCheck(h, b.stopped, b.status1, b.count, b.zero, b.status3); }>},
    {75, Direct<[](ULONG_PTR h, ULONG_PTR) { return FAOStop(h); }>},
    {76, Direct<[](ULONG_PTR h, ULONG_PTR) { return ClearOverrun(h); }>},
    {77, FromBlock<EnableEventBlock, [](ULONG_PTR h, const EnableEventBlock &b) {
         return EnableEvent(h, b.eventType, b.enabled, b.count); }>},
    {78, FromBlock<CheckEventBlock, [](ULONG_PTR h, const CheckEventBlock &b) {
         return CheckEvent(h, b.eventType, b.timeout); }>},
    {79, FromBlock<AllocateDMABufferBlock, [](ULONG_PTR h, const AllocateDMABufferBlock &b) {
         return AllocateDMABuffer(h, b.mode, b.size, b.sizeObtained, b.address); }>},
    {80, Direct<[](ULONG_PTR h, ULONG_PTR p) { return FreeDMABuffer(h, Address<DWORD>(p)); }>},
    {99, Direct<[](ULONG_PTR h, ULONG_PTR p) { return GetFIFOSize(h, Address<DWORD>(p)); }>},
    {100, FromBlock<PWMStartReadBlock, [](ULONG_PTR h, const PWMStartReadBlock &b) {
         return PWMStartRead(h, b.reserved, b.firstTime, b.secondTime); }>},
    {101, FromBlock<FAIDmaExStartBlock, [](ULONG_PTR h, const FAIDmaExStartBlock &b) {
         return FAIDmaExStart(h, b.triggerSource, b.triggerMode, b.clockSource, b.option1,
                              b.option2, b.triggerLevel, b.option3, b.scanLength, b.startChannel,
                              b.postTriggerScans, b.sampleCount, b.sampleRate, b.gainList,
                              b.reserved40, b.reserved44, b.bufferHandle, b.reserved52,
                              b.reserved56, b.reserved60, b.reserved64); }>},
    {107, FromBlock<ReadAOSettingsBlock, [](ULONG_PTR h, const ReadAOSettingsBlock &b) {
         return properties::ReadOutputSettings(h, b.property, b.byteCount, b.buffer); }>},
    {108, FromBlock<DeviceSetPropertyBlock, [](ULONG_PTR h, const DeviceSetPropertyBlock &b) {
         return properties::Set(h, b.property, b.length, b.data); }>},
    {109, FromBlock<DeviceGetPropertyBlock, [](ULONG_PTR h, const DeviceGetPropertyBlock &b) {
         return properties::Get(h, b.property, b.length, b.buffer); }>},
    {118, Direct<[](ULONG_PTR h, ULONG_PTR p) { return ClearFlag(h, static_cast<DWORD>(p)); }>},
    // Codes 122, 124, 126 and 127 pass the field at +8 before the one at +4.
    {122, FromBlock<DioReadPortWordBlock, [](ULONG_PTR h, const DioReadPortWordBlock &b) {
         return DioReadPortWord(h, b.port, b.validMask, b.value); }>},
    {123, FromBlock<DioWritePortWordBlock, [](ULONG_PTR h, const DioWritePortWordBlock &b) {
         return DioWritePortWord(h, b.port, b.mask, b.state); }>},
    {124, FromBlock<DioReadPortDwordBlock, [](ULONG_PTR h, const DioReadPortDwordBlock &b) {
         return DioReadPortDword(h, b.port, b.validMask, b.value); }>},
    {125, FromBlock<DioWritePortDwordBlock, [](ULONG_PTR h, const DioWritePortDwordBlock &b) {
         return DioWritePortDword(h, b.port, b.mask, b.state); }>},
    {126, FromBlock<DioGetCurrentDOWordBlock, [](ULONG_PTR h, const DioGetCurrentDOWordBlock &b) {
         return DioGetCurrentDOWord(h, b.port, b.validMask, b.value); }>},
    {127, FromBlock<DioGetCurrentDODwordBlock, [](ULONG_PTR h, const DioGetCurrentDODwordBlock &b) {
         return DioGetCurrentDODword(h, b.port, b.validMask, b.value); }>},
    // Code 128 passes the clock source (+22) sixth and the mode (+20) last.
    {128, FromBlock<FAODmaExStartBlock, [](ULONG_PTR h, const FAODmaExStartBlock &b) {
         return FAODmaExStart(h, b.option, b.rate, b.channel, b.channelCount, b.clockSource,
                              b.samples, b.sampleCount, b.mode); }>},
    {129, Direct<[](ULONG_PTR h, ULONG_PTR) { return FAITerminate(h); }>},
    {130, Direct<[](ULONG_PTR h, ULONG_PTR) { return FAOTerminate(h); }>},
    {134, FromBlock<DioReadDiPortsBlock, [](ULONG_PTR h, const DioReadDiPortsBlock &b) {
         return DioReadDiPorts(h, b.firstPort, b.portCount, b.buffer); }>},
    {135, FromBlock<DioWriteDoPortsBlock, [](ULONG_PTR h, const DioWriteDoPortsBlock &b) {
         return DioWriteDoPorts(h, b.firstPort, b.portCount, b.buffer); }>},
    {136, FromBlock<DioGetCurrentDoPortsStateBlock, [](ULONG_PTR h, const DioGetCurrentDoPortsStateBlock &b) {
         return DioGetCurrentDoPortsState(h, b.firstPort, b.portCount, b.buffer); }>},
    // Code 137 passes the field at +16 fourth, before those at +8 and +12.
    {137, FromBlock<FAOCheckExBlock, [](ULONG_PTR h, const FAOCheckExBlock &b) {
         return FAOCheckEx(h, b.stopped, b.status1, b.status3, b.count, b.status2); }>},
};
// clang-format on

// The routes by code; null for the codes that are not implemented.
constexpr std::array<Route, kLastCode + 1> MakeRoutes() {
    std::array<Route, kLastCode + 1> routes{};
    for (const Row &row : kRows) routes[row.code] = row.route;
    return routes;
}
constexpr auto kRoutes = MakeRoutes();

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" DWORD WINAPI DriverProc(DWORD, DWORD, DWORD functionCode, ULONG_PTR handle,
                                   ULONG_PTR parameters) {
    WORD code = LOWORD(functionCode);
    if (code > kLastCode || !kRoutes[code]) return Bare(KtzErrNotSupported);
    return kRoutes[code](handle, parameters);
}
