// One table into the dump file: its column information, the rows of every
// segment (the table's own, or those of its partitions or subpartitions) and
// the end-of-table mark.
#include <unistd.h>
#include <climits>
#include <cstdio>

#include "kelvo/unload.h"
#include "kelvo/context.h"

static uint32_t segment_rdba(uint32_t fno, uint32_t blk) { return (uint32_t)(((uint64_t)fno << 22) | blk); }

// Writes the column information of the unloaded columns at the start of the
// cache; returns their number.
static int put_col_info(ULDR *ul)
{
    const TAB *t = ul->tabp;
    int n = 0;
    for (uint32_t i = 0; i < t->tcol; i++) {
        const COL *c = &g_ctx.col[t->coff + i];
        if (!col_unloaded(c))
            continue;
        uint8_t *r = ul->cache + sizeof(COL_INFO) * (size_t)n;
        memset(r, 0, sizeof(COL_INFO));
        put_be32(r + offsetof(COL_INFO, flag), (c->flag & COL_NCHAR) ? CI_NCHAR : 0);
        put_be32(r + offsetof(COL_INFO, ctyp), c->ctyp);
        put_be32(r + offsetof(COL_INFO, clen), c->clen);
        memcpy(r + offsetof(COL_INFO, name), c->name, strnlen(c->name, sizeof(c->name) - 1));
        n++;
    }
    return n;
}

static int walk(ULDR *ul, const SEGREF &g)
{
    ul->tsn = g.tsn;
    ul->hdba = segment_rdba(g.fno, g.blk);
    ul->objd = g.objd;
    return unload_segment(ul);
}

void table_segments(const TAB *t, std::vector<SEGREF> *segs)
{
    segs->clear();
    if (!(t->flag & TAB_PART)) {
        segs->push_back({(int)t->tsn, t->fno, t->blk, t->objd});
        return;
    }
    if (t->flag & TAB_COMPOSITE) {
        for (uint32_t i = 0; g_ctx.tcp && i < g_ctx.sys.ntcp; i++) {
            if (g_ctx.tcp[i].objp != t->objn)
                continue;
            for (uint32_t j = 0; g_ctx.tsp && j < g_ctx.sys.ntsp; j++) {
                const TABSUBPART *sp = &g_ctx.tsp[j];
                if (sp->objp == g_ctx.tcp[i].objn)
                    segs->push_back({(int)sp->tsn, sp->fno, sp->blk, sp->objd});
            }
        }
        return;
    }
    for (uint32_t i = 0; g_ctx.tp && i < g_ctx.sys.ntp; i++) {
        const TABPART *p = &g_ctx.tp[i];
        if (p->objp == t->objn)
            segs->push_back({(int)p->tsn, p->fno, p->blk, p->objd});
    }
}

// After a failure that ends the table (a dump write, a column count that does
// not match) the row stream is still closed: the row being decoded is dropped
// (also when part of it already reached the file), the rows before it stay,
// and DUMP_EOT follows them; in a user's dump the next table is written from
// the end mark on. A row that had already been partly written out (a value
// larger than the cache) leaves stale bytes past the end mark only until the
// next table overwrites them; the caller cuts the file at the final data_ofs
// after the last table. A LOB or LONG value that cannot be read does not come
// here: it becomes NULL and the table goes on.
static void close_failed_stream(ULDR *ul)
{
    if (ul->lfd >= 0)
        close(ul->lfd);
    ul->lfd = -1;
    ul->pl = nullptr;
    ul->pl_fofs = 0;
    if (ul->row_ofs >= ul->data_ofs && ul->row_ofs <= ul->data_ofs + (uint64_t)ul->clen) {
        ul->clen = (int)(ul->row_ofs - ul->data_ofs);
    } else if (ul->row_ofs < ul->data_ofs) {
        ul->data_ofs = ul->row_ofs;
        ul->clen = 0;
    }
    if (ul->clen + 2 > ul->csz && write_cache(ul) < 0)
        return;
    put_be16(ul->cache + ul->clen, DUMP_EOT);
    ul->clen += 2;
    write_cache(ul);
}

int unload_table_slice(ULDR *ul, const TABLE_SLICE *sl)
{
    const TAB *t = ul->tabp;
    ul->clen = 0;
    ul->tabn = (int)t->tabn;
    ul->lfd = -1;
    ul->pl = nullptr;
    ul->pl_fofs = 0;
    ul->ext_open = 0;
    ul->no_flush = 0;
    ul->cache = g_ctx.wrk;
    ul->csz = ULDR_CACHE_SIZE;
    ul->row_ofs = ul->data_ofs;
    ul->blk_from = ul->blk_to = 0;
    if (sl->first) {
        ul->nskip = 0;
        ul->ncompressed = 0;
        ul->nowned = 0;
        ul->nunparsed = 0;
        ul->nasis = 0;
        ul->ncolw = 0;
        if ((uint64_t)t->coff + t->tcol > g_ctx.sys.ncol || t->tcol > ULDR_CACHE_SIZE / 2 / sizeof(COL_INFO)) {
            fprintf(stderr, "columns of table obj#=%u lie outside the column dictionary.\n", t->objn);
            close_failed_stream(ul);
            return -1;
        }
        int n = put_col_info(ul);
        ul->ncolw = n;
        ul->clen = (int)sizeof(COL_INFO) * n;
        ul->row_ofs = ul->data_ofs + (uint64_t)ul->clen;
        // COLS counts the columns users see, virtual ones included and
        // invisible ones not: the dump's columns differ from them by those two.
        int visible = 0;
        for (uint32_t i = 0; i < t->tcol; i++)
            visible += col_visible(&g_ctx.col[t->coff + i]);
        if ((uint32_t)visible != t->ncol) {
            fprintf(stderr, "column count not matched, COLS=%d, actual=%d\n", (int)t->ncol, visible);
            close_failed_stream(ul);
            return -1;
        }
    }
    // "unload object" reads the blocks the scan found instead of segments.
    if (ul->walk && ul->walk(ul) < 0) {
        fprintf(stderr, "unload segment error.\n");
        close_failed_stream(ul);
        return -1;
    }
    std::vector<SEGREF> segs;
    if (!ul->walk)
        table_segments(t, &segs);
    for (size_t i = sl->seg_from; i < sl->seg_to && i < segs.size(); i++) {
        if (i == sl->seg_from) {
            ul->blk_from = sl->blk_from;
            ul->blk_to = sl->blk_to;
        }
        int rc = walk(ul, segs[i]);
        ul->blk_from = ul->blk_to = 0;
        if (rc < 0) {
            fprintf(stderr, "unload segment error.\n");
            close_failed_stream(ul);
            return -1;
        }
    }
    if (!sl->last)
        return write_cache(ul);
    if (ul->clen + 2 > ul->csz && write_cache(ul) < 0)
        return -1;
    put_be16(ul->cache + ul->clen, DUMP_EOT);
    ul->clen += 2;
    return write_cache(ul);
}

int unload_one_table(ULDR *ul)
{
    const TABLE_SLICE whole = {0, UINT32_MAX, 0, 0, true, true};
    return unload_table_slice(ul, &whole);
}
