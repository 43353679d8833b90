/*
 * The hostwin tests' driver: service image HWTESTDRV.SYS, device
 * "\\.\HWTEST". Built as a hostwin driver module for the host
 * (test_driver.cpp) and as a kernel-mode driver for Windows
 * (test_driver_nt.c); both answer the requests below alike, so the same
 * tests run on both.
 */
#ifndef HWTEST_DRIVER_H
#define HWTEST_DRIVER_H

#include <stdint.h>

/* Control codes: a vendor device type, METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define HWTEST_CONTROL(function) ((0x8000u << 16) | ((uint32_t)(function) << 2))

/* Output = input, as much as the output holds; bytes = what was copied. */
#define IOCTL_HWTEST_ECHO HWTEST_CONTROL(0x800)
/* Stays pending until completed by IOCTL_HWTEST_COMPLETE or cleaned up. A read stays pending too. */
#define IOCTL_HWTEST_PEND HWTEST_CONTROL(0x801)
/* In: HWTEST_COMPLETION. Completes the oldest pending request of any open;
   out: one uint32_t, 1 if there was one, 0 if not. */
#define IOCTL_HWTEST_COMPLETE HWTEST_CONTROL(0x802)
/* Out: HWTEST_COUNTS. */
#define IOCTL_HWTEST_COUNT HWTEST_CONTROL(0x803)

/* How a pending request completes. */
#define HWTEST_RESULT_SUCCESS 0       /* bytes transferred, filled with 1, 2, 3, ... */
#define HWTEST_RESULT_CANCELLED 1     /* ERROR_OPERATION_ABORTED */
#define HWTEST_RESULT_NO_MORE_ITEMS 2 /* ERROR_NO_MORE_ITEMS: 259, the value of STATUS_PENDING */

typedef struct HWTEST_COMPLETION {
    uint32_t result; /* HWTEST_RESULT_... */
    uint32_t bytes;  /* for success; at most the request's output size */
} HWTEST_COMPLETION;

typedef struct HWTEST_COUNTS {
    uint32_t opens;    /* since the driver started */
    uint32_t cleanups; /* last closes of an open */
    uint32_t pending;  /* requests kept now */
} HWTEST_COUNTS;

#endif /* HWTEST_DRIVER_H */
