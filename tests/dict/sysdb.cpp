// The SYSTEM datafile of the dictionary tests (see sysdb.h).
#include "sysdb.h"

#include <cstdio>

namespace sysdb {

namespace {

using kb::col_null;
using kb::col_num;
using kb::col_str;

// A row of n columns with filler values at every position, so that the
// decoders must find their columns by position and not by luck.
std::vector<kb::Col> filler(size_t n, uint32_t seed)
{
    std::vector<kb::Col> c;
    for (size_t i = 0; i < n; i++) {
        switch ((i + seed) % 4) {
        case 0: c.push_back(col_num((int64_t)(i * 7 + seed))); break;
        case 1: c.push_back(col_null()); break;
        case 2: c.push_back(col_str("X" + std::to_string(i))); break;
        default: c.push_back(kb::col_bytes(kb::ora_date(2024, 1, (int)(i % 28) + 1))); break;
        }
    }
    return c;
}

kb::Col num_or_null(uint32_t v) { return v == 0 ? col_null() : col_num(v); }

kb::LogicalRow row(std::vector<kb::Col> cols, const Store &st)
{
    kb::LogicalRow r;
    r.cols = std::move(cols);
    r.layout = st.layout;
    r.cuts = st.cuts;
    return r;
}

kb::LogicalRow user_row(const User &u)
{
    auto c = filler(18, 1);
    c[0] = col_str(u.name);
    c[1] = col_num(u.type);
    c[2] = col_str("6A2B3C4D5E6F7081");
    c[3] = col_num(u.dts);
    c[4] = col_num(u.tts);
    c[14] = col_num(u.astatus);
    return row(c, u.st);
}

kb::LogicalRow ts_row(const Ts &t)
{
    auto c = filler(10, 2);
    c[0] = col_str(t.name);
    c[1] = col_num(t.owner);
    return row(c, t.st);
}

kb::LogicalRow obj_row(const Obj &o)
{
    auto c = filler(18, 3);
    c[0] = col_num(o.objn);
    c[1] = col_num(o.objn);
    c[2] = col_num(o.owner);
    c[3] = col_str(o.name);
    c[5] = col_null();
    c[6] = col_num(o.type);
    c[13] = col_num(o.flags);
    return row(c, o.st);
}

kb::LogicalRow tab_row(const Tab &t)
{
    auto c = filler(35, 4);
    c[0] = num_or_null(t.objd);
    c[1] = col_num(t.tsn);
    c[2] = col_num(t.fno);
    c[3] = col_num(t.blk);
    c[4] = num_or_null(t.bobj);
    c[5] = num_or_null(t.tabno);
    c[6] = col_num(t.cols);
    c[12] = col_num(t.flags);
    c[28] = col_num(t.property);
    return row(c, t.st);
}

kb::LogicalRow clu_row(const Clu &k)
{
    auto c = filler(20, 5);
    c[0] = num_or_null(k.objd);
    c[4] = col_num(k.cols);
    c[14] = col_num(k.flags);
    return row(c, k.st);
}

kb::LogicalRow col_row(const Col &k)
{
    auto c = filler(22, 6);
    c[0] = col_num(k.cid);
    c[1] = col_num(k.segcol);
    c[4] = col_str(k.name);
    c[5] = col_num(k.type);
    c[6] = col_num(k.length);
    c[12] = col_null();     // DEFAULT$
    c[14] = col_num(k.property);
    c[16] = col_num(k.charsetform);
    return row(c, k.st);
}

kb::LogicalRow ind_row(const Ind &x)
{
    auto c = filler(20, 7);
    c[0] = col_num(x.objn);
    c[1] = num_or_null(x.objd);
    c[2] = col_num(x.tsn);
    c[3] = col_num(x.fno);
    c[4] = col_num(x.blk);
    c[11] = col_num(x.type);
    return row(c, x.st);
}

kb::LogicalRow lob_row(const Lob &l)
{
    auto c = filler(16, 8);
    c[0] = col_num(l.cid);
    c[2] = col_num(l.lobj);
    c[4] = col_num(l.ind);
    c[5] = col_num(l.tsn);
    c[6] = col_num(l.fno);
    c[7] = col_num(l.blk);
    c[8] = col_num(l.chunk);
    c[10] = col_num(l.flags);
    return row(c, l.st);
}

kb::LogicalRow tabpart_row(const Part &p)
{
    auto c = filler(20, 9);
    c[0] = col_num(p.objn);
    c[1] = num_or_null(p.objd);
    c[2] = col_num(p.bo);
    c[5] = col_str("MAXVALUE");     // HIBOUNDVAL
    c[6] = col_num(p.tsn);
    c[7] = col_num(p.fno);
    c[8] = col_num(p.blk);
    return row(c, p.st);
}

kb::LogicalRow tabsubpart_row(const Part &p)
{
    auto c = filler(15, 10);
    c[0] = col_num(p.objn);
    c[1] = num_or_null(p.objd);
    c[2] = col_num(p.bo);
    c[5] = col_num(p.tsn);
    c[6] = col_num(p.fno);
    c[7] = col_num(p.blk);
    return row(c, p.st);
}

kb::LogicalRow tabcompart_row(const Part &p)
{
    auto c = filler(12, 11);
    c[0] = col_num(p.objn);
    c[1] = num_or_null(p.objd);
    c[2] = col_num(p.bo);
    return row(c, p.st);
}

kb::LogicalRow props_row(const Prop &p)
{
    // VALUE$ and COMMENT$: a NULL value with no comment is not stored at all.
    std::vector<kb::Col> c = {col_str(p.name), p.null_value ? col_null() : col_str(p.value)};
    if (!p.null_value)
        c.push_back(col_str("comment of " + p.name));
    return row(c, p.st);
}

std::string extents_text(uint32_t hdr)
{
    return "EXTENTS (FILE 1 BLOCK " + std::to_string(hdr & 0x3FFFFF) + "))";
}

kb::LogicalRow boot_row(int64_t line, int64_t objn, const std::string &text, kb::RowLayout lay = kb::RowLayout::Normal)
{
    kb::LogicalRow r;
    r.cols = {col_num(line), col_num(objn), col_str(text)};
    r.layout = lay;
    return r;
}

// The C_OBJ# keys: every object number that has a row in one of its tables.
struct ObjCluster {
    std::vector<uint32_t> keys;
    std::vector<kb::ClusterMember> members = std::vector<kb::ClusterMember>(5);
    size_t key_index(uint32_t objn)
    {
        for (size_t i = 0; i < keys.size(); i++)
            if (keys[i] == objn)
                return i;
        keys.push_back(objn);
        return keys.size() - 1;
    }
    void add(uint32_t tabno, uint32_t key, kb::LogicalRow r)
    {
        members[tabno - 1].rows.push_back(std::move(r));
        members[tabno - 1].key_of.push_back(key_index(key));
    }
};

template <class T, class F>
int write_keyed(kb::Datafile &df, const kb::Segment &s, const std::vector<T> &rows, F keyrow)
{
    std::vector<std::vector<kb::Col>> keys;
    kb::ClusterMember m;
    for (const T &r : rows) {
        auto [key, lr] = keyrow(r);
        size_t k = 0;
        while (k < keys.size() && keys[k][0].data != col_num(key).data)
            k++;
        if (k == keys.size())
            keys.push_back({col_num(key)});
        m.rows.push_back(lr);
        m.key_of.push_back(k);
    }
    if (keys.empty())
        keys.push_back({col_num(0)});
    return kb::write_cluster(df, s, keys, {m}, kb::BlockOpts{});
}

} // namespace

int build(const std::string &path, const Dict &din, Built *out)
{
    kb::FileDesc fd;
    fd.bsz = din.bsz;
    fd.blocks = din.big_extent ? 16 * din.big_extent + 4000 : 4000;
    kb::Datafile df;
    if (kb::df_create(df, path, fd) != 0)
        return -1;

    // Segments: the bootstrap table in two extents, the clusters and tables,
    // C_OBJ# with its map continued in extent map blocks.
    kb::Segment boot, cuser, cts, cobj, obj, tp, tsp, tcp, props;
    boot.kind = 0x10;
    boot.objd = 59;
    uint32_t next = kb::plan_segment(boot, df, 8, {6, 6});
    cuser.kind = 0x23;
    cuser.objd = OBJN_C_USER;
    next = kb::plan_segment(cuser, df, next, {16});
    cts.objd = OBJN_C_TS;
    next = kb::plan_segment(cts, df, next, {8});
    cobj.kind = 0x23;
    cobj.objd = OBJN_C_OBJ;
    cobj.hdr_max = 2;
    cobj.map_max = 3;
    uint32_t be = din.big_extent;
    if (be)
        next = kb::plan_segment(cobj, df, next, {be, be, be, be, be, be, be, be, be, be, be, be});
    else
        next = kb::plan_segment(cobj, df, next, {16, 16, 32, 32, 64, 64, 64, 128});
    obj.objd = OBJN_OBJ;
    if (be)
        next = kb::plan_segment(obj, df, next, {be, be});
    else
        next = kb::plan_segment(obj, df, next, {40, 200});
    tp.objd = OBJN_TABPART;
    next = kb::plan_segment(tp, df, next, {8});
    tsp.objd = OBJN_TABSUBPART;
    next = kb::plan_segment(tsp, df, next, {8});
    tcp.objd = OBJN_TABCOMPART;
    next = kb::plan_segment(tcp, df, next, {8});
    props.kind = 0x23;
    props.objd = OBJN_PROPS;
    next = kb::plan_segment(props, df, next, {8});

    Dict d = din;
    auto blk = [](uint32_t rdba) { return rdba & 0x3FFFFF; };
    // The dictionary's own objects, tables and clusters.
    struct Own { uint32_t objn; const char *name; uint32_t type; };
    const Own own[] = {{OBJN_C_OBJ, "C_OBJ#", 3}, {OBJN_TAB, "TAB$", 2},       {OBJN_CLU, "CLU$", 2},
                       {OBJN_C_TS, "C_TS#", 3},   {OBJN_C_USER, "C_USER#", 3}, {OBJN_TS, "TS$", 2},
                       {OBJN_OBJ, "OBJ$", 2},     {OBJN_IND, "IND$", 2},       {OBJN_COL, "COL$", 2},
                       {OBJN_USER, "USER$", 2},   {OBJN_PROPS, "PROPS$", 2},   {OBJN_LOB, "LOB$", 2},
                       {OBJN_TABPART, "TABPART$", 2}, {OBJN_TABSUBPART, "TABSUBPART$", 2},
                       {OBJN_TABCOMPART, "TABCOMPART$", 2}};
    for (const Own &o : own)
        d.obj.push_back({o.objn, 0, o.name, o.type, 0});
    auto in_cobj = [&](uint32_t objn, uint32_t tabno, uint32_t cols) {
        d.tab.push_back({objn, OBJN_C_OBJ, 0, 1, blk(cobj.hdr), OBJN_C_OBJ, tabno, cols, 0, 0x400, 0x40});
    };
    in_cobj(OBJN_TAB, TABNO_TAB, 36);
    in_cobj(OBJN_CLU, TABNO_CLU, 21);
    in_cobj(OBJN_COL, TABNO_COL, 23);
    in_cobj(OBJN_IND, TABNO_IND, 21);
    in_cobj(OBJN_LOB, TABNO_LOB, 17);
    d.tab.push_back({OBJN_USER, OBJN_C_USER, 0, 1, blk(cuser.hdr), OBJN_C_USER, 1, 19, 0, 0x400, 0x40});
    d.tab.push_back({OBJN_TS, OBJN_C_TS, 0, 1, blk(cts.hdr), OBJN_C_TS, 1, 11, 0, 0x400, 0x40});
    d.tab.push_back({OBJN_OBJ, OBJN_OBJ, 0, 1, blk(obj.hdr), 0, 0, 18, 0, 0});
    d.tab.push_back({OBJN_TABPART, OBJN_TABPART, 0, 1, blk(tp.hdr), 0, 0, 20, 0, 0});
    d.tab.push_back({OBJN_TABSUBPART, OBJN_TABSUBPART, 0, 1, blk(tsp.hdr), 0, 0, 15, 0, 0});
    d.tab.push_back({OBJN_TABCOMPART, OBJN_TABCOMPART, 0, 1, blk(tcp.hdr), 0, 0, 12, 0, 0});
    d.tab.push_back({OBJN_PROPS, OBJN_PROPS, 0, 1, blk(props.hdr), 0, 0, 3, 0, 0});
    d.clu.push_back({OBJN_C_OBJ, OBJN_C_OBJ, 1, 0});
    d.clu.push_back({OBJN_C_USER, OBJN_C_USER, 1, 0});
    d.clu.push_back({OBJN_C_TS, OBJN_C_TS, 1, 0});
    // Each cluster's key column.
    d.col.push_back({OBJN_C_OBJ, 1, 1, "OBJ#", 2, 22, 0, 0});
    d.col.push_back({OBJN_C_USER, 1, 1, "USER#", 2, 22, 0, 0});
    d.col.push_back({OBJN_C_TS, 1, 1, "TS#", 2, 22, 0, 0});
    // COL$ and TABPART$ describe themselves: OBJ# is the key of C_OBJ#
    // (segment column 1), the rest follow in the order the decoders read.
    const char *colcols[] = {"OBJ#", "COL#", "SEGCOL#", "SEGCOLLENGTH", "OFFSET", "NAME", "TYPE#", "LENGTH",
                             "FIXEDSTORAGE", "PRECISION#", "SCALE", "NULL$", "DEFLENGTH", "DEFAULT$", "INTCOL#",
                             "PROPERTY", "CHARSETID", "CHARSETFORM"};
    for (uint32_t i = 0; i < 18; i++) {
        uint32_t segcol = i + 1;
        // The names are listed in segment column order; DEFAULT$ (a LONG)
        // stays in its place in the release the decoders know.
        if (din.col_property_segcol && std::string(colcols[i]) == "PROPERTY")
            segcol = din.col_property_segcol;
        d.col.push_back({OBJN_COL, i + 1, segcol, colcols[i], i == 13 ? 8u : i == 5 ? 1u : 2u, 22, 0, 0});
    }
    const char *tpcols[] = {"OBJ#", "DATAOBJ#", "BO#", "PART#", "HIBOUNDLEN", "HIBOUNDVAL", "TS#", "FILE#",
                            "BLOCK#"};
    for (uint32_t i = 0; i < 9; i++)
        d.col.push_back({OBJN_TABPART, i + 1, i + 1, tpcols[i], i == 5 ? 8u : 2u, 22, 0, 0});

    // Heap tables.
    std::vector<kb::LogicalRow> rows;
    for (const Obj &o : d.obj)
        rows.push_back(obj_row(o));
    if (kb::write_heap_table(df, obj, rows, kb::BlockOpts{}) != 0)
        return -1;
    auto heap = [&](const kb::Segment &s, const std::vector<Part> &v, kb::LogicalRow (*enc)(const Part &)) {
        std::vector<kb::LogicalRow> r;
        for (const Part &p : v)
            r.push_back(enc(p));
        return kb::write_heap_table(df, s, r, kb::BlockOpts{});
    };
    if (heap(tp, d.tabpart, tabpart_row) || heap(tsp, d.tabsubpart, tabsubpart_row) ||
        heap(tcp, d.tabcompart, tabcompart_row))
        return -1;
    rows.clear();
    for (const Prop &p : d.props)
        rows.push_back(props_row(p));
    kb::BlockOpts assm;
    assm.assm = true;
    assm.ex_extra = 4;
    if (kb::write_heap_table(df, props, rows, assm) != 0)
        return -1;

    // Clusters.
    if (write_keyed(df, cuser, d.users, [](const User &u) { return std::make_pair(u.uid, user_row(u)); }) ||
        write_keyed(df, cts, d.ts, [](const Ts &t) { return std::make_pair(t.tsn, ts_row(t)); }))
        return -1;
    ObjCluster oc;
    for (const Tab &t : d.tab)
        oc.add(TABNO_TAB, t.objn, tab_row(t));
    for (const Clu &c : d.clu)
        oc.add(TABNO_CLU, c.objn, clu_row(c));
    for (const Col &c : d.col)
        oc.add(TABNO_COL, c.objn, col_row(c));
    for (const Ind &x : d.ind)
        oc.add(TABNO_IND, x.bo, ind_row(x));
    for (const Lob &l : d.lob)
        oc.add(TABNO_LOB, l.objp, lob_row(l));
    std::vector<std::vector<kb::Col>> keys;
    for (uint32_t k : oc.keys)
        keys.push_back({col_num(k)});
    if (kb::write_cluster(df, cobj, keys, oc.members, kb::BlockOpts{}) != 0)
        return -1;

    // The bootstrap table: the core tables and their clusters, filler rows
    // of other objects, a deleted row, and a migrated one.
    std::vector<kb::LogicalRow> boot_rows;
    boot_rows.push_back(boot_row(-1, -1, "8.0.00.00.00"));
    auto clustered = [&](const char *name, uint32_t objn, uint32_t tabno, const char *cluster, const char *key) {
        return "CREATE TABLE " + std::string(name) + "(\"" + key + "\" NUMBER NOT NULL,\"NAME\" VARCHAR2(128)) "
               "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 STORAGE (  OBJNO " + std::to_string(objn) +
               " TABNO " + std::to_string(tabno) + ") CLUSTER " + cluster + "(\"" + key + "\")";
    };
    auto cluster_text = [&](const char *name, uint32_t objn, const char *key, uint32_t hdr) {
        return "CREATE CLUSTER " + std::string(name) + "(\"" + key + "\" NUMBER) PCTFREE 10 PCTUSED 40 "
               "INITRANS 2 MAXTRANS 255 STORAGE (  INITIAL 112K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 "
               "OBJNO " + std::to_string(objn) + " " + extents_text(hdr) + " SIZE 800";
    };
    int line = 0;
    boot_rows.push_back(boot_row(line++, OBJN_C_OBJ, cluster_text("C_OBJ#", OBJN_C_OBJ, "OBJ#", cobj.hdr)));
    // A cluster whose name begins with C_OBJ#, listed before it would be if
    // the names were compared as prefixes only.
    boot_rows.push_back(boot_row(line++, 3, clustered("I_OBJ#", 3, 1, "C_OBJ#_INTCOL#", "OBJ#")));
    boot_rows.push_back(boot_row(line++, 3, cluster_text("C_OBJ#_INTCOL#", 3, "OBJ#", 0x0040FFFF)));
    boot_rows.push_back(boot_row(line++, OBJN_TAB, clustered("TAB$", OBJN_TAB, TABNO_TAB, "C_OBJ#", "OBJ#")));
    boot_rows.push_back(boot_row(line++, OBJN_CLU, clustered("CLU$", OBJN_CLU, TABNO_CLU, "C_OBJ#", "OBJ#")));
    boot_rows.push_back(boot_row(line++, OBJN_C_TS, cluster_text("C_TS#", OBJN_C_TS, "TS#", cts.hdr)));
    boot_rows.push_back(boot_row(line++, OBJN_TS, clustered("TS$", OBJN_TS, 1, "C_TS#", "TS#")));
    boot_rows.push_back(boot_row(line++, OBJN_C_USER, cluster_text("C_USER#", OBJN_C_USER, "USER#", cuser.hdr)));
    boot_rows.push_back(boot_row(line++, OBJN_USER, clustered("USER$", OBJN_USER, 1, "C_USER#", "USER#")));
    boot_rows.push_back(boot_row(line++, OBJN_OBJ,
                                 "CREATE TABLE OBJ$(\"OBJ#\" NUMBER NOT NULL,\"DATAOBJ#\" NUMBER) PCTFREE 10 "
                                 "PCTUSED 40 INITRANS 1 MAXTRANS 255 STORAGE (  INITIAL 16K NEXT 1024K MINEXTENTS 1 "
                                 "MAXEXTENTS 2147483645 OBJNO 18 " + extents_text(obj.hdr),
                                 kb::RowLayout::Migrated));
    boot_rows.push_back(boot_row(line++, 999, "CREATE TABLE COL$(\"OBJ#\" NUMBER) deleted", kb::RowLayout::Deleted));
    for (int i = 0; i < din.filler_boot_rows; i++)
        boot_rows.push_back(boot_row(line++, 200 + (uint32_t)i,
                                     "CREATE INDEX I_FILLER" + std::to_string(i) + " ON OBJ$(\"NAME\") STORAGE (  "
                                     "OBJNO " + std::to_string(200 + i) + " EXTENTS (FILE 1 BLOCK 9))"));
    boot_rows.push_back(boot_row(line++, OBJN_COL, clustered("COL$", OBJN_COL, TABNO_COL, "C_OBJ#", "OBJ#")));
    boot_rows.push_back(boot_row(line++, OBJN_IND, clustered("IND$", OBJN_IND, TABNO_IND, "C_OBJ#", "OBJ#")));
    kb::LogicalRow fs;
    fs.layout = kb::RowLayout::FreeSlot;
    boot_rows.insert(boot_rows.begin() + 5, fs);
    if (kb::write_heap_table(df, boot, boot_rows, kb::BlockOpts{}) != 0 || kb::df_set_root(df, boot.hdr) != 0)
        return -1;
    if (kb::df_close(df) != 0)
        return -1;
    if (out) {
        out->root = boot.hdr;
        out->c_obj = cobj.hdr;
        out->c_user = cuser.hdr;
        out->c_ts = cts.hdr;
        out->obj = obj.hdr;
        out->tabpart = tp.hdr;
        out->tabsubpart = tsp.hdr;
        out->tabcompart = tcp.hdr;
        out->props = props.hdr;
        out->all = d;
    }
    (void)next;
    return 0;
}

} // namespace sysdb
