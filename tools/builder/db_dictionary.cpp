// The database writer: the bootstrap rows and the segments of the SYSTEM
// datafile (bootstrap table, clusters C_USER#, C_TS#, C_OBJ#, C_FILE#_BLOCK#,
// the tables with segments of their own, the empty index segments).
#include "db_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kb::detail {

std::string Builder::columns_sql(const std::vector<DbColumn> &cols)
{
    std::string s;
    for (const DbColumn &c : cols) {
        if (!s.empty())
            s += ",";
        s += "\"" + c.name + "\" " + column_type_sql(c) + (c.nullable ? "" : " NOT NULL");
    }
    return s;
}

std::string Builder::extents_sql(const SysObject &o, uint32_t blk)
{
    return std::string(" STORAGE (  ") + o.storage + " OBJNO " + std::to_string(o.objn) + " EXTENTS (FILE 1 BLOCK " +
           std::to_string(blk) + "))" + o.trailer;
}

std::string Builder::create_sql(const SysObject &o, uint32_t blk)
{
    std::string key;
    for (const char *k : o.key)
        key += (key.empty() ? "" : ",") + std::string(k);
    if (o.type == 3)
        return std::string("CREATE CLUSTER ") + o.name + "(" + columns_sql(parse_columns(o.columns)) + ") " +
               o.attrs + extents_sql(o, blk);
    if (o.type == 1)
        return std::string(std::string(o.parent) == "OBJ$" ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + o.name +
               " ON " + o.parent + "(" + key + ") " + o.attrs + extents_sql(o, blk);
    std::string head = std::string("CREATE TABLE ") + o.name + "(" + columns_sql(parse_columns(o.columns)) + ")";
    if (*o.parent)
        return head + " STORAGE (  OBJNO " + std::to_string(o.objn) + " TABNO " + std::to_string(o.tabno) +
               ") CLUSTER " + o.parent + "(" + key + ")";
    return head + " " + o.attrs + extents_sql(o, blk);
}

std::vector<LogicalRow> Builder::bootstrap_rows(const std::map<std::string, uint32_t> &blocks, uint32_t undo_blk)
{
    db_.bootstrap.clear();
    auto add = [&](int line, int objn, const std::string &text, bool deleted) {
        db_.bootstrap.push_back(BootRow{line, objn, text, deleted});
    };
    // Rows of objects outside the core: the cluster C_OBJ#_INTCOL#, then
    // indexes on OBJ$; their storage clauses name no segment.
    auto other_rows = [&](int line) {
        const char *storage = "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0";
        if (db_.shape.boot_others > 0) {
            SysObject c{"C_OBJ#_INTCOL#", 421, 3, "", 0, {"OBJ#", "INTCOL#"}, "OBJ#:N,INTCOL#:N",
                        "PCTFREE 10 PCTUSED 40 INITRANS 2 MAXTRANS 255", storage, " SIZE 300", 0};
            add(line, (int)c.objn, create_sql(c, 0), false);
        }
        for (int i = 1; i < db_.shape.boot_others; i++) {
            std::string name = "I_OTHER" + std::to_string(i);
            SysObject x{name.c_str(), 700 + (uint32_t)i, 1, "OBJ$", 0, {"NAME"}, "",
                        "PCTFREE 10 INITRANS 2 MAXTRANS 255", storage, "", 0};
            add(line + i, (int)x.objn, create_sql(x, 0), false);
        }
    };
    add(-1, -1, "8.0.00.00.00", false);
    add(0, 0,
        "CREATE ROLLBACK SEGMENT SYSTEM STORAGE (  INITIAL 112K NEXT 56K MINEXTENTS 1 MAXEXTENTS 32765 OBJNO 0 "
        "EXTENTS (FILE 1 BLOCK " + std::to_string(undo_blk) + "))",
        false);
    std::vector<const SysObject *> objs;
    for (const SysObject &o : system_objects())
        if (o.line >= 0)
            objs.push_back(&o);
    std::sort(objs.begin(), objs.end(), [](const SysObject *a, const SysObject *b) { return a->line < b->line; });
    for (const SysObject *o : objs) {
        std::string n = o->name;
        if (n == "COL$")
            other_rows(objs.back()->line + 1);
        uint32_t blk = blocks.count(n) ? blocks.at(n) : 0;
        if (db_.shape.deleted_rows && (n == "USER$" || n == "OBJ$")) {
            // Stale rows of an older layout, deleted since: their storage
            // clause names a block that holds no segment.
            SysObject stale = *o;
            stale.parent = "";
            stale.attrs = "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255";
            stale.storage = "INITIAL 16K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0";
            add(o->line, (int)o->objn, create_sql(stale, n == "USER$" ? 5 : 6), true);
        }
        add(o->line, (int)o->objn, create_sql(*o, blk), false);
    }
    std::vector<LogicalRow> rows;
    const DbTable &bt = systab("BOOTSTRAP$");
    for (const BootRow &b : db_.bootstrap) {
        RowB r(bt.cols);
        r.n("LINE#", b.line).n("OBJ#", b.objn).s("SQL_TEXT", b.text);
        LogicalRow lr = plain(r.cols());
        if (b.deleted)
            lr.layout = RowLayout::Deleted;
        else if (db_.shape.boot_odd_rows && b.objn == 18)
            lr.layout = RowLayout::Migrated;   // OBJ$'s row
        rows.push_back(lr);
    }
    if (db_.shape.boot_odd_rows && rows.size() > 5) {
        LogicalRow fs;
        fs.layout = RowLayout::FreeSlot;
        rows.insert(rows.begin() + 5, fs);
    }
    return rows;
}

int Builder::dictionary()
{
    if (dict_rows_known())
        return -1;
    // The segments of the SYSTEM datafile, in the order they are laid out.
    struct Dseg {
        std::string name;
        SegJob job;
    };
    std::vector<Dseg> segs;
    auto seg = [&](const std::string &name, uint8_t kind, uint32_t objd) -> SegJob & {
        segs.push_back(Dseg{name, SegJob{}});
        SegJob &j = segs.back().job;
        j.kind = kind;
        j.objd = objd;
        j.so.ext_blocks = db_.shape.ext_blocks;
        j.so.hdr_max = db_.shape.hdr_max;
        j.so.map_max = db_.shape.map_max;
        return j;
    };
    const uint8_t own = db_.shape.own_kind;
    segs.reserve(32);
    seg("SYSTEM UNDO", 0x0E, 0).raw_type = 0x0E;
    for (const SysObject &o : system_objects())
        if (wanted(o) && (o.type == 3 || o.type == 1 || (o.type == 2 && !*o.parent))) {
            const DbTable *t = nullptr;
            for (const DbTable &x : db_.tables)
                if (x.system && x.name == o.name)
                    t = &x;
            SegJob &j = seg(o.name, t ? t->seg_kind : own, o.objn);
            j.cluster = o.type == 3;
        }

    auto job = [&](const std::string &name) -> SegJob & {
        for (Dseg &d : segs)
            if (d.name == name)
                return d.job;
        abort();
    };
    auto fill = [&](const std::map<std::string, uint32_t> &blocks, uint32_t undo) {
        // Segment addresses first: TAB$, CLU$ and the bootstrap rows name them.
        for (DbCluster &c : db_.clusters)
            if (c.system) {
                c.tsn = 0;
                c.fno = 1;
                c.blk = blocks.at(c.name);
            }
        for (DbTable &t : db_.tables)
            if (t.system) {
                t.tsn = 0;
                t.fno = 1;
                t.blk = blocks.at(t.cluster.empty() ? t.name : t.cluster);
            }
        for (DbIndex &x : db_.indexes)
            if (x.owner == "SYS" && x.type != 8) {
                x.tsn = 0;
                x.fno = 1;
                x.blk = blocks.at(x.name);
            }
        for (Dseg &d : segs) {
            d.job.rows.clear();
            d.job.keys.clear();
            d.job.members.clear();
        }
        std::vector<DbUser> users = db_.users;
        std::sort(users.begin(), users.end(), [](const DbUser &a, const DbUser &b) { return a.uid < b.uid; });
        SegJob &cu = job("C_USER#");
        cu.members.assign(2, ClusterMember{});
        for (size_t i = 0; i < users.size(); i++) {
            cu.keys.push_back({col_num(users[i].uid)});
            cu.members[0].rows.push_back(
                stored(shaped(without_key(systab("USER$"), user_row(users[i])), i), users[i].store));
            cu.members[0].key_of.push_back(i);
        }
        SegJob &ct = job("C_TS#");
        ct.members.assign(2, ClusterMember{});
        std::vector<const DbTablespace *> tss;
        for (const DbTablespace &t : db_.tablespaces)
            tss.push_back(&t);
        std::sort(tss.begin(), tss.end(), [](auto *a, auto *b) { return a->tsn < b->tsn; });
        for (size_t i = 0; i < tss.size(); i++) {
            ct.keys.push_back({col_num(tss[i]->tsn)});
            ct.members[0].rows.push_back(stored(plain(without_key(systab("TS$"), ts_row(*tss[i]))), tss[i]->store));
            ct.members[0].key_of.push_back(i);
        }
        job("C_FILE#_BLOCK#").members.assign(2, ClusterMember{});
        obj_cluster(job("C_OBJ#"));
        job("OBJ$").rows = obj_rows();
        job("TABPART$").rows = part_rows();
        job("TABCOMPART$").rows = compart_rows();
        job("TABSUBPART$").rows = subpart_rows();
        job("PROPS$").rows = props_rows();
        if (db_.recyclebin)
            job("RECYCLEBIN$").rows = recyclebin_rows();
        job("FILE$").rows = file_rows();
        RowB u(systab("UNDO$").cols);
        u.n("US#", 0).s("NAME", "SYSTEM").n("USER#", 1).n("FILE#", 1).n("BLOCK#", undo).n("SCNBAS", 0);
        u.n("SCNWRP", 0).n("XACTSQN", 0).n("UNDOSQN", 0).n("INST#", 0).n("STATUS$", 3).n("TS#", 0);
        job("UNDO$").rows = {plain(u.cols())};
        job("BOOTSTRAP$").rows = bootstrap_rows(blocks, undo);
        for (const DictRow &d : db_.dict_rows)
            if (systab(d.table.c_str()).cluster.empty())
                job(d.table).rows.push_back(dict_row(d));
    };

    // Size from rows built with placeholder addresses, then plan, build
    // the real rows and check that they fit; grow and retry when not.
    std::map<std::string, uint32_t> blocks;
    for (Dseg &d : segs)
        blocks[d.name] = 0;
    fill(blocks, 0);
    std::vector<uint32_t> want;
    for (Dseg &d : segs)
        want.push_back(estimate(d.job, sys_->df.d.bsz) + 1);
    const uint32_t start = sys_->next;
    for (int tries = 0; tries < 24; tries++) {
        uint32_t at = start;
        for (size_t i = 0; i < segs.size(); i++) {
            at = plan(segs[i].job, *sys_, at, want[i]);
            blocks[segs[i].name] = sys_->df.block_of(segs[i].job.seg.hdr);
        }
        if (df_grow(sys_->df, at))
            return -1;
        fill(blocks, blocks["SYSTEM UNDO"]);
        bool fits = true;
        for (size_t i = 0; i < segs.size(); i++) {
            int rc = pack(segs[i].job, *sys_, true);
            if (rc == -2) {
                want[i] = want[i] * 2 + 1;
                fits = false;
            } else if (rc < 0) {
                return -1;
            }
        }
        if (!fits)
            continue;
        for (Dseg &d : segs)
            if (pack(d.job, *sys_, false) < 0)
                return -1;
        sys_->next = at;
        db_.rootdba = job("BOOTSTRAP$").seg.hdr;
        sys_->df.d.rootdba = db_.rootdba;
        return 0;
    }
    fprintf(stderr, "builder: the dictionary segments cannot be sized\n");
    return -1;
}

} // namespace kb::detail
