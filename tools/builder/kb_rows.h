// kbuild: Row pieces and data blocks (low level)
#pragma once

#include "kb_bytes.h"

namespace kb {

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
    // A block of a compressed table (BASIC/OLTP, or a hybrid columnar unit)
    // when >= 0: kdbhflag 0x40 and a data header extended by 8 bytes and
    // 2 bytes per fcls entry, so that the table directory lies at
    // KDBH + 14 + 8 + 2 * fcls. Table 0 is then the symbol table.
    int fcls = -1;
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

} // namespace kb
