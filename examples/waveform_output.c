/*
 * A waveform output: a sine played on analog output 0 by DMA.
 *
 * Shows FAOScale (a table of voltages to codes in the output's range, set
 * with AOConfig to +/-10 V), FAODmaExStart (4096 samples at 10,000
 * samples/s from a DMA buffer of the driver), CheckEvent (waits for the
 * end of the output), FAOCheckEx (the samples played, the FIFO's samples)
 * and FAOTerminate (ends the output and frees the DMA buffer). Returns 0
 * when the output ended with the FIFO played out.
 */
#include <math.h>
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define OUTPUT 0
#define SAMPLES 4096
#define RATE 10000
#define HERTZ 100.0 /* 4 periods of the sine in the table */
#define EVENT_OUTPUT_ENDED 0x2804
#define EVENT_TIMED_OUT 0xFFFF

int main(void) {
    static FLOAT volts[SAMPLES];
    static WORD codes[SAMPLES];
    KTZHANDLE device = 0;
    WORD event = 0, stopped = 0, status1 = 0, status2 = 0, status3 = 0;
    DWORD played = 0;
    int failed, i;

    for (i = 0; i < SAMPLES; ++i)
        volts[i] = (FLOAT)(8.0 * sin(2.0 * 3.14159265358979 * HERTZ * i / RATE));
    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("AOConfig", AOConfig(device, OUTPUT, 0, 10.0f, -10.0f)) ||
             Failed("FAOScale", FAOScale(device, OUTPUT, SAMPLES, volts, codes)) ||
             Failed("EnableEvent", EnableEvent(device, EVENT_OUTPUT_ENDED, 1, 0)) ||
             Failed("FAODmaExStart", FAODmaExStart(device, 0 /* once */, RATE, OUTPUT,
                                                   1 /* channel */, 0 /* pacer */, codes,
                                                   SAMPLES, 0));
    /*
     * The driver signals the output-ended event when the last sample has
     * entered the card's FIFO. CheckEvent reports it as 0 while the output
     * runs: it ends the output there (FAOTerminate), which returns once the
     * FIFO has played out. (It reports 0x2804 at its next call too, unless
     * the FIFO had run empty already.)
     */
    do {
        failed = Failed("CheckEvent", CheckEvent(device, &event, 10000));
    } while (!failed && event != 0 && event != EVENT_OUTPUT_ENDED && event != EVENT_TIMED_OUT);
    if (!failed && event == EVENT_TIMED_OUT) printf("the output did not end within 10 s\n");
    failed = failed || event == EVENT_TIMED_OUT ||
             Failed("FAOCheckEx",
                    FAOCheckEx(device, &stopped, &status1, &status3, &played, &status2));
    if (!failed)
        printf("output ended: %lu of %d samples played, %u left in the FIFO\n",
               (unsigned long)played, SAMPLES, status3);
    failed = failed || status3 != 0;
    /* Frees the driver's DMA buffer (also after a failure). */
    failed = Failed("FAOTerminate", FAOTerminate(device)) || failed;
    if (!failed) printf("played a %.0f Hz sine of 8 V on output %d\n", HERTZ, OUTPUT);

    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
