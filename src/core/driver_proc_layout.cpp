// The parameter blocks of DriverProc are byte-exact in the 32-bit library.
#include <cstddef>
#include <cstdint>

#include <ktz3649.h>

#if UINTPTR_MAX == 0xFFFFFFFFu
#define KTZ_AT(Block, field, offset) static_assert(offsetof(Block, field) == (offset))
#define KTZ_SIZE(Block, size) static_assert(sizeof(Block) == (size))

KTZ_AT(DeviceGetFeaturesBlock, bufferSize, 4);
KTZ_AT(AIConfigBlock, gainCode, 2);
KTZ_AT(AIGetConfigBlock, reserved, 4);
KTZ_AT(AIBinaryInBlock, reading, 4);
KTZ_AT(AIScaleBlock, fullScale, 4);
KTZ_AT(AIScaleBlock, maxCount, 8);
KTZ_AT(AIScaleBlock, offset, 10);
KTZ_AT(AIScaleBlock, voltage, 12);
KTZ_AT(AIVoltageInBlock, triggerMode, 4);
KTZ_AT(AIVoltageInBlock, voltage, 8);
KTZ_AT(MAIConfigBlock, gainCodes, 4);
KTZ_AT(MAIBinaryInBlock, readings, 8);
KTZ_AT(MAIVoltageInBlock, gainCodes, 4);
KTZ_AT(MAIVoltageInBlock, triggerMode, 8);
KTZ_AT(MAIVoltageInBlock, voltages, 12);
KTZ_AT(AOConfigBlock, maximum, 4);
KTZ_AT(AOConfigBlock, minimum, 8);
KTZ_AT(AOBinaryOutBlock, code, 2);
KTZ_AT(AOVoltageOutBlock, voltage, 4);
KTZ_AT(AOScaleBlock, voltage, 4);
KTZ_AT(AOScaleBlock, code, 8);
KTZ_AT(DioSetPortModeBlock, direction, 2);
KTZ_AT(DioGetConfigBlock, count, 4);
KTZ_AT(DioReadPortByteBlock, value, 4);
KTZ_AT(DioWritePortByteBlock, state, 4);
KTZ_AT(DioReadBitBlock, value, 4);
KTZ_AT(DioWriteBitBlock, state, 4);
KTZ_AT(DioGetCurrentDOByteBlock, value, 4);
KTZ_AT(DioGetCurrentDOBitBlock, value, 4);
KTZ_AT(WritePortByteBlock, value, 2);
KTZ_AT(WritePortWordBlock, value, 2);
KTZ_AT(ReadPortByteBlock, value, 4);
KTZ_AT(ReadPortWordBlock, value, 4);
KTZ_AT(CounterEventStartBlock, gateMode, 2);
KTZ_AT(CounterEventReadBlock, overflow, 4);
KTZ_AT(CounterEventReadBlock, count, 8);
KTZ_AT(CounterFreqStartBlock, reserved2, 4);
KTZ_AT(CounterFreqReadBlock, frequency, 4);
KTZ_AT(CounterPulseStartBlock, period, 4);
KTZ_AT(CounterPulseStartBlock, reserved, 8);
KTZ_AT(CounterPulseStartBlock, gateMode, 12);
KTZ_AT(FAICheckBlock, status3, 16);
KTZ_AT(FAITransferBlock, destination, 4);
KTZ_AT(FAITransferBlock, dataType, 8);
KTZ_AT(FAITransferBlock, startIndex, 12);
KTZ_AT(FAITransferBlock, count, 16);
KTZ_AT(FAITransferBlock, reserved2, 20);
KTZ_AT(FAIWatchdogCheckBlock, reserved1, 4);
KTZ_AT(FAIWatchdogCheckBlock, triggerIndex, 16);
KTZ_AT(FAIWatchdogCheckBlock, reserved4, 20);
KTZ_AT(FAODmaStartBlock, rate, 4);
KTZ_AT(FAODmaStartBlock, channel, 8);
KTZ_AT(FAODmaStartBlock, samples, 12);
KTZ_AT(FAODmaStartBlock, sampleCount, 16);
KTZ_AT(FAOScaleBlock, count, 4);
KTZ_AT(FAOScaleBlock, voltages, 8);
KTZ_AT(FAOScaleBlock, codes, 12);
KTZ_AT(FAOLoadBlock, samples, 4);
KTZ_AT(FAOLoadBlock, loadArgument, 8);
KTZ_AT(FAOLoadBlock, sampleCount, 12);
KTZ_AT(FAOCheckBlock, status3, 16);
KTZ_AT(EnableEventBlock, count, 4);
KTZ_AT(CheckEventBlock, timeout, 4);
KTZ_AT(AllocateDMABufferBlock, size, 4);
KTZ_AT(AllocateDMABufferBlock, sizeObtained, 8);
KTZ_AT(AllocateDMABufferBlock, address, 12);
KTZ_AT(PWMStartReadBlock, firstTime, 4);
KTZ_AT(PWMStartReadBlock, secondTime, 8);
KTZ_AT(FAIDmaExStartBlock, option2, 8);
KTZ_AT(FAIDmaExStartBlock, triggerLevel, 12);
KTZ_AT(FAIDmaExStartBlock, option3, 16);
KTZ_AT(FAIDmaExStartBlock, scanLength, 18);
KTZ_AT(FAIDmaExStartBlock, startChannel, 20);
KTZ_AT(FAIDmaExStartBlock, postTriggerScans, 24);
KTZ_AT(FAIDmaExStartBlock, sampleCount, 28);
KTZ_AT(FAIDmaExStartBlock, sampleRate, 32);
KTZ_AT(FAIDmaExStartBlock, gainList, 36);
KTZ_AT(FAIDmaExStartBlock, bufferHandle, 48);
KTZ_AT(FAIDmaExStartBlock, reserved64, 64);
KTZ_SIZE(FAIDmaExStartBlock, 68);
KTZ_AT(ReadAOSettingsBlock, byteCount, 4);
KTZ_AT(ReadAOSettingsBlock, buffer, 8);
KTZ_AT(DeviceSetPropertyBlock, length, 4);
KTZ_AT(DeviceSetPropertyBlock, data, 8);
KTZ_AT(DeviceGetPropertyBlock, length, 4);
KTZ_AT(DeviceGetPropertyBlock, buffer, 8);
KTZ_AT(DioReadPortWordBlock, value, 4);
KTZ_AT(DioReadPortWordBlock, validMask, 8);
KTZ_AT(DioWritePortWordBlock, state, 4);
KTZ_AT(DioReadPortDwordBlock, validMask, 8);
KTZ_AT(DioWritePortDwordBlock, mask, 4);
KTZ_AT(DioWritePortDwordBlock, state, 8);
KTZ_AT(DioGetCurrentDOWordBlock, validMask, 8);
KTZ_AT(DioGetCurrentDODwordBlock, validMask, 8);
KTZ_AT(FAODmaExStartBlock, rate, 4);
KTZ_AT(FAODmaExStartBlock, channelCount, 10);
KTZ_AT(FAODmaExStartBlock, samples, 12);
KTZ_AT(FAODmaExStartBlock, sampleCount, 16);
KTZ_AT(FAODmaExStartBlock, mode, 20);
KTZ_AT(FAODmaExStartBlock, clockSource, 22);
KTZ_AT(DioReadDiPortsBlock, portCount, 4);
KTZ_AT(DioReadDiPortsBlock, buffer, 8);
KTZ_AT(DioWriteDoPortsBlock, buffer, 8);
KTZ_AT(DioGetCurrentDoPortsStateBlock, buffer, 8);
KTZ_AT(FAOCheckExBlock, count, 8);
KTZ_AT(FAOCheckExBlock, status2, 12);
KTZ_AT(FAOCheckExBlock, status3, 16);

#undef KTZ_AT
#undef KTZ_SIZE
#endif
