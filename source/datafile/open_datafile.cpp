// Opening the listed datafiles: block 0 is verified and the datafile header
// (block 1) gives each file's numbers, size and block size.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "kelvo/block.h"
#include "kelvo/context.h"

// Oracle's block sizes: powers of two from 2 KiB to 32 KiB. Anything else in
// a header is damage, and would break every buffer sized from it.
static bool valid_block_size(uint32_t bsz)
{
    return bsz >= 2048 && bsz <= 32768 && (bsz & (bsz - 1)) == 0;
}

static int open_one(DATAFILE *df)
{
    df->fd = open(df->name, O_RDONLY | O_CLOEXEC);
    if (df->fd < 0) {
        fprintf(stderr, "open %s: %s\n", df->name, strerror(errno));
        return -1;
    }
    uint8_t *buf = g_ctx.wrk;
    long r = pread_full(df->fd, buf, DF_HEAD_SIZE, 0);
    if (r < 0) {
        fprintf(stderr, "read %s: %s\n", df->name, strerror(errno));
        return -1;
    }
    if (r < DF_HEAD_SIZE) {
        fprintf(stderr, "%s size too small.\n", df->name);
        return -1;
    }
    uint32_t blk0_sz = get_le32(buf + DF_BLK0_OFFSET + offsetof(DF_BLK0, blk0_sz));
    // Block 0 must hold its own header, have an even size for the check
    // value, and leave the whole datafile header inside the bytes read.
    if (blk0_sz < sizeof(KCBH) + sizeof(DF_BLK0) || (blk0_sz & 1) || blk0_sz > DF_HEAD_SIZE - sizeof(KCVFH)) {
        fprintf(stderr, "block 0 of \"%s\" has an invalid size %u.\n", df->name, blk0_sz);
        return -1;
    }
    if (check_sum(buf, (int)blk0_sz) != 0) {
        fprintf(stderr, "block 0 of \"%s\" check value error.\n", df->name);
        return -1;
    }
    const uint8_t *h = buf + blk0_sz;
    df->fno = get_le16(h + offsetof(KCVFH, kccfhfno));
    df->rfn = get_le32(h + offsetof(KCVFH, kcvfhrfn));
    df->tsn = get_le32(h + offsetof(KCVFH, kcvfhtsn));
    df->blks = get_le32(h + offsetof(KCVFH, kccfhfsz));
    df->bsz = get_le32(h + offsetof(KCVFH, kccfhbsz));
    df->blk0_sz = blk0_sz;
    if (!valid_block_size(df->bsz)) {
        fprintf(stderr, "datafile header of \"%s\" has an invalid block size %u.\n", df->name, df->bsz);
        return -1;
    }
    if (df->fno == 1) {
        g_ctx.sysf = df;
        g_ctx.sys.rootdba = get_le32(h + offsetof(KCVFH, rootdba));
    }
    if (df->rfn == DF_BIGFILE_RFN)
        df->flag |= DF_BIGFILE;
    return 0;
}

// A file that cannot be used is closed and taken out of the list, so that
// no block address ever leads to it: its blocks read as lying in no
// configured datafile.
static void leave_out(DATAFILE *df)
{
    if (df->fd >= 0)
        close(df->fd);
    df->fd = -1;
    fprintf(stderr, "datafile \"%s\" left out.\n", df->name);
}

int open_datafile(void)
{
    g_ctx.sysf = nullptr;
    g_ctx.sys.rootdba = 0;
    uint32_t listed = g_ctx.sys.nf, kept = 0;
    int sys = -1;
    for (uint32_t i = 0; i < listed; i++) {
        DATAFILE *df = &g_ctx.df[i];
        uint32_t root = g_ctx.sys.rootdba;
        g_ctx.sysf = nullptr;
        if (open_one(df) < 0) {
            g_ctx.sys.rootdba = root;
            leave_out(df);
            continue;
        }
        if (g_ctx.sysf)
            sys = (int)kept;
        if (kept != i)
            g_ctx.df[kept] = *df;
        kept++;
    }
    g_ctx.sys.nf = kept;
    g_ctx.sysf = sys >= 0 ? &g_ctx.df[sys] : nullptr;
    if (kept < listed)
        fprintf(stderr, "%u of %u listed datafiles opened.\n", kept, listed);
    if (g_ctx.sys.rootdba == 0)
        fprintf(stderr, "SYSTEM tablespace file not configured.\n");
    if (kept == 0) {
        fprintf(stderr, "no datafile could be opened.\n");
        return -1;
    }
    if (g_ctx.sys.rootdba == 0) {
        // Without the SYSTEM file the dictionary cannot be exported, but
        // dictionary files exported before still serve "load dict" and the
        // unload commands.
        fprintf(stderr, "warning: \"export dict\" cannot run; \"load dict\" reads the dictionary files in \"%s\".\n",
                g_ctx.par.dict_dir);
        g_ctx.sysf = nullptr;
    }
    return 0;
}
