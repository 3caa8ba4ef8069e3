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
    void make(kb::UserTable &t)
    {
        ASSERT_EQ(kb::write_user_table(df, &next, t), 0);
        add_table(t, scott, 4);
    }
    void finish()
    {
        ASSERT_EQ(fsync(df.fd), 0);
        add_file(df);
    }

    static kb::UserTable emp(uint32_t objn, const std::string &name = "EMP")
    {
        kb::UserTable t;
        t.name = name;
        t.objn = objn;
        t.objd = objn;
        t.cols = {ucol("EMPNO", 2, 22), ucol("ENAME", 1, 10), ucol("HIREDATE", 12, 7), ucol("SAL", 2, 22),
                  ucol("COMM", 2, 22)};
        t.segs.resize(1);
        t.segs[0].objd = objn;
        return t;
    }
    static kb::LogicalRow emp_row(int i)
    {
        return lrow({kb::col_num(7000 + i), kb::col_str("NAME" + std::to_string(i)), kb::col_bytes(kb::ora_date(1981, 1 + i % 12, 1 + i % 28)),
                     kb::col_num(100 * i), i % 3 ? kb::col_null() : kb::col_num(i)});
    }
};

TEST_F(Unload, SmallTableMatchesTheDocumentedBytes)
{
    kb::UserTable t;
    t.name = "T";
    t.objn = 500;
    t.objd = 500;
    t.cols = {ucol("N", 2, 22), ucol("S", 1, 10)};
    t.segs.resize(1);
    t.segs[0].objd = 500;
    t.segs[0].rows = {lrow({kb::col_num(1), kb::col_str("ab")})};
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
    kb::UserTable t = emp(501);
    t.segs[0].extents = {8, 16, 64};
    for (int i = 0; i < 3000; i++)
        t.segs[0].rows.push_back(emp_row(i));
    t.segs[0].rows[5].cols[1] = kb::col_null();   // inner NULL
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
    kb::UserTable t = emp(502);
    for (int i = 0; i < 40; i++)
        t.segs[0].rows.push_back(emp_row(i));
    t.segs[0].rows[3].layout = kb::RowLayout::Deleted;
    t.segs[0].rows[7].layout = kb::RowLayout::FreeSlot;
    t.segs[0].rows[8].layout = kb::RowLayout::FreeSlot;
    t.segs[0].rows[20].layout = kb::RowLayout::Migrated;
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.emp"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMP.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, ChainedRowOverThreeBlocksJoinsTheSplitColumn)
{
    kb::UserTable t;
    t.name = "DOCS";
    t.objn = 510;
    t.objd = 510;
    t.cols = {ucol("ID", 2, 22), ucol("BODY", 1, 32767), ucol("TAIL", 1, 4000), ucol("NOTE", 1, 100)};
    t.segs.resize(1);
    t.segs[0].objd = 510;
    t.segs[0].extents = {16};
    kb::LogicalRow big = lrow({kb::col_num(1), kb::col_bytes(kb::pattern_bytes(10000, 1)),
                               kb::col_bytes(kb::pattern_bytes(3000, 2)), kb::col_str("end")},
                              kb::RowLayout::Chained);
    big.cuts = {{1, 5000}, {2, 0}};   // BODY split over pieces 1 and 2, TAIL and NOTE in piece 3
    t.segs[0].rows = {lrow({kb::col_num(0), kb::col_str("before")}), big,
                      lrow({kb::col_num(2), kb::col_str("after")})};
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.docs"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_DOCS.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, HiddenColumnsAreSteppedOver)
{
    kb::UserTable t;
    t.name = "H";
    t.objn = 520;
    t.objd = 520;
    t.cols = {ucol("A", 2, 22), ucol("SYS_H1", 2, 22, 0x1), ucol("B", 1, 20), ucol("SYS_H2", 1, 20, 0x2),
              ucol("C", 1, 20, 0x1000), ucol("SYS_H4", 2, 22, 0x4)};
    t.segs.resize(1);
    t.segs[0].objd = 520;
    for (int i = 0; i < 20; i++)
        t.segs[0].rows.push_back(lrow({kb::col_num(i), kb::col_num(-i), kb::col_str("b" + std::to_string(i)),
                                       kb::col_str("hidden"), i % 2 ? kb::col_str("c") : kb::col_null(),
                                       kb::col_num(4)}));
    make(t);
    finish();
    ASSERT_EQ(unload("table scott.h"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_H.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
}

TEST_F(Unload, EmptyTableAndTableWithoutSegment)
{
    kb::UserTable t = emp(530, "EMPTY");
    make(t);
    kb::UserTable n = emp(531, "NOSEG");
    n.segs.clear();
    add_table(n, scott, 4);
    finish();
    ASSERT_EQ(unload("table scott.empty"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_EMPTY.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    ASSERT_EQ(unload("table scott.noseg"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_NOSEG.dat"), xd::dump_file("SCOTT", props, {expect(n)}));
    EXPECT_NE(err.find("         0 rows done.\n"), std::string::npos);
}

} // namespace
