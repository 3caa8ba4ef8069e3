// The database writer: the rows of the dictionary tables (USER$, TS$,
// OBJ$, TAB$, CLU$, COL$, IND$, LOB$, the partition tables, PROPS$, FILE$,
// RECYCLEBIN$).
#include "db_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kb::detail {

// A dictionary table by name; the table list no longer changes once
// the rows are built, so the places are kept.
DbTable &Builder::systab(const char *name)
{
    if (systabs_.empty())
        for (DbTable &t : db_.tables)
            if (t.system)
                systabs_[t.name] = &t;
    auto it = systabs_.find(name);
    if (it == systabs_.end()) {
        fprintf(stderr, "builder: dictionary table %s missing\n", name);
        abort();
    }
    return *it->second;
}

LogicalRow Builder::shaped(std::vector<Col> cols, size_t i)
{
    LogicalRow r;
    r.cols = std::move(cols);
    int n = db_.shape.migrate_every;
    if (n > 0 && i % (size_t)n == (size_t)n - 1)
        r.layout = RowLayout::Migrated;
    return r;
}

LogicalRow Builder::plain(std::vector<Col> cols)
{
    LogicalRow r;
    r.cols = std::move(cols);
    return r;
}

// A row stored as its description says, when it says so.
LogicalRow Builder::stored(LogicalRow r, const RowStore &s)
{
    if (s.layout != RowLayout::Normal) {
        r.layout = s.layout;
        r.cuts = s.cuts;
    }
    return r;
}

// A row given column by column: filler values of every kind at the
// positions it does not name, so that a reader taking a column from the
// wrong position reads a wrong value.
LogicalRow Builder::dict_row(const DictRow &d)
{
    const DbTable &t = systab(d.table.c_str());
    std::vector<Col> fill;
    for (size_t i = 0; i < t.cols.size(); i++) {
        switch ((i + t.objn) % 4) {
        case 0: fill.push_back(col_num((int64_t)(i * 7 + t.objn))); break;
        case 1: fill.push_back(col_null()); break;
        case 2: fill.push_back(col_str("X" + std::to_string(i))); break;
        default: fill.push_back(col_bytes(ora_date(2024, 1, (int)(i % 28) + 1))); break;
        }
    }
    RowB r(t.cols, std::move(fill));
    for (const auto &c : d.cols)
        r.set(c.first.c_str(), c.second);
    return stored(plain(without_key(t, r.cols())), d.store);
}

// Given rows go to tables with segments of their own or to C_OBJ#.
int Builder::dict_rows_known()
{
    for (const DictRow &d : db_.dict_rows) {
        const DbTable *t = nullptr;
        for (const DbTable &x : db_.tables)
            if (x.system && x.name == d.table)
                t = &x;
        if (!t || !(t->cluster.empty() || t->cluster == "C_OBJ#")) {
            fprintf(stderr, "builder: no given rows for dictionary table %s\n", d.table.c_str());
            return -1;
        }
    }
    return 0;
}

// The stored part of a clustered dictionary row: the key columns left out.
std::vector<Col> Builder::without_key(const DbTable &t, std::vector<Col> full)
{
    size_t n = 0;
    for (size_t i = 0; i < full.size(); i++) {
        bool key = std::find(t.cluster_cols.begin(), t.cluster_cols.end(), t.cols[i].name) != t.cluster_cols.end();
        // Columns ahead of the first key column stay where they are: a
        // vector moved onto itself would be left empty.
        if (!key && n++ != i)
            full[n - 1] = std::move(full[i]);
    }
    full.resize(n);
    return full;
}

std::vector<Col> Builder::user_row(const DbUser &u)
{
    const DbTable &t = systab("USER$");
    const DbTablespace *d = tablespace(u.dts), *tt = tablespace(u.tts);
    RowB r(t.cols);
    r.n("USER#", u.uid).s("NAME", u.name).n("TYPE#", u.type);
    if (u.type == 1) {
        char pw[17];
        uint32_t h = 2166136261u;
        for (char ch : u.name)
            h = (h ^ (uint8_t)ch) * 16777619u;
        snprintf(pw, sizeof pw, "%08X%08X", h, h * 2654435761u);
        r.s("PASSWORD", pw);
    }
    r.n("DATATS#", d ? d->tsn : 0).n("TEMPTS#", tt ? tt->tsn : 0).d("CTIME").d("PTIME");
    r.n("RESOURCE$", 0).n("DEFROLE", 1).n("ASTATUS", u.astatus).n("LCOUNT", 0);
    if (u.type == 1)
        r.s("DEFSCHCLASS", "DEFAULT_CONSUMER_GROUP");
    r.n("SPARE1", 0);
    return r.cols();
}

std::vector<Col> Builder::ts_row(const DbTablespace &ts)
{
    RowB r(systab("TS$").cols);
    r.n("TS#", ts.tsn).s("NAME", ts.name).n("OWNER#", 0).n("ONLINE$", 1).n("CONTENTS$", ts.contents);
    r.n("BLOCKSIZE", ts.bsz ? ts.bsz : db_.bsz).n("INC#", 1).n("SCNWRP", 0).n("SCNBAS", 0).n("DFLMINEXT", 1);
    r.n("DFLMAXEXT", 2147483645).n("DFLINIT", 8).n("DFLINCR", 8).n("DFLMINLEN", 0).n("DFLEXTPCT", 0);
    r.n("DFLOGGING", 1).n("AFFSTRENGTH", 0).n("BITMAPPED", 8).n("PLUGGED", 0).n("DIRECTALLOWED", 1);
    r.n("FLAGS", ts.contents ? 0x1 : 0x829).n("SPARE1", 0);
    return r.cols();
}

std::vector<Col> Builder::obj_row(const DbObject &o)
{
    RowB r(systab("OBJ$").cols);
    r.n("OBJ#", o.objn);
    if (!o.null_objd)
        r.n("DATAOBJ#", o.objd);
    r.n("OWNER#", o.owner).s("NAME", o.name);
    r.n("NAMESPACE", o.type == 1 ? 4 : o.type == 21 ? 8 : 1);
    if (!o.subname.empty())
        r.s("SUBNAME", o.subname);
    r.n("TYPE#", o.type).d("CTIME").d("MTIME").d("STIME").n("STATUS", 1).n("FLAGS", o.flags);
    r.n("SPARE1", 6).n("SPARE2", 1).n("SPARE3", o.owner);
    return r.cols();
}

std::vector<Col> Builder::tab_row(DbTable &t)
{
    RowB r(systab("TAB$").cols);
    uint32_t prop = t.property;
    if (!t.cluster.empty())
        prop |= 0x400;
    if (!t.parts.empty())
        prop |= 0x20;
    if (!t.lobs.empty())
        prop |= 0x800;
    t.prop_out = prop;
    r.n("OBJ#", t.objn);
    if (t.parts.empty())
        r.n("DATAOBJ#", t.objd);
    r.n("TS#", t.tsn).n("FILE#", t.fno).n("BLOCK#", t.blk);
    if (!t.cluster.empty())
        r.n("BOBJ#", cluster(t.cluster)->objn).n("TAB#", t.tabn);
    // COLS counts the columns users see: hidden and unused ones are only
    // in INTCOLS (and KERNELCOLS while stored).
    int64_t visible = std::count_if(t.cols.begin(), t.cols.end(),
                                    [](const DbColumn &c) { return !(c.property & (0x20 | 0x4000 | 0x8000)); });
    r.n("COLS", visible);
    if (!t.cluster.empty())
        r.n("CLUCOLS", (int64_t)t.cluster_cols.size());
    r.n("PCTFREE$", t.opts.pctfree).n("PCTUSED$", 40).n("INITRANS", 1).n("MAXTRANS", 255);
    r.n("FLAGS", t.tab_flags).s("AUDIT$", std::string(38, '-'));
    r.n("INTCOLS", (int64_t)t.cols.size()).n("KERNELCOLS", (int64_t)t.cols.size());
    r.n("PROPERTY", prop).n("TRIGFLAG", 0).n("SPARE1", 736);
    return r.cols();
}

std::vector<Col> Builder::clu_row(const DbCluster &c)
{
    RowB r(systab("CLU$").cols);
    r.n("OBJ#", c.objn).n("DATAOBJ#", c.objd).n("TS#", c.tsn).n("FILE#", c.fno).n("BLOCK#", c.blk);
    r.n("COLS", (int64_t)c.key.size()).n("PCTFREE$", 10).n("PCTUSED$", 40).n("INITRANS", 2);
    r.n("MAXTRANS", 255);
    if (c.system)
        r.n("SIZE$", 800);
    r.n("HASHKEYS", 0).n("FLAGS", c.flags).n("SPARE1", 0);
    return r.cols();
}

std::vector<Col> Builder::col_row(uint32_t objn, const DbColumn &c)
{
    RowB r(systab("COL$").cols);
    int len = type_length(c), form = charsetform_of(c);
    // An invisible column (hidden, user-generated) has no COL#; its
    // INTCOL# and SEGCOL# stay.
    bool invisible = (c.property & 0x400000020) == 0x400000020;
    r.n("OBJ#", objn).n("COL#", invisible ? 0 : c.colno).n("SEGCOL#", c.segcol).n("SEGCOLLENGTH", len).n("OFFSET", 0);
    r.s("NAME", c.name).n("TYPE#", c.type).n("LENGTH", len).n("FIXEDSTORAGE", 0);
    if (c.precision >= 0)
        r.n("PRECISION#", c.precision);
    if (c.scale >= 0)
        r.n("SCALE", c.scale);
    r.n("NULL$", c.nullable ? 0 : 1);
    if (!c.default_text.empty())
        r.n("DEFLENGTH", (int64_t)c.default_text.size()).s("DEFAULT$", c.default_text);
    r.n("INTCOL#", c.colno).n("PROPERTY", (int64_t)c.property);
    r.n("CHARSETID", form == 2 ? 2000 : form == 1 ? 873 : 0).n("CHARSETFORM", form);
    r.n("SPARE1", 0).n("SPARE2", 0).n("SPARE3", is_char_type(c.type) ? len : 0);
    return r.cols();
}

std::vector<Col> Builder::ind_row(const DbIndex &x)
{
    RowB r(systab("IND$").cols);
    r.n("OBJ#", x.objn).n("DATAOBJ#", x.objn).n("TS#", x.tsn).n("FILE#", x.fno).n("BLOCK#", x.blk);
    r.n("BO#", x.bo).n("INDMETHOD#", 0).n("COLS", 1).n("PCTFREE$", 10).n("INITRANS", 2).n("MAXTRANS", 255);
    r.n("TYPE#", x.type).n("FLAGS", x.type == 8 ? 0x802 : 0).n("PROPERTY", x.type == 1 ? 0 : 1);
    r.n("INTCOLS", 1).n("SPARE1", 0);
    return r.cols();
}

std::vector<Col> Builder::lob_row(const DbTable &t, const DbLob &l)
{
    RowB r(systab("LOB$").cols);
    r.n("OBJ#", t.objn).n("COL#", l.colno).n("INTCOL#", l.colno).n("LOBJ#", l.lobj).n("PART#", 0);
    r.n("IND#", l.ind).n("TS#", l.tsn).n("FILE#", l.fno).n("BLOCK#", l.blk).n("CHUNK", l.chunk);
    r.n("PCTVERSION$", 10).n("FLAGS", l.flags).n("PROPERTY", l.property).n("RETENTION", 900);
    r.n("FREEPOOLS", 0);
    return r.cols();
}

// C_OBJ#: for every object number, in ascending order, its TAB$, CLU$,
// IND$ (by BO#), COL$ and LOB$ rows.
void Builder::obj_cluster(SegJob &j)
{
    std::map<uint32_t, size_t> keyix;
    std::vector<uint32_t> objs;
    for (const DbTable &t : db_.tables)
        objs.push_back(t.objn);
    for (const DbCluster &c : db_.clusters)
        objs.push_back(c.objn);
    for (const DbIndex &x : db_.indexes)
        objs.push_back(x.bo);
    for (const DictRow &d : db_.dict_rows)
        if (!systab(d.table.c_str()).cluster.empty())
            objs.push_back(d.key);
    std::sort(objs.begin(), objs.end());
    objs.erase(std::unique(objs.begin(), objs.end()), objs.end());
    for (uint32_t o : objs) {
        keyix[o] = j.keys.size();
        j.keys.push_back({col_num(o)});
    }
    j.members.assign(6, ClusterMember{});
    auto add = [&](size_t m, uint32_t key, const char *tab, std::vector<Col> full, size_t i) {
        ClusterMember &cm = j.members[m];
        cm.rows.push_back(shaped(without_key(systab(tab), std::move(full)), i));
        cm.key_of.push_back(keyix[key]);
    };
    size_t nt = 0, nc = 0;
    for (DbTable &t : db_.tables) {
        add(0, t.objn, "TAB$", tab_row(t), nt++);
        for (const DbColumn &c : t.cols) {
            add(4, t.objn, "COL$", col_row(t.objn, c), nc++);
            if (db_.shape.free_slots && nc % 20 == 0) {
                LogicalRow fr;
                fr.layout = RowLayout::FreeSlot;
                j.members[4].rows.push_back(fr);
                j.members[4].key_of.push_back(keyix[t.objn]);
            }
        }
        if (db_.shape.deleted_rows && !t.system && t.objn == first_user_table()) {
            // A column dropped long ago: its row is still in the block.
            DbColumn old;
            old.name = "SYS_C00009_DROPPED$";
            old.type = 1;
            old.length = 20;
            old.colno = (int)t.cols.size() + 1;
            old.segcol = old.colno;
            LogicalRow del = plain(without_key(systab("COL$"), col_row(t.objn, old)));
            del.layout = RowLayout::Deleted;
            j.members[4].rows.push_back(del);
            j.members[4].key_of.push_back(keyix[t.objn]);
            LogicalRow delt = plain(without_key(systab("TAB$"), tab_row(t)));
            delt.layout = RowLayout::Deleted;
            j.members[0].rows.push_back(delt);
            j.members[0].key_of.push_back(keyix[t.objn]);
        }
        for (const DbLob &l : t.lobs)
            add(5, t.objn, "LOB$", lob_row(t, l), 0);
    }
    for (const DbCluster &c : db_.clusters) {
        add(1, c.objn, "CLU$", clu_row(c), 0);
        for (const DbColumn &k : c.key)
            add(4, c.objn, "COL$", col_row(c.objn, k), nc++);
    }
    for (const DbIndex &x : db_.indexes)
        add(2, x.bo, "IND$", ind_row(x), 0);
    for (const DictRow &d : db_.dict_rows) {
        const DbTable &t = systab(d.table.c_str());
        if (t.cluster.empty())
            continue;
        j.members[t.tabn - 1].rows.push_back(dict_row(d));
        j.members[t.tabn - 1].key_of.push_back(keyix[d.key]);
    }
}

uint32_t Builder::first_user_table() const
{
    for (const DbTable &t : db_.tables)
        if (!t.system)
            return t.objn;
    return 0;
}

std::vector<LogicalRow> Builder::obj_rows()
{
    std::vector<LogicalRow> rows;
    for (size_t i = 0; i < db_.objects.size(); i++) {
        rows.push_back(shaped(obj_row(db_.objects[i]), i));
        if (db_.shape.deleted_rows && i % 10 == 9) {
            DbObject gone = db_.objects[i];
            gone.objn = 900000 + (uint32_t)i;
            gone.name = "BIN$DROPPED" + std::to_string(i);
            LogicalRow d = plain(obj_row(gone));
            d.layout = RowLayout::Deleted;
            rows.push_back(d);
        }
        if (db_.shape.free_slots && i % 15 == 14) {
            LogicalRow f;
            f.layout = RowLayout::FreeSlot;
            rows.push_back(f);
        }
    }
    return rows;
}

std::vector<LogicalRow> Builder::part_rows()
{
    std::vector<LogicalRow> rows;
    for (const DbTable &t : db_.tables)
        if (!t.composite)
            for (size_t i = 0; i < t.parts.size(); i++) {
                const DbPart &p = t.parts[i];
                RowB r(systab("TABPART$").cols);
                r.n("OBJ#", p.objn).n("DATAOBJ#", p.objd).n("BO#", t.objn).n("PART#", (int64_t)(i + 1) * 10);
                r.n("HIBOUNDLEN", (int64_t)p.hibound.size()).s("HIBOUNDVAL", p.hibound);
                r.n("TS#", p.tsn).n("FILE#", p.fno).n("BLOCK#", p.blk).n("PCTFREE$", 10).n("PCTUSED$", 40);
                r.n("INITRANS", 1).n("MAXTRANS", 255).n("FLAGS", 0);
                rows.push_back(plain(r.cols()));
            }
    return rows;
}

std::vector<LogicalRow> Builder::compart_rows()
{
    std::vector<LogicalRow> rows;
    for (const DbTable &t : db_.tables)
        if (t.composite)
            for (size_t i = 0; i < t.parts.size(); i++) {
                const DbPart &p = t.parts[i];
                RowB r(systab("TABCOMPART$").cols);
                r.n("OBJ#", p.objn).n("BO#", t.objn).n("PART#", (int64_t)(i + 1) * 10);
                r.n("HIBOUNDLEN", (int64_t)p.hibound.size()).s("HIBOUNDVAL", p.hibound);
                r.n("SUBPARTCNT", (int64_t)p.subparts.size()).n("FLAGS", 0).n("DEFTS#", p.tsn);
                r.n("DEFPCTFREE", 10).n("DEFPCTUSED", 40).n("DEFINITRANS", 1).n("DEFMAXTRANS", 255);
                r.n("DEFLISTS", 0).n("DEFGROUPS", 0).n("DEFLOGGING", 0).n("DEFBUFPOOL", 0).n("DEFCOMPRESS", 0);
                rows.push_back(plain(r.cols()));
            }
    return rows;
}

std::vector<LogicalRow> Builder::subpart_rows()
{
    std::vector<LogicalRow> rows;
    for (const DbTable &t : db_.tables)
        if (t.composite)
            for (const DbPart &p : t.parts)
                for (size_t i = 0; i < p.subparts.size(); i++) {
                    const DbPart &s = p.subparts[i];
                    RowB r(systab("TABSUBPART$").cols);
                    r.n("OBJ#", s.objn).n("DATAOBJ#", s.objd).n("POBJ#", p.objn).n("SUBPART#", (int64_t)i);
                    r.n("FLAGS", 0).n("TS#", s.tsn).n("FILE#", s.fno).n("BLOCK#", s.blk).n("PCTFREE$", 10);
                    r.n("PCTUSED$", 40).n("INITRANS", 1).n("MAXTRANS", 255).n("HIBOUNDLEN", 0);
                    rows.push_back(plain(r.cols()));
                }
    return rows;
}

std::vector<LogicalRow> Builder::props_rows()
{
    std::vector<LogicalRow> rows;
    for (const DbProp &p : db_.props) {
        RowB r(systab("PROPS$").cols);
        r.s("NAME", p.name);
        if (!p.null_value)
            r.s("VALUE$", p.value);
        if (!p.null_comment)
            r.s("COMMENT$", p.comment);
        rows.push_back(stored(plain(r.cols()), p.store));
    }
    return rows;
}

// A row for each dropped table given its name before the drop.
std::vector<LogicalRow> Builder::recyclebin_rows()
{
    std::vector<LogicalRow> rows;
    for (const DbTable &t : db_.tables) {
        if (!(t.obj_flags & 0x80) || t.original_name.empty())
            continue;
        bool ok = true;
        uint32_t owner = uid(t.owner, &ok);
        RowB r(systab("RECYCLEBIN$").cols);
        r.n("OBJ#", t.objn).n("OWNER#", owner).s("ORIGINAL_NAME", t.original_name).n("OPERATION", 0).n("TYPE#", 1);
        r.n("TS#", t.tsn).n("FILE#", t.fno).n("BLOCK#", t.blk);
        if (!t.droptime.empty())
            r.set("DROPTIME", col_bytes(t.droptime));
        r.n("DC", 0).n("RELATED", t.objn).n("BO", t.objn).n("PURGEOBJ", t.objn).n("BASE_TS#", t.tsn);
        r.n("BASE_OWNER#", owner).n("SPACE", 8).n("CON#", 0);
        rows.push_back(plain(r.cols()));
    }
    return rows;
}

std::vector<LogicalRow> Builder::file_rows()
{
    std::vector<LogicalRow> rows;
    for (FileAlloc *fa : order_) {
        RowB r(systab("FILE$").cols);
        r.n("FILE#", fa->desc->fno).n("STATUS$", 2).n("BLOCKS", fa->df.d.blocks).n("TS#", fa->tsn);
        r.n("RELFILE#", fa->df.d.rfn).n("MAXEXTEND", 0).n("INC", 0).n("CRSCNWRP", 0).n("CRSCNBAS", 7);
        rows.push_back(plain(r.cols()));
    }
    return rows;
}

} // namespace kb::detail

namespace kb {

int column_length(const DbColumn &c) { return detail::type_length(c); }

} // namespace kb
