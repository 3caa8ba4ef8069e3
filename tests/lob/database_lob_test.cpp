// LOB columns end to end through the kelvo program: databases written by the
// builder with BasicFile and SecureFile values in every storage form, "export
// dict", "load dict", "unload user" / "unload table", and every dump compared
// byte for byte with the dump computed from the database description (the
// piece split of each value from its logical description, expect_lob.h).
// Damaged LOB storage ends its table with one message and a terminated row
// stream; the tables after it still unload.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "../shell/run_kelvo.h"
#include "../unload/expect_database.h"
#include "../support/readback.h"
#include "expect_lob.h"

namespace {

using kb::col_lob;
using kb::col_null;
using kb::col_num;
using kb::LobForm;

kb::DbColumn dcol(const std::string &name, int type, int len = 0)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    return c;
}
kb::LogicalRow drow(std::vector<kb::Col> cols)
{
    kb::LogicalRow r;
    r.cols = std::move(cols);
    return r;
}
kb::DbLob dlob(const std::string &column, int chunk, kb::LobShape shape = {})
{
    kb::DbLob l;
    l.column = column;
    l.chunk = chunk;
    l.shape = shape;
    return l;
}

uint32_t tablespace_bsz(const kb::Database &db, const std::string &name)
{
    for (const kb::DbTablespace &t : db.tablespaces)
        if (t.name == name)
            return t.bsz ? t.bsz : db.bsz;
    return db.bsz;
}

// The entry of a LOB column holding lob_values[v.lob]: its width byte and
// the pieces its storage (chunk, block size of the LOB's tablespace) gives.
xd::LobEntry lob_entry(const kb::Database &db)
{
    return [&db](const kb::DbTable &t, const kb::DbColumn &c, const kb::Col &v) {
        const kb::DbLob *l = nullptr;
        for (const kb::DbLob &d : t.lobs)
            if (d.column == c.name)
                l = &d;
        EXPECT_NE(l, nullptr) << c.name;
        const kb::LobValue &lv = t.lob_values.at((size_t)v.lob);
        std::string ts = l && !l->shape.tablespace.empty() ? l->shape.tablespace : t.tablespace;
        return xd::lob_value((uint8_t)lv.width, xl::lob_pieces(lv, l ? (uint32_t)l->chunk : 1, tablespace_bsz(db, ts)));
    };
}

// A BLOB of n pattern bytes.
kb::LobValue value(size_t n, uint32_t seed, LobForm form) { return kb::lob_blob(kb::pattern_bytes(n, seed), form); }

// A database of the standard accounts, user SCOTT, and room for LOB data:
// USERS (8 KiB blocks) enlarged, SMALL with 2 KiB and WIDE with 16 KiB
// blocks.
kb::Database lob_database()
{
    kb::Database db = kb::standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    for (kb::DbTablespace &t : db.tablespaces)
        if (t.name == "USERS")
            t.files[0].blocks = 2048;
    kb::DbTablespace small{"SMALL", 5, 0, {kb::DbFile{5, 5, 2048, false, 0, "small01.dbf", ""}}, 2048};
    kb::DbTablespace wide{"WIDE", 6, 0, {kb::DbFile{6, 6, 512, false, 0, "wide01.dbf", ""}}, 16384};
    db.tablespaces.push_back(small);
    db.tablespaces.push_back(wide);
    return db;
}

kb::DbTable lob_table(const std::string &name, std::vector<kb::DbColumn> cols, std::vector<kb::DbLob> lobs)
{
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = name;
    t.cols = std::move(cols);
    t.lobs = std::move(lobs);
    t.seg.ext_blocks = 16;
    return t;
}

// One row per value: (id, value).
void one_per_row(kb::DbTable &t, const std::vector<kb::LobValue> &vals)
{
    for (const kb::LobValue &v : vals) {
        t.rows.push_back(drow({col_num((int64_t)t.rows.size() + 1), col_lob(t.lob_values.size())}));
        t.lob_values.push_back(v);
    }
}

struct Built {
    std::string dir;
    KelvoRun run;
    ~Built()
    {
        if (!dir.empty() && !getenv("KEEP_DB"))
            (void)system(("rm -rf '" + dir + "'").c_str());
    }
    xd::Bytes dump(const std::string &name) const
    {
        std::string s = slurp(dir + "/data/" + name);
        return xd::Bytes(s.begin(), s.end());
    }
};

// Builds db, lets `damage` patch the datafiles, and runs kelvo over it.
// `status`: the exit status kelvo must give (1 when the run loses data).
void build_and_run(kb::Database &db, const std::string &commands, Built &b,
                   const std::function<void(const kb::Database &)> &damage = nullptr, int status = 0)
{
    char tmpl[] = "/tmp/kelvo_lobdb_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    b.dir = tmpl;
    ASSERT_EQ(kb::build_database(db, b.dir), 0);
    ASSERT_EQ(kb::write_config(b.dir, db.files), 0);
    if (damage)
        damage(db);
    if (testing::Test::HasFatalFailure())
        return;
    b.run = run_kelvo({"config=" + b.dir + "/config.ini"}, "export dict\nload dict\n" + commands + "exit\n", b.dir);
    ASSERT_EQ(b.run.status, status) << b.run.err;
    if (getenv("SHOW_ERR"))
        fprintf(stderr, "%s", b.run.err.c_str());
}

const kb::DbTable &table(const kb::Database &db, const std::string &name)
{
    for (const kb::DbTable &t : db.tables)
        if (t.name == name)
            return t;
    ADD_FAILURE() << name;
    return db.tables.front();
}

// The expected dump of SCOTT's tables in dictionary order.
xd::Bytes user_dump(const kb::Database &db, const std::vector<std::string> &names)
{
    std::vector<const kb::DbTable *> tabs;
    for (const std::string &n : names)
        tabs.push_back(&table(db, n));
    std::sort(tabs.begin(), tabs.end(), [](auto *a, auto *b) { return a->objn < b->objn; });
    std::vector<xd::Table> x;
    for (const kb::DbTable *t : tabs)
        x.push_back(xd::expect_table(db, *t, lob_entry(db)));
    return xd::dump_file("SCOTT", xd::props_of(db), x);
}

std::vector<std::string> names_of(const kb::Database &db)
{
    std::vector<std::string> n;
    for (const kb::DbTable &t : db.tables)
        if (t.owner == "SCOTT")
            n.push_back(t.name);
    return n;
}

// LOB index blocks in the datafiles, for checks of the index shape and for
// damaging it.

std::string file_of(const kb::Database &db, uint32_t fno)
{
    for (const kb::DbTablespace &t : db.tablespaces)
        for (const kb::DbFile &f : t.files)
            if (f.fno == fno)
                return f.path;
    ADD_FAILURE() << "file " << fno;
    return "";
}

struct IndexBlock {
    std::string path;
    uint32_t blk = 0, rdba = 0;
    std::vector<uint8_t> b;
    size_t xco = 0;   // the index header: level byte, entry count at +8, then the branch's leftmost
                      // child or the leaf's next-leaf address at +16 / +20
    int level() const { return b[xco]; }
};

IndexBlock index_block(const std::string &path, uint32_t fno, uint32_t blk)
{
    IndexBlock x;
    x.path = path;
    x.blk = blk;
    x.rdba = kb::rdba(fno, blk);
    EXPECT_EQ(kb::read_file_block(path, blk, x.b), 0);
    x.xco = (size_t)rb::kdbh_of(x.b.data());
    return x;
}

// The root of a LOB column's index (the block after its segment header) and
// the leftmost leaf under it.
IndexBlock lob_root(const kb::Database &db, const kb::DbLob &l)
{
    return index_block(file_of(db, l.ind_fno), l.ind_fno, l.ind_blk + 1);
}
IndexBlock leftmost_leaf(const kb::Database &db, const kb::DbLob &l)
{
    IndexBlock x = lob_root(db, l);
    for (int guard = 0; x.level() > 0 && guard < 8; guard++) {
        uint32_t child = kb::read_le32(&x.b[x.xco + 16]);
        x = index_block(x.path, l.ind_fno, child & 0x3FFFFF);
    }
    return x;
}

void patch(const IndexBlock &x, size_t off, std::vector<uint8_t> bytes)
{
    ASSERT_EQ(kb::patch_block(x.path, x.blk, x.xco + off, bytes, true), 0);
}

std::vector<uint8_t> le32(uint32_t v) { return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)}; }

// ---------------------------------------------------------------------------

TEST(LobDatabase, BasicFileFormsByteForByte)
{
    kb::Database db = lob_database();
    const uint32_t d8 = kb::basic_block_data(8192), d2 = kb::basic_block_data(2048);

    // Chunk 1 in 8 KiB blocks: inline values (empty, small, the largest),
    // 3965 bytes (not inline: a partial chunk of no whole block), up to 12
    // chunks from the locator, exactly 12, 20 (the index from page 12 on),
    // a CLOB, locators without inode, and NULLs.
    kb::DbTable b1 = lob_table("B1", {dcol("ID", 2, 22), dcol("V", 113, 4000), dcol("N", 112, 4000)},
                               {dlob("V", 1), dlob("N", 1)});
    b1.cols[2].charsetform = 2;
    one_per_row(b1, {value(0, 1, LobForm::BasicInline), value(200, 2, LobForm::BasicInline),
                     value(3964, 3, LobForm::BasicInline), value(3965, 4, LobForm::BasicChunks),
                     value(5 * d8 + 77, 5, LobForm::BasicChunks), value(12 * d8, 6, LobForm::BasicChunks),
                     value(20 * d8, 7, LobForm::BasicChunks), value(12 * d8 + 1, 8, LobForm::BasicChunks),
                     value(0, 9, LobForm::BasicIndexOnly), value(1000, 10, LobForm::BasicIndexOnly),
                     value(4 * d8, 11, LobForm::BasicIndexOnly), value(9 * d8 + 5, 12, LobForm::BasicIndexOnly)});
    b1.lob_values.push_back(kb::lob_clob("gr\xC3\xBC\xC3\x9F " + std::string(5000, 'x') + " \xF0\x9F\x98\x80",
                                         LobForm::BasicChunks));
    b1.rows.push_back(drow({col_num(100), col_lob(b1.lob_values.size() - 1)}));
    b1.rows.push_back(drow({col_num(101), col_null()}));
    b1.rows.push_back(drow({col_num(102)}));
    // An NCLOB after a NULL BLOB.
    b1.lob_values.push_back(kb::lob_clob("national \xE2\x82\xAC", LobForm::BasicInline));
    b1.rows.push_back(drow({col_num(103), col_null(), col_lob(b1.lob_values.size() - 1)}));
    db.tables.push_back(b1);

    // Chunk 4 (32 KiB chunks of 8 KiB blocks): whole chunks, a partial final
    // chunk of some blocks and bytes, 12 chunks and a remainder, 20 chunks.
    kb::DbTable b4 = lob_table("B4", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 4)});
    one_per_row(b4, {value(3 * d8 + 10, 21, LobForm::BasicChunks), value(8 * d8, 22, LobForm::BasicChunks),
                     value(48 * d8 + 2 * d8 + 99, 23, LobForm::BasicChunks), value(80 * d8, 24, LobForm::BasicChunks),
                     value(6 * d8 + 3, 25, LobForm::BasicIndexOnly)});
    db.tables.push_back(b4);

    // Chunk 2 of 16 KiB blocks: 32 KiB chunks.
    kb::DbTable w = lob_table("W", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 2)});
    w.tablespace = "WIDE";
    const uint32_t d16 = kb::basic_block_data(16384);
    one_per_row(w, {value(4 * d16, 31, LobForm::BasicChunks), value(13 * 2 * d16 + d16 + 7, 32, LobForm::BasicChunks),
                    value(d16 + 5, 33, LobForm::BasicChunks), value(6 * d16 + 1, 34, LobForm::BasicIndexOnly)});
    db.tables.push_back(w);

    // Several hundred chunks in 2 KiB blocks, under an index of small leaves
    // and branches (two branch levels), with dead entries, many values in
    // one column, and two LOB columns in one row.
    kb::LobShape deep;
    deep.leaf_max = 4;
    deep.branch_max = 3;
    deep.dead_entries = true;
    kb::LobShape flat = deep;
    flat.truncate_keys = false;
    kb::DbTable s = lob_table("MANY", {dcol("ID", 2, 22), dcol("A", 113, 4000), dcol("B", 112, 4000)},
                              {dlob("A", 1, deep), dlob("B", 2, flat)});
    s.tablespace = "SMALL";
    for (int i = 0; i < 12; i++) {
        size_t na = i == 5 ? 400 * d2 + 17 : (size_t)(i * 3 + 1) * d2 + (size_t)i;
        s.lob_values.push_back(value(na, 40 + (uint32_t)i, i % 3 ? LobForm::BasicChunks : LobForm::BasicIndexOnly));
        s.lob_values.push_back(kb::lob_clob(std::string((size_t)(i + 1) * 1500, (char)('a' + i)),
                                            i % 2 ? LobForm::BasicIndexOnly : LobForm::BasicChunks));
        s.rows.push_back(drow({col_num(i), col_lob(2 * (size_t)i), i == 7 ? col_null() : col_lob(2 * (size_t)i + 1)}));
    }
    db.tables.push_back(s);

    // A LONG and a LOB in one row: the LONG value record comes first.
    kb::DbTable ll = lob_table("LL", {dcol("ID", 2, 22), dcol("TXT", 8), dcol("V", 113, 4000)}, {dlob("V", 1)});
    ll.lob_values = {value(40000, 70, LobForm::BasicChunks), value(10, 71, LobForm::BasicInline)};
    ll.rows = {drow({col_num(1), kb::col_bytes(kb::pattern_bytes(50000, 72)), col_lob(0)}),
               drow({col_num(2), col_null(), col_lob(1)})};
    db.tables.push_back(ll);

    // A partitioned table whose rows in every partition hold LOBs.
    kb::DbTable p = lob_table("PARTED", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 1)});
    for (int k = 0; k < 3; k++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(k);
        for (int i = 0; i < 3; i++) {
            dp.rows.push_back(drow({col_num(k * 10 + i), col_lob(p.lob_values.size())}));
            p.lob_values.push_back(value((size_t)(k * 3 + i) * 3000 + 4000, 60 + (uint32_t)(k * 3 + i),
                                         LobForm::BasicChunks));
        }
        p.parts.push_back(dp);
    }
    db.tables.push_back(p);

    Built b;
    int levels = 0;
    build_and_run(db, "unload user scott\nunload table scott.w\nunload table scott.many\n", b,
                  [&](const kb::Database &d) { levels = lob_root(d, table(d, "MANY").lobs[0]).level(); });
    EXPECT_GE(levels, 2) << "the index of MANY.A has two branch levels";
    if (HasFatalFailure())
        return;
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT.dat"), user_dump(db, names_of(db))), "");
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_W.dat"), user_dump(db, {"W"})), "");
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_MANY.dat"), user_dump(db, {"MANY"})), "");
    EXPECT_EQ(b.run.err.find("error"), std::string::npos) << b.run.err;
}

TEST(LobDatabase, SecureFileFormsByteForByte)
{
    kb::Database db = lob_database();
    const uint32_t s8 = kb::secure_block_data(8192);
    auto sv = [](size_t n, uint32_t seed, LobForm f, auto &&shape) {
        kb::LobValue v = kb::lob_blob(kb::pattern_bytes(n, seed), f);
        shape(v);
        return v;
    };
    auto plain = [](kb::LobValue &) {};
    kb::DbTable t = lob_table("SF", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 1)});
    one_per_row(t, {
        // Inline: empty, a 1-byte and an 8-byte length field, bytes skipped
        // before the payload.
        sv(0, 1, LobForm::SecureInline, plain),
        sv(100, 2, LobForm::SecureInline, [](kb::LobValue &v) { v.len_bytes = 1; }),
        sv(3000, 3, LobForm::SecureInline, [](kb::LobValue &v) { v.len_bytes = 8; v.skip = 3; }),
        // Extent lists: one extent (count byte 0), extents larger than a
        // 32 KiB batch, a 0-block extent, partly filled blocks.
        sv(3 * s8 - 5, 4, LobForm::SecureExtents, plain),
        sv(30 * s8 + 1, 5, LobForm::SecureExtents, [](kb::LobValue &v) { v.extent_blocks = 8; }),
        sv(9 * s8, 6, LobForm::SecureExtents, [](kb::LobValue &v) { v.extent_blocks = 5; v.skip = 2; }),
        sv(7 * 5000 + 12, 7, LobForm::SecureExtents, [](kb::LobValue &v) { v.block_fill = 5000; v.extent_blocks = 3; }),
        sv(12 * s8 + 3, 13, LobForm::SecureExtents, [](kb::LobValue &v) { v.extent_blocks = 0; }),
        sv(0, 14, LobForm::SecureExtents, plain),
        // Header block: its own extents only; extents in it and the rest
        // under a level-1 itree; all under a level-2 itree; an itree slot
        // naming one data block.
        sv(20 * s8 + 9, 8, LobForm::SecureHeader, [](kb::LobValue &v) { v.extent_blocks = 4; }),
        sv(40 * s8, 9, LobForm::SecureHeader, [](kb::LobValue &v) { v.extent_blocks = 3; v.hdr_extents = 2; }),
        sv(60 * s8 + 100, 10, LobForm::SecureHeader,
           [](kb::LobValue &v) { v.extent_blocks = 4; v.hdr_extents = 0; v.itree_level = 2; v.itree_fanout = 4; }),
        sv(14 * s8 + 1, 16, LobForm::SecureHeader,
           [](kb::LobValue &v) { v.extent_blocks = 1; v.hdr_extents = 1; v.itree_level = 3; v.itree_fanout = 2; }),
        sv(20 * s8, 17, LobForm::SecureHeader,
           [](kb::LobValue &v) { v.extent_blocks = 1; v.hdr_extents = 0; v.itree_level = 4; v.itree_fanout = 2; }),
        sv(s8 - 1, 11, LobForm::SecureHeader, [](kb::LobValue &v) { v.itree_data_block = true; }),
        sv(30 * s8, 15, LobForm::SecureHeader, [](kb::LobValue &v) { v.extent_blocks = 0; v.hdr_extents = 1; }),
        sv(0, 12, LobForm::SecureEmpty, plain),
    });
    t.lob_values.push_back(kb::lob_clob(std::string(20000, 'q') + "\xE2\x82\xAC", LobForm::SecureExtents));
    t.rows.push_back(drow({col_num(100), col_lob(t.lob_values.size() - 1)}));
    t.rows.push_back(drow({col_num(101), col_null()}));
    // Locators in a migrated row and split over two pieces of a chained row.
    t.lob_values.push_back(t.lob_values[4]);
    t.rows.push_back(drow({col_num(102), col_lob(t.lob_values.size() - 1)}));
    t.rows.back().layout = kb::RowLayout::Migrated;
    t.lob_values.push_back(t.lob_values[9]);
    t.rows.push_back(drow({col_num(103), col_lob(t.lob_values.size() - 1)}));
    t.rows.back().layout = kb::RowLayout::Chained;
    t.rows.back().cuts = {{1, 15}};
    db.tables.push_back(t);

    Built b;
    build_and_run(db, "unload table scott.sf\n", b);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_SF.dat"), user_dump(db, {"SF"})), "");
    EXPECT_EQ(b.run.err.find("error"), std::string::npos) << b.run.err;
}

// Each damaged table: a good row, the row whose LOB is damaged, a good row.
// The damaged value is NULL with one message about the damage and one about
// the value; its row and the rows after it are unloaded, and so are the
// tables after it.
TEST(LobDatabase, DamagedLobIsNullAndItsTableGoesOn)
{
    kb::Database db = lob_database();
    const uint32_t d8 = kb::basic_block_data(8192);
    kb::LobShape narrow;
    narrow.leaf_max = 2;
    narrow.branch_max = 2;
    const char *damaged[] = {"IXLEVEL", "IXCOUNT", "IXLOOP"};
    for (const char *name : damaged) {
        kb::DbTable t = lob_table(name, {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 1, narrow)});
        one_per_row(t, {value(100, 1, LobForm::BasicInline), value(40 * d8, 2, LobForm::BasicIndexOnly),
                        value(200, 3, LobForm::BasicInline)});
        db.tables.push_back(t);
    }
    // A SecureFile value under a level-1 and a level-2 itree, its LOB in a
    // tablespace of its own so that its itree nodes can be found there.
    kb::DbTablespace its{"ITREE", 7, 0, {kb::DbFile{7, 7, 256, false, 0, "itree01.dbf", ""}}, 0};
    db.tablespaces.push_back(its);
    kb::LobShape own;
    own.tablespace = "ITREE";
    kb::DbTable it = lob_table("ITLEVEL", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 1, own)});
    kb::LobValue tree = value(40 * kb::secure_block_data(8192), 6, LobForm::SecureHeader);
    tree.extent_blocks = 2;
    tree.hdr_extents = 1;
    tree.itree_level = 2;
    tree.itree_fanout = 4;
    one_per_row(it, {value(10, 7, LobForm::SecureInline), tree, value(20, 8, LobForm::SecureInline)});
    db.tables.push_back(it);
    kb::DbTable after = lob_table("AFTER", {dcol("ID", 2, 22), dcol("V", 113, 4000)}, {dlob("V", 1, narrow)});
    one_per_row(after, {value(40 * d8, 4, LobForm::BasicIndexOnly), value(30, 5, LobForm::BasicInline)});
    db.tables.push_back(after);

    uint32_t rdba[3] = {};
    Built b;
    build_and_run(db, "unload user scott\n", b, [&](const kb::Database &d) {
        // A branch's child at the branch's own level.
        IndexBlock root = lob_root(d, table(d, "IXLEVEL").lobs[0]);
        ASSERT_GE(root.level(), 1) << "the index needs a branch level";
        IndexBlock child = index_block(root.path, root.rdba >> 22, kb::read_le32(&root.b[root.xco + 16]) & 0x3FFFFF);
        patch(child, 0, {(uint8_t)root.level()});
        rdba[0] = child.rdba;
        // An entry count beyond the block.
        root = lob_root(d, table(d, "IXCOUNT").lobs[0]);
        patch(root, 8, {0xFF, 0x7F});
        rdba[1] = root.rdba;
        // A leaf whose next leaf is itself.
        IndexBlock leaf = leftmost_leaf(d, table(d, "IXLOOP").lobs[0]);
        patch(leaf, 20, le32(leaf.rdba));
        rdba[2] = leaf.rdba;
        // The level-2 itree node claims level 3.
        std::string f = file_of(d, 7);
        int nodes = 0;
        std::vector<uint8_t> blk;
        for (uint32_t n = 2; n <= 256 && kb::read_file_block(f, n, blk) == 0; n++)
            if (blk[0] == 0x29 && (blk[82] & 0x40) && kb::read_le16(&blk[102]) == 2) {
                ASSERT_EQ(kb::patch_block(f, n, 102, {3, 0}, true), 0);
                nodes++;
            }
        ASSERT_EQ(nodes, 1);
    }, 1);
    if (HasFatalFailure())
        return;

    std::vector<xd::Table> want;
    for (const kb::DbTable &t : db.tables) {
        if (t.owner != "SCOTT")
            continue;
        xd::Table x = xd::expect_table(db, t, lob_entry(db));
        if (t.name != "AFTER") {
            x.rows[1].vals[1] = xd::null();
            x.flag |= 0x4;      // partial: a LOB value was lost
        }
        want.push_back(x);
    }
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT.dat"), xd::dump_file("SCOTT", xd::props_of(db), want)), "");
    const char *why[] = {"its level is not below that of its parent branch", "entry count runs past the block",
                         "the leaf chain loops"};
    for (int i = 0; i < 3; i++) {
        char msg[200];
        snprintf(msg, sizeof msg, "LOB index block (ts#=4, rdba=0x%08x) is damaged: %s.\n", rdba[i], why[i]);
        size_t at = b.run.err.find(msg);
        EXPECT_NE(at, std::string::npos) << msg << b.run.err;
        EXPECT_EQ(b.run.err.find(msg, at + 1), std::string::npos) << "once: " << msg;
    }
    // Every table unloads all three rows.
    for (const char *name : {"IXLEVEL", "IXCOUNT", "IXLOOP", "ITLEVEL"}) {
        size_t at = b.run.err.find(std::string("\"SCOTT\".\"") + name + "\"");
        ASSERT_NE(at, std::string::npos) << name << b.run.err;
        size_t done = b.run.err.find(" rows done.\n", at);
        ASSERT_NE(done, std::string::npos) << name;
        EXPECT_EQ(b.run.err.substr(done - 10, 22), "         3 rows done.\n") << name << b.run.err;
    }
    EXPECT_EQ(b.run.err.find("unload table \""), std::string::npos) << b.run.err;
    EXPECT_NE(b.run.err.find("LOB itree node block level 2 expected, but level 3 obtained.\n"
                             "LOB value of column \"V\" in row (ts#=4, rdba=0x"),
              std::string::npos)
        << b.run.err;
}

// Extended data types: VARCHAR2, NVARCHAR2 and RAW columns declared over
// 4000 bytes with a LOB$ entry hold a LOB locator; each value comes out as an
// ordinary entry of the column's own type, read through the SecureFile or
// BasicFile reader, from whole, migrated and split locators. Bytes that are
// no locator are written as stored, with one warning each and a count.
TEST(LobDatabase, ExtendedTypesAreReadThroughTheirLocators)
{
    kb::Database db = lob_database();
    const uint32_t s8 = kb::secure_block_data(8192);
    kb::DbTable t = lob_table("EXT", {dcol("ID", 2, 22), dcol("S", 1, 32767), dcol("R", 23, 20000), dcol("N", 1, 32766)},
                              {dlob("S", 1), dlob("R", 1), dlob("N", 1)});
    for (int c = 1; c <= 3; c++)
        t.cols[c].property = 0x80;
    t.cols[3].charsetform = 2;
    auto add = [&t](kb::LobValue v) {
        t.lob_values.push_back(std::move(v));
        return col_lob(t.lob_values.size() - 1);
    };
    auto text = [](size_t n, uint32_t seed) {
        std::vector<uint8_t> b = kb::pattern_bytes(n, seed);
        for (uint8_t &c : b)
            c = (uint8_t)('a' + c % 26);
        return b;
    };
    // The longest VARCHAR2 value under a header block, a RAW in BasicFile
    // chunks, an NVARCHAR2 in AL16UTF16 inline.
    t.rows.push_back(drow({col_num(1), add(kb::lob_blob(text(32767, 1), LobForm::SecureHeader)),
                           add(kb::lob_blob(kb::pattern_bytes(20000, 2), LobForm::BasicChunks)),
                           add(kb::lob_clob("n\xC3\xA4me", LobForm::SecureInline))}));
    t.rows.push_back(drow({col_num(2), add(kb::lob_blob(text(100, 3), LobForm::SecureInline)),
                           add(kb::lob_blob(kb::pattern_bytes(3 * s8 - 5, 4), LobForm::SecureExtents)), col_null()}));
    t.rows.push_back(drow({col_num(3), add(kb::lob_blob(text(3000, 5), LobForm::BasicInline)), col_null(),
                           add(kb::lob_clob("", LobForm::SecureEmpty))}));
    t.rows.back().layout = kb::RowLayout::Migrated;
    t.rows.push_back(drow({col_num(4), add(kb::lob_blob(text(5000, 6), LobForm::SecureExtents)),
                           kb::col_bytes({'r', 'a', 'w'})}));
    t.rows.back().layout = kb::RowLayout::Chained;
    t.rows.back().cuts = {{1, 15}};
    db.tables.push_back(t);

    Built b;
    build_and_run(db, "unload table scott.ext\n", b);
    if (HasFatalFailure())
        return;
    xd::Table x = xd::expect_table(db, t, [](const kb::DbTable &tab, const kb::DbColumn &, const kb::Col &v) {
        const std::vector<uint8_t> &d = tab.lob_values.at((size_t)v.lob).data;
        return d.empty() ? xd::null() : xd::data(d);
    });
    // TAB$ says the table has LOB columns: the dump keeps that flag, though
    // every value is an ordinary entry.
    x.flag |= 0x2;
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_EXT.dat"), xd::dump_file("SCOTT", xd::props_of(db), {x})), "");
    const std::string &err = b.run.err;
    size_t at = err.find("extended value of column \"R\" in row (ts#=4, rdba=0x");
    ASSERT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("\n", at), err.find(") is not a LOB locator, written as stored.\n", at) + 42) << err;
    EXPECT_NE(err.find("         4 rows done.\ntable \"EXT\": 1 extended values written as stored (not LOB "
                       "locators).\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("error"), std::string::npos) << err;
}

// The dump of SCOTT's table x whose columns 1 and 3 are refused: NULL in
// every row, the table marked partial.
xd::Bytes partial_dump(const kb::Database &db, xd::Table x)
{
    for (xd::Row &r : x.rows)
        for (size_t c : {1u, 3u})
            if (c < r.vals.size())
                r.vals[c] = xd::null();
    x.flag |= 0x4;
    return xd::dump_file("SCOTT", xd::props_of(db), {x});
}

// TDE columns (COL$ PROPERTY 0x4000000, or 0x20000000 with salt) hold
// ciphertext: said once before the table's blocks are read, unloaded as
// NULL in every row that stores them, and counted.
TEST(LobDatabase, EncryptedColumnsAreNullAndCounted)
{
    kb::Database db = lob_database();
    kb::DbTable t = lob_table("SEC", {dcol("ID", 2, 22), dcol("SSN", 1, 52), dcol("NOTE", 1, 20), dcol("PIN", 23, 48)},
                              {});
    t.cols[1].property = 0x4000000;
    t.cols[3].property = 0x20000000;
    std::vector<uint8_t> cipher = kb::pattern_bytes(48, 9);
    for (int i = 1; i <= 4; i++)
        t.rows.push_back(drow({col_num(i), i == 3 ? col_null() : kb::col_bytes(cipher), kb::col_str("n"),
                               i == 4 ? col_null() : kb::col_bytes(cipher)}));
    db.tables.push_back(t);

    Built b;
    build_and_run(db, "unload table scott.sec\n", b, nullptr, 1);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_SEC.dat"), partial_dump(db, xd::expect_table(db, t))), "");
    EXPECT_NE(b.run.err.find("table \"SEC\": encrypted columns SSN, PIN unloaded as NULL (no keystore).\n. . "
                             "unloading table \"SCOTT\".\"SEC\""),
              std::string::npos)
        << b.run.err;
    EXPECT_NE(b.run.err.find("         4 rows done.\n    6 encrypted values unloaded as NULL: see " + b.dir +
                             "/data/SCOTT_SEC.loss\n"),
              std::string::npos)
        << b.run.err;
    EXPECT_NE(slurp(b.dir + "/data/SCOTT_SEC.loss").find("SEC\t-\t-\t-\t-\t-\tencrypted values\t6 values of "
                                                          "encrypted columns unloaded as NULL\n"),
              std::string::npos);
}

// SecureFile LOBs stored compressed or deduplicated (LOB$ FLAGS) are in a
// form that is not public: their values are NULL, said once per column
// before the rows and counted; the table's plain LOB column is read.
TEST(LobDatabase, CompressedAndDeduplicatedSecureFilesAreNullAndCounted)
{
    kb::Database db = lob_database();
    kb::DbTable t = lob_table("SFZ", {dcol("ID", 2, 22), dcol("Z", 113, 4000), dcol("V", 113, 4000), dcol("D", 112, 4000)},
                              {dlob("Z", 1), dlob("V", 1), dlob("D", 1)});
    t.lobs[0].flags = 0x4000;    // MEDIUM compression
    t.lobs[2].flags = 0x20000;   // deduplicated
    for (int i = 0; i < 3; i++) {
        t.lob_values.push_back(value(300 + 50 * (size_t)i, 20 + (uint32_t)i, LobForm::SecureInline));
        t.lob_values.push_back(value(9000 + (size_t)i, 30 + (uint32_t)i, LobForm::SecureExtents));
        t.lob_values.push_back(kb::lob_clob("row " + std::to_string(i), LobForm::SecureInline));
        size_t v = t.lob_values.size() - 3;
        t.rows.push_back(drow({col_num(i + 1), col_lob(v), col_lob(v + 1), i == 1 ? col_null() : col_lob(v + 2)}));
    }
    db.tables.push_back(t);

    Built b;
    build_and_run(db, "unload table scott.sfz\n", b, nullptr, 1);
    if (HasFatalFailure())
        return;
    xd::Bytes want = partial_dump(db, xd::expect_table(db, table(db, "SFZ"), lob_entry(db)));
    EXPECT_EQ(xd::first_difference(b.dump("SCOTT_SFZ.dat"), want), "");
    EXPECT_NE(b.run.err.find("table \"SFZ\": LOB column Z is compressed (SecureFile), unloaded as NULL.\n"
                             "table \"SFZ\": LOB column D is deduplicated (SecureFile), unloaded as NULL.\n. . "),
              std::string::npos)
        << b.run.err;
    EXPECT_NE(b.run.err.find("         3 rows done.\n    5 LOB values lost: see "), std::string::npos) << b.run.err;
    EXPECT_EQ(b.run.err.find("cannot be read"), std::string::npos) << b.run.err;
}

} // namespace

