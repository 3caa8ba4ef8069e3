// The whole recovery path for LOB columns: BasicFile and SecureFile CLOB,
// NCLOB and BLOB values in every storage form, built, unloaded by kelvo,
// imported into SQLite and compared with the values they were built from.
#include "pipeline.h"

namespace {

using namespace e2e;

// ---- LOB columns ---------------------------------------------------------

kb::DbLob dlob(const std::string &column, int chunk)
{
    kb::DbLob l;
    l.column = column;
    l.chunk = chunk;
    return l;
}

// Adds table t with these rows (LOB values stored as the table's own) and
// its expected rows, padded with NULLs to the compared columns.
void add_lob_table(Fixture &f, kb::DbTable t, LTable expect, std::vector<std::vector<LV>> rows)
{
    for (auto &r : rows) {
        t.rows.push_back(lob_row(t, r));
        r.resize(expect.cols.size());
        expect.rows.push_back(r);
    }
    f.db.tables.push_back(std::move(t));
    f.expect.push_back(std::move(expect));
}

Fixture make_lob_database()
{
    using F = kb::LobForm;
    Fixture f;
    f.db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    f.db.tablespaces.push_back({"DATA2", 5, 0, {kb::DbFile{5, 5, 256, false, 0, "data2_01.dbf", ""}}});

    // BasicFile CLOB, NCLOB and BLOB: inline, in chunks named by the locator
    // and through the LOB index, empty, NULL, and one of 1 MiB.
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "LOBS";
    t.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("N", 112, 0, 2), dcol("B", 113, 0), dcol("TAIL", 1, 10)};
    t.lobs = {dlob("C", 1), dlob("N", 2), dlob("B", 4)};
    // Small leaves and branches: the index of C is a tree of several levels,
    // with stale entries to pass over.
    t.lobs[0].shape.leaf_max = 3;
    t.lobs[0].shape.branch_max = 2;
    t.lobs[0].shape.dead_entries = true;
    t.lobs[1].shape.truncate_keys = false;
    t.lobs[2].shape.dead_entries = true;
    LTable lt{"LOBS", {"ID", "C", "N", "B", "TAIL"}, {}};
    std::vector<uint8_t> zeros = {0x00, 0x01, 0x00, 0x00, 0xFF, 0x00};
    // The first chunk of C (4066 UTF-16 units) ends inside a surrogate pair.
    std::string split_pair = std::string(4065, 'q') + "\xf0\x9f\x98\x80" + mixed_text(60000, 1);
    std::vector<std::vector<LV>> rows = {
        {num_v("1"), clob_v("h\xc3\xa9llo w\xc3\xb6rld \xe2\x82\xac \xf0\x9f\x98\x80", F::BasicInline),
         clob_v("\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1", F::BasicInline), blob_v(zeros, F::BasicInline), text_v("t1")},
        {num_v("2"), clob_v("", F::BasicInline), clob_v("", F::BasicInline), blob_v({}, F::BasicInline), text_v("empty")},
        {num_v("3"), null_v(), null_v(), null_v(), text_v("nulls")},
        {num_v("4"), clob_v(split_pair, F::BasicChunks), clob_v(mixed_text(9000, 2), F::BasicIndexOnly),
         blob_v(letters(3965, 3), F::BasicChunks), text_v("chunks")},
        // 1982 characters of AL16UTF16 are the largest inline value.
        {num_v("5"), clob_v(std::string(1982, 'x'), F::BasicInline), null_v(), blob_v(letters(1 << 20, 4), F::BasicChunks),
         text_v("1 MiB")},
        {num_v("6"), null_v(), clob_v(mixed_text(300, 5), F::BasicChunks), null_v(), text_v("mid")},
    };
    for (int i = 7; i < 40; i++)
        rows.push_back({num_v(std::to_string(i)), clob_v(mixed_text(50 + (size_t)i * 7, (uint32_t)i), F::BasicIndexOnly),
                        null_v(), i % 4 ? null_v() : blob_v(letters((size_t)i * 100, (uint32_t)i), F::BasicIndexOnly)});
    add_lob_table(f, t, lt, rows);

    // SecureFile: inline with short and long length fields, extent lists,
    // header blocks with extents and itrees of every level, empty values.
    kb::DbTable s;
    s.owner = "SCOTT";
    s.name = "SLOBS";
    s.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("N", 112, 0, 2), dcol("B", 113, 0)};
    s.lobs = {dlob("C", 1), dlob("N", 1), dlob("B", 1)};
    LTable ls{"SLOBS", {"ID", "C", "N", "B"}, {}};
    LV long_len = clob_v("na\xc3\xafve \xe2\x98\x83 \xf0\x9d\x84\x9e", F::SecureInline);
    long_len.lob.len_bytes = 8;
    long_len.lob.skip = 3;
    LV ext = clob_v(mixed_text(30000, 6), F::SecureExtents);
    ext.lob.extent_blocks = 3;
    LV filled = clob_v(mixed_text(4000, 7), F::SecureExtents);
    filled.lob.block_fill = 1000;
    LV batches = blob_v(letters(100000, 8), F::SecureExtents);
    batches.lob.extent_blocks = 9;   // more than one 32 KiB batch per extent
    LV data_block = clob_v(mixed_text(1500, 9), F::SecureHeader);
    data_block.lob.itree_data_block = true;
    LV hdr_only = clob_v(mixed_text(5000, 10), F::SecureHeader);
    LV tree3 = blob_v(letters(600000, 11), F::SecureHeader);
    tree3.lob.extent_blocks = 4;
    tree3.lob.hdr_extents = 2;
    tree3.lob.itree_level = 3;
    tree3.lob.itree_fanout = 3;
    LV tree4 = clob_v(std::string(2500, 'w'), F::SecureHeader);
    tree4.lob.extent_blocks = 1;
    tree4.lob.block_fill = 500;
    tree4.lob.hdr_extents = 0;
    tree4.lob.itree_level = 4;
    tree4.lob.itree_fanout = 2;
    LV tree1 = blob_v(letters(70000, 12), F::SecureHeader);
    tree1.lob.extent_blocks = 2;
    tree1.lob.hdr_extents = 1;
    std::vector<std::vector<LV>> srows = {
        {num_v("1"), clob_v("\xc3\xa9t\xc3\xa9", F::SecureInline), long_len, blob_v(zeros, F::SecureInline)},
        {num_v("2"), clob_v("", F::SecureEmpty), clob_v("", F::SecureInline), blob_v({}, F::SecureEmpty)},
        {num_v("3"), null_v(), null_v(), null_v()},
        {num_v("4"), ext, filled, batches},
        {num_v("5"), data_block, hdr_only, tree3},
        {num_v("6"), tree4, null_v(), tree1},
    };
    add_lob_table(f, s, ls, srows);

    // LOB columns in a partitioned table, one partition in the second datafile.
    kb::DbTable p;
    p.owner = "SCOTT";
    p.name = "PLOBS";
    p.cols = {dcol("ID", 2, 22), dcol("D", 112, 0), dcol("B", 113, 0)};
    p.lobs = {dlob("D", 2), dlob("B", 1)};
    LTable lp{"PLOBS", {"ID", "D", "B"}, {}};
    for (int n = 0; n < 2; n++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(n);
        if (n == 1)
            dp.tablespace = "DATA2";
        for (int i = 0; i < 3; i++) {
            int id = n * 10 + i;
            std::vector<LV> r = {num_v(std::to_string(id)),
                                 i == 0 ? clob_v(dp.name, F::BasicInline)
                                        : clob_v(mixed_text(3000 * (size_t)i, (uint32_t)id), F::BasicChunks),
                                 i == 1 ? null_v() : blob_v(letters(9000, (uint32_t)id), F::BasicIndexOnly)};
            dp.rows.push_back(lob_row(p, r));
            lp.rows.push_back(r);
        }
        p.parts.push_back(dp);
    }
    f.db.tables.push_back(p);
    f.expect.push_back(lp);

    // A LONG beside LOB columns: the LONG's data and the LOB values follow
    // the row.
    kb::DbTable l;
    l.owner = "SCOTT";
    l.name = "LONGLOB";
    l.cols = {dcol("ID", 2, 22), dcol("L", 8, 0), dcol("C", 112, 0), dcol("B", 113, 0)};
    l.lobs = {dlob("C", 1), dlob("B", 1)};
    l.seg.ext_blocks = 16;
    LTable ll{"LONGLOB", {"ID", "L", "C", "B"}, {}};
    std::vector<std::vector<LV>> lrows = {
        {num_v("1"), long_v(letters(40000, 13)), clob_v(mixed_text(9000, 14), F::BasicChunks),
         blob_v(letters(100, 15), F::BasicInline)},
        {num_v("2"), null_v(), clob_v("x", F::BasicInline)},
        {num_v("3"), long_v(letters(10, 16)), null_v(), blob_v(letters(20000, 17), F::BasicChunks)},
    };
    add_lob_table(f, l, ll, lrows);

    // LOB segments in a tablespace of 16 KiB blocks: BasicFile chunks of two
    // blocks (32 KiB less their headers) and SecureFile batches of two blocks.
    f.db.tablespaces.push_back({"LOB16", 6, 0, {kb::DbFile{6, 6, 512, false, 0, "lob16_01.dbf", ""}}, 16384});
    kb::DbTable w;
    w.owner = "SCOTT";
    w.name = "WIDE";
    w.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("B", 113, 0)};
    w.lobs = {dlob("C", 2), dlob("B", 1)};
    for (kb::DbLob &x : w.lobs)
        x.shape.tablespace = "LOB16";
    LTable lw{"WIDE", {"ID", "C", "B"}, {}};
    LV wide_ext = blob_v(letters(200000, 18), F::SecureExtents);
    wide_ext.lob.extent_blocks = 5;
    std::vector<std::vector<LV>> wrows = {
        {num_v("1"), clob_v(mixed_text(40000, 19), F::BasicChunks), wide_ext},
        {num_v("2"), clob_v(mixed_text(20000, 20), F::BasicIndexOnly), blob_v(letters(50000, 21), F::SecureHeader)},
    };
    add_lob_table(f, w, lw, wrows);
    return f;
}

class LobPipeline : public PipelineSuite<LobPipeline> {
public:
    static Fixture make() { return make_lob_database(); }
    static inline const char *unloads = "unload user scott\nunload table scott.slobs\n";
    static std::vector<std::pair<std::string, std::string>> dumps()
    {
        return {{"SCOTT", "all"}, {"SCOTT_SLOBS", "one"}};
    }
};

TEST_F(LobPipeline, BasicFileInlineChunkedAndThroughTheLobIndex)
{
    check("all", "LOBS");
}

TEST_F(LobPipeline, SecureFileInlineExtentsHeaderBlocksAndItrees)
{
    check("all", "SLOBS");
    check("one", "SLOBS");
}

TEST_F(LobPipeline, PartitionedTableLongBesideLobsAndSixteenKiBBlocks)
{
    check("all", "PLOBS");
    check("all", "LONGLOB");
    check("all", "WIDE");
    EXPECT_EQ(dumptest::query(w->path("all/SCOTT.db"), "select count(*) from sqlite_master where type = 'table'"),
              std::to_string(f->expect.size()));
}

} // namespace

