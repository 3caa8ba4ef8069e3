// Feeds arbitrary bytes to the row decoder: the first bytes choose the
// table's shape (cluster index, columns and their kinds, extra head bytes),
// the rest are data blocks: the first is decoded, the others lie in a
// datafile where next rowids can lead (relative file 1, blocks 1 and up).
// The live rows are decoded, or the deleted rows, or those of an older data
// object.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "kelvo.h"

static const int BSZ = 512;
static const int MAXBLK = 8;

static int g_dump = -1;
static DATAFILE g_df;
static TAB g_tab;
static COL g_cols[16];

static void setup()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
    char dir[] = "/tmp/kelvo_fuzz_XXXXXX";
    if (!mkdtemp(dir))
        abort();
    snprintf(g_ctx.par.data_dir, sizeof(g_ctx.par.data_dir), "%s", dir);
    g_dump = open("/dev/null", O_WRONLY);
    g_df.fd = memfd_create("blocks", 0);
    g_df.rfn = 1;
    g_df.fno = 1;
    g_df.tsn = 0;
    g_df.bsz = BSZ;
    g_df.blk0_sz = BSZ;
    g_df.blks = MAXBLK;
    g_ctx.df = &g_df;
    g_ctx.sys.nf = 1;
    g_ctx.col = g_cols;
    g_ctx.sys.ncol = 16;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    setup();
    if (size < 4 + BSZ)
        return 0;
    // Shape: tabn, flags, number of columns, then one kind byte per column.
    int ncol = 1 + data[2] % 16;
    if (size < 3 + (size_t)ncol + BSZ)
        return 0;
    memset(&g_tab, 0, sizeof(g_tab));
    g_tab.tabn = data[0] % 3;
    g_tab.flag = (data[1] & 1) ? 0x10000 : 0;
    g_tab.tcol = (uint32_t)ncol;
    int nlob = 0;
    for (int i = 0; i < ncol; i++) {
        COL &c = g_cols[i];
        memset(&c, 0, sizeof(c));
        c.cid = (uint32_t)i + 1;
        uint8_t k = data[3 + i];
        c.ctyp = k % 5 == 1 ? 8 : k % 5 == 2 ? 113 : 1;
        if (k % 5 == 3)
            c.flag = 0x1;
        if (k % 5 == 4)
            c.flag = 0x10000;
        nlob += c.ctyp == 113;
    }
    const uint8_t *blocks = data + 3 + ncol;
    size_t nblk = (size_t)(data + size - blocks) / BSZ;
    if (nblk > MAXBLK)
        nblk = MAXBLK;
    // Block 0 of the file is unused; input block i is file block i.
    if (ftruncate(g_df.fd, 0) < 0 || ftruncate(g_df.fd, (off_t)BSZ * MAXBLK) < 0)
        abort();
    for (size_t i = 1; i < nblk; i++)
        if (pwrite(g_df.fd, blocks + i * BSZ, BSZ, (off_t)(i * BSZ)) != BSZ)
            abort();

    ULDR ul;
    memset(&ul, 0, sizeof(ul));
    ul.fd = g_dump;
    ul.lfd = -1;
    ul.long_col = -1;
    ul.tabp = &g_tab;
    ul.tabn = (int)g_tab.tabn;
    ul.nlob = nlob;
    ul.tsn = 0;
    ul.data_ofs = 1536;
    ul.objd = (data[1] & 2) ? get_le32(blocks + 24) : 0;
    // Flag 4: the deleted rows are taken (each one's pieces checked before
    // it is decoded); flag 8: the blocks of an older data object.
    RECOVER rec{};
    if (data[1] & 0xC) {
        rec.take = (data[1] & 4) ? TAKE_DELETED : TAKE_TRUNCATED;
        ul.rec = &rec;
        if (rec.take == TAKE_TRUNCATED)
            ul.objd = get_le32(blocks + 24) + 1;
    }
    if (uldr_layout(&ul, BSZ) < 0)
        abort();
    // The decoded block is copied so that it lies where the segment walk puts it.
    memcpy(ul.rbuf, blocks, BSZ);
    process_data_block(&ul, ul.rbuf);
    if (ul.clen < 0 || ul.clen > ul.csz)
        abort();
    if (ul.lfd >= 0)
        close(ul.lfd);
    // The same blocks read as a segment header (block 1) and extent maps:
    // the check made before a segment is cut into ranges of blocks.
    static uint8_t hblk[BSZ];
    std::vector<uint32_t> lens;
    SEGWALK w;
    memset(&w, 0, sizeof(w));
    w.hdba = (1u << 22) | 1;
    w.hblk = hblk;
    w.bsz = BSZ;
    plain_extents(&w, &lens);
    return 0;
}
