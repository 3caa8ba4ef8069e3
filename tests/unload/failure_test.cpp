// Damaged and refused input: every fault gives its message, and what can
// still be read is unloaded; the dump stays readable after a failure.
#include "support.h"

namespace {

class Faults : public OneTableTest {
protected:
    void SetUp() override
    {
        OneTableTest::SetUp();
        t = heap_table("T", 700, {ucol("A", 2, 22), ucol("B", 1, 20), ucol("C", 1, 20)});
        t.seg.extents = {8};
        for (int i = 0; i < 5; i++)
            t.rows.push_back(lrow({kb::col_num(i), kb::col_str("b"), kb::col_str("c")}));
    }

    // Writes the table, then a block of hand-made slots (of data object
    // objd) into the last data block of its segment (after the rows the
    // builder placed).
    void make_with_block(const std::vector<std::vector<uint8_t>> &pieces, uint32_t objd = 700)
    {
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        uint32_t own = t.objd;
        t.objd = objd;
        write_block(t.segment.data.back(), {pieces});
        t.objd = own;
        add_table(t, scott, 4);
        add_file(df);
    }
    uint32_t last_block() const { return t.segment.data.back(); }
    static std::vector<uint8_t> piece(uint8_t fb, std::vector<uint8_t> rest) 
    {
        std::vector<uint8_t> p = {fb, 0};
        p.insert(p.end(), rest.begin(), rest.end());
        return p;
    }
};

const std::vector<uint8_t> NUM7 = {0x02, 0xC1, 0x08};   // the column 7

TEST_F(Faults, BlocksOfAnotherObjectAreSkippedAndCounted)
{
    make_with_block({piece(0x2C, {0x01, 0x02, 0xC1, 0x08})}, 999);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    EXPECT_NE(err.find("         5 rows done.\n1 blocks of another object skipped.\n"), std::string::npos) << err;
}

TEST_F(Faults, BadPieceEndsItsRowAndTheNextRowsFollow)
{
    std::vector<uint8_t> good = piece(0x2C, {0x01});
    good.insert(good.end(), NUM7.begin(), NUM7.end());
    std::vector<uint8_t> bad = piece(0x2C, {0x02});
    bad.insert(bad.end(), NUM7.begin(), NUM7.end());
    bad.insert(bad.end(), {0xFE, 0xFF, 0x7F, 'x'});   // 32767 bytes claimed, one there
    make_with_block({good, bad, good});
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t);
    xd::Row seven{{xd::data({0xC1, 0x08})}};
    x.rows.insert(x.rows.end(), {seven, seven, seven});
    x.flag |= 0x4;          // the cut row makes the table partial
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    char where[128];
    snprintf(where, sizeof(where), "bad row piece (ts#=4, rdba=0x%08x, slot 1): column runs past the block, row ended.\n",
             last_block());
    EXPECT_NE(err.find(where), std::string::npos) << err;
}

TEST_F(Faults, ChainThatLoopsIsCutOnce)
{
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    uint32_t a = t.segment.data.back();
    std::vector<uint8_t> h = piece(0x28, {0x01});
    rowid(h, a, 1);
    h.insert(h.end(), NUM7.begin(), NUM7.end());
    std::vector<uint8_t> loop = piece(0x00, {0x01});   // a middle piece pointing at itself
    rowid(loop, a, 1);
    loop.insert(loop.end(), {0x01, 'L'});
    write_block(a, {{h, loop}});
    add_table(t, scott, 4);
    add_file(df);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t);
    x.rows.push_back({{xd::data({0xC1, 0x08}), xd::text("L")}});
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    char msg[128];
    snprintf(msg, sizeof(msg), "row chain at rdba=0x%08x slot 0 loops or is too long, cut.\n", a);
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    EXPECT_EQ(err.find("cut.", err.find(msg) + strlen(msg)), std::string::npos) << "reported once";
}

// A next rowid into a datafile that is not configured cuts the row: it keeps
// its head's column, the rest is NULL, and the table goes on with the next
// table in a user's dump.
TEST_F(Faults, ChainIntoAnUnconfiguredFileCutsTheRow)
{
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    uint32_t a = t.segment.data.back();
    std::vector<uint8_t> h = piece(0x28, {0x01});
    rowid(h, kb::rdba(9, 5), 0);
    h.insert(h.end(), NUM7.begin(), NUM7.end());
    write_block(a, {{h}});
    add_table(t, scott, 4);
    kb::DbTable u = t;
    u.name = "U";
    u.objn = 701;
    u.objd = 701;
    ASSERT_EQ(kb::write_table(df, &next, u), 0);
    add_table(u, scott, 4);
    add_file(df);

    xd::Table x = expect(t);
    x.rows.push_back({{xd::data({0xC1, 0x08})}});
    x.flag |= 0x4;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    char msg[200];
    snprintf(msg, sizeof(msg),
             "datafile (ts#=4, rfile#=9) not found.\nbad row piece (ts#=4, rdba=0x%08x, slot 0): next rowid "
             "rdba=0x%08x leads to no configured datafile, row ended.\n         6 rows done.\n",
             a, kb::rdba(9, 5));
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    ASSERT_EQ(unload("user scott"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT.dat"), xd::dump_file("SCOTT", props, {x, expect(u)}));
}

// A LOB that fails after more than a cache of its data was written: its
// value record must not stay in the dump, and its row's DUMP_LOB word, by then
// in the file, becomes DUMP_NULL. Row 3's SecureFile extent list names 540
// blocks of data (4.3 MB, more than the 4 MiB cache, so part of the record
// reaches the file) and then an extent in a datafile that is not configured.
TEST_F(Faults, LobFailureAfterACacheOfDataIsNullAndTheRowsGoOn)
{
    kb::DbTable l = heap_table("L", 730, {ucol("ID", 2, 22), ucol("P", 113, 4000)});
    const std::vector<uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    std::vector<uint8_t> inl = locator(0x04, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0});
    inl.insert(inl.end(), hello.begin(), hello.end());
    std::vector<uint8_t> ext = {0, 0, 0, 0, 0, 0, 0x23, 0, 0, 0x42, 0x72, 0x00, 0, 3};
    auto extent = [&](uint32_t a, uint8_t n) {
        ext.insert(ext.end(), {0, (uint8_t)(a >> 24), (uint8_t)(a >> 16), (uint8_t)(a >> 8), (uint8_t)a, n});
    };
    extent(kb::rdba(5, 10), 255);
    extent(kb::rdba(5, 265), 255);
    extent(kb::rdba(5, 520), 30);
    extent(kb::rdba(9, 5), 1);
    l.rows = {lrow({kb::col_num(1)}), lrow({kb::col_num(2), kb::col_bytes(inl)}),
                      lrow({kb::col_num(3), kb::col_bytes(locator(0, 0x80, ext))}),
                      lrow({kb::col_num(4), kb::col_bytes(inl)})};
    ASSERT_EQ(kb::write_table(df, &next, l), 0);
    add_table(l, scott, 4);
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    add_table(t, scott, 4);
    add_file(df);

    kb::FileDesc d;
    d.fno = d.rfn = d.tsn = 5;
    d.blocks = 600;
    kb::Datafile lf;
    ASSERT_EQ(kb::df_create(lf, dir + "/lobs01.dbf", d), 0);
    std::vector<uint8_t> blk(d.bsz);
    for (uint32_t b = 10; b < 550; b++) {
        std::fill(blk.begin(), blk.end(), (uint8_t)b);
        kb::init_block(blk.data(), d.bsz, 0x06, kb::rdba(5, b));
        kb::put_le16(blk.data() + 124, (uint16_t)(d.bsz - 128));
        ASSERT_EQ(kb::df_write_block(lf, b, blk.data()), 0);
    }
    add_file(lf);
    LOB lob{};
    lob.objp = 730;
    lob.cid = 2;
    lob.chunk = 1;
    lob.tsn = 5;

    xd::Table x = expect(l, false);
    x.flag = 0x2 | 0x4;     // LOB columns; partial: a value was lost
    x.nlob = 1;
    x.rows = {{{xd::data({0xC1, 0x02})}},
              {{xd::data({0xC1, 0x03}), xd::lob_value(1, {hello})}},
              {{xd::data({0xC1, 0x04}), xd::null()}},
              {{xd::data({0xC1, 0x05}), xd::lob_value(1, {hello})}}};
    for (const char *args : {"table scott.l", "user scott"}) {
        g_ctx.lob = &lob;
        g_ctx.sys.nlob = 1;
        bool user = args[0] == 'u';
        ASSERT_EQ(unload(args), 0) << err;
        std::vector<xd::Table> want = {x};
        if (user)
            want.push_back(expect(t));
        // Equal whole files: nothing of the dropped value lies behind the
        // end mark, and the next table's column information follows it.
        EXPECT_EQ(xd::first_difference(read_dump(user ? "SCOTT.dat" : "SCOTT_L.dat"),
                                       xd::dump_file("SCOTT", props, want)),
                  "")
            << args;
        char msg[200];
        snprintf(msg, sizeof(msg),
                 "datafile (ts#=5, rfile#=9) not found.\nLOB value of column \"P\" in row (ts#=4, "
                 "rdba=0x%08x, slot 2) cannot be read, NULL.\n         4 rows done.\n",
                 l.segment.data.front());
        EXPECT_NE(err.find(msg), std::string::npos) << err;
    }
}

TEST_F(Faults, ColumnCountMismatchIsRefusedWithAReadableEntry)
{
    make_with_block({});
    tabs.back().ncol = 4;
    ASSERT_EQ(unload("table scott.t"), -1);
    EXPECT_NE(err.find("column count not matched, COLS=4, actual=3\n"), std::string::npos) << err;
    xd::Table x = expect(t, false);
    x.flag |= 0x4;          // a failed table is partial in the dump
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
}

TEST_F(Faults, ArgumentsAndRefusals)
{
    make_with_block({});
    kb::DbTable d = t, tmp = t, odd = t;
    d.name = "GONE";
    d.objn = 710;
    d.obj_flags = 0x80;
    tmp.name = "SCRATCH";
    tmp.objn = 711;
    tmp.obj_flags = 0x2;
    odd.name = "IOT";
    odd.objn = 712;
    for (kb::DbTable *x : {&d, &tmp, &odd})
        add_table(*x, scott, 4);
    tabs.back().flag = 0x1000000;   // a table of a kind the unloader refuses
    kb::DbTable lob = t;
    lob.name = "PICS";
    lob.objn = 713;
    lob.cols.push_back(ucol("P", 113, 4000));
    add_table(lob, scott, 4);

    struct Case {
        const char *args;
        int rc;
        const char *err;
    } cases[] = {
        {"tables", -1, "user not specified.\n"},
        {"table scott.", -1, "table not specified.\n"},
        {"table nobody.t", -1, "user \"NOBODY\" not found.\n"},
        {"table scott.none", -1, "table \"NONE\" not found.\n"},
        {"table \"scott\".t", -1, "user \"scott\" not found.\n"},
        {"table scott.scratch", -1, "\"SCRATCH\" is temporary table.\n"},
        {"table scott.iot", -1, "table \"IOT\" not supported.\n"},
        {"user nobody", -1, "user \"NOBODY\" not found.\n"},
        {"user", -1, "user \"\" not found.\n"},
        {"everything", -1, "Invalid unload command arguments.\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(unload(c.args), c.rc) << c.args;
        EXPECT_EQ(err, c.err) << c.args;
    }
    // Named on its own, a dropped table is read from the recycle bin.
    ASSERT_EQ(unload("table scott.gone"), 0) << err;
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), "table \"GONE\" is dropped: unloading it from the recycle bin.\n");
    xd::Table gone = expect(t);
    gone.name = "GONE";
    EXPECT_EQ(read_dump("SCOTT_GONE.dat"), xd::dump_file("SCOTT", props, {gone}));

    // A table with a LOB column is unloaded like any other; its rows store
    // no locator (the column is NULL), so no value record follows them.
    xd::Table pics = expect(lob);
    pics.flag = 0x2;
    pics.nlob = 1;
    ASSERT_EQ(unload("table scott.pics"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_PICS.dat"), xd::dump_file("SCOTT", props, {pics}));

    // "users" is taken as the user form; the passed-over tables are named.
    ASSERT_EQ(unload("users scott"), 0) << err;
    EXPECT_EQ(out, "table \"GONE\" is dropped.\n  unload table \"SCOTT\".\"GONE\" reads it from the recycle bin.\n"
                   "\"SCRATCH\" is temporary table.\n"
                   "table \"IOT\" has special feature, unsupported.\n");
    EXPECT_EQ(read_dump("SCOTT.dat"), xd::dump_file("SCOTT", props, {expect(t), pics}));
}

// Quoted Oracle names may hold '/': the dump named after them stays in the
// data directory.
TEST_F(Faults, DumpNamesStayInTheDataDirectory)
{
    make_with_block({});
    uint32_t up = add_user("U/P");
    kb::DbTable u = t;
    u.name = "A/B\x01";
    u.objn = 730;
    add_table(u, up, 4);
    ASSERT_EQ(unload("table \"U/P\".\"A/B\x01\""), 0) << err;
    EXPECT_TRUE(dump_exists("U_P_A_B_.dat"));
    ASSERT_EQ(unload("user \"U/P\""), 0) << err;
    EXPECT_TRUE(dump_exists("U_P.dat"));
}

TEST_F(Faults, NoDictionaryNoTablesNoProperties)
{
    make_with_block({});
    uint32_t ghost = add_user("GHOST");
    kb::DbTable d = t;
    d.name = "OLD";
    d.objn = 720;
    d.obj_flags = 0x80;
    add_table(d, ghost, 4);
    ASSERT_EQ(unload("user ghost"), 0);
    EXPECT_EQ(out, "table \"OLD\" is dropped.\n  unload table \"GHOST\".\"OLD\" reads it from the recycle bin.\n"
                   "no table to unload for user \"GHOST\".\n");
    EXPECT_FALSE(dump_exists("GHOST.dat"));

    install();
    g_ctx.tab = nullptr;
    char args[] = "table scott.t";
    testing::internal::CaptureStderr();
    EXPECT_EQ(unload_handle(args), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no dictionary loaded, run \"load dict\" first.\n");

    // Without props.dat no header is written: the file keeps its zeros.
    unlink((dir + "/dict/props.dat").c_str());
    ASSERT_EQ(unload("table scott.t"), -1);
    EXPECT_NE(err.find("open " + dir + "/dict/props.dat: No such file or directory\n"), std::string::npos) << err;
    xd::Bytes f = read_dump("SCOTT_T.dat");
    ASSERT_GE(f.size(), 1536u);
    EXPECT_EQ(xd::Bytes(f.begin(), f.begin() + 1536), xd::Bytes(1536, 0));
}

} // namespace
