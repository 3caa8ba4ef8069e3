// The LOB value records of one row: one per gathered locator, in slot order
// (which is column order), each handed to the BasicFile or SecureFile reader
// and closed with DUMP_END. A value that cannot be read is taken back out of
// the stream and its column becomes NULL; the row and the table go on.
#include <cstdio>

#include "kelvo/context.h"
#include "lob_io.h"
#include "row_decode.h"

using rowdec::g_lob_mark;

// Reads one value record after its head; 0, or -1 (lob_failed tells why),
// or -2 for a value of a column refused as a whole (said before its rows).
static int read_value(ULDR *ul, LOBD *d)
{
    int li = lookup_lob(ul->tabp->objn, d->cid);
    if (li < 0) {
        // Said once per table and column (from its first row on): every
        // row of it meets the same gap.
        static const TAB *said_tab;
        static uint32_t said_cid;
        if (ul->nrow == 0 || said_tab != ul->tabp || said_cid != d->cid)
            fprintf(stderr, "LOB obj#=%d, col#=%d not found.\n", (int)ul->tabp->objn, (int)d->cid);
        said_tab = ul->tabp;
        said_cid = d->cid;
        lob_why("the LOB is not in the dictionary");
        return -1;
    }
    LOB *lob = &g_ctx.lob[li];
    // How encrypted, compressed or deduplicated SecureFile data is stored
    // is not public: its bytes would be no value of the column.
    if (refused_lob_text(lob->flag)) {
        lob_why("SecureFile LOB encrypted, compressed or deduplicated");
        return -2;
    }
    uint32_t llen = d->len < sizeof(d->ldata) ? d->len : (uint32_t)sizeof(d->ldata);
    if (llen < sizeof(LOC)) {
        lob_bad_locator(lob, "shorter than its 20-byte common part");
        return -1;
    }
    // LOC holds bytes only, so it may lie anywhere in the slot.
    LOC *loc = (LOC *)d->ldata;
    lob_budget_start();
    int r = (loc->flg4 & LOC_SECURE) ? process_secure_lob(ul, lob, loc, llen) : process_basic_lob(ul, lob, loc, llen);
    if (r < 0)
        return -1;
    if (lob_room(ul, 2) < 0)
        return -1;
    put_be16(ul->cache + ul->clen, DUMP_END);
    ul->clen += 2;
    return 0;
}

// The index of the table column with internal column number cid, or -1.
static int column_of(const ULDR *ul, uint32_t cid)
{
    const COL *cols = g_ctx.col ? g_ctx.col + ul->tabp->coff : nullptr;
    for (uint32_t i = 0; cols && i < ul->tabp->tcol; i++)
        if (cols[i].cid == cid)
            return (int)i;
    return -1;
}

// Takes a failed value record (begun at dump offset start) back out of the
// stream and turns the row's DUMP_LOB word of slot i into DUMP_NULL. When
// that word is not where the slot says (a row not laid out by the decoder),
// an empty value record keeps word and record paired instead.
static int drop_value(ULDR *ul, int i, uint64_t start, const LOBD *d)
{
    if (start >= ul->data_ofs) {
        ul->clen = (int)(start - ul->data_ofs);
    } else {
        // Part of the record reached the file: it is written over by what
        // follows, or cut away at the end of the unload.
        ul->data_ofs = start;
        ul->clen = 0;
    }
    uint64_t at = (size_t)i < rowdec::LOB_MARKS ? g_lob_mark[i] : 0;
    bool in_row = at >= ul->row_ofs && at + 2 <= start;
    if (in_row && at >= ul->data_ofs)
        in_row = get_be16(ul->cache + (at - ul->data_ofs)) == DUMP_LOB;
    if (in_row)
        return rowdec::set_dump_word(ul, at, DUMP_NULL);
    if (lob_room(ul, 6) < 0)
        return -1;
    uint8_t *p = ul->cache + ul->clen;
    put_be16(p, DUMP_VALUE);
    p[2] = d->len >= sizeof(LOC) ? d->ldata[offsetof(LOC, blen) + 1] : 0;
    p[3] = 0;
    put_be16(p + 4, DUMP_END);
    ul->clen += 6;
    return 0;
}

int process_lob(ULDR *ul)
{
    for (int i = 0; i < ul->lcc && i < ul->nlob; i++) {
        LOBD *d = (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)i);
        uint64_t start = ul->data_ofs + (uint64_t)ul->clen;
        lob_failure_clear();
        int r = read_value(ul, d);
        if (r == 0)
            continue;
        if (lob_write_failed())
            return -1;
        if (drop_value(ul, i, start, d) < 0)
            return -1;
        int col = column_of(ul, d->cid);
        if (r != -2)
            rowdec::report_value_lost(ul, "LOB", col, "cannot be read");
        rowdec::note_row_loss(ul, LOSS_LOB, col, lob_failed_why());
    }
    return 0;
}
