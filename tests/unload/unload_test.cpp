// "unload table" and "unload user" over datafiles written by the builder:
// whole dump files compared byte for byte with the dump computed from the
// builder's logical rows.
#include "support.h"

namespace {

class Unload : public UnloadTest {
protected:
    kb::Datafile df;
    uint32_t next = 2;
    uint32_t scott = 0;

    void SetUp() override
    {
        UnloadTest::SetUp();
        kb::FileDesc d;
        d.fno = 4;
        d.rfn = 4;
        d.tsn = 4;
        d.blocks = 2048;
        d.tsname = "USERS";
        ASSERT_EQ(kb::df_create(df, dir + "/users01.dbf", d), 0);
        scott = add_user("SCOTT");
    }

    // Writes the table and enters it in the dictionary.
    void make(kb::DbTable &t)
    {
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        add_table(t, scott, 4);
    }
    void finish()
    {
        ASSERT_EQ(fsync(df.fd), 0);
        add_file(df);
    }

    static kb::DbTable emp(uint32_t objn, const std::string &name = "EMP")
    {
        return heap_table(name, objn, {ucol("EMPNO", 2, 22), ucol("ENAME", 1, 10), ucol("HIREDATE", 12, 7),
                                       ucol("SAL", 2, 22), ucol("COMM", 2, 22)});
    }
    static kb::LogicalRow emp_row(int i)
    {
        return lrow({kb::col_num(7000 + i), kb::col_str("NAME" + std::to_string(i)), kb::col_bytes(kb::ora_date(1981, 1 + i % 12, 1 + i % 28)),
                     kb::col_num(100 * i), i % 3 ? kb::col_null() : kb::col_num(i)});
    }
};

TEST_F(Unload, SmallTableMatchesTheDocumentedBytes)
{
    kb::DbTable t = heap_table("T", 500, {ucol("N", 2, 22), ucol("S", 1, 10)});
    t.rows = {lrow({kb::col_num(1), kb::col_str("ab")})};
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Bytes d = read_dump("SCOTT_T.dat");
    ASSERT_EQ(d.size(), 1536u + 96 + 12);
    xd::Bytes rows(d.begin() + 1536 + 96, d.end());
    EXPECT_EQ(rows, (xd::Bytes{0x00, 0x02, 0xC1, 0x02, 0x00, 0x02, 'a', 'b', 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(d, xd::dump_file("SCOTT", props, {expect(t)}));
    std::string label = ". . unloading table \"SCOTT\".\"T\"  ";
    EXPECT_EQ(err, label + std::string(80 - label.size(), '.') + "         1 rows done.\n");
}

TEST_F(Unload, PlainTableOverManyBlocksWithTrailingNulls)
{
    kb::DbTable t = emp(501);
    t.seg.extents = {8, 16, 64};
    for (int i = 0; i < 3000; i++)
        t.rows.push_back(emp_row(i));
    t.rows[5].cols[1] = kb::col_null();   // inner NULL
    make(t);
    finish();
    ASSERT_EQ(unload("table emp") , -1);
    EXPECT_EQ(err, "user not specified.\n");
    snprintf(g_ctx.cur_usr, sizeof(g_ctx.cur_usr), "SCOTT");
    ASSERT_EQ(unload("table emp"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMP.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    EXPECT_NE(err.find("      3000 rows done.\n"), std::string::npos);
    // The quoted names address the same table.
    ASSERT_EQ(unload("table \"SCOTT\".\"EMP\""), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMP.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, DeletedRowsAndFreeSlotsGiveNothing)
{
    kb::DbTable t = emp(502);
    for (int i = 0; i < 40; i++)
        t.rows.push_back(emp_row(i));
    t.rows[3].layout = kb::RowLayout::Deleted;
    t.rows[7].layout = kb::RowLayout::FreeSlot;
    t.rows[8].layout = kb::RowLayout::FreeSlot;
    t.rows[20].layout = kb::RowLayout::Migrated;
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.emp"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMP.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, ChainedRowOverThreeBlocksJoinsTheSplitColumn)
{
    kb::DbTable t = heap_table("DOCS", 510, {ucol("ID", 2, 22), ucol("BODY", 1, 32767), ucol("TAIL", 1, 4000), ucol("NOTE", 1, 100)});
    t.seg.extents = {16};
    kb::LogicalRow big = lrow({kb::col_num(1), kb::col_bytes(kb::pattern_bytes(10000, 1)),
                               kb::col_bytes(kb::pattern_bytes(3000, 2)), kb::col_str("end")},
                              kb::RowLayout::Chained);
    big.cuts = {{1, 5000}, {2, 0}};   // BODY split over pieces 1 and 2, TAIL and NOTE in piece 3
    t.rows = {lrow({kb::col_num(0), kb::col_str("before")}), big,
                      lrow({kb::col_num(2), kb::col_str("after")})};
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.docs"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_DOCS.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, HiddenColumnsAreSteppedOver)
{
    kb::DbTable t = heap_table("H", 520, {ucol("A", 2, 22), ucol("SYS_H1", 2, 22, 0x20), ucol("B", 1, 20), ucol("SYS_H2", 1, 20, 0x4000),
              ucol("C", 1, 20, 0, 2), ucol("SYS_H4", 2, 22, 0x8000)});
    for (int i = 0; i < 20; i++)
        t.rows.push_back(lrow({kb::col_num(i), kb::col_num(-i), kb::col_str("b" + std::to_string(i)),
                                       kb::col_str("hidden"), i % 2 ? kb::col_str("c") : kb::col_null(),
                                       kb::col_num(4)}));
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.h"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_H.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, EmptyTableAndTableWithoutSegment)
{
    kb::DbTable t = emp(530, "EMPTY");
    make(t);
    kb::DbTable n = emp(531, "NOSEG");
    n.no_segment = true;
    add_table(n, scott, 4);
    finish();
    ASSERT_EQ(unload("table scott.empty"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMPTY.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    ASSERT_EQ(unload("table scott.noseg"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_NOSEG.dat"), xd::dump_file("SCOTT", props, {expect(n)}));
    EXPECT_NE(err.find("         0 rows done.\n"), std::string::npos);
}

TEST_F(Unload, PartitionedTableRowsOfEverySegmentInOneStream)
{
    kb::DbTable t = emp(540, "SALES");
    t.parts.resize(3);
    for (size_t p = 0; p < 3; p++) {
        t.parts[p].objn = 541 + (uint32_t)p;
        t.parts[p].objd = 641 + (uint32_t)p;
        t.parts[p].seg_kind = p == 1 ? 0x23 : 0x10;
        for (int i = 0; i < 50 * (int)(p + 1); i++)
            t.parts[p].rows.push_back(emp_row(1000 * (int)p + i));
    }
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.sales"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_SALES.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    EXPECT_NE(err.find("       300 rows done.\n"), std::string::npos);
}

TEST_F(Unload, CompositePartitionedTableWalksEverySubpartition)
{
    kb::DbTable t = emp(550, "ORDERS");
    t.composite = true;
    t.parts.resize(2);
    t.parts[0].objn = 551;
    t.parts[1].objn = 552;
    for (size_t p = 0; p < 3; p++) {
        kb::DbPart s;
        s.objn = 560 + (uint32_t)p;
        s.objd = 660 + (uint32_t)p;
        for (int i = 0; i < 10; i++)
            s.rows.push_back(emp_row(100 * (int)p + i));
        t.parts[p < 2 ? 0 : 1].subparts.push_back(s);
    }
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.orders"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_ORDERS.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

// Two tables in one cluster keyed by DEPTNO: each row's key value comes
// from the key row of its block.
TEST_F(Unload, ClusteredTablesTakeTheirKeyFromTheKeyRow)
{
    kb::DbCluster c;
    c.name = "C_DEPT";
    c.objn = c.objd = 570;
    c.seg_kind = 0x10;
    c.seg.extents = {16};
    for (int k = 0; k < 30; k++)
        c.keys.push_back({kb::col_num(10 * (k + 1))});
    kb::DbTable dept = heap_table("DEPT", 571, {ucol("DEPTNO", 2, 22), ucol("DNAME", 1, 14)});
    kb::DbTable emps = heap_table("STAFF", 572, {ucol("ENAME", 1, 10), ucol("DEPTNO", 2, 22), ucol("SAL", 2, 22)});
    for (kb::DbTable *t : {&dept, &emps}) {
        t->objd = 570;
        t->cluster = c.name;
        t->cluster_cols = {"DEPTNO"};
    }
    xd::Table xdept = expect(dept, false), xemp = expect(emps, false);
    for (int k = 0; k < 30; k++) {
        dept.rows.push_back(lrow({kb::col_str("D" + std::to_string(k))}));
        dept.row_keys.push_back((size_t)k);
        xdept.rows.push_back({{xd::data(kb::ora_number(10 * (k + 1))), xd::text("D" + std::to_string(k))}});
    }
    for (int k = 0; k < 30; k++)
        for (int e = 0; e < 20; e++) {
            bool no_sal = e == 3;   // trailing NULL: the key column still carries its value
            bool no_name = e == 4;  // no stored column at all
            kb::LogicalRow r = lrow({no_name ? kb::col_null() : kb::col_str("E" + std::to_string(e)),
                                     no_sal || no_name ? kb::col_null() : kb::col_num(e)});
            emps.rows.push_back(r);
            emps.row_keys.push_back((size_t)k);
            xd::Row x{{no_name ? xd::null() : xd::text("E" + std::to_string(e)),
                       xd::data(kb::ora_number(10 * (k + 1)))}};
            if (!no_sal && !no_name)
                x.vals.push_back(xd::data(kb::ora_number(e)));
            xemp.rows.push_back(x);
        }
    ASSERT_EQ(kb::write_cluster(df, &next, c, {&dept, &emps}), 0);
    add_table(dept, scott, 4, 570, dept.tabn);
    add_table(emps, scott, 4, 570, emps.tabn);
    finish();
    ASSERT_EQ(unload("table scott.dept"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_DEPT.dat"), xd::dump_file("SCOTT", props, {xdept}));
    ASSERT_EQ(unload("table scott.staff"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_STAFF.dat"), xd::dump_file("SCOTT", props, {xemp}));
}

TEST_F(Unload, LongValuesOfEverySize)
{
    kb::DbTable t = heap_table("NOTES", 580, {ucol("ID", 2, 22), ucol("TXT", 8, 0)});
    t.seg.extents = {64};
    size_t sizes[] = {1000, 40000, 100000, 32768, 65536, 0, 100000, 3};
    uint32_t id = 0;
    for (size_t n : sizes)
        t.rows.push_back(lrow({kb::col_num(++id), n ? kb::col_bytes(kb::pattern_bytes(n, id)) : kb::col_null()}));
    // A NULL LONG in the middle of the row.
    t.cols.push_back(ucol("AFTER", 1, 10));
    for (kb::LogicalRow &r : t.rows)
        r.cols.push_back(kb::col_str("z"));
    t.rows[5].cols[1] = kb::col_null();
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.notes"), 0) << err;
    xd::Table x = expect(t);
    EXPECT_EQ(read_dump("SCOTT_NOTES.dat"), xd::dump_file("SCOTT", props, {x}));
    // The 100,000-byte value went through the staging file.
    struct stat st;
    ASSERT_EQ(stat((dir + "/data/long_tmp.dat").c_str(), &st), 0);
}

TEST_F(Unload, LongRawSplitOverPiecesOfOneBlockEach)
{
    kb::DbTable t = heap_table("IMG", 585, {ucol("ID", 2, 22), ucol("PIC", 24, 0)});
    t.seg.extents = {64};
    kb::LogicalRow r = lrow({kb::col_num(1), kb::col_bytes(kb::pattern_bytes(40000, 9))}, kb::RowLayout::Chained);
    r.cuts = {{1, 3000}, {1, 9000}, {1, 15000}, {1, 21000}, {1, 27000}, {1, 33000}};
    t.rows = {r, lrow({kb::col_num(2), kb::col_bytes(kb::pattern_bytes(70000, 10))})};
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.img"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_IMG.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, UserWithTenTablesGetsTheirStreamsInTableOrder)
{
    std::vector<kb::DbTable> ts;
    for (int k = 0; k < 10; k++) {
        kb::DbTable t = emp(800 + (uint32_t)k, "T" + std::to_string(k));
        for (int i = 0; i < 7 * k; i++)
            t.rows.push_back(emp_row(i));
        make(t);
        ts.push_back(t);
    }
    uint32_t other = add_user("OTHER");
    kb::DbTable o = emp(850, "NOT_MINE");
    ASSERT_EQ(kb::write_table(df, &next, o), 0);
    add_table(o, other, 4);
    finish();
    ASSERT_EQ(unload("user \"SCOTT\""), 0) << err;
    std::vector<xd::Table> x;
    for (const kb::DbTable &t : ts)
        x.push_back(expect(t));
    xd::Bytes d = read_dump("SCOTT.dat");
    EXPECT_EQ(d, xd::dump_file("SCOTT", props, x));
    // 10 records of table information take 1024 bytes: the first table starts at 2048.
    ASSERT_GE(d.size(), 1024u + 24);
    EXPECT_EQ(xd::Bytes(d.begin() + 1024 + 16, d.begin() + 1024 + 24), (xd::Bytes{0, 0, 0, 0, 0, 0, 0x08, 0x00}));
}

// Rows whose split column straddles the moments the 4 MiB cache is written
// out: the length of the joined column still reaches its place.
TEST_F(Unload, SplitColumnLengthSurvivesCacheWrites)
{
    kb::DbTable t = heap_table("BIG", 860, {ucol("ID", 2, 22), ucol("BODY", 1, 32767)});
    t.opts.pctfree = 0;
    t.seg.extents = {1000, 1000};
    for (int i = 0; i < 600; i++) {
        kb::LogicalRow r = lrow({kb::col_num(i), kb::col_bytes(kb::pattern_bytes(8100, (uint32_t)i))},
                                kb::RowLayout::Chained);
        r.cuts = {{1, 7900}};
        t.rows.push_back(r);
    }
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.big"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_BIG.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

} // namespace
