// Feeds arbitrary bytes to the block dump: the input is laid into an 8 KiB
// block (zeros after it), judged by verify's checks and printed; every
// offset the dump follows comes from these bytes. With one dictionary table
// whose data object number the input may name, its columns are decoded too.
#include <cstdio>
#include <cstdlib>

#include "kelvo.h"

static FILE *g_out;
static TAB g_tab;
static COL g_cols[4];

static void setup()
{
    if (g_out)
        return;
    g_out = fopen("/dev/null", "w");
    if (!g_out)
        abort();
    // A table of data object 1 with a NUMBER, a DATE, a VARCHAR2 and a CHAR.
    const uint32_t types[4] = {2, 12, 1, 96};
    for (uint32_t i = 0; i < 4; i++) {
        g_cols[i].objn = 1;
        g_cols[i].cid = g_cols[i].scid = i + 1;
        g_cols[i].ctyp = types[i];
        snprintf(g_cols[i].name, sizeof(g_cols[i].name), "C%u", i + 1);
    }
    g_tab.objn = g_tab.objd = 1;
    g_tab.tcol = g_tab.ncol = 4;
    g_ctx.tab = &g_tab;
    g_ctx.sys.ntab = 1;
    g_ctx.col = g_cols;
    g_ctx.sys.ncol = 4;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    setup();
    static uint8_t blk[8192];
    size_t n = size < sizeof(blk) ? size : sizeof(blk);
    memcpy(blk, data, n);
    memset(blk + n, 0, sizeof(blk) - n);
    uint32_t rdba = get_le32(blk + 4);
    verify_block(blk, sizeof(blk), rdba);
    dump_block(g_out, blk, sizeof(blk), rdba);
    // The same bytes as a block of the smallest size, so that offsets near
    // the end of an 8 KiB block lie past the end of this one.
    verify_block(blk, 2048, rdba);
    dump_block(g_out, blk, 2048, rdba);
    return 0;
}
