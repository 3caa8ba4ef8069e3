// "export dict" end to end on a SYSTEM datafile written by the builder from a
// description: every dictionary file is compared byte for byte with the
// records the description calls for, encoded here field by field.
#include "sysdb.h"

#include "support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace {

std::string cut31(const std::string &s) { return s.substr(0, 31); }
// The name a user, object or column record keeps: a longer name is cut and
// told apart by a suffix (each long name here is the only one of its owner
// sharing its first bytes, so it gets ~1).
std::string kept(const std::string &s) { return s.size() > 31 ? s.substr(0, 29) + "~1" : s; }
// What "export dict" says about the long names of scott_dict().
std::string long_names_said(const std::string &dict_dir)
{
    return "user name \"A_VERY_LONG_USER_NAME_OF_FORTY_CHARS_XX\" is longer than 31 bytes: kept as "
           "\"A_VERY_LONG_USER_NAME_OF_FORT~1\".\n"
           "object name \"PUBSYN_WITH_A_NAME_LONGER_THAN_31\" is longer than 31 bytes: kept as "
           "\"PUBSYN_WITH_A_NAME_LONGER_THA~1\".\n"
           "column name \"A_COLUMN_NAME_WELL_BEYOND_THIRTY_ONE\" is longer than 31 bytes: kept as "
           "\"A_COLUMN_NAME_WELL_BEYOND_THI~1\".\n"
           "names longer than 31 bytes are listed with the names kept in " + dict_dir + "/longnames.txt.\n";
}

std::string label(const std::string &text, int count)
{
    std::string s = ". . " + text;
    while (s.size() < 23)
        s += ' ';
    while (s.size() < 64)
        s += '.';
    char n[32];
    snprintf(n, sizeof(n), "%10d rows done.\n", count);
    return s + n;
}

using sysdb::Store;
using kb::RowLayout;

// SCOTT's schema and a crowd of generated tables, with rows stored in every
// way the builder knows.
sysdb::Dict scott_dict()
{
    sysdb::Dict d;
    d.users = {{0, "SYS", 1, 0, 3, 0},
               {1, "PUBLIC", 0, 0, 0, 0},
               {4, "DBA", 0, 0, 0, 0},
               {84, "SCOTT", 1, 4, 3, 0, {RowLayout::Migrated, {}}},
               {90, "A_VERY_LONG_USER_NAME_OF_FORTY_CHARS_XX", 1, 4, 3, 9}};
    d.ts = {{4, "USERS", 0}, {0, "SYSTEM", 0}, {1, "SYSAUX", 0, {RowLayout::Migrated, {}}}, {3, "TEMP", 0}};
    d.obj = {{100, 84, "EMP", 2, 0},          {101, 84, "DEPT", 2, 0, {RowLayout::Migrated, {}}},
             {102, 84, "T_PART", 2, 0},       {103, 84, "P1", 19, 0},
             {104, 84, "P2", 19, 0},          {105, 84, "T_COMP", 2, 0},
             {106, 84, "CP1", 19, 0},         {107, 84, "SP1", 34, 0},
             {108, 84, "OLD", 2, 0x80},       {109, 84, "IOT1", 2, 0},
             {111, 84, "C_K", 3, 0},          {112, 84, "CT1", 2, 0},
             {130, 84, "SYS_LOB0000000100C00003$$", 21, 0},
             {131, 84, "SYS_IL0000000100C00003$$", 1, 0},
             {140, 84, "PK_EMP", 1, 0},          {113, 84, "NEGPROP", 2, 0},
             {60, 1, "PUBSYN_WITH_A_NAME_LONGER_THAN_31", 5, 0, {RowLayout::Chained, {{3, 0}}}},
             {99, 84, "DELETED_OBJ", 2, 0, {RowLayout::Deleted, {}}}};
    d.tab = {{100, 100, 4, 4, 10, 0, 0, 3, 0, 0x800, 0x1},
             {101, 101, 4, 4, 20, 0, 0, 2, 0, 0x20 | 0x800, 0x20, {RowLayout::Chained, {{10, 0}, {28, 1}}}},
             {102, 0, 4, 0, 0, 0, 0, 1, 0, 0x20, 0x20},
             {105, 0, 4, 0, 0, 0, 0, 1, 0, 0, 0},
             {108, 108, 4, 4, 30, 0, 0, 1, 0x800000, 0x400 | 0x800, 0x10000 | 0x40, {RowLayout::Migrated, {}}},
             {109, 109, 4, 4, 40, 0, 0, 1, 0, 0x40 | 0x800, 0x80 | 0x01000000},
             {112, 111, 4, 4, 50, 111, 1, 3, 0, 0x400, 0x40},
             {113, 113, 4, 4, 60, 0, 0, 1, 0, 0x80000000u, 0x01000000}};
    d.clu = {{111, 111, 2, 0x800000}};
    d.col = {{100, 1, 1, "EMPNO", 2, 22, 0, 0},
             {100, 2, 2, "ENAME", 1, 10, 0x4000000, 1, 0x100},
             {100, 3, 3, "NOTES", 112, 86, 0, 0, 0, {RowLayout::Chained, {{4, 2}}}},
             {100, 4, 4, "NAME2", 1, 40, 0, 2, 0x1000},
             {100, 5, 0, "SYS_NC00005$", 2, 22, 0x20, 0, 0x1},
             {101, 1, 1, "DEPTNO", 2, 22, 0x8000, 2, 0x4 | 0x1000, {RowLayout::Migrated, {}}},
             {101, 2, 2, "A_COLUMN_NAME_WELL_BEYOND_THIRTY_ONE", 1, 30, 0x4000, 0, 0x2},
             {111, 1, 1, "K1", 2, 22, 0, 0},
             {111, 2, 2, "K2", 1, 8, 0, 0},
             {112, 2, 2, "B", 1, 8, 0, 0},
             {112, 1, 1, "A", 2, 22, 0, 0},
             {112, 3, 3, "C", 1, 8, 0x20000000, 0, 0x100}};
    d.ind = {{131, 131, 100, 4, 4, 95, 8}, {140, 140, 100, 4, 4, 96, 1}};
    d.lob = {{100, 3, 130, 131, 4, 4, 90, 1, 0x2000}, {100, 1, 132, 133, 4, 4, 91, 4, 0x1000 | 0x2000}};
    d.tabpart = {{104, 104, 102, 4, 4, 70}, {103, 0, 102, 4, 4, 60}};
    d.tabsubpart = {{107, 107, 106, 4, 4, 80}};
    d.tabcompart = {{106, 0, 105, 0, 0, 0}};
    d.props = {{"NLS_CHARACTERSET", false, "AL32UTF8"},
               {"NLS_NCHAR_CHARACTERSET", false, "AL16UTF16"},
               {"NO_VALUE", true, ""},
               {"LONG_VALUE", false, std::string(200, 'v'), {RowLayout::Chained, {{1, 150}}}},
               {"A_PROPERTY_NAME_OF_MORE_THAN_31_BYTES", false, "x"}};
    // Enough tables and columns to fill many blocks of C_OBJ# and OBJ$.
    for (uint32_t i = 0; i < 150; i++) {
        uint32_t objn = 1000 + i;
        d.obj.push_back({objn, 84, "GEN_" + std::to_string(i), 2, 0});
        d.tab.push_back({objn, objn, 4, 4, 200 + i, 0, 0, 3, 0, 0, 0});
        for (uint32_t c = 3; c >= 1; c--)
            d.col.push_back({objn, c, c, "C" + std::to_string(c), 2, 22, 0, 0});
    }
    return d;
}

class Export : public DictDir {
protected:
    sysdb::Built built;
    DATAFILE sysf{};

    void open_system(const sysdb::Dict &d)
    {
        std::string p = dir + "/system01.dbf";
        ASSERT_EQ(sysdb::build(dir, d, &built), 0);
        sysf.fd = open(p.c_str(), O_RDONLY);
        ASSERT_GE(sysf.fd, 0);
        sysf.fno = sysf.rfn = 1;
        sysf.bsz = sysf.blk0_sz = d.bsz;
        sysf.blks = 4000;
        snprintf(sysf.name, sizeof(sysf.name), "%s", p.c_str());
        g_ctx.sysf = &sysf;
        g_ctx.sys.rootdba = built.root;
        g_ctx.par.flag = CFG_CHECKSUM;
    }
    void TearDown() override
    {
        if (sysf.fd >= 0)
            close(sysf.fd);
        g_ctx.sysf = nullptr;
        DictDir::TearDown();
    }
    // Breaks the check value of the first data block after the segment header
    // of dictionary table `table` (a clustered one: its cluster's) and returns
    // the line that reports it.
    std::string break_first_block(const char *table)
    {
        uint32_t hdr = 0;
        for (const sysdb::Obj &o : built.all.obj)
            for (const sysdb::Tab &t : built.all.tab)
                if (o.name == table && t.objn == o.objn)
                    hdr = t.blk;
        EXPECT_NE(hdr, 0u) << table;
        std::string p = dir + "/system01.dbf";
        uint32_t b = hdr + 1;
        std::vector<uint8_t> blk;
        for (; b < 4000 && kb::read_file_block(p, b, blk) == 0; b++)
            if (blk[0] == 0x06)
                break;
        EXPECT_EQ(kb::patch_block(p, b, 16, {(uint8_t)(blk[16] ^ 0x55)}, false), 0);
        uint32_t rdba = (1u << 22) | b;
        char want[1200];
        snprintf(want, sizeof(want),
                 "block rdba=0x%x check value not matched.\nblock 1/%u (rdba=0x%08x) of \"%s\": check value "
                 "mismatch, skipped.\n",
                 rdba, b, rdba, p.c_str());
        return want;
    }

    int run_export(std::string *err)
    {
        char args[] = "dict";
        Capture e(2);
        int rc = export_dict_handle(args);
        *err = e.text();
        return rc;
    }
};

template <class T, class K>
void sort_by(std::vector<T> &v, K key)
{
    std::sort(v.begin(), v.end(), [&](const T &a, const T &b) { return key(a) < key(b); });
}

} // namespace

TEST_F(Export, WritesEveryDictionaryFileAsDescribed)
{
    open_system(scott_dict());
    std::string err;
    ASSERT_EQ(run_export(&err), 0) << err;
    const sysdb::Dict &a = built.all;

    std::vector<TUser> users;
    for (const sysdb::User &u : a.users)
        if (u.type == 1)
            users.push_back({u.uid, u.astatus, u.dts, u.tts, kept(u.name)});
    sort_by(users, [](const TUser &u) { return u.uid; });
    EXPECT_EQ(get_file("user"), encode(users));

    Enc ts;
    std::vector<sysdb::Ts> tsv = a.ts;
    sort_by(tsv, [](const sysdb::Ts &t) { return t.tsn; });
    for (const sysdb::Ts &t : tsv)
        ts.u32(t.tsn).u32(t.owner).name(t.name);
    EXPECT_EQ(get_file("ts"), ts.b);

    std::vector<TObj> obj;
    for (const sysdb::Obj &o : a.obj)
        if (o.st.layout != RowLayout::Deleted)
            obj.push_back({o.flags, o.objn, o.owner, o.type, kept(o.name)});
    sort_by(obj, [](const TObj &o) { return o.objn; });
    EXPECT_EQ(get_file("obj"), encode(obj));

    std::vector<TTab> tab;
    for (const sysdb::Tab &t : a.tab)
        tab.push_back({t.want, t.objn, t.objd, t.bobj, t.tabno, t.cols, t.fno, t.blk, t.tsn});
    sort_by(tab, [](const TTab &t) { return t.objn; });
    EXPECT_EQ(get_file("tab"), encode(tab));

    std::vector<TCol> col;
    for (const sysdb::Col &c : a.col)
        col.push_back({c.want, c.objn, c.cid, c.segcol ? c.segcol : 0xFFFFu, c.type, c.length, kept(c.name)});
    sort_by(col, [](const TCol &c) { return ((uint64_t)c.objn << 32) | c.scid; });
    EXPECT_EQ(get_file("col"), encode(col));

    // Clusters keep the segment's order: compare them as a set.
    std::vector<std::vector<uint8_t>> clu_want, clu_got;
    for (const sysdb::Clu &c : a.clu)
        clu_want.push_back(Enc().u32(c.flags & 0x800000 ? 0x10000 : 0).u32(c.objn).u32(c.objd).u32(c.cols).b);
    std::vector<uint8_t> cf = get_file("cluster");
    for (size_t off = 0; off + 16 <= cf.size(); off += 16)
        clu_got.emplace_back(cf.begin() + (long)off, cf.begin() + (long)off + 16);
    std::sort(clu_want.begin(), clu_want.end());
    std::sort(clu_got.begin(), clu_got.end());
    EXPECT_EQ(clu_got, clu_want);

    EXPECT_EQ(get_file("ind"), Enc().u32(0).u32(131).u32(131).u32(100).u32(4).u32(4).u32(95).u32(0).b);
    // LOB flag: 0x1000 wins over 0x2000.
    EXPECT_EQ(get_file("lob"), Enc()
                                   .u32(1).u32(100).u32(1).u32(132).u32(133).u32(4).u32(4).u32(91).u32(4).u32(0)
                                   .u32(2).u32(100).u32(3).u32(130).u32(131).u32(1).u32(4).u32(90).u32(4).u32(0)
                                   .b);
    std::vector<TPart> tp = {{103, 0, 102, 4, 60, 4}, {104, 104, 102, 4, 70, 4}};
    EXPECT_EQ(get_file("tabpart"), encode(tp));
    std::vector<TPart> tsp = {{107, 107, 106, 4, 80, 4}};
    EXPECT_EQ(get_file("tabsubpart"), encode(tsp));
    // Composite partitions: only OBJ# and BO# are taken.
    EXPECT_EQ(get_file("tabcompart"), Enc().u32(0).u32(106).u32(0).u32(105).u32(0).u32(0).u32(0).u32(0).b);

    Enc props;
    for (const sysdb::Prop &p : a.props)
        props.name(cut31(p.name)).name(p.null_value ? "" : p.value.substr(0, 127), 128);
    EXPECT_EQ(get_file("props"), props.b);

    // The progress lines, with the counts of what was written.
    std::string want = label("export user$", (int)users.size()) + label("export ts$", (int)tsv.size()) +
                       label("export obj$", (int)obj.size()) + label("export tab$", (int)tab.size()) +
                       label("export clu$", (int)a.clu.size()) + label("export col$", (int)col.size()) +
                       label("export ind$", 1) + label("sort   user$", (int)users.size()) +
                       label("sort   ts$", (int)tsv.size()) + label("sort   obj$", (int)obj.size()) +
                       label("sort   tab$", (int)tab.size()) + label("sort   col$", (int)col.size()) +
                       label("sort   ind$", 1) + label("export lob$", 2) + label("export tabpart$", 2) +
                       label("export tabsubpart$", 1) + label("export tabcompart$", 1) +
                       label("export props$", (int)a.props.size()) + label("sort   lob$", 2) +
                       label("sort   tabpart$", 2) + label("sort   tabsubpart$", 1) + label("sort   tabcompart$", 1) +
                       long_names_said(g_ctx.par.dict_dir);
    EXPECT_EQ(err, want);
    std::ifstream lf(dir + "/longnames.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(lf), {}),
              "what\tof\tname\tfull name\n"
              "user\t\tA_VERY_LONG_USER_NAME_OF_FORT~1\tA_VERY_LONG_USER_NAME_OF_FORTY_CHARS_XX\n"
              "object\tuser#1\tPUBSYN_WITH_A_NAME_LONGER_THA~1\tPUBSYN_WITH_A_NAME_LONGER_THAN_31\n"
              "column\tobj#101\tA_COLUMN_NAME_WELL_BEYOND_THI~1\tA_COLUMN_NAME_WELL_BEYOND_THIRTY_ONE\n");
    EXPECT_EQ(g_ctx.fd, -1);
    EXPECT_EQ(g_ctx.usr, nullptr);
    EXPECT_EQ(g_ctx.sys.ncol, col.size());
}

TEST_F(Export, LoadAndListTheExportedDictionary)
{
    open_system(scott_dict());
    std::string err;
    ASSERT_EQ(run_export(&err), 0) << err;
    char args[] = "dict";
    {
        Capture e(2);
        ASSERT_EQ(load_dict_handle(args), 0) << e.text();
    }
    Capture out(1);
    char l1[] = "users", l2[] = "parts scott.t_part", d1[] = "scott.emp";
    list_handle(l1);
    list_handle(l2);
    desc_handle(d1);
    EXPECT_EQ(out.text(), "USER_ID     DEFAULT TS#     USER_NAME\n"
                          "0           0               SYS\n"
                          "84          4               SCOTT\n"
                          "90          4               A_VERY_LONG_USER_NAME_OF_FORT~1\n"
                          "\"SCOTT\".\"T_PART\" table partitions:\n"
                          "OBJ#      NAME\n"
                          "103       P1\n"
                          "104       P2\n"
                          "COL#  SEGCOL# NAME                            TYPE\n"
                          "1     1       EMPNO                           NUMBER\n"
                          "2     2       ENAME                           VARCHAR2(10)\n"
                          "3     3       NOTES                           CLOB\n"
                          "4     4       NAME2                           NVARCHAR2(40)\n");
    // The cluster's two key columns mark A and B of CT1; its flag gives the
    // extended row header, and column C's PROPERTY the column flag.
    const TAB &ct1 = g_ctx.tab[lookup_tab(112)];
    EXPECT_EQ(ct1.flag, 0x40u | TAB_EXTHDR | TAB_COLFLAG);
    EXPECT_EQ(g_ctx.col[ct1.coff].flag & COL_CLUKEY, COL_CLUKEY);
    EXPECT_EQ(g_ctx.col[ct1.coff + 1].flag & COL_CLUKEY, COL_CLUKEY);
    EXPECT_EQ(g_ctx.col[ct1.coff + 2].flag, 0x100u);
}

TEST_F(Export, WarnsWhenColColumnsMoved)
{
    sysdb::Dict d = scott_dict();
    d.col_property_segcol = 19;
    open_system(d);
    std::string err;
    ASSERT_EQ(run_export(&err), 0);
    std::string warn = "warning: COL$ column PROPERTY is stored as segment column 19, but is read as segment "
                       "column 16; the exported dictionary may be wrong.\n";
    EXPECT_EQ(err.substr(err.size() - warn.size() - long_names_said(g_ctx.par.dict_dir).size(), warn.size()), warn);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 27);
}

TEST_F(Export, RefusesWithoutRootOrArgument)
{
    std::string err;
    char bad[] = "dic";
    {
        Capture e(2);
        EXPECT_EQ(export_dict_handle(bad), -1);
        EXPECT_EQ(e.text(), "export command format error.\n");
    }
    EXPECT_EQ(run_export(&err), -1);
    EXPECT_EQ(err, "root dba not found, 1# datafile not in file list.\n");
}

TEST_F(Export, MissingTablesAndBrokenSegmentsAreReported)
{
    open_system(scott_dict());
    // A root that is a data block, not a segment header.
    g_ctx.sys.rootdba = built.root + 1;
    std::string err;
    EXPECT_EQ(run_export(&err), -1);
    // Today's line first, then the block named and the header given up.
    char want[1400];
    uint32_t r = built.root + 1;
    snprintf(want, sizeof(want),
             "error block type: 6\nblock 1/%u (rdba=0x%08x) of \"%s\": unexpected block type, skipped.\n"
             "segment header rdba=0x%08x of ts#=0 cannot be used.\n         1 blocks of bootstrap$ skipped.\n",
             r & 0x3FFFFF, r, g_ctx.sysf->name, r);
    EXPECT_EQ(err, want);

    // Without its bootstrap row a core table cannot be found.
    char nm[] = "NOSUCH$";
    BOOTSTRAP bs[2] = {};
    snprintf(bs[0].text, sizeof(bs[0].text), "CREATE TABLE X$(A NUMBER) STORAGE (  OBJNO 5 TABNO 1) CLUSTER C_X(A)");
    snprintf(bs[1].text, sizeof(bs[1].text), "CREATE TABLE Y$(A NUMBER) STORAGE (  OBJNO 6 )");
    int tabn;
    uint32_t rdba;
    Capture e(2);
    EXPECT_EQ(get_boot_table_rdba(bs, 2, nm, &tabn, &rdba), -1);
    char x[] = "X$", y[] = "Y$";
    EXPECT_EQ(get_boot_table_rdba(bs, 2, x, &tabn, &rdba), -1);
    EXPECT_EQ(tabn, 1);
    EXPECT_EQ(get_boot_table_rdba(bs, 2, y, &tabn, &rdba), -1);
    EXPECT_EQ(e.text(), "NOSUCH$ table sql_text not found.\n"
                        "C_X cluster sql_text not found.\n"
                        "sql_text error:\nCREATE TABLE Y$(A NUMBER) STORAGE (  OBJNO 6 )\n");
}

// One OBJ$ block failing its check value costs that block's rows only: the
// export goes on, says how many blocks of OBJ$ it skipped and that
// "checksum = NO" would read them; every other table is exported whole.
TEST_F(Export, FailedObjBlockIsSkippedAndCounted)
{
    open_system(scott_dict());
    std::string err;
    ASSERT_EQ(run_export(&err), 0) << err;
    uint32_t objs = g_ctx.sys.nobj, tabs = g_ctx.sys.ntab, cols = g_ctx.sys.ncol;
    auto tab_file = get_file("tab");
    std::string want = break_first_block("OBJ$");
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(run_export(&err), 0) << err;
    EXPECT_NE(err.find(want), std::string::npos) << err;
    EXPECT_NE(err.find(" rows done.\n         1 blocks of obj$ skipped.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("with \"checksum = NO\" in the configuration.\n"), std::string::npos) << err;
    // The lost block held LOB$'s own OBJ$ row: LOB$ is exported empty and the
    // export goes on with the tables after it.
    EXPECT_NE(err.find("table \"LOB$\" obj# not found.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("export lob$        .........................................         0 rows done.\n"
                       "LOB$ left empty: its segment is not known.\n"),
              std::string::npos)
        << err;
    EXPECT_LT(g_ctx.sys.nobj, objs);
    EXPECT_GT(g_ctx.sys.nobj, 0u);
    EXPECT_EQ(g_ctx.sys.ntab, tabs);
    EXPECT_EQ(g_ctx.sys.ncol, cols);
    EXPECT_EQ(get_file("tab"), tab_file);
}

// C_OBJ# holds the rows of TAB$, CLU$, COL$, IND$ and LOB$, and each of them
// walks it: one of its blocks failing its check value is reported once, every
// table that lost rows in it counts the block, and the export goes on.
TEST_F(Export, FailedClusterBlockIsReportedOnceAndCountedPerTable)
{
    open_system(scott_dict());
    std::string err;
    ASSERT_EQ(run_export(&err), 0) << err;
    uint32_t objs = g_ctx.sys.nobj, cols = g_ctx.sys.ncol;
    // TAB$ lives in C_OBJ#: the block broken is the cluster's.
    std::string want = break_first_block("TAB$");
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(run_export(&err), 0) << err;
    size_t at = err.find(want);
    ASSERT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("check value mismatch", at + want.size()), std::string::npos) << "reported once: " << err;
    for (const char *t : {"tab$", "clu$", "col$", "ind$"})
        EXPECT_NE(err.find(std::string(" 1 blocks of ") + t + " skipped.\n"), std::string::npos) << t << err;
    EXPECT_LT(g_ctx.sys.ncol, cols);
    EXPECT_EQ(g_ctx.sys.nobj, objs);
}

// RECYCLEBIN$ when the database has it: OBJ#, OWNER#, the name (of up to 128
// bytes, also split over two row pieces), OPERATION, TYPE# and the DROPTIME
// bytes taken from their positions among filler values, in segment order;
// "load dict" finds a dropped table's row by number and owner. Without
// RECYCLEBIN$, or without rows in it, the export says nothing of it and
// leaves no records of an earlier export.
TEST_F(Export, RecycleBinRowsWhenTheDatabaseHasThem)
{
    const std::vector<uint8_t> when = kb::ora_date(2023, 12, 31, 23, 59, 58);
    const std::string long_name = "ORDERS_" + std::string(121, 'L');
    sysdb::Dict d = scott_dict();
    d.recyclebin = {{108, 84, "OLD_NAME", 0, 1, when},
                    {2000, 84, long_name, 1, 2, {}, {RowLayout::Chained, {{2, 60}}}},
                    {112, 90, "CT1_OF_ANOTHER_OWNER", 0, 1, when}};
    open_system(d);
    std::string err;
    ASSERT_EQ(run_export(&err), 0) << err;
    EXPECT_NE(err.find(label("export props$", (int)d.props.size()) + label("export recyclebin$", 3) +
                       label("sort   lob$", 2)),
              std::string::npos)
        << err;
    Enc want;
    for (const sysdb::Recycled &r : d.recyclebin) {
        want.u32(r.objn).u32(r.owner).u32(r.operation).u32(r.type);
        std::vector<uint8_t> t = r.droptime;
        t.resize(7);
        want.b.insert(want.b.end(), t.begin(), t.end());
        want.b.push_back(r.droptime.empty() ? 0 : 1);
        want.name(r.name, 136);
    }
    EXPECT_EQ(get_file("recyclebin"), want.b);

    char args[] = "dict";
    {
        Capture e(2);
        ASSERT_EQ(load_dict_handle(args), 0);
        EXPECT_NE(e.text().find(label("load   recyclebin$", 3)), std::string::npos) << e.text();
    }
    const RECYCLED *old = recycled_table(&g_ctx.tab[lookup_tab(108)]);
    ASSERT_NE(old, nullptr);
    EXPECT_STREQ(old->name, "OLD_NAME");
    char text[32];
    recycled_drop_time(old, text, sizeof(text));
    EXPECT_STREQ(text, "2023-12-31 23:59:58");
    EXPECT_EQ(recycled_table(&g_ctx.tab[lookup_tab(112)]), nullptr);

    for (bool table : {true, false}) {
        TearDown();
        SetUp();
        sysdb::Dict e = scott_dict();
        e.has_recyclebin = table;
        put_file("recyclebin", want.b);
        open_system(e);
        ASSERT_EQ(run_export(&err), 0) << err;
        EXPECT_EQ(err.find("recyclebin"), std::string::npos) << err;
        EXPECT_EQ(get_file("recyclebin").size(), 0u);
    }
}
