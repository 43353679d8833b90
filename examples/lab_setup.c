/*
 * The virtual lab the examples run on where there is one (the host build;
 * Windows with the lab driver, Ktz3649Sim.dll): built into each example
 * there, and left out of the examples built for a real card.
 *
 * Before main runs, it sets up what the example expects of a machine and
 * its wiring: a PCI-3649 on bus 0, slot 13, installed as device 0, the
 * lab's engines a hundred times faster than real time (stream: four
 * times, so that its reader has tens of milliseconds per half even on a
 * busy machine), and the signals of
 * the example that LAB_EXAMPLE names (defined when the example is built).
 * After main, it reports what the lab saw the card put out.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ktz3649sim.h>

static int card = -1;

static void Signal(unsigned channel, unsigned kind, double amplitude, double hertz,
                   double offset) {
    KtzSimSignal signal = {kind, amplitude, offset, hertz, 0};
    KtzSimSetSignal(card, channel, &signal);
}

/* ---- what each example finds at the card's connectors ------------------- */

static void ReadVoltage(void) { Signal(3, KTZSIM_SIGNAL_DC, 0.0, 0.0, 2.5); }

static void ScanChannels(void) {
    static const double volts[4] = {1.5, -7.5, 6.0, 1.0};
    unsigned channel;
    for (channel = 0; channel < 4; ++channel)
        Signal(channel, KTZSIM_SIGNAL_DC, 0.0, 0.0, volts[channel]);
}

static void DigitalLines(void) { KtzSimSetDigitalInput(card, 1, 0x3C); }

/* 1 MHz at counter 0's input: a pulse for every microsecond of the lab's
 * clock, which each request to the driver advances by one. */
static void CountEvents(void) { KtzSimSetCounterRate(card, 0, 1e6); }

/* 250 kHz at counter 2's input. The measurement's gate (60 ms with the
 * device's FreqArea 1) passes in 2000 of its thread's status reads, while
 * the requests that start it take no time. */
static void MeasureFrequency(void) {
    KtzSimSetCounterRate(card, 2, 250e3);
    KtzSimSetRequestCost(0);
    KtzSimSetCounterPollCost(card, 60000000ull / 2000);
}

static void AcquireCsv(void) {
    Signal(0, KTZSIM_SIGNAL_SINE, 4.0, 50.0, 0.0);
    Signal(1, KTZSIM_SIGNAL_DC, 0.0, 0.0, -2.0);
}

/* A 2 Hz square of +/-4 V: it rises through the level after half a second. */
static void AboutTrigger(void) { Signal(0, KTZSIM_SIGNAL_SQUARE, 4.0, 2.0, 0.0); }

/* Channel 0 rises one code a scan (4 entries at 100,000 samples/s) from
 * code 48 to 4047, a third of a code above the codes' centres, and starts
 * again: 4000 scans, 0.16 s. The recording's halves take 62.5 ms each at
 * four times real time. */
static void Stream(void) {
    Signal(0, KTZSIM_SIGNAL_SAWTOOTH, 4000 * 10.0 / 4096, 6.25, 10.0 / 2048 / 3);
    KtzSimSetTimeFactor(4);
}

/* ---- what the lab saw --------------------------------------------------- */

static void ReportAnalogOutput(void) {
    double volts = 0.0;
    if (KtzSimGetAnalogOutput(card, 0, &volts) == 0)
        printf("lab: analog output 0 drives %.3f V\n", volts);
}

static void ReportDigitalOutput(void) {
    unsigned latch = 0;
    if (KtzSimGetDigitalOutput(card, 0, &latch) == 0)
        printf("lab: port 0 drives 0x%02X\n", latch);
}

static void ReportWaveform(void) {
    static double volts[4096];
    size_t copied = 0, i;
    double low = 0.0, high = 0.0;
    if (KtzSimGetOutputRecord(card, 0, volts, 4096, &copied, NULL) != 0) return;
    for (i = 0; i < copied; ++i) {
        low = volts[i] < low ? volts[i] : low;
        high = volts[i] > high ? volts[i] : high;
    }
    printf("lab: output 0 played %lu samples from %.2f V to %.2f V\n", (unsigned long)copied,
           low, high);
}

/* Each of channel 0's samples in the recording is the one before plus one
 * (less 4000 where the sawtooth starts again): a half lost, repeated or
 * taken from the wrong place breaks the count. */
static void ReportStream(void) {
    FILE *file = fopen("stream.raw", "rb");
    unsigned short scan[4];
    unsigned long scans = 0, breaks = 0;
    int last = -1, code;
    if (!file) return;
    for (; fread(scan, sizeof scan[0], 4, file) == 4; ++scans, last = code) {
        code = scan[0] & 0x0FFF;
        breaks += last >= 0 && (code - last + 4000) % 4000 != 1;
    }
    fclose(file);
    printf("lab: stream.raw holds %lu scans, channel 0 counts on with %lu breaks\n", scans,
           breaks);
}

static const struct {
    const char *example;
    void (*wire)(void);
    void (*report)(void);
} kExamples[] = {
    {"read_voltage", ReadVoltage, NULL},
    {"scan_channels", ScanChannels, NULL},
    {"write_output", NULL, ReportAnalogOutput},
    {"digital_lines", DigitalLines, ReportDigitalOutput},
    {"count_events", CountEvents, NULL},
    {"measure_frequency", MeasureFrequency, NULL},
    {"acquire_csv", AcquireCsv, NULL},
    {"about_trigger", AboutTrigger, NULL},
    {"waveform_output", NULL, ReportWaveform},
    {"stream", Stream, ReportStream},
};

__attribute__((constructor)) static void SetUpLab(void) {
    size_t i;
    KtzSimReset(0);
    card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    if (card < 0 || KtzSimInstallDevice(0, card, NULL) != 0 || KtzSimSetTimeFactor(100) != 0) {
        fprintf(stderr, "lab: the machine could not be set up\n");
        exit(1);
    }
    for (i = 0; i < sizeof kExamples / sizeof kExamples[0]; ++i) {
        if (strcmp(kExamples[i].example, LAB_EXAMPLE) != 0) continue;
        if (kExamples[i].wire) kExamples[i].wire();
        if (kExamples[i].report) atexit(kExamples[i].report);
    }
}
