// kbuild: Segments
#pragma once

#include "kb_datafile.h"

namespace kb {

struct Extent {
    uint32_t dba = 0;   // rdba of the first block
    uint32_t len = 0;   // blocks
};

// A segment's space: header block, extents and the extent map blocks that
// continue the header's map.
struct Segment {
    uint8_t kind = 0x10;            // 0x10 free-list header (map at 92) or 0x23 automatic (map at 264)
    uint32_t objd = 0;
    uint32_t hdr = 0;               // rdba of the segment header
    std::vector<Extent> extents;
    int hdr_max = 0;                // extent entries in the header; 0: as many as fit
    int map_max = 0;                // extent entries per map block; 0: as many as fit
    std::vector<uint32_t> maps;     // rdbas of the extent map blocks (filled by plan_segment)
    std::vector<uint32_t> data;     // rdbas of the blocks free for rows, in walk order
    uint32_t hwm = 0;               // high-water mark: first block never used for rows; 0: after data
};

// Lays out a segment in datafile `df` from block `first` on: extents of the
// given lengths placed one after another. For kind 0x23 the first extent
// starts with a level-1 and a level-2 bitmap block, then the header; for 0x10
// the header is the first block. When the extents need more map entries than
// the header holds, further map blocks are taken from the first block of the
// extent that begins each map. Returns the next free block after the segment.
uint32_t plan_segment(Segment &s, const Datafile &df, uint32_t first, const std::vector<uint32_t> &ext_lens);
// Writes the segment header, bitmap blocks (0x23) and extent map blocks.
int write_segment_meta(Datafile &df, const Segment &s);
// Block image of the segment header or of extent map block i (0-based) alone.
void make_segment_header(uint8_t *blk, uint32_t bsz, const Segment &s);
void make_map_block(uint8_t *blk, uint32_t bsz, const Segment &s, size_t i);
// Extent entries a header of this kind, or a map block, holds in a block.
int header_capacity(uint8_t kind, uint32_t bsz);
int map_capacity(uint32_t bsz);

} // namespace kb
