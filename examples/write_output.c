/*
 * Write an output: an analog output channel set to a voltage.
 *
 * Shows AOConfig (the channel's range: 0 to 10 V from the internal
 * reference), AOScale (the 12-bit code of a voltage in that range) and
 * AOVoltageOut (the output set to the voltage). Sets output 0 to 7.5 V,
 * code 3072, and returns 0 when the card took it. (A PCI-3649L has no
 * analog outputs: the calls fail there with "not supported".)
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define OUTPUT 0
#define INTERNAL_REFERENCE 0

int main(void) {
    const FLOAT volts = 7.5f;
    KTZHANDLE device = 0;
    WORD code = 0;
    int failed;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("AOConfig", AOConfig(device, OUTPUT, INTERNAL_REFERENCE, 10.0f, 0.0f)) ||
             Failed("AOScale", AOScale(device, OUTPUT, volts, &code)) ||
             Failed("AOVoltageOut", AOVoltageOut(device, OUTPUT, volts));
    if (!failed) printf("analog output %d (0 to 10 V): %.2f V, code %u\n", OUTPUT, volts, code);
    failed = failed || code != 3072;

    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
