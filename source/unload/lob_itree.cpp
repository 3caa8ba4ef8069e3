// The index trees of SecureFile LOBs, levels 1 to 4. Each level reads its
// node into a buffer of its own (level 1 into ibuf, then itree2..itree4), so
// a node stays whole while the levels below it are read.
#include <cstdio>

#include "lob_io.h"

static int read_itree(ULDR *ul, int tsn, uint32_t rdba, int level)
{
    uint8_t *buf = level == 1 ? ul->ibuf : level == 2 ? ul->itree2 : level == 3 ? ul->itree3 : ul->itree4;
    DATAFILE *df = lob_file(tsn, rdba);
    if (!df || lob_read(df, tsn, rdba, 1, buf) < 0)
        return -1;
    uint32_t bsz = df->bsz;
    uint8_t flag = buf[ITREE_FLAG];
    if (flag & ITREE_DATA) {
        int used = secure_used(buf, bsz, tsn, rdba);
        if (used < 0 || lob_room(ul, 2 + (size_t)used) < 0)
            return -1;
        if (used > 0)
            lob_piece(ul, buf + SF_BLOCK_DATA, (size_t)used);
        return 0;
    }
    if (!(flag & ITREE_NODE)) {
        fprintf(stderr, "block (ts#=%d, rdba=0x%08x) is not LOB itree.\n", tsn, rdba);
        lob_why("a LOB itree block is damaged");
        return -1;
    }
    int found = get_le16(buf + ITREE_LEVEL);
    if (found != level) {
        fprintf(stderr, "LOB itree node block level %d expected, but level %d obtained.\n", level, found);
        lob_why("a LOB itree block is damaged");
        return -1;
    }
    uint32_t count = get_le16(buf + ITREE_COUNT);
    size_t esz = level == 1 ? SF_EXTENT_SIZE : ITREE_BRANCH_SIZE;
    if (!in_bounds(ITREE_ENTRIES, count * esz, bsz)) {
        fprintf(stderr, "LOB itree node (ts#=%d, rdba=0x%08x) lists %u entries, more than it holds.\n", tsn, rdba,
                count);
        lob_why("a LOB itree block is damaged");
        return -1;
    }
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *e = buf + ITREE_ENTRIES + esz * i;
        int r = level == 1 ? read_secure_blocks(ul, tsn, get_le32(e + 4), get_le16(e + 2))
                           : read_itree(ul, tsn, get_le32(e + 8), level - 1);
        if (r < 0)
            return -1;
    }
    return 0;
}

int read_itree1_chunk(ULDR *ul, int tsn, uint32_t rdba) { return read_itree(ul, tsn, rdba, 1); }
int read_itree2_chunk(ULDR *ul, int tsn, uint32_t rdba) { return read_itree(ul, tsn, rdba, 2); }
int read_itree3_chunk(ULDR *ul, int tsn, uint32_t rdba) { return read_itree(ul, tsn, rdba, 3); }
int read_itree4_chunk(ULDR *ul, int tsn, uint32_t rdba) { return read_itree(ul, tsn, rdba, 4); }
