// Row decoding shared by the block decoder (process_data_block.cpp), the
// column writer (row_columns.cpp) and the chain follower (follow_chain.cpp):
// the parsed row piece, the cache writers the row path inlines, and the
// procedures that decode columns and end rows.
#pragma once

#include "kelvo/block.h"
#include "kelvo/lob.h"
#include "kelvo/context.h"

namespace rowdec {

// Largest output one row piece can add to the cache: its column bytes (at
// most a block), one extra byte per column where a 1-byte length becomes a
// 2-byte word, cluster key values (at most a block), the pending length and
// the row end.
inline int piece_margin(const ULDR *ul) { return 2 * ul->bsz + 4096; }

// CK_ENCRYPTED: a TDE column, whose stored bytes are ciphertext: NULL.
// CK_EXTENDED: an extended VARCHAR2/RAW whose row holds a LOB locator.
enum COLKIND { CK_STEP, CK_KEY, CK_LONG, CK_LOB, CK_PLAIN, CK_ENCRYPTED, CK_EXTENDED };

inline COLKIND col_kind(const ULDR *ul, const COL *c)
{
    if (!col_unloaded(c))
        return CK_STEP;
    if (c->flag & COL_CLUKEY)
        return CK_KEY;
    if (c->flag & COL_ENCRYPTED)
        return CK_ENCRYPTED;
    // Only with the slot its locator is read through (an unload that did
    // not mark the table's columns has none: the bytes are plain).
    if ((c->flag & COL_EXTENDED) && ul->next > 0 && ul->lobc)
        return CK_EXTENDED;
    if (c->ctyp == TYPE_LONG || c->ctyp == TYPE_LONG_RAW)
        return CK_LONG;
    if (c->ctyp == TYPE_CLOB || c->ctyp == TYPE_BLOB)
        return CK_LOB;
    return CK_PLAIN;
}

// A parsed row piece and, for the first piece of a clustered row, its
// cluster key columns.
struct PIECE {
    uint8_t fb;
    int cc;
    const uint8_t *p;       // first stored column
    const uint8_t *end;     // end of the block
    uint32_t nrdba;         // next rowid, when the piece continues
    int nslot;
    const uint8_t *ck;      // cluster key columns, when the piece has FB_FIRST in a cluster
    int ckn;
};

enum PIECE_RESULT { PIECE_OK, PIECE_BAD, PIECE_KEYBAD };

// Outcome of decoding one piece's columns.
enum COLS_RESULT { COLS_OK, COLS_BAD, COLS_FAIL };

// ---- writing into the cache (the margins keep these inside csz; a failed
// check means a damaged row and ends it) ----

inline bool room(const ULDR *ul, size_t n) { return in_bounds((size_t)ul->clen, n, (size_t)ul->csz); }

// Writes the cache out when fewer than n bytes are free; -1 when that fails.
inline int make_room(ULDR *ul, size_t n) { return room(ul, n) ? 0 : write_cache(ul); }

inline bool put_word(ULDR *ul, uint16_t w)
{
    if (!room(ul, 2))
        return false;
    put_be16(ul->cache + ul->clen, w);
    ul->clen += 2;
    return true;
}

inline void take_key(ULDR *ul, const PIECE *pc)
{
    if (pc->ck) {
        ul->ck = pc->ck;
        ul->ckend = pc->end;
        ul->ckn = pc->ckn;
    }
}

// The dump offset the next cache byte will have.
inline uint64_t dump_pos(const ULDR *ul) { return ul->data_ofs + (uint64_t)ul->clen; }
// Overwrites the row stream word at dump offset at (in the cache or, when
// the cache has been written out past it, in the file); -1 after a message.
int set_dump_word(ULDR *ul, uint64_t at, uint16_t w);
// One line about a LONG or LOB value (what) of column index col of the
// current row that is written as NULL, and how it was lost.
void report_value_lost(const ULDR *ul, const char *what, int col, const char *how);
// Records a loss of the current row (its head block and slot); col is the
// column's index in the table's columns, -1 when unknown.
void note_row_loss(ULDR *ul, int kind, int col, const char *why);

// Dump offsets of the DUMP_LOB words of the current row's LOB slots: a value
// that cannot be read turns its word into DUMP_NULL.
constexpr size_t LOB_MARKS = WORK_BUFFER_SIZE / sizeof(LOBD);
extern uint64_t g_lob_mark[LOB_MARKS];

// Reads the header of a located row piece and finds its cluster key row.
// PIECE_BAD has been reported by the block layout routines.
PIECE_RESULT parse_piece(const ULDR *ul, const DATABLK *db, ROWPIECE *rp, PIECE *pc);
// True for a usable piece; a piece whose cluster key row is not whole is
// reported.
bool piece_usable(PIECE_RESULT pr);
// "bad row piece (ts#=.., rdba=.., slot ..): why, row ended."
void report_piece(const ULDR *ul, const char *why);

// Decodes up to *ccp stored columns of a piece as whole columns, from column
// curc on.
COLS_RESULT whole_columns(ULDR *ul, const uint8_t **pp, const uint8_t *end, int *ccp, const char **why);
// Decodes the columns of one piece of a row held in several pieces.
COLS_RESULT chained_columns(ULDR *ul, const PIECE *pc, const char **why);
// Ends the current row (complete, or cut with the columns it has: why says
// what cut it): DUMP_END, then its LONG and LOB value records; counts the
// row. -1 ends the unload.
int end_row(ULDR *ul, bool complete, const char *why);
// Starts a new row at the cache's end.
void reset_row(ULDR *ul);
// The LOB slot that holds an extended column's locator (the last one).
LOBD *extended_slot(ULDR *ul);
// Writes the value of extended column index col, whose locator bytes are
// data, as an ordinary entry at the cache's end: read through the LOB
// readers, or NULL when it cannot be (reported and counted), or the bytes as
// stored when they are no locator (reported). COLS_FAIL when the dump
// cannot be written.
COLS_RESULT extended_value(ULDR *ul, int col, const uint8_t *data, uint32_t len);
// Follows the chain of a row from its head piece; 0 when the row was ended
// (complete or cut), -1 on a failure that ends the unload.
int follow_chain(ULDR *ul, const PIECE *head);

} // namespace rowdec
