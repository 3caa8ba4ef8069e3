// libFuzzer target over the dictionary row decoders and the bootstrap block
// decoder. The input is a small datafile image: its first block is the block
// handed to the decoder, and every block of it can be the target of a
// forwarded or continued row. Byte 0 of the input picks the decoder and the
// table number, or the load of the input as the recycle bin's dictionary
// file.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "kelvo.h"

namespace {

constexpr uint32_t BSZ = 2048;
DATAFILE g_df;
uint8_t g_blk[BSZ], g_cblk[BSZ];
alignas(8) uint8_t g_rec[16 * 160];

void setup()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    char dir[] = "/tmp/kelvo_fuzz_dict_XXXXXX";
    if (mkdtemp(dir) == nullptr)
        abort();
    snprintf(g_ctx.par.dict_dir, sizeof(g_ctx.par.dict_dir), "%s", dir);
    snprintf(g_df.name, sizeof(g_df.name), "%s/system01.dbf", dir);
    g_df.fd = open(g_df.name, O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (g_df.fd < 0)
        abort();
    g_df.bsz = g_df.blk0_sz = BSZ;
    g_df.rfn = g_df.fno = 1;
    g_ctx.sysf = &g_df;
    g_ctx.fd = -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    setup();
    if (size < 2)
        return 0;
    uint8_t sel = data[0];
    data++;
    size--;
    // The image: block 0 is not readable by address, so the decoded block is
    // also block 1, and the rest follow it.
    if (ftruncate(g_df.fd, 0) != 0)
        return 0;
    size_t nblk = (size + BSZ - 1) / BSZ;
    if (nblk > 16)
        nblk = 16;
    std::vector<uint8_t> img((nblk + 1) * BSZ, 0);
    memcpy(img.data() + BSZ, data, size < nblk * BSZ ? size : nblk * BSZ);
    if (pwrite(g_df.fd, img.data(), img.size(), 0) != (ssize_t)img.size())
        return 0;
    g_df.blks = (uint32_t)nblk;
    memcpy(g_blk, img.data() + BSZ, BSZ);

    int tabn = (sel >> 4) & 0x7;
    int max_rows = 1 + (sel & 0x3);     // small batches: the batch writes run too
    int n = 0;
    uint8_t *c = g_cblk, *b = g_blk;
    switch (sel % 15) {
    case 0: process_user_block(c, b, (USER *)g_rec, tabn, max_rows, &n); break;
    case 1: process_ts_block(c, b, (TS *)g_rec, tabn, max_rows, &n); break;
    case 2: process_obj_block(c, b, (OBJ *)g_rec, tabn, max_rows, &n); break;
    case 3: process_tab_block(c, b, (TAB *)g_rec, tabn, max_rows, &n); break;
    case 4: process_clu_block(c, b, (CLU *)g_rec, tabn, max_rows, &n); break;
    case 5: process_col_block(c, b, (COL *)g_rec, tabn, max_rows, &n); break;
    case 6: process_ind_block(c, b, (LOBIDX *)g_rec, tabn, max_rows, &n); break;
    case 7: process_lob_block(c, b, (LOB *)g_rec, tabn, max_rows, &n); break;
    case 8: process_tabpart_block(c, b, (TABPART *)g_rec, tabn, max_rows, &n); break;
    case 9: process_tabsubpart_block(c, b, (TABSUBPART *)g_rec, tabn, max_rows, &n); break;
    case 10: process_tabcompart_block(c, b, (TABPART *)g_rec, tabn, max_rows, &n); break;
    case 11: process_props_block(c, b, (PROPS *)g_rec, tabn, max_rows, &n); break;
    case 12: process_recyclebin_block(c, b, (RECYCLED *)g_rec, tabn, max_rows, &n); break;
    case 13: {
        char path[1200];
        snprintf(path, sizeof(path), "%s/recyclebin.dat", g_ctx.par.dict_dir);
        FILE *f = fopen(path, "wb");
        if (f == nullptr)
            abort();
        fwrite(data, 1, size, f);
        fclose(f);
        if (load_recycle_bin() != 0)
            abort();
        char when[32];
        for (uint32_t i = 0; i < g_nrecycled; i++) {
            recycled_drop_time(&g_ctx.rbin[i], when, sizeof(when));
            if (strlen(g_ctx.rbin[i].name) >= sizeof(g_ctx.rbin[i].name) || strlen(when) > 19)
                abort();
        }
        break;
    }
    default: {
        int cap = bootstrap_block_slots(b, BSZ);
        std::vector<BOOTSTRAP> bs((size_t)cap + 1);
        if (process_bootstrap_block(b, bs.data(), 0) > cap)
            abort();
        break;
    }
    }
    if (n < 0 || n >= max_rows)
        abort();
    if (g_ctx.fd != -1) {
        close(g_ctx.fd);
        g_ctx.fd = -1;
    }
    return 0;
}
