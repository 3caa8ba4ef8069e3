// BasicFile LOBs: data inline in the locator, chunks addressed by the
// locator's twelve chunk rdbas, and the rest through the LOB index; and the
// chunk reader that turns LOB data blocks into pieces.
#include <cstdio>

#include "lob_io.h"

int process_basic_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen)
{
    if (lob_value_head(ul, loc) < 0)
        return -1;
    if (!(loc->flg2 & LOC_INODE))
        return read_index_chunk(ul, lob, loc, 0);
    if (llen < LOC_DATA_OFFSET) {
        lob_bad_locator(lob, "ends inside its inode");
        return -1;
    }
    uint8_t *l = (uint8_t *)loc;
    INODE *ino = (INODE *)(l + LOC_INODE_OFFSET);
    uint32_t blks = get_be32(ino->blks);
    uint16_t bytes = get_be16(ino->bytes);
    // The counts stay in the slot in host order: read_index_chunk takes
    // them from there.
    memcpy(ino->blks, &blks, sizeof(blks));
    memcpy(ino->bytes, &bytes, sizeof(bytes));
    const uint8_t *data = l + LOC_DATA_OFFSET;
    uint32_t room = llen - LOC_DATA_OFFSET;

    if (blks == 0 && bytes <= LOB_INLINE_MAX) {
        if (bytes > room) {
            lob_bad_locator(lob, "inline data runs past the locator");
            return -1;
        }
        if (bytes > 0) {
            if (lob_room(ul, 2 + (size_t)bytes) < 0)
                return -1;
            lob_piece(ul, data, bytes);
        }
        return 0;
    }
    if (lob->chunk == 0) {
        lob_bad_locator(lob, "the LOB has a chunk size of 0 blocks");
        return -1;
    }
    uint32_t chunks = blks / lob->chunk, rem = blks % lob->chunk;
    uint32_t in_chunks = chunks < LOC_CHUNKS ? chunks : LOC_CHUNKS;
    bool tail = in_chunks < LOC_CHUNKS && (rem != 0 || bytes != 0);
    if ((in_chunks + (tail ? 1 : 0)) * 4 > room) {
        lob_bad_locator(lob, "chunk addresses run past the locator");
        return -1;
    }
    if (read_chunk_list(ul, (int)lob->tsn, data, in_chunks, (int)lob->chunk) < 0)
        return -1;
    if (chunks == LOC_CHUNKS && rem == 0 && bytes == 0)
        return 0;
    if (in_chunks == LOC_CHUNKS)
        return read_index_chunk(ul, lob, loc, LOC_CHUNKS);
    if (!tail)
        return 0;
    return read_chunk_data(ul, (int)lob->tsn, get_be32(data + 4 * in_chunks), (int)rem, bytes);
}

// Appends one piece made of n whole blocks at blk and `bytes` bytes of the
// block after them. blk lies in the cache at or after clen (or in lbuf): the
// data moves down over the blocks' headers.
static int put_blocks(ULDR *ul, const uint8_t *blk, uint32_t bsz, int n, int bytes)
{
    uint32_t dsz = bsz - LOB_BLOCK_OVERHEAD;
    size_t len = (size_t)n * dsz + (size_t)bytes;
    if (len == 0)
        return 0;
    if (lob_room(ul, 2 + len) < 0)
        return -1;
    uint8_t *p = ul->cache + ul->clen;
    put_be16(p, (uint16_t)len);
    p += 2;
    for (int k = 0; k <= n; k++) {
        size_t m = k < n ? dsz : (size_t)bytes;
        memmove(p, blk + (size_t)k * bsz + LOB_BLOCK_HEAD, m);
        p += m;
    }
    ul->clen += (int)(2 + len);
    return 0;
}

// Reads nchunks chunks of cblks blocks each lying one after another from
// rdba, the last followed by `bytes` bytes of one more block, in runs of many
// blocks. A chunk whose blocks do not fit the 32 KiB of a piece (large
// chunks, large blocks) is written as several pieces of whole blocks; the
// bytes of the final partial block join the last of them when its block fits
// too.
static int read_chunks(ULDR *ul, int tsn, uint32_t rdba, int nchunks, int cblks, int bytes)
{
    DATAFILE *df = lob_file(tsn, rdba);
    if (!df)
        return -1;
    uint32_t bsz = df->bsz;
    if (cblks < 0 || bytes < 0 || (uint32_t)bytes > bsz - LOB_BLOCK_OVERHEAD) {
        fprintf(stderr, "LOB chunk (ts#=%d, rdba=0x%08x) of %d blocks and %d bytes does not fit its blocks.\n",
                tsn, rdba, cblks, bytes);
        lob_why("a LOB chunk does not fit its blocks");
        return -1;
    }
    int batch = (int)(ULDR_LOB_BUF / bsz);
    int64_t total = (int64_t)nchunks * cblks + (bytes > 0 ? 1 : 0);
    int64_t pos = 0; // blocks taken so far
    LOB_RUN run;
    run.n = 0;
    int64_t run_at = 0;
    for (int c = 0; c < nchunks; c++) {
        int blks = cblks, tail = c == nchunks - 1 ? bytes : 0;
        while (blks > 0 || tail > 0) {
            int n = blks < batch ? blks : batch;
            bool with_tail = n == blks && tail > 0 && n < batch;
            int want = n + (with_tail ? 1 : 0);
            if (pos + want > run_at + run.n) {
                int64_t left = total - pos;
                if (lob_run_read(ul, df, rdba + (uint32_t)pos, left < INT32_MAX ? (int)left : INT32_MAX, batch,
                                 &run) < 0)
                    return -1;
                run_at = pos;
            }
            int k = (int)(pos - run_at);
            if (lob_run_take(&run, df, tsn, k, want) < 0)
                return -1;
            if (put_blocks(ul, run.blk + (size_t)k * bsz, bsz, n, with_tail ? tail : 0) < 0)
                return -1;
            pos += want;
            blks -= n;
            if (with_tail)
                tail = 0;
        }
    }
    return 0;
}

int read_chunk_data(ULDR *ul, int tsn, uint32_t rdba, int blks, int bytes)
{
    return read_chunks(ul, tsn, rdba, 1, blks, bytes);
}

int read_chunk_list(ULDR *ul, int tsn, const uint8_t *rdbas, uint32_t count, int cblks)
{
    uint32_t i = 0;
    while (i < count) {
        uint32_t first = get_be32(rdbas + 4 * i), j = i + 1;
        // Chunks one after another in the same file are read as one.
        while (j < count && cblks > 0 && get_be32(rdbas + 4 * j) == first + (j - i) * (uint32_t)cblks &&
               (get_be32(rdbas + 4 * j) >> 22) == (first >> 22))
            j++;
        if (read_chunks(ul, tsn, first, (int)(j - i), cblks, 0) < 0)
            return -1;
        i = j;
    }
    return 0;
}
