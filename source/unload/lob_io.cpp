// Block reads and cache output shared by the LOB readers.
#include <cstdio>

#include "kelvo/context.h"
#include "lob_io.h"

static uint64_t g_lob_budget;
static const char *g_lob_why;
static bool g_lob_write_failed;

void lob_failure_clear(void)
{
    g_lob_why = nullptr;
    g_lob_write_failed = false;
}

void lob_why(const char *why)
{
    if (!g_lob_why)
        g_lob_why = why;
}

const char *lob_failed_why(void) { return g_lob_why ? g_lob_why : "the LOB cannot be read"; }

bool lob_write_failed(void) { return g_lob_write_failed; }

void lob_budget_start(void)
{
    uint64_t n = 16;
    for (uint32_t i = 0; g_ctx.df && i < g_ctx.sys.nf; i++)
        n += g_ctx.df[i].blks;
    g_lob_budget = n;
}

DATAFILE *lob_file(int tsn, uint32_t rdba)
{
    DATAFILE *df = get_datafile(tsn, (int)(rdba >> 22));
    if (!df) {
        fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", tsn, (int)(rdba >> 22));
        lob_why("a LOB block lies in no configured datafile");
        return nullptr;
    }
    if (df->bsz < 2048 || df->bsz > ULDR_LOB_BUF) {
        fprintf(stderr, "datafile %s: LOB blocks of %u bytes not supported.\n", df->name, df->bsz);
        lob_why("LOB blocks of an unsupported size");
        return nullptr;
    }
    return df;
}

// Charges n blocks to the budget of the LOB being read.
static int lob_charge(int tsn, uint32_t rdba, int n)
{
    if ((uint64_t)n > g_lob_budget) {
        fprintf(stderr, "LOB (ts#=%d, rdba=0x%08x) names more blocks than the datafiles hold, stopped.\n", tsn,
                rdba);
        g_lob_budget = 0;
        lob_why("the LOB names more blocks than the datafiles hold");
        return -1;
    }
    g_lob_budget -= (uint64_t)n;
    return 0;
}

// Reports the bad blocks among n read from rdba, once each; -1 when any.
static int lob_faulty(DATAFILE *df, int tsn, uint32_t rdba, int n, const uint8_t *faults)
{
    bool bad = false;
    for (int i = 0; i < n; i++)
        if (faults[i] != BLOCK_GOOD) {
            report_block(df, rdba + (uint32_t)i, faults[i]);
            bad = true;
        }
    if (!bad)
        return 0;
    fprintf(stderr, "read extent (ts#=%d, rdba=0x%08x) error.\n", tsn, rdba);
    lob_why("a LOB block cannot be read");
    return -1;
}

int lob_read(DATAFILE *df, int tsn, uint32_t rdba, int n, uint8_t *buf)
{
    if (n <= 0)
        return 0;
    if (lob_charge(tsn, rdba, n) < 0)
        return -1;
    uint8_t faults[ULDR_LOB_BUF / 512];
    if (n > (int)sizeof(faults)) {
        fprintf(stderr, "read extent (ts#=%d, rdba=0x%08x) error.\n", tsn, rdba);
        lob_why("a LOB block cannot be read");
        return -1;
    }
    read_blocks_quiet(df, rdba, n, buf, nullptr, faults);
    return lob_faulty(df, tsn, rdba, n, faults);
}

int lob_run_read(ULDR *ul, DATAFILE *df, uint32_t rdba, int want, int batch, LOB_RUN *r)
{
    size_t bsz = df->bsz;
    // Whole batches, so that the pieces fall where a batch at a time puts them.
    int cap = LOB_RUN_BLOCKS(bsz) / batch * batch;
    int n = want < cap ? want : cap;
    if (!ul->no_flush && !in_bounds((size_t)ul->clen, (size_t)n * bsz, (size_t)ul->csz) && write_cache(ul) < 0) {
        g_lob_write_failed = true;
        return -1;
    }
    if (!ul->no_flush && in_bounds((size_t)ul->clen, (size_t)n * bsz, (size_t)ul->csz)) {
        r->blk = ul->cache + ul->clen;
    } else {
        // An extended value must stay inside the room made for it (and a
        // cache smaller than a run cannot take one): one batch at a time
        // through lbuf, as the pieces are no longer.
        n = want < batch ? want : batch;
        r->blk = ul->lbuf;
    }
    r->rdba = rdba;
    r->n = n;
    read_blocks_quiet(df, rdba, n, r->blk, nullptr, r->faults);
    return 0;
}

int lob_run_take(const LOB_RUN *r, DATAFILE *df, int tsn, int k, int n)
{
    uint32_t rdba = r->rdba + (uint32_t)k;
    if (n <= 0)
        return 0;
    if (lob_charge(tsn, rdba, n) < 0)
        return -1;
    return lob_faulty(df, tsn, rdba, n, r->faults + k);
}

int lob_room(ULDR *ul, size_t n)
{
    if (in_bounds((size_t)ul->clen, n, (size_t)ul->csz))
        return 0;
    if (ul->no_flush) {
        // An extended value is turned into an entry in the cache: room for
        // the longest one was made before; more is damage.
        lob_why("the value is longer than a dump entry");
        return -1;
    }
    if (write_cache(ul) < 0) {
        g_lob_write_failed = true;
        return -1;
    }
    if (!in_bounds((size_t)ul->clen, n, (size_t)ul->csz)) {
        fprintf(stderr, "LOB piece of %zu bytes does not fit the cache.\n", n);
        g_lob_write_failed = true;
        return -1;
    }
    return 0;
}

void lob_piece(ULDR *ul, const uint8_t *data, size_t n)
{
    uint8_t *p = ul->cache + ul->clen;
    put_be16(p, (uint16_t)n);
    memcpy(p + 2, data, n);
    ul->clen += (int)(n + 2);
}

int lob_value_head(ULDR *ul, const LOC *loc)
{
    if (lob_room(ul, 4) < 0)
        return -1;
    uint8_t *p = ul->cache + ul->clen;
    put_be16(p, DUMP_VALUE);
    p[2] = loc->blen[1];
    p[3] = 0;
    ul->clen += 4;
    return 0;
}

int secure_used(const uint8_t *blk, uint32_t bsz, int tsn, uint32_t rdba)
{
    uint32_t used = get_le16(blk + SF_BLOCK_USED);
    if (used > bsz - SF_BLOCK_DATA) {
        fprintf(stderr, "LOB data block (ts#=%d, rdba=0x%08x) claims %u bytes, more than it holds.\n", tsn, rdba,
                used);
        lob_why("a SecureFile data block is damaged");
        return -1;
    }
    return (int)used;
}

void lob_bad_locator(const LOB *lob, const char *why)
{
    fprintf(stderr, "LOB locator of obj#=%d, col#=%d: %s.\n", (int)lob->objp, (int)lob->cid, why);
    lob_why("the LOB locator is damaged");
}
