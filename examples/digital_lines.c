/*
 * Digital lines: port 0 drives its eight lines, port 1 reads eight.
 *
 * Shows DioSetPortMode (a port's direction), DioWritePortByte (the lines
 * of a mask set at once), DioWriteBit (one line), DioGetCurrentDOByte
 * (what an output port drives), DioReadPortByte and DioReadBit (what an
 * input port reads). Returns 0 when port 0 drives what was written.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define INPUT 0
#define OUTPUT 1

int main(void) {
    KTZHANDLE device = 0;
    WORD driven = 0, lines = 0, line2 = 0;
    int failed;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("DioSetPortMode", DioSetPortMode(device, 0, OUTPUT)) ||
             Failed("DioSetPortMode", DioSetPortMode(device, 1, INPUT)) ||
             /* All eight lines of port 0 at once, then line 1 alone. */
             Failed("DioWritePortByte", DioWritePortByte(device, 0, 0xFF, 0xA5)) ||
             Failed("DioWriteBit", DioWriteBit(device, 0, 1, 1)) ||
             Failed("DioGetCurrentDOByte", DioGetCurrentDOByte(device, 0, &driven)) ||
             Failed("DioReadPortByte", DioReadPortByte(device, 1, &lines)) ||
             Failed("DioReadBit", DioReadBit(device, 1, 2, &line2));
    if (!failed) {
        printf("port 0 drives 0x%02X (0xA5, then line 1 set)\n", driven);
        printf("port 1 reads 0x%02X, line 2 is %s\n", lines, line2 ? "high" : "low");
    }
    failed = failed || driven != 0xA7 || line2 != ((lines >> 2) & 1);

    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
