// Unloading one segment: the buffers of the work buffer, then the segment
// walk handing every usable block to the row decoder and every lost block to
// the table's loss report.
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/unload.h"
#include "kelvo/context.h"

int uldr_layout(ULDR *ul, int bsz)
{
    if (bsz < 512 || bsz > 65536) {
        fprintf(stderr, "block size %d not supported.\n", bsz);
        return -1;
    }
    size_t b = (size_t)bsz, off = ULDR_CACHE_SIZE;
    uint8_t *w = g_ctx.wrk;
    ul->bsz = bsz;
    ul->cache = w;
    ul->csz = ULDR_CACHE_SIZE;
    ul->hblk = w + off;
    off += b;
    ul->cblk = w + off;
    off += b;
    ul->kbuf = w + off;
    off += b;
    ul->lbuf = w + off;
    off += ULDR_LONG_BUF;
    ul->ibuf = ul->itree2 = ul->itree3 = ul->itree4 = ul->lobc = nullptr;
    if (ul->nlob > 0) {
        if ((size_t)ul->nlob > (WORK_BUFFER_SIZE - off) / sizeof(LOBD)) {
            fprintf(stderr, "%d LOB columns do not fit the work buffer.\n", ul->nlob);
            return -1;
        }
        ul->ibuf = w + off;
        ul->itree2 = w + off + ULDR_LOB_BUF;
        ul->itree3 = w + off + 2 * ULDR_LOB_BUF;
        ul->itree4 = w + off + 3 * ULDR_LOB_BUF;
        off += 4 * ULDR_LOB_BUF;
        ul->lobc = w + off;
        off += sizeof(LOBD) * (size_t)ul->nlob;
    }
    off = (off + 7) & ~(size_t)7;
    if (off > WORK_BUFFER_SIZE || (WORK_BUFFER_SIZE - off) / b == 0) {
        fprintf(stderr, "no room for the extent read buffer.\n");
        return -1;
    }
    ul->rbuf = w + off;
    ul->rbufblks = (int)((WORK_BUFFER_SIZE - off) / b);
    return 0;
}

// A usable block of the segment: its rows, when it is a data block of the
// table.
static int visit_block(SEGWALK *w, const DATAFILE *, uint32_t rdba, uint8_t *blk)
{
    ULDR *ul = (ULDR *)w->arg;
    if (ul->rec)
        recover_note_block(ul, rdba, 1);
    return process_data_block(ul, blk) < 0 ? -1 : 0;
}

static void lost_blocks(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint32_t n, int fault)
{
    ULDR *ul = (ULDR *)w->arg;
    if (ul->rec && df && fault != SEGWALK_MAP_BROKEN)
        recover_note_block(ul, rdba, n);
    char why[96];
    int kind = fault == BLOCK_UNFORMATTED ? LOSS_UNFORMATTED : LOSS_BLOCK;
    if (fault == SEGWALK_MAP_BROKEN)
        snprintf(why, sizeof(why), "extent map broken, %u extents not known", n);
    else if (n > 1)
        snprintf(why, sizeof(why), "%s (%u blocks)", block_fault_text(fault), n);
    else
        snprintf(why, sizeof(why), "%s", fault == BLOCK_UNFORMATTED ? "unformatted below the high-water mark"
                                                                   : block_fault_text(fault));
    note_loss(ul, kind, df, rdba, -1, -1, why);
    // One line of the report stands for the whole run; the count has them all.
    if (fault != SEGWALK_MAP_BROKEN && n > 1)
        ul->lost[kind] += n - 1;
}

// The datafile that sets the block size of the walk: the header's, or when
// no file holds the header, the first of its tablespace (for the scan).
static DATAFILE *walk_file(ULDR *ul)
{
    DATAFILE *df = get_datafile(ul->tsn, (int)rdba_file(ul->hdba));
    for (uint32_t d = 0; !df && g_ctx.df && d < g_ctx.sys.nf; d++)
        if ((int)g_ctx.df[d].tsn == ul->tsn)
            df = &g_ctx.df[d];
    if (!df)
        fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", ul->tsn, (int)rdba_file(ul->hdba));
    return df;
}

int unload_segment(ULDR *ul)
{
    if (ul->hdba == 0)
        return 0;
    DATAFILE *df = walk_file(ul);
    if (!df || uldr_layout(ul, (int)df->bsz) < 0)
        return -1;
    SEGWALK w;
    memset(&w, 0, sizeof(w));
    w.tsn = ul->tsn;
    w.hdba = ul->hdba;
    w.objd = ul->objd;
    w.hblk = ul->hblk;
    w.area = ul->rbuf;
    w.area_blks = ul->rbufblks;
    w.bsz = ul->bsz;
    w.visit = visit_block;
    w.lost = lost_blocks;
    w.arg = ul;
    w.name = object_name(ul->tabp->oi);
    if (ul->rec)
        recover_segment_begin(ul);
    w.blk_from = ul->blk_from;
    w.blk_to = ul->blk_to;
    if (walk_segment(&w) != 0)
        return -1;
    // "unload truncated ... scan": then the blocks of the tablespace the
    // extents did not hold.
    if (ul->rec && scan_old_blocks(ul, &w) != 0)
        return -1;
    return write_cache(ul);
}
