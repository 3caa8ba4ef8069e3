// Unloading: the working record of one "unload" command and the procedures
// that walk a table's segments and write its rows to the dump.
#pragma once

#include <set>
#include <vector>

#include "kelvo/block.h"
#include "kelvo/datafile.h"
#include "kelvo/dump.h"
#include "kelvo/dict.h"

constexpr int ULDR_CACHE_SIZE = 4 * 1024 * 1024;
constexpr int ULDR_LONG_BUF = 32 * 1024;
constexpr int ULDR_LOB_BUF = 32 * 1024;

// One LOB locator gathered from a row, as stored in the row.
typedef struct __lob_data {
    uint32_t cid;
    uint32_t len;           // locator bytes gathered so far
    uint8_t ldata[4088];
} LOBD;
static_assert(sizeof(LOBD) == 4096);
static_assert(offsetof(LOBD, ldata) == 8);

// The working record of one "unload" command. Its buffers are slices of the
// work buffer: cache (4 MiB), hblk, cblk, lbuf, the LOB buffers and slots when
// the table has LOB columns, and rbuf, the extent read buffer, with the rest.
// Kinds of loss of one table.
enum LOSS_KIND {
    LOSS_BLOCK,             // a block of the table that could not be used
    LOSS_UNFORMATTED,       // an all-zero block inside the table's extents
    LOSS_ROW_CUT,           // a row whose later pieces could not be read: the rest is NULL
    LOSS_LOB,               // a LOB value that could not be read: NULL
    LOSS_LONG,              // a LONG value that broke off: NULL
    LOSS_COMPRESSED,        // a row of a compressed block, not decoded
    LOSS_ENCRYPTED,         // a value of an encrypted column: NULL
    LOSS_KINDS
};

// Which rows an unload takes. A healthy table's unload takes the live rows
// of its current data object; "unload deleted" the deleted rows that still
// decode cleanly; "unload truncated" the rows of blocks left by an older
// data object of the table.
enum UNLOAD_TAKE { TAKE_LIVE, TAKE_DELETED, TAKE_TRUNCATED };

// Blocks and rows of one older data object met by "unload truncated".
typedef struct __old_objd {
    uint32_t objd;
    uint32_t blocks;
    uint32_t rows;
} OLDOBJD;

// Where the piece of one used slot of a block starts (from the block start)
// and, for a live piece, where its columns end.
typedef struct __piece_span {
    uint32_t start;
    uint32_t end;
    bool live;
} PIECE_SPAN;

// The state of "unload deleted" and "unload truncated" (ULDR.rec; null for
// the live rows).
typedef struct __recover {
    int take;                       // TAKE_DELETED or TAKE_TRUNCATED
    bool scan;                      // truncated: the rest of the tablespace too
    uint32_t found;                 // deleted: head pieces of deleted rows met
    uint32_t damaged;               // deleted: rows ended by a piece too damaged to trust
    uint64_t span_key;              // deleted: block of `spans`, ((tsn << 32) | rdba) + 1; 0: none
    std::vector<PIECE_SPAN> spans;  // deleted: the pieces of that block
    uint32_t segobjn;               // truncated: object number of the segment walked (its first data object)
    std::vector<uint32_t> current;  // truncated: data and object numbers of the dictionary's objects, sorted
    std::vector<OLDOBJD> old;       // truncated: the older data objects met, in the order met
    std::set<uint64_t> seen;        // truncated with scan: blocks the extent walk read, (tsn << 32) | rdba
} RECOVER;

typedef struct __unloader ULDR;
struct __unloader {
    int fd;                 // the dump file
    int lfd;                // LONG staging file of the current row, -1 when none
    int ntab;
    int tsn;                // tablespace of the segment being walked
    int tabn;               // table directory index of the table's rows
    int nlob;               // LOB slots at lobc
    int bsz;
    int curc;               // next column of the current row
    int ccl;                // bytes gathered of a split ordinary column
    int lcc;                // LOB locators gathered for the current row
    int lsz;                // LONG bytes held in lbuf
    int csz;
    int clen;
    uint32_t nrow;
    uint32_t hdba;
    uint64_t data_ofs;
    TAB *tabp;
    uint8_t *tinf;
    uint8_t *cache;
    uint8_t *hblk;
    uint8_t *cblk;
    uint8_t *pl;            // cache place of a split column's pending length
    uint8_t *ibuf;
    uint8_t *itree2, *itree3, *itree4;
    uint8_t *lbuf;
    uint8_t *lobc;
    uint8_t *rbuf;
    uint8_t *kbuf;          // copy of a cluster key row whose block is left behind
    // State that keeps damaged input from
    // corrupting the stream.
    uint64_t pl_fofs;       // file offset of a pending length already written out, 0 when none
    int rbufblks;           // blocks per extent read
    int long_col;           // column that owns the row's LONG value, -1 when none
    int lob_open;           // a LOB locator is split and its slot not complete
    uint32_t objd;          // data object number of the segment, 0: not checked
    uint32_t nskip;         // blocks of another object passed over
    uint32_t rdba;          // block being decoded (for messages)
    int slot;               // slot being decoded (for messages)
    uint64_t row_ofs;       // dump offset at which the current row starts
    int split;              // the last piece left column curc open (FB_NEXT)
    const uint8_t *ck;      // cluster key columns of the current row, null when none
    const uint8_t *ckend;
    int ckn;                // key columns left in the key row
    int ncolw;              // columns written to the column information
    uint32_t lost[LOSS_KINDS]; // what the current table lost, by LOSS_* kind
    uint32_t ncompressed;   // compressed blocks passed over
    uint32_t nowned;        // data blocks of the table's own data object
    uint32_t nunparsed;     // data blocks of no object whose headers do not parse
    int next;               // extended columns: their value is read through the last LOB slot
    int ext_open;           // an extended column's locator is split and being gathered
    int no_flush;           // the LOB readers may not write the cache out (an extended value)
    uint32_t nasis;         // extended values written as stored (not LOB locators)
    RECOVER *rec;           // deleted or truncated rows, null for the live ones
    uint32_t blkobjd;       // data object of the rows being decoded: their chains stay in it (0: any)
    // When set, the table's blocks are read by this instead of through its
    // segments ("unload object": the blocks the scan found), with walk_arg.
    int (*walk)(ULDR *ul);
    const void *walk_arg;
    uint64_t blk_from, blk_to; // blocks of the segment walked (SEGWALK); blk_to 0: all
};

// Recording what a table loses. Every loss is counted in ul->lost by kind and
// goes to the table's loss report with where it was found (df may be null,
// rdba 0, slot and col -1 when unknown) and why.
void note_loss(ULDR *ul, int kind, const DATAFILE *df, uint32_t rdba, int slot, int col, const char *why);
// The same for n losses (0 or more) written as one line of the report.
void note_losses(ULDR *ul, int kind, uint32_t n, const DATAFILE *df, uint32_t rdba, int slot, int col,
                 const char *why);
// The loss report of the dump at dump_path ("x.dat": "x.loss"), created at
// the first loss; a report left by an earlier run is removed here.
void loss_begin(const char *dump_path);
// Table named in the report's next lines.
void loss_table(const char *table);
// Path of the report (whether or not anything was written to it).
const char *loss_path(void);
// Closes the report; -1 after a message when it could not be written.
int loss_end(void);
// A worker of a parallel unload: the report's lines go to fp, which hands
// them to the parent, and the parent writes them with loss_replay (the
// header line first when the report is not open yet).
void loss_capture(FILE *fp);
void loss_replay(const char *text, size_t n);
// The line after a table's "rows done." when it lost anything, e.g.
//     3 blocks skipped, 1 row cut, 2 LOB values lost: see data/SCOTT_EMP.loss
void print_table_losses(const ULDR *ul);
// What a table could not decode at all, said once after its "rows done."
// line and counted: compressed blocks, and data blocks none of which parse
// (an encrypted tablespace). name is the table's.
void print_table_refusals(ULDR *ul, const char *name);
// The table's encrypted columns, said once before its blocks are read.
void print_encrypted_columns(const TAB *t, const char *name);
// Before a table's rows: one line for each LOB column whose SecureFile data
// is encrypted, compressed or deduplicated (its values are refused), and
// the word for such a LOB.flag (nullptr for a LOB read as stored).
void print_refused_lobs(const TAB *t, const char *name);
const char *refused_lob_text(uint32_t flag);

// The dump writer: zeros that reserve the header and the table information,
// the cache of row data, and the header and table information written last.
int write_blank(int fd, uint64_t sz);
int write_cache(ULDR *ul);
int make_head(void);
// The header without a dictionary: the character set given, AL16UTF16.
int make_charset_head(const char *charset);
int write_head(ULDR *ul, HEAD_INFO *inf);
int write_tab_info(ULDR *ul);

// Deleted rows and blocks of older data objects (recover_rows.cpp).
// Whether a block of data object objd is one the unload takes: the
// segment's own (or any when ul->objd is 0) for the live rows, an older one
// of no other current object for "unload truncated".
bool block_objd_taken(const ULDR *ul, uint32_t objd);
// The deleted head piece rp of block db starts a row whose pieces all
// still decode cleanly: deleted pieces of the table, every column inside
// its piece, no more columns than the table has. Reads later pieces into
// ul->cblk. Prints nothing.
bool deleted_row_sound(ULDR *ul, const DATABLK *db, const ROWPIECE *rp);
// At the start of each segment walk: the object the segment belongs to.
void recover_segment_begin(ULDR *ul);
// With scan: n blocks from rdba were met by the extent walk.
void recover_note_block(ULDR *ul, uint32_t rdba, uint32_t n);
// Counts one block of older data object objd and its rows.
void count_old_block(ULDR *ul, uint32_t objd, uint32_t rows);
// With "unload truncated ... scan": every block of the segment's
// tablespace not read by the extent walk that block_objd_taken takes.
int scan_old_blocks(ULDR *ul, SEGWALK *w);
// The lines after "rows done." of a deleted or truncated unload.
void print_recovered(const ULDR *ul);
// Fills rec->current from the loaded dictionary.
void current_objects(RECOVER *rec);
// One segment of a table, as its rows are walked: the table's own, or one
// of its partitions or subpartitions.
typedef struct __segment_ref {
    int tsn;
    uint32_t fno, blk, objd;
} SEGREF;
// The table's segments in the order the unload walks them.
void table_segments(const TAB *t, std::vector<SEGREF> *segs);

// A part of one table's row stream: its segments [seg_from, seg_to) in walk
// order, of the first of them only the blocks [blk_from, blk_to) of its
// extents when blk_to is not 0; first: the column information comes before
// them; last:
// the end mark after them.
typedef struct __table_slice {
    uint32_t seg_from, seg_to;
    uint64_t blk_from, blk_to;
    bool first, last;
} TABLE_SLICE;
// Writes a slice of ul->tabp's stream at ul->data_ofs; -1 when the table
// failed there (said, and its stream closed with the end mark).
int unload_table_slice(ULDR *ul, const TABLE_SLICE *s);

// What the tables of one unload came to, for its closing line.
typedef struct __unload_tally {
    uint32_t complete, partial, failed, skipped;
    uint64_t rows;
    int status;
} UNLOAD_TALLY;
// Before a table's rows: the record set up for tabs and the lines said
// before them (encrypted columns, dictionary defaults, the progress label).
void table_opening(ULDR *ul, const char *user, TAB *t, TAB_INFO *ti);
// After them: "rows done." and what the table lost, counted in the tally;
// table_fails: a failed table fails the command.
void table_closing(ULDR *ul, TAB_INFO *ti, bool fail, bool table_fails, UNLOAD_TALLY *tally);
// Workers of "parallel": g_parallel, or the online cores when it is 0.
int parallel_workers(void);
// Blocks a worker's piece should have at least: a segment (or a datafile
// scanned whole) of twice as many is cut into ranges. KELVO_RANGE_BLOCKS
// sets it (the tests cut small tables and files).
uint64_t parallel_unit_blocks(void);
// Unloads ul->ntab tables with parallel_workers() worker processes, said and
// written exactly as one after the other; 1 (nothing done) when one worker
// or one piece of work would do it all.
int unload_parallel(ULDR *ul, const char *user, TAB **tabs, bool table_fails, UNLOAD_TALLY *tally);
// The LONG staging file's name in the data directory (long_tmp.dat unless
// set; a worker has its own).
void long_staging_name(const char *name);

int unload_handle(char *args);
// The working record of one command, empty.
void init_uldr(ULDR *ul);
// Unloads the tables whose TAB_INFO (ul->tinf) is filled into the open dump
// ul->fd (its header and table information reserved), then writes the
// header and the table information. table_fails: a failed table fails the
// command (one table named by the user).
int unload_tables(ULDR *ul, const char *user, TAB **tabs, bool table_fails);
int unload_user(char *args);
int unload_table(char *args);
int unload_one_table(ULDR *ul);
int unload_segment(ULDR *ul);
int uldr_layout(ULDR *ul, int bsz);
int process_data_block(ULDR *ul, const uint8_t *blk);
// Marks the table's extended columns (COL_EXTENDED: VARCHAR2, NVARCHAR2 or
// RAW declared over 4000 bytes with a LOB$ entry); returns their number.
int mark_extended_columns(const TAB *t);
int save_long(ULDR *ul, const uint8_t *data, int dlen, int flush);
int process_long(ULDR *ul);
