// Rows the live unload leaves behind: "unload deleted" writes the deleted
// rows that still decode cleanly and counts the others; "unload truncated"
// writes the rows of blocks an older data object of the table left, never
// those of another current object.
#include "support.h"

namespace {

class Recover : public OneTableTest {
protected:
    // Row-piece bytes: flag, lock, then the rest as given.
    static std::vector<uint8_t> piece(uint8_t fb, std::vector<uint8_t> rest)
    {
        std::vector<uint8_t> p = {fb, 0};
        p.insert(p.end(), rest.begin(), rest.end());
        return p;
    }
    // A one-table block of data object objd at rdba a; slot `aim` then
    // points `by` bytes into the piece of slot `into` (its space reused).
    void write_block_aimed(uint32_t a, uint32_t objd, const std::vector<std::vector<uint8_t>> &pieces, int aim = -1,
                           int into = 0, int by = 0)
    {
        kb::DataBlock b;
        b.objd = objd;
        b.tables.emplace_back();
        for (const auto &p : pieces)
            b.tables.back().push_back(kb::Slot{false, p});
        std::vector<uint8_t> blk(df.d.bsz);
        kb::BlockMap map;
        ASSERT_EQ(kb::compose_data_block(b, df.d.bsz, a, blk.data(), &map), 0);
        if (aim >= 0) {
            // Row directory: after the 14-byte data header and one table entry.
            kb::put_le16(blk.data() + map.kdbh + 14 + 4 + 2 * aim,
                         (uint16_t)(map.slot_off[0][(size_t)into] + by - map.kdbh));
            kb::fix_check(blk.data(), blk.size());
        }
        ASSERT_EQ(kb::df_write_block(df, df.block_of(a), blk.data()), 0);
    }
    std::string data_line(uint32_t objd, int blocks, int rows)
    {
        return "data object " + std::to_string(objd) + ": " + std::to_string(blocks) + " blocks, " +
               std::to_string(rows) + " rows.\n";
    }
};

const std::vector<uint8_t> NUM7 = {0x02, 0xC1, 0x08};   // the column 7 (NUMBER)

// Intact deleted rows, one chained over two blocks, come out whole; pieces
// whose space was reused do not: a column running into the next piece, a
// chain whose next piece is now a live row, a slot whose bytes a live row
// overwrote (they read as a deleted row by themselves). Live rows stay out.
TEST_F(Recover, DeletedRowsThatStillDecodeAreWrittenTheOthersCounted)
{
    t.rows.push_back(lrow({kb::col_num(10), kb::col_str("gone")}, kb::RowLayout::Deleted));
    kb::LogicalRow chained = lrow({kb::col_num(11), kb::col_str("split over two blocks")}, kb::RowLayout::Chained);
    chained.cuts = {kb::Cut{1}};
    chained.deleted = true;
    t.rows.push_back(chained);
    t.rows.push_back(lrow({kb::col_num(12)}, kb::RowLayout::Deleted));
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    uint32_t a = t.segment.data.back();
    ASSERT_EQ(t.places[4].dba, t.segment.data[0]) << "the builder's rows lie in the first blocks";

    std::vector<uint8_t> live = piece(0x2C, {0x02});   // B holds bytes that read as a deleted piece
    live.insert(live.end(), NUM7.begin(), NUM7.end());
    live.insert(live.end(), {0x05, 0x3C, 0x00, 0x01, 0x01, 'z'});
    std::vector<uint8_t> good = piece(0x3C, {0x02});
    good.insert(good.end(), NUM7.begin(), NUM7.end());
    good.insert(good.end(), {0x02, 'o', 'k'});
    std::vector<uint8_t> overrun = piece(0x3C, {0x02});   // B claims 9 bytes, 2 before the next piece
    overrun.insert(overrun.end(), NUM7.begin(), NUM7.end());
    overrun.insert(overrun.end(), {0x09, 'x', 'y'});
    std::vector<uint8_t> head = piece(0x38, {0x01});   // its next piece is now slot 0's live row
    rowid(head, a, 0);
    head.insert(head.end(), NUM7.begin(), NUM7.end());
    // Slot 4 is aimed at the 0x3C byte inside the live row's column B.
    write_block_aimed(a, t.objd, {live, good, overrun, head, piece(0x3C, {0x00})}, 4, 0, 7);
    add_table(t, scott, 4);
    add_file(df);

    ASSERT_EQ(unload("deleted scott.t"), 0) << err;
    xd::Table x = expect(t, true, true);
    ASSERT_EQ(x.rows.size(), 3u);
    x.rows.push_back({{xd::data({0xC1, 0x08}), xd::text("ok")}});
    EXPECT_EQ(read_dump("SCOTT_T_DELETED.dat"), xd::dump_file("SCOTT", props, {x})) << err;
    EXPECT_NE(err.find("         4 rows done.\n7 deleted rows found, 4 written, 3 too damaged to trust.\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("bad row piece"), std::string::npos) << "damaged deleted pieces are counted, not reported";

    // The live unload of the same table is as before: the deleted rows stay out.
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table l = expect(t);
    l.rows.push_back({{xd::data({0xC1, 0x08}), xd::data({0x3C, 0x00, 0x01, 0x01, 'z'})}});
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {l}));
}

// T was created as data object 700 and truncated twice (703, now 705): its
// extents hold blocks of all three, and one of 650, formatted by a table
// dropped before T existed. U, a current table with the older data object
// 690, lies beside it; a block of 700 lies in space T no longer owns.
class Truncated : public Recover {
protected:
    kb::DbTable u;
    uint32_t stray = 0;

    void SetUp() override
    {
        Recover::SetUp();
        t.objd = 705;
        t.opts.objd = 700;
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        std::vector<uint8_t> r703 = piece(0x2C, {0x02});
        r703.insert(r703.end(), NUM7.begin(), NUM7.end());
        r703.insert(r703.end(), {0x03, '7', '0', '3'});
        write_block_aimed(t.segment.data[2], 703, {r703});
        write_block_aimed(t.segment.data[3], 705, {piece(0x2C, {0x02, 0x02, 0xC1, 0x64, 0x03, 'n', 'e', 'w'})});
        // Left by a table dropped before T was created: older than T itself.
        write_block_aimed(t.segment.data[4], 650, {piece(0x2C, {0x01, 0x02, 0xC1, 0x07})});
        u = heap_table("U", 690, {ucol("A", 2, 22), ucol("B", 1, 20)});
        u.seg.extents = {8};
        u.rows.push_back(lrow({kb::col_num(690), kb::col_str("other table")}));
        ASSERT_EQ(kb::write_table(df, &next, u), 0);
        stray = kb::rdba(4, next + 5);
        write_block_aimed(stray, 700, {piece(0x2C, {0x02, 0x02, 0xC1, 0x33, 0x05, 's', 't', 'r', 'a', 'y'})});
        add_table(t, scott, 4);
        add_table(u, scott, 4);
        add_file(df);
    }
};

TEST_F(Truncated, OlderBlocksOfTheExtentsAndWithScanOfTheTablespace)
{
    ASSERT_EQ(unload("truncated scott.t"), 0) << err;
    xd::Table x = expect(t);   // rows 0..2, in the blocks of data object 700
    x.rows.push_back({{xd::data({0xC1, 0x08}), xd::text("703")}});
    EXPECT_EQ(read_dump("SCOTT_T_TRUNCATED.dat"), xd::dump_file("SCOTT", props, {x}));
    // The current block is no stray here; the one older than T is.
    EXPECT_NE(err.find("         4 rows done.\n" + data_line(700, 1, 3) + data_line(703, 1, 1) +
                       "1 blocks of another object skipped.\n"),
              std::string::npos)
        << err;

    ASSERT_EQ(unload("truncated scott.t   SCAN  "), 0) << err;
    x.rows.push_back({{xd::data({0xC1, 0x33}), xd::text("stray")}});
    EXPECT_EQ(read_dump("SCOTT_T_TRUNCATED.dat"), xd::dump_file("SCOTT", props, {x}));
    EXPECT_NE(err.find("         5 rows done.\n" + data_line(700, 2, 4) + data_line(703, 1, 1)), std::string::npos)
        << err;

    // The live unload takes the current data object only, as before.
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    xd::Table l = expect(t, false);
    l.rows.push_back({{xd::data({0xC1, 0x64}), xd::text("new")}});
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {l}));
    EXPECT_NE(err.find("         1 rows done.\n3 blocks of another object skipped.\n"), std::string::npos) << err;
}

TEST_F(Truncated, NothingOlderAndRefusals)
{
    ASSERT_EQ(unload("truncated scott.u scan"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_U_TRUNCATED.dat"), xd::dump_file("SCOTT", props, {expect(u, false)}));
    EXPECT_NE(err.find("         0 rows done.\nno block of an older data object found.\n"), std::string::npos)
        << err;
    EXPECT_EQ(unload("truncated scott.nosuch"), -1);
    EXPECT_NE(err.find("table \"NOSUCH\" not found.\n"), std::string::npos) << err;
    EXPECT_EQ(unload("deleted"), -1);
    EXPECT_NE(err.find("user not specified.\n"), std::string::npos) << err;
}

} // namespace
