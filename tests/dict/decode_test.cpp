// The row decoders on single blocks made with the builder's block writer:
// what a damaged or short row gives, and how batches reach the file.
#include "kbuild.h"

#include "support.h"

namespace {

std::vector<uint8_t> piece(std::vector<kb::Col> cols, int cki = -1)
{
    kb::Piece p;
    p.cols = std::move(cols);
    p.cki = cki;
    return kb::encode_piece(p);
}

class Decode : public DictDir {
protected:
    DATAFILE sysf{};
    std::vector<uint8_t> blk = std::vector<uint8_t>(2048);
    std::vector<uint8_t> cblk = std::vector<uint8_t>(2048);
    void SetUp() override
    {
        DictDir::SetUp();
        sysf.fd = -1;
        sysf.bsz = 2048;
        g_ctx.sysf = &sysf;
    }
    void TearDown() override
    {
        if (g_ctx.fd != -1)
            close(g_ctx.fd);
        g_ctx.fd = -1;
        g_ctx.sysf = nullptr;
        DictDir::TearDown();
    }
    void compose(const std::vector<std::vector<std::vector<uint8_t>>> &tables)
    {
        kb::DataBlock b;
        for (const auto &t : tables) {
            b.tables.emplace_back();
            for (const auto &bytes : t)
                b.tables.back().push_back(kb::Slot{false, bytes});
        }
        ASSERT_EQ(kb::compose_data_block(b, 2048, (1u << 22) | 77, blk.data()), 0);
    }
};

} // namespace

TEST_F(Decode, DamagedColumnEndsOnlyItsRow)
{
    // Slot 0 lies at the end of the block: its value length runs past it.
    std::vector<uint8_t> bad = {0x2C, 0, 2, 3, 'A', 'B', 'C', 200, 'x'};
    compose({{bad, piece({kb::col_str("GOOD"), kb::col_str("v")})}});
    PROPS p[4];
    int n = 0;
    Capture err(2);
    ASSERT_EQ(process_props_block(cblk.data(), blk.data(), p, 0, 4, &n), 0);
    EXPECT_EQ(err.text(), "dictionary row rdba=0x0040004d slot 0: column 1 beyond the block end.\n");
    ASSERT_EQ(n, 1);
    EXPECT_STREQ(p[0].name, "GOOD");
    EXPECT_STREQ(p[0].value, "v");
}

TEST_F(Decode, MissingTrailingColumnsAreNull)
{
    // A PROPS$ row with a NULL value and comment stores one column; the
    // bytes after it belong to the next row and must not be read.
    compose({{piece({kb::col_str("ONLY_NAME")}), piece({kb::col_str("NEXT"), kb::col_str("VAL")})}});
    PROPS p[4];
    int n = 0;
    ASSERT_EQ(process_props_block(cblk.data(), blk.data(), p, 0, 4, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(p[0].name, "ONLY_NAME");
    EXPECT_STREQ(p[0].value, "");
    EXPECT_STREQ(p[1].value, "VAL");

    // An OBJ$ row cut after OWNER#: name, type and flags are empty and 0.
    compose({{piece({kb::col_num(77), kb::col_null(), kb::col_num(5)})}});
    OBJ o[2];
    n = 0;
    ASSERT_EQ(process_obj_block(cblk.data(), blk.data(), o, 0, 2, &n), 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(o[0].objn, 77u);
    EXPECT_EQ(o[0].owner, 5u);
    EXPECT_STREQ(o[0].name, "");
    EXPECT_EQ(o[0].flag, 0u);
}

TEST_F(Decode, FullBatchIsWrittenAtOnce)
{
    std::vector<std::vector<uint8_t>> keys = {kb::encode_key_row({kb::col_num(4)}, 1, {}, {})};
    std::vector<std::vector<uint8_t>> rows;
    for (int i = 0; i < 3; i++)
        rows.push_back(piece({kb::col_str("TS" + std::to_string(i)), kb::col_num(i)}, 0));
    compose({keys, rows});
    TS ts[3];
    int n = 0;
    g_ctx.sys.nts = 0;
    ASSERT_EQ(process_ts_block(cblk.data(), blk.data(), ts, 1, 3, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(g_ctx.sys.nts, 3u);
    close(g_ctx.fd);
    g_ctx.fd = -1;
    std::vector<uint8_t> f = get_file("ts");
    ASSERT_EQ(f.size(), 120u);
    EXPECT_EQ(rd32(f, 80), 4u);     // the key of the cluster key row
    EXPECT_EQ(rd32(f, 84), 2u);
    EXPECT_EQ(std::string((const char *)&f[88]), "TS2");

    // Another table number than the block holds, or another block type,
    // gives nothing and no failure.
    n = 0;
    EXPECT_EQ(process_ts_block(cblk.data(), blk.data(), ts, 2, 3, &n), 0);
    EXPECT_EQ(n, 0);
    blk[0] = 0x23;
    EXPECT_EQ(process_ts_block(cblk.data(), blk.data(), ts, 1, 3, &n), 0);
    EXPECT_EQ(n, 0);
}

TEST_F(Decode, UnusableClusterKeyRowSkipsTheRow)
{
    std::vector<uint8_t> key = kb::encode_key_row({kb::col_num(4)}, 1, {}, {}, 0x20);  // not a whole key row
    compose({{key}, {piece({kb::col_str("TS"), kb::col_num(0)}, 0), piece({kb::col_str("X"), kb::col_num(0)}, 5)}});
    TS ts[3];
    int n = 0;
    Capture err(2);
    ASSERT_EQ(process_ts_block(cblk.data(), blk.data(), ts, 1, 3, &n), 0);
    EXPECT_EQ(n, 0);
    std::string e = err.text();
    EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 2) << e;
}
