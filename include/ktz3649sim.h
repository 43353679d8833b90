/*
 * The virtual lab: control of the simulated KTZ3649S driver and its virtual
 * PCI-3649 / PCI-3649L cards, for the host build (tests, the ktz3649 tool,
 * and applications developed without a card) and for the real Ktz3649.dll
 * under Wine. Plain C, usable from any language that calls C.
 *
 * Host build: the lab lives in libktz3649s.so, the module of the simulated
 * kernel driver. An application that links only libktz3649.so reaches the
 * driver through the service control manager as on Windows; it needs this
 * header only to set up cards and signals.
 *
 * Under Wine: the lab lives in Wine's driver host, where the kernel-driver
 * image KTZ3649S.SYS runs as two services of the load-order group
 * "Extended Base": KTZ3649SIM, the lab with its control device
 * \.\KTZ3649SIM, and KTZ3649S, the card's driver. Ktz3649Sim.dll serves
 * this header in the application's process: the first call copies
 * KTZ3649S.SYS from beside the DLL into system32\drivers (when it differs),
 * registers and starts KTZ3649SIM, and from then on every function runs in
 * the lab by one request to the control device, except those that a
 * configuration program runs in its own process (KtzSimReset,
 * KtzSimDefaultSettings, KtzSimInstallDevice, KtzSimStartDriver,
 * KtzSimStopDriver: registry and service control). The lab, with the state
 * of its cards, lives as long as the driver host: while KTZ3649S stops and
 * starts, and until Wine shuts the prefix down. A function that cannot
 * reach the lab says so once on stderr and returns -1 (int results) or 0.
 *
 * Also under Wine: fast input writes the application's buffer while the
 * read is pending, as on a card. Wine hands the driver host only a copy of
 * a read's buffer, which reaches the application when the read completes;
 * so Ktz3649Sim.dll routes Ktz3649.dll's import of ReadFile through a
 * wrapper that first tells the lab where the buffer is (the library's call
 * itself goes on unchanged), and the lab driver copies each batch of
 * samples into it with WriteProcessMemory before it signals the events
 * that announce them. Only reads made by a Ktz3649.dll loaded when a lab
 * function runs are covered.
 *
 * Setting up: KtzSimReset, then KtzSimAddCard for each card, then
 * KtzSimInstallDevice for each device number. After that DeviceOpen(n)
 * works as on a configured machine.
 *
 * Registry: the lab keeps the machine's state in the registry (the cards
 * under HKEY_LOCAL_MACHINE\SOFTWARE\KTZLAB, the device settings and the
 * service where the library and Windows keep them). On the host, with the
 * environment variable HOSTWIN_REGISTRY naming a file, that state outlives
 * the process: one process can set up the lab and configure a card, the
 * next opens it. Under Wine the prefix's registry keeps it, and the next
 * process finds the cards again (with fresh state) and the driver started
 * at boot.
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

#if defined(KTZSIM_BUILDING) && defined(_WIN32)
#define KTZSIM_API __declspec(dllexport)
#elif defined(KTZSIM_BUILDING)
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
 *
 * Under Wine nothing reboots: the driver KTZ3649S stops (its device objects
 * go; handles still open fail their requests), the lab forgets the state of
 * every card and clears its trace, faults, clock and time factor; then,
 * unless KTZSIM_KEEP_REGISTRY is given, the service KTZ3649S is deleted and
 * the keys of the lab and of the configuration are removed (the cards, the
 * shared key KTZDAQ with the device settings and MapEntry values, the
 * service key with its device settings and found devices, the event-log
 * source), so that the machine is empty and the next installation
 * registers everything anew. With the registry kept, the driver starts
 * again if its service starts automatically. The lab service KTZ3649SIM
 * keeps running. The rest of the prefix's registry is left alone.
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
 *
 * Under Wine the registration is the library's own code (its key
 * registration, service creation and restart sequence), run against Wine's
 * service control manager; the lab then puts the service into the group
 * "Extended Base", so that it runs in the lab's driver host, and starts it
 * when the library's restart sequence did not (the sequence ends at its
 * stop step for a service that does not run: ERROR_SERVICE_NOT_ACTIVE,
 * reported once on stderr).
 */
KTZSIM_API int KtzSimInstallDevice(unsigned deviceNumber, int card,
                                   const KtzSimDeviceSettings *settings);

/*
 * Starts or stops the KTZ3649S service through the service control manager;
 * under Wine they return once the service runs or has stopped (a start in
 * a prefix whose driver host is still starting is tried again).
 */
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
/*
 * offset + amplitude * (2 (t mod T) / T - 1) with T = 1 / frequency: a ramp
 * from -amplitude to +amplitude that starts again each period. Counting on
 * whole nanoseconds, so that a period of 4096 sample periods in the 10 V
 * bipolar range (amplitude 10) steps exactly one code per sample: a
 * counter whose samples show where one is missing or repeated.
 */
#define KTZSIM_SIGNAL_SAWTOOTH 4

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

/* ---- counters ------------------------------------------------------------------ */

/*
 * The card's three counters, 0 to 2, in the register format of the 8254
 * interval timer, run on the virtual clock. Each counter has two lines
 * from outside:
 *   - its input, the signal it counts when its clock is its input (event
 *     counting, the counted signal of a frequency measurement); the input
 *     of counter 2 is also the pulse-width input; without a signal it is low;
 *   - its gate line, a level, high unless set low.
 *
 * Registers (offsets from the register base):
 *   24, 26, 28  data of counters 0, 1, 2: one byte per access, in the low
 *               byte; word reads give 0 in the high byte
 *   30          control word (low byte): bits 6-7 counter (3, the read-back
 *               command, is ignored), bits 4-5 access (0 latches the count,
 *               1 low byte, 2 high byte, 3 low then high byte), bits 1-3 mode
 *               (0 to 5; 6 and 7 are 2 and 3), bit 0 BCD
 *   32, 34, 36  gate and clock setting of counters 0, 1, 2, written as a word:
 *     bits 0-1  clock: 1 the clock of register 38, 2 the counter's input
 *               (each rising edge), 0 or 3 none
 *     bit 3     clears status bits 10 and 11
 *     bits 4-5  gate source: 0 none (closed); 1 the output of the next lower
 *               counter (none for counter 0); 2 the gate line; 3 one phase of
 *               the pulse-width input per arming (see bit 8)
 *     bit 6     inverts the source (the gate is open while it is low); with
 *               source 3 it times the low phase instead of the high one
 *     bit 7     gate held open, whatever bits 4-6 say
 *     bit 8     arms a phase measurement (source 3): a word written with
 *               bit 8 set arms it and keeps the gate closed; the next word
 *               without it lets the gate open at the next start of the phase
 *               and close at its end, once
 *   reading 32, 34 or 36 gives the setting in bits 0-7 and the status:
 *     bit 8     the gate is open
 *     bit 9     the counter's output is high
 *     bit 10    the gate has opened since bit 3 last cleared this bit
 *     bit 11    a phase measurement is armed, waits for its phase or times it
 *   38          clock selector, bits 0-1: 0 10 MHz, 1 1 MHz, 2 100 kHz, 3 10 kHz
 *
 * Counting: modes 0 (count down, output high at zero), 1 (one-shot: a
 * rising gate loads the count at the next clock edge, output low for the
 * count), 2 (rate generator), 3 (square wave: output high for the first half
 * of each period of count clocks, the larger half for an odd count), 4
 * (software strobe) and 5 (gate strobe). In modes 0, 2, 3 and 4 the count
 * counts from the moment its last byte is written, while the gate is open
 * (a rising gate restarts modes 2 and 3; a closed gate holds their output
 * high). A BCD count of 0 means 10000, a binary one 65536. The internal
 * clocks tick at whole multiples of their period since the lab's time 0.
 *
 * So the library's sequences measure: frequency, counter 1 in mode 1 with
 * its gate held open and the selected clock (0x81) makes a gate of its
 * count, and counter 2 counts its input while counter 1's output is low
 * (0x52); status bits 8 and 10 of register 36 tell that the gate opened and
 * has closed. Pulse width: counters 2 (0x31) and 1 (0x71) count the selected
 * clock through one high and one low phase of the pulse-width input, each
 * armed by bit 8, and bit 11 stays set until its phase has been timed.
 */

/* The counter's input: pulses at `hertz` from now, a square wave that
 * starts low; 0 leaves the input low. ERROR_INVALID_PARAMETER for a
 * negative or infinite rate or one above 500 GHz. */
KTZSIM_API int KtzSimSetCounterRate(int card, unsigned counter, double hertz);
/* The counter's input: from now, low for lowNs, then high for highNs,
 * repeated. highNs 0 leaves it low; lowNs 0 with highNs above 0 holds it high. */
KTZSIM_API int KtzSimSetCounterPulseTrain(int card, unsigned counter, unsigned long long highNs,
                                          unsigned long long lowNs);
/* `count` pulses on the counter's input at once, now. They are counted when
 * the counter's clock is its input, through its gate as it is now. */
KTZSIM_API int KtzSimInjectCounterPulses(int card, unsigned counter, unsigned long long count);
/* The counter's gate line: 0 low, otherwise high (the default). */
KTZSIM_API int KtzSimSetCounterGate(int card, unsigned counter, int level);

/* What a counter puts out now. */
typedef struct KtzSimCounterOutput {
    unsigned level;  /* the output line, 0 or 1 */
    unsigned mode;   /* the programmed mode, 0 to 5 */
    unsigned count;  /* the counting element as it reads (BCD digits in BCD mode) */
    double periodNs; /* the period while the output repeats (modes 2 and 3 with a
                        count, the gate open and a periodic clock), else 0 */
    double highNs;   /* how long the output is high in each period */
} KtzSimCounterOutput;
KTZSIM_API int KtzSimGetCounterOutput(int card, unsigned counter, KtzSimCounterOutput *output);

/*
 * Virtual time that each read of registers 32 to 37 takes on top of the
 * request cost (default 0). The measurement threads poll these registers;
 * with a poll cost the gate of a frequency measurement passes in a few
 * thousand reads while the register writes that start it stay close
 * together, as on a real bus. (A large request cost would stretch the start
 * sequence too, and counter 2 would be connected after its gate opened.)
 */
KTZSIM_API int KtzSimSetCounterPollCost(int card, unsigned long long nanoseconds);

/* ---- waveform output -------------------------------------------------------- */

/*
 * The card's output FIFO and the driver's DMA channel that feeds it (PCI-3649
 * only; the functions return ERROR_INVALID_PARAMETER for a PCI-3649L).
 *
 * The FIFO holds 4096 samples (or 32768). A word written to register 48
 * enters it; a write to register 8 with bit 11 set empties it. Register 8
 * reports it: bit 12 latches when playing has run the FIFO empty (cleared by
 * a sample entering it or by the reset), bit 13 is set from half full on,
 * bit 14 when full. While bit 15 of register 10 is set the card plays one
 * sample per tick of its clock: the pacer (10 MHz / the start's divisor,
 * 0 counting 65536), or the external output clock when bit 11 of register 10
 * is set. Bits 8 and 9 of register 10 route the samples to channel 0,
 * channel 1, or both in turn; a played sample becomes the channel's code and
 * drives its output (KtzSimGetAnalogOutput) under the channel's bits of
 * register 10.
 *
 * The driver keeps one DMA buffer per card. The availability query replies
 * 1 while a buffer is held, else 0. An allocation obtains the requested size
 * up to a limit (64 MiB by default) and an address token; the load requests
 * copy the application's samples into it (the load argument is the first
 * sample index). The start writes the start's control bits into register 10
 * (keeping bit 11), sets bit 15 and moves samples into the FIFO whenever it
 * has room: once, or over and over when bit 0 of the option word is set.
 * The start request stays pending until the last sample has entered the
 * FIFO (then the output-ended event is signalled while the FIFO still
 * plays), or until a stop (which halts the card: bit 15 cleared, the FIFO
 * kept), a terminate (the FIFO plays out) or the cleanup of the open. A
 * start is refused with status 43 while one runs, 33 without a DMA buffer,
 * 34 for a sample count of 0 or beyond the buffer, 7 when the control word
 * names no channel. Events, each only when enabled: interrupt and buffer
 * change at each buffer half moved, low half and high half transferred,
 * underrun when the FIFO runs dry while samples are due (see the DMA stall),
 * output ended. The status record: status word 1 bit 0 while the start is
 * pending, bit 1 while the card plays; the count of samples played since the
 * start; status word 2 the flags underrun (bit 0), high half (bit 1) and low
 * half (bit 2) transferred, which the clear-flag request clears (10245,
 * 10246, 10247); status word 3 the samples in the FIFO.
 *
 * Time: the card plays in real time multiplied by the lab's time factor
 * (KtzSimSetTimeFactor), on a thread of its own.
 */

/* The FIFO size, 4096 or 32768 samples (default 4096); the FIFO empties. */
KTZSIM_API int KtzSimSetOutputFifoSize(int card, unsigned samples);
/* The external output clock in hertz (default 0: no ticks). */
KTZSIM_API int KtzSimSetOutputClock(int card, double hertz);
/* Fault: with `stalled` non-zero the DMA channel moves no samples into the FIFO. */
KTZSIM_API int KtzSimSetOutputDmaStalled(int card, int stalled);
/* Fault: the availability query replies `word` (0: the normal reply). */
KTZSIM_API int KtzSimSetDmaAvailability(int card, unsigned word);
/* The largest DMA buffer an allocation obtains, in bytes (a larger request gets this). */
KTZSIM_API int KtzSimSetDmaLimit(int card, unsigned bytes);
/*
 * Fault: the replies of one request code (the DMA-buffer allocation
 * 0x9C4024A0, the start 0x9C402490 or the status 0x9C402498) carry `status`
 * until it is set back to 0; an allocation or start so answered does nothing.
 */
KTZSIM_API int KtzSimSetOutputStatus(int card, unsigned code, unsigned status);

typedef struct KtzSimOutputState {
    unsigned running;          /* 1 while the start request is pending */
    unsigned playing;          /* 1 while bit 15 of register 10 is set */
    unsigned fifoSize;         /* 4096 or 32768 */
    unsigned fifoSamples;      /* samples in the FIFO */
    unsigned dmaBytes;         /* size of the DMA buffer held, 0 for none */
    unsigned long long played; /* samples played since the last start */
} KtzSimOutputState;

KTZSIM_API int KtzSimGetOutputState(int card, KtzSimOutputState *state);
/*
 * The record of an output channel (0, 1): the voltages it was driven to by
 * played samples, the last 65536 of them. Copies the last min(max, kept)
 * ones, oldest first, and their number to *copied; *played (if not NULL)
 * receives the number of samples the channel has played since the record
 * was cleared.
 */
KTZSIM_API int KtzSimGetOutputRecord(int card, unsigned channel, double *volts, size_t max,
                                     size_t *copied, unsigned long long *played);
KTZSIM_API int KtzSimClearOutputRecord(int card);
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
 *   (KtzSimSetTimeFactor: 100 plays one second of acquisition in ten
 *   milliseconds, 0 holds the clock).
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
 * - Events, each only while the event-enable request enabled it:
 *   interrupt (slot 0) every eventCount samples of the start request
 *   (2048, half the FIFO, when 0), buffer change (slot 1) when a half of the
 *   buffer is complete, terminated (slot 2) at the end, overrun (slot 3)
 *   when the engine starts rewriting a half of the buffer (mode 3) while
 *   the buffer-change event is still signalled and was already signalled
 *   when the last half completed, that is, before the application took
 *   the change of the half now rewritten (the change of the half just
 *   completed alone is none: a reader has until the rewrite to wake).
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
/*
 * The factor by which the engines' time runs faster than real time
 * (default 1; 0 stops them; 100 plays one second in ten milliseconds).
 * ERROR_INVALID_PARAMETER for a negative or non-finite factor.
 */
KTZSIM_API int KtzSimSetTimeFactor(double factor);
KTZSIM_API double KtzSimTimeFactor(void);

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
    unsigned thread; /* the sending thread, as its GetCurrentThreadId() gives it */
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
/*
 * Makes the n-th request from now that the calling thread sends (of any
 * code, opens of device objects and reads included) fail with `lastError`;
 * n = 0 takes it back. Requests of other threads (a measurement or drain
 * thread of the library, say) do not count. The trace tells which request
 * it was: the entry of the calling thread whose error is `lastError`.
 */
KTZSIM_API void KtzSimFailNthRequest(unsigned n, unsigned lastError);
/*
 * Fault: the pending requests that a stop, terminate, cancel or the cleanup
 * of an open ends (the read of a DMA acquisition, the start of a waveform
 * output) are completed `milliseconds` later, from a thread of the lab,
 * instead of before that request or close returns: writing the caller's
 * OVERLAPPED then, and signalling its event, as a driver that completes its
 * requests late does. The engine has stopped by then; only the completion
 * is late. 0 (the default) completes them at once.
 */
KTZSIM_API void KtzSimSetLateCompletion(unsigned milliseconds);
/* Takes back every fault above (requests completed late still complete). */
KTZSIM_API void KtzSimClearFaults(void);

#ifdef __cplusplus
}
#endif

#endif /* KTZ3649SIM_H */
