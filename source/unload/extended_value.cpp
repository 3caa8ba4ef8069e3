// Extended data types (MAX_STRING_SIZE = EXTENDED): a VARCHAR2, NVARCHAR2
// or RAW column declared longer than 4000 bytes that has a LOB$ entry is
// stored as a LOB, and its row holds a LOB locator. The value is read at the
// column's place in the row, through the BasicFile or SecureFile reader, and
// written as an ordinary entry of the column's own type.
//
// Such a value is at most 32767 bytes, so an entry's 2-byte length (up to
// 0xFFFA) always carries it and the importer loads it like any VARCHAR2 or
// RAW value; a longer one can only come from damage and is lost (NULL).
#include <cstdio>

#include "lob_io.h"
#include "row_decode.h"

namespace {

constexpr uint32_t EXTENDED_OVER = 4000; // declared lengths above this may be extended

// Room a value record of DUMP_MAXLEN bytes needs in the cache: its head,
// pieces of at least one byte (2-byte length each) and the 32 KiB a reader
// asks for before each piece. Reserved before the read so that the record
// never leaves the cache while it is turned into an entry.
constexpr size_t EXTENDED_ROOM = 4 + 3 * (size_t)DUMP_MAXLEN + 2 + ULDR_LOB_BUF;

// A LOB locator stored in a row starts with its length and its version, 1
// (block dumps of 11g to 19c in-row locators all show 00 01). Bytes that do
// not begin so are not taken for a locator. A file of another release that
// shows another version would change this test only.
constexpr uint16_t LOCATOR_VERSION = 1;

bool looks_like_locator(const uint8_t *l, uint32_t len)
{
    return len >= sizeof(LOC) && len <= sizeof(LOBD::ldata) && get_be16(l + offsetof(LOC, ver)) == LOCATOR_VERSION;
}

// Turns the value record written at cache offset start (head, pieces) into
// the entry's bytes (2-byte length, data) at the same place; -1 when the
// value is too long for an entry.
int record_to_entry(ULDR *ul, int start)
{
    uint8_t *c = ul->cache;
    size_t p = (size_t)start + 4, end = (size_t)ul->clen, total = 0;
    while (p + 2 <= end) {
        size_t n = get_be16(c + p);
        if (p + 2 + n > end || total + n > DUMP_MAXLEN) {
            lob_why("the value is longer than a dump entry");
            return -1;
        }
        memmove(c + start + 2 + total, c + p + 2, n);
        total += n;
        p += 2 + n;
    }
    put_be16(c + start, total ? (uint16_t)total : (uint16_t)DUMP_NULL);
    ul->clen = start + 2 + (int)total;
    return 0;
}

} // namespace

int mark_extended_columns(const TAB *t)
{
    int n = 0;
    for (uint32_t i = 0; i < t->tcol && (uint64_t)t->coff + i < g_ctx.sys.ncol; i++) {
        COL *c = &g_ctx.col[t->coff + i];
        bool ext = (c->ctyp == TYPE_VARCHAR2 || c->ctyp == TYPE_RAW) && c->clen > EXTENDED_OVER &&
                   !(c->flag & COL_SKIP_MASK) && g_ctx.lob && lookup_lob(t->objn, c->cid) >= 0;
        c->flag = ext ? c->flag | COL_EXTENDED : c->flag & ~COL_EXTENDED;
        n += ext;
    }
    return n;
}

namespace rowdec {

LOBD *extended_slot(ULDR *ul) { return (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)(ul->nlob - 1)); }

// A value that is lost: NULL at its place, reported and counted.
static COLS_RESULT extended_lost(ULDR *ul, int col, int start, const char *how, const char *why)
{
    ul->clen = start;
    if (!put_word(ul, DUMP_NULL))
        return COLS_FAIL;
    report_value_lost(ul, "extended", col, how);
    note_row_loss(ul, LOSS_LOB, col, why);
    return COLS_OK;
}

COLS_RESULT extended_value(ULDR *ul, int col, const uint8_t *data, uint32_t len)
{
    const COL *c = &g_ctx.col[ul->tabp->coff + (uint32_t)col];
    LOBD *d = extended_slot(ul);
    if (!looks_like_locator(data, len)) {
        // Written as stored: the bytes may be the value itself.
        fprintf(stderr,
                "extended value of column \"%.*s\" in row (ts#=%d, rdba=0x%08x, slot %d) is not a LOB locator, "
                "written as stored.\n",
                (int)sizeof(c->name), c->name, ul->tsn, ul->rdba, ul->slot);
        ul->nasis++;
        if (len > DUMP_MAXLEN)
            return extended_lost(ul, col, ul->clen, "longer than a dump entry", "the value is longer than a dump entry");
        if (len == 0)
            return put_word(ul, DUMP_NULL) ? COLS_OK : COLS_FAIL;
        if (!room(ul, 2 + (size_t)len) && write_cache(ul) < 0)
            return COLS_FAIL;
        if (!put_word(ul, (uint16_t)len))
            return COLS_FAIL;
        memcpy(ul->cache + ul->clen, data, len);
        ul->clen += (int)len;
        return COLS_OK;
    }
    if (data != d->ldata)
        memmove(d->ldata, data, len);
    d->cid = c->cid;
    d->len = len;
    LOC *loc = (LOC *)d->ldata;
    // A value stored two bytes per character is UTF-16, not the column's
    // character set: a VARCHAR2 cannot take it unconverted.
    if (c->ctyp == TYPE_VARCHAR2 && !(c->flag & COL_NCHAR) && loc->blen[1] == 2)
        return extended_lost(ul, col, ul->clen, "is stored two bytes per character",
                             "the value is stored two bytes per character, not converted");
    int li = lookup_lob(ul->tabp->objn, c->cid);
    if (li < 0)
        return extended_lost(ul, col, ul->clen, "cannot be read", "the LOB is not in the dictionary");
    if (const char *what = refused_lob_text(g_ctx.lob[li].flag)) {
        char how[64];
        snprintf(how, sizeof(how), "is %s (SecureFile)", what);
        return extended_lost(ul, col, ul->clen, how, "SecureFile LOB encrypted, compressed or deduplicated");
    }
    // The LOB readers use lbuf, which may hold the row's LONG bytes: they
    // move to the LONG staging file first.
    if (ul->lsz > 0 && save_long(ul, nullptr, 0, 1) < 0)
        return COLS_FAIL;
    if (make_room(ul, EXTENDED_ROOM) < 0)
        return COLS_FAIL;
    int start = ul->clen;
    lob_failure_clear();
    lob_budget_start();
    ul->no_flush = 1;
    LOB *lob = &g_ctx.lob[li];
    int r = (loc->flg4 & LOC_SECURE) ? process_secure_lob(ul, lob, loc, len) : process_basic_lob(ul, lob, loc, len);
    ul->no_flush = 0;
    if (r == 0)
        r = record_to_entry(ul, start);
    if (r == 0)
        return COLS_OK;
    if (lob_write_failed())
        return COLS_FAIL;
    return extended_lost(ul, col, start, "cannot be read", lob_failed_why());
}

} // namespace rowdec
