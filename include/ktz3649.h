/*
 * Ktz3649.dll: the user-mode driver library of the PCI-3649 and PCI-3649L
 * data-acquisition cards.
 *
 * Every function returns a 32-bit result code: 0 for success; a device
 * error is ((device number + 1) << 12) | error number; some failures are
 * the bare error number (see KtzErrorNumber below). Results are written
 * through the addresses the caller passes; on failure the outputs stay
 * unwritten unless a function says otherwise.
 *
 * A device handle is the address of the library's device record: 32 bits
 * in the Windows library, pointer-sized on a 64-bit host build.
 */
#ifndef KTZ3649_H
#define KTZ3649_H

#include <windows.h>

#include <ktz3649_driver.h> /* KtzFoundDevice */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- result codes ---------------------------------------------------- */

typedef ULONG_PTR KTZHANDLE;

/* Board IDs. */
#define KTZ_BOARD_PCI3649 97
#define KTZ_BOARD_PCI3649L 169

/* Error numbers: the low 12 bits of a result code. */
typedef enum KtzError {
    ErrMemoryAlloc = 1,
    ErrSettingsNotFound = 2,
    ErrInvalidHandle = 3,
    ErrConversionTimeout = 4,
    ErrInvalidScaleRange = 5,
    ErrInvalidChannel = 7,
    ErrInvalidGain = 8,
    ErrTriggerTimeout = 9,
    ErrInvalidParameter = 10,
    ErrInvalidPacerRate = 22,
    ErrAcquisitionRunning = 23,
    ErrUnsupportedBoard = 24,
    ErrKernelOpen = 26,
    ErrNotSupported = 27,
    ErrInvalidSetting = 32,
    ErrNoBuffer = 33,
    ErrInvalidCount = 34,
    ErrEventCreate = 37,
    ErrTransferStart = 38,
    ErrInvalidEventType = 40,
    ErrDmaBusy = 43,
    ErrInvalidTriggerLevel = 56,
    ErrUnknownProperty = 62,
    ErrEventWait = 63,
    ErrKernelRequest = 100,
    ErrPortFileNotFound = 101,
    ErrPortInvalidHandle = 102,
    ErrPortTooManyCommands = 103,
    ErrPortNoAccess = 105,
    ErrPortRequest = 106,
    ErrEventEnable = 111
} KtzError;

/* The error number of a result code (kernel status words pass through too). */
#define KtzErrorNumber(result) ((DWORD)(result) & 0xFFFu)
/* The device number a device error names, or -1 for a bare result. */
#define KtzErrorDevice(result) ((LONG)((DWORD)(result) >> 12) - 1)

/* ---- device features record ------------------------------------------- */

/* One input range of the features record (28 bytes). */
typedef struct KtzGainListEntry {
    WORD gainCode;
    WORD reserved;
    FLOAT upperLimit; /* volts */
    FLOAT lowerLimit; /* volts */
    CHAR rangeName[16];
} KtzGainListEntry;

/* What DeviceGetFeatures copies to the caller: always all 520 bytes. */
typedef struct KtzDeviceFeatures {
    CHAR driverVersion[8];
    CHAR driverName[16];
    DWORD boardId;
    WORD maxAIDiffChannels;
    WORD maxAISingleChannels;
    WORD maxAOChannels;
    WORD maxDOChannels;
    WORD maxDIChannels;
    WORD featureWord1;
    WORD maxCounterChannels;
    WORD featureWord2;
    WORD adBits;
    WORD adBytes;
    WORD daBits;
    WORD daBytes;
    WORD gainCount;
    WORD reserved;
    KtzGainListEntry gainList[16];
    DWORD capabilityBits;
    DWORD reserved2[3];
} KtzDeviceFeatures;

/* ---- device properties (DriverProc codes 107, 108, 109) ---------------- */

#define KTZ_PROP_DEVICE_NUMBER 0x0000   /* read: u32 */
#define KTZ_PROP_BOARD_ID 0x0001        /* read: u32 */
#define KTZ_PROP_BASE_ADDRESS 0x0003    /* read: u16 */
#define KTZ_PROP_INTERRUPT 0x0004       /* read: u16 */
#define KTZ_PROP_BUS_NUMBER 0x0005      /* read: u32 */
#define KTZ_PROP_SLOT_NUMBER 0x0006     /* read: u32 */
#define KTZ_PROP_CHAN_CONFIG 0x1000     /* read and write: u16 differential mask */
#define KTZ_PROP_AI_PACER_RATE 0x1001   /* read and write: u32 hertz */
#define KTZ_PROP_AO_RANGES 0x2000       /* read: 4 KtzOutputRange; write: one range */
#define KTZ_PROP_AO_PACER_RATE 0x2001   /* read and write: u32 hertz */
#define KTZ_PROP_AO_CHANNEL_RANGE 0x2004 /* read (channel at offset 6) and write: KtzOutputRange */
#define KTZ_PROP_DIO_PORT_WIDTHS 0x3005 /* read: two bytes, 3 and 3 */
#define KTZ_PROP_DIO_DIRECTIONS 0x3006  /* read and write: two u32, 0 input or 255 output */
#define KTZ_PROP_CONSTANT_3C82 0x3C82
#define KTZ_PROP_CONSTANT_3C83 0x3C83
#define KTZ_PROP_CONSTANT_3C84 0x3C84
#define KTZ_PROP_CONSTANT_4806 0x4806
#define KTZ_PROP_CONSTANT_4807 0x4807
#define KTZ_PROP_CONSTANT_4808 0x4808
#define KTZ_PROP_CONSTANT_5001 0x5001   /* read: three u32 */
#define KTZ_PROP_CONSTANT_5002 0x5002   /* read: u32 */
#define KTZ_PROP_COUNTER_CLOCKS 0x5007  /* read: four floats, hertz */

/* An output range (16 bytes), as the output-range properties carry it. */
typedef struct KtzOutputRange {
    WORD type;            /* 4 in every record the library produces */
    WORD referenceSource; /* 0 internal, 1 external unipolar, 2 external bipolar */
    WORD pairSelector;    /* 0 the range, non-zero the second range */
    WORD channel;         /* 0 or 1 */
    FLOAT maximum;
    FLOAT minimum;
} KtzOutputRange;

/* ---- DriverProc parameter blocks --------------------------------------- */
/*
 * DriverProc(0, 0, functionCode, handle, &block): one block per function
 * code, named after the function it reaches. The byte offsets in the
 * comments hold for the 32-bit library; on a 64-bit host build, fields
 * that carry an address or a handle are pointer-sized and the fields after
 * them move accordingly. Codes 0 (DeviceOpen: handle = device number,
 * block = address of the handle variable), 1 (DeviceClose: handle = address
 * of the handle variable), 35 (CounterReset: block = counter), 80
 * (FreeDMABuffer: block = address of the address variable), 99
 * (GetFIFOSize: block = address of the u32) and 118 (ClearFlag: block =
 * flag code) take no block; nor do the codes that take only the handle.
 */

typedef struct DeviceGetFeaturesBlock { /* code 2 */
    LPVOID buffer;                      /* +0 */
    WORD bufferSize;                    /* +4 */
} DeviceGetFeaturesBlock;

typedef struct AIConfigBlock { /* code 3 */
    WORD channel;              /* +0 */
    WORD gainCode;             /* +2 */
} AIConfigBlock;

typedef struct AIGetConfigBlock { /* code 4 */
    LPVOID config;                /* +0: 276-byte record */
    WORD reserved;                /* +4 */
} AIGetConfigBlock;

typedef struct AIBinaryInBlock { /* code 5 */
    WORD channel;                /* +0 */
    WORD triggerMode;            /* +2 */
    WORD *reading;               /* +4 */
} AIBinaryInBlock;

typedef struct AIScaleBlock { /* code 6, no handle */
    WORD reading;             /* +0 */
    WORD pad2;
    FLOAT fullScale;          /* +4 */
    WORD maxCount;            /* +8 */
    WORD offset;              /* +10 */
    FLOAT *voltage;           /* +12 */
} AIScaleBlock;

typedef struct AIVoltageInBlock { /* code 7 */
    WORD channel;                 /* +0 */
    WORD gainCode;                /* +2 */
    WORD triggerMode;             /* +4 */
    WORD pad6;
    FLOAT *voltage;               /* +8 */
} AIVoltageInBlock;

typedef struct MAIConfigBlock { /* code 9 */
    WORD channels;              /* +0 */
    WORD startChannel;          /* +2 */
    WORD *gainCodes;            /* +4 */
} MAIConfigBlock;

typedef struct MAIBinaryInBlock { /* code 10 */
    WORD channels;                /* +0 */
    WORD startChannel;            /* +2 */
    WORD triggerMode;             /* +4 */
    WORD pad6;
    WORD *readings;               /* +8 */
} MAIBinaryInBlock;

typedef struct MAIVoltageInBlock { /* code 11 */
    WORD channels;                 /* +0 */
    WORD startChannel;             /* +2 */
    WORD *gainCodes;               /* +4 */
    WORD triggerMode;              /* +8 */
    WORD pad10;
    FLOAT *voltages;               /* +12 */
} MAIVoltageInBlock;

typedef struct AOConfigBlock { /* code 14 */
    WORD channel;              /* +0 */
    WORD referenceSource;      /* +2 */
    FLOAT maximum;             /* +4 */
    FLOAT minimum;             /* +8 */
} AOConfigBlock;

typedef struct AOBinaryOutBlock { /* code 15 */
    WORD channel;                 /* +0 */
    WORD code;                    /* +2 */
} AOBinaryOutBlock;

typedef struct AOVoltageOutBlock { /* code 16 */
    WORD channel;                  /* +0 */
    WORD pad2;
    FLOAT voltage;                 /* +4 */
} AOVoltageOutBlock;

typedef struct AOScaleBlock { /* code 17 */
    WORD channel;             /* +0 */
    WORD pad2;
    FLOAT voltage;            /* +4 */
    WORD *code;               /* +8 */
} AOScaleBlock;

typedef struct DioSetPortModeBlock { /* code 18 */
    WORD port;                       /* +0 */
    WORD direction;                  /* +2 */
} DioSetPortModeBlock;

typedef struct DioGetConfigBlock { /* code 19 */
    WORD *directions;              /* +0 */
    WORD count;                    /* +4 */
} DioGetConfigBlock;

typedef struct DioReadPortByteBlock { /* code 20 */
    WORD port;                        /* +0 */
    WORD pad2;
    WORD *value;                      /* +4 */
} DioReadPortByteBlock;

typedef struct DioWritePortByteBlock { /* code 21 */
    WORD port;                         /* +0 */
    WORD mask;                         /* +2 */
    WORD state;                        /* +4 */
} DioWritePortByteBlock;

typedef struct DioReadBitBlock { /* code 22 */
    WORD port;                   /* +0 */
    WORD bit;                    /* +2 */
    WORD *value;                 /* +4 */
} DioReadBitBlock;

typedef struct DioWriteBitBlock { /* code 23 */
    WORD port;                    /* +0 */
    WORD bit;                     /* +2 */
    WORD state;                   /* +4 */
} DioWriteBitBlock;

typedef struct DioGetCurrentDOByteBlock { /* code 24 */
    WORD port;                            /* +0 */
    WORD pad2;
    WORD *value;                          /* +4 */
} DioGetCurrentDOByteBlock;

typedef struct DioGetCurrentDOBitBlock { /* code 25 */
    WORD port;                           /* +0 */
    WORD bit;                            /* +2 */
    WORD *value;                         /* +4 */
} DioGetCurrentDOBitBlock;

typedef struct WritePortByteBlock { /* code 26 */
    WORD port;                      /* +0 */
    WORD value;                     /* +2: its low byte is written */
} WritePortByteBlock;

typedef struct WritePortWordBlock { /* code 27 */
    WORD port;                      /* +0 */
    WORD value;                     /* +2 */
} WritePortWordBlock;

typedef struct ReadPortByteBlock { /* code 28 */
    WORD port;                     /* +0 */
    WORD pad2;
    WORD *value;                   /* +4 */
} ReadPortByteBlock;

typedef struct ReadPortWordBlock { /* code 29 */
    WORD port;                     /* +0 */
    WORD pad2;
    WORD *value;                   /* +4 */
} ReadPortWordBlock;

typedef struct CounterEventStartBlock { /* code 30 */
    WORD counter;                       /* +0 */
    WORD gateMode;                      /* +2 */
} CounterEventStartBlock;

typedef struct CounterEventReadBlock { /* code 31 */
    WORD counter;                      /* +0 */
    WORD pad2;
    WORD *overflow;                    /* +4 */
    DWORD *count;                      /* +8 */
} CounterEventReadBlock;

typedef struct CounterFreqStartBlock { /* code 32 */
    WORD counter;                      /* +0 */
    WORD reserved1;                    /* +2 */
    WORD reserved2;                    /* +4 */
} CounterFreqStartBlock;

typedef struct CounterFreqReadBlock { /* code 33 */
    WORD counter;                     /* +0 */
    WORD pad2;
    FLOAT *frequency;                 /* +4 */
} CounterFreqReadBlock;

typedef struct CounterPulseStartBlock { /* code 34 */
    WORD counter;                       /* +0 */
    WORD pad2;
    FLOAT period;                       /* +4: seconds */
    DWORD reserved;                     /* +8 */
    WORD gateMode;                      /* +12 */
} CounterPulseStartBlock;

typedef struct FAICheckBlock { /* code 63 */
    WORD *stopped;             /* +0 */
    WORD *status1;             /* +4 */
    DWORD *count;              /* +8 */
    WORD *status2;             /* +12 */
    WORD *status3;             /* +16 */
} FAICheckBlock;

typedef struct FAITransferBlock { /* code 64 */
    WORD reserved;                /* +0 */
    WORD pad2;
    LPVOID destination;           /* +4 */
    WORD dataType;                /* +8 */
    WORD pad10;
    DWORD startIndex;             /* +12 */
    DWORD count;                  /* +16 */
    DWORD reserved2;              /* +20 */
} FAITransferBlock;

typedef struct FAIWatchdogCheckBlock { /* code 69 */
    WORD reserved;                     /* +0 */
    WORD pad2;
    DWORD reserved1;                   /* +4 */
    DWORD reserved2;                   /* +8 */
    DWORD reserved3;                   /* +12 */
    DWORD *triggerIndex;               /* +16 */
    DWORD reserved4;                   /* +20 */
} FAIWatchdogCheckBlock;

typedef struct FAODmaStartBlock { /* code 71 */
    WORD option;                  /* +0 */
    WORD pad2;
    DWORD rate;                   /* +4 */
    WORD channel;                 /* +8 */
    WORD pad10;
    WORD *samples;                /* +12 */
    DWORD sampleCount;            /* +16 */
} FAODmaStartBlock;

typedef struct FAOScaleBlock { /* code 72 */
    WORD channel;              /* +0 */
    WORD pad2;
    DWORD count;               /* +4 */
    FLOAT *voltages;           /* +8 */
    WORD *codes;               /* +12 */
} FAOScaleBlock;

typedef struct FAOLoadBlock { /* code 73 */
    WORD reserved;            /* +0 */
    WORD pad2;
    WORD *samples;            /* +4 */
    DWORD loadArgument;       /* +8 */
    DWORD sampleCount;        /* +12 */
} FAOLoadBlock;

typedef struct FAOCheckBlock { /* code 74 */
    WORD *stopped;             /* +0 */
    WORD *status1;             /* +4 */
    DWORD *count;              /* +8 */
    WORD *zero;                /* +12 */
    WORD *status3;             /* +16 */
} FAOCheckBlock;

typedef struct EnableEventBlock { /* code 77 */
    WORD eventType;               /* +0 */
    WORD enabled;                 /* +2 */
    WORD count;                   /* +4 */
} EnableEventBlock;

typedef struct CheckEventBlock { /* code 78 */
    WORD *eventType;             /* +0 */
    DWORD timeout;               /* +4: milliseconds, 0xFFFFFFFF without limit */
} CheckEventBlock;

typedef struct AllocateDMABufferBlock { /* code 79 */
    WORD mode;                          /* +0 */
    WORD pad2;
    DWORD size;                         /* +4 */
    DWORD *sizeObtained;                /* +8 */
    DWORD *address;                     /* +12 */
} AllocateDMABufferBlock;

typedef struct PWMStartReadBlock { /* code 100 */
    WORD reserved;                 /* +0 */
    WORD pad2;
    FLOAT *firstTime;              /* +4 */
    FLOAT *secondTime;             /* +8 */
} PWMStartReadBlock;

typedef struct FAIDmaExStartBlock { /* code 101 */
    WORD triggerSource;             /* +0 */
    WORD triggerMode;               /* +2 */
    WORD clockSource;               /* +4 */
    WORD option1;                   /* +6 */
    WORD option2;                   /* +8 */
    WORD pad10;
    FLOAT triggerLevel;             /* +12 */
    WORD option3;                   /* +16 */
    WORD scanLength;                /* +18 */
    WORD startChannel;              /* +20 */
    WORD pad22;
    DWORD postTriggerScans;         /* +24 */
    DWORD sampleCount;              /* +28 */
    DWORD sampleRate;               /* +32 */
    WORD *gainList;                 /* +36 */
    DWORD reserved40;               /* +40 */
    DWORD reserved44;               /* +44 */
    HGLOBAL bufferHandle;           /* +48 */
    DWORD reserved52;               /* +52 */
    DWORD reserved56;               /* +56 */
    DWORD reserved60;               /* +60 */
    DWORD reserved64;               /* +64 */
} FAIDmaExStartBlock;

typedef struct ReadAOSettingsBlock { /* code 107 */
    WORD property;                   /* +0: 0x2000 */
    WORD pad2;
    DWORD *byteCount;                /* +4 */
    LPVOID buffer;                   /* +8: two 20-byte entries */
} ReadAOSettingsBlock;

typedef struct DeviceSetPropertyBlock { /* code 108 */
    WORD property;                      /* +0 */
    WORD pad2;
    DWORD length;                       /* +4 */
    LPVOID data;                        /* +8 */
} DeviceSetPropertyBlock;

typedef struct DeviceGetPropertyBlock { /* code 109 */
    WORD property;                      /* +0 */
    WORD pad2;
    DWORD *length;                      /* +4: in the buffer's size, out the property's */
    LPVOID buffer;                      /* +8: NULL asks for the size */
} DeviceGetPropertyBlock;

typedef struct DioReadPortWordBlock { /* code 122 */
    WORD port;                        /* +0 */
    WORD pad2;
    WORD *value;                      /* +4 */
    WORD *validMask;                  /* +8 */
} DioReadPortWordBlock;

typedef struct DioWritePortWordBlock { /* code 123 */
    WORD port;                         /* +0 */
    WORD mask;                         /* +2 */
    WORD state;                        /* +4 */
} DioWritePortWordBlock;

typedef struct DioReadPortDwordBlock { /* code 124 */
    WORD port;                         /* +0 */
    WORD pad2;
    DWORD *value;                      /* +4 */
    DWORD *validMask;                  /* +8 */
} DioReadPortDwordBlock;

typedef struct DioWritePortDwordBlock { /* code 125 */
    WORD port;                          /* +0 */
    WORD pad2;
    DWORD mask;                         /* +4 */
    DWORD state;                        /* +8 */
} DioWritePortDwordBlock;

typedef struct DioGetCurrentDOWordBlock { /* code 126 */
    WORD port;                            /* +0 */
    WORD pad2;
    WORD *value;                          /* +4 */
    WORD *validMask;                      /* +8 */
} DioGetCurrentDOWordBlock;

typedef struct DioGetCurrentDODwordBlock { /* code 127 */
    WORD port;                             /* +0 */
    WORD pad2;
    DWORD *value;                          /* +4 */
    DWORD *validMask;                      /* +8 */
} DioGetCurrentDODwordBlock;

typedef struct FAODmaExStartBlock { /* code 128 */
    WORD option;                    /* +0 */
    WORD pad2;
    DWORD rate;                     /* +4 */
    WORD channel;                   /* +8 */
    WORD channelCount;              /* +10 */
    WORD *samples;                  /* +12 */
    DWORD sampleCount;              /* +16 */
    WORD mode;                      /* +20 */
    WORD clockSource;               /* +22 */
} FAODmaExStartBlock;

typedef struct DioReadDiPortsBlock { /* code 134 */
    DWORD firstPort;                 /* +0 */
    DWORD portCount;                 /* +4 */
    BYTE *buffer;                    /* +8 */
} DioReadDiPortsBlock;

typedef struct DioWriteDoPortsBlock { /* code 135 */
    DWORD firstPort;                  /* +0 */
    DWORD portCount;                  /* +4 */
    BYTE *buffer;                     /* +8 */
} DioWriteDoPortsBlock;

typedef struct DioGetCurrentDoPortsStateBlock { /* code 136 */
    DWORD firstPort;                            /* +0 */
    DWORD portCount;                            /* +4 */
    BYTE *buffer;                               /* +8 */
} DioGetCurrentDoPortsStateBlock;

typedef struct FAOCheckExBlock { /* code 137 */
    WORD *stopped;               /* +0 */
    WORD *status1;               /* +4 */
    DWORD *count;                /* +8 */
    WORD *status2;               /* +12 */
    WORD *status3;               /* +16 */
} FAOCheckExBlock;

/* ---- device objects and register access ------------------------------- */

DWORD WINAPI DeviceOpen(DWORD deviceNumber, KTZHANDLE *handleOut);
DWORD WINAPI DeviceClose(KTZHANDLE *handleVar);
DWORD WINAPI DeviceGetFeatures(KTZHANDLE handle, LPVOID buffer, WORD bufferSize);

DWORD WINAPI WritePortByte(KTZHANDLE handle, WORD port, BYTE value);
DWORD WINAPI WritePortWord(KTZHANDLE handle, WORD port, WORD value);
DWORD WINAPI ReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI ReadPortWord(KTZHANDLE handle, WORD port, WORD *value);

DWORD WINAPI DriverProc(DWORD reserved1, DWORD reserved2, DWORD functionCode, ULONG_PTR handle,
                        ULONG_PTR parameters);

/* ---- analog input ------------------------------------------------------ */

DWORD WINAPI AIConfig(KTZHANDLE handle, WORD channel, WORD gainCode);
DWORD WINAPI AIGetConfig(KTZHANDLE handle, LPVOID config, DWORD reserved);
DWORD WINAPI AIBinaryIn(KTZHANDLE handle, WORD channel, WORD triggerMode, WORD *reading);
DWORD WINAPI AIScale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset, FLOAT *voltage);
DWORD WINAPI AIVoltageIn(KTZHANDLE handle, WORD channel, WORD gainCode, WORD triggerMode,
                         FLOAT *voltage);
DWORD WINAPI MAIConfig(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes);
DWORD WINAPI MAIBinaryIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD triggerMode,
                         WORD *readings);
DWORD WINAPI MAIVoltageIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes,
                          WORD triggerMode, FLOAT *voltages);

/* ---- analog output ----------------------------------------------------- */

DWORD WINAPI AOConfig(KTZHANDLE handle, WORD channel, WORD referenceSource, FLOAT maximum,
                      FLOAT minimum);
DWORD WINAPI AOBinaryOut(KTZHANDLE handle, WORD channel, WORD code);
DWORD WINAPI AOVoltageOut(KTZHANDLE handle, WORD channel, FLOAT voltage);
DWORD WINAPI AOScale(KTZHANDLE handle, WORD channel, FLOAT voltage, WORD *code);

/* ---- digital I/O ------------------------------------------------------- */

DWORD WINAPI DioSetPortMode(KTZHANDLE handle, WORD port, WORD direction);
DWORD WINAPI DioGetConfig(KTZHANDLE handle, WORD *directions, WORD count);
DWORD WINAPI DioReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioWritePortByte(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioReadBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
DWORD WINAPI DioWriteBit(KTZHANDLE handle, WORD port, WORD bit, WORD state);
DWORD WINAPI DioGetCurrentDOByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioGetCurrentDOBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
DWORD WINAPI DioReadPortWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioReadPortDword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
DWORD WINAPI DioWritePortWord(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioWritePortDword(KTZHANDLE handle, WORD port, DWORD mask, DWORD state);
DWORD WINAPI DioGetCurrentDOWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioGetCurrentDODword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
DWORD WINAPI DioReadDiPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioWriteDoPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioGetCurrentDoPortsState(KTZHANDLE handle, DWORD firstPort, DWORD portCount,
                                       BYTE *buffer);

/* ---- counters ---------------------------------------------------------- */

DWORD WINAPI CounterEventStart(KTZHANDLE handle, WORD counter, WORD gateMode);
DWORD WINAPI CounterEventRead(KTZHANDLE handle, WORD counter, WORD *overflow, DWORD *count);
DWORD WINAPI CounterFreqStart(KTZHANDLE handle, WORD counter, DWORD reserved1, DWORD reserved2);
DWORD WINAPI CounterFreqRead(KTZHANDLE handle, WORD counter, FLOAT *frequency);
DWORD WINAPI CounterPulseStart(KTZHANDLE handle, WORD counter, FLOAT period, DWORD reserved,
                               WORD gateMode);
DWORD WINAPI CounterReset(KTZHANDLE handle, WORD counter);
DWORD WINAPI PWMStartRead(KTZHANDLE handle, DWORD reserved, FLOAT *firstTime, FLOAT *secondTime);

/* ---- fast analog input ------------------------------------------------- */

DWORD WINAPI FAIDmaExStart(KTZHANDLE handle, WORD triggerSource, WORD triggerMode,
                           WORD clockSource, WORD option1, WORD option2, FLOAT triggerLevel,
                           WORD option3, WORD scanLength, WORD startChannel,
                           DWORD postTriggerScans, DWORD sampleCount, DWORD sampleRate,
                           WORD *gainList, DWORD reserved14, DWORD reserved15,
                           HGLOBAL bufferHandle, DWORD reserved17, DWORD reserved18,
                           DWORD reserved19, DWORD reserved20);
DWORD WINAPI GetFIFOSize(KTZHANDLE handle, DWORD *size);
DWORD WINAPI FAICheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count,
                      WORD *status2, WORD *status3);
DWORD WINAPI ClearOverrun(KTZHANDLE handle);
DWORD WINAPI FAITransfer(KTZHANDLE handle, WORD reserved, LPVOID destination, WORD dataType,
                         DWORD startIndex, DWORD count, DWORD reserved2);
DWORD WINAPI FAIWatchdogCheck(KTZHANDLE handle, WORD reserved, DWORD reserved1, DWORD reserved2,
                              DWORD reserved3, DWORD *triggerIndex, DWORD reserved4);
DWORD WINAPI FAIStop(KTZHANDLE handle);
DWORD WINAPI FAITerminate(KTZHANDLE handle);

/* ---- events ------------------------------------------------------------ */

DWORD WINAPI EnableEvent(KTZHANDLE handle, WORD eventType, WORD enabled, WORD count);
DWORD WINAPI CheckEvent(KTZHANDLE handle, WORD *eventType, DWORD timeout);

/* ---- waveform output --------------------------------------------------- */

DWORD WINAPI FAODmaExStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel,
                           WORD channelCount, WORD clockSource, WORD *samples, DWORD sampleCount,
                           WORD mode);
DWORD WINAPI FAODmaStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel, WORD *samples,
                         DWORD sampleCount);
DWORD WINAPI FAODmaStartLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                             DWORD sampleCount);
DWORD WINAPI FAOLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                     DWORD sampleCount);
DWORD WINAPI FAOIntStart(KTZHANDLE handle, DWORD reserved1, DWORD reserved2, DWORD reserved3,
                         DWORD reserved4, DWORD reserved5, DWORD reserved6);
DWORD WINAPI AllocateDMABuffer(KTZHANDLE handle, WORD mode, DWORD size, DWORD *sizeObtained,
                               DWORD *address);
DWORD WINAPI FreeDMABuffer(KTZHANDLE handle, DWORD *addressVar);
DWORD WINAPI FAOCheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count, WORD *zero,
                      WORD *status3);
DWORD WINAPI FAOCheckEx(KTZHANDLE handle, WORD *stopped, WORD *status1, WORD *status3,
                        DWORD *count, WORD *status2);
DWORD WINAPI ClearFlag(KTZHANDLE handle, DWORD flagCode);
DWORD WINAPI FAOScale(KTZHANDLE handle, WORD channel, DWORD count, FLOAT *voltages, WORD *codes);
DWORD WINAPI FAOStop(KTZHANDLE handle);
DWORD WINAPI FAOTerminate(KTZHANDLE handle);

/* ---- configuration ----------------------------------------------------- */

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

/*
 * Configures a device in dialog boxes: the settings dialog for a device
 * with a card, else first the choice of an unconfigured card. Returns 0
 * when a dialog was closed, -1 when a dialog could not be created.
 */
LONG WINAPI DeviceConfig(DWORD deviceNumber, DWORD boardId, HWND parent);
/* The settings dialog, with `foundDevice` as the card of a device without one. */
LONG WINAPI DeviceConfigExt(DWORD deviceNumber, DWORD boardId, HWND parent,
                            const KtzFoundDevice *foundDevice, DWORD reserved);

/* Dialog procedures of the settings dialog (105), the card discovery (104) and About (106). */
INT_PTR CALLBACK ConfigDlgProc3649(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfigProcFoundDev(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/*
 * The device manager's property-page provider: request is an
 * SP_PROPSHEETPAGE_REQUEST (setupapi.h), addPage an LPFNADDPROPSHEETPAGE
 * (prsht.h); declared with the types behind them, so that an application
 * needs neither header. TRUE when a page was added.
 */
struct _SP_PROPSHEETPAGE_REQUEST;
struct _PSP;
BOOL WINAPI KtxDevicePropPage(struct _SP_PROPSHEETPAGE_REQUEST *request,
                              BOOL(CALLBACK *addPage)(struct _PSP *page, LPARAM lParam),
                              LPARAM lParam);

#ifdef __cplusplus
}
#endif

#endif /* KTZ3649_H */
