// "verify table USER.TABLE": the table's segments (its own, or those of its
// partitions or subpartitions) walked as "unload" walks them, with every
// block checked as "verify" checks it. Each damaged block is listed with
// the rows of the table it held, counted from its row directory where that
// can still be read, so that the loss of an unload is known before it runs.
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/diagnose.h"
#include "kelvo/shell.h"

namespace {

struct TableCheck {
    const TAB *tab;
    uint8_t *scratch;       // one block, for reading a damaged block again
    uint64_t blocks = 0;    // blocks of the segments met
    uint64_t damaged = 0;
    uint64_t rows = 0;      // rows counted in damaged blocks
    uint64_t unknown = 0;   // damaged blocks whose rows cannot be counted
};

// Head pieces of the table in a block, or -1 when its directory cannot be read.
long count_rows(const uint8_t *blk, size_t bsz, int tabn)
{
    ROWWALK rw;
    ROWPIECE rp;
    int r = row_walk_start(&rw, blk, bsz, tabn);
    if (r < 0)
        return -1;
    long n = 0;
    while (r > 0 && row_walk_next(&rw, &rp) > 0)
        n++;
    return n;
}

void list_damaged(TableCheck *c, const DATAFILE *df, uint32_t rdba, int fault, long rows)
{
    c->damaged++;
    char fno[16] = "?", blk[24] = "?";
    if (df) {
        snprintf(fno, sizeof(fno), "%u", df->fno);
        snprintf(blk, sizeof(blk), "%llu", (unsigned long long)df_block_number(df, rdba));
    }
    if (rows < 0) {
        c->unknown++;
        printf("damaged block %s/%s (rdba=0x%08x): %s, rows unknown\n", fno, blk, rdba, block_fault_text(fault));
        return;
    }
    c->rows += (uint64_t)rows;
    printf("damaged block %s/%s (rdba=0x%08x): %s, %ld row%s\n", fno, blk, rdba, block_fault_text(fault), rows,
           rows == 1 ? "" : "s");
}

int visit(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint8_t *blk)
{
    TableCheck *c = (TableCheck *)w->arg;
    c->blocks++;
    int fault = block_verdict(blk, df->bsz, BLOCK_GOOD);
    if (fault != BLOCK_GOOD)
        list_damaged(c, df, rdba, fault, count_rows(blk, df->bsz, (int)c->tab->tabn));
    return 0;
}

void lost(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint32_t n, int fault)
{
    TableCheck *c = (TableCheck *)w->arg;
    if (fault == SEGWALK_MAP_BROKEN) {
        c->damaged++;
        c->unknown++;
        printf("extent map broken at rdba=0x%08x: %u extents not known, rows unknown\n", rdba, n);
        return;
    }
    // A run that could not be read at all is one line, however long.
    if (n > 1 && (fault == BLOCK_NO_FILE || fault == BLOCK_READ_ERROR || fault == BLOCK_PAST_END)) {
        c->blocks += n;
        c->damaged += n;
        c->unknown += n;
        printf("%u damaged blocks from rdba=0x%08x: %s, rows unknown\n", n, rdba, block_fault_text(fault));
        return;
    }
    for (uint32_t i = 0; i < n; i++) {
        c->blocks++;
        long rows = -1;
        uint8_t f = BLOCK_GOOD;
        // Blocks that were read are read again to count their rows; those
        // never written held none.
        if (fault == BLOCK_UNFORMATTED)
            rows = 0;
        else if (df && fault != BLOCK_NO_FILE && fault != BLOCK_READ_ERROR && fault != BLOCK_PAST_END &&
                 read_blocks_quiet((DATAFILE *)df, rdba + i, 1, c->scratch, nullptr, &f) >= 0 &&
                 f != BLOCK_PAST_END && f != BLOCK_READ_ERROR)
            rows = count_rows(c->scratch, df->bsz, (int)c->tab->tabn);
        list_damaged(c, df, rdba + i, fault, rows);
    }
}

int check_segment(TableCheck *c, uint32_t tsn, uint32_t fno, uint32_t blk, uint32_t objd)
{
    uint32_t hdba = (uint32_t)(((uint64_t)fno << 22) | blk);
    if (hdba == 0)
        return 0;
    DATAFILE *df = get_datafile((int)tsn, (int)rdba_file(hdba));
    for (uint32_t d = 0; !df && d < g_ctx.sys.nf; d++)
        if (g_ctx.df[d].tsn == tsn)
            df = &g_ctx.df[d];
    if (!df) {
        fprintf(stderr, "datafile (ts#=%u, rfile#=%u) not found.\n", tsn, rdba_file(hdba));
        return -1;
    }
    size_t bsz = df->bsz;
    SEGWALK w;
    memset(&w, 0, sizeof(w));
    w.tsn = (int)tsn;
    w.hdba = hdba;
    w.objd = objd;
    w.hblk = g_ctx.wrk;
    c->scratch = g_ctx.wrk + bsz;
    w.area = g_ctx.wrk + 2 * bsz;
    w.area_blks = (int)((WORK_BUFFER_SIZE - 2 * bsz) / bsz);
    w.bsz = (int)bsz;
    w.visit = visit;
    w.lost = lost;
    w.arg = c;
    return walk_segment(&w) < 0 ? -1 : 0;
}

int check_segments(TableCheck *c)
{
    const TAB *t = c->tab;
    if (!(t->flag & TAB_PART))
        return check_segment(c, t->tsn, t->fno, t->blk, t->objd);
    int rc = 0;
    if (t->flag & TAB_COMPOSITE) {
        for (uint32_t i = 0; g_ctx.tcp && i < g_ctx.sys.ntcp; i++)
            for (uint32_t j = 0; g_ctx.tcp[i].objp == t->objn && g_ctx.tsp && j < g_ctx.sys.ntsp; j++) {
                const TABSUBPART *sp = &g_ctx.tsp[j];
                if (sp->objp == g_ctx.tcp[i].objn && check_segment(c, sp->tsn, sp->fno, sp->blk, sp->objd) < 0)
                    rc = -1;
            }
        return rc;
    }
    for (uint32_t i = 0; g_ctx.tp && i < g_ctx.sys.ntp; i++) {
        const TABPART *p = &g_ctx.tp[i];
        if (p->objp == t->objn && check_segment(c, p->tsn, p->fno, p->blk, p->objd) < 0)
            rc = -1;
    }
    return rc;
}

} // namespace

int verify_table(char *args)
{
    if (g_ctx.usr == nullptr || g_ctx.tab == nullptr) {
        fprintf(stderr, "no dictionary loaded, run \"load dict\" first.\n");
        return -1;
    }
    char user[32], table[32];
    int ti = find_typed_table(args, user, table);
    if (ti < 0)
        return -1;
    TableCheck c;
    c.tab = &g_ctx.tab[ti];
    printf("TABLE %s.%s\n", user, table);
    report_block_reset();
    // Every block that carries a check value has it checked, as "verify" does.
    uint32_t flag = g_ctx.par.flag;
    g_ctx.par.flag |= CFG_CHECKSUM;
    int rc = check_segments(&c);
    g_ctx.par.flag = flag;
    printf("%llu blocks, %llu damaged, %llu rows in them", (unsigned long long)c.blocks,
           (unsigned long long)c.damaged, (unsigned long long)c.rows);
    if (c.unknown)
        printf(" and in %llu blocks whose rows cannot be counted", (unsigned long long)c.unknown);
    printf("\n");
    fflush(stdout);
    return rc < 0 || c.damaged ? -1 : 0;
}
