// The segment walk: every extent of a segment, through the extent maps of its
// header block and of the map blocks chained after it, read in large batches
// and handed block by block to the row decoder.
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/unload.h"
#include "kelvo/context.h"

// More extent map blocks than any segment of a datafile could have.
static const uint32_t MAX_MAP_BLOCKS = 1u << 22;

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

static DATAFILE *segment_file(ULDR *ul, uint32_t rdba)
{
    DATAFILE *df = get_datafile(ul->tsn, (int)(rdba >> 22));
    if (!df)
        fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", ul->tsn, (int)(rdba >> 22));
    return df;
}

// Reads every block of one extent in batches and decodes them.
static int walk_extent(ULDR *ul, uint32_t dba, uint32_t len)
{
    while (len > 0) {
        DATAFILE *df = segment_file(ul, dba);
        if (!df)
            return -1;
        if ((int)df->bsz != ul->bsz) {
            fprintf(stderr, "extent at rdba=0x%08x lies in a datafile of another block size.\n", dba);
            return -1;
        }
        uint32_t n = len < (uint32_t)ul->rbufblks ? len : (uint32_t)ul->rbufblks;
        if (read_extent_blocks(df, dba, (int)n, ul->rbuf) < 0) {
            fprintf(stderr, "read extent (ts#=%d, rdba=0x%08x) error.\n", ul->tsn, dba);
            return -1;
        }
        for (uint32_t k = 0; k < n; k++)
            if (process_data_block(ul, ul->rbuf + (size_t)k * (size_t)ul->bsz) < 0)
                return -1;
        dba += n;
        len -= n;
    }
    return 0;
}

int unload_segment(ULDR *ul)
{
    if (ul->hdba == 0)
        return 0;
    DATAFILE *df = segment_file(ul, ul->hdba);
    if (!df || uldr_layout(ul, (int)df->bsz) < 0)
        return -1;
    for (uint32_t nmap = 0;; nmap++) {
        if (nmap >= MAX_MAP_BLOCKS) {
            fprintf(stderr, "extent map chain at rdba=0x%08x is too long.\n", ul->hdba);
            return -1;
        }
        if (read_extent_blocks(df, ul->hdba, 1, ul->hblk) < 0) {
            fprintf(stderr, "read extent (ts#=%d, rdba=0x%08x) error.\n", ul->tsn, ul->hdba);
            return -1;
        }
        int map_at = extent_map_offset(ul->hblk[offsetof(KCBH, type_kcbh)]);
        if (map_at < 0) {
            fprintf(stderr, "error block type: %x\n", ul->hblk[offsetof(KCBH, type_kcbh)]);
            return -1;
        }
        size_t moff = (size_t)map_at;
        const uint8_t *mh = ul->hblk + moff;
        uint32_t nexts = get_le32(mh + offsetof(MAPHDR, nexts));
        uint32_t next = get_le32(mh + offsetof(MAPHDR, next));
        uint32_t fits = (uint32_t)(((size_t)ul->bsz - moff - sizeof(MAPHDR)) / sizeof(EXTMAP));
        if (nexts > fits) {
            fprintf(stderr, "extent map at rdba=0x%08x lists %u extents, the block holds %u.\n", ul->hdba, nexts,
                    fits);
            nexts = fits;
        }
        // The map is copied out extent by extent: hblk stays untouched while
        // the extents are read.
        for (uint32_t i = 0; i < nexts; i++) {
            const uint8_t *e = mh + sizeof(MAPHDR) + sizeof(EXTMAP) * i;
            uint32_t dba = get_le32(e + offsetof(EXTMAP, ext_dba));
            uint32_t len = get_le32(e + offsetof(EXTMAP, ext_len));
            if (walk_extent(ul, dba, len) < 0)
                return -1;
        }
        if (next == 0)
            return write_cache(ul);
        if (next == ul->hdba) {
            fprintf(stderr, "extent map at rdba=0x%08x names itself as the next one.\n", next);
            return -1;
        }
        ul->hdba = next;
        df = segment_file(ul, next);
        if (!df || ((int)df->bsz != ul->bsz && uldr_layout(ul, (int)df->bsz) < 0))
            return -1;
    }
}
