// kelvo: the shared header of the datafile reader, the dictionary, the
// unloader and the dictionary viewers.
//
// Every record that lies on disk (Oracle blocks, dictionary files, dump files)
// is declared here once, with its size and field offsets checked at compile
// time. Oracle block structures are little-endian as written on x86-64; they
// are never dereferenced through a cast pointer into a block: fields are read
// with the memcpy-based accessors below, or a whole record is memcpy'd out of
// the block after its bounds were checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// ---------------------------------------------------------------------------
// Byte-order accessors (unaligned, memcpy based).
// ---------------------------------------------------------------------------
static inline uint16_t get_le16(const uint8_t *p) { uint16_t v; memcpy(&v, p, 2); return v; }
static inline uint32_t get_le32(const uint8_t *p) { uint32_t v; memcpy(&v, p, 4); return v; }
static inline uint16_t get_be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }
static inline uint32_t get_be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
static inline void put_be16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
static inline void put_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}

// True when [off, off + n) lies inside a buffer of size bytes; written so that
// it cannot overflow.
static inline bool in_bounds(size_t off, size_t n, size_t size) { return off <= size && n <= size - off; }

// ---------------------------------------------------------------------------
// Shell (string helpers, command table).
// ---------------------------------------------------------------------------
void str_toupper(char *s);
char *str_ltrim(char *s);
char *str_rtrim(char *s);

// One row of the command table: the first word of a command and its handler,
// which gets the rest of the line (writable, trimmed, possibly empty) and
// returns a negative value on failure.
typedef int (*cmd_handle)(char *args);
typedef struct __command_map {
    char cmd_name[32];
    cmd_handle cmd_function;
} COMMAND_MAP;
// Ends with a row whose cmd_name is empty. "exit" is handled by the loop.
extern const COMMAND_MAP command_map[];

#define CMD_LINE_MAX 512        // a typed line keeps at most 511 characters

int help_handle(char *args);
void show_copyright(void);
int parse_arguments(int argc, char **argv);
// Splits one typed line (at most CMD_LINE_MAX bytes, NUL-terminated) into its
// command word and argument text and runs it. Returns 1 when the line is
// "exit", otherwise 0 (a failure has been reported).
int run_command_line(char *line);
// Prompts, reads and runs typed lines until "exit" or the end of standard
// input.
void command_loop(void);
// The whole program: start-up, the command loop, shutdown. Returns the exit
// status of the process (0, or -1 after a start-up failure).
int kelvo_main(int argc, char **argv);
// Releases the dictionary arrays and the datafile array held in g_ctx.
int free_dict_memory(void);

// ---- shell: end ----

// ---------------------------------------------------------------------------
// Configuration and datafiles.
// ---------------------------------------------------------------------------
#define WORK_BUFFER_SIZE (8 * 1024 * 1024)

typedef struct __config_param {
    uint32_t flag;          // bit 0x1: verify the check value of every block read
    uint32_t rsv;
    char dict_dir[1024];
    char data_dir[1024];
} CFGPAR;
static_assert(sizeof(CFGPAR) == 2056);
static_assert(offsetof(CFGPAR, dict_dir) == 8 && offsetof(CFGPAR, data_dir) == 1032);

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

#define CFG_CHECKSUM 0x1        // CFGPAR.flag: verify every block read
#define DF_BIGFILE 0x10         // DATAFILE.flag: bigfile tablespace
#define DF_BIGFILE_RFN 1024     // relative file number of a bigfile datafile
#define DF_HEAD_SIZE 40960      // bytes read from the start of each datafile
#define DF_BATCH (WORK_BUFFER_SIZE / sizeof(DATAFILE)) // records staged at once
static_assert(DF_BATCH == 7943);

#include <cstdio>

// Reads the next line of a configuration file or datafile list (at most
// size - 1 characters: a longer line comes back in pieces), cuts it at '#'
// and trims it; nullptr at the end of the file or on a read error.
char *next_config_line(FILE *fp, char *buf, int size);
// Whole reads and writes (full_io.cpp), repeated after short transfers and
// interruptions. The reads return the bytes read (fewer only at the end of
// the file) or -1 with errno set; the writes return 0, or -1 with errno set
// (EIO when the system wrote nothing). The p- forms work at offset off.
long read_full(int fd, uint8_t *buf, size_t n);
long pread_full(int fd, uint8_t *buf, size_t n, uint64_t off);
int write_full(int fd, const uint8_t *buf, size_t n);
int pwrite_full(int fd, const uint8_t *buf, size_t n, uint64_t off);

// Reads the configuration file g_cfgname into g_ctx.par and g_dbfile_list.
int load_config(void);
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

// ---- datafiles: end ----

// ---------------------------------------------------------------------------
// Oracle block and row layouts.
// ---------------------------------------------------------------------------

//
// Every Oracle block starts with the 20-byte cache header KCBH. A table data
// block (type 0x06) continues like this, offsets from the block start:
//
//    0  KCBH    cache header (type, rdba, check value)
//   20  KTBBH   transaction header; ktbbhict & 0xFF ITL entries follow
//   44  KTBIT   ITL entries, 24 bytes each
//       EXDATA  only when ktbbhflg & 0x20: 8 + (exflg & 0xFFFF) bytes
//  dho  KDBH    data header (dho = data header offset, data_header_offset())
//       KDBT    table directory, kdbhntab entries of 4 bytes
//       kdbr    row directory, i16 per slot: a used slot holds the offset of
//               its row piece from KDBH, a free slot the next free slot number
//       ...     free space, then the row pieces
//
// Multi-byte fields are little-endian; only the rowids inside row pieces are
// big-endian. The structures are never laid over a block: a field is read
// with get_le16/get_le32 at its offsetof, after the bounds were checked.

// Block types (KCBH.type_kcbh).
#define BLOCK_TYPE_DATA 0x06        // table or cluster data block
#define BLOCK_TYPE_SEGHDR_FL 0x10   // segment header, free-list managed segment
#define BLOCK_TYPE_EXTMAP_FL 0x12   // further extent map block, free-list segment
#define BLOCK_TYPE_SEGHDR_ASSM 0x23 // segment header, automatically managed segment
#define BLOCK_TYPE_EXTMAP_ASSM 0x24 // further extent map block, automatic segment

typedef struct __cache_layer {
    uint8_t type_kcbh;
    uint8_t frmt_kcbh;
    uint8_t spare1_kcbh;
    uint8_t spare2_kcbh;
    uint32_t rdba_kcbh;
    uint32_t bas_kcbh;
    uint16_t wrp_kcbh;
    uint8_t seq_kcbh;
    uint8_t flg_kcbh;
    uint16_t chkval_kcbh;   // XOR of all other 16-bit words of the block
    uint16_t spare3_kcbh;
} KCBH;
static_assert(sizeof(KCBH) == 20);
static_assert(offsetof(KCBH, rdba_kcbh) == 4 && offsetof(KCBH, bas_kcbh) == 8);
static_assert(offsetof(KCBH, wrp_kcbh) == 12 && offsetof(KCBH, seq_kcbh) == 14);
static_assert(offsetof(KCBH, flg_kcbh) == 15 && offsetof(KCBH, chkval_kcbh) == 16);
static_assert(offsetof(KCBH, spare3_kcbh) == 18);

// Block 0 of a datafile, after its 20 header bytes (which follow KCBH).
typedef struct __datafile_block0 {
    uint32_t blk0_sz;       // size of block 0; block 1 starts here
    uint32_t blks;
    uint32_t platform;
} DF_BLK0;
static_assert(sizeof(DF_BLK0) == 12);
#define DF_BLK0_OFFSET 20

// Block 1, the datafile header (bytes 20 to 95 are kcvfhhdr).
typedef struct __kcvfh_simp {
    KCBH kcbh;
    uint32_t kccfhswv;
    uint32_t kccfhcvn;
    uint32_t kccfhdbi;
    char kccfhdbn[8];
    uint32_t kccfhcsq;
    uint32_t kccfhfsz;      // file size in blocks
    uint32_t kccfhbsz;      // block size
    uint16_t kccfhfno;      // absolute file number
    uint16_t kccfhtyp;
    uint32_t kccfhacid;
    uint32_t kccfhcks;
    char kccfhtag[32];
    uint32_t rootdba;       // bootstrap segment header (SYSTEM file only)
    uint8_t ign[232];
    uint32_t kcvfhtsn;      // tablespace number
    uint16_t kcvfhtln;
    char kcvfhtnm[30];
    uint32_t kcvfhrfn;      // relative file number (1024: bigfile)
} KCVFH;
static_assert(sizeof(KCVFH) == 372);
static_assert(offsetof(KCVFH, kccfhswv) == 20 && offsetof(KCVFH, kccfhdbn) == 32);
static_assert(offsetof(KCVFH, kccfhcsq) == 40 && offsetof(KCVFH, kccfhfsz) == 44);
static_assert(offsetof(KCVFH, kccfhbsz) == 48 && offsetof(KCVFH, kccfhfno) == 52);
static_assert(offsetof(KCVFH, kccfhtyp) == 54 && offsetof(KCVFH, kccfhacid) == 56);
static_assert(offsetof(KCVFH, kccfhcks) == 60 && offsetof(KCVFH, kccfhtag) == 64);
static_assert(offsetof(KCVFH, rootdba) == 96 && offsetof(KCVFH, ign) == 100);
static_assert(offsetof(KCVFH, kcvfhtsn) == 332 && offsetof(KCVFH, kcvfhtln) == 336);
static_assert(offsetof(KCVFH, kcvfhtnm) == 338 && offsetof(KCVFH, kcvfhrfn) == 368);

// Transaction header, at offset 20 of a data block.
typedef struct __ktbbh_header {
    uint8_t ktbbhtyp;
    uint8_t rsv[3];
    uint32_t ktbbhod1;      // data object number of the segment
    uint32_t kscnbas;
    uint16_t kscnwrp;
    uint16_t align;
    int16_t ktbbhict;       // ITL count: only the low byte counts
    uint8_t ktbbhflg;       // KTBBH_EXDATA: an EXDATA area follows the ITL
    uint8_t ktbbhfsl;
    uint32_t ktbbhfnx;
} KTBBH;
static_assert(sizeof(KTBBH) == 24);
static_assert(offsetof(KTBBH, ktbbhod1) == 4 && offsetof(KTBBH, kscnbas) == 8);
static_assert(offsetof(KTBBH, kscnwrp) == 12 && offsetof(KTBBH, align) == 14);
static_assert(offsetof(KTBBH, ktbbhict) == 16 && offsetof(KTBBH, ktbbhflg) == 18);
static_assert(offsetof(KTBBH, ktbbhfsl) == 19 && offsetof(KTBBH, ktbbhfnx) == 20);
#define KTBBH_OFFSET 20
#define KTBBH_EXDATA 0x20

// One interested-transaction list entry; the decoders only step over them.
typedef struct __ktbbhitl {
    uint16_t kxidusn;
    uint16_t kxidslt;
    uint32_t kxidsqn;
    uint32_t kubadba;
    uint16_t kubaseq;
    uint8_t kubarec;
    uint8_t align;
    uint16_t ktbitflg;
    uint16_t ktbitwrp;
    uint32_t ktbitbas;
} KTBIT;
static_assert(sizeof(KTBIT) == 24);
static_assert(offsetof(KTBIT, kxidsqn) == 4 && offsetof(KTBIT, kubadba) == 8);
static_assert(offsetof(KTBIT, kubaseq) == 12 && offsetof(KTBIT, kubarec) == 14);
static_assert(offsetof(KTBIT, ktbitflg) == 16 && offsetof(KTBIT, ktbitwrp) == 18);
static_assert(offsetof(KTBIT, ktbitbas) == 20);
#define KTBIT_OFFSET 44

// Extra data of blocks in automatically managed segments; the area is
// 8 + (exflg & 0xFFFF) bytes long.
typedef struct __assm_extra_data {
    uint32_t inc;
    uint32_t exflg;
} EXDATA;
static_assert(sizeof(EXDATA) == 8 && offsetof(EXDATA, exflg) == 4);

// Data header.
typedef struct __kdbh {
    uint8_t kdbhflag;
    int8_t kdbhntab;        // entries in the table directory
    int16_t kdbhnrow;       // row directory slots
    int16_t kdbhfrre;       // first free slot, negative when none
    int16_t kdbhfsbo;
    int16_t kdbhfseo;
    int16_t kdbhavsp;
    int16_t kdbhtosp;
} KDBH;
static_assert(sizeof(KDBH) == 14);
static_assert(offsetof(KDBH, kdbhntab) == 1 && offsetof(KDBH, kdbhnrow) == 2);
static_assert(offsetof(KDBH, kdbhfrre) == 4 && offsetof(KDBH, kdbhfsbo) == 6);
static_assert(offsetof(KDBH, kdbhfseo) == 8 && offsetof(KDBH, kdbhavsp) == 10);
static_assert(offsetof(KDBH, kdbhtosp) == 12);

// Table directory entry: table t owns row directory slots
// kdbtoffs .. kdbtoffs + kdbtnrow - 1. In a cluster block entry 0 holds the
// cluster key rows and entries 1 and up the clustered tables.
typedef struct __kdbt {
    int16_t kdbtoffs;
    int16_t kdbtnrow;
} KDBT;
static_assert(sizeof(KDBT) == 4 && offsetof(KDBT, kdbtnrow) == 2);

// Extent map header of segment headers and extent map blocks; nexts EXTMAP
// entries follow it immediately.
typedef struct __map_header {
    uint32_t nexts;         // extent entries in this block
    uint32_t next;          // rdba of the next extent map block, 0 for the last
    uint32_t objd;
    uint32_t flag;
} MAPHDR;
static_assert(sizeof(MAPHDR) == 16);
static_assert(offsetof(MAPHDR, next) == 4 && offsetof(MAPHDR, objd) == 8 && offsetof(MAPHDR, flag) == 12);

typedef struct __extent_map {
    uint32_t ext_dba;       // rdba of the extent's first block
    uint32_t ext_len;       // blocks in the extent
} EXTMAP;
static_assert(sizeof(EXTMAP) == 8 && offsetof(EXTMAP, ext_len) == 4);

#define MAPHDR_OFFSET_SEGHDR_FL 92
#define MAPHDR_OFFSET_SEGHDR_ASSM 264
#define MAPHDR_OFFSET_EXTMAP 20

// Row piece flag bits (first byte of a row piece). Constants rather than
// macros, so that a test may include the builder's own names for them.
enum : uint8_t {
    FB_HEAD = 0x20,         // head piece of a row
    FB_DELETED = 0x10,      // deleted row
    FB_FIRST = 0x08,        // first piece holding column data
    FB_LAST = 0x04,         // last piece of the row
    FB_PREV = 0x02,         // first column continues the previous piece's last
    FB_NEXT = 0x01,         // last column continues in the next piece
    // A cluster key row is used only when it is a whole row in one piece.
    FB_WHOLE_KEY = FB_HEAD | FB_FIRST | FB_LAST,
};

// Column length encoding: 0xFF is NULL (one byte); 0xFE is followed by a
// little-endian 16-bit length and the data; any other byte is the length of
// the data that follows.
#define COLLEN_NULL 0xFF
#define COLLEN_LONG 0xFE

// Fixed header of a cluster key row: its first key column starts here.
#define CLUSTER_KEY_HDR 19
// Bytes of a rowid inside a row piece: rdba (4) and slot (2), big-endian.
#define ROWID_SIZE 6

// The relative data block address: relative file number in the top 10 bits,
// block number in the low 22 (a bigfile file takes the whole value).
static inline uint32_t rdba_file(uint32_t rdba) { return rdba >> 22; }
static inline uint32_t rdba_block(uint32_t rdba) { return rdba & 0x3FFFFF; }

// Offset of the extent map header in a block of the given type, or -1 when
// the type carries no extent map.
int extent_map_offset(uint8_t type);

// Reads the extent map header of a segment header or extent map block of bsz
// bytes into mh and returns the offset of its first EXTMAP entry, or -1 when
// the type carries no extent map (no message: the segment walks report
// "error block type: %x\n" themselves) or -2 when the listed entries do not
// fit the block (one message naming the block). On success entry i lies at
// the returned offset + 8 * i, for i < mh->nexts.
int read_extent_map(const uint8_t *blk, size_t bsz, MAPHDR *mh);
static inline EXTMAP extent_map_entry(const uint8_t *blk, int off, uint32_t i)
{
    EXTMAP e;
    e.ext_dba = get_le32(blk + off + 8 * (size_t)i);
    e.ext_len = get_le32(blk + off + 8 * (size_t)i + 4);
    return e;
}

// Offset of KDBH in a table data block of bsz bytes:
//   44 + 24 * (ktbbhict & 0xFF), plus 8 + (exflg & 0xFFFF) with KTBBH_EXDATA.
// Returns -1 when the ITL, the extra data or KDBH itself would lie beyond
// the block. The block type is not looked at.
int data_header_offset(const uint8_t *blk, size_t bsz);

// A table data block whose headers and directories were checked against its
// size (open_data_block). Offsets are from the block start.
typedef struct __data_block {
    const uint8_t *blk;
    size_t bsz;
    uint32_t rdba;          // rdba_kcbh, to name the block in messages
    uint32_t kdbh;          // data header offset
    uint32_t kdbr;          // row directory offset
    int ntab;               // kdbhntab (0 when negative)
    int nslot;              // row directory slots that lie inside the block
    int frre;               // kdbhfrre
} DATABLK;

// One row piece located in a DATABLK. After locate_row_piece, p, end, fb,
// rdba, lb, cc, slot are set; parse_row_piece fills the rest.
typedef struct __row_piece {
    const uint8_t *p;       // flag byte of the piece
    const uint8_t *end;     // end of the block: no column reaches past it
    uint32_t rdba;          // of the block, for messages
    int slot;               // row directory slot number (kdbtoffs + i)
    uint8_t fb;             // flag byte, FB_*
    uint8_t lb;             // lock byte
    uint8_t cc;             // column count of this piece
    int cki;                // cluster key index, -1 when the piece has none
    bool has_nrid;          // the row continues at nrid_dba / nrid_slot
    uint32_t nrid_dba;
    uint16_t nrid_slot;
    const uint8_t *cols;    // first column of the piece
} ROWPIECE;

// Opens a block of bsz bytes as a table data block.
// Returns 1 when it is one and its data header, table directory and row
// directory lie inside it; 0 when it is no table data block (type other than
// 0x06: callers pass over it silently); -1 when it is malformed, after one
// message on standard error naming its rdba.
int open_data_block(DATABLK *db, const uint8_t *blk, size_t bsz);

// Slots of table t of the directory: first slot and count, checked to lie in
// the row directory. Returns 0, or -1 (no message) when t is not in the
// table directory, and -2 after one message when the entry is malformed.
int table_slots(const DATABLK *db, int t, int *first, int *count);

// Locates the piece of slot i of table t (i counted within the table, as in a
// rowid): checks the slot and that the flag, lock and count bytes lie inside
// the block. Returns 0, or -1 after one message naming rdba and slot.
int locate_row_piece(const DATABLK *db, int t, int i, ROWPIECE *rp);

// Header layout options of parse_row_piece.
#define RP_CLUSTERED 0x1    // piece of a clustered table (directory index > 0)
#define RP_HEAD_EXTRA 0x2   // table whose head pieces carry 6 more header bytes

// Reads the rest of a located piece's header, in stored order: the cluster
// key index (RP_CLUSTERED and FB_FIRST), 6 extra bytes (RP_HEAD_EXTRA, head
// pieces), the head rowid (not a head piece, FB_FIRST: a migrated row's
// body), the next rowid (a head piece without both FB_FIRST and FB_LAST, any
// other piece without FB_LAST); cols then points at the first column.
// Returns 0, or -1 after one message when the header runs past the block.
int parse_row_piece(ROWPIECE *rp, unsigned opts);

// The row walk: the head pieces of table t of one block, in slot order,
// passing over free slots (followed through the free-slot list from kdbhfrre,
// which is assumed ascending), deleted pieces and pieces without FB_HEAD.
// A slot whose piece lies outside the block is reported once and passed over.
//
//   ROWWALK rw; ROWPIECE rp;
//   if (row_walk_start(&rw, blk, bsz, t) > 0)
//       while (row_walk_next(&rw, &rp) > 0) { parse_row_piece(&rp, ...); ... }
//
// The walk reads only the block it was given, never allocates and never
// writes; it is bounded by the number of slots of the table.
typedef struct __row_walk {
    DATABLK db;
    int t;                  // table directory index
    int first;              // kdbtoffs(t)
    int count;              // kdbtnrow(t)
    int i;                  // next slot within the table
    int sfll;               // next free slot on the free-slot list
} ROWWALK;

// Returns 1 when table t has slots to walk in this block, 0 when the block is
// passed over silently (not a table data block, t not in its table directory,
// no slots), -1 when the block is malformed (one message).
int row_walk_start(ROWWALK *rw, const uint8_t *blk, size_t bsz, int t);
// Returns 1 with the next head piece in rp (located, not yet parsed), 0 when
// the table's slots are done.
int row_walk_next(ROWWALK *rw, ROWPIECE *rp);

// Steps over ncol columns in the column length encoding from p; returns the
// address just after them, or nullptr when a column would reach past end.
const uint8_t *skip_columns(const uint8_t *p, const uint8_t *end, int ncol);

// Reads the column at *pp: 1 with its bytes in *data, *len and *pp moved past
// it; 0 for NULL (*len 0, *pp moved past the marker); -1 when the column
// would reach past end (*pp unchanged).
int next_column(const uint8_t **pp, const uint8_t *end, const uint8_t **data, uint32_t *len);

// Converts an Oracle NUMBER of len bytes (exponent byte, base-100 digits + 1)
// to a 32-bit integer, for the non-negative integers of dictionary columns;
// -1 for negative numbers, values below 1 and len < 1. The arithmetic wraps at
// 32 bits; fractional digits are kept as further digits (1.5 gives 150).
int ora_number_to_int(const uint8_t *p, int len);

// ---- block layouts: end ----

// ---------------------------------------------------------------------------
// Dictionary records and files.
// ---------------------------------------------------------------------------
typedef struct __user USER;
typedef struct __tablespace TS;
typedef struct __object OBJ;
typedef struct __table TAB;
typedef struct __column COL;
typedef struct __tabpart TABPART;
typedef struct __tabsubpart TABSUBPART;
typedef struct __lob LOB;
typedef struct __lob_index LOBIDX;

// The dictionary counters, held as g_ctx.sys (memory only).
typedef struct __orx_system {
    uint32_t nf;
    uint32_t nu;
    uint32_t nts;
    uint32_t nobj;
    uint32_t ntab;
    uint32_t ncol;
    uint32_t ntp;
    uint32_t ntcp;
    uint32_t ntsp;
    uint32_t nlob;
    uint32_t nidx;
    uint32_t rootdba;
} ORXSYS;
static_assert(sizeof(ORXSYS) == 48);
static_assert(offsetof(ORXSYS, rootdba) == 44);

// Every dictionary file is a bare array of one of the records below, written
// back to back in the machine's byte order (little-endian), without header,
// count or trailer. Names are NUL-terminated inside their fixed arrays.

// One database user (file "user", from the user rows of USER$).
struct __user {
    uint32_t uid;           // USER#
    uint32_t status;        // ASTATUS
    uint32_t dts;           // default tablespace number
    uint32_t tts;           // temporary tablespace number
    char name[32];
};
static_assert(sizeof(USER) == 48);
static_assert(offsetof(USER, status) == 4 && offsetof(USER, dts) == 8 && offsetof(USER, tts) == 12 &&
              offsetof(USER, name) == 16);

// One tablespace (file "ts", from TS$).
struct __tablespace {
    uint32_t tsn;
    uint32_t owner;         // OWNER#
    char name[32];
};
static_assert(sizeof(TS) == 40);
static_assert(offsetof(TS, owner) == 4 && offsetof(TS, name) == 8);

// One object of any type (file "obj", from OBJ$). In the file `owner` is the
// owner's user number; after "load dict" it is the index of the owner's USER
// record, or OWNER_PUBLIC for user number 1.
struct __object {
    uint32_t flag;          // FLAGS unchanged: 0x80 dropped, 0x2 temporary
    uint32_t objn;
    uint32_t owner;
    uint32_t type;          // TYPE#
    char name[32];
};
static_assert(sizeof(OBJ) == 48);
static_assert(offsetof(OBJ, objn) == 4 && offsetof(OBJ, owner) == 8 && offsetof(OBJ, type) == 12 &&
              offsetof(OBJ, name) == 16);
#define OWNER_PUBLIC 0xFFFFFFFFu

// One table (file "tab", from TAB$). `ui`, `oi`, `coff` and `tcol` are set by
// "load dict" and are 0 in the file.
struct __table {
    uint32_t flag;          // TAB_* bits
    uint32_t objn;
    uint32_t objd;          // data object number, 0 when NULL
    uint32_t objb;          // object number of the holding cluster, 0 when not clustered
    uint32_t tabn;          // number of the table inside its cluster
    uint32_t ncol;          // COLS
    uint32_t ui;            // index of the owner's USER record
    uint32_t oi;            // index of the table's OBJ record
    uint32_t coff;          // index of the table's first COL record
    uint32_t fno;           // relative file number of the segment header
    uint32_t blk;           // block number of the segment header
    uint32_t tsn;
    uint32_t tcol;          // number of COL records from coff
    uint32_t rsv;
};
static_assert(sizeof(TAB) == 56);
static_assert(offsetof(TAB, objn) == 4 && offsetof(TAB, objd) == 8 && offsetof(TAB, objb) == 12 &&
              offsetof(TAB, tabn) == 16 && offsetof(TAB, ncol) == 20 && offsetof(TAB, ui) == 24 &&
              offsetof(TAB, oi) == 28 && offsetof(TAB, coff) == 32 && offsetof(TAB, fno) == 36 &&
              offsetof(TAB, blk) == 40 && offsetof(TAB, tsn) == 44 && offsetof(TAB, tcol) == 48 &&
              offsetof(TAB, rsv) == 52);

#define TAB_LOB         0x00000001u  // has LOB columns
#define TAB_LONG        0x00000002u  // has a LONG or LONG RAW column (load)
#define TAB_NESTED      0x00000004u
#define TAB_COLFLAG     0x00000008u  // a column has COL_UNUSED_FLAG (load)
#define TAB_IOT_OVF     0x00000010u
#define TAB_PART        0x00000020u  // partitioned
#define TAB_CLUSTERED   0x00000040u
#define TAB_IOT         0x00000080u
#define TAB_COMPOSITE   0x00000100u  // composite-partitioned (load)
#define TAB_DROPPED     0x00002000u  // OBJ$ FLAGS 0x80 (load)
#define TAB_EXTHDR      0x00010000u  // head pieces carry 6 more header bytes
#define TAB_UNSUPPORTED 0x01000000u  // a feature the unloader does not handle

// One cluster (file "cluster", from CLU$).
typedef struct __cluster {
    uint32_t flag;          // 0x10000 when CLU$ FLAGS has 0x800000
    uint32_t objn;
    uint32_t objd;
    uint32_t ncol;          // number of key columns
} CLU;
static_assert(sizeof(CLU) == 16);
static_assert(offsetof(CLU, objn) == 4 && offsetof(CLU, objd) == 8 && offsetof(CLU, ncol) == 12);

// One column of a table or cluster (file "col", from COL$).
struct __column {
    uint32_t flag;          // COL_* bits
    uint32_t objn;
    uint32_t cid;           // COL#
    uint32_t scid;          // SEGCOL#, COL_NOT_STORED when SEGCOL# is 0
    uint32_t ctyp;          // TYPE#
    uint32_t clen;          // LENGTH
    char name[32];
};
static_assert(sizeof(COL) == 56);
static_assert(offsetof(COL, objn) == 4 && offsetof(COL, cid) == 8 && offsetof(COL, scid) == 12 &&
              offsetof(COL, ctyp) == 16 && offsetof(COL, clen) == 20 && offsetof(COL, name) == 24);

#define COL_NOT_STORED  0xFFFFu
#define COL_HIDDEN      0x00000001u  // not unloaded (PROPERTY 0x20)
#define COL_HIDDEN2     0x00000002u  // not unloaded (PROPERTY 0x4000)
#define COL_HIDDEN3     0x00000004u  // not unloaded (PROPERTY 0x8000)
#define COL_SKIP_MASK   0x00000007u
#define COL_UNUSED_FLAG 0x00000100u
#define COL_NCHAR       0x00001000u  // national character set (CHARSETFORM 2)
#define COL_CLUKEY      0x00010000u  // read from the cluster key row (load)

// One table partition (file "tabpart") or composite partition ("tabcompart").
struct __tabpart {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // BO#: the partitioned table
    uint32_t oi;            // index of the partition's OBJ record (load)
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
};
static_assert(sizeof(TABPART) == 32);
static_assert(offsetof(TABPART, objn) == 4 && offsetof(TABPART, objd) == 8 && offsetof(TABPART, objp) == 12 &&
              offsetof(TABPART, oi) == 16 && offsetof(TABPART, fno) == 20 && offsetof(TABPART, blk) == 24 &&
              offsetof(TABPART, tsn) == 28);

// One subpartition (file "tabsubpart"); `objp` is the composite partition.
struct __tabsubpart {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // POBJ#
    uint32_t oi;
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
};
static_assert(sizeof(TABSUBPART) == 32);
static_assert(offsetof(TABSUBPART, objn) == 4 && offsetof(TABSUBPART, objd) == 8 &&
              offsetof(TABSUBPART, objp) == 12 && offsetof(TABSUBPART, oi) == 16 &&
              offsetof(TABSUBPART, fno) == 20 && offsetof(TABSUBPART, blk) == 24 &&
              offsetof(TABSUBPART, tsn) == 28);

// One LOB column (file "lob", from LOB$).
struct __lob {
    uint32_t flag;          // 1: FLAGS 0x1000; 2: FLAGS 0x2000, 0x4000 or 0x8000; else 0
    uint32_t objp;          // the table
    uint32_t cid;           // COL#
    uint32_t objn;          // LOBJ#: the LOB segment
    uint32_t indn;          // IND#: key into the "ind" file
    uint32_t chunk;
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
    uint32_t rsv;
};
static_assert(sizeof(LOB) == 40);
static_assert(offsetof(LOB, objp) == 4 && offsetof(LOB, cid) == 8 && offsetof(LOB, objn) == 12 &&
              offsetof(LOB, indn) == 16 && offsetof(LOB, chunk) == 20 && offsetof(LOB, fno) == 24 &&
              offsetof(LOB, blk) == 28 && offsetof(LOB, tsn) == 32 && offsetof(LOB, rsv) == 36);

// One LOB index (file "ind", from the IND$ rows of type 8). `tsn` comes
// before `fno` here, unlike LOB.
struct __lob_index {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // BO#: the indexed table
    uint32_t tsn;
    uint32_t fno;
    uint32_t blk;
    uint32_t rsv;
};
static_assert(sizeof(LOBIDX) == 32);
static_assert(offsetof(LOBIDX, objn) == 4 && offsetof(LOBIDX, objd) == 8 && offsetof(LOBIDX, objp) == 12 &&
              offsetof(LOBIDX, tsn) == 16 && offsetof(LOBIDX, fno) == 20 && offsetof(LOBIDX, blk) == 24 &&
              offsetof(LOBIDX, rsv) == 28);

// One database property (file "props", from PROPS$).
typedef struct __properties {
    char name[32];
    char value[128];        // at most 127 bytes; empty when NULL
} PROPS;
static_assert(sizeof(PROPS) == 160);
static_assert(offsetof(PROPS, value) == 32);

// One row of the bootstrap table, in memory only during "export dict".
typedef struct __bootstrap {
    uint32_t line;          // LINE#
    uint32_t objn;          // OBJ#
    char text[4088];        // SQL_TEXT
} BOOTSTRAP;
static_assert(sizeof(BOOTSTRAP) == 4096);
static_assert(offsetof(BOOTSTRAP, objn) == 4 && offsetof(BOOTSTRAP, text) == 8);

// Dictionary files: "%s/%s.dat" in the dictionary directory.
int write_dict_data(const char *name, void *data, int size);
int read_dict_data(const char *name, void **data, int *size);

// The row decoders of the dictionary tables: the rows of table `tabn` of one
// block into the batch rec[*nrow..]; a full batch of max_rows records is
// appended to the file. cblk is a spare block for rows read by address.
// 0 when the block was handled, -1 when a block read or a batch write failed.
int process_user_block(uint8_t *cblk, uint8_t *blk, USER *usr, int tabn, int max_rows, int *nrow);
int process_ts_block(uint8_t *cblk, uint8_t *blk, TS *ts, int tabn, int max_rows, int *nrow);
int process_obj_block(uint8_t *cblk, uint8_t *blk, OBJ *obj, int tabn, int max_rows, int *nrow);
int process_tab_block(uint8_t *cblk, uint8_t *blk, TAB *tab, int tabn, int max_rows, int *nrow);
int process_clu_block(uint8_t *cblk, uint8_t *blk, CLU *clu, int tabn, int max_rows, int *nrow);
int process_col_block(uint8_t *cblk, uint8_t *blk, COL *col, int tabn, int max_rows, int *nrow);
int process_ind_block(uint8_t *cblk, uint8_t *blk, LOBIDX *idx, int tabn, int max_rows, int *nrow);
int process_lob_block(uint8_t *cblk, uint8_t *blk, LOB *lob, int tabn, int max_rows, int *nrow);
int process_tabpart_block(uint8_t *cblk, uint8_t *blk, TABPART *tp, int tabn, int max_rows, int *nrow);
int process_tabsubpart_block(uint8_t *cblk, uint8_t *blk, TABSUBPART *tsp, int tabn, int max_rows, int *nrow);
int process_tabcompart_block(uint8_t *cblk, uint8_t *blk, TABPART *tcp, int tabn, int max_rows, int *nrow);
int process_props_block(uint8_t *cblk, uint8_t *blk, PROPS *prop, int tabn, int max_rows, int *nrow);
// Full batches of CLU$ and PROPS$ records written (they have no ORXSYS counter).
extern uint32_t g_nclu;
extern uint32_t g_nprops;

// The dictionary tables that "export dict" writes, each declared once: its
// name in the bootstrap rows, its name in progress labels, its file, the
// line a failed batch write prints and the counter of records written. The
// five after DT_IND are found through OBJ$ and TAB$, in the order of the
// entries of sobj/tabn/rdba.
enum DICT_TABLE_ID {
    DT_USER, DT_TS, DT_OBJ, DT_TAB, DT_CLU, DT_COL, DT_IND,
    DT_LOB, DT_TABPART, DT_TABSUBPART, DT_TABCOMPART, DT_PROPS,
    DT_COUNT
};
typedef struct __dict_table {
    const char *table;      // "USER$"
    const char *label;      // "user$"
    const char *file;       // "user": "<dictdir>/user.dat"
    const char *write_msg;  // "write user dictionary data error.\n"
    uint32_t *count;
} DICT_TABLE;
extern const DICT_TABLE dict_tables[DT_COUNT];
// Progress label of one step on one table: the verb padded to six, then the
// table's label ("sort   user$").
void print_table_label(const char *verb, const DICT_TABLE &t);

// Bootstrap and "export dict".
int export_dict_handle(char *args);
int process_bootstrap_block(uint8_t *blk, BOOTSTRAP *bs, int index);
// Upper bound of the rows process_bootstrap_block stores from a block of bsz
// bytes: the caller provides that many records after bs[index].
int bootstrap_block_slots(const uint8_t *blk, size_t bsz);
int get_boot_table_rdba(BOOTSTRAP *bs, int nbr, char *tab_nm, int *tabn, uint32_t *rdba);
int export_user(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_ts(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_obj(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_tab(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_clu(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_col(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_lob_ind(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_lob(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabsubpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabcompart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_props(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
// Compares the segment column numbers that the exported COL$ rows give for
// the columns of COL$ and TABPART$ with the positions the decoders read, and
// warns once per column that differs. Returns the number of warnings.
int check_dict_column_positions();

// Sorting (run by "export dict"); each rewrites its file and sets its counter.
// The five entries of sobj/tabn/rdba are LOB$, TABPART$, TABSUBPART$,
// TABCOMPART$ and PROPS$.
#define DICT_LATE_TABLES 5
int sort_user_by_uid();
int sort_ts_by_tsn();
int sort_obj_by_objn(uint32_t *sobj);
int sort_tab_by_objn(uint32_t *sobj, uint32_t *tabn, uint32_t *rdba);
int sort_col_by_scid();
int sort_lob_index_by_objn();
int sort_lob_by_objn();
int sort_tabpart_by_objp();
int sort_tabsubpart_by_objp();
int sort_tabcompart_by_objp();

// "load dict" and the binary-search lookups over the loaded arrays.
int load_dict_handle(char *args);
int lookup_user(uint32_t uid);
int lookup_obj(uint32_t objn);
int lookup_tab(uint32_t objn);
int lookup_lob(uint32_t objn, uint32_t cid);
int lookup_lob_index(uint32_t objn);

// Progress label of "export dict" and "load dict": ". . " and the text, blanks
// to 23 characters, dots to 64; written to standard error without a line end.
void print_progress_label(const char *text);

// Typed names: upper case unless quoted, at most 31 characters. take_name
// reads one name from the whole text; take_qualified_name cuts the text at
// every '.' into user and table (user left empty when no '.' is given).
void take_name(const char *text, char name[32]);
void take_qualified_name(const char *text, char user[32], char table[32]);

// Users and tables by typed name: the first match in array order, or -1.
// owner_name and object_name give the names of loaded records by index,
// "PUBLIC" for OWNER_PUBLIC and an empty name for an index out of range.
int find_user_by_name(const char *name);
int find_table_by_name(uint32_t ui, const char *name);
const char *owner_name(uint32_t ui);
const char *object_name(uint32_t oi);

// The user, list and desc commands and the column type text.
int set_user_handle(char *args);
int show_user_handle(char *args);
int list_handle(char *args);
int print_file_info();
int print_user_info();
int print_table_info(char *args);
int print_object_info(char *args);
int print_tabpart_info(char *args);
int desc_handle(char *args);
char *type_string(int flag, int ctyp, int clen);

// ---- dictionary: end ----

// ---------------------------------------------------------------------------
// Dump file records.
// ---------------------------------------------------------------------------

// A dump file: the file header (HEAD_INFO, padded to 1024 bytes), the table
// information area (one TAB_INFO per table, padded to a multiple of 512
// bytes), then per table its COL_INFO records, its row stream and DUMP_EOT.
// Every integer in a dump file is big-endian.
#define DUMP_HEAD_SIZE 1024
#define DUMP_MAGIC "kelvo"

// 2-byte words of the row stream; any other word 0x0001..0xFFFA is the length
// of the column value that follows it.
#define DUMP_END   0x0000   // ends a row and a value record
#define DUMP_MAXLEN 0xFFFA  // the longest value an entry can carry
#define DUMP_LONG  0xFFFB   // LONG / LONG RAW: the value follows the row
#define DUMP_LOB   0xFFFC   // CLOB / NCLOB / BLOB: the value follows the row
#define DUMP_VALUE 0xFFFD   // opens a LONG or LOB value record
#define DUMP_NULL  0xFFFE   // the column is NULL
#define DUMP_EOT   0xFFFF   // in place of the next row: no more rows
#define DUMP_PIECE_MAX 32768 // longest piece of a value record

typedef struct __head_info {
    char magic[32];         // "kelvo" and a zero byte
    char owner[32];
    char nls_lang[128];     // language_territory.charset
    char ncharset[64];
    char dbtimezone[64];
    uint32_t tab_cnt;
} HEAD_INFO;
static_assert(sizeof(HEAD_INFO) == 324);
static_assert(offsetof(HEAD_INFO, owner) == 32 && offsetof(HEAD_INFO, nls_lang) == 64);
static_assert(offsetof(HEAD_INFO, ncharset) == 192 && offsetof(HEAD_INFO, dbtimezone) == 256);
static_assert(offsetof(HEAD_INFO, tab_cnt) == 320);

typedef struct __tab_info {
    uint32_t flag;          // 0x1: has a LONG column, 0x2: has LOB columns
    uint32_t ncol;
    uint32_t nlob;
    uint32_t nrows;
    uint64_t offset;        // file offset of the table's COL_INFO records
    char tab_name[32];
} TAB_INFO;
static_assert(sizeof(TAB_INFO) == 56);
static_assert(offsetof(TAB_INFO, nrows) == 12 && offsetof(TAB_INFO, offset) == 16);
static_assert(offsetof(TAB_INFO, tab_name) == 24);

typedef struct __col_info {
    uint32_t flag;          // 0x1: national character set column
    uint32_t ctyp;
    uint32_t clen;
    uint32_t rsv;
    char name[32];
} COL_INFO;
static_assert(sizeof(COL_INFO) == 48);
static_assert(offsetof(COL_INFO, clen) == 8 && offsetof(COL_INFO, name) == 16);

typedef struct __unloader ULDR;

// Size of the table information area for ntab tables.
static inline uint32_t dump_tab_info_size(uint32_t ntab) { return (56u * ntab + 511u) / 512u * 512u; }

int write_blank(int fd, uint64_t sz);
int write_cache(ULDR *ul);
int make_head(void);
int write_head(ULDR *ul, HEAD_INFO *inf);
int write_tab_info(ULDR *ul);

// ---- dump: end ----

// ---------------------------------------------------------------------------
// Unloading (tables, LONG columns, LOBs).
// ---------------------------------------------------------------------------

#define ULDR_CACHE_SIZE (4 * 1024 * 1024)
#define ULDR_LONG_BUF (32 * 1024)
#define ULDR_LOB_BUF (32 * 1024)

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
    int row_bad;            // the current row was cut by a damaged piece
    uint64_t row_ofs;       // dump offset at which the current row starts
    int split;              // the last piece left column curc open (FB_NEXT)
    const uint8_t *ck;      // cluster key columns of the current row, null when none
    const uint8_t *ckend;
    int ckn;                // key columns left in the key row
    int ncolw;              // columns written to the column information
};

int unload_handle(char *args);
int unload_user(char *args);
int unload_table(char *args);
int unload_one_table(ULDR *ul);
int unload_segment(ULDR *ul);
int uldr_layout(ULDR *ul, int bsz);
int process_data_block(ULDR *ul, const uint8_t *blk);
int save_long(ULDR *ul, const uint8_t *data, int dlen, int flush);
int process_long(ULDR *ul);

// ---- LOB columns ----
//
// A LOB column keeps a locator in the row. Its multi-byte fields are
// big-endian, so they are kept as byte arrays and read with get_be16/32.
//
//    0  LOC     common part: length, version, four flag bytes, width, LOB id
//   20  INODE   BasicFile with LOC_INODE: block and byte counts
//   36          inline data, or up to 12 chunk rdbas (4 bytes each)
//   20  SFH     SecureFile (LOC_SECURE): its own inode and payload forms
//
// A row's locators wait in the LOBD slots at ULDR.lobc until the row's end;
// process_lob then appends one LOB value record per slot:
// DUMP_VALUE, the width byte (locator byte 9), 0x00, pieces of at most
// 32768 bytes (2-byte length, data; never empty), DUMP_END.

typedef struct __lob_locator {
    uint8_t tlen[2];        // length of the locator (not used)
    uint8_t ver[2];
    uint8_t flg1;
    uint8_t flg2;           // LOC_INODE: an INODE follows (BasicFile)
    uint8_t flg3;
    uint8_t flg4;           // LOC_SECURE: a SecureFile locator
    uint8_t blen[2];        // bytes per character; blen[1] is the width byte
    uint8_t lobid[10];      // compared as raw unsigned bytes
} LOC;
static_assert(sizeof(LOC) == 20);
static_assert(offsetof(LOC, flg2) == 5 && offsetof(LOC, flg4) == 7 && offsetof(LOC, blen) == 8 &&
              offsetof(LOC, lobid) == 10);
#define LOC_INODE 0x04
#define LOC_SECURE 0x80

// BasicFile inode: in the locator (bytes 20-35) or in the LOB index entry of
// page 0. blks counts full LOB blocks, bytes the bytes of the block after
// them; both big-endian as stored.
typedef struct __lob_inode {
    uint8_t size[2];
    uint8_t flag;
    uint8_t future;
    uint8_t blks[4];
    uint8_t bytes[2];
    uint8_t ver[6];
} INODE;
static_assert(sizeof(INODE) == 16);
static_assert(offsetof(INODE, blks) == 4 && offsetof(INODE, bytes) == 8 && offsetof(INODE, ver) == 10);
#define LOC_INODE_OFFSET 20
#define LOC_DATA_OFFSET 36      // inline data or the chunk rdbas
#define LOC_CHUNKS 12           // chunk rdbas a locator holds
#define LOB_INLINE_MAX 3964     // larger in-row sizes are chunked

// SecureFile part of a locator, at byte 20. Then: byte 26 the inode flags
// (low 4 bits n: the LOB length takes n + 1 bytes; SF_EXTENTS; SF_HEADER),
// byte 27 a count of bytes to skip, from 28 the LOB length, one byte, the
// skipped bytes, the payload.
typedef struct __secure_file_header {
    uint8_t len[2];
    uint8_t oflg;           // SF_INLINE: the data is in the locator
    uint8_t flg0;
} SFH;
static_assert(sizeof(SFH) == 4);
static_assert(offsetof(SFH, oflg) == 2);
#define SF_INLINE 0x08
#define SF_EXTENTS 0x20
#define SF_HEADER 0x40
#define SF_FLAGS_OFFSET 26

// BasicFile LOB data block: the data lies between its 56-byte header and its
// 4-byte tail.
#define LOB_BLOCK_HEAD 56
#define LOB_BLOCK_OVERHEAD 60
// SecureFile data block: the used bytes (uint16 at 124), data from 128.
#define SF_BLOCK_USED 124
#define SF_BLOCK_DATA 128

// LOB header block of a SecureFile (host order): extent count, the itree
// roots of levels 1 to 4, the extent entries (2 bytes, blocks u16, rdba u32).
#define LHB_NEXT 126
#define LHB_ITREE 136
#define LHB_EXTENTS 184
#define SF_EXTENT_SIZE 8
// Itree node: flag byte (ITREE_DATA, ITREE_NODE), level, entry count,
// entries from 112 (level 1: as extent entries; higher: rdba at byte 8 of 12).
#define ITREE_FLAG 82
#define ITREE_DATA 0x20
#define ITREE_NODE 0x40
#define ITREE_LEVEL 102
#define ITREE_COUNT 106
#define ITREE_ENTRIES 112
#define ITREE_BRANCH_SIZE 12

// LOB index blocks (B-tree on (lobid, page number)): KCBH, KTBBH, the ITL
// and EXDATA as in a data block, then XCO, then XBR (branch) or XLE (leaf),
// then kdxconro int16 entry offsets counted from XCO.
typedef struct __index_br_lf_co {
    uint8_t kdxcolev;       // 0 in a leaf
    uint8_t kdxcolok;
    uint8_t kdxcoopc;
    uint8_t kdxconco;
    uint32_t kdxcosdc;
    int16_t kdxconro;       // entries
    int16_t kdxcofbo;
    int16_t kdxcofeo;
    int16_t kdxcoavs;
} XCO;
static_assert(sizeof(XCO) == 16);
static_assert(offsetof(XCO, kdxcosdc) == 4 && offsetof(XCO, kdxconro) == 8 && offsetof(XCO, kdxcoavs) == 14);

typedef struct __kdxbr_info {
    uint32_t kdxbrlmc;      // leftmost child
    int16_t kdxbrsno;
    uint16_t spare;
    uint16_t kdxbrbksz;
    uint16_t kdxbr2urrc;
} XBR;
static_assert(sizeof(XBR) == 12);
static_assert(offsetof(XBR, kdxbrsno) == 4 && offsetof(XBR, kdxbrbksz) == 8);

typedef struct __kdxle_info {
    int16_t kdxlespl;
    int16_t kdxlende;
    uint32_t kdxlenxt;      // next leaf, 0 for none
    uint32_t kdxleprv;
    uint8_t kdxledsz;
    uint8_t kdxleflg;
    uint16_t spare1;
    uint16_t kdxlebksz;
    uint16_t spare2;
} XLE;
static_assert(sizeof(XLE) == 20);
static_assert(offsetof(XLE, kdxlenxt) == 4 && offsetof(XLE, kdxleprv) == 8 && offsetof(XLE, kdxledsz) == 12 &&
              offsetof(XLE, kdxlebksz) == 16);

// Branch entry: child rdba (host order), key column 0 (length byte, lobid),
// key column 1 (length byte, 0xFE for a truncated key whose page counts as
// 0, else the page number big-endian).
#define IXB_LOBID 5
#define IXB_PAGELEN 15
#define IXB_PAGE 16
#define IXB_TRUNCATED 0xFE
// Leaf entry: flag (IXL_DELETED: passed over), lock, 32 data bytes, the
// lobid at 35, the page number big-endian at 46. The data of page 0 is an
// INODE and 4 chunk rdbas, of any other page 8 chunk rdbas.
#define IXL_DELETED 0x01
#define IXL_DATA 2
#define IXL_LOBID 35
#define IXL_PAGE 46
#define IXL_SIZE 50

int process_lob(ULDR *ul);
// The BasicFile and SecureFile readers get the locator's length (llen bytes
// at loc in its slot) and never read past it.
int process_basic_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen);
int read_chunk_data(ULDR *ul, int tsn, uint32_t rdba, int blks, int bytes);
int read_index_chunk(ULDR *ul, LOB *lob, LOC *loc, uint32_t pageno);
int search_index_leaf(ULDR *ul, int tsn, uint32_t rdba, LOC *loc, uint32_t pageno);
int process_secure_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen);
int read_secure_lhb(ULDR *ul, int tsn, uint32_t hdba);
int read_secure_blocks(ULDR *ul, int tsn, uint32_t rdba, int blks);
int read_itree1_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree2_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree3_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree4_chunk(ULDR *ul, int tsn, uint32_t rdba);

// ---- unload: end ----

// ---------------------------------------------------------------------------
// The global context.
// ---------------------------------------------------------------------------
typedef struct __orx_context {
    int fd;                 // dictionary file being written, -1 when none
    CFGPAR par;
    ORXSYS sys;
    uint8_t *wrk;           // the 8 MiB work buffer
    USER *usr;
    TS *ts;
    DATAFILE *df;
    DATAFILE *sysf;         // the datafile with absolute file number 1
    OBJ *obj;
    TAB *tab;
    COL *col;
    TABPART *tp;
    TABPART *tcp;
    TABSUBPART *tsp;
    LOB *lob;
    LOBIDX *lidx;
    void *prsv;
    char cur_usr[32];
} ORXCTX;

extern ORXCTX g_ctx;
extern char g_cfgname[1024];
extern char g_dbfile_list[1024];
