// Row decoding: turns the table's rows in one data block into rows of the
// dump file's row stream in the unload cache, following chained and migrated
// rows into other blocks, taking cluster key columns from the cluster key
// row, stepping over columns that are not unloaded, joining columns split
// across row pieces and handing LONG values and LOB locators on.
//
// Every block is untrusted: each offset, count and length is checked against
// the block before it is used. A damaged row piece ends its row (with the
// entries gathered so far) and decoding goes on with the next row; a damaged
// block is passed over.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "kelvo/block.h"
#include "kelvo/lob.h"
#include "kelvo/context.h"

namespace {

// Largest output one row piece can add to the cache: its column bytes (at
// most a block), one extra byte per column where a 1-byte length becomes a
// 2-byte word, cluster key values (at most a block), the pending length and
// the row end.
inline int piece_margin(const ULDR *ul) { return 2 * ul->bsz + 4096; }

// Longest chain of row pieces followed for one row. A LONG of 2 GB in 2 KiB
// blocks needs about a million pieces.
constexpr uint32_t MAX_CHAIN = 4u << 20;

enum COLKIND { CK_STEP, CK_KEY, CK_LONG, CK_LOB, CK_PLAIN };

inline COLKIND col_kind(const COL *c)
{
    if (c->flag & COL_SKIP_MASK)
        return CK_STEP;
    if (c->flag & COL_CLUKEY)
        return CK_KEY;
    if (c->ctyp == TYPE_LONG || c->ctyp == TYPE_LONG_RAW)
        return CK_LONG;
    if (c->ctyp == TYPE_CLOB || c->ctyp == TYPE_BLOB)
        return CK_LOB;
    return CK_PLAIN;
}

// One column in the column length encoding.
struct COLV {
    const uint8_t *data;
    uint32_t len;
    bool null;
};

// Reads the column at *pp, bounded by end; false when it runs past end.
inline bool take_column(const uint8_t **pp, const uint8_t *end, COLV *c)
{
    int r = next_column(pp, end, &c->data, &c->len);
    c->null = r == 0;
    return r >= 0;
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

// Reads the header of a located row piece and finds its cluster key row.
// PIECE_BAD has been reported by the block layout routines.
PIECE_RESULT parse_piece(const ULDR *ul, const DATABLK *db, ROWPIECE *rp, PIECE *pc)
{
    unsigned opts = (ul->tabn > 0 ? RP_CLUSTERED : 0) | ((ul->tabp->flag & TAB_EXTHDR) ? RP_HEAD_EXTRA : 0);
    if (parse_row_piece(rp, opts) < 0)
        return PIECE_BAD;
    pc->fb = rp->fb;
    pc->cc = rp->cc;
    pc->p = rp->cols;
    pc->end = rp->end;
    pc->nrdba = rp->has_nrid ? rp->nrid_dba : 0;
    pc->nslot = rp->nrid_slot;
    pc->ck = nullptr;
    pc->ckn = 0;
    if (rp->cki >= 0) {
        ROWPIECE key;
        if (locate_row_piece(db, 0, rp->cki, &key) < 0)
            return PIECE_BAD;
        if ((key.fb & FB_WHOLE_KEY) != FB_WHOLE_KEY)
            return PIECE_KEYBAD;
        size_t koff = (size_t)(key.p - db->blk);
        if (!in_bounds(koff, CLUSTER_KEY_HDR, db->bsz))
            return PIECE_KEYBAD;
        pc->ck = key.p + CLUSTER_KEY_HDR;
        pc->ckn = key.cc;
    }
    return PIECE_OK;
}

// True for a usable piece. A piece whose cluster key row is not whole is
// reported; a damaged one has been reported by the block layout routines.
bool piece_usable(PIECE_RESULT pr)
{
    if (pr == PIECE_KEYBAD)
        fprintf(stdout, "cluster key migrated or chained, skip this row data.\n");
    return pr == PIECE_OK;
}

void report_piece(const ULDR *ul, const char *why)
{
    fprintf(stderr, "bad row piece (ts#=%d, rdba=0x%08x, slot %d): %s, row ended.\n", ul->tsn, ul->rdba,
            ul->slot, why);
}

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

inline bool put_bytes(ULDR *ul, const uint8_t *p, uint32_t n)
{
    if (!room(ul, n))
        return false;
    memcpy(ul->cache + ul->clen, p, n);
    ul->clen += (int)n;
    return true;
}

inline bool put_value(ULDR *ul, const COLV *c)
{
    if (c->null || c->len == 0)   // a zero length word would read as the row end
        return put_word(ul, DUMP_NULL);
    if (c->len > DUMP_MAXLEN)
        return false;
    return put_word(ul, (uint16_t)c->len) && put_bytes(ul, c->data, c->len);
}

// The next key value of the row's cluster key row, or NULL when it has none.
bool put_key(ULDR *ul)
{
    COLV kv;
    if (!ul->ck || ul->ckn <= 0 || !take_column(&ul->ck, ul->ckend, &kv)) {
        ul->ck = nullptr;
        return put_word(ul, DUMP_NULL);
    }
    ul->ckn--;
    return put_value(ul, &kv);
}

// Stores the length of the split ordinary column now complete, in the cache
// or, when the cache was written out meanwhile, at its place in the file.
bool close_split_length(ULDR *ul)
{
    uint16_t w = ul->ccl > 0 ? (uint16_t)ul->ccl : (uint16_t)DUMP_NULL;
    bool ok = true;
    if (ul->pl) {
        put_be16(ul->pl, w);
    } else if (ul->pl_fofs) {
        uint8_t two[2];
        put_be16(two, w);
        if (pwrite_full(ul->fd, two, 2, ul->pl_fofs) < 0) {
            fprintf(stderr, "write cache data error: %s\n", strerror(errno));
            ok = false;
        }
    }
    ul->pl = nullptr;
    ul->pl_fofs = 0;
    ul->ccl = 0;
    return ok;
}

inline bool split_pending(const ULDR *ul) { return ul->pl || ul->pl_fofs; }

// Closes the column left open by the previous piece: a split ordinary column
// gets its length, an open LOB locator takes its slot. False when the length
// could not be written.
bool close_split(ULDR *ul)
{
    if (split_pending(ul) && !close_split_length(ul))
        return false;
    if (ul->lob_open) {
        ul->lob_open = 0;
        ul->lcc++;
    }
    ul->split = 0;
    return true;
}

// Appends one part of a split ordinary column; the first part reserves the
// length word that close_split_length fills in.
bool put_split_part(ULDR *ul, const COLV *c, const char **why)
{
    if (ul->ccl + c->len > DUMP_MAXLEN) {
        *why = "joined column longer than a dump entry";
        return false;
    }
    if (!split_pending(ul)) {
        ul->pl = room(ul, 2) ? ul->cache + ul->clen : nullptr;
        if (!put_word(ul, 0)) {
            *why = "column does not fit the cache";
            return false;
        }
    }
    if (!put_bytes(ul, c->data, c->len)) {
        *why = "column does not fit the cache";
        return false;
    }
    ul->ccl += (int)c->len;
    return true;
}

// Outcome of decoding one piece's columns.
enum COLS_RESULT { COLS_OK, COLS_BAD, COLS_FAIL };

// A LONG column value met in a piece: the row's first LONG gets DUMP_LONG and
// its bytes; a second one (a damaged dictionary) is written as NULL.
COLS_RESULT long_value(ULDR *ul, int i, const COLV *c, bool *ok)
{
    if (c->null || ul->long_col >= 0) {
        *ok = put_word(ul, DUMP_NULL);
        return COLS_OK;
    }
    *ok = put_word(ul, DUMP_LONG);
    ul->long_col = i;
    return save_long(ul, c->data, (int)c->len, 0) < 0 ? COLS_FAIL : COLS_OK;
}

// A LOB locator met in a piece goes to the next slot; one that does not fit
// the slots ends the row.
bool lob_value(ULDR *ul, const COL *col, const COLV *c, bool open, const char **why)
{
    if (c->null)
        return put_word(ul, DUMP_NULL);
    if (ul->lcc >= ul->nlob || c->len > sizeof(LOBD::ldata)) {
        *why = ul->lcc >= ul->nlob ? "more LOB locators than LOB columns" : "LOB locator longer than 4088 bytes";
        return false;
    }
    LOBD *d = (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)ul->lcc);
    d->cid = col->cid;
    d->len = c->len;
    memcpy(d->ldata, c->data, c->len);
    if (open)
        ul->lob_open = 1;
    else
        ul->lcc++;
    return put_word(ul, DUMP_LOB);
}

// Decodes up to cc stored columns of a piece as whole columns, from column
// curc on; key columns in between take their value from the key row.
COLS_RESULT whole_columns(ULDR *ul, const uint8_t **pp, const uint8_t *end, int *ccp, const char **why)
{
    const COL *cols = g_ctx.col + ul->tabp->coff;
    int tcol = (int)ul->tabp->tcol;
    int i = ul->curc, cc = *ccp;
    COLS_RESULT res = COLS_OK;
    while (i < tcol && cc > 0) {
        const COL *col = &cols[i];
        COLKIND k = col_kind(col);
        bool ok = true;
        COLV c;
        if (k == CK_KEY) {
            ok = put_key(ul);
        } else {
            if (!take_column(pp, end, &c)) {
                *why = "column runs past the block";
                res = COLS_BAD;
                break;
            }
            cc--;
            if (k == CK_PLAIN)
                ok = put_value(ul, &c);
            else if (k == CK_LONG)
                res = long_value(ul, i, &c, &ok);
            else if (k == CK_LOB)
                ok = lob_value(ul, col, &c, false, why);
        }
        if (res == COLS_FAIL)
            break;
        if (!ok) {
            if (!*why)
                *why = "column does not fit the dump entry";
            res = COLS_BAD;
            break;
        }
        i++;
    }
    ul->curc = i;
    *ccp = cc;
    return res;
}

// Decodes the columns of one piece of a row held in several pieces.
COLS_RESULT chained_columns(ULDR *ul, const PIECE *pc, const char **why)
{
    const COL *cols = g_ctx.col + ul->tabp->coff;
    int tcol = (int)ul->tabp->tcol;
    const uint8_t *p = pc->p;
    int cc = pc->cc;
    COLV c;

    if (ul->split && !(pc->fb & FB_PREV)) {
        // The open column was not continued: close it with what it has.
        if (!close_split(ul))
            return COLS_FAIL;
        ul->curc++;
    }
    if (pc->fb & FB_PREV) {
        if (cc == 0) {
            *why = "continued column missing";
            return COLS_BAD;
        }
        if (!take_column(&p, pc->end, &c)) {
            *why = "column runs past the block";
            return COLS_BAD;
        }
        cc--;
        int i = ul->curc;
        bool ends = cc > 0 || !(pc->fb & FB_NEXT);
        if (i < tcol && ul->split && !c.null) {
            COLKIND k = col_kind(&cols[i]);
            if (k == CK_LONG && i == ul->long_col) {
                if (save_long(ul, c.data, (int)c.len, 0) < 0)
                    return COLS_FAIL;
            } else if (k == CK_LOB && ul->lob_open) {
                LOBD *d = (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)ul->lcc);
                if (!in_bounds(d->len, c.len, sizeof(d->ldata))) {
                    *why = "LOB locator longer than 4088 bytes";
                    return COLS_BAD;
                }
                memcpy(d->ldata + d->len, c.data, c.len);
                d->len += c.len;
            } else if (k == CK_PLAIN && split_pending(ul)) {
                if (!put_split_part(ul, &c, why))
                    return COLS_BAD;
            }
        }
        if (ends) {
            if (!close_split(ul))
                return COLS_FAIL;
            ul->curc = i + 1;
        }
    }
    if ((pc->fb & FB_NEXT) && cc == 0)
        return COLS_OK;
    int rest = (pc->fb & FB_NEXT) ? cc - 1 : cc;
    COLS_RESULT r = whole_columns(ul, &p, pc->end, &rest, why);
    if (r != COLS_OK || !(pc->fb & FB_NEXT))
        return r;

    // The last stored column begins a column that continues in the next piece.
    int i = ul->curc;
    bool ok = true;
    while (ok && i < tcol && col_kind(&cols[i]) == CK_KEY) {
        ok = put_key(ul);
        i++;
    }
    ul->curc = i;
    if (!ok) {
        *why = "column does not fit the cache";
        return COLS_BAD;
    }
    if (!take_column(&p, pc->end, &c)) {
        *why = "column runs past the block";
        return COLS_BAD;
    }
    if (i >= tcol)
        return COLS_OK;
    COLKIND k = col_kind(&cols[i]);
    if (c.null && k != CK_STEP) {
        // A NULL cannot continue: the column is complete as NULL.
        ul->curc = i + 1;
        return put_word(ul, DUMP_NULL) ? COLS_OK : COLS_BAD;
    }
    ul->split = 1;
    if (k == CK_LONG) {
        if (ul->long_col < 0) {
            ok = put_word(ul, DUMP_LONG);
            ul->long_col = i;
        }
        if (i == ul->long_col && save_long(ul, c.data, (int)c.len, 0) < 0)
            return COLS_FAIL;
    } else if (k == CK_LOB) {
        ok = lob_value(ul, &cols[i], &c, true, why);
    } else if (k == CK_PLAIN) {
        ok = put_split_part(ul, &c, why);
    }
    if (!ok) {
        if (!*why)
            *why = "column does not fit the cache";
        return COLS_BAD;
    }
    return COLS_OK;
}

// Key columns after the last stored column of a clustered row still carry
// values: NULL entries bridge the columns between.
bool finish_key_columns(ULDR *ul)
{
    const COL *cols = g_ctx.col + ul->tabp->coff;
    int tcol = (int)ul->tabp->tcol, last = -1;
    for (int i = ul->curc; i < tcol; i++)
        if (col_kind(&cols[i]) == CK_KEY)
            last = i;
    for (int i = ul->curc; i <= last; i++) {
        COLKIND k = col_kind(&cols[i]);
        if (k == CK_STEP)
            continue;
        if (!(k == CK_KEY ? put_key(ul) : put_word(ul, DUMP_NULL)))
            return false;
    }
    if (last >= 0)
        ul->curc = last + 1;
    return true;
}

// Closes the staging file of the row's LONG value, when it has one.
void close_long_file(ULDR *ul)
{
    if (ul->lfd >= 0)
        close(ul->lfd);
    ul->lfd = -1;
}

// Ends the current row: closes what is open, appends DUMP_END, the LONG
// value record and the LOB value records, and counts the row.
int end_row(ULDR *ul, bool complete)
{
    if (!close_split(ul))
        return -1;
    if (complete && ul->tabn > 0) {
        int need = 2 * (int)ul->tabp->tcol + ul->bsz + 16;
        if (make_room(ul, (size_t)need) < 0)
            return -1;
        if (!finish_key_columns(ul))
            return -1;
    }
    if (make_room(ul, 2) < 0)
        return -1;
    put_word(ul, DUMP_END);
    if (ul->long_col >= 0) {
        if (ul->lfd >= 0 && save_long(ul, nullptr, 0, 1) < 0)
            return -1;
        int r = process_long(ul);
        close_long_file(ul);
        if (r < 0)
            return -1;
    }
    if (ul->lcc > 0 && process_lob(ul) < 0)
        return -1;
    ul->nrow++;
    ul->row_ofs = ul->data_ofs + (uint64_t)ul->clen;
    return 0;
}

void reset_row(ULDR *ul)
{
    close_long_file(ul);
    ul->curc = 0;
    ul->lcc = 0;
    ul->lsz = 0;
    ul->ccl = 0;
    ul->pl = nullptr;
    ul->pl_fofs = 0;
    ul->long_col = -1;
    ul->lob_open = 0;
    ul->split = 0;
    ul->ck = nullptr;
    ul->ckend = nullptr;
    ul->ckn = 0;
    ul->row_ofs = ul->data_ofs + (uint64_t)ul->clen;
}

inline void take_key(ULDR *ul, const PIECE *pc)
{
    if (pc->ck) {
        ul->ck = pc->ck;
        ul->ckend = pc->end;
        ul->ckn = pc->ckn;
    }
}

// Moves the cluster key of the current row out of cblk before cblk is
// overwritten by the next piece of the chain.
void keep_key(ULDR *ul)
{
    if (!ul->ck || ul->ck < ul->cblk || ul->ck >= ul->cblk + ul->bsz)
        return;
    size_t n = (size_t)(ul->ckend - ul->ck);
    memcpy(ul->kbuf, ul->ck, n);
    ul->ck = ul->kbuf;
    ul->ckend = ul->kbuf + n;
}

// Follows the chain of a row from its head piece. Returns 0 when the row was
// ended (completely or cut), -1 on a failure that ends the unload.
int follow_chain(ULDR *ul, const PIECE *head)
{
    const char *why = nullptr;
    uint32_t rdba = head->nrdba;
    int slot = head->nslot;
    // Loop detection (Brent): a chain that comes back to a piece it passed
    // meets the saved piece again within twice the loop's length.
    uint32_t saved_rdba = 0, power = 1, lam = 0;
    int saved_slot = -1;
    uint32_t steps = 0;
    bool complete = false, cut = false;

    while (rdba != 0) {
        if ((rdba == saved_rdba && slot == saved_slot) || ++steps > MAX_CHAIN) {
            fprintf(stderr, "row chain at rdba=0x%08x slot %d loops or is too long, cut.\n", ul->rdba,
                    ul->slot);
            break;
        }
        if (++lam == power) {
            saved_rdba = rdba;
            saved_slot = slot;
            power *= 2;
            lam = 0;
        }
        DATAFILE *df = get_datafile(ul->tsn, (int)(rdba >> 22));
        if (!df) {
            fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", ul->tsn, (int)(rdba >> 22));
            return -1;
        }
        if ((int)df->bsz != ul->bsz) {
            why = "next rowid leads to a datafile of another block size";
            break;
        }
        keep_key(ul);
        if (read_extent_blocks(df, rdba, 1, ul->cblk) < 0)
            return -1;
        DATABLK db;
        int ob = open_data_block(&db, ul->cblk, (size_t)ul->bsz);
        if (ob <= 0) {
            why = ob == 0 ? "next rowid leads to a block that is not a data block" : nullptr;
            cut = true;
            break;
        }
        uint32_t od = get_le32(ul->cblk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1));
        if (ul->objd && od != ul->objd) {
            why = "next rowid leads to a block of another object";
            break;
        }
        ROWPIECE rp;
        PIECE pc;
        PIECE_RESULT pr = PIECE_BAD;
        if (locate_row_piece(&db, ul->tabn, slot, &rp) == 0)
            pr = parse_piece(ul, &db, &rp, &pc);
        if (!piece_usable(pr)) {
            cut = true;
            break;
        }
        take_key(ul, &pc);
        if (make_room(ul, (size_t)piece_margin(ul)) < 0)
            return -1;
        COLS_RESULT r = chained_columns(ul, &pc, &why);
        if (r == COLS_FAIL)
            return -1;
        if (r == COLS_BAD) {
            cut = true;
            break;
        }
        if (pc.fb & FB_LAST) {
            complete = true;
            break;
        }
        rdba = pc.nrdba;
        slot = pc.nslot;
    }
    if (rdba == 0 && !complete && !cut)
        why = "chain ends before the last piece";
    if (why)
        report_piece(ul, why);
    return end_row(ul, complete);
}

} // namespace

int process_data_block(ULDR *ul, const uint8_t *blk)
{
    if (blk[0] != BLOCK_TYPE_DATA)
        return 0;
    ul->rdba = get_le32(blk + offsetof(KCBH, rdba_kcbh));
    if (ul->objd && get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)) != ul->objd) {
        ul->nskip++;
        return 0;
    }
    ROWWALK rw;
    if (row_walk_start(&rw, blk, (size_t)ul->bsz, ul->tabn) <= 0)
        return 0;
    ROWPIECE rp;
    while (row_walk_next(&rw, &rp) > 0) {
        ul->slot = rp.slot - rw.first;
        const char *why = nullptr;
        PIECE pc;
        if (!piece_usable(parse_piece(ul, &rw.db, &rp, &pc)))
            continue;
        if (make_room(ul, (size_t)piece_margin(ul)) < 0)
            return -1;
        reset_row(ul);
        take_key(ul, &pc);

        if ((pc.fb & (FB_FIRST | FB_LAST)) == (FB_FIRST | FB_LAST)) {
            const uint8_t *p = pc.p;
            int cc = pc.cc;
            COLS_RESULT r = whole_columns(ul, &p, pc.end, &cc, &why);
            if (r == COLS_FAIL)
                return -1;
            if (r == COLS_BAD)
                report_piece(ul, why);
            if (end_row(ul, r == COLS_OK) < 0)
                return -1;
            continue;
        }
        if (pc.fb & FB_FIRST) {
            COLS_RESULT r = chained_columns(ul, &pc, &why);
            if (r == COLS_FAIL)
                return -1;
            if (r == COLS_BAD) {
                report_piece(ul, why);
                if (end_row(ul, false) < 0)
                    return -1;
                continue;
            }
        }
        if (follow_chain(ul, &pc) < 0)
            return -1;
    }
    return 0;
}
