/*
 * Read a voltage: one analog input channel, once, in volts.
 *
 * Shows DeviceOpen and DeviceClose, AIConfig (the input range of a
 * channel, as a gain code) and AIVoltageIn (one software-triggered
 * conversion, returned in volts of that range). Reads input channel 3 of
 * device 0 in the +/-5 V range and returns 0 when the reading succeeded.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define CHANNEL 3
#define GAIN_BIPOLAR_5V 0 /* gain code 0: +/-5 V (DeviceGetFeatures lists them all) */

int main(void) {
    KTZHANDLE device = 0;
    FLOAT volts = 0.0f;
    int failed;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("AIConfig", AIConfig(device, CHANNEL, GAIN_BIPOLAR_5V)) ||
             Failed("AIVoltageIn", AIVoltageIn(device, CHANNEL, GAIN_BIPOLAR_5V,
                                               0 /* software trigger */, &volts));
    if (!failed) printf("input channel %d (+/-5 V): %.3f V\n", CHANNEL, volts);

    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
