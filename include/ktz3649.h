/*
 * Ktz3649.dll: the user-mode driver library of the PCI-3649 and PCI-3649L
 * data-acquisition cards.
 *
 * Every function returns a 32-bit result code: 0 for success; a device
 * error is ((device number + 1) << 12) | error number; some failures are
 * the bare error number, and a status word that the kernel driver replies
 * is passed on added to the device bits (KtzResultText says which is
 * which). Results are written through the addresses the caller passes; on
 * failure the outputs stay unwritten unless a function says otherwise.
 * Below, "bare" marks the errors returned without the device bits; every
 * function with a handle returns KtzErrInvalidHandle (bare) first for a
 * handle that is not an open device.
 *
 * A device handle is the address of the library's device record: 32 bits
 * in the Windows library, pointer-sized on a 64-bit host build.
 */
#ifndef KTZ3649_H
#define KTZ3649_H

#include <stddef.h>
#include <windows.h>

#include <ktz3649_driver.h>     /* KtzFoundDevice */
#include <ktz3649_driverproc.h> /* the DriverProc parameter blocks */

#ifdef __cplusplus
extern "C" {
#endif

typedef ULONG_PTR KTZHANDLE;

/* Board IDs. */
#define KTZ_BOARD_PCI3649 97
#define KTZ_BOARD_PCI3649L 169

/* ---- result codes ---------------------------------------------------- */

/* Error numbers: the low 12 bits of a result code. */
typedef enum KtzError {
    KtzErrMemoryAlloc = 1,
    KtzErrSettingsNotFound = 2,
    KtzErrInvalidHandle = 3,
    KtzErrConversionTimeout = 4,
    KtzErrInvalidScaleRange = 5,
    KtzErrInvalidChannel = 7,
    KtzErrInvalidGain = 8,
    KtzErrTriggerTimeout = 9,
    KtzErrInvalidParameter = 10,
    KtzErrInvalidPacerRate = 22,
    KtzErrAcquisitionRunning = 23,
    KtzErrUnsupportedBoard = 24,
    KtzErrKernelOpen = 26,
    KtzErrNotSupported = 27,
    KtzErrInvalidSetting = 32,
    KtzErrNoBuffer = 33,
    KtzErrInvalidCount = 34,
    KtzErrEventCreate = 37,
    KtzErrTransferStart = 38,
    KtzErrInvalidEventType = 40,
    KtzErrDmaBusy = 43,
    KtzErrInvalidTriggerLevel = 56,
    KtzErrUnknownProperty = 62,
    KtzErrEventWait = 63,
    KtzErrKernelRequest = 100,
    KtzErrPortFileNotFound = 101,
    KtzErrPortInvalidHandle = 102,
    KtzErrPortTooManyCommands = 103,
    KtzErrPortNoAccess = 105,
    KtzErrPortRequest = 106,
    KtzErrEventEnable = 111
} KtzError;

/* The error number of a result code (kernel status words pass through too). */
#define KtzErrorNumber(result) ((DWORD)(result) & 0xFFFu)
/* The device number a device error names, or -1 for a bare result. */
#define KtzErrorDevice(result) ((LONG)((DWORD)(result) >> 12) - 1)

/* An error number in words, or NULL for a number the library does not use. */
static inline const char *KtzErrorText(DWORD number) {
    switch (number) {
    case KtzErrMemoryAlloc: return "memory allocation failed";
    case KtzErrSettingsNotFound: return "device settings not found";
    case KtzErrInvalidHandle: return "invalid handle";
    case KtzErrConversionTimeout: return "conversion timed out";
    case KtzErrInvalidScaleRange: return "invalid scale range";
    case KtzErrInvalidChannel: return "invalid channel";
    case KtzErrInvalidGain: return "invalid gain code";
    case KtzErrTriggerTimeout: return "trigger timed out";
    case KtzErrInvalidParameter: return "invalid parameter";
    case KtzErrInvalidPacerRate: return "invalid pacer rate";
    case KtzErrAcquisitionRunning: return "acquisition running";
    case KtzErrUnsupportedBoard: return "unsupported board";
    case KtzErrKernelOpen: return "kernel driver not opened";
    case KtzErrNotSupported: return "not supported";
    case KtzErrInvalidSetting: return "invalid setting";
    case KtzErrNoBuffer: return "no buffer";
    case KtzErrInvalidCount: return "invalid count";
    case KtzErrEventCreate: return "event not created";
    case KtzErrTransferStart: return "transfer not started";
    case KtzErrInvalidEventType: return "invalid event type";
    case KtzErrDmaBusy: return "DMA busy";
    case KtzErrInvalidTriggerLevel: return "invalid trigger level";
    case KtzErrUnknownProperty: return "unknown property";
    case KtzErrEventWait: return "event wait failed";
    case KtzErrKernelRequest: return "kernel driver request failed";
    case KtzErrPortFileNotFound: return "port access: file not found";
    case KtzErrPortInvalidHandle: return "port access: invalid handle";
    case KtzErrPortTooManyCommands: return "port access: too many commands";
    case KtzErrPortNoAccess: return "port access: no access";
    case KtzErrPortRequest: return "port access failed";
    case KtzErrEventEnable: return "event not enabled";
    default: return NULL;
    }
}

/* Appends text to buffer[0..size) at *at, as far as it fits with the
 * terminating zero (a part of KtzResultText). */
static inline void KtzAppendText(char *buffer, size_t size, size_t *at, const char *text) {
    while (*text && *at + 1 < size) buffer[(*at)++] = *text++;
    buffer[*at] = '\0';
}

/* Appends a number in decimal (a part of KtzResultText). */
static inline void KtzAppendNumber(char *buffer, size_t size, size_t *at, DWORD number) {
    char digits[11];
    int n = 0;
    do {
        digits[n++] = (char)('0' + number % 10);
        number /= 10;
    } while (number);
    while (n > 0 && *at + 1 < size) buffer[(*at)++] = digits[--n];
    buffer[*at] = '\0';
}

/*
 * Writes a result code in words into buffer: "success"; a device error as
 * "device 0: invalid channel"; a bare result as "invalid handle"; a status
 * that the kernel driver replied, passed on with the device bits, as
 * "device 0: kernel driver status 77"; a bare number the library does not
 * use as "error 4000". At most size bytes: the text is cut short where it
 * does not fit and always ends with a zero byte; size 0 writes nothing.
 * Returns buffer. A header-only helper, not a function of the library.
 */
static inline char *KtzResultText(DWORD result, char *buffer, size_t size) {
    size_t at = 0;
    DWORD number = KtzErrorNumber(result);
    const char *words = KtzErrorText(number);
    if (!buffer || size == 0) return buffer;
    buffer[0] = '\0';
    if (result == 0) {
        KtzAppendText(buffer, size, &at, "success");
        return buffer;
    }
    if (result >> 12) {
        KtzAppendText(buffer, size, &at, "device ");
        KtzAppendNumber(buffer, size, &at, (result >> 12) - 1);
        KtzAppendText(buffer, size, &at, ": ");
        if (words) {
            KtzAppendText(buffer, size, &at, words);
        } else {
            KtzAppendText(buffer, size, &at, "kernel driver status ");
            KtzAppendNumber(buffer, size, &at, number);
        }
    } else if (words) {
        KtzAppendText(buffer, size, &at, words);
    } else {
        KtzAppendText(buffer, size, &at, "error ");
        KtzAppendNumber(buffer, size, &at, number);
    }
    return buffer;
}

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

/* Read with DriverProc code 109, written with 108 (those marked "write"). */
#define KTZ_PROP_DEVICE_NUMBER 0x0000    /* u32 */
#define KTZ_PROP_BOARD_ID 0x0001         /* u32 */
#define KTZ_PROP_BASE_ADDRESS 0x0003     /* u16: the card's I/O base */
#define KTZ_PROP_INTERRUPT 0x0004        /* u16 */
#define KTZ_PROP_BUS_NUMBER 0x0005       /* u32 */
#define KTZ_PROP_SLOT_NUMBER 0x0006      /* u32 */
#define KTZ_PROP_CHAN_CONFIG 0x1000      /* u16, write: the differential pairs (ChanConfig) */
#define KTZ_PROP_AI_PACER_RATE 0x1001    /* u32 hertz, write: programs the input pacer */
#define KTZ_PROP_AO_RANGES 0x2000        /* four KtzOutputRange; write: one channel's range */
#define KTZ_PROP_AO_PACER_RATE 0x2001    /* u32 hertz, write: programs the output pacer */
#define KTZ_PROP_AO_CHANNEL_RANGE 0x2004 /* KtzOutputRange of the channel at offset 6; write */
#define KTZ_PROP_DIO_PORT_WIDTHS 0x3005  /* two bytes, 3 and 3 */
#define KTZ_PROP_DIO_DIRECTIONS 0x3006   /* two u32, 0 input or 255 output; write */
/* Constants of the digital input (0x3C8x) and output (0x480x) groups. */
#define KTZ_PROP_DI_FIRST_CHANNEL 0x3C82 /* u32: 0 */
#define KTZ_PROP_DI_CHANNELS 0x3C83      /* u32: 16 */
#define KTZ_PROP_DI_PORTS 0x3C84         /* u32: 2 */
#define KTZ_PROP_DO_FIRST_CHANNEL 0x4806 /* u32: 0 */
#define KTZ_PROP_DO_CHANNELS 0x4807      /* u32: 16 */
#define KTZ_PROP_DO_PORTS 0x4808         /* u32: 2 */
/* Constants of the counter group. */
#define KTZ_PROP_COUNTER_CAPABILITIES 0x5001 /* three u32, one per counter: 65, 69, 67 */
#define KTZ_PROP_COUNTER_MASK 0x5002     /* u32: 7, counters 0 to 2 */
#define KTZ_PROP_COUNTER_CLOCKS 0x5007   /* four floats: the counter clocks in hertz */

/* An output range (16 bytes), as the output-range properties carry it. */
typedef struct KtzOutputRange {
    WORD type;            /* 4 in every record the library produces */
    WORD referenceSource; /* 0 internal, 1 external unipolar, 2 external bipolar */
    WORD pairSelector;    /* 0 the range, non-zero the second range */
    WORD channel;         /* 0 or 1 */
    FLOAT maximum;
    FLOAT minimum;
} KtzOutputRange;

/* ---- device objects and register access ------------------------------- */

/*
 * Opens device deviceNumber: reads its settings, opens the kernel driver's
 * device object and, at the first open when AllowConflicts is 0, resets the
 * card. Later opens of the same number share the record (and keep the
 * settings of the first). Writes the handle to *handleOut. Errors:
 * KtzErrInvalidParameter (null handleOut), KtzErrSettingsNotFound (bare),
 * KtzErrMemoryAlloc (no record, or no device path in the registry),
 * KtzErrKernelOpen, KtzErrUnsupportedBoard (the reset of an unknown board).
 */
DWORD WINAPI DeviceOpen(DWORD deviceNumber, KTZHANDLE *handleOut);
/*
 * Closes one open of a device: stops event notification unless fast input
 * or output runs, sends the close request, and at the last close ends
 * everything still running on the device and releases the record. Writes 0
 * to *handleVar. Errors: KtzErrInvalidHandle (bare; also for a null
 * handleVar), KtzErrKernelRequest (the driver refused: the device stays open;
 * at the last close its fast input and output have been ended by then).
 *
 * The last close: from its start, calls on the handle from other threads
 * get KtzErrInvalidHandle; those already running finish first (a CheckEvent
 * waiting is woken, and returns KtzErrInvalidHandle). Fast input and output
 * are terminated, the DMA buffer is given back and the driver's pending
 * read and output start are waited for (a request the driver refused to end
 * is cancelled) before the close request goes out; the record goes last.
 */
DWORD WINAPI DeviceClose(KTZHANDLE *handleVar);
/*
 * Copies the board's features record, always all 520 bytes, to buffer (the
 * size is not consulted). Errors: KtzErrUnsupportedBoard,
 * KtzErrInvalidParameter (null buffer).
 */
DWORD WINAPI DeviceGetFeatures(KTZHANDLE handle, LPVOID buffer, WORD bufferSize);

/*
 * Raw register access by port address (the card's register at port minus
 * its BaseAddress); the reads write the byte (zero-extended) or the word
 * to *value. Errors: KtzErrInvalidParameter (null value); a failed request
 * gives a bare KtzErrKernelRequest, KtzErrPortFileNotFound,
 * KtzErrPortInvalidHandle, KtzErrPortTooManyCommands, KtzErrPortNoAccess or
 * KtzErrPortRequest, from the system's last error.
 */
DWORD WINAPI WritePortByte(KTZHANDLE handle, WORD port, BYTE value);
DWORD WINAPI WritePortWord(KTZHANDLE handle, WORD port, WORD value);
DWORD WINAPI ReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI ReadPortWord(KTZHANDLE handle, WORD port, WORD *value);

/*
 * Calls the function of functionCode (its low 16 bits) with the arguments
 * of the parameter block at `parameters` (ktz3649_driverproc.h) and returns
 * its result. Errors: KtzErrNotSupported (bare: no function has the code),
 * KtzErrInvalidParameter (no block where the code needs one).
 */
DWORD WINAPI DriverProc(DWORD reserved1, DWORD reserved2, DWORD functionCode, ULONG_PTR handle,
                        ULONG_PTR parameters);

/* ---- analog input ------------------------------------------------------ */

/*
 * Programs the range (gain code 0 to 20) and the wiring of input channel 0
 * to 15 (a differential pair on its even channel) and points the
 * multiplexer at it. Errors: KtzErrInvalidChannel, KtzErrUnsupportedBoard,
 * KtzErrInvalidGain.
 */
DWORD WINAPI AIConfig(KTZHANDLE handle, WORD channel, WORD gainCode);
/*
 * Writes the 276-byte input configuration record to config (board ID,
 * ChanConfig, expansion settings; bytes 18 and 19 stay as they are).
 * Errors: KtzErrInvalidParameter (null config).
 */
DWORD WINAPI AIGetConfig(KTZHANDLE handle, LPVOID config, DWORD reserved);
/*
 * Converts the channel the multiplexer points at (channel is checked, not
 * selected) and writes the 12-bit code to *reading; trigger mode 0 starts
 * the conversion, any other waits for an external trigger. Errors:
 * KtzErrInvalidChannel, KtzErrUnsupportedBoard, KtzErrInvalidParameter
 * (null reading), KtzErrConversionTimeout (*reading is then 0xFFFF),
 * KtzErrTriggerTimeout.
 */
DWORD WINAPI AIBinaryIn(KTZHANDLE handle, WORD channel, WORD triggerMode, WORD *reading);
/*
 * Writes the volts of a code to *voltage: (reading - offset) x fullScale /
 * (maxCount + 1 - offset). Errors: KtzErrInvalidScaleRange (bare: no
 * counts between offset and maxCount), KtzErrInvalidParameter (bare).
 */
DWORD WINAPI AIScale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset, FLOAT *voltage);
/*
 * AIBinaryIn, then the code in volts of gainCode's range to *voltage.
 * Errors: KtzErrInvalidChannel, KtzErrUnsupportedBoard, KtzErrInvalidGain
 * (a code without a range), KtzErrInvalidParameter, and AIBinaryIn's.
 */
DWORD WINAPI AIVoltageIn(KTZHANDLE handle, WORD channel, WORD gainCode, WORD triggerMode,
                         FLOAT *voltage);
/*
 * Programs a run of `channels` logical channels from startChannel (a pair
 * counts once, wrapping from 15 to 0) with one gain code each, and sets the
 * card's scan to it. Errors: KtzErrInvalidParameter (null gainCodes),
 * KtzErrInvalidChannel (an empty run, a start above 15, more channels than
 * the device has), and AIConfig's for the channel that fails.
 */
DWORD WINAPI MAIConfig(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes);
/*
 * Converts the run in scan order, one code per logical channel to
 * readings. Trigger mode 0 starts at the run's first channel; an external
 * trigger resumes where a timed-out scan stopped. Errors:
 * KtzErrInvalidChannel, KtzErrInvalidParameter (null readings), and
 * AIBinaryIn's.
 */
DWORD WINAPI MAIBinaryIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD triggerMode,
                         WORD *readings);
/* MAIBinaryIn in volts, one gain code and one float per logical channel.
 * Errors: KtzErrInvalidParameter, KtzErrInvalidChannel, and AIVoltageIn's. */
DWORD WINAPI MAIVoltageIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes,
                          WORD triggerMode, FLOAT *voltages);

/* ---- analog output ----------------------------------------------------- */

/*
 * Sets output channel 0 or 1's reference (0 internal, 1 external unipolar,
 * 2 external bipolar) and range in volts; the card follows at the next
 * output. Errors: KtzErrInvalidParameter (an internal range other than 0
 * or -5 or -10 to 5 or 10 V), KtzErrNotSupported (PCI-3649L),
 * KtzErrUnsupportedBoard, KtzErrInvalidChannel.
 */
DWORD WINAPI AOConfig(KTZHANDLE handle, WORD channel, WORD referenceSource, FLOAT maximum,
                      FLOAT minimum);
/*
 * Sets the channel's range bits in the output control and writes the code
 * as it is. Errors: KtzErrNotSupported, KtzErrUnsupportedBoard,
 * KtzErrInvalidChannel.
 */
DWORD WINAPI AOBinaryOut(KTZHANDLE handle, WORD channel, WORD code);
/* AOScale, then AOBinaryOut. Errors: KtzErrNotSupported,
 * KtzErrUnsupportedBoard, KtzErrInvalidChannel, KtzErrInvalidParameter
 * (a voltage that is not a number, a range without width). */
DWORD WINAPI AOVoltageOut(KTZHANDLE handle, WORD channel, FLOAT voltage);
/*
 * Writes the code of a voltage in the channel's range to *code: clamped to
 * the range, 4096 codes across it, at most 4095. Errors: KtzErrNotSupported,
 * KtzErrInvalidChannel (above 31), KtzErrInvalidParameter.
 */
DWORD WINAPI AOScale(KTZHANDLE handle, WORD channel, FLOAT voltage, WORD *code);

/* ---- digital I/O ------------------------------------------------------- */

/* Makes port 0 or 1 an input (direction 0) or an output (any other); the
 * card takes it at the next port access. */
DWORD WINAPI DioSetPortMode(KTZHANDLE handle, WORD port, WORD direction);
/* Writes count directions: 0 input, 1 output, 0xFFFF past port 1.
 * Errors: KtzErrInvalidParameter. */
DWORD WINAPI DioGetConfig(KTZHANDLE handle, WORD *directions, WORD count);
/*
 * Byte and bit access to port 0 or 1. The reads write the port byte or one
 * line (0 or 1) to *value; DioWritePortByte changes the lines of mask to
 * state; DioWriteBit sets line `bit` to bit 0 of state. DioGetCurrentDO*
 * read the port without writing the directions first. Errors:
 * KtzErrUnsupportedBoard, KtzErrInvalidChannel (port above 1),
 * KtzErrInvalidParameter (null value; a bit above 7, after the read, with
 * the port byte in *value; DioWriteBit tests the bit before the board).
 */
DWORD WINAPI DioReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioWritePortByte(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioReadBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
DWORD WINAPI DioWriteBit(KTZHANDLE handle, WORD port, WORD bit, WORD state);
DWORD WINAPI DioGetCurrentDOByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioGetCurrentDOBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
/*
 * Both ports as one word (port 0, port 0 in the low byte) or port 1 alone
 * (port 1): the reads write the lines of the input ports (Read) or of the
 * output ports (GetCurrentDO) to *value and, when validMask is not null,
 * which lines those are; the writes change the lines of mask to state.
 * Errors: KtzErrUnsupportedBoard, KtzErrInvalidChannel,
 * KtzErrInvalidParameter (null value).
 */
DWORD WINAPI DioReadPortWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioReadPortDword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
DWORD WINAPI DioWritePortWord(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioWritePortDword(KTZHANDLE handle, WORD port, DWORD mask, DWORD state);
DWORD WINAPI DioGetCurrentDOWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioGetCurrentDODword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
/*
 * One or two ports from firstPort, a byte per port in buffer: one port as
 * its byte access, two as the word access. Errors: KtzErrInvalidChannel (a
 * group that is not one or two of ports 0 and 1), KtzErrInvalidParameter
 * (null buffer), KtzErrUnsupportedBoard.
 */
DWORD WINAPI DioReadDiPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioWriteDoPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioGetCurrentDoPortsState(KTZHANDLE handle, DWORD firstPort, DWORD portCount,
                                       BYTE *buffer);

/* ---- counters ---------------------------------------------------------- */

/*
 * Counts the input events of counter 0 to 2 from now on, through its gate
 * (gate mode 0 open, 1 and 3 the gate line high, 2 and 4 low). Errors:
 * KtzErrUnsupportedBoard, KtzErrInvalidChannel.
 */
DWORD WINAPI CounterEventStart(KTZHANDLE handle, WORD counter, WORD gateMode);
/* Writes the 32-bit event total to *count and, once the counter has
 * wrapped since the start, *overflow: 1 after 65536 wraps, else 0.
 * Errors: KtzErrUnsupportedBoard, KtzErrInvalidChannel, KtzErrInvalidParameter. */
DWORD WINAPI CounterEventRead(KTZHANDLE handle, WORD counter, WORD *overflow, DWORD *count);
/* Selects the gate clock of the device's FreqArea for counter 2, the only
 * one that measures. Errors: KtzErrUnsupportedBoard, KtzErrInvalidChannel. */
DWORD WINAPI CounterFreqStart(KTZHANDLE handle, WORD counter, DWORD reserved1, DWORD reserved2);
/*
 * Measures the frequency at counter 2's input: a call with no measurement
 * under way starts one and writes nothing; once it has ended, the next
 * call writes the frequency in hertz to *frequency. Errors:
 * KtzErrUnsupportedBoard, KtzErrInvalidChannel, KtzErrInvalidParameter.
 */
DWORD WINAPI CounterFreqRead(KTZHANDLE handle, WORD counter, FLOAT *frequency);
/*
 * Puts out a square wave of `period` seconds (0.0000002 to 6.5535) on
 * counter 0 to 2, through its gate; the clock selector it sets is shared
 * by all counters. Errors: KtzErrUnsupportedBoard, KtzErrInvalidChannel,
 * KtzErrInvalidParameter (bare: a period out of range).
 */
DWORD WINAPI CounterPulseStart(KTZHANDLE handle, WORD counter, FLOAT period, DWORD reserved,
                               WORD gateMode);
/* Stops every measurement thread and leaves the counter loaded with 0.
 * Errors: KtzErrUnsupportedBoard, KtzErrInvalidChannel. */
DWORD WINAPI CounterReset(KTZHANDLE handle, WORD counter);
/*
 * Measures one high and one low phase of counter 2's input, as
 * CounterFreqRead does (the first call starts): writes them in
 * microseconds to *firstTime and *secondTime. Errors:
 * KtzErrUnsupportedBoard, KtzErrInvalidParameter.
 */
DWORD WINAPI PWMStartRead(KTZHANDLE handle, DWORD reserved, FLOAT *firstTime, FLOAT *secondTime);

/* ---- fast analog input ------------------------------------------------- */

/*
 * Starts an acquisition of sampleCount samples into the global memory
 * block bufferHandle: a scan of scanLength entries from startChannel, one
 * gain code each, at sampleRate on the pacer (clockSource 0) or on the
 * external clock, with or without a trigger. The device stays claimed from
 * the first check after the board on, also when a later check fails, until
 * FAIStop or FAITerminate. Errors: KtzErrUnsupportedBoard,
 * KtzErrAcquisitionRunning, KtzErrDmaBusy, KtzErrInvalidParameter (trigger
 * mode and source disagree, post-trigger scans outside 2 to 65535, null
 * gainList), KtzErrInvalidChannel, KtzErrInvalidCount (odd, 0 or above
 * 1,024,000), KtzErrNoBuffer, KtzErrInvalidPacerRate (outside 154 to
 * 1,000,000), KtzErrInvalidTriggerLevel (outside -10 to 10 V),
 * KtzErrInvalidGain, a kernel driver status, KtzErrEventCreate,
 * KtzErrTransferStart.
 */
DWORD WINAPI FAIDmaExStart(KTZHANDLE handle, WORD triggerSource, WORD triggerMode,
                           WORD clockSource, WORD option1, WORD option2, FLOAT triggerLevel,
                           WORD option3, WORD scanLength, WORD startChannel,
                           DWORD postTriggerScans, DWORD sampleCount, DWORD sampleRate,
                           WORD *gainList, DWORD reserved14, DWORD reserved15,
                           HGLOBAL bufferHandle, DWORD reserved17, DWORD reserved18,
                           DWORD reserved19, DWORD reserved20);
/* Writes the depth of the input FIFO, 4096 samples, to *size. Errors:
 * KtzErrUnsupportedBoard, KtzErrInvalidParameter. */
DWORD WINAPI GetFIFOSize(KTZHANDLE handle, DWORD *size);
/* Writes the acquisition's progress: 0 to *stopped, the driver's status
 * words and its sample count. Errors: KtzErrInvalidParameter (a null
 * output), a kernel driver status. */
DWORD WINAPI FAICheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count,
                      WORD *status2, WORD *status3);
/* Clears the driver's overrun condition. */
DWORD WINAPI ClearOverrun(KTZHANDLE handle);
/*
 * Copies count samples from startIndex of the last acquisition's buffer
 * to destination: raw words (dataType 0) or volts as floats in each scan
 * entry's range (any other); a stopped about-trigger acquisition in time
 * order. Errors: KtzErrInvalidCount (a range outside the buffer),
 * KtzErrInvalidParameter (null destination), KtzErrInvalidGain (a gain
 * without a range, for volts).
 */
DWORD WINAPI FAITransfer(KTZHANDLE handle, WORD reserved, LPVOID destination, WORD dataType,
                         DWORD startIndex, DWORD count, DWORD reserved2);
/* In about-trigger mode, writes the index of the sample where the trigger
 * marker last went from clear to set to *triggerIndex. Errors:
 * KtzErrInvalidParameter. */
DWORD WINAPI FAIWatchdogCheck(KTZHANDLE handle, WORD reserved, DWORD reserved1, DWORD reserved2,
                              DWORD reserved3, DWORD *triggerIndex, DWORD reserved4);
/* Ends the acquisition, keeping the samples so far (stop) or cancelling the
 * pending read (terminate), and releases the claim and the buffer, once the
 * driver has completed the read (one it keeps after a refused stop is
 * cancelled): the application may free its buffer then. A start that fails
 * after the buffer was locked gives the lock back itself. */
DWORD WINAPI FAIStop(KTZHANDLE handle);
DWORD WINAPI FAITerminate(KTZHANDLE handle);

/* ---- events ------------------------------------------------------------ */

/*
 * Enables (enabled non-zero) or disables the events of eventType, input
 * bits 1, 2, 4 and 8 or an output code from 0x2802 to 0x2807, every `count`
 * samples; the settings travel with the next start. Opens the device's
 * named events. Errors: KtzErrInvalidEventType (an input type above 15,
 * after the settings are taken), KtzErrEventEnable, KtzErrEventCreate.
 */
DWORD WINAPI EnableEvent(KTZHANDLE handle, WORD eventType, WORD enabled, WORD count);
/*
 * Waits up to timeout ms for an event of the device and writes its type
 * code to *eventType: 0 when none is enabled (at once) or a disabled one
 * was signalled, 0xFFFF when the time ran out. The end of an acquisition
 * terminates it here. Errors: KtzErrInvalidParameter, KtzErrEventWait,
 * KtzErrInvalidHandle (bare) when the device's last close began on another
 * thread during the wait (the wait ends then, the time-out notwithstanding).
 */
DWORD WINAPI CheckEvent(KTZHANDLE handle, WORD *eventType, DWORD timeout);

/* ---- waveform output --------------------------------------------------- */

/*
 * Obtains a DMA buffer for sampleCount samples, then FAODmaStart on
 * `channel` (channelCount above 1: both channels) with clockSource.
 * Errors: KtzErrInvalidSetting (more samples than 32-bit bytes hold),
 * AllocateDMABuffer's, KtzErrMemoryAlloc (bare: a smaller buffer, which is
 * kept until FAOTerminate), and FAODmaStart's.
 */
DWORD WINAPI FAODmaExStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel,
                           WORD channelCount, WORD clockSource, WORD *samples, DWORD sampleCount,
                           WORD mode);
/*
 * Plays sampleCount codes from samples at `rate` on channel 0, 1 or 2
 * (both), from the DMA buffer already obtained; the start request stays
 * pending while the output runs. Errors: KtzErrNotSupported,
 * KtzErrNoBuffer (null samples), KtzErrInvalidSetting (a pacer rate outside
 * 154 to 1,000,000; fewer samples than the output FIFO holds),
 * KtzErrDmaBusy (an earlier start still pending), KtzErrEventCreate, a
 * kernel driver status.
 */
DWORD WINAPI FAODmaStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel, WORD *samples,
                         DWORD sampleCount);
/* Hands sampleCount samples to the driver's DMA buffer (FAODmaStartLoad
 * before a start, FAOLoad while one runs). Errors: KtzErrNotSupported
 * (FAODmaStartLoad). */
DWORD WINAPI FAODmaStartLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                             DWORD sampleCount);
DWORD WINAPI FAOLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                     DWORD sampleCount);
/* Interrupt-driven output is not offered: returns 0 and does nothing. */
DWORD WINAPI FAOIntStart(KTZHANDLE handle, DWORD reserved1, DWORD reserved2, DWORD reserved3,
                         DWORD reserved4, DWORD reserved5, DWORD reserved6);
/*
 * Asks the driver for a DMA buffer of `size` bytes; writes the size
 * obtained and the buffer's address (also with a status reply). Errors:
 * KtzErrDmaBusy, KtzErrInvalidParameter (a null output), a kernel driver
 * status.
 */
DWORD WINAPI AllocateDMABuffer(KTZHANDLE handle, WORD mode, DWORD size, DWORD *sizeObtained,
                               DWORD *address);
/* Frees the driver's DMA buffer and writes 0 to *addressVar; when the
 * driver refused the request, *addressVar stays as it was (the buffer is
 * still held). Errors: KtzErrInvalidParameter. */
DWORD WINAPI FreeDMABuffer(KTZHANDLE handle, DWORD *addressVar);
/*
 * Writes the output's progress: 0 to *stopped, status word 1, the samples
 * played, the FIFO's samples (status word 3), and (FAOCheckEx) the output
 * flags of status word 2, or 0 in *zero (FAOCheck). Errors:
 * KtzErrNotSupported, KtzErrInvalidParameter (a null output), a kernel
 * driver status.
 */
DWORD WINAPI FAOCheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count, WORD *zero,
                      WORD *status3);
DWORD WINAPI FAOCheckEx(KTZHANDLE handle, WORD *stopped, WORD *status1, WORD *status3,
                        DWORD *count, WORD *status2);
/* Clears an output flag: 0x2805 underrun, 0x2806 high half and 0x2807 low
 * half transferred. Errors: KtzErrInvalidParameter (bare: another code). */
DWORD WINAPI ClearFlag(KTZHANDLE handle, DWORD flagCode);
/*
 * Writes the codes of count voltages in the channel's range, as AOScale
 * does, from the last to the first. Errors: KtzErrNotSupported,
 * KtzErrInvalidCount (0), KtzErrInvalidChannel (above 31),
 * KtzErrInvalidParameter (a null table, a voltage that is not a number, a
 * range without width: nothing written).
 */
DWORD WINAPI FAOScale(KTZHANDLE handle, WORD channel, DWORD count, FLOAT *voltages, WORD *codes);
/* Stops the output, once the driver has completed its start request; the
 * DMA buffer stays. FAOStop and FAOTerminate from two threads end an output
 * once. Errors: KtzErrNotSupported. */
DWORD WINAPI FAOStop(KTZHANDLE handle);
/* Ends the output, frees the DMA buffer and waits, within a bound, until
 * the card's FIFO has played out. Errors: KtzErrNotSupported. */
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
