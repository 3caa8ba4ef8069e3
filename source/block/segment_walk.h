// Walking a dictionary segment of the SYSTEM datafile: the segment header,
// its extents in map order, and the extent map blocks that continue the map.
#pragma once

#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/context.h"

// hdr holds one block, area max_blks blocks; visit(block) is called for every
// extent block in map order and stops the walk with a non-zero result.
// Returns 0, or -1 after one message.
template <class F>
int walk_dict_segment(uint32_t rdba, uint8_t *hdr, uint8_t *area, int max_blks, F visit)
{
    DATAFILE *df = g_ctx.sysf;
    if (df == nullptr || max_blks < 1)
        return -1;
    size_t bsz = df->bsz;
    // A map chain longer than the file has blocks runs in a circle.
    uint64_t maps = 0;
    for (uint32_t cur = rdba; cur != 0;) {
        if (read_extent_blocks(df, cur, 1, hdr) < 0) {
            fprintf(stderr, "read extent rdba=%x error.\n", cur);
            return -1;
        }
        MAPHDR mh;
        int off = read_extent_map(hdr, bsz, &mh);
        if (off == -1) {
            fprintf(stderr, "error block type: %x\n", hdr[offsetof(KCBH, type_kcbh)]);
            return -1;
        }
        if (off < 0)
            return -1;
        for (uint32_t i = 0; i < mh.nexts; i++) {
            EXTMAP e = extent_map_entry(hdr, off, i);
            uint32_t dba = e.ext_dba;
            for (uint32_t left = e.ext_len; left > 0;) {
                int n = left < (uint32_t)max_blks ? (int)left : max_blks;
                if (read_extent_blocks(df, dba, n, area) < 0) {
                    fprintf(stderr, "read extent rdba=%x error.\n", dba);
                    return -1;
                }
                for (int b = 0; b < n; b++)
                    if (visit(area + bsz * (size_t)b) != 0)
                        return -1;
                dba += (uint32_t)n;
                left -= (uint32_t)n;
            }
        }
        if (++maps > (uint64_t)df->blks + 1) {
            fprintf(stderr, "extent map chain of segment rdba=%x does not end.\n", rdba);
            return -1;
        }
        cur = mh.next;
    }
    return 0;
}
