// The pieces of work of a parallel unload and what a worker hands back to
// the process that started it.
#pragma once

#include <sys/types.h>

#include "kelvo/capture.h"
#include "kelvo/unload.h"

// One piece of work: a slice of one table's row stream.
struct UNIT {
    int tab;                // index into the tables of the unload
    TABLE_SLICE slice;
    pid_t pid;              // its worker; 0 while not started
    int cap, part;          // capture and part files (unlinked); -1 when closed
    // Started when every unit before it was taken: its place in the dump is
    // known, and it writes there (into dump from direct_ofs), not to a part.
    bool direct;
    int dump;
    uint64_t direct_ofs;
    int status;             // wait status of the worker
    bool done;              // the worker has ended
};

// What a worker counted, the last record of its capture.
struct UNIT_RESULT {
    uint32_t nrow;
    uint32_t lost[LOSS_KINDS];
    uint32_t nskip, ncompressed, nowned, nunparsed, nasis;
    int ncolw;
    int tsn;                // tablespace of the last segment walked; TSN_NONE when none
    int failed;
    int data_lost;
    uint64_t len;           // bytes of the part file that belong to the stream
    uint64_t total, done, bytes; // progress: blocks to read, read, and their bytes
};
constexpr int TSN_NONE = -0x7FFFFFFF;

// In a freshly started worker: unloads unit u of table t (whose TAB_INFO is
// ti) into u->part with every message captured in u->cap; the exit status.
int run_unit(const UNIT *u, TAB *t, const TAB_INFO *ti);
