/*
 * Count events: the rising edges at a counter's input, read as they come.
 *
 * Shows CounterEventStart (counter 0 counts from now on, its gate open)
 * and CounterEventRead (the 32-bit total so far, and whether it passed
 * 2^32). Reads the total five times, 100 ms apart, and returns 0 when
 * every read succeeded, the total never went back and some events came.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define COUNTER 0
#define GATE_OPEN 0
#define READS 5

int main(void) {
    KTZHANDLE device = 0;
    DWORD total = 0, last = 0;
    WORD overflow = 0;
    int failed, read;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;

    failed = Failed("CounterEventStart", CounterEventStart(device, COUNTER, GATE_OPEN));
    for (read = 1; !failed && read <= READS; ++read) {
        Sleep(100);
        failed = Failed("CounterEventRead", CounterEventRead(device, COUNTER, &overflow, &total));
        if (failed) break;
        printf("read %d: %lu events%s\n", read, (unsigned long)total,
               overflow ? " (past 2^32)" : "");
        failed = total < last && !overflow; /* a total only grows */
        last = total;
    }
    failed = failed || total == 0;
    if (!failed) printf("counter %d counted %lu events\n", COUNTER, (unsigned long)total);

    Failed("CounterReset", CounterReset(device, COUNTER));
    Failed("DeviceClose", DeviceClose(&device));
    return failed;
}
