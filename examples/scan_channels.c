/*
 * Scan channels: a run of analog inputs, each in its own range, in one call.
 *
 * Shows MAIConfig (the ranges of channels 0 to 3, one gain code each) and
 * MAIVoltageIn (one conversion per channel, in volts). A channel in a
 * range of 0 to 10 V reads no negative voltage; the others read within
 * their range. Returns 0 when the scan succeeded.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define FIRST_CHANNEL 0
#define CHANNELS 4

int main(void) {
    /* Gain codes: +/-5 V, +/-10 V, 0 to 10 V, +/-2.5 V. */
    WORD gains[CHANNELS] = {0, 4, 16, 1};
    const char *ranges[CHANNELS] = {"+/-5 V", "+/-10 V", "0 to 10 V", "+/-2.5 V"};
    FLOAT volts[CHANNELS];
    KTZHANDLE device = 0;
    int failed, i;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("MAIConfig", MAIConfig(device, CHANNELS, FIRST_CHANNEL, gains)) ||
             Failed("MAIVoltageIn", MAIVoltageIn(device, CHANNELS, FIRST_CHANNEL, gains,
                                                 0 /* software trigger */, volts));
    for (i = 0; !failed && i < CHANNELS; ++i)
        printf("input channel %d (%s): %.3f V\n", FIRST_CHANNEL + i, ranges[i], volts[i]);

    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
