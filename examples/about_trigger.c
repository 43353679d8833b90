/*
 * An about-trigger acquisition: what came before and after a trigger.
 *
 * Shows trigger mode 3 of FAIDmaExStart: the card fills the buffer over
 * and over until channel 0 rises through 1 V (trigger source 2, the level
 * of the scan's first entry), then takes 500 more samples and ends.
 * FAIWatchdogCheck says where in the buffer the trigger came;
 * FAITransfer in volts returns the buffer in time order, the last 500
 * samples from the trigger on. Returns 0 when the sample before the
 * trigger lies below the level and the trigger sample at or above it.
 */
#include <stdio.h>
#include <stdlib.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define SAMPLES 2000
#define POST_TRIGGER 500 /* scans after the trigger; one channel, so samples too */
#define RATE 10000
#define LEVEL 1.0f
#define ABOUT_TRIGGER 3
#define LEVEL_OF_FIRST_ENTRY 2
#define EVENT_TERMINATED 4
#define EVENT_TIMED_OUT 0xFFFF

int main(void) {
    WORD gains[1] = {0}; /* +/-5 V */
    KTZHANDLE device = 0;
    HGLOBAL buffer;
    FLOAT *volts;
    DWORD at = 0;
    WORD event = 0;
    const int first = SAMPLES - POST_TRIGGER; /* the trigger sample, in time order */
    int failed;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;
    buffer = GlobalAlloc(GHND, SAMPLES * sizeof(WORD));
    volts = malloc(SAMPLES * sizeof *volts);

    failed = !buffer || !volts ||
             Failed("EnableEvent", EnableEvent(device, EVENT_TERMINATED, 1, 0)) ||
             Failed("FAIDmaExStart",
                    FAIDmaExStart(device, LEVEL_OF_FIRST_ENTRY, ABOUT_TRIGGER, 0 /* pacer */, 0,
                                  0, LEVEL, 0, 1 /* channel 0 alone */, 0, POST_TRIGGER,
                                  SAMPLES, RATE, gains, 0, 0, buffer, 0, 0, 0, 0));
    while (!failed && event != EVENT_TERMINATED && event != EVENT_TIMED_OUT)
        failed = Failed("CheckEvent", CheckEvent(device, &event, 10000));
    if (!failed && event == EVENT_TIMED_OUT) {
        printf("no trigger within 10 s\n");
        Failed("FAIStop", FAIStop(device));
        failed = 1;
    }
    failed = failed || Failed("FAIWatchdogCheck", FAIWatchdogCheck(device, 0, 0, 0, 0, &at, 0)) ||
             Failed("FAITransfer", FAITransfer(device, 0, volts, 1, 0, SAMPLES, 0));
    if (!failed) {
        printf("the trigger came at buffer index %lu\n", (unsigned long)at);
        printf("in time order: sample %d %.3f V, sample %d (the trigger) %.3f V\n", first - 1,
               volts[first - 1], first, volts[first]);
        failed = !(volts[first - 1] < LEVEL && volts[first] >= LEVEL);
    }

    Failed("DeviceClose", DeviceClose(&device));
    if (buffer) GlobalFree(buffer);
    free(volts);
    return failed;
}
