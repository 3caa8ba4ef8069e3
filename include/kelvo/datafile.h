// Datafiles: the list of configured files, their headers, positioned block
// reads and the block check value.
#pragma once

#include <cstdint>

#include "kelvo/config.h"

typedef struct __datafile {
    uint32_t flag;          // bit 0x10: bigfile tablespace (relative file number 1024)
    int32_t fd;
    uint32_t fno;
    uint32_t rfn;
    uint32_t tsn;
    uint32_t blks;
    uint32_t bsz;
    uint32_t blk0_sz;
    char name[1024];
} DATAFILE;
static_assert(sizeof(DATAFILE) == 1056);
static_assert(offsetof(DATAFILE, bsz) == 24 && offsetof(DATAFILE, name) == 32);

constexpr int DF_BIGFILE = 0x10;  // DATAFILE.flag: bigfile tablespace
constexpr int DF_BIGFILE_RFN = 1024;  // relative file number of a bigfile datafile
constexpr int DF_HEAD_SIZE = 40960;  // bytes read from the start of each datafile
constexpr size_t DF_BATCH = WORK_BUFFER_SIZE / sizeof(DATAFILE);  // records staged at once
static_assert(DF_BATCH == 7943);

// Whole reads and writes (full_io.cpp), repeated after short transfers and
// interruptions. The reads return the bytes read (fewer only at the end of
// the file) or -1 with errno set; the writes return 0, or -1 with errno set
// (EIO when the system wrote nothing). The p- forms work at offset off.
long read_full(int fd, uint8_t *buf, size_t n);
long pread_full(int fd, uint8_t *buf, size_t n, uint64_t off);
int write_full(int fd, const uint8_t *buf, size_t n);
int pwrite_full(int fd, const uint8_t *buf, size_t n, uint64_t off);

// Reads the datafile list into g_ctx.df / g_ctx.sys.nf, staging records in
// the work buffer and spilling full batches to "<dictdir>/dbfile.tmp".
int load_datafile(void);
// Opens and checks every listed datafile; sets g_ctx.sysf and
// g_ctx.sys.rootdba.
int open_datafile(void);
// The first datafile in list order of tablespace tsn that is a bigfile or has
// relative file number rfn; nullptr when there is none.
DATAFILE *get_datafile(int tsn, int rfn);
// Reads `blocks` consecutive blocks from rdba into buf (blocks * bsz bytes)
// with positional reads. Returns blocks * bsz, or -1 after one message: a
// read error, blocks reaching past the end of the file, or (verification on)
// a block whose check value does not match.
int read_extent_blocks(DATAFILE *df, uint32_t rdba, int blocks, uint8_t *buf);
// 0 when the block's stored check value is the XOR of its other 16-bit
// words, non-zero otherwise (also for blocks too small to hold one).
int check_sum(const uint8_t *blk, int bsz);
// The check value a block of bsz bytes should store.
uint16_t block_check_value(const uint8_t *blk, int bsz);
int close_datafile(void);
