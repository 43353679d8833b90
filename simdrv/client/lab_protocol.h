// The lab across processes under Wine. The lab lives in the driver host,
// in KTZ3649S.SYS loaded as the kernel-driver service KTZ3649SIM; the lab
// client (Ktz3649Sim.dll) serves ktz3649sim.h in the application's process
// by sending each call to the lab's control device (lab_server.cpp), where
// the same simdrv code runs it.
//
// One request, KTZSIM_IOCTL_CALL, runs one function. Its input: the
// function's number (its place in KTZSIM_REMOTE_FUNCTIONS) as a u32, then
// the arguments one after the other; its output: the result, then what the
// output arguments received. lab_packing.h packs both sides from the
// function's declared type.
#pragma once

// The lab's kernel-driver service (the image of KTZ3649S) and its control device.
#define KTZSIM_LAB_SERVICE "KTZ3649SIM"
#define KTZSIM_CONTROL_DEVICE "\\\\.\\KTZ3649SIM"
// CTL_CODE(0x8000, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define KTZSIM_IOCTL_CALL 0x80002000u
// The load-order group that puts KTZ3649S and the lab into one driver host.
#define KTZSIM_DRIVER_GROUP "Extended Base"

#ifdef __cplusplus

#include <stddef.h>

namespace simlab {

// The last values of an output channel's record (KtzSimGetOutputRecord).
struct OutputRecordReply {
    unsigned long long played;
    unsigned long long copied;
    double volts[65536];
};

// Requests of the protocol that are not functions of ktz3649sim.h.
// The lab's part of KtzSimReset: trace, faults, clock, time factor and the
// state of every card back to their defaults.
int ClearLab();
// The buffer of the read that the calling thread sends next, at its address
// in the calling process (see the shim's DmaWritten), and its withdrawal.
int AnnounceRead(unsigned long long address, unsigned size);
int WithdrawRead();
// KtzSimGetOutputRecord with the presence of its output arguments.
int OutputRecord(int card, unsigned channel, int volts, size_t max, int copied,
                 OutputRecordReply *reply);

}  // namespace simlab

// Every function that runs in the lab, in protocol order. KtzSimReset,
// KtzSimDefaultSettings, KtzSimInstallDevice, KtzSimStartDriver,
// KtzSimStopDriver and KtzSimDriverRunning run in the client (registry and
// service control, as the application's process does them);
// KtzSimGetOutputRecord goes as OutputRecord.
#define KTZSIM_REMOTE_FUNCTIONS(X)                                                         \
    X(ClearLab) X(AnnounceRead) X(WithdrawRead) X(OutputRecord) X(KtzSimAddCard)           \
    X(KtzSimAddCardEx) X(KtzSimCardCount) X(KtzSimGetCard) X(KtzSimCardOfDevice)           \
    X(KtzSimPeek) X(KtzSimPoke) X(KtzSimSetSignal)                                        \
    X(KtzSimSetInputVoltage) X(KtzSimInputVoltage) X(KtzSimSetConversionTime)             \
    X(KtzSimSetConverterNeverFinishes) X(KtzSimSetExternalTrigger) X(KtzSimFireTrigger)    \
    X(KtzSimGetAnalogOutput) X(KtzSimSetExternalReference) X(KtzSimSetDigitalInput)        \
    X(KtzSimGetDigitalOutput) X(KtzSimSetCounterRate) X(KtzSimSetCounterPulseTrain)        \
    X(KtzSimInjectCounterPulses) X(KtzSimSetCounterGate) X(KtzSimGetCounterOutput)         \
    X(KtzSimSetCounterPollCost) X(KtzSimSetOutputFifoSize) X(KtzSimSetOutputClock)         \
    X(KtzSimSetOutputDmaStalled) X(KtzSimSetDmaAvailability) X(KtzSimSetDmaLimit)          \
    X(KtzSimSetOutputStatus) X(KtzSimGetOutputState) X(KtzSimClearOutputRecord)            \
    X(KtzSimSetExternalClock) X(KtzSimPulseExternalClock) X(KtzSimFireAcquisitionTrigger)  \
    X(KtzSimSetAvailabilityWord) X(KtzSimSetStatusReply) X(KtzSimSetEventsNotCreated)      \
    X(KtzSimGetAcquisition) X(KtzSimNow) X(KtzSimSetRequestCost) X(KtzSimSetTimeFactor)    \
    X(KtzSimTimeFactor) X(KtzSimTraceEnable) X(KtzSimTraceClear) X(KtzSimTraceCount)       \
    X(KtzSimTraceGet) X(KtzSimTraceDropped) X(KtzSimFailRequest) X(KtzSimClearFaults)        \
    X(KtzSimFailNthRequest) X(KtzSimSetLateCompletion)

#endif  // __cplusplus
