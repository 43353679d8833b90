/*
 * The contract between Ktz3649.dll and its kernel driver, the service
 * KTZ3649S: the device I/O control codes with the byte layouts of their
 * buffers (little-endian), the named events of a device, the registry keys
 * the driver and the library share, and the found-device record the driver
 * writes for every card it detects.
 *
 * The library and every driver that serves it (the card's kernel driver,
 * the simulated driver of the virtual lab) build from this one header.
 * Fields that carry an address are pointer-sized on a 64-bit host build;
 * every other layout is the same on every target.
 */
#ifndef KTZ3649_DRIVER_H
#define KTZ3649_DRIVER_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- registry ---------------------------------------------------------- */

/* The kernel service and its key; a device's settings are in a subkey of it. */
#define KTZ_SERVICE_NAME "KTZ3649S"
#define KTZ_SERVICE_KEY "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S"
/* The key shared with the driver; the MapEntry values name device objects. */
#define KTZ_SHARED_KEY "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ"
/* One REG_SZ value per published device, named by the device number in
 * decimal ("12"), holding the path of its device object. */
#define KTZ_MAPENTRY_KEY "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\MapEntry"
/* Appended to the service key or the shared key with the device number. */
#define KTZ_DEVICE_SUBKEY_FORMAT "\\Device%03d"
/* REG_BINARY values of the service key, "FoundDevice0", "FoundDevice1", ...
 * without gaps, each a KtzFoundDevice. */
#define KTZ_FOUND_DEVICE_FORMAT "FoundDevice%d"

/* Card kind codes of a found-device record. */
#define KTZ_CARD_KIND_PCI3649 0x9054
#define KTZ_CARD_KIND_PCI3649L 0x9050

/* A card that the driver detected (32 bytes). */
typedef struct KtzFoundDevice {
    DWORD BusNumber;   /* PCI bus */
    DWORD SlotNumber;  /* PCI slot (device) */
    DWORD Configured;  /* 0: no device uses the card yet */
    DWORD Reserved1[3]; /* the driver's own; the library carries them unchanged */
    DWORD CardKind;    /* KTZ_CARD_KIND_PCI3649; anything else: PCI-3649L */
    DWORD Reserved2;
} KtzFoundDevice;

/* ---- request codes ----------------------------------------------------- */

/* Register access: one request per read or write, by offset from the
 * card's register base. */
#define KTZ_IOCTL_READ_BYTE 0x9C406400u  /* in: u32 offset; out: u8 */
#define KTZ_IOCTL_READ_WORD 0x9C406404u  /* in: u32 offset; out: u16 */
#define KTZ_IOCTL_WRITE_BYTE 0x9C40A440u /* in: KtzRegisterWriteByte */
#define KTZ_IOCTL_WRITE_WORD 0x9C40A444u /* in: KtzRegisterWriteWord */
#define KTZ_IOCTL_CLOSE 0x9C40A4D4u      /* no buffers; sent by every DeviceClose */

/* Fast analog input. The acquisition's samples arrive by one overlapped
 * ReadFile of the whole buffer, completed when the acquisition ends. */
#define KTZ_IOCTL_FAI_AVAILABILITY 0x9C403810u /* in = out: u16 availability word, 0 = free */
#define KTZ_IOCTL_FAI_START 0x9C4024F1u        /* in = out: KtzFaiStartRequest */
#define KTZ_IOCTL_FAI_STATUS 0x9C402480u       /* in = out: KtzFastStatusRecord */
#define KTZ_IOCTL_FAI_STOP 0x9C402488u
#define KTZ_IOCTL_FAI_TERMINATE 0x9C40250Cu
#define KTZ_IOCTL_FAI_CLEAR_OVERRUN 0x9C402460u

/* Events. */
#define KTZ_IOCTL_EVENT_ENABLE 0x9C4024C4u /* in: KtzEventEnableRequest */

/* Waveform output. */
#define KTZ_IOCTL_FAO_START 0x9C402490u      /* in = out: KtzFaoStartRequest, overlapped */
#define KTZ_IOCTL_FAO_START_LOAD 0x9C402496u /* in: KtzLoadRequest; out: the samples */
#define KTZ_IOCTL_FAO_LOAD 0x9C402516u       /* in: KtzLoadRequest; out: the samples */
#define KTZ_IOCTL_FAO_STATUS 0x9C402498u     /* in = out: KtzFastStatusRecord */
#define KTZ_IOCTL_FAO_STOP 0x9C40249Cu
#define KTZ_IOCTL_FAO_TERMINATE 0x9C402510u
#define KTZ_IOCTL_FAO_CLEAR_FLAG 0x9C402518u    /* in: u32 flag code */
#define KTZ_IOCTL_DMA_AVAILABILITY 0x9C403814u  /* in = out: u16 availability word, 0 = free */
#define KTZ_IOCTL_DMA_ALLOCATE 0x9C4024A0u      /* in = out: KtzDmaBufferRequest */
#define KTZ_IOCTL_DMA_FREE 0x9C4024A4u

/* ---- request records --------------------------------------------------- */

#pragma pack(push, 1)

typedef struct KtzRegisterWriteByte {
    DWORD offset;
    BYTE value;
} KtzRegisterWriteByte;

typedef struct KtzRegisterWriteWord {
    DWORD offset;
    WORD value;
} KtzRegisterWriteWord;

#pragma pack(pop)

/* Fast-input start request (40 bytes); the same buffer carries the reply. */
typedef struct KtzFaiStartRequest {
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
    WORD multiplexer; /* stop channel << 8 | start channel */
    WORD unused;
    DWORD status;     /* 0 in the request; the driver's error number in the reply */
} KtzFaiStartRequest;

/* Progress of fast input or output (16 bytes). */
typedef struct KtzFastStatusRecord {
    WORD status1;
    WORD unused;
    DWORD count;
    WORD status2;
    WORD status3;
    DWORD error; /* the driver's error number, 0 for success */
} KtzFastStatusRecord;

typedef struct KtzEventEnableRequest {
    WORD eventType;
    WORD enabled;
} KtzEventEnableRequest;

/* Waveform-output start request (24 bytes), kept by the caller while pending. */
typedef struct KtzFaoStartRequest {
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
} KtzFaoStartRequest;

/* Sample load request (20 bytes on 32-bit); its output buffer is the
 * application's sample array, whose address it carries too. */
typedef struct KtzLoadRequest {
    WORD one;
    WORD unused;
    ULONG_PTR samples;
    DWORD loadArgument;
    DWORD sampleCount;
    DWORD zero;
} KtzLoadRequest;

/* DMA buffer request (20 bytes); the driver replies size and address. */
typedef struct KtzDmaBufferRequest {
    WORD mode;
    WORD unused;
    DWORD requestedSize;
    DWORD obtainedSize;
    DWORD address;
    DWORD status;
} KtzDmaBufferRequest;

/* ---- the named events of a device -------------------------------------- */

/* Ten manual-reset events per device, created by the driver in the global
 * namespace and named by a base name followed by the device number in
 * decimal. Slots 0 to 3 report fast input, 4 to 9 waveform output. */
#define KTZ_EVENT_SLOT_COUNT 10
#define KTZ_EVENT_INPUT_SLOTS 4
/* Input event types are single bits; output types are numbers from here. */
#define KTZ_FIRST_OUTPUT_EVENT_TYPE 0x2800

/* The event type code that reports a slot. */
static inline WORD KtzEventTypeCode(int slot) {
    static const WORD codes[KTZ_EVENT_SLOT_COUNT] = {0x0001, 0x0002, 0x0004, 0x0008, 0x2802,
                                                     0x2803, 0x2804, 0x2805, 0x2807, 0x2806};
    return codes[slot];
}

/* The name of a slot's event without the device number that follows it. */
static inline const char *KtzEventBaseName(int slot) {
    static const char *const names[KTZ_EVENT_SLOT_COUNT] = {
        "Global\\KTZ_EVT_INTERRUPT",          "Global\\KTZ_EVT_BUFCHANGE",
        "Global\\KTZ_EVT_TERMINATED",         "Global\\KTZ_EVT_OVERRUN",
        "Global\\KTZ_EVT_AO_INTERRUPT",       "Global\\KTZ_EVT_AO_BUFCHANGE",
        "Global\\KTZ_EVT_AO_TERMINATED",      "Global\\KTZ_EVT_AO_UNDERRUN",
        "Global\\KTZ_EVT_AO_LOBUF_TRANSFERED", "Global\\KTZ_EVT_AO_HIBUF_TRANSFERED",
    };
    return names[slot];
}

#ifdef __cplusplus
}  /* extern "C" */

#include <cstddef>
#include <cstdint>

static_assert(sizeof(KtzFoundDevice) == 32);
static_assert(offsetof(KtzFoundDevice, CardKind) == 24);
static_assert(sizeof(KtzRegisterWriteByte) == 5);
static_assert(sizeof(KtzRegisterWriteWord) == 6);
static_assert(sizeof(KtzFaiStartRequest) == 40);
static_assert(offsetof(KtzFaiStartRequest, sampleCount) == 8);
static_assert(offsetof(KtzFaiStartRequest, pacerDivisor) == 18);
static_assert(offsetof(KtzFaiStartRequest, postTriggerScans) == 24);
static_assert(offsetof(KtzFaiStartRequest, multiplexer) == 32);
static_assert(offsetof(KtzFaiStartRequest, status) == 36);
static_assert(sizeof(KtzFastStatusRecord) == 16);
static_assert(offsetof(KtzFastStatusRecord, count) == 4);
static_assert(offsetof(KtzFastStatusRecord, status2) == 8);
static_assert(offsetof(KtzFastStatusRecord, error) == 12);
static_assert(sizeof(KtzEventEnableRequest) == 4);
static_assert(sizeof(KtzFaoStartRequest) == 24);
static_assert(offsetof(KtzFaoStartRequest, pacerDivisor) == 14);
static_assert(offsetof(KtzFaoStartRequest, control) == 18);
static_assert(offsetof(KtzFaoStartRequest, status) == 20);
static_assert(sizeof(KtzDmaBufferRequest) == 20);
static_assert(offsetof(KtzDmaBufferRequest, address) == 12);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KtzLoadRequest) == 20);
static_assert(offsetof(KtzLoadRequest, loadArgument) == 8);
static_assert(offsetof(KtzLoadRequest, sampleCount) == 12);
#endif
#endif /* __cplusplus */

#endif /* KTZ3649_DRIVER_H */
