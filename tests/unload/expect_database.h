// The dump of the tables of a database description, computed from the
// description alone: columns in segment column order, hidden ones (PROPERTY
// 0x20, 0x4000, 0x8000, but not invisible ones 0x400000020) and virtual ones
// (not stored) left out, rows of the table or of its partitions in
// order, key values of clustered rows from the cluster's keys. LOB columns
// get their value records from a function the caller gives (the piece split
// depends on the LOB's storage).
#pragma once

#include <algorithm>
#include <functional>
#include <map>

#include "kbuild.h"

#include "expect_dump.h"

namespace xd {

// The entry and value record of a LOB column holding `v` (v.lob names the
// table's lob_values entry).
using LobEntry = std::function<Value(const kb::DbTable &, const kb::DbColumn &, const kb::Col &v)>;

inline Table expect_table(const kb::Database &db, const kb::DbTable &t, const LobEntry &lob = nullptr)
{
    Table x;
    x.name = t.name;
    std::vector<const kb::DbColumn *> seg;
    for (const kb::DbColumn &c : t.cols)
        if (c.segcol != 0)
            seg.push_back(&c);
    std::stable_sort(seg.begin(), seg.end(), [](auto *a, auto *b) { return a->segcol < b->segcol; });
    auto hidden = [](const kb::DbColumn *c) {
        return (c->property & (0x20 | 0x4000 | 0x8000)) != 0 && (c->property & 0x400000020) != 0x400000020;
    };
    for (const kb::DbColumn *c : seg) {
        if (hidden(c))
            continue;
        x.cols.push_back({c->name, (uint32_t)c->type, (uint32_t)c->length, c->charsetform == 2});
        if (c->type == 8 || c->type == 24)
            x.flag |= 1;
        if (c->type == 112 || c->type == 113)
            x.nlob++;
    }
    if (x.nlob > 0)
        x.flag |= 2;
    const kb::DbCluster *clu = nullptr;
    for (const kb::DbCluster &c : db.clusters)
        if (c.name == t.cluster)
            clu = &c;
    auto add = [&](const std::vector<kb::LogicalRow> &rows) {
        for (size_t ri = 0; ri < rows.size(); ri++) {
            const kb::LogicalRow &r = rows[ri];
            if (r.layout == kb::RowLayout::Deleted || r.layout == kb::RowLayout::FreeSlot || r.deleted)
                continue;
            std::vector<kb::Col> vals;
            if (clu)
                vals = clu->keys[t.row_keys[ri]];
            size_t n = r.cols.size();
            while (n > 0 && r.cols[n - 1].null)
                n--;
            vals.insert(vals.end(), r.cols.begin(), r.cols.begin() + (long)n);
            Row row;
            for (size_t i = 0; i < vals.size() && i < seg.size(); i++) {
                if (hidden(seg[i]))
                    continue;
                const kb::Col &v = vals[i];
                if (v.null)
                    row.vals.push_back(null());
                else if (v.lob >= 0 && lob)
                    row.vals.push_back(lob(t, *seg[i], v));
                else if (seg[i]->type == 8 || seg[i]->type == 24)
                    row.vals.push_back(long_value(v.data));
                else
                    row.vals.push_back(data(v.data));
            }
            x.rows.push_back(row);
        }
    };
    if (t.parts.empty())
        add(t.rows);
    for (const kb::DbPart &p : t.parts) {
        add(p.rows);
        for (const kb::DbPart &s : p.subparts)
            add(s.rows);
    }
    return x;
}

inline Props props_of(const kb::Database &db)
{
    Props p;
    std::map<std::string, std::string> m;
    for (const kb::DbProp &d : db.props)
        m[d.name] = d.null_value ? "" : d.value;
    p.lang = m["NLS_LANGUAGE"];
    p.terr = m["NLS_TERRITORY"];
    p.cset = m["NLS_CHARACTERSET"];
    p.ncset = m["NLS_NCHAR_CHARACTERSET"];
    p.tz = m["DBTIMEZONE"];
    return p;
}

} // namespace xd
