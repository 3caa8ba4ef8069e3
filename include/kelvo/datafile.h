// Datafiles: the list of configured files, their headers, positioned block
// reads and the block check value.
#pragma once

#include <cstdint>
#include <functional>

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
// A buffer of n bytes for free(); large ones in 2 MiB pages where offered.
void *alloc_large(size_t n);

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

// ---- Checked block reads ----
//
// Every block a command follows is brought in and checked by one procedure,
// so that a damaged block is named the same way wherever it is met and the
// work goes on without it. The checks, in order; the first that fails names
// the fault:
enum BLOCK_FAULT {
    BLOCK_GOOD = 0,
    BLOCK_NO_FILE,          // no configured datafile holds the address
    BLOCK_FILE_HEADER,      // the address names block 0, the file header
    BLOCK_READ_ERROR,       // the system refused the read
    BLOCK_PAST_END,         // the file ends before the block does
    BLOCK_UNFORMATTED,      // all zeros: never written
    BLOCK_CHECK_VALUE,      // carries a check value (flg_kcbh 0x04) that does not match
    BLOCK_MISPLACED,        // its own rdba is not the address it was read at
    BLOCK_WRONG_TYPE,       // not a block type the caller reads
    BLOCK_OTHER_OBJECT,     // a block of another data object
    // Found by "verify" and "dump" only (block_verdict), never by the reads:
    BLOCK_FRACTURED,        // its tail does not match its cache header
    BLOCK_BAD_HEADER,       // its ITL, data header or directories lie beyond the block
    BLOCK_FAULTS
};
constexpr uint8_t KCBH_HAS_CHECK_VALUE = 0x04;  // flg_kcbh: the block carries a check value

// What a caller expects of the blocks it reads: one of up to four block types
// (types[0] == 0: any type), and, for blocks that carry a transaction header,
// the data object number (0: any).
typedef struct __block_want {
    uint8_t types[4];
    uint32_t objd;
} BLOCK_WANT;

// Short text of a fault, e.g. "check value mismatch".
const char *block_fault_text(int fault);
// Checks one block of df->bsz bytes read at rdba; prints nothing.
int check_block(const DATAFILE *df, const uint8_t *blk, uint32_t rdba, const BLOCK_WANT *want);
// Reports a block that cannot be used, once, with the file and both ways a
// block is named:
//   block 4/132 (rdba=0x01000084) of "users01.dbf": check value mismatch, skipped.
// A check value mismatch and a short read are first reported with the lines
// the block reader has always printed for them.
void report_block(const DATAFILE *df, uint32_t rdba, int fault);
// When set, report_block hands every block to it instead (a worker of a
// parallel unload: its parent reports, once, in the serial order).
extern void (*g_report_hook)(const DATAFILE *df, uint32_t rdba, int fault);
// Forgets the blocks reported so far: each command reports a block once.
void report_block_reset(void);
// Reads n consecutive blocks from rdba in one positioned read and checks each
// one; faults[i] gets block i's fault and every bad block is reported. Blocks
// past the end of the file are BLOCK_PAST_END. Returns the number of bad
// blocks (0 to n).
int read_blocks_checked(DATAFILE *df, uint32_t rdba, int n, uint8_t *buf, const BLOCK_WANT *want,
                        uint8_t *faults);
// The same read and checks, reporting nothing but a refused read: for callers
// that decide which faults are worth a line (an unformatted block above a
// segment's high-water mark is not).
int read_blocks_quiet(DATAFILE *df, uint32_t rdba, int n, uint8_t *buf, const BLOCK_WANT *want,
                      uint8_t *faults);
// Blocks 1 to the end of df (block 0 is the file's own header) in reads of
// up to `slice` bytes into buf, faults[i] set as read_blocks_quiet does; take
// gets each read: its first block number and rdba and its block count.
// -1 when a block does not fit the slice.
int read_whole_file(DATAFILE *df, uint8_t *buf, size_t slice, uint8_t *faults,
                    const std::function<void(uint64_t b, uint32_t rdba, uint32_t n)> &take);
// The same over blocks first to last (1 and up; last is cut to the file's
// last block).
int read_file_blocks(DATAFILE *df, uint64_t first, uint64_t last, uint8_t *buf, size_t slice, uint8_t *faults,
                     const std::function<void(uint64_t b, uint32_t rdba, uint32_t n)> &take);
// The last block number a datafile's blocks can be read up to.
uint64_t last_block(const DATAFILE *df);
// Block number of rdba within df (the whole rdba for a bigfile datafile).
static inline uint64_t df_block_number(const DATAFILE *df, uint32_t rdba)
{
    return (df->flag & DF_BIGFILE) ? rdba : (rdba & 0x3FFFFF);
}
// At the end of a command that lost blocks to their check value (verification
// on), one line says that "checksum = NO" reads them as they are.
void check_value_hint(void);
// Brings the block at (tsn, rdba) into buf (room for the file's block size)
// and checks it. Returns BLOCK_GOOD, or the fault after reporting it. *dfp
// gets the datafile when one holds the address.
int fetch_block(int tsn, uint32_t rdba, uint8_t *buf, size_t room, const BLOCK_WANT *want, DATAFILE **dfp);
