// BasicFile LOB values written by build_database, read back from the
// datafiles by the tests' own decoder: locators, LOB data blocks, chunk
// addresses from the locator and the LOB index, and the index's shape.
#include "kbuild.h"
#include "../support/readback.h"

#include <gtest/gtest.h>

#include <set>

using namespace rb;

namespace {

std::string tmp_dir(const std::string &name)
{
    return std::string(::testing::TempDir()) + "kbl_" + name + "_" + std::to_string(getpid());
}

kb::DbColumn column(const std::string &name, int type)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    return c;
}

// A table of user LOBBY with columns ID and B (a BLOB with its LOB storage).
kb::DbTable blob_table(const std::string &name)
{
    kb::DbTable t;
    t.owner = "LOBBY";
    t.name = name;
    t.cols = {column("ID", 2), column("B", 113)};
    kb::DbLob l;
    l.column = "B";
    t.lobs = {l};
    return t;
}

Bytes pattern(size_t n, uint32_t seed)
{
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        b[i] = (uint8_t)(x >> 16);
    }
    return b;
}

// Every datafile of the database in one image (the files share a block size).
Image load_all(const kb::Database &db, uint32_t bsz)
{
    Image all;
    all.bsz = bsz;
    for (const std::string &f : db.files) {
        Image im = load_file(f);
        if (im.bsz == bsz)
            all.blocks.insert(im.blocks.begin(), im.blocks.end());
    }
    return all;
}

const uint32_t PER = 8192 - 60;

const kb::DbTable &table(const kb::Database &db, const std::string &name)
{
    for (const kb::DbTable &t : db.tables)
        if (t.name == name)
            return t;
    ADD_FAILURE() << name;
    return db.tables.at(0);
}

struct Want {
    kb::LobValue v;
    int col;      // 1: B (chunk 1), 2: C (chunk 4)
};

TEST(LobValues, ClobIsAl16utf16WithSurrogatePairs)
{
    kb::LobValue c = kb::lob_clob("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(c.width, 2);
    EXPECT_EQ(c.data, (Bytes{0x00, 0x61, 0x00, 0xE9, 0x20, 0xAC, 0xD8, 0x3D, 0xDE, 0x00}));
    kb::LobValue b = kb::lob_blob({1, 2, 3}, kb::LobForm::BasicIndexOnly);
    EXPECT_EQ(b.width, 1);
    EXPECT_EQ(b.form, kb::LobForm::BasicIndexOnly);
    EXPECT_EQ(kb::col_lob(7).lob, 7);
}

TEST(LobStorage, EveryBasicFormReadsBackThroughLocatorAndIndex)
{
    using F = kb::LobForm;
    std::vector<Want> want = {
        {kb::lob_blob({}, F::BasicInline), 1},
        {kb::lob_blob(pattern(1, 1), F::BasicInline), 1},
        {kb::lob_blob(pattern(3964, 2), F::BasicInline), 1},
        {kb::lob_blob(pattern(100, 3)), 1},                       // small enough: inline
        {kb::lob_blob(pattern(3965, 4)), 1},                      // blks 0, not inline
        {kb::lob_blob(pattern(12 * PER, 5)), 1},                  // twelve chunks, no index
        {kb::lob_blob(pattern(20 * PER, 6)), 1},                  // page 12 entry
        {kb::lob_blob(pattern(12 * PER + 5, 7)), 1},              // remainder through page 12
        {kb::lob_blob(pattern(30 * PER + 100, 8)), 1},
        {kb::lob_blob({}, F::BasicIndexOnly), 1},
        {kb::lob_blob(pattern(100, 9), F::BasicIndexOnly), 1},
        {kb::lob_blob(pattern(3 * PER + 7, 10), F::BasicIndexOnly), 1},
        {kb::lob_blob(pattern(25 * PER + 1, 11), F::BasicIndexOnly), 1},
        {kb::lob_clob("short text"), 2},
        {kb::lob_blob(pattern(48 * PER, 12)), 2},                 // 12 chunks of 4
        {kb::lob_blob(pattern(4 * 13 * PER + 3 * PER + 9, 13)), 2},
        {kb::lob_blob(pattern(2 * PER + 10, 14), F::BasicIndexOnly), 2},  // below one chunk
        {kb::lob_blob(pattern(4 * 9 * PER + 2 * PER, 15), F::BasicIndexOnly), 2},
        {kb::lob_clob(std::string(5000, 'x') + "\xF0\x9F\x98\x80"), 2},
        {kb::lob_clob("index only", F::BasicIndexOnly), 2},
        {kb::lob_blob(pattern(7, 16), F::BasicIndexOnly), 2},
        {kb::lob_blob(pattern(PER, 17), F::BasicIndexOnly), 2},
        {kb::lob_blob(pattern(30, 18), F::SecureInline), 1},     // a SecureFile value in the same segment
        {kb::lob_blob(pattern(3 * PER, 19), F::SecureExtents), 2},
    };

    kb::Database db = kb::standard_database();
    db.users.push_back({"LOBBY", 90, 1, "USERS", "TEMP", 0});
    kb::DbTable t;
    t.owner = "LOBBY";
    t.name = "DOCS";
    t.cols = {column("ID", 2), column("B", 113), column("C", 112)};
    kb::DbLob b, c;
    b.column = "B";
    b.chunk = 1;
    b.shape.leaf_max = 3;
    b.shape.branch_max = 2;
    b.shape.truncate_keys = false;
    b.shape.dead_entries = true;
    c.column = "C";
    c.chunk = 4;
    c.shape.leaf_max = 2;
    t.lobs = {b, c};
    // Values listed in an order unrelated to the rows naming them.
    for (size_t i = 0; i < want.size(); i++)
        t.lob_values.push_back(want[(i * 7) % want.size()].v);
    std::vector<size_t> value_of(want.size());
    for (size_t i = 0; i < want.size(); i++)
        value_of[(i * 7) % want.size()] = i;
    for (size_t w = 0; w < want.size(); w++) {
        kb::LogicalRow r;
        r.cols = {kb::col_num((int64_t)w), kb::col_null(), kb::col_null()};
        r.cols[(size_t)want[w].col] = kb::col_lob(value_of[w]);
        t.rows.push_back(r);
    }
    db.tables.push_back(t);
    std::string dir = tmp_dir("forms");
    ASSERT_EQ(kb::build_database(db, dir), 0);

    const kb::DbTable &bt = table(db, "DOCS");
    EXPECT_EQ(bt.rows[0].cols.at(1).lob, (int)value_of[0]) << "the description's rows are left as given";
    EXPECT_TRUE(bt.rows[0].cols.at(1).data.empty());
    Image im = load_all(db, 8192);
    std::vector<LobIndex> ix;
    for (const kb::DbLob &l : bt.lobs) {
        uint32_t hdr = kb::rdba(l.ind_fno, l.ind_blk);
        ASSERT_NE(im.at(hdr), nullptr);
        EXPECT_EQ(im.at(hdr)[0], 0x23);
        ASSERT_NE(im.at(kb::rdba(l.fno, l.blk)), nullptr);
        EXPECT_EQ(im.at(kb::rdba(l.fno, l.blk))[0], 0x23);
        for (const kb::DbIndex &x : db.indexes)
            if (x.objn == l.ind) {
                EXPECT_EQ(kb::rdba(x.fno, x.blk), hdr);
            }
        ix.emplace_back(im, hdr + 1);
    }

    auto rows = decode_segment(im, kb::rdba(bt.fno, bt.blk), 0);
    ASSERT_EQ(rows.size(), want.size());
    std::set<Bytes> ids[2];
    std::vector<Bytes> row_ids[2];
    bool scattered = false;
    for (const Decoded &d : rows) {
        size_t w = (size_t)num_of(d.cols.at(0));
        ASSERT_LT(w, want.size());
        const kb::LobValue &v = want[w].v;
        int col = want[w].col;
        ASSERT_GT(d.cols.size(), (size_t)col);
        ASSERT_FALSE(d.cols[(size_t)col].null);
        const Bytes &raw = d.cols[(size_t)col].data;
        Locator loc = parse_locator(raw);
        SCOPED_TRACE("value " + std::to_string(w) + " of " + std::to_string(v.data.size()) + " bytes");
        EXPECT_EQ(loc.secure, v.form == F::SecureInline || v.form == F::SecureExtents);
        if (loc.secure)
            continue;   // laid out by the SecureFile writer, checked with it
        EXPECT_EQ(loc.tlen, raw.size() - 2);
        EXPECT_EQ(loc.width, v.width);
        EXPECT_EQ(loc.inode, v.form != F::BasicIndexOnly);
        ids[col - 1].insert(loc.lobid);
        row_ids[col - 1].push_back(loc.lobid);
        uint32_t chunk = col == 1 ? 1 : 4;
        if (loc.inode) {
            bool inl = v.data.size() <= 3964;
            EXPECT_EQ(loc.is_inline, inl);
            EXPECT_EQ(loc.blks, inl ? 0 : v.data.size() / PER);
            EXPECT_EQ(loc.bytes, inl ? v.data.size() : v.data.size() % PER);
            uint32_t chunks = (uint32_t)((v.data.size() + chunk * PER - 1) / (chunk * PER));
            EXPECT_EQ(loc.rdbas.size(), inl ? 0 : std::min<uint32_t>(chunks, 12));
            for (size_t k = 1; k < loc.rdbas.size(); k++)
                scattered = scattered || loc.rdbas[k] < loc.rdbas[k - 1];
        } else {
            EXPECT_EQ(raw.size(), 20u);
        }
        Bytes got = read_basic(im, loc, ix[(size_t)col - 1], chunk);
        EXPECT_TRUE(got == v.data) << "got " << got.size() << " bytes";
    }
    EXPECT_TRUE(scattered);
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(ids[k].size(), row_ids[k].size()) << "LOB ids unique within the segment";
        EXPECT_FALSE(std::is_sorted(row_ids[k].begin(), row_ids[k].end())) << "index order is not row order";
    }

    // B: leaves of 3, branches of 2 separators, no truncation, deleted
    // entries ahead of the first entry of each LOB that has entries.
    EXPECT_GE(ix[0].levels, 3);
    EXPECT_EQ(ix[0].truncated, 0);
    size_t dead = 0, live = 0;
    for (const IndexEntry &e : ix[0].entries)
        (e.dead ? dead : live)++;
    // Entries: 20 and 12+5 chunks one each, 31 chunks 3; index-only 1, 1, 1 and 4.
    EXPECT_EQ(live, 12u);
    EXPECT_EQ(dead, 7u);
    for (size_t i = 0; i < ix[0].leaves.size(); i++) {
        bool any_live = false;
        for (const IndexEntry &e : ix[0].entries)
            any_live = any_live || (e.leaf == ix[0].leaves[i] && !e.dead);
        EXPECT_TRUE(any_live) << "leaf " << i << " holds deleted entries only";
    }
    // C: leaves of 2, truncated separators where the LOB id separates.
    EXPECT_GE(ix[1].levels, 2);
    EXPECT_GT(ix[1].truncated, 0);
    for (const IndexEntry &e : ix[1].entries)
        EXPECT_FALSE(e.dead);
}

TEST(LobStorage, PartitionsAndATablespaceOfItsOwnBlockSize)
{
    kb::Database db = kb::standard_database();
    db.users.push_back({"LOBBY", 90, 1, "USERS", "TEMP", 0});
    kb::DbTablespace ts;
    ts.name = "LOB16K";
    ts.tsn = 7;
    ts.bsz = 16384;
    ts.files = {kb::DbFile{9, 9, 64, false, 0, "", ""}};
    db.tablespaces.push_back(ts);
    kb::DbTable t = blob_table("PARTED");
    t.lobs[0].chunk = 2;
    t.lobs[0].shape.tablespace = "LOB16K";
    t.lobs[0].shape.scatter = false;
    const uint32_t per16 = 16384 - 60;
    std::vector<size_t> sizes = {5, 40000, 14 * 2 * per16 + 3, 0};
    for (size_t i = 0; i < sizes.size(); i++)
        t.lob_values.push_back(kb::lob_blob(pattern(sizes[i], 40 + (uint32_t)i),
                                            i == 3 ? kb::LobForm::BasicIndexOnly : kb::LobForm::BasicChunks));
    for (int p = 0; p < 2; p++) {
        kb::DbPart part;
        part.name = "P" + std::to_string(p);
        for (int r = 0; r < 2; r++) {
            kb::LogicalRow row;
            row.cols = {kb::col_num(p * 2 + r), kb::col_lob((size_t)(p * 2 + r))};
            part.rows.push_back(row);
        }
        t.parts.push_back(part);
    }
    db.tables.push_back(t);
    ASSERT_EQ(kb::build_database(db, tmp_dir("parts")), 0);

    const kb::DbTable &pt = table(db, "PARTED");
    const kb::DbLob &ol = pt.lobs[0];
    EXPECT_EQ(ol.tsn, 7u);
    EXPECT_EQ(ol.fno, 9u);
    Image lobs = load_all(db, 16384), users = load_all(db, 8192);
    EXPECT_EQ(lobs.at(kb::rdba(9, 1))[0], 0x0B);
    EXPECT_EQ(le32(lobs.at(kb::rdba(9, 1)) + 48), 16384u);
    LobIndex ix(lobs, kb::rdba(ol.ind_fno, ol.ind_blk) + 1);
    EXPECT_EQ(ix.levels, 1);
    size_t seen = 0;
    for (const kb::DbPart &p : pt.parts)
        for (const Decoded &d : decode_segment(users, kb::rdba(p.fno, p.blk), 0)) {
            size_t i = (size_t)num_of(d.cols.at(0));
            ASSERT_LT(i, sizes.size());
            Locator loc = parse_locator(d.cols.at(1).data);
            std::vector<uint32_t> sorted = loc.rdbas;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, loc.rdbas) << "not scattered";
            EXPECT_TRUE(read_basic(lobs, loc, ix, 2) == t.lob_values[i].data) << "value " << i;
            seen++;
        }
    EXPECT_EQ(seen, sizes.size());
}

TEST(LobStorage, DescriptionsThatCannotBeWrittenAreRefused)
{
    auto base = [] {
        kb::Database db = kb::standard_database();
        db.users.push_back({"LOBBY", 90, 1, "USERS", "TEMP", 0});
        kb::DbTable t = blob_table("BAD");
        t.lob_values = {kb::lob_blob(pattern(10, 1)), kb::lob_blob(pattern(10, 2))};
        kb::LogicalRow r;
        r.cols = {kb::col_num(1), kb::col_lob(0)};
        t.rows = {r};
        db.tables.push_back(t);
        return db;
    };
    {
        kb::Database db = base();
        ASSERT_EQ(kb::build_database(db, tmp_dir("good")), 0) << "the base description is sound";
    }
    struct Case {
        const char *what;
        void (*spoil)(kb::DbTable &);
    };
    const Case cases[] = {
        {"a value in a non-LOB column", [](kb::DbTable &t) { t.rows[0].cols[0] = kb::col_lob(1); }},
        {"a value index out of range", [](kb::DbTable &t) { t.rows[0].cols[1] = kb::col_lob(2); }},
        {"one value in two rows", [](kb::DbTable &t) { t.rows.push_back(t.rows[0]); }},
        {"a SecureFile value the writer cannot lay out",
         [](kb::DbTable &t) {
             t.lob_values[0].form = kb::LobForm::SecureExtents;
             t.lob_values[0].len_bytes = 9;
         }},
        {"inline data over 3964 bytes",
         [](kb::DbTable &t) { t.lob_values[0] = kb::lob_blob(pattern(3965, 3), kb::LobForm::BasicInline); }},
        {"a chunk over 32 KiB", [](kb::DbTable &t) {
             t.lobs[0].chunk = 5;
             t.lob_values[0] = kb::lob_blob(pattern(50000, 4));
         }},
    };
    for (const Case &c : cases) {
        kb::Database db = base();
        c.spoil(db.tables.back());   // before the build adds the dictionary's tables
        testing::internal::CaptureStderr();
        int rc = kb::build_database(db, tmp_dir("bad"));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, -1) << c.what;
        EXPECT_FALSE(err.empty()) << c.what;
    }
}

} // namespace
