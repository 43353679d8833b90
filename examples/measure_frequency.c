/*
 * Measure a frequency: the signal at counter 2's input, in hertz.
 *
 * Shows CounterFreqStart (the measurement's gate clock from the device's
 * stored FreqArea) and CounterFreqRead: the first call starts a
 * measurement, which runs on its own; a later call, once it has ended,
 * writes the frequency. Polls every 10 ms for up to 30 s and returns 0
 * when a frequency came.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define COUNTER 2 /* the counter that measures */
#define POLL_MS 10
#define LIMIT_MS 30000

int main(void) {
    KTZHANDLE device = 0;
    FLOAT hertz = -1.0f; /* CounterFreqRead writes it only with a result */
    int failed, waited;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("CounterFreqStart", CounterFreqStart(device, COUNTER, 0, 0));
    for (waited = 0; !failed && hertz < 0.0f && waited < LIMIT_MS; waited += POLL_MS) {
        failed = Failed("CounterFreqRead", CounterFreqRead(device, COUNTER, &hertz));
        if (hertz < 0.0f) Sleep(POLL_MS);
    }
    if (!failed && hertz < 0.0f) printf("no frequency within %d ms\n", LIMIT_MS);
    if (hertz >= 0.0f) printf("counter %d input: %.0f Hz\n", COUNTER, hertz);
    failed = failed || hertz < 0.0f;

    Failed("CounterReset", CounterReset(device, COUNTER));
    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
