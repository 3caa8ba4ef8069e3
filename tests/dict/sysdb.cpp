// The SYSTEM datafile of the dictionary tests (see sysdb.h).
#include "sysdb.h"

namespace sysdb {

namespace {

// OBJ#, DATAOBJ#, ... of 0 are given as NULL.
kb::DictRow &num_or_null(kb::DictRow &r, const char *col, uint32_t v)
{
    return v == 0 ? r.null(col) : r.n(col, v);
}

kb::DictRow row(const char *table, uint32_t key, const Store &st)
{
    kb::DictRow r;
    r.table = table;
    r.key = key;
    r.store = st;
    return r;
}

const Ts *ts_of(const Dict &d, uint32_t tsn)
{
    for (const Ts &t : d.ts)
        if (t.tsn == tsn)
            return &t;
    return nullptr;
}

kb::Database description(const Dict &d)
{
    kb::Database db;
    db.bsz = d.bsz;
    db.shape.boot_others = d.other_boot_rows;
    db.shape.boot_odd_rows = true;
    db.shape.col_property_segcol = (int)d.col_property_segcol;
    for (const Ts &t : d.ts) {
        kb::DbTablespace ts;
        ts.name = t.name;
        ts.tsn = t.tsn;
        ts.store = t.st;
        if (t.tsn == 0)
            ts.files = {kb::DbFile{1, 1, 4000, false, 0, "system01.dbf", ""}};
        db.tablespaces.push_back(ts);
    }
    for (const User &u : d.users) {
        const Ts *dts = ts_of(d, u.dts), *tts = ts_of(d, u.tts);
        db.users.push_back({u.name, u.uid, (int)u.type, dts ? dts->name : "", tts ? tts->name : "", u.astatus, u.st});
    }
    for (const Prop &p : d.props) {
        kb::DbProp k;
        k.name = p.name;
        k.null_value = k.null_comment = p.null_value;
        k.value = p.value;
        k.comment = "comment of " + p.name;
        k.store = p.st;
        db.props.push_back(k);
    }
    auto &rows = db.dict_rows;
    for (const Obj &o : d.obj)
        rows.push_back(row("OBJ$", 0, o.st).n("OBJ#", o.objn).n("DATAOBJ#", o.objn).n("OWNER#", o.owner)
                           .s("NAME", o.name).null("SUBNAME").n("TYPE#", o.type).n("FLAGS", o.flags));
    for (const Tab &t : d.tab) {
        kb::DictRow r = row("TAB$", t.objn, t.st);
        num_or_null(r, "DATAOBJ#", t.objd).n("TS#", t.tsn).n("FILE#", t.fno).n("BLOCK#", t.blk);
        num_or_null(num_or_null(r, "BOBJ#", t.bobj), "TAB#", t.tabno);
        rows.push_back(r.n("COLS", t.cols).n("FLAGS", t.flags).n("PROPERTY", t.property));
    }
    for (const Clu &c : d.clu) {
        kb::DictRow r = row("CLU$", c.objn, c.st);
        rows.push_back(num_or_null(r, "DATAOBJ#", c.objd).n("COLS", c.cols).n("FLAGS", c.flags));
    }
    for (const Col &c : d.col)
        rows.push_back(row("COL$", c.objn, c.st).n("COL#", c.cid).n("SEGCOL#", c.segcol).s("NAME", c.name)
                           .n("TYPE#", c.type).n("LENGTH", c.length).null("DEFAULT$").n("PROPERTY", c.property)
                           .n("CHARSETFORM", c.charsetform));
    for (const Ind &x : d.ind) {
        kb::DictRow r = row("IND$", x.bo, x.st);
        r.n("OBJ#", x.objn);
        rows.push_back(num_or_null(r, "DATAOBJ#", x.objd).n("TS#", x.tsn).n("FILE#", x.fno).n("BLOCK#", x.blk)
                           .n("TYPE#", x.type));
    }
    for (const Lob &l : d.lob)
        rows.push_back(row("LOB$", l.objp, l.st).n("COL#", l.cid).n("LOBJ#", l.lobj).n("IND#", l.ind)
                           .n("TS#", l.tsn).n("FILE#", l.fno).n("BLOCK#", l.blk).n("CHUNK", l.chunk)
                           .n("FLAGS", l.flags));
    auto part = [&](const char *table, const char *bo, const Part &p) -> kb::DictRow & {
        kb::DictRow &r = rows.emplace_back(row(table, 0, p.st));
        r.n("OBJ#", p.objn);
        return num_or_null(r, "DATAOBJ#", p.objd).n(bo, p.bo);
    };
    for (const Part &p : d.tabpart)
        part("TABPART$", "BO#", p).s("HIBOUNDVAL", "MAXVALUE").n("TS#", p.tsn).n("FILE#", p.fno).n("BLOCK#", p.blk);
    for (const Part &p : d.tabsubpart)
        part("TABSUBPART$", "POBJ#", p).n("TS#", p.tsn).n("FILE#", p.fno).n("BLOCK#", p.blk);
    for (const Part &p : d.tabcompart)
        part("TABCOMPART$", "BO#", p);
    db.recyclebin = d.has_recyclebin || !d.recyclebin.empty();
    for (const Recycled &b : d.recyclebin) {
        kb::DictRow &r = rows.emplace_back(row("RECYCLEBIN$", 0, b.st));
        r.n("OBJ#", b.objn).n("OWNER#", b.owner).s("ORIGINAL_NAME", b.name).n("OPERATION", b.operation);
        r.n("TYPE#", b.type).cols.emplace_back("DROPTIME", b.droptime.empty() ? kb::col_null() : kb::col_bytes(b.droptime));
    }
    return db;
}

// The dictionary's own records, as the builder wrote them.
void add_own(const kb::Database &db, Dict &all)
{
    for (const kb::DbObject &o : db.objects)
        all.obj.push_back({o.objn, o.owner, o.name, (uint32_t)o.type, o.flags});
    auto cols = [&](uint32_t objn, const std::vector<kb::DbColumn> &v) {
        for (const kb::DbColumn &c : v)
            all.col.push_back({objn, (uint32_t)c.colno, (uint32_t)c.segcol, c.name, (uint32_t)c.type,
                               (uint32_t)kb::column_length(c), c.property,
                               (uint32_t)(c.charsetform >= 0 ? c.charsetform : 0)});
    };
    for (const kb::DbCluster &c : db.clusters) {
        all.clu.push_back({c.objn, c.objd, (uint32_t)c.key.size(), c.flags});
        cols(c.objn, c.key);
    }
    for (const kb::DbTable &t : db.tables) {
        uint32_t bobj = 0;
        for (const kb::DbCluster &c : db.clusters)
            if (c.name == t.cluster)
                bobj = c.objn;
        // A clustered table's TAB.flag marks it so.
        all.tab.push_back({t.objn, t.objd, t.tsn, t.fno, t.blk, bobj, t.tabn, (uint32_t)t.cols.size(), t.tab_flags,
                           t.prop_out, bobj ? 0x40u : 0u});
        cols(t.objn, t.cols);
    }
}

} // namespace

int build(const std::string &dir, const Dict &d, Built *out)
{
    kb::Database db = description(d);
    if (kb::build_database(db, dir) != 0)
        return -1;
    if (out) {
        out->root = db.rootdba;
        out->all = d;
        add_own(db, out->all);
    }
    return 0;
}

} // namespace sysdb
