// The row walk and the row piece headers, on data blocks composed by the
// test database builder.
#include <string>
#include <vector>

#include "kbuild.h"
#include "scratch.h"

namespace {

const uint32_t BSZ = 8192;
const uint32_t RDBA = 0x01400123;

kb::Slot piece(const kb::Piece &p) { return kb::Slot{false, kb::encode_piece(p)}; }
kb::Slot free_slot() { return kb::Slot{true, {}}; }
// A whole row of text columns with the given flag byte.
kb::Slot row(std::vector<std::string> cols, uint8_t fb = kb::FB_HEAD | kb::FB_FIRST | kb::FB_LAST, int cki = -1)
{
    kb::Piece p;
    p.fb = fb;
    p.cki = cki;
    for (auto &c : cols)
        p.cols.push_back(kb::col_str(c));
    return piece(p);
}

std::vector<uint8_t> compose(const kb::DataBlock &b)
{
    std::vector<uint8_t> blk(BSZ);
    EXPECT_EQ(kb::compose_data_block(b, BSZ, RDBA, blk.data()), 0);
    return blk;
}

// The first column of every head piece the walk yields for table t, with the
// piece header parsed with opts.
std::vector<std::string> walk(const std::vector<uint8_t> &blk, int t, unsigned opts = 0)
{
    std::vector<std::string> got;
    ROWWALK rw;
    ROWPIECE rp;
    if (row_walk_start(&rw, blk.data(), blk.size(), t) <= 0)
        return got;
    while (row_walk_next(&rw, &rp) > 0) {
        if (parse_row_piece(&rp, opts) < 0) {
            got.push_back("<bad header>");
            continue;
        }
        const uint8_t *p = rp.cols, *data;
        uint32_t len;
        int r = rp.cc ? next_column(&p, rp.end, &data, &len) : 0;
        got.push_back(r > 0 ? std::string((const char *)data, len) : r == 0 ? "<none>" : "<bad column>");
    }
    return got;
}

TEST(DataHeader, ItlCountAndExtraData)
{
    kb::DataBlock b;
    b.itl = 2;
    b.ict_high = 1; // ktbbhict 0x0102: only the low byte counts
    b.tables = {{row({"a"})}};
    auto blk = compose(b);
    EXPECT_EQ(get_le16(blk.data() + 36), 0x0102);
    EXPECT_EQ(data_header_offset(blk.data(), BSZ), 44 + 24 * 2);

    b.assm = true;
    b.ex_extra = 4;
    b.ex_high = 1; // exflg 0x00010004
    b.itl = 3;
    blk = compose(b);
    EXPECT_EQ(data_header_offset(blk.data(), BSZ), 44 + 24 * 3 + 12);
    EXPECT_EQ(walk(blk, 0), std::vector<std::string>{"a"});

    // Headers that would reach past the block are refused, not followed.
    EXPECT_EQ(data_header_offset(blk.data(), 44 + 24 * 3 + 12 + 13), -1);
    blk[36] = 0xFF; // 255 ITL entries lie beyond a 2 KiB block
    EXPECT_EQ(data_header_offset(blk.data(), 2048), -1);
    EXPECT_EQ(data_header_offset(blk.data(), 30), -1);
}

TEST(RowWalk, HeadPiecesInSlotOrder)
{
    kb::DataBlock b;
    b.tables = {{
        free_slot(),                                         // slot 0 free: the list starts at 0
        row({"one"}),
        row({"deleted"}, kb::FB_HEAD | kb::FB_DELETED | kb::FB_FIRST | kb::FB_LAST),
        free_slot(),
        row({"tail"}, kb::FB_LAST),                          // not a head piece
        row({"two"}),
        free_slot(),
    }};
    auto blk = compose(b);
    EXPECT_EQ((int16_t)get_le16(blk.data() + data_header_offset(blk.data(), BSZ) + 4), 0);
    EXPECT_EQ(walk(blk, 0), (std::vector<std::string>{"one", "two"}));

    // No free slots (kdbhfrre -1): every slot is looked at.
    b.tables = {{row({"x"}), row({"y"}), row({"z"})}};
    blk = compose(b);
    EXPECT_EQ((int16_t)get_le16(blk.data() + data_header_offset(blk.data(), BSZ) + 4), -1);
    EXPECT_EQ(walk(blk, 0), (std::vector<std::string>{"x", "y", "z"}));

    // A table without slots, a table not in the directory and a block of
    // another type are passed over without a message.
    b.tables = {{}, {row({"a"})}};
    blk = compose(b);
    StderrCapture err;
    ROWWALK rw;
    EXPECT_EQ(row_walk_start(&rw, blk.data(), BSZ, 0), 0);
    EXPECT_EQ(row_walk_start(&rw, blk.data(), BSZ, 2), 0);
    EXPECT_EQ(row_walk_start(&rw, blk.data(), BSZ, -1), 0);
    blk[0] = BLOCK_TYPE_SEGHDR_ASSM;
    EXPECT_EQ(row_walk_start(&rw, blk.data(), BSZ, 1), 0);
    EXPECT_EQ(err.text(), "");
}

TEST(RowWalk, ClusterBlockFreeSlotsOfEarlierTables)
{
    // Free slots in the key table and in table 1 must not be taken for rows
    // of table 2, and table 2's own free slot is recognised through the list
    // that runs through the earlier tables first.
    kb::DataBlock b;
    std::vector<kb::Col> key = {kb::col_num(10)};
    auto keyrow = kb::Slot{false, kb::encode_key_row(key, 2, {}, {})};
    b.tables = {
        {free_slot(), keyrow},
        {row({"t1a"}, kb::FB_HEAD | kb::FB_FIRST | kb::FB_LAST, 0), free_slot(),
         row({"t1b"}, kb::FB_HEAD | kb::FB_FIRST | kb::FB_LAST, 0)},
        {free_slot(), row({"t2a"}, kb::FB_HEAD | kb::FB_FIRST | kb::FB_LAST, 0), free_slot()},
    };
    auto blk = compose(b);
    {
        // A free slot taken for a row would show as a bad row offset (the
        // last free slot holds -1).
        StderrCapture quiet;
        EXPECT_EQ(walk(blk, 1, RP_CLUSTERED), (std::vector<std::string>{"t1a", "t1b"}));
        EXPECT_EQ(walk(blk, 2, RP_CLUSTERED), (std::vector<std::string>{"t2a"}));
        EXPECT_EQ(quiet.text(), "");
    }

    // The cluster key row of a piece: slot kdbtoffs(0) + cki of table 0.
    ROWWALK rw;
    ROWPIECE rp, k;
    ASSERT_EQ(row_walk_start(&rw, blk.data(), BSZ, 2), 1);
    ASSERT_EQ(row_walk_next(&rw, &rp), 1);
    ASSERT_EQ(parse_row_piece(&rp, RP_CLUSTERED), 0);
    EXPECT_EQ(rp.cki, 0);
    StderrCapture err;
    EXPECT_EQ(locate_row_piece(&rw.db, 0, rp.cki, &k), -1) << "slot 0 of the key table is free";
    EXPECT_EQ(err.text(), "block rdba=0x01400123 slot 0: the slot is free.\n");
    ASSERT_EQ(locate_row_piece(&rw.db, 0, 1, &k), 0);
    EXPECT_EQ(k.fb & FB_WHOLE_KEY, FB_WHOLE_KEY);
    const uint8_t *kp = k.p + CLUSTER_KEY_HDR, *kd;
    uint32_t klen;
    ASSERT_EQ(next_column(&kp, k.end, &kd, &klen), 1);
    EXPECT_EQ(ora_number_to_int(kd, (int)klen), 10);
}

TEST(RowPiece, HeaderForms)
{
    kb::Piece stub; // a migrated row's head: FB_HEAD alone, cc 0, next rowid
    stub.fb = kb::FB_HEAD;
    stub.has_nrid = true;
    stub.nrid = {0x01C00042, 7};
    kb::Piece body; // its body elsewhere: head rowid, then the columns
    body.fb = kb::FB_FIRST | kb::FB_LAST;
    body.cki = 3;
    body.has_hrid = true;
    body.hrid = {RDBA, 1};
    body.cols = {kb::col_str("moved")};
    kb::Piece chained_head; // first piece of a chained row, extra header bytes
    chained_head.fb = kb::FB_HEAD | kb::FB_FIRST | kb::FB_NEXT;
    chained_head.extra6 = true;
    chained_head.has_nrid = true;
    chained_head.nrid = {0x00400010, 258};
    chained_head.cols = {kb::col_str("start")};
    kb::Piece middle; // a middle piece: continues, no head rowid
    middle.fb = kb::FB_PREV | kb::FB_NEXT;
    middle.has_nrid = true;
    middle.nrid = {0x00400011, 0};
    middle.cols = {kb::col_str("mid")};
    kb::DataBlock b;
    b.tables = {{piece(stub), piece(body), piece(chained_head), piece(middle)}};
    auto blk = compose(b);
    DATABLK db;
    ASSERT_EQ(open_data_block(&db, blk.data(), BSZ), 1);
    EXPECT_EQ(db.rdba, RDBA);

    ROWPIECE rp;
    ASSERT_EQ(locate_row_piece(&db, 0, 0, &rp), 0);
    ASSERT_EQ(parse_row_piece(&rp, 0), 0);
    EXPECT_EQ(rp.cc, 0);
    EXPECT_TRUE(rp.has_nrid);
    EXPECT_EQ(rp.nrid_dba, 0x01C00042u);
    EXPECT_EQ(rp.nrid_slot, 7);
    EXPECT_EQ(rp.cols, rp.p + 9);

    ASSERT_EQ(locate_row_piece(&db, 0, 1, &rp), 0);
    ASSERT_EQ(parse_row_piece(&rp, RP_CLUSTERED), 0);
    EXPECT_EQ(rp.cki, 3);
    EXPECT_FALSE(rp.has_nrid);
    EXPECT_EQ(rp.cols, rp.p + 10) << "cluster key index and head rowid stepped over";
    EXPECT_EQ(std::string((const char *)rp.cols + 1, rp.cols[0]), "moved");

    ASSERT_EQ(locate_row_piece(&db, 0, 2, &rp), 0);
    ASSERT_EQ(parse_row_piece(&rp, RP_HEAD_EXTRA), 0);
    EXPECT_EQ(rp.nrid_dba, 0x00400010u);
    EXPECT_EQ(rp.nrid_slot, 258);
    EXPECT_EQ(std::string((const char *)rp.cols + 1, rp.cols[0]), "start");

    ASSERT_EQ(locate_row_piece(&db, 0, 3, &rp), 0);
    ASSERT_EQ(parse_row_piece(&rp, RP_HEAD_EXTRA), 0) << "extra bytes belong to head pieces only";
    EXPECT_EQ(rp.nrid_dba, 0x00400011u);
    EXPECT_EQ(std::string((const char *)rp.cols + 1, rp.cols[0]), "mid");

    StderrCapture err;
    EXPECT_EQ(locate_row_piece(&db, 0, 4, &rp), -1);
    EXPECT_EQ(locate_row_piece(&db, 1, 0, &rp), -1);
    EXPECT_EQ(err.text(), "block rdba=0x01400123: no slot 4 in table 0 of 4 slots.\n"
                          "block rdba=0x01400123: no table 1 in the table directory.\n");
}

TEST(RowWalk, DamagedBlocksAreReportedOnceAndNeverOverread)
{
    kb::DataBlock b;
    b.tables = {{row({"a"}), row({"b"}), row({"c"})}};
    auto good = compose(b);
    int kdbh = data_header_offset(good.data(), BSZ);
    int kdbr = kdbh + 14 + 4;

    // A row offset pointing past the block: that slot is reported and passed.
    auto blk = good;
    put_be16(blk.data() + kdbr + 2, 0);
    blk[kdbr + 2] = 0xF0, blk[kdbr + 3] = 0x7F; // 0x7FF0
    StderrCapture err;
    EXPECT_EQ(walk(blk, 0), (std::vector<std::string>{"a", "c"}));

    // A table directory entry reaching past the row directory's room.
    blk = good;
    blk[kdbh + 16] = 0xFF, blk[kdbh + 17] = 0x7F; // kdbtnrow 32767
    ROWWALK rw;
    EXPECT_EQ(row_walk_start(&rw, blk.data(), BSZ, 0), -1);
    // kdbhntab claiming 127 tables in a 1 KiB block: the directory does not fit.
    blk = good;
    blk[kdbh + 1] = 127;
    EXPECT_EQ(row_walk_start(&rw, blk.data(), 300, 0), -1);
    // A row header (the next rowid of a chained head) cut by the block end.
    blk = good;
    std::vector<uint8_t> cut(blk.begin(), blk.end());
    int off = kdbh + (int16_t)get_le16(cut.data() + kdbr);
    cut[off] = FB_HEAD | FB_FIRST; // now claims a next rowid
    std::vector<uint8_t> shorter(cut.begin(), cut.begin() + off + 5);
    DATABLK db;
    ASSERT_EQ(open_data_block(&db, shorter.data(), shorter.size()), 1);
    ROWPIECE rp;
    ASSERT_EQ(locate_row_piece(&db, 0, 0, &rp), 0);
    EXPECT_EQ(parse_row_piece(&rp, 0), -1);
    // A column longer than what is left of the block (slot 0's piece lies
    // last, just before the block tail).
    blk = good;
    off = kdbh + (int16_t)get_le16(blk.data() + kdbr);
    blk[off + 3] = 0xFE, blk[off + 4] = 0xFF, blk[off + 5] = 0x7F;
    EXPECT_EQ(walk(blk, 0), (std::vector<std::string>{"<bad column>", "b", "c"}));
    EXPECT_EQ(err.text(), "block rdba=0x01400123 slot 1: row offset 32752 beyond the block end.\n"
                          "block rdba=0x01400123: table 0 slots 0..32766 outside the row directory.\n"
                          "block rdba=0x01400123: table directory of 127 entries beyond the block end.\n"
                          "block rdba=0x01400123 slot 0: row header beyond the block end.\n");
}

TEST(ExtentMap, HeaderPlacesAndBounds)
{
    kb::FileDesc f;
    kb::Datafile df;
    ScratchDir d;
    f.blocks = 200;
    ASSERT_EQ(kb::df_create(df, d.file("x.dbf"), f), 0);
    for (uint8_t kind : {0x10, 0x23}) {
        kb::Segment s;
        s.kind = kind;
        s.objd = 77;
        s.hdr_max = 2;
        s.map_max = 2;
        kb::plan_segment(s, df, 10, {8, 8, 8, 8, 8});
        std::vector<uint8_t> blk(BSZ);
        kb::make_segment_header(blk.data(), BSZ, s);
        MAPHDR mh;
        int off = read_extent_map(blk.data(), BSZ, &mh);
        ASSERT_EQ(off, (kind == 0x10 ? 92 : 264) + 16) << (int)kind;
        EXPECT_EQ(mh.nexts, 2u);
        EXPECT_EQ(mh.next, s.maps.at(0));
        EXPECT_EQ(extent_map_entry(blk.data(), off, 1).ext_dba, s.extents[1].dba);
        EXPECT_EQ(extent_map_entry(blk.data(), off, 1).ext_len, 8u);
        kb::make_map_block(blk.data(), BSZ, s, 0);
        ASSERT_EQ(read_extent_map(blk.data(), BSZ, &mh), 36);
        EXPECT_EQ(extent_map_entry(blk.data(), 36, 0).ext_dba, s.extents[2].dba);
        // An entry count beyond the block is refused.
        uint32_t many = (BSZ - 36) / 8 + 1;
        memcpy(blk.data() + 20, &many, 4);
        StderrCapture err;
        EXPECT_EQ(read_extent_map(blk.data(), BSZ, &mh), -2);
        EXPECT_NE(err.text(), "");
    }
    std::vector<uint8_t> data(BSZ);
    data[0] = BLOCK_TYPE_DATA;
    MAPHDR mh;
    EXPECT_EQ(read_extent_map(data.data(), BSZ, &mh), -1);
}

} // namespace
