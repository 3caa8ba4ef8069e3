// Column decoding of row pieces into the dump's row stream: whole columns,
// columns split across pieces and joined again, cluster key values, LONG
// values and LOB locators handed on, and the end of a row with its value
// records. A row cut short keeps the columns it has; a LONG or LOB value it
// cannot complete becomes NULL.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "row_decode.h"

namespace rowdec {

uint64_t g_lob_mark[LOB_MARKS];
static uint64_t g_long_mark;   // dump offset of the row's DUMP_LONG word

// One column in the column length encoding.
struct COLV {
    const uint8_t *data;
    uint32_t len;
    bool null;
};

// Reads the column at *pp, bounded by end; false when it runs past end.
static inline bool take_column(const uint8_t **pp, const uint8_t *end, COLV *c)
{
    int r = next_column(pp, end, &c->data, &c->len);
    c->null = r == 0;
    return r >= 0;
}

static inline bool put_bytes(ULDR *ul, const uint8_t *p, uint32_t n)
{
    if (!room(ul, n))
        return false;
    memcpy(ul->cache + ul->clen, p, n);
    ul->clen += (int)n;
    return true;
}

static inline bool put_value(ULDR *ul, const COLV *c)
{
    if (c->null || c->len == 0)   // a zero length word would read as the row end
        return put_word(ul, DUMP_NULL);
    if (c->len > DUMP_MAXLEN)
        return false;
    return put_word(ul, (uint16_t)c->len) && put_bytes(ul, c->data, c->len);
}

// An encrypted column's value: NULL, and counted when something was stored
// (the table's loss line is written at its end).
static inline bool put_encrypted(ULDR *ul, const COLV *c)
{
    if (!c->null) {
        ul->lost[LOSS_ENCRYPTED]++;
        g_data_lost = 1;
    }
    return put_word(ul, DUMP_NULL);
}

// The next key value of the row's cluster key row, or NULL when it has none.
static bool put_key(ULDR *ul)
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
static bool close_split_length(ULDR *ul)
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

static inline bool split_pending(const ULDR *ul) { return ul->pl || ul->pl_fofs; }

// Closes the column left open by the previous piece: a split ordinary column
// gets its length, an open LOB locator takes its slot. False when the length
// could not be written.
static bool close_split(ULDR *ul)
{
    if (split_pending(ul) && !close_split_length(ul))
        return false;
    if (ul->ext_open) {
        ul->ext_open = 0;
        LOBD *d = extended_slot(ul);
        if (d->len > sizeof(d->ldata)) {
            if (!put_word(ul, DUMP_NULL))
                return false;
            report_value_lost(ul, "extended", ul->curc, "has a locator longer than 4088 bytes");
            note_row_loss(ul, LOSS_LOB, ul->curc, "LOB locator longer than 4088 bytes");
        } else if (extended_value(ul, ul->curc, d->ldata, d->len) == COLS_FAIL) {
            return false;
        }
    }
    if (ul->lob_open) {
        ul->lob_open = 0;
        ul->lcc++;
    }
    ul->split = 0;
    return true;
}

// Appends one part of a split extended column's locator to its slot; a
// locator longer than the slot is marked by a length past it.
static void extended_part(ULDR *ul, const COLV *c)
{
    LOBD *d = extended_slot(ul);
    if (in_bounds(d->len, c->len, sizeof(d->ldata))) {
        memcpy(d->ldata + d->len, c->data, c->len);
        d->len += c->len;
    } else {
        d->len = sizeof(d->ldata) + 1;
    }
}

// Appends one part of a split ordinary column; the first part reserves the
// length word that close_split_length fills in.
static bool put_split_part(ULDR *ul, const COLV *c, const char **why)
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

// A LONG column value met in a piece: the row's first LONG gets DUMP_LONG and
// its bytes; a second one (a damaged dictionary) is written as NULL.
static COLS_RESULT long_value(ULDR *ul, int i, const COLV *c, bool *ok)
{
    if (c->null || ul->long_col >= 0) {
        *ok = put_word(ul, DUMP_NULL);
        return COLS_OK;
    }
    g_long_mark = dump_pos(ul);
    *ok = put_word(ul, DUMP_LONG);
    if (!*ok)
        return COLS_OK;
    ul->long_col = i;
    return save_long(ul, c->data, (int)c->len, 0) < 0 ? COLS_FAIL : COLS_OK;
}

// A LOB locator met in a piece goes to the next slot; one that does not fit
// the slots ends the row.
static bool lob_value(ULDR *ul, const COL *col, const COLV *c, bool open, const char **why)
{
    if (c->null)
        return put_word(ul, DUMP_NULL);
    bool full = ul->lcc >= ul->nlob - ul->next || (size_t)ul->lcc >= LOB_MARKS;
    if (full || c->len > sizeof(LOBD::ldata)) {
        *why = full ? "more LOB locators than LOB columns" : "LOB locator longer than 4088 bytes";
        return false;
    }
    // The slot is taken only with its DUMP_LOB word: each slot's value
    // record answers one word, whose place is kept should the value be lost.
    uint64_t at = dump_pos(ul);
    if (!put_word(ul, DUMP_LOB))
        return false;
    LOBD *d = (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)ul->lcc);
    d->cid = col->cid;
    d->len = c->len;
    memcpy(d->ldata, c->data, c->len);
    g_lob_mark[ul->lcc] = at;
    if (open)
        ul->lob_open = 1;
    else
        ul->lcc++;
    return true;
}

// Decodes a run of ordinary columns from column *ip on, at most *ccp of them,
// straight into the cache: each entry (a 2-byte length and the bytes, or
// DUMP_NULL) is at most one byte longer than the column's stored form, so
// the room for all of them is checked once, before the run, by the caller.
// Every length is still checked against the block. Stops at the first column
// of another kind; COLS_BAD (and why) as put_value would make it.
constexpr size_t PLAIN_SLACK = 16;
static COLS_RESULT plain_run(ULDR *ul, const COL *cols, int tcol, int *ip, const uint8_t **pp, const uint8_t *end,
                             int *ccp, const char **why)
{
    int i = *ip, cc = *ccp;
    const uint8_t *p = *pp;
    uint8_t *o = ul->cache + ul->clen;
    COLS_RESULT res = COLS_OK;
    for (; i < tcol && cc > 0 && col_kind(ul, &cols[i]) == CK_PLAIN; i++) {
        if (p >= end) {
            *why = "column runs past the block";
            res = COLS_BAD;
            break;
        }
        size_t left = (size_t)(end - p), hdr = 1, n = p[0];
        if (n == COLLEN_NULL) {
            n = 0;
        } else if (n == COLLEN_LONG) {
            if (left < 3) {
                *why = "column runs past the block";
                res = COLS_BAD;
                break;
            }
            hdr = 3;
            n = get_le16(p + 1);
        }
        if (!in_bounds(hdr, n, left)) {
            *why = "column runs past the block";
            res = COLS_BAD;
            break;
        }
        const uint8_t *data = p + hdr;
        p += hdr + n;
        cc--;
        if (n > DUMP_MAXLEN) {
            if (!*why)
                *why = "column does not fit the dump entry";
            res = COLS_BAD;
            break;
        }
        if (n == 0) {   // NULL, and a zero length, which would read as the row end
            put_be16(o, DUMP_NULL);
            o += 2;
            continue;
        }
        put_be16(o, (uint16_t)n);
        // Short values (most NUMBERs and DATEs) as one fixed copy of 16
        // bytes when that many lie in the block; the room checked for the
        // run holds the 16 (PLAIN_SLACK) past the entry.
        if (n <= 16 && (size_t)(end - data) >= 16)
            memcpy(o + 2, data, 16);
        else
            memcpy(o + 2, data, n);
        o += 2 + n;
    }
    ul->clen = (int)(o - ul->cache);
    *ip = i;
    *pp = p;
    *ccp = cc;
    return res;
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
        COLKIND k = col_kind(ul, col);
        if (k == CK_PLAIN && *pp <= end && room(ul, (size_t)(end - *pp) + (size_t)cc + PLAIN_SLACK)) {
            res = plain_run(ul, cols, tcol, &i, pp, end, &cc, why);
            if (res != COLS_OK)
                break;
            continue;
        }
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
            else if (k == CK_ENCRYPTED)
                ok = put_encrypted(ul, &c);
            else if (k == CK_EXTENDED && c.null)
                ok = put_word(ul, DUMP_NULL);
            else if (k == CK_EXTENDED)
                res = extended_value(ul, i, c.data, c.len);
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
            COLKIND k = col_kind(ul, &cols[i]);
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
            } else if (k == CK_EXTENDED && ul->ext_open) {
                extended_part(ul, &c);
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
    while (ok && i < tcol && col_kind(ul, &cols[i]) == CK_KEY) {
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
    COLKIND k = col_kind(ul, &cols[i]);
    if (c.null && k != CK_STEP) {
        // A NULL cannot continue: the column is complete as NULL.
        ul->curc = i + 1;
        return put_word(ul, DUMP_NULL) ? COLS_OK : COLS_BAD;
    }
    ul->split = 1;
    if (k == CK_LONG) {
        if (ul->long_col < 0) {
            g_long_mark = dump_pos(ul);
            ok = put_word(ul, DUMP_LONG);
            ul->long_col = i;
        }
        if (i == ul->long_col && save_long(ul, c.data, (int)c.len, 0) < 0)
            return COLS_FAIL;
    } else if (k == CK_LOB) {
        ok = lob_value(ul, &cols[i], &c, true, why);
    } else if (k == CK_PLAIN) {
        ok = put_split_part(ul, &c, why);
    } else if (k == CK_ENCRYPTED) {
        ok = put_encrypted(ul, &c);     // its continuation is stepped over
    } else if (k == CK_EXTENDED) {
        // Gathered whole before it is read; its entry is written then.
        extended_slot(ul)->len = 0;
        ul->ext_open = 1;
        extended_part(ul, &c);
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
static bool finish_key_columns(ULDR *ul)
{
    const COL *cols = g_ctx.col + ul->tabp->coff;
    int tcol = (int)ul->tabp->tcol, last = -1;
    for (int i = ul->curc; i < tcol; i++)
        if (col_kind(ul, &cols[i]) == CK_KEY)
            last = i;
    for (int i = ul->curc; i <= last; i++) {
        COLKIND k = col_kind(ul, &cols[i]);
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
static void close_long_file(ULDR *ul)
{
    if (ul->lfd >= 0)
        close(ul->lfd);
    ul->lfd = -1;
}

int set_dump_word(ULDR *ul, uint64_t at, uint16_t w)
{
    if (at >= ul->data_ofs) {
        if (at + 2 > ul->data_ofs + (uint64_t)ul->clen)
            return -1;
        put_be16(ul->cache + (at - ul->data_ofs), w);
        return 0;
    }
    uint8_t two[2];
    put_be16(two, w);
    if (pwrite_full(ul->fd, two, 2, at) < 0) {
        fprintf(stderr, "write cache data error: %s\n", strerror(errno));
        return -1;
    }
    return 0;
}

void report_value_lost(const ULDR *ul, const char *what, int col, const char *how)
{
    const COL *c = col >= 0 && (uint32_t)col < ul->tabp->tcol ? &g_ctx.col[ul->tabp->coff + (uint32_t)col] : nullptr;
    fprintf(stderr, "%s value of column \"%.*s\" in row (ts#=%d, rdba=0x%08x, slot %d) %s, NULL.\n", what,
            c ? (int)sizeof(c->name) : 1, c ? c->name : "?", ul->tsn, ul->rdba, ul->slot, how);
}

void note_row_loss(ULDR *ul, int kind, int col, const char *why)
{
    const DATAFILE *df = get_datafile(ul->tsn, (int)rdba_file(ul->rdba));
    note_loss(ul, kind, df, ul->rdba, ul->slot, col, why);
}

// Ends the current row: closes what is open, appends DUMP_END, the LONG
// value record and the LOB value records, and counts the row. A row cut
// short (complete false) keeps the columns it has, the rest read as NULL; a
// LONG value or LOB locator still open when it was cut becomes NULL.
int end_row(ULDR *ul, bool complete, const char *why)
{
    bool long_cut = false;
    if (!complete) {
        note_row_loss(ul, LOSS_ROW_CUT, ul->curc, why ? why : "later row pieces cannot be read");
        if (ul->split && ul->long_col >= 0 && ul->curc == ul->long_col)
            long_cut = true;
        if (ul->lob_open) {
            ul->lob_open = 0;
            if (set_dump_word(ul, g_lob_mark[ul->lcc], DUMP_NULL) < 0)
                return -1;
            report_value_lost(ul, "LOB", ul->curc, "cut with its row");
            note_row_loss(ul, LOSS_LOB, ul->curc, "LOB locator cut with its row");
        }
        if (ul->ext_open) {
            ul->ext_open = 0;
            if (make_room(ul, 2) < 0 || !put_word(ul, DUMP_NULL))
                return -1;
            report_value_lost(ul, "extended", ul->curc, "cut with its row");
            note_row_loss(ul, LOSS_LOB, ul->curc, "LOB locator cut with its row");
        }
    }
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
    if (long_cut) {
        close_long_file(ul);
        if (set_dump_word(ul, g_long_mark, DUMP_NULL) < 0)
            return -1;
        report_value_lost(ul, "LONG", ul->long_col, "cut with its row");
        note_row_loss(ul, LOSS_LONG, ul->long_col, "LONG value cut with its row");
    } else if (ul->long_col >= 0) {
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
    ul->ext_open = 0;
    ul->split = 0;
    ul->ck = nullptr;
    ul->ckend = nullptr;
    ul->ckn = 0;
    ul->row_ofs = ul->data_ofs + (uint64_t)ul->clen;
}

} // namespace rowdec
