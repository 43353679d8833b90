/*
 * The parameter blocks of DriverProc, the single dispatcher of Ktz3649.dll.
 * Included by ktz3649.h; an application includes that header.
 *
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
#ifndef KTZ3649_DRIVERPROC_H
#define KTZ3649_DRIVERPROC_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif

#endif /* KTZ3649_DRIVERPROC_H */
