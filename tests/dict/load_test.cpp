// "load dict" over dictionary files written from a description, and the
// listing commands over the loaded dictionary, compared byte for byte.
#include "support.h"

#include <cstdarg>

namespace {

std::string fmt(const char *f, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof(buf), f, ap);
    va_end(ap);
    return buf;
}

std::string label(const std::string &text)
{
    std::string s = ". . " + text;
    while (s.size() < 23)
        s += ' ';
    while (s.size() < 64)
        s += '.';
    return s;
}

// A small dictionary: SYS and two users, a clustered TAB$, SCOTT's tables
// (one without columns, one partitioned, one composite-partitioned, one
// dropped, one in a two-key cluster), a table with mixed-case names, and a
// public synonym.
struct Desc {
    std::vector<TUser> users = {{0, 0, 0, 3, "SYS"}, {84, 0, 4, 3, "SCOTT"}, {90, 8, 4, 3, "Mixed"}};
    std::vector<TObj> obj = {
        {0, 2, 0, 3, "C_OBJ#"},   {0, 4, 0, 2, "TAB$"},    {0, 60, 1, 5, "PUBSYN"},  {0, 100, 84, 2, "EMP"},
        {0, 101, 84, 2, "DEPT"},  {0, 102, 84, 2, "T_PART"}, {0, 103, 84, 19, "P1"},  {0, 104, 84, 19, "P2"},
        {0, 105, 84, 2, "T_COMP"}, {0, 106, 84, 19, "CP1"},  {0, 107, 84, 34, "SP1"}, {0x80, 108, 84, 2, "OLD"},
        {0, 110, 90, 2, "Emp"},   {0, 111, 84, 3, "C_K"},   {0, 120, 84, 2, "CT1"},
    };
    std::vector<TTab> tab = {
        {0x40, 4, 2, 2, 1, 2, 1, 208, 0},    {0x1, 100, 100, 0, 0, 5, 4, 10, 4}, {0, 101, 101, 0, 0, 0, 4, 20, 4},
        {0x20, 102, 0, 0, 0, 1, 0, 0, 4},    {0, 105, 0, 0, 0, 1, 0, 0, 4},      {0, 108, 108, 0, 0, 1, 4, 30, 4},
        {0, 110, 110, 0, 0, 1, 4, 40, 4},    {0x40, 120, 111, 111, 1, 3, 4, 50, 4},
    };
    std::vector<TCol> col = {
        {0, 2, 1, 1, 2, 22, "OBJ#"},
        {0, 4, 1, 1, 2, 22, "OBJ#"},          {0, 4, 2, 2, 2, 22, "DATAOBJ#"},
        {0, 100, 1, 1, 2, 22, "EMPNO"},       {0x100, 100, 2, 2, 1, 10, "ENAME"},
        {0, 100, 3, 3, 8, 0, "NOTES"},        {0x1000, 100, 4, 4, 1, 20, "NAME2"},
        {0x1, 100, 5, 0xFFFF, 2, 22, "SYS_NC00005$"},
        {0, 102, 1, 1, 2, 22, "ID"},          {0, 105, 1, 1, 2, 22, "ID"},
        {0, 108, 1, 1, 2, 22, "ID"},          {0, 110, 1, 1, 96, 3, "Id"},
        {0, 111, 1, 1, 2, 22, "K1"},          {0, 111, 2, 2, 1, 8, "K2"},
        {0, 120, 1, 1, 2, 22, "A"},           {0, 120, 2, 2, 1, 8, "B"},  {0, 120, 3, 3, 1, 8, "C"},
    };
    // Clusters: C_OBJ# with one key column, C_K with two and the extended
    // row header.
    std::vector<uint8_t> clu = Enc().u32(0).u32(2).u32(2).u32(1).u32(0x10000).u32(111).u32(111).u32(2).b;
    std::vector<TPart> tp = {{103, 103, 102, 4, 60, 4}, {104, 104, 102, 4, 70, 4}};
    std::vector<TPart> tcp = {{106, 0, 105, 0, 0, 0}};
    std::vector<TPart> tsp = {{107, 107, 106, 4, 80, 4}};
    // LOB: flag objp cid objn indn chunk fno blk tsn rsv
    std::vector<uint8_t> lob = Enc()
                                   .u32(0).u32(100).u32(5).u32(130).u32(131).u32(1).u32(4).u32(90).u32(4).u32(0)
                                   .u32(1).u32(100).u32(6).u32(132).u32(133).u32(1).u32(4).u32(91).u32(4).u32(0)
                                   .b;
    // LOBIDX: flag objn objd objp tsn fno blk rsv
    std::vector<uint8_t> ind =
        Enc().u32(0).u32(131).u32(131).u32(100).u32(4).u32(4).u32(95).u32(0).u32(0).u32(133).u32(133).u32(100)
            .u32(4).u32(4).u32(96).u32(0).b;
};

class Load : public DictDir {
protected:
    Desc d;
    void write_all()
    {
        put_file("user", encode(d.users));
        put_file("ts", Enc().u32(0).u32(0).name("SYSTEM").u32(4).u32(0).name("USERS").b);
        put_file("obj", encode(d.obj));
        put_file("tab", encode(d.tab));
        put_file("col", encode(d.col));
        put_file("cluster", d.clu);
        put_file("tabpart", encode(d.tp));
        put_file("tabcompart", encode(d.tcp));
        put_file("tabsubpart", encode(d.tsp));
        put_file("lob", d.lob);
        put_file("ind", d.ind);
    }
    void load_ok()
    {
        write_all();
        char args[] = "dict";
        Capture err(2);
        ASSERT_EQ(load_dict_handle(args), 0) << err.text();
    }
    std::string out_of(int (*fn)(char *), const char *args, int *rc = nullptr)
    {
        char buf[256];
        snprintf(buf, sizeof(buf), "%s", args);
        Capture out(1);
        int r = fn(buf);
        if (rc)
            *rc = r;
        return out.text();
    }
    std::string err_of(int (*fn)(char *), const char *args, int *rc = nullptr)
    {
        char buf[256];
        snprintf(buf, sizeof(buf), "%s", args);
        Capture err(2);
        Capture out(1);
        int r = fn(buf);
        if (rc)
            *rc = r;
        return err.text();
    }
    const TAB &tab_of(uint32_t objn) { return g_ctx.tab[lookup_tab(objn)]; }
};

} // namespace

TEST_F(Load, ProgressLinesAndCounts)
{
    write_all();
    char args[] = "dictionary";
    Capture err(2);
    ASSERT_EQ(load_dict_handle(args), 0);
    std::string want;
    const char *labels[] = {"load   user$", "load   ts$", "load   obj$", "load   tab$", "load   col$",
                            "load   tabpart$", "load   tabcompart$", "load   tabsubpart$", "load   lob$",
                            "load   ind$"};
    int counts[] = {3, 2, 15, 8, 17, 2, 1, 1, 2, 2};
    for (int i = 0; i < 10; i++)
        want += label(labels[i]) + fmt("%10d rows done.\n", counts[i]);
    EXPECT_EQ(err.text(), want);
    EXPECT_EQ(g_ctx.sys.ncol, 17u);
    // No array is left in the work buffer.
    EXPECT_NE((void *)g_ctx.usr, (void *)g_ctx.wrk);
}

TEST_F(Load, DerivedFieldsJoinTheRecords)
{
    load_ok();
    // Owners become user indexes; user number 1 becomes PUBLIC.
    EXPECT_EQ(g_ctx.obj[lookup_obj(60)].owner, OWNER_PUBLIC);
    EXPECT_EQ(g_ctx.obj[lookup_obj(100)].owner, 1u);
    EXPECT_EQ(g_ctx.obj[lookup_obj(110)].owner, 2u);

    const TAB &emp = tab_of(100);
    EXPECT_EQ(emp.oi, 3u);
    EXPECT_EQ(emp.ui, 1u);
    EXPECT_EQ(emp.coff, 3u);
    EXPECT_EQ(emp.tcol, 5u);
    EXPECT_EQ(emp.flag, 0x1u | TAB_LONG | TAB_COLFLAG);
    // A table without columns gets none, and the next one is still found.
    EXPECT_EQ(tab_of(101).tcol, 0u);
    EXPECT_EQ(tab_of(101).coff, 0u);
    EXPECT_EQ(tab_of(102).coff, 8u);
    EXPECT_EQ(tab_of(102).tcol, 1u);
    // Composite partitioning marks the parent even without PROPERTY 0x20.
    EXPECT_EQ(tab_of(105).flag, TAB_PART | TAB_COMPOSITE);
    EXPECT_EQ(tab_of(102).flag, TAB_PART);
    EXPECT_EQ(tab_of(108).flag, TAB_DROPPED);
    // Partitions know their objects.
    EXPECT_EQ(g_ctx.tp[1].oi, 7u);
    EXPECT_EQ(g_ctx.tcp[0].oi, 9u);
    EXPECT_EQ(g_ctx.tsp[0].oi, 10u);

    // Cluster keys: the two key columns of C_K mark A and B of CT1, not C;
    // the one key of C_OBJ# marks OBJ# of TAB$.
    const TAB &ct1 = tab_of(120);
    EXPECT_EQ(ct1.flag, 0x40u | TAB_EXTHDR);
    EXPECT_EQ(g_ctx.col[ct1.coff].flag, COL_CLUKEY);
    EXPECT_EQ(g_ctx.col[ct1.coff + 1].flag, COL_CLUKEY);
    EXPECT_EQ(g_ctx.col[ct1.coff + 2].flag, 0u);
    const TAB &t4 = tab_of(4);
    EXPECT_EQ(t4.flag, 0x40u);
    EXPECT_EQ(g_ctx.col[t4.coff].flag, COL_CLUKEY);
    EXPECT_EQ(g_ctx.col[t4.coff + 1].flag, 0u);
    // The cluster's own columns are not marked.
    EXPECT_EQ(g_ctx.col[12].flag, 0u);
}

TEST_F(Load, LookupsFindExactKeysOnly)
{
    load_ok();
    EXPECT_EQ(lookup_user(0), 0);
    EXPECT_EQ(lookup_user(90), 2);
    EXPECT_EQ(lookup_user(85), -1);
    EXPECT_EQ(lookup_obj(1), -1);
    EXPECT_EQ(lookup_obj(121), -1);
    EXPECT_EQ(lookup_obj(120), 14);
    EXPECT_EQ(lookup_tab(4), 0);
    EXPECT_EQ(lookup_tab(120), 7);
    EXPECT_EQ(lookup_tab(103), -1);
    EXPECT_EQ(lookup_lob(100, 5), 0);
    EXPECT_EQ(lookup_lob(100, 6), 1);
    EXPECT_EQ(lookup_lob(100, 7), -1);
    EXPECT_EQ(lookup_lob(99, 6), -1);
    EXPECT_EQ(lookup_lob_index(133), 1);
    EXPECT_EQ(lookup_lob_index(132), -1);
    g_ctx.sys.nidx = 0;
    EXPECT_EQ(lookup_lob_index(131), -1);
}

// A record that refers to something missing is left out with one message;
// the load goes on and says how many it left out. Only a format error and a
// missing file fail it.
TEST_F(Load, RecordsReferringToMissingOnesAreLeftOut)
{
    char bad[] = "dic";
    EXPECT_EQ(err_of(load_dict_handle, bad), "load command format error.\n");
    EXPECT_EQ(g_ctx.usr, nullptr);

    auto tail = [](const std::string &e, int lines) {
        size_t at = e.size();
        for (int i = 0; i <= lines && at != std::string::npos && at > 0; i++)
            at = e.rfind('\n', at - 1);
        return at == std::string::npos ? e : e.substr(at + 1);
    };
    // DEPT's owner is missing: its object goes, and so its table.
    d.obj[4].owner = 77;
    write_all();
    int rc = 0;
    std::string e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tail(e, 3), "user of object 101 not found.\nobject 101 not found.\n"
                          "2 dictionary records left out: they refer to missing records.\n");
    EXPECT_EQ(lookup_obj(101), -1);
    EXPECT_EQ(lookup_tab(101), -1);
    EXPECT_EQ(g_ctx.sys.ntab, 7u);
    EXPECT_GE(lookup_tab(100), 0);
    EXPECT_GE(lookup_tab(120), 0);
    EXPECT_EQ(g_ctx.tab[lookup_tab(120)].oi, (uint32_t)lookup_obj(120));

    d = Desc();
    d.tab[1].objn = 99;     // stays sorted, but has no object
    write_all();
    e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tail(e, 2), "object 99 not found.\n1 dictionary records left out: they refer to missing records.\n");
    EXPECT_EQ(lookup_tab(99), -1);
    EXPECT_EQ(g_ctx.sys.ntab, 7u);

    d = Desc();
    d.tcp[0].objp = 104;    // a partition, not a table
    write_all();
    e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tail(e, 2), "table 104 not found.\n1 dictionary records left out: they refer to missing records.\n");
    EXPECT_EQ(g_ctx.sys.ntcp, 0u);

    d = Desc();
    d.clu = Enc().u32(0).u32(55).u32(55).u32(1).b;
    write_all();
    e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tail(e, 2), "cluster obj#=55 columns not found.\n"
                          "1 dictionary records left out: they refer to missing records.\n");

    // A healthy dictionary loads without the count line.
    d = Desc();
    write_all();
    e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(e.find("left out"), std::string::npos);

    // A missing file stops the load there, and that array stays unloaded.
    d = Desc();
    write_all();
    unlink(path("tabpart").c_str());
    e = err_of(load_dict_handle, "dict", &rc);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(g_ctx.tp, nullptr);
    EXPECT_NE(g_ctx.col, nullptr);
}

TEST_F(Load, ClusterKeyCountNeverReachesIntoAnotherObject)
{
    // C_K claims three key columns but has two records; the next records
    // (CT1's own) must not be taken as keys.
    d.clu = Enc().u32(0).u32(111).u32(111).u32(3).b;
    load_ok();
    const TAB &ct1 = tab_of(120);
    EXPECT_EQ(g_ctx.col[ct1.coff + 2].flag, 0u);
    EXPECT_EQ(g_ctx.col[ct1.coff].flag, COL_CLUKEY);
}

TEST_F(Load, EmptyFilesLoadAsNoRecords)
{
    write_all();
    put_file("tabsubpart", {});
    put_file("lob", {});
    char args[] = "dict";
    Capture err(2);
    ASSERT_EQ(load_dict_handle(args), 0);
    EXPECT_NE(err.text().find(label("load   lob$") + "         0 rows done.\n"), std::string::npos);
    EXPECT_NE(g_ctx.lob, nullptr);
    EXPECT_EQ(lookup_lob(100, 5), -1);
}

TEST_F(Load, UserCommands)
{
    EXPECT_EQ(out_of(show_user_handle, "user"), "Current user not set.\n");
    EXPECT_EQ(out_of(set_user_handle, "user scott"), "Current user set to \"SCOTT\".\n");
    EXPECT_EQ(out_of(show_user_handle, "user"), "Current user is \"SCOTT\".\n");
    EXPECT_EQ(out_of(set_user_handle, "user \t\"Scott\"x"), "Current user set to \"Scott\".\n");
    EXPECT_EQ(out_of(set_user_handle, "user a b"), "Current user set to \"A B\".\n");
    EXPECT_EQ(out_of(set_user_handle, "user abcdefghijklmnopqrstuvwxyz0123456789"),
              "Current user set to \"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234\".\n");
    EXPECT_EQ(out_of(set_user_handle, "user"), "Current user set to \"\".\n");
    EXPECT_EQ(out_of(show_user_handle, "user"), "Current user not set.\n");
    int rc = 0;
    EXPECT_EQ(err_of(set_user_handle, "users scott", &rc), "set command format error.\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(err_of(set_user_handle, "scott", &rc), "set command format error.\n");
    EXPECT_EQ(err_of(show_user_handle, "user now", &rc), "show command format error.\n");
    EXPECT_EQ(rc, -1);
}

TEST_F(Load, QualifiedNames)
{
    char u[32], t[32];
    take_qualified_name("scott.emp", u, t);
    EXPECT_STREQ(u, "SCOTT");
    EXPECT_STREQ(t, "EMP");
    take_qualified_name("\"Scott\".\"Emp\"", u, t);
    EXPECT_STREQ(u, "Scott");
    EXPECT_STREQ(t, "Emp");
    take_qualified_name("emp", u, t);
    EXPECT_STREQ(u, "");
    EXPECT_STREQ(t, "EMP");
    take_qualified_name("a.b.c", u, t);
    EXPECT_STREQ(u, "B");
    EXPECT_STREQ(t, "C");
    // A dot always cuts, even inside quotes.
    take_qualified_name("\"a.b\"", u, t);
    EXPECT_STREQ(u, "a");
    EXPECT_STREQ(t, "B\"");
    take_qualified_name("scott.", u, t);
    EXPECT_STREQ(u, "SCOTT");
    EXPECT_STREQ(t, "");
}

TEST_F(Load, ListingsBeforeLoad)
{
    EXPECT_EQ(out_of(list_handle, "users"), "User information not loaded.\n");
    EXPECT_EQ(out_of(list_handle, "tables"), "Table information not loaded.\n");
    EXPECT_EQ(out_of(list_handle, "objects"), "Object information not loaded.\n");
    EXPECT_EQ(out_of(list_handle, "parts x.y"), "Table Partition information not loaded.\n");
    EXPECT_EQ(out_of(list_handle, "files"), "Data files not loaded.\n");
    int rc = 0;
    EXPECT_EQ(out_of(desc_handle, "scott.emp", &rc), "Table column information not loaded.\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(err_of(list_handle, "", &rc), "Invalid list command arguments.\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(err_of(list_handle, "indexes", &rc), "Invalid list command arguments.\n");
    EXPECT_EQ(rc, 0);
}

TEST_F(Load, ListFilesPrefixTest)
{
    DATAFILE df[2] = {};
    df[0] = {0, 3, 1, 1, 0, 6400, 8192, 8192, "/u01/system01.dbf"};
    df[1] = {0, 4, 4, 4, 4, 128, 8192, 8192, "/u01/users01.dbf"};
    g_ctx.df = df;
    g_ctx.sys.nf = 2;
    std::string want = "TS#   FILE_ID   RELATIVE_FNO    BLOCKS    BLOCK_SIZE  FILE_NAME\n"
                       "0     1         1               6400      8192        /u01/system01.dbf\n"
                       "4     4         4               128       8192        /u01/users01.dbf\n";
    EXPECT_EQ(out_of(list_handle, "filesystem"), want);
    g_ctx.df = nullptr;
}

TEST_F(Load, ListUsersTablesObjects)
{
    load_ok();
    std::string want = "USER_ID     DEFAULT TS#     USER_NAME\n";
    for (const TUser &u : d.users)
        want += fmt("%-12d%-16d%s\n", u.uid, u.dts, u.name.c_str());
    EXPECT_EQ(out_of(list_handle, "users"), want);

    const char *thead = "OWNER                           TABLE_NAME                      COLS  FILE#  BLOCK#\n";
    auto trow = [&](const char *owner, const char *name, const TTab &t) {
        return fmt("%-30s  %-30s  %-4d  %5d  %6d\n", owner, name, t.ncol, t.fno, t.blk);
    };
    want = thead + trow("SYS", "TAB$", d.tab[0]) + trow("SCOTT", "EMP", d.tab[1]) + trow("SCOTT", "DEPT", d.tab[2]) +
           trow("SCOTT", "T_PART", d.tab[3]) + trow("SCOTT", "T_COMP", d.tab[4]) + trow("SCOTT", "OLD", d.tab[5]) +
           trow("Mixed", "Emp", d.tab[6]) + trow("SCOTT", "CT1", d.tab[7]);
    EXPECT_EQ(out_of(list_handle, "tables"), want);
    EXPECT_EQ(out_of(list_handle, "tables \"Mixed\""), thead + trow("Mixed", "Emp", d.tab[6]));
    EXPECT_EQ(err_of(list_handle, "tables nobody"), "user \"NOBODY\" not found.\n");
    out_of(set_user_handle, "user scott");
    std::string scott = thead;
    for (int i = 1; i <= 7; i++)
        if (i != 6)
            scott += trow("SCOTT", d.obj[(size_t)lookup_obj(d.tab[i].objn)].name.c_str(), d.tab[i]);
    EXPECT_EQ(out_of(list_handle, "tables"), scott);

    const char *ohead = "OWNER                           OBJECT_NAME                     TYPE\n";
    std::string objs = ohead;
    for (const TObj &o : d.obj)
        if (o.owner == 84)
            objs += fmt("%-30s  %-30s  %-4d\n", "SCOTT", o.name.c_str(), o.type);
    EXPECT_EQ(out_of(list_handle, "objects"), objs);
    out_of(set_user_handle, "user");
    std::string all = out_of(list_handle, "objects");
    EXPECT_NE(all.find(fmt("%-30s  %-30s  %-4d\n", "PUBLIC", "PUBSYN", 5)), std::string::npos);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 16);
}

TEST_F(Load, ListParts)
{
    load_ok();
    std::string want = "\"SCOTT\".\"T_PART\" table partitions:\nOBJ#      NAME\n"
                       "103       P1\n"
                       "104       P2\n";
    EXPECT_EQ(out_of(list_handle, "parts scott.t_part"), want);
    EXPECT_EQ(err_of(list_handle, "parts scott.emp"), "\"SCOTT\".\"EMP\" is not partition table.\n");
    EXPECT_EQ(err_of(list_handle, "parts t_part"), "user not specified.\n");
    EXPECT_EQ(err_of(list_handle, "parts scott."), "table not specified.\n");
    EXPECT_EQ(err_of(list_handle, "parts bob.t_part"), "user \"BOB\" not found.\n");
    EXPECT_EQ(err_of(list_handle, "parts scott.nope"), "table \"NOPE\" not found.\n");
    out_of(set_user_handle, "user scott");
    EXPECT_EQ(out_of(list_handle, "parts t_part"), want);
    // Composite partitions make a table partitioned, but list no partitions.
    EXPECT_EQ(out_of(list_handle, "parts t_comp"), "\"SCOTT\".\"T_COMP\" table partitions:\nOBJ#      NAME\n");
}

TEST_F(Load, Desc)
{
    load_ok();
    std::string want = "COL#  SEGCOL# NAME                            TYPE\n"
                       "1     1       EMPNO                           NUMBER\n"
                       "2     2       ENAME                           VARCHAR2(10)\n"
                       "3     3       NOTES                           LONG\n"
                       "4     4       NAME2                           NVARCHAR2(20)\n";
    EXPECT_EQ(out_of(desc_handle, "scott.emp"), want);
    EXPECT_EQ(out_of(desc_handle, "\"Mixed\".\"Emp\""),
              "COL#  SEGCOL# NAME                            TYPE\n"
              "1     1       Id                              CHAR(3)\n");
    int rc = 0;
    EXPECT_EQ(err_of(desc_handle, "emp", &rc), "user not specified.\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(err_of(desc_handle, "mixed.emp", &rc), "user \"MIXED\" not found.\n");
    EXPECT_EQ(err_of(desc_handle, "\"Mixed\".emp", &rc), "table \"EMP\" not found.\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out_of(desc_handle, "scott.dept"), "COL#  SEGCOL# NAME                            TYPE\n");

    // A damaged column range from the files stays inside the array.
    g_ctx.tab[lookup_tab(100)].tcol = 1000;
    EXPECT_EQ(out_of(desc_handle, "scott.emp"), "COL#  SEGCOL# NAME                            TYPE\n");
}

TEST(TypeString, EveryTypeAndTheNationalForms)
{
    struct { int flag, ctyp, clen; const char *text; } cases[] = {
        {0, 1, 20, "VARCHAR2(20)"},      {COL_NCHAR, 1, 20, "NVARCHAR2(20)"}, {COL_NCHAR, 2, 22, "NUMBER"},
        {0, 8, 0, "LONG"},               {0, 12, 7, "DATE"},                  {0, 23, 16, "RAW(16)"},
        {0, 24, 0, "LONG RAW"},          {0, 96, 1, "CHAR(1)"},               {COL_NCHAR, 96, 4, "NCHAR(4)"},
        {0, 100, 4, "BINARY_FLOAT"},     {0, 101, 8, "BINARY_DOUBLE"},        {0, 112, 86, "CLOB"},
        {COL_NCHAR, 112, 86, "NCLOB"},   {COL_NCHAR, 113, 86, "BLOB"},        {0, 180, 11, "TIMESTAMP"},
        {0, 181, 13, "TIMESTAMP WITH TIME ZONE"}, {0, 182, 5, "INTERVAL YEAR TO MONTH"},
        {0, 183, 11, "INTERVAL DAY TO SECOND"}, {0, 231, 11, "TIMESTAMP WITH LOCAL TIME ZONE"},
        {0, 58, 1, "UNKNOWN"},           {0x0FFF, 1, 5, "VARCHAR2(5)"},
    };
    for (auto &c : cases)
        EXPECT_STREQ(type_string(c.flag, c.ctyp, c.clen), c.text) << c.ctyp;
}
