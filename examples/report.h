/*
 * What the examples share: a failed library call reported in words.
 */
#ifndef KTZ_EXAMPLES_REPORT_H
#define KTZ_EXAMPLES_REPORT_H

#include <stdio.h>

#include <ktz3649.h>

/*
 * Prints a failed call with its result in words, "AIConfig: 0x1007 (device
 * 0: invalid channel)", and returns 1; returns 0 for success.
 */
static inline int Failed(const char *call, DWORD result) {
    char words[64];
    if (result == 0) return 0;
    printf("%s: 0x%X (%s)\n", call, (unsigned)result, KtzResultText(result, words, sizeof words));
    return 1;
}

#endif
