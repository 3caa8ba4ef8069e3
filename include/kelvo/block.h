// Oracle block and row layouts: cache, transaction and data headers, extent
// maps, row pieces and the row walk.
#pragma once

#include <vector>

#include "kelvo/bytes.h"

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
constexpr int BLOCK_TYPE_DATA = 0x06;  // table or cluster data block
constexpr int BLOCK_TYPE_SEGHDR_FL = 0x10;  // segment header, free-list managed segment
constexpr int BLOCK_TYPE_EXTMAP_FL = 0x12;  // further extent map block, free-list segment
constexpr int BLOCK_TYPE_SEGHDR_ASSM = 0x23;  // segment header, automatically managed segment
constexpr int BLOCK_TYPE_EXTMAP_ASSM = 0x24;  // further extent map block, automatic segment
constexpr int BLOCK_TYPE_SEGHDR_FLG = 0x11;  // segment header with free list groups (not read)

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
constexpr int DF_BLK0_OFFSET = 20;
// The platform word of block 0 is the constant 0x7A7B7C7D written in the
// platform's own byte order: a big-endian file holds these bytes in this
// order at offset 28, a little-endian file holds them reversed.
constexpr uint8_t DF_BIG_ENDIAN_MARK[4] = {0x7A, 0x7B, 0x7C, 0x7D};

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
constexpr int KTBBH_OFFSET = 20;
// ktbbhtyp: the kind of block the transaction header heads.
constexpr uint8_t KTBBH_TYPE_DATA = 1;   // table or cluster rows
constexpr uint8_t KTBBH_TYPE_INDEX = 2;  // index entries
constexpr int KTBBH_EXDATA = 0x20;

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
constexpr int KTBIT_OFFSET = 44;

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
// kdbhflag: the block belongs to a compressed table (its rows refer to a
// symbol table; the unloader does not decode them).
constexpr uint8_t KDBH_COMPRESSED = 0x40;

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

constexpr int MAPHDR_OFFSET_SEGHDR_FL = 92;
constexpr int MAPHDR_OFFSET_SEGHDR_ASSM = 264;
constexpr int MAPHDR_OFFSET_EXTMAP = 20;

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
constexpr int COLLEN_NULL = 0xFF;
constexpr int COLLEN_LONG = 0xFE;

// Fixed header of a cluster key row: its first key column starts here.
constexpr int CLUSTER_KEY_HDR = 19;
// Bytes of a rowid inside a row piece: rdba (4) and slot (2), big-endian.
constexpr int ROWID_SIZE = 6;

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

// Extent control header of a segment header (both kinds): the segment's
// extent and block counts and its high-water mark, the rdba of the first
// block never used for rows.
constexpr int SEGHDR_NEXTS_OFFSET = 24;
constexpr int SEGHDR_NBLKS_OFFSET = 28;
constexpr int SEGHDR_HWM_OFFSET = 44;

// ---- The segment walk (segment_walk.cpp) ----
//
// Every block of a segment in map order: the segment header, its extents,
// and the extent map blocks chained after it. Every block is read checked;
// a block that cannot be used is reported once and handed to `lost`, and the
// walk goes on. Map blocks already visited end the chain; an extent listed
// twice or overlapping another is read once; an extent running past the end
// of its file is read up to the end. When the segment header cannot be used
// and objd is set, the datafiles of the tablespace are scanned for data
// blocks of that data object instead, in file order.
typedef struct __datafile DATAFILE;
typedef struct __segment_walk SEGWALK;
constexpr int SEGWALK_MAP_BROKEN = 100;
struct __segment_walk {
    int tsn;                // tablespace of the segment
    uint32_t hdba;          // rdba of the segment header
    uint32_t objd;          // data object number for the fallback scan, 0: no scan
    uint8_t *hblk;          // room for one block: the map block being read
    uint8_t *area;          // room for area_blks blocks of the extents
    int area_blks;
    int bsz;                // block size of the segment's datafiles
    DATAFILE *only;         // when set, every block is read from this file (the dictionary's SYSTEM file)
    // A usable block; a non-zero result ends the walk with it.
    int (*visit)(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint8_t *blk);
    // n blocks from rdba that are lost to `fault` (a BLOCK_* fault, reported
    // already; df may be null when no datafile holds them), or, with fault
    // SEGWALK_MAP_BROKEN, the map chain broken at map block rdba with n
    // extents not known.
    void (*lost)(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint32_t n, int fault);
    void *arg;              // the caller's record
    int scanned;            // set when the fallback scan replaced the map
    const char *name;       // the table, for messages (may be null)
    // Blocks of the extents read, by their place in map order (the first
    // extent's first block is 0): [blk_from, blk_to); blk_to 0: all. The
    // others are only passed over (one worker of a parallel unload reads a
    // range of a segment whose map is plain).
    uint64_t blk_from, blk_to;
};
// Returns 0 when every reachable block was visited (losses are counted by
// `lost`), the visitor's non-zero result, or -1 when the segment header
// cannot be used and there is no scan to fall back on, or the walk cannot
// start (one message). A segment header with free list groups (type 0x11)
// is refused with one message and no scan: its layout is not known.
int walk_segment(SEGWALK *w);
// Every data block of the datafiles of tablespace w->tsn (those of block
// size w->bsz), in file order, that `want` takes (it sees the block's bytes
// before any check: a damaged block it takes is reported and handed to
// `lost`), handed to `visit`; map and header fields of w are not used.
// Returns 0, the visitor's non-zero result, or -1 when there is no room.
int scan_tablespace_blocks(SEGWALK *w, bool (*want)(SEGWALK *w, uint32_t rdba, const uint8_t *blk));
// The extent lengths of the segment at w->hdba, in map order, when its
// header and every map block read cleanly and every extent lies, without
// overlap, inside a datafile of the walk's block size: a walk limited to
// some of its blocks then meets exactly what the whole walk meets there.
// False (lens unspecified) when anything about the map is unusual. Reads
// the map blocks into w->hblk; prints nothing.
bool plain_extents(SEGWALK *w, std::vector<uint32_t> *lens);

// kdbhflag 0x40: the data header is extended (a compressed block).
constexpr int KDBH_EXTENDED = 0x40;

// Whether a block must not be read as plain rows because it holds
// compressed ones (compressed_block.cpp): a table data block whose kdbhflag
// has KDBH_EXTENDED (BASIC/OLTP compression, or a hybrid columnar unit), or,
// for a table outside a cluster (clustered false), one whose table
// directory lists more than one table. Returns 1 for such a block, with
// the rows it holds in *rows (-1 when they cannot be counted: a columnar
// unit, or no table directory found), else 0. Prints nothing.
int compressed_block(const uint8_t *blk, size_t bsz, bool clustered, int *rows);

// Offset of KDBH in a table data block of bsz bytes:
//   44 + 24 * (ktbbhict & 0xFF), plus 8 + (exflg & 0xFFFF) with KTBBH_EXDATA.
// Returns -1 when the ITL, the extra data or KDBH itself would lie beyond
// the block. The block type is not looked at.
int data_header_offset(const uint8_t *blk, size_t bsz);

// Whether the transaction and data headers of a table data block look like
// ones: a data or index transaction header type, an ITL, and a table
// directory of 1 to 127 entries inside the block. Prints nothing.
bool data_header_parses(const uint8_t *blk, size_t bsz);

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

// The same without any message: for pieces that may well be damaged (the
// deleted rows of a table), whose faults are counted, not reported.
int find_row_piece(const DATABLK *db, int t, int i, ROWPIECE *rp);

// Header layout options of parse_row_piece.
constexpr int RP_CLUSTERED = 0x1;  // piece of a clustered table (directory index > 0)
constexpr int RP_HEAD_EXTRA = 0x2;  // table whose head pieces carry 6 more header bytes
constexpr int RP_QUIET = 0x4;  // no message when the header runs past the block

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
// With `deleted` set after row_walk_start it yields the deleted head pieces
// instead, and passes over the live ones.
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
    bool deleted;           // yield deleted head pieces, not live ones (false after row_walk_start)
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
// The same conversion at 64 bits, for the flag columns that grew past 32 bits
// (COL$ PROPERTY from 12c on); 0 for what ora_number_to_int gives -1.
uint64_t ora_number_to_u64(const uint8_t *p, int len);
