// Tables and clusters written alone into one datafile, without a dictionary:
// the segments of a description laid out one after another.
#include "kb_database.h"

namespace kb {

namespace {

// Lays out one segment at *next with the extents asked for.
void lay_out(Segment &s, const Datafile &df, uint32_t *next, uint8_t kind, uint32_t objd, const SegOpts &so,
             const std::vector<uint32_t> &extents)
{
    s = Segment{};
    s.kind = kind;
    s.objd = objd;
    s.hdr_max = so.hdr_max;
    s.map_max = so.map_max;
    std::vector<uint32_t> lens = extents;
    if (lens.empty())
        lens = so.extents.empty() ? std::vector<uint32_t>{(uint32_t)so.ext_blocks} : so.extents;
    *next = plan_segment(s, df, *next, lens);
}

void set_out(const Datafile &df, const Segment &s, uint32_t &tsn, uint32_t &fno, uint32_t &blk)
{
    tsn = df.d.tsn;
    fno = df.d.rfn;
    blk = df.block_of(s.hdr);
}

int write_part(Datafile &df, uint32_t *next, const DbTable &t, DbPart &p)
{
    lay_out(p.segment, df, next, p.seg_kind ? p.seg_kind : t.seg_kind, p.objd, t.seg, p.extents);
    set_out(df, p.segment, p.tsn, p.fno, p.blk);
    p.places.clear();
    BlockOpts o = t.opts;
    o.extra6 = o.extra6 || (t.tab_flags & 0x800000);
    return write_heap_table(df, p.segment, p.rows, o, &p.places);
}

} // namespace

int write_table(Datafile &df, uint32_t *next, DbTable &t)
{
    if (t.parts.empty()) {
        if (t.no_segment)
            return 0;
        lay_out(t.segment, df, next, t.seg_kind, t.objd, t.seg, {});
        set_out(df, t.segment, t.tsn, t.fno, t.blk);
        t.places.clear();
        BlockOpts o = t.opts;
        o.extra6 = o.extra6 || (t.tab_flags & 0x800000);
        return write_heap_table(df, t.segment, t.rows, o, &t.places);
    }
    for (DbPart &p : t.parts) {
        if (!t.composite) {
            if (write_part(df, next, t, p))
                return -1;
            continue;
        }
        for (DbPart &s : p.subparts)
            if (write_part(df, next, t, s))
                return -1;
    }
    return 0;
}

int write_cluster(Datafile &df, uint32_t *next, DbCluster &c, const std::vector<DbTable *> &members)
{
    lay_out(c.segment, df, next, c.seg_kind, c.objd, c.seg, {});
    set_out(df, c.segment, c.tsn, c.fno, c.blk);
    std::vector<ClusterMember> rows;
    uint32_t tabn = 1;
    for (DbTable *t : members) {
        t->tabn = tabn++;
        ClusterMember m;
        m.rows = t->rows;
        m.key_of = t->row_keys;
        m.extra6 = (t->tab_flags & 0x800000) || (c.flags & 0x800000) || t->opts.extra6;
        rows.push_back(m);
    }
    std::vector<std::vector<RowPlace>> places;
    if (write_cluster(df, c.segment, c.keys, rows, c.opts, &places))
        return -1;
    for (size_t m = 0; m < members.size(); m++) {
        DbTable &t = *members[m];
        t.segment = c.segment;
        set_out(df, c.segment, t.tsn, t.fno, t.blk);
        t.places = m < places.size() ? places[m] : std::vector<RowPlace>{};
    }
    return 0;
}

} // namespace kb
