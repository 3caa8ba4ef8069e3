// kbuild: the test database builder.
//
// Writes Oracle-format datafiles of a little-endian platform, byte by byte,
// with the structures a test or a benchmark needs: block 0 and the datafile
// header, segment headers with their extent maps, extent map blocks, table and
// cluster data blocks with row pieces of every kind, and (through the
// dictionary description) a whole SYSTEM datafile with the bootstrap table and
// the dictionary tables. Every block it writes carries a correct check value.
//
// The builder knows nothing of the reader's code: every layout is encoded here
// from the documented block formats, so that a misreading on one side shows up
// as a failing test on the other.
//
// Conventions:
//  - Multi-byte fields of block structures are little-endian; rowids inside
//    row pieces are big-endian.
//  - Functions that touch files return 0 (or a count) on success and -1 after
//    one line on stderr; pure encoders return their result.
//  - A block number is the number within its file (block 1 is the datafile
//    header); an rdba is the 32-bit block address (relative file number in the
//    top 10 bits, block number in the low 22; a bigfile uses all 32 bits for
//    the block number).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kb {

// ===========================================================================
// Bytes, check values and value encodings
// ===========================================================================

void put_le16(uint8_t *p, uint16_t v);
void put_le32(uint8_t *p, uint32_t v);
void put_be16(uint8_t *p, uint16_t v);
void put_be32(uint8_t *p, uint32_t v);
uint16_t read_le16(const uint8_t *p);
uint32_t read_le32(const uint8_t *p);

// XOR of all 16-bit little-endian words of the n bytes at p (n even).
uint16_t block_xor(const uint8_t *p, size_t n);
// Stores at offset 16 the value that makes the XOR of all words of the block 0.
void fix_check(uint8_t *blk, size_t n);
// True when the XOR of all words of the block (stored check value included) is 0.
bool check_ok(const uint8_t *blk, size_t n);

// rdba of block `blk` in relative file `rfn` (smallfile form).
inline uint32_t rdba(uint32_t rfn, uint32_t blk) { return (rfn << 22) | (blk & 0x3FFFFF); }

// Oracle NUMBER: exponent byte and base-100 digits. From an integer, and from a
// decimal text ("-12.5", "0.001"; at most 40 significant digits). The text
// form returns an empty vector for malformed text.
std::vector<uint8_t> ora_number(int64_t v);
std::vector<uint8_t> ora_number(const std::string &decimal);
// DATE: 7 bytes (century+100, year+100, month, day, hour+1, minute+1, second+1).
std::vector<uint8_t> ora_date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Bytes of a text value (no terminator).
std::vector<uint8_t> ora_text(const std::string &s);

// ===========================================================================
// Datafiles
// ===========================================================================

struct FileDesc {
    uint32_t fno = 1;            // absolute file number (kccfhfno)
    uint32_t rfn = 1;            // relative file number (kcvfhrfn); forced to 1024 for a bigfile
    uint32_t tsn = 0;            // tablespace number (kcvfhtsn)
    uint32_t blocks = 64;        // size in blocks (kccfhfsz): blocks 1..blocks follow block 0
    uint32_t bsz = 8192;         // block size, 2048..32768, a power of two
    uint32_t blk0_sz = 0;        // size of block 0; 0 means bsz
    uint32_t rootdba = 0;        // bootstrap segment header address (file 1)
    bool bigfile = false;        // bigfile tablespace: rfn 1024, 32-bit block numbers
    uint32_t platform = 0x7A7B7C7D; // block 0 word at offset 28
    std::string tsname = "SYSTEM";  // kcvfhtnm
    uint32_t dbid = 0x4B4C564F;
    std::string dbname = "KELVO";
};

// An open datafile being written. Move-only; closes its descriptor when
// destroyed.
struct Datafile {
    int fd = -1;
    FileDesc d;
    std::string path;
    Datafile() = default;
    Datafile(const Datafile &) = delete;
    Datafile &operator=(const Datafile &) = delete;
    Datafile(Datafile &&o) noexcept;
    Datafile &operator=(Datafile &&o) noexcept;
    ~Datafile();
    // Byte offset of block b: blk0_sz + bsz * (b - 1); block 0 is at 0.
    uint64_t offset(uint32_t b) const;
    // rdba of block b of this file (the block number itself for a bigfile).
    uint32_t rdba_of(uint32_t b) const;
    // Block number addressed by an rdba of this file.
    uint32_t block_of(uint32_t rdba) const;
};

// Creates (truncates) `path`, writes block 0 and the datafile header and sets
// the file length to blk0_sz + bsz * blocks, so unwritten blocks read as
// zeros (a sparse file). Blocks beyond 4 GiB are reached with 64-bit offsets.
int df_create(Datafile &df, const std::string &path, const FileDesc &d);
// Writes the 20-byte cache header of a block and its 4-byte tail: type, format
// 0xA2, rdba, SCN base, sequence 1, flag 0x04 (has a check value). The rest of
// the block is left as it is.
void init_block(uint8_t *blk, uint32_t bsz, uint8_t type, uint32_t rdba, uint32_t scn = 0x1000);
// Block 0 and the datafile header block images for a description.
void make_block0(uint8_t *blk0, const FileDesc &d);
void make_file_header(uint8_t *blk, const FileDesc &d);
// Fixes the check value of the block (bsz bytes) and writes it at block b.
int df_write_block(Datafile &df, uint32_t b, uint8_t *blk);
// Writes the block exactly as given (no check value fix: for corrupt blocks).
int df_write_raw(Datafile &df, uint32_t b, const uint8_t *blk, size_t n);
// Reads block b (bsz bytes).
int df_read_block(Datafile &df, uint32_t b, uint8_t *blk);
// Rewrites the datafile header with a new root address.
int df_set_root(Datafile &df, uint32_t rootdba);
// Grows the file to `blocks` blocks (never shrinks); headers are rewritten by df_finish.
int df_grow(Datafile &df, uint32_t blocks);
// Rewrites block 0 and the datafile header from the description (size and
// root address as they are now) and closes the file.
int df_finish(Datafile &df);
int df_close(Datafile &df);

// For tests that damage a finished datafile: read block b of the file at
// `path` (its geometry taken from its own block 0 and header), and write
// `bytes` at `offset` into block b, fixing the block's check value
// afterwards when `fix` is set (so that only the intended damage remains).
int read_file_block(const std::string &path, uint32_t b, std::vector<uint8_t> &blk);
int patch_block(const std::string &path, uint32_t b, size_t offset, const std::vector<uint8_t> &bytes, bool fix);

// Writes a datafile of `mib` MiB (block 0 included) of valid table data
// blocks with rows, check values correct, in large writes. Returns 0 or -1.
int make_big_file(const std::string &path, uint64_t mib, uint32_t bsz = 8192, uint32_t fno = 5,
                  uint32_t tsn = 4);

// ===========================================================================
// Row pieces and data blocks (low level)
// ===========================================================================

// Row-piece flag bits.
enum : uint8_t {
    FB_KEY = 0x80, FB_CLUSTER = 0x40, FB_HEAD = 0x20, FB_DELETED = 0x10,
    FB_FIRST = 0x08, FB_LAST = 0x04, FB_PREV = 0x02, FB_NEXT = 0x01,
};

// One stored column: NULL, or bytes. `long_form` forces the 0xFE length form
// (used automatically above 250 bytes).
struct Col {
    bool null = false;
    bool long_form = false;
    std::vector<uint8_t> data;
    int lob = -1;             // >= 0: a reference to the table's lob_values[lob], replaced by the
                              // value's locator when the database is written (see col_lob)
};
Col col_null();
Col col_bytes(std::vector<uint8_t> b);
Col col_num(int64_t v);
Col col_str(const std::string &s);

// Column length encoding of one column.
void encode_col(std::vector<uint8_t> &out, const Col &c);

struct RowId {
    uint32_t dba = 0;
    uint16_t slot = 0;
};

// A row piece, written in this order: flag, lock, column count, cluster key
// index (when cki >= 0), 6 extra header bytes (when extra6), head rowid (when
// has_hrid), next rowid (when has_nrid), then the columns. `cc` < 0 means the
// number of columns given.
struct Piece {
    uint8_t fb = FB_HEAD | FB_FIRST | FB_LAST;
    uint8_t lb = 0;
    int cc = -1;
    int cki = -1;
    bool extra6 = false;
    bool has_hrid = false;
    RowId hrid;
    bool has_nrid = false;
    RowId nrid;
    std::vector<Col> cols;
};
std::vector<uint8_t> encode_piece(const Piece &p);
size_t piece_size(const Piece &p);

// A cluster key row: flag 0xAC (key, head, first, last), lock, column count,
// 16 header bytes (two 16-bit counts and the previous and next key rowids),
// then the key columns. Its first key column starts 19 bytes in.
std::vector<uint8_t> encode_key_row(const std::vector<Col> &key, uint16_t nrows, RowId prev, RowId next,
                                    uint8_t fb = FB_KEY | FB_HEAD | FB_FIRST | FB_LAST);

// One row-directory slot: the exact bytes of a piece, or a free slot.
struct Slot {
    bool free = false;
    std::vector<uint8_t> bytes;
};

// A table or cluster data block (type 0x06).
struct DataBlock {
    uint32_t objd = 0;          // ktbbhod1
    int itl = 2;                // ITL entries (low byte of ktbbhict)
    uint16_t ict_high = 0;      // high byte of ktbbhict (ignored by readers)
    bool assm = false;          // ktbbhflg 0x20 and an EXDATA area
    uint16_t ex_extra = 0;      // bytes after the 8-byte EXDATA area (low 16 bits of exflg)
    uint16_t ex_high = 0;       // high 16 bits of exflg
    int8_t ntab_override = 0;   // when not 0, the kdbhntab written (directory entries stay as given)
    // Slots per table directory entry; entry 0 holds cluster key rows in a
    // cluster block. Slots of table t follow those of table t-1.
    std::vector<std::vector<Slot>> tables;
};

// Where the pieces went: block offset of each slot's bytes (-1 for a free
// slot), and the data header offset.
struct BlockMap {
    int kdbh = 0;
    std::vector<std::vector<int>> slot_off;   // [table][slot]
    int first_slot(size_t t) const;           // row-directory index of the table's first slot
};

// Data header offset for ITL count and extra area.
int data_header_offset(int itl, bool assm, uint16_t ex_extra);
// Bytes of free space left in a block laid out with these slots (negative
// when they do not fit).
int block_free_space(const DataBlock &b, uint32_t bsz);
// Composes the block image (cache header included; check value fixed) at
// `out` (bsz bytes). Row pieces are packed from the end of the block down.
// Free slots are chained in ascending order from kdbhfrre (-1 when none).
// Returns -1 when the slots do not fit.
int compose_data_block(const DataBlock &b, uint32_t bsz, uint32_t rdba, uint8_t *out, BlockMap *map = nullptr);

// ===========================================================================
// Segments
// ===========================================================================

struct Extent {
    uint32_t dba = 0;   // rdba of the first block
    uint32_t len = 0;   // blocks
};

// A segment's space: header block, extents and the extent map blocks that
// continue the header's map.
struct Segment {
    uint8_t kind = 0x10;            // 0x10 free-list header (map at 92) or 0x23 automatic (map at 264)
    uint32_t objd = 0;
    uint32_t hdr = 0;               // rdba of the segment header
    std::vector<Extent> extents;
    int hdr_max = 0;                // extent entries in the header; 0: as many as fit
    int map_max = 0;                // extent entries per map block; 0: as many as fit
    std::vector<uint32_t> maps;     // rdbas of the extent map blocks (filled by plan_segment)
    std::vector<uint32_t> data;     // rdbas of the blocks free for rows, in walk order
};

// Lays out a segment in datafile `df` from block `first` on: extents of the
// given lengths placed one after another. For kind 0x23 the first extent
// starts with a level-1 and a level-2 bitmap block, then the header; for 0x10
// the header is the first block. When the extents need more map entries than
// the header holds, further map blocks are taken from the first block of the
// extent that begins each map. Returns the next free block after the segment.
uint32_t plan_segment(Segment &s, const Datafile &df, uint32_t first, const std::vector<uint32_t> &ext_lens);
// Writes the segment header, bitmap blocks (0x23) and extent map blocks.
int write_segment_meta(Datafile &df, const Segment &s);
// Block image of the segment header or of extent map block i (0-based) alone.
void make_segment_header(uint8_t *blk, uint32_t bsz, const Segment &s);
void make_map_block(uint8_t *blk, uint32_t bsz, const Segment &s, size_t i);
// Extent entries a header of this kind, or a map block, holds in a block.
int header_capacity(uint8_t kind, uint32_t bsz);
int map_capacity(uint32_t bsz);

// ===========================================================================
// Tables of logical rows (high level)
// ===========================================================================

// How one logical row is stored.
enum class RowLayout {
    Normal,     // one piece; chained over blocks only when it does not fit
    Migrated,   // a head stub here, the whole row in a later block
    Chained,    // split into pieces at `cuts` (column indexes; a column cut in
                // two when `split_bytes` > 0 for that cut)
    Deleted,    // a deleted head piece
    FreeSlot,   // an empty row-directory slot on the free-slot list
};

struct Cut {
    size_t col = 0;          // the next piece starts with this column ...
    size_t split_bytes = 0;  // ... after its first split_bytes bytes stay in this piece (0: whole column moves)
};

struct LogicalRow {
    std::vector<Col> cols;   // stored columns in segment order; trailing NULLs are not stored
    RowLayout layout = RowLayout::Normal;
    std::vector<Cut> cuts;   // Chained only
    bool keep_trailing_nulls = false;
};

// Block options of a table's data blocks.
struct BlockOpts {
    int itl = 2;
    bool assm = false;
    uint16_t ex_extra = 0;
    int pctfree = 10;        // percent of the block kept free when packing rows
    int max_rows = 0;        // at most this many slots per block (0: no limit)
    bool extra6 = false;     // every head piece carries 6 extra header bytes
};

// Where each logical row's head piece ended up.
struct RowPlace {
    uint32_t dba = 0;
    int slot = -1;           // within the table's slots
};

// One table of a cluster, with its rows grouped by cluster key.
struct ClusterMember {
    std::vector<LogicalRow> rows;   // non-key columns only
    std::vector<size_t> key_of;     // key index of each row
    bool extra6 = false;
};

// Writes the rows of a heap table into the data blocks of the segment (and
// the segment metadata). Fails when the rows do not fit the segment's data
// blocks. `places` (optional) gets one entry per row.
// Returns -2 (no message) when the rows need more data blocks than the
// segment has; nothing is written then. With dry_run, nothing is written at
// all: the result says whether the rows fit.
int write_heap_table(Datafile &df, const Segment &s, const std::vector<LogicalRow> &rows, const BlockOpts &o,
                     std::vector<RowPlace> *places = nullptr, bool dry_run = false);
// Writes a cluster: for each key in order, its key row and the rows of every
// member table with that key; a key whose rows do not fit one block is
// repeated in the next block. Member m is table directory entry m + 1.
int write_cluster(Datafile &df, const Segment &s, const std::vector<std::vector<Col>> &keys,
                  const std::vector<ClusterMember> &members, const BlockOpts &o,
                  std::vector<std::vector<RowPlace>> *places = nullptr, bool dry_run = false);

// ===========================================================================
// LOB values and LOB storage
// ===========================================================================
//
// LOB values described logically (their bytes and the form Oracle would keep
// them in). A table's LOB values live in DbTable::lob_values; a row names one
// with col_lob(i) in the LOB column's place, and build_database writes the
// value into the column's LOB segment (and LOB index) before it writes the
// rows, replacing the reference by the locator bytes. The writers are in
// lob_*.cpp; lobs.h is their interface with the database writer.

// How one LOB value is stored.
enum class LobForm {
    // BasicFile
    BasicInline,     // locator with inode, data inline after it (at most 3964 bytes; 0 bytes allowed)
    BasicChunks,     // locator with inode and up to 12 chunk addresses; chunks from the 13th on
                     // through the LOB index entries of pages 12, 20, 28, ... (a value of at most
                     // 3964 bytes is kept inline: with blks 0 it would read back as inline data)
    BasicIndexOnly,  // locator without inode: the inode and every chunk address through the LOB
                     // index (page 0 entry: inode and 4 chunks; then pages 4, 12, 20, ... with 8)
    // SecureFile (locator byte 7 bit 0x80)
    SecureInline,    // data inline in the locator
    SecureExtents,   // extent list in the locator
    SecureHeader,    // locator names a LOB header block: extents in it, then an itree
    SecureEmpty,     // locator with none of the three forms (an empty value)
};
inline bool is_secure(LobForm f)
{
    return f == LobForm::SecureInline || f == LobForm::SecureExtents || f == LobForm::SecureHeader ||
           f == LobForm::SecureEmpty;
}

struct LobValue {
    std::vector<uint8_t> data;     // the bytes as stored (a CLOB of an AL32UTF8 database and every
                                   // NCLOB: AL16UTF16, two bytes per character)
    int width = 1;                 // bytes per character (locator byte 9): 1 BLOB, 2 AL16UTF16 CLOB/NCLOB
    LobForm form = LobForm::BasicChunks;

    // SecureFile shapes
    int len_bytes = 0;             // size of the LOB length field, 1..8 bytes; 0: the fewest that hold it
    int skip = 0;                  // flg2: bytes between the length field (and its one skipped byte)
                                   // and the payload
    uint32_t extent_blocks = 8;    // blocks per LOB extent (the last one shorter); 0 blocks makes one
                                   // extent entry of 0 blocks ahead of the others (of 8 blocks each)
    uint32_t block_fill = 0;       // data bytes kept in each SecureFile data block (0: bsz - 128)
    int hdr_extents = -1;          // SecureHeader: extents listed in the header block itself (-1: all
                                   // that fit); the rest go under the itree
    int itree_level = 1;           // SecureHeader: deepest itree level (1 to 4). The extents left over
                                   // from the header fill a level-1 tree, then a level-2 tree, ... up
                                   // to this level, one tree per header slot, each as full as its
                                   // fanout allows while every deeper tree keeps at least one extent
    int itree_fanout = 0;          // entries per itree node (0: as many as fit the block)
    bool itree_data_block = false; // SecureHeader: the level-1 slot names one SecureFile data block
                                   // that holds the data (no extents, no itree nodes)
};

// A BLOB of these bytes; a CLOB or NCLOB of UTF-8 text stored as AL16UTF16
// (characters above U+FFFF as surrogate pairs).
LobValue lob_blob(std::vector<uint8_t> bytes, LobForm form = LobForm::BasicChunks);
LobValue lob_clob(const std::string &utf8, LobForm form = LobForm::BasicChunks);
// A LOB column's place in a row: the table's lob_values[i].
Col col_lob(size_t i);

// Storage shape of one LOB column (kept in DbLob::shape).
struct LobShape {
    int leaf_max = 0;              // LOB index entries per leaf (0: as many as fit; with dead_entries at
                                   // least 2, and one more where a deleted entry joins its live twin)
    int branch_max = 0;            // separators per branch block (0: as many as fit; at least 2)
    bool truncate_keys = true;     // a separator whose LOB id alone tells the children apart is stored
                                   // truncated (key column 1 length 0xFE, no page number)
    bool scatter = true;           // the chunks and extents of a value are placed out of address
                                   // order, so that a reader must follow every address
    bool dead_entries = false;     // the index leaves also hold deleted entries (flag bit 0x01) of
                                   // stale versions, which a reader must pass over
    std::string tablespace;        // tablespace of the LOB and LOB index segments; empty: the table's
};

// Oracle's BasicFile LOB data block: 56-byte header, then bsz - 60 data bytes.
inline uint32_t basic_block_data(uint32_t bsz) { return bsz - 60; }
// SecureFile data block: 128-byte header, data from 128 (bsz - 128 at most).
inline uint32_t secure_block_data(uint32_t bsz) { return bsz - 128; }

// ===========================================================================
// A whole database from a description (the SYSTEM datafile with the
// bootstrap table and the dictionary, and the user segments)
// ===========================================================================
//
// Fill a Database (start from standard_database(), which holds the SYS and
// PUBLIC accounts, the usual tablespaces and database properties), add
// users, tablespaces, clusters and tables with their rows, and call
// build_database. Object numbers left 0 are assigned; the segment addresses
// and table numbers are filled in (the "out" fields), and the description
// then holds, besides what was given, the dictionary's own tables, clusters
// and indexes (owner SYS), so that expected dictionary contents can be
// computed from it alone.
//
// The SYSTEM datafile holds, in the shapes Oracle writes them:
//  - BOOTSTRAP$ in its own segment, whose header the datafile header names;
//    its rows are "CREATE TABLE ..." / "CREATE CLUSTER ..." / "CREATE INDEX
//    ..." texts with "STORAGE (  ... OBJNO n EXTENTS (FILE f BLOCK b))" for
//    objects with their own segment and "STORAGE (  OBJNO n TABNO t) CLUSTER
//    C_NAME#(...)" for clustered tables, plus deleted stale rows;
//  - the clusters C_USER# (USER$ 1, TSQ$ 2), C_TS# (TS$ 1, FET$ 2) and C_OBJ#
//    (TAB$ 1, CLU$ 2, IND$ 3 keyed by BO#, ICOL$ 4, COL$ 5, LOB$ 6);
//  - OBJ$, TABPART$, TABSUBPART$, TABCOMPART$ and PROPS$ in their own
//    segments; every column at its Oracle position, trailing NULLs not stored.
//  The shape options add deleted rows, free slots and migrated rows, and
//  extent maps continued in map blocks.

struct DbColumn {
    std::string name;
    int type = 1;             // TYPE#: 1 VARCHAR2, 2 NUMBER, 8 LONG, 12 DATE, 23 RAW, 24 LONG RAW,
                              // 96 CHAR, 112 CLOB/NCLOB, 113 BLOB, 180 TIMESTAMP, ...
    int length = 0;           // LENGTH; 0: the type's own (NUMBER 22, DATE 7, LOB 4000, ...)
    int precision = -1;       // PRECISION#, NULL when < 0
    int scale = -1;           // SCALE, NULL when < 0
    bool nullable = true;
    uint32_t property = 0;    // COL$ PROPERTY (0x20 hidden, 0x4000 / 0x8000 / ... )
    int charsetform = -1;     // -1: 1 for character types, 0 otherwise; 2 for national types
    int segcol = -1;          // SEGCOL#; -1: assigned (cluster key columns first); 0: not stored
    std::string default_text; // DEFAULT$ (a LONG); empty: NULL
    // out:
    int colno = 0;            // COL#
};

// Extents of a segment the builder sizes itself.
struct SegOpts {
    int ext_blocks = 8;       // blocks per extent
    int hdr_max = 0;          // extent entries kept in the header (0: as many as fit)
    int map_max = 0;          // extent entries per map block (0: as many as fit)
};

struct DbLob {
    std::string column;       // the LOB column of the table
    uint32_t flags = 0;       // LOB$ FLAGS
    uint32_t property = 0;    // LOB$ PROPERTY
    int chunk = 1;            // CHUNK: blocks per BasicFile chunk
    LobShape shape;           // how the LOB and LOB index segments are laid out
    // out:
    uint32_t lobj = 0, ind = 0;        // object numbers of the LOB segment and of its index
    uint32_t tsn = 0, fno = 0, blk = 0;  // LOB segment header
    uint32_t ind_fno = 0, ind_blk = 0;   // LOB index segment header
    int colno = 0;
};

struct DbPart {
    std::string name;
    uint32_t objn = 0, objd = 0;
    std::string tablespace;          // empty: the table's
    std::string hibound = "MAXVALUE";
    std::vector<LogicalRow> rows;    // a partition's (or subpartition's) rows
    std::vector<DbPart> subparts;    // composite partition: its subpartitions (no segment of its own)
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;
    std::vector<RowPlace> places;    // head piece of each row
};

struct DbTable {
    std::string owner, name;
    uint32_t objn = 0, objd = 0;     // 0: assigned (objd = objn; a clustered table: the cluster's)
    std::string tablespace = "USERS";
    std::vector<DbColumn> cols;      // in COL# order
    std::string cluster;             // the cluster holding the table; empty: none
    std::vector<std::string> cluster_cols;  // its columns forming the cluster key, in key order
    std::vector<LogicalRow> rows;    // stored columns in segment order (clustered: the non-key ones)
    std::vector<size_t> row_keys;    // clustered: the cluster key (index into DbCluster::keys) of each row
    std::vector<DbPart> parts;       // partitions (the table itself then has no segment)
    bool composite = false;          // parts are composite partitions with subparts
    std::vector<DbLob> lobs;
    std::vector<LobValue> lob_values; // the values rows name with col_lob(i), in any LOB column
    uint32_t tab_flags = 0x40000001; // TAB$ FLAGS (0x800000: rows carry 6 more header bytes)
    uint32_t property = 0;           // TAB$ PROPERTY bits added to those the layout implies
    uint32_t obj_flags = 0;          // OBJ$ FLAGS (0x80 dropped, 0x2 temporary)
    bool no_segment = false;         // FILE# and BLOCK# 0
    uint8_t seg_kind = 0x23;
    BlockOpts opts;
    SegOpts seg;                     // also for the partitions, LOB and LOB index segments
    bool system = false;             // a dictionary table (rows written by the builder)
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;  // segment header (a clustered table: the cluster's)
    uint32_t tabn = 0;                   // TAB# in the cluster, 0 when not clustered
    uint32_t prop_out = 0;               // the PROPERTY written
    std::vector<RowPlace> places;        // head piece of each row (not partitioned)
};

struct DbCluster {
    std::string owner, name;
    uint32_t objn = 0, objd = 0;
    std::string tablespace = "USERS";
    std::vector<DbColumn> key;           // key columns
    std::vector<std::vector<Col>> keys;  // key values (user clusters)
    uint32_t flags = 0;                  // CLU$ FLAGS (0x800000: rows carry 6 more header bytes)
    uint8_t seg_kind = 0x23;
    BlockOpts opts;
    SegOpts seg;
    bool system = false;
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;
};

struct DbIndex {                         // IND$ rows: LOB indexes and the dictionary's own indexes
    std::string owner, name, table;
    uint32_t objn = 0, bo = 0;           // BO#: object number of the indexed table or cluster
    int type = 1;                        // IND$ TYPE#: 1 normal, 3 cluster, 8 LOB
    uint32_t tsn = 0, fno = 0, blk = 0;
};

struct DbUser {
    std::string name;
    uint32_t uid = 0;
    int type = 1;                        // 1 user, 0 role
    std::string dts = "USERS", tts = "TEMP";
    uint32_t astatus = 0;
};

struct DbFile {
    uint32_t fno = 0, rfn = 0;           // rfn 0: fno
    uint32_t blocks = 2560;
    bool bigfile = false;
    uint32_t blk0_sz = 0;
    std::string name;                    // file name in the database directory; empty: derived
    // out:
    std::string path;
};

struct DbTablespace {
    std::string name;
    uint32_t tsn = 0;
    int contents = 0;                    // 0 permanent, 1 temporary
    std::vector<DbFile> files;           // none for a temporary tablespace
    uint32_t bsz = 0;                    // block size of its datafiles; 0: the database's
};

struct DbProp {
    std::string name, value, comment;
    bool null_value = false, null_comment = true;
};

struct DbObject {                        // one OBJ$ row as written
    uint32_t objn = 0, objd = 0, owner = 0;
    std::string name, subname;
    int type = 0;                        // TYPE#: 1 index, 2 table, 3 cluster, 19 partition, 21 LOB, 34 subpartition
    uint32_t flags = 0;
    bool null_objd = false;
};

struct BootRow {
    int line = 0;
    int objn = 0;
    std::string text;
    bool deleted = false;
};

// Shape of the dictionary's own storage.
struct DictShape {
    bool deleted_rows = true;   // deleted rows in OBJ$, in C_OBJ# (COL$ and TAB$) and stale bootstrap rows
    bool free_slots = true;     // free row-directory slots in OBJ$ and C_OBJ#
    int migrate_every = 5;      // every n-th OBJ$, TAB$, COL$ and USER$ row is a migrated row (0: none)
    int ext_blocks = 4;         // extent size of the dictionary segments
    int hdr_max = 2;            // extent entries in a dictionary segment header ...
    int map_max = 3;            // ... and in each map block that continues it
    uint8_t own_kind = 0x10;    // segment kind of OBJ$, BOOTSTRAP$ and the clusters
    uint8_t part_kind = 0x23;   // segment kind of TABPART$, TABSUBPART$, TABCOMPART$, PROPS$
};

struct Database {
    uint32_t bsz = 8192;
    std::vector<DbTablespace> tablespaces;
    std::vector<DbUser> users;
    std::vector<DbCluster> clusters;
    std::vector<DbTable> tables;
    std::vector<DbProp> props;
    std::vector<DbIndex> indexes;        // out: filled by the build
    std::vector<DbObject> extra_objects; // further OBJ$ rows without storage (views, sequences, ...);
                                         // name and owner user number given, objn 0: assigned
    DictShape shape;
    // out:
    std::vector<DbObject> objects;       // OBJ$ rows in segment order
    std::vector<BootRow> bootstrap;      // BOOTSTRAP$ rows in segment order
    std::vector<std::string> files;      // datafile paths in list order (SYSTEM first)
    uint32_t rootdba = 0;
};

// SYS (0), PUBLIC (1, a role), CONNECT/RESOURCE/DBA (roles), SYSTEM (5);
// tablespaces SYSTEM 0, SYSAUX 1, UNDOTBS1 2, TEMP 3 (temporary), USERS 4;
// properties NLS_LANGUAGE AMERICAN, NLS_TERRITORY AMERICA, NLS_CHARACTERSET
// AL32UTF8, NLS_NCHAR_CHARACTERSET AL16UTF16, DBTIMEZONE +00:00 and others.
Database standard_database();
// The sample: standard_database() with user SCOTT and its DEPT, EMP, BONUS,
// SALGRADE tables, a cluster, a partitioned and a composite-partitioned
// table and a table with LOB columns.
Database sample_database();
// standard_database() with user BENCH owning `tables` tables of
// `columns` columns each (no rows) and views up to `objects` objects of its
// own: a large dictionary for timing exports.
Database large_dictionary(uint32_t tables, uint32_t columns, uint32_t objects = 0);
// Writes the datafiles of the description into dir (created when missing).
int build_database(Database &db, const std::string &dir);
// Type text of a column as a CREATE TABLE statement writes it.
std::string column_type_sql(const DbColumn &c);

// ===========================================================================
// Sample database and configuration
// ===========================================================================

// Writes DIR/config.ini ("dictdir = DIR/dict", "datadir = DIR/data",
// "datafiles = DIR/datafiles.txt", "checksum = YES"), DIR/datafiles.txt (one
// path per line) and creates DIR/dict and DIR/data.
int write_config(const std::string &dir, const std::vector<std::string> &datafiles);
// Writes the sample database into DIR (created when missing): its datafiles
// and the files of write_config.
int make_sample(const std::string &dir);

} // namespace kb
