// Block reads and cache output shared by the LOB readers.
#pragma once

#include "kelvo/datafile.h"
#include "kelvo/block.h"
#include "kelvo/lob.h"

// The datafile of rdba in tablespace tsn, with a block size the 32 KiB LOB
// buffers can hold; nullptr after one message.
DATAFILE *lob_file(int tsn, uint32_t rdba);
// Reads n blocks (n * df->bsz <= 32 KiB) from rdba into buf, each checked
// (a bad block is reported once, then one message names the read). Every
// read of one LOB is charged to its block budget (lob_budget_start), so that
// a damaged tree or chain that names the same blocks again and again ends.
// Returns 0, or -1 after one message.
int lob_read(DATAFILE *df, int tsn, uint32_t rdba, int n, uint8_t *buf);
// A run of blocks read in one read, straight into the dump cache at clen
// where the pieces are then formed in place: a piece (2-byte length and the
// data of its blocks) is never longer than the blocks it comes from, whose
// headers alone are longer than a length, so the pieces written never reach
// a block not yet taken. An extended value (no_flush) reads one batch at a
// time through lbuf instead, as its room in the cache is only what the value
// takes. The faults of the blocks are reported as each is taken.
constexpr size_t LOB_RUN_BYTES = 1024 * 1024;
constexpr int LOB_RUN_BLOCKS(size_t bsz) { return (int)(LOB_RUN_BYTES / bsz); }
struct LOB_RUN {
    uint8_t *blk;  // the blocks, bsz bytes apart
    uint32_t rdba; // of the first
    int n;         // blocks read
    uint8_t faults[LOB_RUN_BYTES / 2048];
};
// Reads min(want, a run) blocks from rdba (batch: blocks per piece);
// 0, or -1 when writing the cache out to make room fails.
int lob_run_read(ULDR *ul, DATAFILE *df, uint32_t rdba, int want, int batch, LOB_RUN *r);
// Takes n blocks of the run from its block k: charged to the block budget
// and checked as lob_read does; 0, or -1 after one message.
int lob_run_take(const LOB_RUN *r, DATAFILE *df, int tsn, int k, int n);
// Why the value being read was lost: the first reason given since
// lob_failure_clear is kept, for the loss record. A failed write of the
// dump (lob_write_failed) is not a lost value: it ends the unload.
void lob_failure_clear(void);
void lob_why(const char *why);
const char *lob_failed_why(void);
bool lob_write_failed(void);
// Starts the block budget of one LOB: the blocks of all configured datafiles.
void lob_budget_start(void);
// Makes room for n more bytes in the cache, writing it out when needed;
// 0, or -1 when the write fails.
int lob_room(ULDR *ul, size_t n);
// Appends one piece (2-byte length, data) after lob_room(2 + n); n is 1 to
// 32768.
void lob_piece(ULDR *ul, const uint8_t *data, size_t n);
// Opens the LOB value record: DUMP_VALUE, the width byte, 0x00.
int lob_value_head(ULDR *ul, const LOC *loc);
// Used bytes of a SecureFile data block of bsz bytes (uint16 at 124), or -1
// after one message when they would run past the block.
int secure_used(const uint8_t *blk, uint32_t bsz, int tsn, uint32_t rdba);
// One message about a locator that is too short for what it says it holds.
void lob_bad_locator(const LOB *lob, const char *why);
