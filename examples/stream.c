/*
 * Recording without end: four channels at 100,000 samples/s, half a
 * buffer at a time.
 *
 * The card fills a buffer of two halves over and over (an about-trigger
 * acquisition, FAIDmaExStart in trigger mode 3, whose trigger never comes)
 * while the program takes each half the card has completed. It waits with
 * CheckEvent (buffer change, overrun), reads the card's sample count with
 * FAICheck, copies a half with FAITransfer (raw words) and tells from the
 * count whether the card had begun to rewrite it before the copy was done
 * (then the half is lost). Ends after 2 s of samples with FAIStop and takes
 * the part of the half in progress. Writes the words to stream.raw (or the
 * file the first argument names) and checks that each carries the channel
 * of its place in the scan. Returns 0 when no half was lost and every
 * sample the card wrote was taken.
 */
#include <stdio.h>

#include <ktz3649.h>

#include "report.h"

#define DEVICE 0
#define CHANNELS 4
#define RATE 100000 /* samples per second, all channels together */
#define HALF 25000  /* samples per half: 6250 scans, a quarter of a second */
#define SECONDS 2
#define NO_TRIGGER 1 /* the external trigger line, left idle */
#define ABOUT_TRIGGER 3
#define EVENT_BUFFER_CHANGE 2
#define EVENT_OVERRUN 8
#define EVENT_TIMED_OUT 0xFFFF
#define WAIT_MS 10 /* a look at least this often, whatever the events */
/* The card's count may trail its writes by one transfer block, the event
 * count: a half that close to its rewrite counts as lost while it runs. */
#define BLOCK 2048

static KTZHANDLE device = 0;
static WORD words[HALF];
static unsigned long long total; /* samples the card has written since the start */
static DWORD lastCount;
static unsigned long long next; /* the number of the next half to take */
static unsigned long samples, halves, lost, misplaced;
static unsigned overruns;
static unsigned margin = BLOCK; /* 0 once the card has stopped */

/* The card's count, widened past 2^32 from its differences, and its
 * overrun report, counted and cleared. */
static int Look(void) {
    WORD stopped, status1, status2, overrun;
    DWORD count;
    if (Failed("FAICheck", FAICheck(device, &stopped, &status1, &count, &status2, &overrun)))
        return 1;
    if (count - lastCount < 0x80000000u) { /* a count cleared at the stop adds nothing */
        total += count - lastCount;
        lastCount = count;
    }
    if (!overrun) return 0;
    ++overruns;
    return Failed("ClearOverrun", ClearOverrun(device));
}

/* Copies `count` samples of half `next` and writes them if the card left
 * them alone meanwhile: the half is intact until the card has completed
 * the one after it. */
static int Take(DWORD count, FILE *file) {
    DWORD i;
    if (total + margin > (next + 2) * HALF) return 0; /* already being rewritten */
    if (Failed("FAITransfer", FAITransfer(device, 0, words, 0 /* raw words */,
                                          (DWORD)(next % 2) * HALF, count, 0)) ||
        Look())
        return 1;
    if (total + margin > (next + 2) * HALF) return 0;
    /* A half is whole scans: sample i of it is entry i mod CHANNELS. */
    for (i = 0; i < count; ++i)
        misplaced += ((words[i] >> 12) & 7) != i % CHANNELS || (words[i] & 0x8000);
    samples += count;
    return fwrite(words, sizeof words[0], count, file) != count;
}

/* Takes the halves complete at this look (those completed meanwhile wait
 * for the next round, so that a reader slower than the card still gets
 * back to its wait); after the stop, also the half in progress. */
static int TakeHalves(FILE *file, int stopped) {
    unsigned long long complete;
    unsigned long before;
    if (Look()) return 1;
    for (complete = total / HALF; next < complete; ++next) {
        before = samples;
        if (Take(HALF, file)) return 1;
        if (samples == before) ++lost;
        else ++halves;
    }
    return stopped && total > next * HALF && Take((DWORD)(total - next * HALF), file);
}

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "stream.raw";
    WORD gains[CHANNELS] = {4, 4, 4, 4}; /* +/-10 V */
    HGLOBAL buffer;
    FILE *file;
    WORD event = 0;
    unsigned long long before;
    unsigned idle = 0; /* waits that timed out with no new sample */
    int failed;

    if (Failed("DeviceOpen", DeviceOpen(DEVICE, &device))) return 1;
    buffer = GlobalAlloc(GHND, 2 * HALF * sizeof(WORD));
    file = fopen(path, "wb");

    failed = !buffer || !file ||
             Failed("EnableEvent",
                    EnableEvent(device, EVENT_BUFFER_CHANGE | EVENT_OVERRUN, 1, BLOCK)) ||
             Failed("FAIDmaExStart",
                    FAIDmaExStart(device, NO_TRIGGER, ABOUT_TRIGGER, 0 /* pacer */, 0, 0, 0.0f,
                                  0, CHANNELS, 0 /* from channel 0 */, 2 /* post-trigger scans */,
                                  2 * HALF, RATE, gains, 0, 0, buffer, 0, 0, 0, 0));
    /* After any event, and after a short wait without one, look at the
     * count: a count read just before a half was complete is read again in
     * time to take that half. */
    while (!failed && total < (unsigned long long)SECONDS * RATE) {
        before = total;
        failed = Failed("CheckEvent", CheckEvent(device, &event, WAIT_MS)) ||
                 TakeHalves(file, 0);
        idle = total != before ? 0 : idle + (event == EVENT_TIMED_OUT);
        if (!failed && idle * WAIT_MS >= 1000) {
            printf("the card wrote no sample within 1 s\n");
            failed = 1;
        }
    }
    /* The stop also releases the device when the start was refused. */
    if (Failed("FAIStop", FAIStop(device))) failed = 1;
    margin = 0;
    failed = failed || TakeHalves(file, 1);
    if (file && fclose(file) != 0) failed = 1;

    if (!failed) {
        printf("recorded %lu samples in %lu halves, %u overruns, %lu halves lost into %s\n",
               samples, halves, overruns, lost, path);
        if (samples != total)
            printf("the card wrote %lu samples\n", (unsigned long)total);
        if (misplaced) printf("%lu samples not of their scan entry\n", misplaced);
        failed = lost || samples != total || misplaced;
    }

    Failed("DeviceClose", DeviceClose(&device));
    if (buffer) GlobalFree(buffer);
    return failed;
}
