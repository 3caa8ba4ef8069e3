// The extent map of segment headers and extent map blocks.
#include <cstdio>

#include "kelvo/block.h"

int extent_map_offset(uint8_t type)
{
    switch (type) {
    case BLOCK_TYPE_SEGHDR_FL:
        return MAPHDR_OFFSET_SEGHDR_FL;
    case BLOCK_TYPE_SEGHDR_ASSM:
        return MAPHDR_OFFSET_SEGHDR_ASSM;
    case BLOCK_TYPE_EXTMAP_FL:
    case BLOCK_TYPE_EXTMAP_ASSM:
        return MAPHDR_OFFSET_EXTMAP;
    default:
        return -1;
    }
}

int read_extent_map(const uint8_t *blk, size_t bsz, MAPHDR *mh)
{
    if (bsz < sizeof(KCBH))
        return -1;
    int off = extent_map_offset(blk[offsetof(KCBH, type_kcbh)]);
    if (off < 0)
        return -1;
    uint32_t rdba = get_le32(blk + offsetof(KCBH, rdba_kcbh));
    if (!in_bounds((size_t)off, sizeof(MAPHDR), bsz)) {
        fprintf(stderr, "block rdba=0x%08x: extent map header beyond the block end.\n", rdba);
        return -2;
    }
    const uint8_t *h = blk + off;
    mh->nexts = get_le32(h + offsetof(MAPHDR, nexts));
    mh->next = get_le32(h + offsetof(MAPHDR, next));
    mh->objd = get_le32(h + offsetof(MAPHDR, objd));
    mh->flag = get_le32(h + offsetof(MAPHDR, flag));
    size_t first = (size_t)off + sizeof(MAPHDR);
    if ((bsz - first) / sizeof(EXTMAP) < mh->nexts) {
        fprintf(stderr, "block rdba=0x%08x: extent map of %u extents beyond the block end.\n", rdba, mh->nexts);
        return -2;
    }
    return (int)first;
}
