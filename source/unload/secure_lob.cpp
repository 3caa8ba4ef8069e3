// SecureFile LOBs: data inline in the locator, an extent list in the
// locator, or a LOB header block that lists extents itself and through up to
// four levels of index-tree blocks.
#include <cstdio>

#include "lob_io.h"

int process_secure_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen)
{
    if (lob_value_head(ul, loc) < 0)
        return -1;
    const uint8_t *l = (const uint8_t *)loc;
    if (llen < 28) {
        lob_bad_locator(lob, "ends inside its SecureFile inode");
        return -1;
    }
    const SFH *sfh = (const SFH *)(l + sizeof(LOC));
    uint8_t flags = l[SF_FLAGS_OFFSET], skip = l[SF_FLAGS_OFFSET + 1];
    uint32_t n = flags & 0x0F;
    uint32_t pay = 30 + n + skip;
    if (28 + n + 1 > llen) {
        lob_bad_locator(lob, "ends inside its LOB length");
        return -1;
    }
    uint64_t size = 0;
    for (uint32_t i = 0; i <= n; i++)
        size = (size << 8) | l[28 + i];

    if (sfh->oflg & SF_INLINE) {
        uint32_t len = (uint32_t)(size & 0xFFFF);
        if (pay > llen || len > llen - pay) {
            lob_bad_locator(lob, "inline data runs past the locator");
            return -1;
        }
        if (len == 0)
            return 0;
        if (lob_room(ul, 2 + (size_t)len) < 0)
            return -1;
        lob_piece(ul, l + pay, len);
        return 0;
    }
    if (flags & SF_EXTENTS) {
        if (pay >= llen || ((size_t)l[pay] + 1) * 6 > llen - pay - 1) {
            lob_bad_locator(lob, "extent list runs past the locator");
            return -1;
        }
        uint32_t count = (uint32_t)l[pay] + 1;
        const uint8_t *e = l + pay + 1;
        for (uint32_t i = 0; i < count; i++, e += 6)
            if (read_secure_blocks(ul, (int)lob->tsn, get_be32(e + 1), e[5]) < 0)
                return -1;
        return 0;
    }
    if (flags & SF_HEADER) {
        if (pay > llen || 4 > llen - pay) {
            lob_bad_locator(lob, "header block address runs past the locator");
            return -1;
        }
        return read_secure_lhb(ul, (int)lob->tsn, get_be32(l + pay));
    }
    return 0;
}

int read_secure_blocks(ULDR *ul, int tsn, uint32_t rdba, int blks)
{
    if (blks <= 0)
        return 0;
    DATAFILE *df = lob_file(tsn, rdba);
    if (!df)
        return -1;
    size_t bsz = df->bsz;
    int batch = (int)(ULDR_LOB_BUF / bsz);
    int used[ULDR_LOB_BUF / 2048];
    LOB_RUN run;
    while (blks > 0) {
        if (lob_run_read(ul, df, rdba, blks, batch, &run) < 0)
            return -1;
        for (int k = 0; k < run.n; k += batch) {
            int n = run.n - k < batch ? run.n - k : batch;
            if (lob_run_take(&run, df, tsn, k, n) < 0)
                return -1;
            const uint8_t *blk = run.blk + (size_t)k * bsz;
            size_t len = 0;
            for (int i = 0; i < n; i++) {
                used[i] = secure_used(blk + (size_t)i * bsz, (uint32_t)bsz, tsn, rdba + (uint32_t)(k + i));
                if (used[i] < 0)
                    return -1;
                len += (size_t)used[i];
            }
            if (len == 0)
                continue;
            if (lob_room(ul, 2 + len) < 0)
                return -1;
            uint8_t *p = ul->cache + ul->clen;
            put_be16(p, (uint16_t)len);
            p += 2;
            // In the cache the data moves down over the blocks' headers.
            for (int i = 0; i < n; i++) {
                memmove(p, blk + (size_t)i * bsz + SF_BLOCK_DATA, (size_t)used[i]);
                p += used[i];
            }
            ul->clen += (int)(2 + len);
        }
        blks -= run.n;
        rdba += (uint32_t)run.n;
    }
    return 0;
}

int read_secure_lhb(ULDR *ul, int tsn, uint32_t hdba)
{
    DATAFILE *df = lob_file(tsn, hdba);
    if (!df || lob_read(df, tsn, hdba, 1, ul->ibuf) < 0)
        return -1;
    uint32_t count = get_le16(ul->ibuf + LHB_NEXT);
    if (!in_bounds(LHB_EXTENTS, (size_t)count * SF_EXTENT_SIZE, df->bsz)) {
        fprintf(stderr, "LOB header block (ts#=%d, rdba=0x%08x) lists %u extents, more than it holds.\n", tsn, hdba,
                count);
        lob_why("a LOB header block is damaged");
        return -1;
    }
    // The level-1 read overwrites ibuf: the tree roots are taken first.
    uint32_t itree[4];
    for (int k = 0; k < 4; k++)
        itree[k] = get_le32(ul->ibuf + LHB_ITREE + 4 * k);
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *e = ul->ibuf + LHB_EXTENTS + SF_EXTENT_SIZE * i;
        if (read_secure_blocks(ul, tsn, get_le32(e + 4), get_le16(e + 2)) < 0)
            return -1;
    }
    int (*const level[4])(ULDR *, int, uint32_t) = {read_itree1_chunk, read_itree2_chunk, read_itree3_chunk,
                                                    read_itree4_chunk};
    for (int k = 0; k < 4; k++) {
        if (itree[k] == 0)
            return 0;
        if (level[k](ul, tsn, itree[k]) < 0)
            return -1;
    }
    return 0;
}
