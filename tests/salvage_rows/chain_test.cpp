// Rows keep what survives: a chained row whose next piece cannot be fetched
// keeps the columns read so far and the rest is NULL; a LONG value cut with
// its row is NULL; the rows after it and the whole dump stay exact.
#include "../unload/support.h"

namespace {

const std::vector<uint8_t> NUM7 = {0x02, 0xC1, 0x08};   // the column 7

class Chains : public OneTableTest {
protected:
    static std::vector<uint8_t> piece(uint8_t fb, uint8_t cc, uint32_t ndba, uint16_t nslot,
                                      const std::vector<uint8_t> &cols)
    {
        std::vector<uint8_t> p = {fb, 0, cc};
        if (ndba || nslot)
            rowid(p, ndba, nslot);
        p.insert(p.end(), cols.begin(), cols.end());
        return p;
    }
    // The table's last data block: a whole row, a head piece whose next
    // rowid is `to`, a whole row.
    void make(uint32_t to)
    {
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        std::vector<uint8_t> whole = {0x2C, 0, 1};
        whole.insert(whole.end(), NUM7.begin(), NUM7.end());
        write_block(t.segment.data.back(), {{whole, piece(0x28, 1, to, 0, NUM7), whole}});
        add_table(t, scott, 4);
        add_file(df);
    }
    uint32_t last() const { return t.segment.data.back(); }
    // The expected dump: the builder's rows, then 7, the cut row (7, NULL)
    // or the whole one (7, tail), and 7.
    xd::Table expected(const char *tail = nullptr)
    {
        xd::Table x = expect(t);
        xd::Row seven{{xd::data({0xC1, 0x08})}};
        xd::Row middle = seven;
        if (tail)
            middle.vals.push_back(xd::text(tail));
        else
            x.flag |= 0x4;          // the cut row makes the table partial
        x.rows.insert(x.rows.end(), {seven, middle, seven});
        return x;
    }
    std::string cut_line(uint32_t to, const char *why)
    {
        char m[200];
        snprintf(m, sizeof(m), "bad row piece (ts#=4, rdba=0x%08x, slot 1): next %s, row ended.\n", last(), why);
        (void)to;
        return m;
    }
};

TEST_F(Chains, NextPiecePastTheEndOfTheFileCutsTheRow)
{
    uint32_t to = kb::rdba(4, 600);
    make(to);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expected()}));
    char m[400];
    snprintf(m, sizeof(m),
             "read \"%s\": end of file before block rdba=0x%x.\nblock 4/600 (rdba=0x%08x) of \"%s\": beyond the end "
             "of the file, skipped.\nbad row piece (ts#=4, rdba=0x%08x, slot 1): next piece at rdba=0x%08x cannot "
             "be read, row ended.\n         6 rows done.\n",
             df.path.c_str(), to, to, df.path.c_str(), last(), to);
    EXPECT_NE(err.find(m), std::string::npos) << err;
}

TEST_F(Chains, NextPieceAtTheFileHeaderCutsTheRow)
{
    uint32_t to = kb::rdba(4, 0);
    make(to);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expected()}));
    char m[400];
    snprintf(m, sizeof(m),
             "block 4/0 (rdba=0x%08x) of \"%s\": the address names the file header, skipped.\nbad row piece "
             "(ts#=4, rdba=0x%08x, slot 1): next piece at rdba=0x%08x cannot be read, row ended.\n",
             to, df.path.c_str(), last(), to);
    EXPECT_NE(err.find(m), std::string::npos) << err;
}

// The next piece's block fails its check value: with verification on the
// row is cut, reported once; with it off the block is read as it is.
TEST_F(Chains, NextPieceWithABadCheckValue)
{
    uint32_t to = kb::rdba(4, 300);
    make(to);
    write_block(to, {{piece(0x04, 1, 0, 0, {0x04, 't', 'a', 'i', 'l'})}});
    ASSERT_EQ(kb::patch_block(df.path, 300, 2000, {0x5A}, false), 0);
    g_ctx.par.flag |= CFG_CHECKSUM;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expected()}));
    char m[400];
    snprintf(m, sizeof(m),
             "block rdba=0x%x check value not matched.\nblock 4/300 (rdba=0x%08x) of \"%s\": check value mismatch, "
             "skipped.\nbad row piece (ts#=4, rdba=0x%08x, slot 1): next piece at rdba=0x%08x cannot be read, row "
             "ended.\n",
             to, to, df.path.c_str(), last(), to);
    size_t at = err.find(m);
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("check value mismatch", at + strlen(m)), std::string::npos) << "reported once";

    g_ctx.par.flag &= ~CFG_CHECKSUM;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expected("tail")}));
    EXPECT_EQ(err.find("row ended"), std::string::npos) << err;
}

// A LONG split over two pieces whose second piece is lost: the row keeps its
// first column and the LONG is NULL (its DUMP_LONG word turned into NULL, no
// value record); the next row's LONG is whole.
TEST_F(Chains, LongCutWithItsRowIsNull)
{
    t = heap_table("T", 700, {ucol("A", 2, 22), ucol("L", 8, 0)});
    t.seg.extents = {8};
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    uint32_t to = kb::rdba(4, 600);
    std::vector<uint8_t> head = NUM7;
    head.insert(head.end(), {0x03, 'a', 'b', 'c'});
    std::vector<uint8_t> whole = NUM7;
    whole.insert(whole.end(), {0x02, 'o', 'k'});
    write_block(last(), {{piece(0x29, 2, to, 0, head), piece(0x2C, 2, 0, 0, whole)}});
    add_table(t, scott, 4);
    add_file(df);
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table x = expect(t, false);
    x.rows = {{{xd::data({0xC1, 0x08}), xd::null()}},
              {{xd::data({0xC1, 0x08}), xd::long_value({'o', 'k'})}}};
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {x}));
    char m[200];
    snprintf(m, sizeof(m), "LONG value of column \"L\" in row (ts#=4, rdba=0x%08x, slot 0) cut with its row, NULL.\n",
             last());
    EXPECT_NE(err.find(m), std::string::npos) << err;
    EXPECT_NE(err.find("         2 rows done.\n"), std::string::npos) << err;
}

// A SecureFile value whose one extent lies past the end of its file is NULL;
// the value after it, in the next row, is whole.
TEST_F(Chains, LobChunkPastTheEndOfTheFileIsNull)
{
    kb::DbTable l = heap_table("L", 730, {ucol("ID", 2, 22), ucol("P", 113, 4000)});
    const std::vector<uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    std::vector<uint8_t> inl = locator(0x04, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0});
    inl.insert(inl.end(), hello.begin(), hello.end());
    uint32_t to = kb::rdba(4, 600);
    std::vector<uint8_t> ext = {0, 0, 0, 0, 0, 0, 0x23, 0, 0, 0, 0x10, 0, 0, 0,
                                0, (uint8_t)(to >> 24), (uint8_t)(to >> 16), (uint8_t)(to >> 8), (uint8_t)to, 1};
    l.rows = {lrow({kb::col_num(1), kb::col_bytes(locator(0, 0x80, ext))}), lrow({kb::col_num(2), kb::col_bytes(inl)})};
    ASSERT_EQ(kb::write_table(df, &next, l), 0);
    add_table(l, scott, 4);
    add_file(df);
    LOB lob{};
    lob.objp = 730;
    lob.cid = 2;
    lob.chunk = 1;
    lob.tsn = 4;
    g_ctx.lob = &lob;
    g_ctx.sys.nlob = 1;
    ASSERT_EQ(unload("table scott.l"), 0) << err;
    xd::Table x = expect(l, false);
    x.flag = 0x2;
    x.nlob = 1;
    x.rows = {{{xd::data({0xC1, 0x02}), xd::null()}}, {{xd::data({0xC1, 0x03}), xd::lob_value(1, {hello})}}};
    x.flag |= 0x4;
    EXPECT_EQ(read_dump("SCOTT_L.dat"), xd::dump_file("SCOTT", props, {x}));
    char m[600];
    snprintf(m, sizeof(m),
             "read \"%s\": end of file before block rdba=0x%x.\nblock 4/600 (rdba=0x%08x) of \"%s\": beyond the end "
             "of the file, skipped.\nread extent (ts#=4, rdba=0x%08x) error.\nLOB value of column \"P\" in row "
             "(ts#=4, rdba=0x%08x, slot 0) cannot be read, NULL.\n         2 rows done.\n",
             df.path.c_str(), to, to, df.path.c_str(), to, l.segment.data.front());
    EXPECT_NE(err.find(m), std::string::npos) << err;
}

} // namespace
