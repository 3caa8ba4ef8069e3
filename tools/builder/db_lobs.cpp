// The database writer: LOB segments and LOB indexes of a table, written
// before its rows so that the rows can store the locators.
#include "db_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kb::detail {

// The row sets of a table in the order their segments are written.
std::vector<const std::vector<LogicalRow> *> Builder::row_sets(const DbTable &t)
{
    std::vector<const std::vector<LogicalRow> *> out;
    if (t.parts.empty())
        out.push_back(&t.rows);
    for (const DbPart &p : t.parts) {
        if (!t.composite)
            out.push_back(&p.rows);
        for (const DbPart &s : p.subparts)
            out.push_back(&s.rows);
    }
    return out;
}

bool Builder::has_lob_refs(const DbTable &t)
{
    for (const std::vector<LogicalRow> *rows : row_sets(t))
        for (const LogicalRow &r : *rows)
            for (const Col &c : r.cols)
                if (c.lob >= 0)
                    return true;
    return false;
}

std::vector<LogicalRow> Builder::with_locators(const std::vector<LogicalRow> &rows,
                                               const std::vector<std::vector<uint8_t>> &locs)
{
    std::vector<LogicalRow> out = rows;
    for (LogicalRow &r : out)
        for (Col &c : r.cols)
            if (c.lob >= 0) {
                c.data = locs[(size_t)c.lob];
                c.null = false;
                c.lob = -1;
            }
    return out;
}

// The values the rows name, per LOB of the table (in row order), after
// checking that each reference is in a LOB column, names an existing
// value and that no value is named twice.
int Builder::lob_refs(const DbTable &t, std::vector<std::vector<size_t>> &per_lob)
{
    std::map<int, size_t> lob_at;   // stored column position -> index into t.lobs
    for (size_t i = 0; i < t.lobs.size(); i++)
        for (const DbColumn &c : t.cols)
            if (c.name == t.lobs[i].column) {
                // A VARCHAR2, NVARCHAR2 or RAW declared over 4000 bytes is an
                // extended type, stored as a LOB.
                bool extended = (c.type == 1 || c.type == 23) && c.length > 4000;
                if (c.type != 112 && c.type != 113 && !extended) {
                    fprintf(stderr, "builder: table %s: LOB storage for column %s of type %d\n",
                            t.name.c_str(), c.name.c_str(), c.type);
                    return -1;
                }
                if (c.segcol > 0)
                    lob_at[c.segcol - 1] = i;
            }
    per_lob.assign(t.lobs.size(), {});
    std::vector<bool> used(t.lob_values.size(), false);
    for (const std::vector<LogicalRow> *rows : row_sets(t))
        for (size_t r = 0; r < rows->size(); r++)
            for (size_t p = 0; p < (*rows)[r].cols.size(); p++) {
                int v = (*rows)[r].cols[p].lob;
                if (v < 0)
                    continue;
                auto it = lob_at.find((int)p);
                if (it == lob_at.end()) {
                    fprintf(stderr, "builder: table %s row %zu: LOB value %d in stored column %zu, which "
                                    "is not a LOB column\n", t.name.c_str(), r, v, p + 1);
                    return -1;
                }
                if ((size_t)v >= t.lob_values.size()) {
                    fprintf(stderr, "builder: table %s row %zu: LOB value %d of %zu\n", t.name.c_str(), r, v,
                            t.lob_values.size());
                    return -1;
                }
                if (used[(size_t)v]) {
                    fprintf(stderr, "builder: table %s: LOB value %d named by two rows\n", t.name.c_str(), v);
                    return -1;
                }
                used[(size_t)v] = true;
                per_lob[it->second].push_back((size_t)v);
            }
    return 0;
}

// Writes the LOB segment (its values) and the LOB index segment of every
// LOB of the table; locs[i] gets the locator of t.lob_values[i].
int Builder::lob_segments(DbTable &t, std::vector<std::vector<uint8_t>> &locs)
{
    std::vector<std::vector<size_t>> per_lob;
    if (lob_refs(t, per_lob))
        return -1;
    locs.assign(t.lob_values.size(), {});
    for (size_t li = 0; li < t.lobs.size(); li++) {
        DbLob &l = t.lobs[li];
        const std::string tsname = l.shape.tablespace.empty() ? t.tablespace : l.shape.tablespace;
        const DbTablespace *ts = tablespace(tsname);
        FileAlloc *fa = ts ? file_for(tsname) : nullptr;
        if (!fa)
            return -1;
        const uint32_t bsz = fa->df.d.bsz;
        uint64_t need = l.shape.dead_entries ? (uint64_t)std::max(l.chunk, 1) : 0;
        for (size_t v : per_lob[li]) {
            const LobValue &lv = t.lob_values[v];
            need += is_secure(lv.form) ? secure_blocks_needed(lv, bsz) : basic_blocks_needed(lv, l.chunk, bsz);
        }
        if (need > 0x3FFFFF) {
            fprintf(stderr, "builder: LOB segment of %s column %s: %llu blocks\n", t.name.c_str(),
                    l.column.c_str(), (unsigned long long)need);
            return -1;
        }

        // The LOB segment: its data area one run of consecutive blocks,
        // so extents are made large enough for the header to list them all.
        SegJob j;
        j.kind = t.seg_kind;
        j.objd = l.lobj;
        const uint32_t cap = (uint32_t)std::max(header_capacity(j.kind, bsz), 1);
        j.so.ext_blocks = std::max<int>(t.seg.ext_blocks, (int)(((uint32_t)need + 3 + cap - 1) / cap));
        uint32_t end = plan(j, *fa, fa->next, (uint32_t)need);
        const std::vector<uint32_t> &data = j.seg.data;
        for (size_t i = 1; i < data.size(); i++)
            if (fa->df.block_of(data[i]) != fa->df.block_of(data[0]) + i) {
                fprintf(stderr, "builder: LOB segment of object %u is not one run of blocks\n", l.lobj);
                return -1;
            }
        if (df_grow(fa->df, end) || write_segment_meta(fa->df, j.seg))
            return -1;
        fa->next = end;
        out_addr(*fa, j.seg, l.tsn, l.fno, l.blk);

        LobSpace sp;
        sp.df = &fa->df;
        sp.objd = l.lobj;
        sp.next = data.empty() ? 0 : fa->df.block_of(data[0]);
        sp.end = sp.next + (uint32_t)data.size();
        std::vector<LobIndexEntry> entries;
        uint32_t stale = 0;
        if (l.shape.dead_entries && write_stale_chunk(sp, std::max(l.chunk, 1), stale))
            return -1;
        uint32_t k = 0;
        for (size_t v : per_lob[li]) {
            const LobValue &lv = t.lob_values[v];
            const LobId id = lob_id(l.lobj, k++);
            if (is_secure(lv.form) ? write_secure_value(sp, lv, id, l.shape, locs[v])
                                   : write_basic_value(sp, lv, l.chunk, id, l.shape, locs[v], entries))
                return -1;
        }
        if (l.shape.dead_entries)
            add_dead_entries(entries, stale);

        // The LOB index, its root right after its segment header.
        FileAlloc *ia = file_for(tsname);
        if (!ia)
            return -1;
        SegJob ij;
        ij.kind = t.seg_kind;
        ij.objd = l.ind;
        ij.so = t.seg;
        ij.so.extents.clear();   // the extents given are the table's own
        uint32_t nblk = lob_index_blocks(entries.size(), l.shape, ia->df.d.bsz);
        uint32_t iend = plan(ij, *ia, ia->next, nblk);
        if (ij.seg.data.size() < nblk || ij.seg.data[0] != ij.seg.hdr + 1) {
            fprintf(stderr, "builder: LOB index of object %u: no room after its header\n", l.ind);
            return -1;
        }
        std::vector<uint32_t> iblocks;
        for (uint32_t i = 0; i < nblk; i++)
            iblocks.push_back(ia->df.block_of(ij.seg.data[i]));
        if (df_grow(ia->df, iend) || write_segment_meta(ia->df, ij.seg) ||
            write_lob_index(ia->df, iblocks, l.ind, entries, l.shape, ij.kind == 0x23))
            return -1;
        ia->next = iend;
        uint32_t itsn = 0;
        out_addr(*ia, ij.seg, itsn, l.ind_fno, l.ind_blk);
        for (DbIndex &x : db_.indexes)
            if (x.objn == l.ind) {
                x.tsn = itsn;
                x.fno = l.ind_fno;
                x.blk = l.ind_blk;
            }
    }
    return 0;
}

} // namespace kb::detail
