/*
 * A DMA acquisition: two channels at 10,000 samples/s, written as CSV.
 *
 * Shows EnableEvent (the event at the end of the acquisition),
 * FAIDmaExStart (1000 scans of channels 0 and 1, each in the +/-5 V range,
 * on the card's pacer, into a global memory block), CheckEvent (waits for
 * the end, which also ends the acquisition) and FAITransfer (the samples
 * in volts). Writes one row per scan to acquisition.csv (or the file the
 * first argument names): the time in seconds, then a voltage per channel.
 * Returns 0 when the acquisition ended and the file was written.
 */
#include <stdio.h>
#include <stdlib.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define CHANNELS 2
#define SCANS 1000
#define SAMPLES (CHANNELS * SCANS)
#define RATE 10000 /* samples per second, all channels together */
#define EVENT_TERMINATED 4
#define EVENT_TIMED_OUT 0xFFFF

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "acquisition.csv";
    WORD gains[CHANNELS] = {0, 0}; /* +/-5 V */
    KTZHANDLE device = 0;
    HGLOBAL buffer;
    FLOAT *volts;
    FILE *csv = NULL;
    WORD event = 0;
    int failed, scan, channel;
    FLOAT low, high;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;
    /* The card writes the samples into this block while it acquires. */
    buffer = GlobalAlloc(GHND, SAMPLES * sizeof(WORD));
    volts = malloc(SAMPLES * sizeof *volts);

    failed = !buffer || !volts ||
             Failed("EnableEvent", EnableEvent(device, EVENT_TERMINATED, 1, 0)) ||
             Failed("FAIDmaExStart",
                    FAIDmaExStart(device, 0, 0 /* no trigger */, 0 /* pacer */, 0, 0, 0.0f, 0,
                                  CHANNELS, 0 /* from channel 0 */,
                                  2 /* post-trigger scans: 2 to 65535, also without a trigger */,
                                  SAMPLES, RATE, gains, 0, 0, buffer, 0, 0, 0, 0));
    /* Other events of the device come first, if any: wait for the end. */
    while (!failed && event != EVENT_TERMINATED && event != EVENT_TIMED_OUT)
        failed = Failed("CheckEvent", CheckEvent(device, &event, 10000));
    if (!failed && event == EVENT_TIMED_OUT) {
        printf("the acquisition did not end within 10 s\n");
        Failed("FAIStop", FAIStop(device));
        failed = 1;
    }
    failed = failed || Failed("FAITransfer", FAITransfer(device, 0, volts, 1 /* volts */, 0,
                                                         SAMPLES, 0));
    if (!failed) failed = (csv = fopen(path, "w")) == NULL;
    if (csv) {
        fprintf(csv, "time_s");
        for (channel = 0; channel < CHANNELS; ++channel) fprintf(csv, ",ch%d_V", channel);
        /* Scan k starts k * CHANNELS samples after the first. */
        for (scan = 0; scan < SCANS; ++scan) {
            fprintf(csv, "\n%.6f", (double)scan * CHANNELS / RATE);
            for (channel = 0; channel < CHANNELS; ++channel)
                fprintf(csv, ",%.4f", volts[scan * CHANNELS + channel]);
        }
        fprintf(csv, "\n");
        failed = fclose(csv) != 0;
        printf("acquired %d scans of %d channels into %s\n", SCANS, CHANNELS, path);
        for (channel = 0; channel < CHANNELS; ++channel) {
            low = high = volts[channel];
            for (scan = 1; scan < SCANS; ++scan) {
                FLOAT v = volts[scan * CHANNELS + channel];
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
            printf("ch%d: %.3f V to %.3f V\n", channel, low, high);
        }
    }

    Failed("DeviceClose", DeviceClose(&device));
    if (buffer) GlobalFree(buffer);
    free(volts);
    return failed;
}
