// Writing the segments of user tables and clusters described logically.
#include "userdata.h"

namespace kb {

int write_user_table(Datafile &df, uint32_t *next, UserTable &t)
{
    for (UserSegment &s : t.segs) {
        s.seg = Segment{};
        s.seg.kind = s.kind;
        s.seg.objd = s.objd;
        *next = plan_segment(s.seg, df, *next, s.extents);
        s.places.clear();
        if (write_heap_table(df, s.seg, s.rows, t.opts, &s.places) < 0)
            return -1;
    }
    return 0;
}

int write_user_cluster(Datafile &df, uint32_t *next, UserCluster &c)
{
    c.seg = Segment{};
    c.seg.objd = c.objd;
    *next = plan_segment(c.seg, df, *next, c.extents);
    c.places.clear();
    return write_cluster(df, c.seg, c.keys, c.rows, c.opts, &c.places);
}

std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        b[i] = (uint8_t)('A' + (x >> 16) % 26);
    }
    return b;
}

} // namespace kb
