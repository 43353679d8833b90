/*
 * The virtual lab: control of the simulated KTZ3649S driver and its virtual
 * PCI-3649 / PCI-3649L cards, for the host build (tests, the ktz3649 tool,
 * and applications developed without a card). Plain C, usable from any
 * language that calls C.
 *
 * The lab lives in libktz3649s.so, the module of the simulated kernel
 * driver. An application that links only libktz3649.so reaches the driver
 * through the service control manager as on Windows; it needs this header
 * only to set up cards and signals.
 *
 * Setting up: KtzSimReset, then KtzSimAddCard for each card, then
 * KtzSimInstallDevice for each device number. After that DeviceOpen(n)
 * works as on a configured machine.
 *
 * Registry: the lab keeps the machine's state in hostwin's registry (the
 * cards under HKEY_LOCAL_MACHINE\HARDWARE\KTZLAB, the device settings and
 * the service where the library and Windows keep them). With the
 * environment variable HOSTWIN_REGISTRY naming a file, that state outlives
 * the process: one process can set up the lab and configure a card, the
 * next opens it.
 *
 * Time: each request to the driver advances the lab's virtual clock by a
 * fixed cost (KtzSimSetRequestCost), so polled operations are deterministic.
 *
 * Functions returning int give 0 for success or a Win32 error code, unless
 * they say otherwise.
 */
#ifndef KTZ3649SIM_H
#define KTZ3649SIM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KTZSIM_BUILDING)
#define KTZSIM_API __attribute__((visibility("default")))
#else
#define KTZSIM_API
#endif

#define KTZSIM_PCI3649 97
#define KTZSIM_PCI3649L 169

/* ---- the lab as a whole --------------------------------------------------- */

/* KtzSimReset flags. */
#define KTZSIM_KEEP_REGISTRY 0x1 /* keep the registry (and the cards recorded in it) */

/*
 * Resets the lab: stops the driver, removes every card (unless the registry
 * is kept), clears the trace, the faults and the virtual clock, restores the
 * defaults, and reboots the simulated host (hostwin), which empties the
 * registry unless KTZSIM_KEEP_REGISTRY is given. With the registry kept, the
 * cards recorded in it come back with fresh state and the driver starts
 * again if its service is set to start automatically.
 */
KTZSIM_API void KtzSimReset(unsigned flags);

/* ---- cards ----------------------------------------------------------------- */

typedef struct KtzSimCard {
    unsigned bus;
    unsigned slot;
    unsigned boardId;     /* KTZSIM_PCI3649 or KTZSIM_PCI3649L */
    unsigned baseAddress; /* I/O base of the register block */
    unsigned interrupt;
} KtzSimCard;

/*
 * Plugs a card in. Returns its index (0, 1, ...), or -1 when the bus and
 * slot are taken or the board ID is not one of the two. The base address is
 * 0xE000 + 0x100 * index and the interrupt 5 + index. A running driver sees
 * the card at its next start.
 */
KTZSIM_API int KtzSimAddCard(unsigned bus, unsigned slot, unsigned boardId);
/* The same with every property given. */
KTZSIM_API int KtzSimAddCardEx(const KtzSimCard *card);
KTZSIM_API int KtzSimCardCount(void);
/* Fills *card for a card index; 0, or ERROR_INVALID_PARAMETER. */
KTZSIM_API int KtzSimGetCard(int index, KtzSimCard *card);
/* The card that the running driver serves for a device number, or -1. */
KTZSIM_API int KtzSimCardOfDevice(unsigned deviceNumber);

/* ---- configured devices ----------------------------------------------------- */

/* A device's stored settings, as the library's settings writer stores them. */
typedef struct KtzSimDeviceSettings {
    unsigned boardId;
    unsigned baseAddress;
    unsigned dmaBaseAddress;
    unsigned interrupt;
    unsigned dma;
    unsigned timerClock;
    unsigned ioPortCount;
    unsigned allowConflicts; /* 0: the first open resets the card */
    unsigned chanConfig;     /* bit n: input n differential */
    unsigned numExpChan;
    unsigned cjcChannel;
    unsigned aoReference[2]; /* 0 internal, 1 external unipolar, 2 external bipolar */
    float aoMaximum[2];      /* stored as whole volts */
    float aoMinimum[2];
    unsigned busNumber;
    unsigned slotNumber;
    unsigned onSystem;
    unsigned dioPortMode; /* bit 0: port 0 input, bit 4: port 1 input */
    unsigned freqArea;
    unsigned pwmArea;
} KtzSimDeviceSettings;

/*
 * The settings a configuration of the card would store: the card's board
 * ID, bus, slot, base address and interrupt; AllowConflicts 0; all inputs
 * single-ended; both outputs internal 0 to 5 V; both ports outputs;
 * FreqArea 1, PWMArea 0; no expansion board (CJC channel 65535).
 */
KTZSIM_API int KtzSimDefaultSettings(int card, KtzSimDeviceSettings *settings);

/*
 * Installs device `deviceNumber` on a card in one call: writes its settings
 * (the given ones, or the defaults above when NULL) as the library's
 * settings writer does, registers the kernel service and its keys as the
 * library's configuration does, and (re)starts the service, which publishes
 * the device and records its base address.
 */
KTZSIM_API int KtzSimInstallDevice(unsigned deviceNumber, int card,
                                   const KtzSimDeviceSettings *settings);

/* Starts or stops the KTZ3649S service through the service control manager. */
KTZSIM_API int KtzSimStartDriver(void);
KTZSIM_API int KtzSimStopDriver(void);
/* 1 while the driver runs, else 0. */
KTZSIM_API int KtzSimDriverRunning(void);

/* ---- registers ------------------------------------------------------------------ */

/*
 * Reads or writes a card register as the card's logic sees it, without a
 * request to the driver and without a trace entry (width 8 or 16). Reads
 * have no side effects on the card.
 */
KTZSIM_API unsigned KtzSimPeek(int card, unsigned offset, unsigned width);
KTZSIM_API void KtzSimPoke(int card, unsigned offset, unsigned width, unsigned value);

/* ---- analog inputs, analog outputs and digital ports ------------------------ */

/*
 * The converter: 16 input channels (channels 2k and 2k+1 form a pair when
 * the range programmed for 2k is differential: the pair reads 2k minus
 * 2k+1). A conversion samples its channel's signal at the virtual time it
 * starts and its result is ready one conversion time later; register 0
 * then reads the 12-bit code in bits 0 to 11 and the low three bits of the
 * converted channel in bits 12 to 14. Gain codes: bit 4 set is unipolar
 * (0 V to full scale), clear bipolar (-full scale to +full scale); bits 0
 * to 2 select the full scale, 5, 2.5, 1.25, 0.625, 10 V bipolar and 10, 5,
 * 2.5, 1.25 V unipolar; the other codes give the 10 V span. Voltages
 * beyond a range clip to code 0 or 4095.
 *
 * Functions taking a card index return 0, or ERROR_INVALID_PARAMETER for a
 * card, channel or port that does not exist (nothing changes then).
 */

#define KTZSIM_SIGNAL_DC 0     /* offset */
#define KTZSIM_SIGNAL_SINE 1   /* offset + amplitude * sin(2 pi frequency t) */
#define KTZSIM_SIGNAL_SQUARE 2 /* offset + amplitude in the first half period, - in the second */
#define KTZSIM_SIGNAL_NOISE 3  /* offset + amplitude * uniform(-1, 1), from seed and time */

typedef struct KtzSimSignal {
    unsigned kind;    /* KTZSIM_SIGNAL_* */
    double amplitude; /* volts, peak */
    double offset;    /* volts */
    double frequency; /* hertz of virtual time (sine, square) */
    unsigned seed;    /* noise: the same seed gives the same value at the same time */
} KtzSimSignal;

/* The signal at an input channel (0 to 15); every channel starts at 0 V DC. */
KTZSIM_API int KtzSimSetSignal(int card, unsigned channel, const KtzSimSignal *signal);
/* A DC voltage at an input channel. */
KTZSIM_API int KtzSimSetInputVoltage(int card, unsigned channel, double volts);
/* The voltage at an input channel at a virtual time (ns); 0.0 when there is none. */
KTZSIM_API double KtzSimInputVoltage(int card, unsigned channel, unsigned long long time);

/* Virtual time from the start of a conversion to its result (default 1000 ns). */
KTZSIM_API int KtzSimSetConversionTime(int card, unsigned nanoseconds);
/*
 * Fault: with `never` non-zero, conversions start but never finish (bit 8
 * of register 8 stays set); clearing it lets the one under way finish.
 */
KTZSIM_API int KtzSimSetConverterNeverFinishes(int card, int never);

/*
 * The external trigger line: `count` pulses (KTZSIM_ENDLESS: without end;
 * 0: never again), one every `period` ns of virtual time, the first one
 * period after the call. A pulse starts a conversion when register 6 holds
 * 9 (external trigger) and the converter is idle; other pulses are lost.
 * There are no pulses until this is called.
 */
#define KTZSIM_ENDLESS (-1)
KTZSIM_API int KtzSimSetExternalTrigger(int card, unsigned period, int count);
/* One trigger pulse now. */
KTZSIM_API int KtzSimFireTrigger(int card);

/*
 * The outputs (PCI-3649 only): the voltage each output channel (0, 1)
 * drives from its code (registers 12, 14; 12 bits, code 4096 wraps to 0)
 * and its bits in register 10: code / 4096 of the reference, unipolar, or
 * of twice the reference less the reference, bipolar. The reference is
 * internal 5 V or 10 V, or the external reference voltage (default 10 V).
 */
KTZSIM_API int KtzSimGetAnalogOutput(int card, unsigned channel, double *volts);
KTZSIM_API int KtzSimSetExternalReference(int card, double volts);

/*
 * The digital ports 0 and 1: an input port (its bit in register 42 set:
 * bit 0 port 0, bit 4 port 1) reads the external lines; an output port
 * drives and reads back its output latch. Lines start at 0.
 */
KTZSIM_API int KtzSimSetDigitalInput(int card, unsigned port, unsigned lines);
/* The output latch of a port (what the port drives while it is an output). */
KTZSIM_API int KtzSimGetDigitalOutput(int card, unsigned port, unsigned *latch);

/* ---- fast analog input: the acquisition engine ------------------------------------- */

/*
 * The card's DMA acquisition. The start request (FAIDmaExStart) checks
 * and records an acquisition; the overlapped read of the buffer that
 * follows it starts the engine, which writes one 16-bit sample per clock
 * tick into the application's buffer and signals the device's events:
 *
 * - Scan: from the start to the stop channel of the start request's
 *   multiplexer word, wrapping from 15 to 0; a channel whose range in the
 *   card's range queue (register 2) is differential is a pair with the
 *   next channel and takes one entry. Sample k belongs to entry k mod the
 *   number of entries and is converted from that entry's signal at the
 *   lab time of the start plus k clock periods: bits 0 to 11 the code,
 *   bits 12 to 14 the low bits of the channel, bit 15 the trigger marker.
 * - Clock: the on-board pacer ticks every divisor x 100 ns; with a clock
 *   source other than 0 the lab's external clock ticks instead (periodic,
 *   or pulse by pulse), and sample times step by its period (1000 ns
 *   until one is set).
 * - Real time: clock time runs at the lab's time factor times real time
 *   (factor 100: one second of acquisition in ten milliseconds).
 * - Trigger modes: 0 fills the buffer once and ends. 1 waits for the
 *   trigger, then fills the buffer once and ends. 3 (about trigger) fills
 *   the buffer cyclically until the trigger, then writes the post-trigger
 *   scans with bit 15 set and ends. The trigger counts from the first
 *   entry of a scan: trigger source 2 is the first entry's voltage rising
 *   through the level (level code x 20 / 255 - 10 V); every other non-zero
 *   source is the lab's trigger (KtzSimFireAcquisitionTrigger), taken at
 *   the next scan.
 * - The end: the status reports it, the pending read completes, then the
 *   terminated event is signalled. A stop request completes the read with
 *   the samples so far, a terminate request (or the close of the last
 *   handle of the open that started it) cancels it, before the request
 *   returns; neither signals the terminated event.
 * - Events, each only while enabled by the event-enable request of the
 *   open: interrupt (slot 0) every eventCount samples of the start request
 *   (2048, half the FIFO, when 0), buffer change (slot 1) when a half of the
 *   buffer is complete, terminated (slot 2) at the end, overrun (slot 3)
 *   when the engine starts rewriting a half of the buffer (mode 3) while
 *   the buffer-change event is still signalled, that is, before the
 *   application took the previous change.
 * - The status record (FAICheck): status word 1 is 0 with no acquisition
 *   (or one stopped before its end), 1 while it waits for its read or for
 *   the trigger (modes 1 and 3), 2 while it samples (mode 0, or after the
 *   trigger), 3 once it has ended; the count is the samples written since
 *   the start (it goes on counting while mode 3 rewrites the buffer);
 *   status word 2 is the half of the buffer the next sample goes to (0
 *   low, 1 high); status word 3 is 1 from an overrun until ClearOverrun.
 * - Start replies (status word of the start request, which the library
 *   returns as the device error of that number): 34 for a sample count of
 *   0, odd or above 1,024,000; 22 for an on-board divisor below 10; 10 for
 *   a trigger mode other than 0, 1 and 3, a mode and source not both zero
 *   or both non-zero, or mode 3 without post-trigger scans; 43 while an
 *   acquisition is prepared or running. The availability word is 1 while
 *   one is prepared or running, else 0.
 */

/* Virtual time per real time for the engines (default 1.0, must be > 0). */
KTZSIM_API int KtzSimSetTimeFactor(double factor);
KTZSIM_API double KtzSimTimeFactor(void);

/*
 * The external acquisition clock: a pulse every `periodNs` of clock time
 * (0: none). The period is also the sample spacing of acquisitions started
 * while it is set.
 */
KTZSIM_API int KtzSimSetExternalClock(int card, unsigned periodNs);
/*
 * `count` external clock pulses now; returns once the engine has taken
 * them (or no acquisition runs): 0, or ERROR_TIMEOUT (1460) after 30 s.
 */
KTZSIM_API int KtzSimPulseExternalClock(int card, unsigned count);
/* The acquisition trigger (trigger sources other than 2), taken at the next scan. */
KTZSIM_API int KtzSimFireAcquisitionTrigger(int card);

/* Faults. */
/* The availability query replies `word` (non-zero: busy) until set to 0 again. */
KTZSIM_API int KtzSimSetAvailabilityWord(int card, unsigned word);
/*
 * The next `count` requests (< 0: every one; 0 or status 0: none) with
 * `code`, the fast-input start (0x9C4024F1) or status (0x9C402480)
 * request, reply `status` (the start then does not start anything).
 */
KTZSIM_API int KtzSimSetStatusReply(int card, unsigned code, unsigned status, int count);
/* The driver's next start creates none of these events (bit n: slot n) for devices on the card. */
KTZSIM_API int KtzSimSetEventsNotCreated(int card, unsigned slots);

/* What the engine was asked and has done. */
#define KTZSIM_ACQ_NONE 0     /* nothing started on the card */
#define KTZSIM_ACQ_PREPARED 1 /* start accepted, waiting for the read of the buffer */
#define KTZSIM_ACQ_RUNNING 2
#define KTZSIM_ACQ_ENDED 3    /* ended by itself: the buffer is complete */
#define KTZSIM_ACQ_STOPPED 4  /* stopped or terminated (or its handle closed) */

typedef struct KtzSimAcquisition {
    unsigned state; /* KTZSIM_ACQ_*; the rest is 0 for KTZSIM_ACQ_NONE */
    /* The last start request as the driver received it. */
    unsigned sampleCount;
    unsigned pacerDivisor;
    unsigned clockSource;
    unsigned triggerMode;
    unsigned triggerSource;
    unsigned triggerLevelCode;
    unsigned postTriggerScans;
    unsigned multiplexer; /* stop channel << 8 | start channel */
    unsigned options[3];  /* driver option words 1, 2, 3 */
    unsigned eventEnabled, eventType, eventCount;
    /* The scan it runs: channel and range byte of each entry. */
    unsigned scanLength;
    unsigned scanChannels[16];
    unsigned scanRanges[16];
    /* Progress. */
    unsigned long long startTime; /* lab time (ns) of the first clock tick */
    unsigned long long samples;   /* written into the buffer */
    unsigned long long ticks;   /* clock ticks since the start */
    unsigned triggered;
    unsigned overruns;
    unsigned long long maxLag;      /* most ticks the engine was behind the on-board clock */
    unsigned long long maxOwnLag;   /* the same, less ticks due while the system let the
                                       engine's thread oversleep: its own slowness */
    unsigned long long engineCpuNs; /* CPU time of the engine thread */
} KtzSimAcquisition;

KTZSIM_API int KtzSimGetAcquisition(int card, KtzSimAcquisition *info);

/* ---- time ------------------------------------------------------------------------- */

/* The virtual clock in nanoseconds. */
KTZSIM_API unsigned long long KtzSimNow(void);
/* Virtual time that one request to the driver takes (default 1000 ns). */
KTZSIM_API void KtzSimSetRequestCost(unsigned nanoseconds);

/* ---- trace ------------------------------------------------------------------------ */

#define KTZSIM_TRACE_REQUEST 1  /* any request; register fields unused */
#define KTZSIM_TRACE_REGISTER 2 /* a register read or write request */
#define KTZSIM_TRACE_OPEN 3     /* an open of a device object */

typedef struct KtzSimTraceEntry {
    unsigned kind;   /* KTZSIM_TRACE_* */
    unsigned device; /* the device number of the device object */
    unsigned code;   /* the request code (0 for an open) */
    unsigned offset; /* register: offset */
    unsigned width;  /* register: 8 or 16 */
    unsigned write;  /* register: 1 for a write, 0 for a read */
    unsigned value;  /* register: the value written or read */
    unsigned error;  /* 0, or the Win32 error the request failed with */
} KtzSimTraceEntry;

/* The trace records every request (on by default, up to 1,048,576 entries). */
KTZSIM_API void KtzSimTraceEnable(int enabled);
KTZSIM_API void KtzSimTraceClear(void);
KTZSIM_API size_t KtzSimTraceCount(void);
/* Fills *entry; 0, or ERROR_INVALID_PARAMETER for an index past the end. */
KTZSIM_API int KtzSimTraceGet(size_t index, KtzSimTraceEntry *entry);
/* Entries not recorded because the trace was full. */
KTZSIM_API size_t KtzSimTraceDropped(void);

/* ---- faults ----------------------------------------------------------------------- */

#define KTZSIM_OPEN 0u /* as a request code: the open of a device object */

/*
 * Makes requests with this code fail with `lastError` (the system error the
 * caller then sees): the next `count` ones, or every one when count < 0.
 * Nothing of a failed request reaches the card.
 */
KTZSIM_API void KtzSimFailRequest(unsigned code, unsigned lastError, int count);
KTZSIM_API void KtzSimClearFaults(void);

#ifdef __cplusplus
}
#endif

#endif /* KTZ3649SIM_H */
