// Progress text of a long step, drawn over its label at a terminal.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "kelvo/progress.h"

namespace {

struct Progress {
    bool active = false;    // a labelled step is running and stderr is a terminal
    bool drawn = false;     // the progress text stands in place of the label
    char label[160] = {};
    uint64_t total = 0, done = 0, bytes = 0;
    double start = 0, last = 0;
    double interval = -1;   // seconds between drawings
};
Progress pg;

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

// Seconds between two drawings: one, or KELVO_PROGRESS_MS milliseconds (a
// test drives the drawing with 0).
double interval()
{
    if (pg.interval < 0) {
        const char *ms = getenv("KELVO_PROGRESS_MS");
        pg.interval = ms && *ms ? atof(ms) / 1000.0 : 1.0;
        if (pg.interval < 0)
            pg.interval = 1.0;
    }
    return pg.interval;
}

void put(const char *s, size_t n)
{
    while (n > 0) {
        ssize_t w = write(STDERR_FILENO, s, n);
        if (w <= 0)
            return;
        s += w;
        n -= (size_t)w;
    }
}

// "h:mm:ss" or "m:ss".
void clock_text(char *out, size_t room, double secs)
{
    unsigned long s = secs < 0 ? 0 : secs > 359999 ? 359999 : (unsigned long)secs;
    if (s >= 3600)
        snprintf(out, room, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(out, room, "%lu:%02lu", s / 60, s % 60);
}

void draw(double t)
{
    double secs = t - pg.start;
    double rate = secs > 0 ? (double)pg.bytes / secs : 0;
    char status[96];
    int n;
    if (pg.total > 0 && pg.done <= pg.total && pg.done > 0) {
        char left[32];
        clock_text(left, sizeof left, (double)(pg.total - pg.done) * ((double)pg.bytes / (double)pg.done) /
                                          (rate > 0 ? rate : 1));
        n = snprintf(status, sizeof status, "%llu of %llu blocks, %.1f MB/s, %s left",
                     (unsigned long long)pg.done, (unsigned long long)pg.total, rate / 1e6, left);
    } else {
        n = snprintf(status, sizeof status, "%llu blocks, %.1f MB/s", (unsigned long long)pg.done, rate / 1e6);
    }
    if (n < 0)
        return;
    // The label without its dots, cut so that the line fits 79 columns.
    size_t ln = strlen(pg.label);
    while (ln > 0 && (pg.label[ln - 1] == '.' || pg.label[ln - 1] == ' '))
        ln--;
    size_t sn = (size_t)n < sizeof status ? (size_t)n : sizeof status - 1;
    size_t room = sn + 2 < 79 ? 79 - sn - 2 : 0;
    if (ln > room)
        ln = room;
    char line[256];
    size_t k = 0;
    memcpy(line + k, "\r\033[K", 4);
    k += 4;
    memcpy(line + k, pg.label, ln);
    k += ln;
    if (ln > 0) {
        memcpy(line + k, "  ", 2);
        k += 2;
    }
    memcpy(line + k, status, sn);
    k += sn;
    put(line, k);
    pg.drawn = true;
    pg.last = t;
}

} // namespace

void progress_begin(const char *label)
{
    pg.active = isatty(STDERR_FILENO) == 1;
    pg.drawn = false;
    pg.total = pg.done = pg.bytes = 0;
    snprintf(pg.label, sizeof pg.label, "%s", label);
    if (pg.active) {
        pg.start = now();
        pg.last = pg.start;
    }
}

void progress_total(uint64_t blocks)
{
    pg.total += blocks;
}

void progress_done(uint64_t blocks, uint32_t bsz)
{
    pg.done += blocks;
    pg.bytes += blocks * bsz;
    if (!pg.active)
        return;
    double t = now();
    if (t - pg.last >= interval())
        draw(t);
}

void progress_clear(void)
{
    if (!pg.drawn)
        return;
    fflush(stderr);
    put("\r\033[K", 4);
    put(pg.label, strlen(pg.label));
    pg.drawn = false;
}

void progress_end(void)
{
    progress_clear();
    pg.active = false;
}

void progress_count(void)
{
    pg.active = pg.drawn = false;
    pg.total = pg.done = pg.bytes = 0;
}

void progress_counted(uint64_t *total, uint64_t *done, uint64_t *bytes)
{
    *total = pg.total;
    *done = pg.done;
    *bytes = pg.bytes;
}
