// What the unloader refuses rather than reads wrongly: compressed blocks
// (never decoded as plain rows, counted with their rows), a segment header
// with free list groups, and a table none of whose data blocks parse (an
// encrypted tablespace). Each gives its one message and its counts, and the
// dump holds exactly the rows that were decoded.
#include "../unload/support.h"

namespace {

class Refusal : public OneTableTest {
protected:
    void SetUp() override
    {
        OneTableTest::SetUp();
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        add_table(t, scott, 4);
        add_file(df);
    }
    // A whole row of T, in the plain row format.
    static std::vector<uint8_t> row(int64_t a, const std::string &b, uint8_t fb = 0x2C)
    {
        kb::Piece p;
        p.fb = fb;
        p.cols = {kb::col_num(a), kb::col_str(b)};
        return kb::encode_piece(p);
    }
    std::string loss_file() { return slurp(dir + "/data/SCOTT_T.loss"); }
    static std::string slurp(const std::string &path)
    {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::string loss_line(uint32_t a, const char *what, const char *why)
    {
        char m[200];
        snprintf(m, sizeof(m), "T\t4\t%u\t0x%08x\t-\t-\t%s\t%s\n", a & 0x3FFFFF, a, what, why);
        return m;
    }
};

// Every row piece of these blocks is a well-formed plain row of T: the
// symbol table's tokens, the token-encoded rows and the columnar unit would
// all come out as rows if a block were handed to the plain row decoder. The
// dump holds the three plain rows only.
TEST_F(Refusal, CompressedBlocksAreCountedNeverDecoded)
{
    const std::vector<uint32_t> &data = t.segment.data;
    ASSERT_GE(data.size(), 4u);
    // BASIC, with four column permutation entries: symbol table, 3 rows and
    // a deleted one.
    write_block(data[1], {{row(90, "tok"), row(91, "tok")}, {row(10, "x"), row(11, "y"), row(12, "z"), row(13, "d", 0x3C)}}, 4);
    // OLTP, no permutation entries: 2 rows.
    write_block(data[2], {{row(92, "tok")}, {row(20, "x"), row(21, "y")}}, 0);
    // A hybrid columnar unit: one table, the head piece of the unit.
    kb::Piece unit;
    unit.fb = 0x28;
    unit.has_nrid = true;
    unit.nrid = {data[3], 0};
    unit.cols = {kb::col_bytes({'K', 'D', 'Z', '0', 1, 2, 3})};
    write_block(data[3], {{kb::encode_piece(unit)}}, 0);

    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t);
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    EXPECT_NE(err.find("         3 rows done.\ntable \"T\": 3 compressed blocks skipped (compressed tables are not "
                       "supported).\n    5 rows in compressed blocks lost: see " + dir + "/data/SCOTT_T.loss\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(loss_file(), "table\tfile#\tblock#\trdba\tslot\tcolumn\tlost\twhy\n" +
                               loss_line(data[1], "compressed rows", "compressed block: 3 rows not decoded") +
                               loss_line(data[2], "compressed rows", "compressed block: 2 rows not decoded") +
                               loss_line(data[3], "compressed rows", "compressed block: rows not counted"));
    EXPECT_EQ(g_data_lost, 1);
}

// Without the flag, a table directory of two tables in a block of a table
// outside a cluster is a compressed block too.
TEST_F(Refusal, TwoTablesOutsideAClusterAreACompressedBlock)
{
    write_block(t.segment.data[1], {{row(92, "tok")}, {row(20, "x")}}, -1);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t);
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    EXPECT_NE(err.find("table \"T\": 1 compressed blocks skipped (compressed tables are not supported).\n    1 row "
                       "in compressed blocks lost: see "),
              std::string::npos)
        << err;
}

// The header is refused with the table's name and the reason; no scan of
// the tablespace replaces it, and the table fails with no rows.
TEST_F(Refusal, SegmentHeaderWithFreeListGroupsIsRefused)
{
    ASSERT_EQ(kb::patch_block(df.path, t.segment.hdr & 0x3FFFFF, 0, {0x11}, true), 0);
    ASSERT_EQ(unload("table scott.t"), -1) << err;
    char m[200];
    snprintf(m, sizeof(m),
             "table \"T\": segment header rdba=0x%08x has free list groups (block type 0x11), not supported.\n",
             t.segment.hdr);
    EXPECT_NE(err.find(m), std::string::npos) << err;
    EXPECT_EQ(err.find("error block type"), std::string::npos) << err;
    EXPECT_EQ(err.find("scanning"), std::string::npos) << err;
    xd::Table x = expect(t, false);
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
}

// Every data block of the table is ciphertext after its cache header: one
// message names tablespace encryption, the blocks are counted lost, and no
// line per block is printed.
TEST_F(Refusal, TableOfUnparsableBlocksNamesTablespaceEncryption)
{
    write_block(t.segment.data[1], {{row(5, "e")}}, -1);
    write_block(t.segment.data[2], {{row(6, "f")}}, -1);
    uint32_t n = 0;
    for (uint32_t a : t.segment.data) {
        std::vector<uint8_t> blk;
        ASSERT_EQ(kb::read_file_block(df.path, a & 0x3FFFFF, blk), 0);
        if (blk[0] != 0x06)
            continue;
        std::vector<uint8_t> noise(blk.size() - 24);
        uint32_t s = 0x9E3779B9u * (a | 1);
        for (uint8_t &c : noise) {
            s = s * 1103515245u + 12345u;
            c = (uint8_t)(s >> 24);
        }
        noise[0] = 0x5A;        // a transaction header type no block has
        ASSERT_EQ(kb::patch_block(df.path, a & 0x3FFFFF, 20, noise, true), 0);
        n++;
    }
    ASSERT_GT(n, 0u);
    TS ts{4, 0, "SECURE"};
    g_ctx.ts = &ts;
    g_ctx.sys.nts = 1;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t, false);
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    char m[300];
    snprintf(m, sizeof(m),
             "         0 rows done.\ntable \"T\": none of its %u data blocks can be read as table data: tablespace "
             "\"SECURE\" is probably encrypted (not supported).\n    %u blocks skipped: see ",
             n, n);
    EXPECT_NE(err.find(m), std::string::npos) << err;
    EXPECT_EQ(err.find("another object"), std::string::npos) << err;
    EXPECT_EQ(loss_file(), "table\tfile#\tblock#\trdba\tslot\tcolumn\tlost\twhy\nT\t-\t-\t-\t-\t-\tblock\tno data block "
                           "parses: tablespace encryption is the likely cause\n");
    g_ctx.ts = nullptr;
}

// An extended VARCHAR2 (declared over 4000 bytes, with a LOB entry) whose
// value cannot be read, or is stored two bytes per character, is NULL,
// reported and counted; the readable value beside them is whole.
TEST_F(Refusal, ExtendedValuesThatCannotBeReadAreNull)
{
    kb::DbTable e = heap_table("E", 740, {ucol("ID", 2, 22), ucol("S", 1, 32767)});
    std::vector<uint8_t> inl = locator(0x04, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0});
    inl.insert(inl.end(), {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> wide = inl;
    wide[9] = 2;
    uint32_t to = kb::rdba(4, 600);
    std::vector<uint8_t> ext = {0, 0, 0, 0, 0, 0, 0x23, 0, 0, 0, 0x10, 0, 0, 0,
                                0, (uint8_t)(to >> 24), (uint8_t)(to >> 16), (uint8_t)(to >> 8), (uint8_t)to, 1};
    e.rows = {lrow({kb::col_num(1), kb::col_bytes(inl)}), lrow({kb::col_num(2), kb::col_bytes(locator(0, 0x80, ext))}),
              lrow({kb::col_num(3), kb::col_bytes(wide)})};
    ASSERT_EQ(kb::write_table(df, &next, e), 0);
    add_table(e, scott, 4);
    LOB lob{};
    lob.objp = 740;
    lob.cid = 2;
    lob.chunk = 1;
    lob.tsn = 4;
    g_ctx.lob = &lob;
    g_ctx.sys.nlob = 1;
    ASSERT_EQ(unload("table scott.e"), 0) << err;
    xd::Table x = expect(e, false);
    x.rows = {{{xd::data({0xC1, 0x02}), xd::text("hello")}}, {{xd::data({0xC1, 0x03}), xd::null()}},
              {{xd::data({0xC1, 0x04}), xd::null()}}};
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_E.dat"), xd::dump_file("SCOTT", props, {x}));
    for (const char *how : {"slot 1) cannot be read, NULL.\n", "slot 2) is stored two bytes per character, NULL.\n"}) {
        char m[200];
        snprintf(m, sizeof(m), "extended value of column \"S\" in row (ts#=4, rdba=0x%08x, %s", e.segment.data[0],
                 how);
        EXPECT_NE(err.find(m), std::string::npos) << m << err;
    }
    EXPECT_NE(err.find("         3 rows done.\n    2 LOB values lost: see "), std::string::npos) << err;
    g_ctx.lob = nullptr;
    g_ctx.sys.nlob = 0;
}

} // namespace
