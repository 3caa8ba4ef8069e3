// The database writer: segments sized to their rows, planned in their
// tablespace's datafiles and written, the user tables' segments first.
#include "db_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kb::detail {

size_t Builder::row_bytes(const std::vector<LogicalRow> &rows)
{
    size_t n = 0;
    for (const LogicalRow &r : rows) {
        Piece p;
        p.cols = r.cols;
        n += piece_size(p) + 12 + (r.layout == RowLayout::Migrated ? 12 : 0);
    }
    return n;
}

uint32_t Builder::estimate(const SegJob &j, uint32_t bsz) const
{
    size_t bytes = row_bytes(j.rows);
    for (const ClusterMember &m : j.members)
        bytes += row_bytes(m.rows);
    for (const auto &k : j.keys) {
        Piece p;
        p.cols = k;
        bytes += piece_size(p) + 24;
    }
    size_t usable = bsz * (100 - (size_t)std::clamp(j.bo.pctfree, 0, 90)) / 100;
    usable = usable > 400 ? usable - 300 : 100;
    return (uint32_t)(bytes / usable + 2);
}

// Lays the job's segment out from the file's next free block with room
// for `data` data blocks; returns the block after it.
uint32_t Builder::plan(SegJob &j, FileAlloc &fa, uint32_t start, uint32_t data)
{
    j.seg = Segment{};
    j.seg.kind = j.kind;
    j.seg.objd = j.objd;
    j.seg.hdr_max = j.so.hdr_max;
    j.seg.map_max = j.so.map_max;
    if (j.raw_type)
        return plan_segment(j.seg, fa.df, start, {1});
    if (!j.so.extents.empty())
        return plan_segment(j.seg, fa.df, start, j.so.extents);
    uint32_t ext = (uint32_t)std::max(j.so.ext_blocks, j.kind == 0x23 ? 4 : 2);
    uint32_t n = 1;
    for (int pass = 0; pass < 4; pass++) {
        Segment probe;
        probe.kind = j.kind;
        probe.hdr_max = j.so.hdr_max;
        probe.map_max = j.so.map_max;
        std::vector<uint32_t> lens(n, ext);
        plan_segment(probe, fa.df, start, lens);
        uint32_t have = (uint32_t)probe.data.size();
        if (have >= data)
            break;
        n += (data - have + ext - 1) / ext;
    }
    return plan_segment(j.seg, fa.df, start, std::vector<uint32_t>(n, ext));
}

int Builder::pack(SegJob &j, FileAlloc &fa, bool dry)
{
    if (j.raw_type) {
        if (dry)
            return 0;
        std::vector<uint8_t> blk(fa.df.d.bsz, 0);
        init_block(blk.data(), fa.df.d.bsz, (uint8_t)j.raw_type, j.seg.hdr);
        return df_write_block(fa.df, fa.df.block_of(j.seg.hdr), blk.data());
    }
    if (j.cluster)
        return write_cluster(fa.df, j.seg, j.keys, j.members, j.bo, dry ? nullptr : j.mplaces, dry);
    return write_heap_table(fa.df, j.seg, j.rows, j.bo, dry ? nullptr : j.places, dry);
}

// Sizes, plans and writes one segment in file fa.
int Builder::write_job(SegJob &j, FileAlloc &fa)
{
    uint32_t data = estimate(j, fa.df.d.bsz);
    for (int tries = 0; tries < 24; tries++) {
        uint32_t end = plan(j, fa, fa.next, data);
        if (df_grow(fa.df, end))
            return -1;
        int rc = pack(j, fa, true);
        if (rc == -2 && !j.so.extents.empty()) {
            fprintf(stderr, "builder: the rows of object %u do not fit the extents given\n", j.objd);
            return -1;
        }
        if (rc == -2) {
            data = data * 2 + 1;
            continue;
        }
        if (rc < 0 || pack(j, fa, false) < 0)
            return -1;
        fa.next = end;
        return 0;
    }
    fprintf(stderr, "builder: segment of object %u cannot be sized\n", j.objd);
    return -1;
}

void Builder::out_addr(const FileAlloc &fa, const Segment &s, uint32_t &tsn, uint32_t &fno, uint32_t &blk)
{
    tsn = fa.tsn;
    fno = fa.df.d.rfn;
    blk = fa.df.block_of(s.hdr);
}

int Builder::user_segments()
{
    // User clusters with their member tables, in description order.
    for (DbCluster &c : db_.clusters) {
        if (c.system)
            continue;
        SegJob j;
        j.kind = c.seg_kind;
        j.objd = c.objd;
        j.so = c.seg;
        j.bo = c.opts;
        j.cluster = true;
        j.keys = c.keys;
        uint32_t tabn = 1;
        for (DbTable &t : db_.tables) {
            if (t.system || t.cluster != c.name)
                continue;
            t.tabn = tabn++;
            ClusterMember m;
            m.rows = t.rows;
            m.key_of = t.row_keys;
            m.extra6 = (t.tab_flags & 0x800000) || (c.flags & 0x800000) || t.opts.extra6;
            j.members.push_back(m);
        }
        std::vector<std::vector<RowPlace>> mp;
        j.mplaces = &mp;
        FileAlloc *fa = file_for(c.tablespace);
        if (!fa || write_job(j, *fa))
            return -1;
        out_addr(*fa, j.seg, c.tsn, c.fno, c.blk);
        c.segment = j.seg;
        size_t m = 0;
        for (DbTable &t : db_.tables)
            if (!t.system && t.cluster == c.name) {
                out_addr(*fa, j.seg, t.tsn, t.fno, t.blk);
                t.segment = j.seg;
                if (m < mp.size())
                    t.places = mp[m++];
            }
    }
    for (DbTable &t : db_.tables) {
        if (t.system)
            continue;
        if (!t.cluster.empty()) {
            if (has_lob_refs(t)) {
                fprintf(stderr, "builder: table %s: LOB values in a clustered table are not written\n",
                        t.name.c_str());
                return -1;
            }
            continue;
        }
        const DbTablespace *ts = tablespace(t.tablespace);
        if (!ts)
            return -1;
        t.tsn = ts->tsn;
        // The LOB segments and indexes first: the rows store the locators.
        std::vector<std::vector<uint8_t>> locs;
        if (lob_segments(t, locs))
            return -1;
        if (t.parts.empty() && !t.no_segment) {
            if (heap_segment(t, nullptr, t.tablespace, with_locators(t.rows, locs), t.tsn, t.fno, t.blk,
                             &t.places, &t.segment))
                return -1;
        }
        for (DbPart &p : t.parts) {
            std::string tsname = p.tablespace.empty() ? t.tablespace : p.tablespace;
            const DbTablespace *pts = tablespace(tsname);
            if (!pts)
                return -1;
            p.tsn = pts->tsn;
            if (!t.composite) {
                if (heap_segment(t, &p, tsname, with_locators(p.rows, locs), p.tsn, p.fno, p.blk,
                                 &p.places, &p.segment))
                    return -1;
                continue;
            }
            for (DbPart &s : p.subparts) {
                std::string sts = s.tablespace.empty() ? tsname : s.tablespace;
                if (heap_segment(t, &s, sts, with_locators(s.rows, locs), s.tsn, s.fno, s.blk,
                                 &s.places, &s.segment))
                    return -1;
            }
        }
    }
    return 0;
}

// The segment of a heap table, or of its partition or subpartition p.
int Builder::heap_segment(const DbTable &t, const DbPart *p, const std::string &tsname,
                          const std::vector<LogicalRow> &rows, uint32_t &tsn, uint32_t &fno, uint32_t &blk,
                          std::vector<RowPlace> *places, Segment *segment)
{
    SegJob j;
    j.kind = p && p->seg_kind ? p->seg_kind : t.seg_kind;
    j.objd = p ? p->objd : t.objd;
    j.so = t.seg;
    if (p && !p->extents.empty())
        j.so.extents = p->extents;
    j.bo = t.opts;
    j.bo.extra6 = j.bo.extra6 || (t.tab_flags & 0x800000);
    j.rows = rows;
    j.places = places;
    FileAlloc *fa = file_for(tsname);
    if (!fa || write_job(j, *fa))
        return -1;
    out_addr(*fa, j.seg, tsn, fno, blk);
    *segment = j.seg;
    return 0;
}

} // namespace kb::detail
