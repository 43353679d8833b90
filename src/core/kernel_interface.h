// The interface between the library and the KTZ3649S kernel driver:
// request codes and the byte layouts of their buffers (little-endian).
// The simulated driver implements the same contract from this header.
#pragma once

#include <windows.h>

#include <cstddef>

namespace ktz {

// Register access (one request per register read or write).
constexpr DWORD kIoctlReadByte = 0x9C406400;   // in: u32 offset; out: u8
constexpr DWORD kIoctlReadWord = 0x9C406404;   // in: u32 offset; out: u16
constexpr DWORD kIoctlWriteByte = 0x9C40A440;  // in: RegisterWriteByte
constexpr DWORD kIoctlWriteWord = 0x9C40A444;  // in: RegisterWriteWord
constexpr DWORD kIoctlClose = 0x9C40A4D4;      // no buffers; sent by every DeviceClose

// Fast analog input.
constexpr DWORD kIoctlFaiAvailability = 0x9C403810;  // in = out: u16 availability word
constexpr DWORD kIoctlFaiStart = 0x9C4024F1;         // in = out: FaiStartRequest
constexpr DWORD kIoctlFaiStatus = 0x9C402480;        // in = out: FastStatusRecord
constexpr DWORD kIoctlFaiStop = 0x9C402488;
constexpr DWORD kIoctlFaiTerminate = 0x9C40250C;
constexpr DWORD kIoctlFaiClearOverrun = 0x9C402460;

// Events.
constexpr DWORD kIoctlEventEnable = 0x9C4024C4;  // in: EventEnableRequest

// The ten named events of a device, by slot: the event type code that
// reports each, and its name without the device number that follows it.
// Input codes are single bits; output codes are numbers from 0x2800 up.
constexpr int kEventSlotCount = 10;
constexpr WORD kFirstOutputEventType = 0x2800;
constexpr WORD kEventTypeCodes[kEventSlotCount] = {0x0001, 0x0002, 0x0004, 0x0008, 0x2802,
                                                   0x2803, 0x2804, 0x2805, 0x2807, 0x2806};
constexpr const char *kEventNames[kEventSlotCount] = {
    "Global\\KTZ_EVT_INTERRUPT",    "Global\\KTZ_EVT_BUFCHANGE",
    "Global\\KTZ_EVT_TERMINATED",   "Global\\KTZ_EVT_OVERRUN",
    "Global\\KTZ_EVT_AO_INTERRUPT", "Global\\KTZ_EVT_AO_BUFCHANGE",
    "Global\\KTZ_EVT_AO_TERMINATED", "Global\\KTZ_EVT_AO_UNDERRUN",
    "Global\\KTZ_EVT_AO_LOBUF_TRANSFERED", "Global\\KTZ_EVT_AO_HIBUF_TRANSFERED",
};

// Waveform output.
constexpr DWORD kIoctlFaoStart = 0x9C402490;          // in = out: FaoStartRequest, overlapped
constexpr DWORD kIoctlFaoStartLoad = 0x9C402496;      // in: LoadRequest; out: the samples
constexpr DWORD kIoctlFaoLoad = 0x9C402516;           // in: LoadRequest; out: the samples
constexpr DWORD kIoctlFaoStatus = 0x9C402498;         // in = out: FastStatusRecord
constexpr DWORD kIoctlFaoStop = 0x9C40249C;
constexpr DWORD kIoctlFaoTerminate = 0x9C402510;
constexpr DWORD kIoctlFaoClearFlag = 0x9C402518;      // in: u32 flag code
constexpr DWORD kIoctlDmaAvailability = 0x9C403814;   // in = out: u16 availability word
constexpr DWORD kIoctlDmaAllocate = 0x9C4024A0;       // in = out: DmaBufferRequest
constexpr DWORD kIoctlDmaFree = 0x9C4024A4;

#pragma pack(push, 1)

struct RegisterWriteByte {
    DWORD offset;
    BYTE value;
};

struct RegisterWriteWord {
    DWORD offset;
    WORD value;
};

#pragma pack(pop)

// Fast-input start request; the same buffer carries the reply status.
struct FaiStartRequest {
    WORD eventEnabled;
    WORD eventType;
    WORD eventCount;
    WORD zero;
    DWORD sampleCount;
    WORD triggerSource;
    WORD option1;
    WORD option3;
    WORD pacerDivisor;
    WORD triggerMode;
    WORD triggerLevelCode;
    DWORD postTriggerScans;
    WORD clockSource;
    WORD option2;
    WORD multiplexer;  // stop channel << 8 | start channel
    WORD unused;
    DWORD status;  // 0 in the request; the driver's error number in the reply
};

// Progress of fast input or output.
struct FastStatusRecord {
    WORD status1;
    WORD unused;
    DWORD count;
    WORD status2;
    WORD status3;
    DWORD error;  // the driver's error number, 0 for success
};

struct EventEnableRequest {
    WORD eventType;
    WORD enabled;
};

// Waveform-output start request, kept in the device record while pending.
struct FaoStartRequest {
    WORD eventEnabled;
    WORD eventType;
    WORD eventCount;
    WORD zero;
    DWORD sampleCount;
    WORD option;
    WORD pacerDivisor;
    WORD zero2;
    WORD control;
    DWORD status;
};

// Sample load request; its output buffer is the application's sample array.
struct LoadRequest {
    WORD one;
    WORD unused;
    ULONG_PTR samples;  // the sample array's address (pointer-sized on a 64-bit host)
    DWORD loadArgument;
    DWORD sampleCount;
    DWORD zero;
};

struct DmaBufferRequest {
    WORD mode;
    WORD unused;
    DWORD requestedSize;
    DWORD obtainedSize;
    DWORD address;
    DWORD status;
};

static_assert(sizeof(RegisterWriteByte) == 5);
static_assert(sizeof(RegisterWriteWord) == 6);
static_assert(sizeof(FaiStartRequest) == 40);
static_assert(offsetof(FaiStartRequest, sampleCount) == 8);
static_assert(offsetof(FaiStartRequest, pacerDivisor) == 18);
static_assert(offsetof(FaiStartRequest, postTriggerScans) == 24);
static_assert(offsetof(FaiStartRequest, multiplexer) == 32);
static_assert(offsetof(FaiStartRequest, status) == 36);
static_assert(sizeof(FastStatusRecord) == 16);
static_assert(offsetof(FastStatusRecord, count) == 4);
static_assert(offsetof(FastStatusRecord, status2) == 8);
static_assert(offsetof(FastStatusRecord, error) == 12);
static_assert(sizeof(EventEnableRequest) == 4);
static_assert(sizeof(FaoStartRequest) == 24);
static_assert(offsetof(FaoStartRequest, pacerDivisor) == 14);
static_assert(offsetof(FaoStartRequest, control) == 18);
static_assert(offsetof(FaoStartRequest, status) == 20);
static_assert(sizeof(DmaBufferRequest) == 20);
static_assert(offsetof(DmaBufferRequest, address) == 12);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(LoadRequest) == 20);
static_assert(offsetof(LoadRequest, loadArgument) == 8);
static_assert(offsetof(LoadRequest, sampleCount) == 12);
#endif

}  // namespace ktz
