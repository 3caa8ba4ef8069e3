// Data blocks, row pieces, segments and the row layout, read back with a
// small decoder written here from the block layouts.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "../support/readback.h"

namespace {

using namespace rb;

std::string tmp_path(const std::string &name)
{
    return std::string(::testing::TempDir()) + "kbb_" + name + "_" + std::to_string(getpid());
}

Bytes text(size_t n, char seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(seed + i % 23);
    return b;
}

void expect_same(const std::vector<kb::Col> &got, const std::vector<kb::Col> &want, size_t row)
{
    ASSERT_EQ(got.size(), want.size()) << "row " << row;
    for (size_t c = 0; c < want.size(); c++) {
        EXPECT_EQ(got[c].null, want[c].null) << "row " << row << " col " << c;
        EXPECT_EQ(got[c].data, want[c].data) << "row " << row << " col " << c;
    }
}

} // namespace

TEST(BuilderBlocks, HeaderOffsetsItlAndExtraArea)
{
    kb::DataBlock db;
    db.itl = 2;
    db.ict_high = 1;              // ktbbhict 0x0102: still 2 entries
    db.tables.resize(1);
    db.tables[0].push_back({false, {0x2C, 0, 0}});
    Bytes b(8192);
    kb::BlockMap m;
    ASSERT_EQ(kb::compose_data_block(db, 8192, kb::rdba(4, 9), b.data(), &m), 0);
    EXPECT_EQ(le16(b.data() + 36), 0x0102);
    EXPECT_EQ(m.kdbh, 44 + 48);
    EXPECT_EQ(kdbh_of(b.data()), 44 + 48);

    db.assm = true;
    db.ex_extra = 4;
    db.ex_high = 1;               // exflg 0x00010004
    ASSERT_EQ(kb::compose_data_block(db, 8192, kb::rdba(4, 9), b.data(), &m), 0);
    EXPECT_EQ(le32(b.data() + 44 + 48 + 4), 0x00010004u);
    EXPECT_EQ(m.kdbh, 44 + 48 + 12);
    EXPECT_EQ(kdbh_of(b.data()), m.kdbh);
    EXPECT_EQ(kb::data_header_offset(0, false, 0), 44);
    EXPECT_TRUE(kb::check_ok(b.data(), 8192));
}

TEST(BuilderBlocks, TableDirectoryRowDirectoryAndFreeSlots)
{
    kb::DataBlock db;
    db.itl = 3;
    db.tables.resize(3);
    auto row = [](uint8_t tag) { return kb::Slot{false, {0x2C, 0, 1, 1, tag}}; };
    db.tables[0] = {row(1), {true, {}}, row(2)};
    db.tables[1] = {};
    db.tables[2] = {{true, {}}, row(3), {true, {}}, row(4)};
    Bytes b(2048);
    kb::BlockMap m;
    ASSERT_EQ(kb::compose_data_block(db, 2048, kb::rdba(1, 2), b.data(), &m), 0);
    int h = m.kdbh;
    EXPECT_EQ((int8_t)b[h + 1], 3);
    EXPECT_EQ(le16(b.data() + h + 2), 7);              // kdbhnrow: all slots
    EXPECT_EQ((int16_t)le16(b.data() + h + 4), 1);     // first free slot
    EXPECT_EQ(le16(b.data() + h + 14 + 8), 3);         // table 2 starts at slot 3
    EXPECT_EQ(le16(b.data() + h + 16 + 8), 4);
    int kdbr = h + 14 + 12;
    EXPECT_EQ((int16_t)le16(b.data() + kdbr + 2), 3);  // free chain 1 -> 3 -> 5 -> end
    EXPECT_EQ((int16_t)le16(b.data() + kdbr + 6), 5);
    EXPECT_EQ((int16_t)le16(b.data() + kdbr + 10), -1);
    // Used entries are offsets from the data header.
    EXPECT_EQ(b[h + le16(b.data() + kdbr + 8) + 4], 3);
    EXPECT_EQ(m.slot_off[2][3], h + le16(b.data() + kdbr + 12));
    auto s2 = slots_of(b.data(), 2);
    ASSERT_EQ(s2.size(), 4u);
    EXPECT_TRUE(s2[0].free && !s2[1].free && s2[2].free && !s2[3].free);
    EXPECT_EQ(b[s2[3].off + 4], 4);
    EXPECT_EQ(kb::block_free_space(db, 2048), le16(b.data() + h + 10));

    // Pieces that do not fit are refused.
    db.tables[0].push_back({false, Bytes(3000, 1)});
    EXPECT_LT(kb::block_free_space(db, 2048), 0);
    EXPECT_NE(kb::compose_data_block(db, 2048, 0, b.data()), 0);
}

TEST(BuilderBlocks, PieceAndKeyRowBytes)
{
    kb::Piece p;
    p.fb = kb::FB_CLUSTER | kb::FB_FIRST;
    p.cki = 2;
    p.has_hrid = true;
    p.hrid = {0x01020304, 0x0506};
    p.has_nrid = true;
    p.nrid = {0x00400ABC, 0x0102};
    kb::Col lng = kb::col_bytes(Bytes(300, 'x'));
    kb::Col shortlong = kb::col_bytes(Bytes{'a', 'b'});
    shortlong.long_form = true;
    p.cols = {kb::col_null(), kb::col_num(1), lng, shortlong};
    Bytes e = kb::encode_piece(p);
    ASSERT_EQ(e.size(), kb::piece_size(p));
    Bytes head(e.begin(), e.begin() + 16);
    EXPECT_EQ(head, (Bytes{0x48, 0, 4, 2, 1, 2, 3, 4, 5, 6, 0x00, 0x40, 0x0A, 0xBC, 0x01, 0x02}));
    EXPECT_EQ(e[16], 0xFF);
    EXPECT_EQ((Bytes(e.begin() + 17, e.begin() + 20)), (Bytes{2, 0xC1, 0x02}));
    EXPECT_EQ((Bytes(e.begin() + 20, e.begin() + 23)), (Bytes{0xFE, 0x2C, 0x01}));
    EXPECT_EQ((Bytes(e.end() - 5, e.end())), (Bytes{0xFE, 2, 0, 'a', 'b'}));

    kb::Piece stub;
    stub.fb = kb::FB_HEAD;
    stub.has_nrid = true;
    stub.nrid = {kb::rdba(1, 77), 3};
    EXPECT_EQ(kb::encode_piece(stub), (Bytes{0x20, 0, 0, 0x00, 0x40, 0x00, 0x4D, 0, 3}));

    Bytes k = kb::encode_key_row({kb::col_num(18)}, 5, {1, 2}, {3, 4});
    ASSERT_EQ(k.size(), 22u);
    EXPECT_EQ(k[0], 0xAC);
    EXPECT_EQ(k[2], 1);
    EXPECT_EQ(k[19], 2);
    EXPECT_EQ(k[20], 0xC1);
    EXPECT_EQ(k[21], 0x13);
}

TEST(BuilderSegments, MapsOfBothKindsChainThroughMapBlocks)
{
    for (uint8_t kind : {(uint8_t)0x10, (uint8_t)0x23}) {
        std::string p = tmp_path("seg");
        kb::FileDesc d;
        d.fno = d.rfn = 3;
        d.blocks = 200;
        kb::Datafile df;
        ASSERT_EQ(kb::df_create(df, p, d), 0);
        kb::Segment s;
        s.kind = kind;
        s.objd = 4242;
        s.hdr_max = 2;
        s.map_max = 3;
        std::vector<uint32_t> lens = {5, 4, 4, 3, 3, 3, 2, 2, 2};
        uint32_t next = kb::plan_segment(s, df, 10, lens);
        EXPECT_EQ(next, 10u + 28u);
        ASSERT_EQ(s.maps.size(), 3u);               // 2 in the header, then 3 + 3 + 1
        EXPECT_EQ(s.maps[0], s.extents[2].dba);
        EXPECT_EQ(s.maps[2], s.extents[8].dba);
        EXPECT_EQ(s.hdr, kb::rdba(3, kind == 0x23 ? 12 : 10));
        EXPECT_EQ(s.data.size(), 28u - (kind == 0x23 ? 3 : 1) - 3);
        ASSERT_EQ(kb::write_segment_meta(df, s), 0);
        Image im = load(df);
        const uint8_t *h = im.at(s.hdr);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h[0], kind);
        int mo = kind == 0x23 ? 264 : 92;
        EXPECT_EQ(le32(h + mo), 2u);
        EXPECT_EQ(le32(h + mo + 4), s.maps[0]);
        EXPECT_EQ(le32(h + mo + 8), 4242u);
        EXPECT_EQ(le32(h + mo + 16), kb::rdba(3, 10));
        EXPECT_EQ(le32(h + mo + 20), 5u);
        for (size_t i = 0; i < 3; i++)
            EXPECT_EQ(im.at(s.maps[i])[0], kind == 0x23 ? 0x24 : 0x12);
        EXPECT_EQ(le32(im.at(s.maps[2]) + 24), 0u);   // last map: next 0
        auto ext = walk_map(im, s.hdr);
        ASSERT_EQ(ext.size(), lens.size());
        for (size_t i = 0; i < lens.size(); i++) {
            EXPECT_EQ(ext[i].dba, s.extents[i].dba);
            EXPECT_EQ(ext[i].len, lens[i]);
        }
        if (kind == 0x23) {
            EXPECT_EQ(im.at(kb::rdba(3, 10))[0], 0x20);
            EXPECT_EQ(im.at(kb::rdba(3, 11))[0], 0x21);
        }
        unlink(p.c_str());
    }
}

TEST(BuilderTables, HeapRowsOfEveryLayoutReadBack)
{
    std::string p = tmp_path("heap");
    kb::FileDesc d;
    d.fno = d.rfn = 4;
    d.tsn = 4;
    d.bsz = 8192;
    d.blocks = 300;
    kb::Datafile df;
    ASSERT_EQ(kb::df_create(df, p, d), 0);
    kb::Segment s;
    s.kind = 0x23;
    s.objd = 77001;
    s.hdr_max = 1;
    s.map_max = 2;
    kb::plan_segment(s, df, 20, {8, 8, 8, 8, 16, 16, 16});

    std::vector<kb::LogicalRow> rows;
    std::vector<std::vector<kb::Col>> want;
    auto add = [&](kb::LogicalRow r, bool kept = true) {
        rows.push_back(r);
        if (kept) {
            auto c = r.cols;
            while (!c.empty() && c.back().null && !r.keep_trailing_nulls)
                c.pop_back();
            want.push_back(c);
        }
    };
    for (int i = 0; i < 40; i++) {
        kb::LogicalRow r;
        r.cols = {kb::col_num(i), kb::col_str("NAME" + std::to_string(i)), kb::col_null(),
                  kb::col_bytes(kb::ora_date(2020, 1 + i % 12, 1))};
        if (i % 7 == 3)
            r.layout = kb::RowLayout::Migrated;
        if (i % 11 == 5)
            r.layout = kb::RowLayout::Deleted;
        if (i % 13 == 6)
            r.layout = kb::RowLayout::FreeSlot;
        if (i % 9 == 8)
            r.cols.push_back(kb::col_null());   // trailing NULLs are not stored
        add(r, r.layout != kb::RowLayout::Deleted && r.layout != kb::RowLayout::FreeSlot);
    }
    kb::LogicalRow big;   // longer than a block: chained automatically
    big.cols = {kb::col_num(1000), kb::col_bytes(text(20000, 'a')), kb::col_str("tail")};
    add(big);
    kb::LogicalRow cut;   // a 10000-byte column over three pieces
    cut.cols = {kb::col_num(1001), kb::col_bytes(text(10000, 'A')), kb::col_str("after")};
    cut.layout = kb::RowLayout::Chained;
    cut.cuts = {{1, 5000}, {2, 0}};
    add(cut);
    kb::LogicalRow mc;    // migrated and chained
    mc.cols = {kb::col_num(1002), kb::col_str("x"), kb::col_str("y"), kb::col_str("z")};
    mc.layout = kb::RowLayout::Migrated;
    mc.cuts = {{2, 0}};
    add(mc);
    kb::LogicalRow nulls;
    nulls.cols = {kb::col_num(1003), kb::col_null(), kb::col_null()};
    nulls.keep_trailing_nulls = true;
    add(nulls);

    kb::BlockOpts o;
    o.assm = true;
    o.ex_extra = 6;
    o.itl = 3;
    std::vector<kb::RowPlace> places;
    ASSERT_EQ(kb::write_heap_table(df, s, rows, o, &places), 0);
    Image im = load(df);
    auto got = decode_segment(im, s.hdr, 0);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++)
        expect_same(got[i].cols, want[i], i);

    // The places name the head pieces, and their flags say what they are.
    auto piece_at = [&](const kb::RowPlace &pl) {
        const uint8_t *b = im.at(pl.dba);
        return b + slots_of(b, 0).at((size_t)pl.slot).off;
    };
    EXPECT_EQ(piece_at(places[3])[0], kb::FB_HEAD);                    // migrated stub
    EXPECT_EQ(piece_at(places[3])[2], 0);
    EXPECT_EQ(piece_at(places[5])[0] & kb::FB_DELETED, kb::FB_DELETED);
    EXPECT_EQ(piece_at(places[0])[0], 0x2C);
    EXPECT_EQ(piece_at(places[41])[0], kb::FB_HEAD | kb::FB_FIRST | kb::FB_NEXT);
    const uint8_t *b6 = im.at(places[6].dba);
    EXPECT_TRUE(slots_of(b6, 0).at((size_t)places[6].slot).free);
    // Every data block carries the segment's object number and the extra area.
    for (uint32_t a : s.data) {
        const uint8_t *b = im.at(a);
        if (b[0] != 0x06)
            continue;
        EXPECT_EQ(le32(b + 24), 77001u);
        EXPECT_EQ(b[38] & 0x20, 0x20);
    }
    unlink(p.c_str());
}

TEST(BuilderTables, ClusterKeysRepeatWhereTheirRowsGo)
{
    std::string p = tmp_path("clu");
    kb::FileDesc d;
    d.blocks = 200;
    d.bsz = 2048;
    kb::Datafile df;
    ASSERT_EQ(kb::df_create(df, p, d), 0);
    kb::Segment s;
    s.objd = 2;
    kb::plan_segment(s, df, 30, {40});
    std::vector<std::vector<kb::Col>> keys = {{kb::col_num(18)}, {kb::col_num(19)}, {kb::col_num(500)}};
    std::vector<kb::ClusterMember> m(2);
    std::vector<std::vector<std::pair<size_t, std::vector<kb::Col>>>> want(2);
    for (size_t k = 0; k < keys.size(); k++) {
        for (int i = 0; i < (k == 2 ? 150 : 3); i++) {
            kb::LogicalRow r;
            r.cols = {kb::col_num(i), kb::col_str("COLUMN_" + std::to_string(i) + "_OF_" + std::to_string(k))};
            if (i == 1 && k == 0)
                r.layout = kb::RowLayout::Migrated;
            if (i == 2 && k == 1)
                r.layout = kb::RowLayout::Deleted;
            m[1].rows.push_back(r);
            m[1].key_of.push_back(k);
            if (r.layout != kb::RowLayout::Deleted)
                want[1].push_back({k, r.cols});
        }
        kb::LogicalRow t;
        t.cols = {kb::col_num(100 + (int)k)};
        m[0].rows.push_back(t);
        m[0].key_of.push_back(k);
        want[0].push_back({k, t.cols});
    }
    ASSERT_EQ(kb::write_cluster(df, s, keys, m, kb::BlockOpts{}), 0);
    Image im = load(df);
    for (int t = 1; t <= 2; t++) {
        auto got = decode_segment(im, s.hdr, t);
        ASSERT_EQ(got.size(), want[(size_t)t - 1].size()) << "table " << t;
        for (size_t i = 0; i < got.size(); i++) {
            expect_same(got[i].cols, want[(size_t)t - 1][i].second, i);
            ASSERT_EQ(got[i].key.size(), 1u);
            EXPECT_EQ(got[i].key[0].data, keys[want[(size_t)t - 1][i].first][0].data);
        }
    }
    // Key 500's 150 rows need several blocks, each with its own key row.
    int key_blocks = 0;
    for (uint32_t a : s.data) {
        const uint8_t *b = im.at(a);
        if (b[0] != 0x06)
            continue;
        for (const SlotView &sv : slots_of(b, 0))
            if (b[sv.off + 19] == 2 && b[sv.off + 20] == 0xC2 && b[sv.off + 21] == 0x06)
                key_blocks++;
        EXPECT_EQ((int8_t)b[kdbh_of(b) + 1], 3);
    }
    EXPECT_GE(key_blocks, 2);
    unlink(p.c_str());
}
