// The SYSTEM datafile read back the way a dictionary export finds it: from
// the root address to the bootstrap rows, from their texts to the segments,
// and every dictionary column at the position the decoders take it from;
// then the user segments the dictionary names.
#include "kbuild.h"
#include "../support/readback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

using namespace rb;

namespace {

std::string tmp_dir(const std::string &name)
{
    return std::string(::testing::TempDir()) + "kbd_" + name + "_" + std::to_string(getpid());
}

struct Boot {
    int64_t line, objn;
    std::string text;
};

uint32_t number_after(const std::string &t, const std::string &word, size_t from, size_t *end)
{
    size_t p = t.find(word, from);
    EXPECT_NE(p, std::string::npos) << word << " in " << t;
    if (p == std::string::npos)
        return 0;
    p += word.size();
    *end = p;
    return (uint32_t)std::strtoul(t.c_str() + p, nullptr, 10);
}

// The system datafile as an export sees it.
struct SystemFile {
    Image im;
    uint32_t root = 0;
    std::vector<Boot> boot;

    explicit SystemFile(const std::string &path) : im(load_file(path))
    {
        root = le32(im.at(kb::rdba(1, 1)) + 96);
        for (const Decoded &d : decode_segment(im, root, 0))
            boot.push_back({num_of(d.cols.at(0)), num_of(d.cols.at(1)), str_of(d.cols.at(2))});
    }

    // Segment header and table number of a dictionary table, from its
    // bootstrap text (through its cluster's text when it is clustered).
    uint32_t locate(const std::string &name, int *tabn)
    {
        *tabn = 0;
        for (const Boot &b : boot)
            if (b.text.rfind("CREATE TABLE " + name + "(", 0) == 0) {
                size_t st = b.text.find(" STORAGE"), e = 0;
                if (b.text.find("FILE ", st) != std::string::npos) {
                    uint32_t f = number_after(b.text, "FILE ", st, &e);
                    return kb::rdba(f, number_after(b.text, "BLOCK ", e, &e));
                }
                *tabn = (int)number_after(b.text, "TABNO ", st, &e);
                size_t c = b.text.find("CLUSTER ", e) + 8;
                std::string cl = b.text.substr(c, b.text.find('(', c) - c);
                for (const Boot &k : boot)
                    if (k.text.rfind("CREATE CLUSTER " + cl + "(", 0) == 0) {
                        uint32_t f = number_after(k.text, "FILE ", 15, &e);
                        return kb::rdba(f, number_after(k.text, "BLOCK ", e, &e));
                    }
            }
        ADD_FAILURE() << "no bootstrap row for " << name;
        return 0;
    }

    std::vector<Decoded> rows(const std::string &name)
    {
        int t = 0;
        uint32_t hdr = locate(name, &t);
        return decode_segment(im, hdr, t);
    }
};

const kb::DbTable &table(const kb::Database &db, const std::string &name)
{
    for (const kb::DbTable &t : db.tables)
        if (t.name == name)
            return t;
    static kb::DbTable none;
    ADD_FAILURE() << "no table " << name;
    return none;
}

int64_t at(const Decoded &d, size_t pos) { return pos < d.cols.size() ? num_of(d.cols[pos]) : 0; }
bool null_at(const Decoded &d, size_t pos) { return pos >= d.cols.size() || d.cols[pos].null; }
std::string s_at(const Decoded &d, size_t pos) { return pos < d.cols.size() ? str_of(d.cols[pos]) : ""; }

void expect_rows(const std::vector<Decoded> &got, const std::vector<kb::LogicalRow> &want, const std::string &what)
{
    std::vector<const kb::LogicalRow *> kept;
    for (const kb::LogicalRow &r : want)
        if (r.layout != kb::RowLayout::Deleted && r.layout != kb::RowLayout::FreeSlot)
            kept.push_back(&r);
    ASSERT_EQ(got.size(), kept.size()) << what;
    for (size_t i = 0; i < kept.size(); i++) {
        std::vector<kb::Col> w = kept[i]->cols;
        while (!w.empty() && w.back().null)
            w.pop_back();
        ASSERT_EQ(got[i].cols.size(), w.size()) << what << " row " << i;
        for (size_t c = 0; c < w.size(); c++)
            EXPECT_EQ(got[i].cols[c].data, w[c].data) << what << " row " << i << " col " << c;
    }
}

// Counts, over a segment's data blocks, migrated-row stubs and blocks with
// free slots; and the extent map blocks its map passes through.
struct Shape {
    int stubs = 0, free_blocks = 0, maps = 0;
};

Shape shape_of(const Image &im, uint32_t hdr)
{
    Shape s;
    for (uint32_t a = hdr; a;) {
        const uint8_t *b = im.at(a);
        if (!b)
            break;
        s.maps += (b[0] == 0x12 || b[0] == 0x24);
        int m = b[0] == 0x10 ? 92 : b[0] == 0x23 ? 264 : 20;
        a = le32(b + m + 4);
    }
    for (const kb::Extent &e : walk_map(im, hdr))
        for (uint32_t i = 0; i < e.len; i++) {
            const uint8_t *b = im.at(e.dba + i);
            if (!b || b[0] != 0x06)
                continue;
            int h = kdbh_of(b);
            s.free_blocks += (int16_t)le16(b + h + 4) >= 0;
            int ntab = (int8_t)b[h + 1];
            for (int t = 0; t < ntab; t++)
                for (const SlotView &v : slots_of(b, t))
                    if (!v.free && (b[v.off] & 0x3F) == kb::FB_HEAD && b[v.off + 2] == 0)
                        s.stubs++;
        }
    return s;
}

} // namespace

TEST(BuilderDictionary, SampleDictionaryAtTheDecodersPositions)
{
    kb::Database db = kb::sample_database();
    std::string dir = tmp_dir("sample");
    ASSERT_EQ(kb::build_database(db, dir), 0);
    SystemFile sf(db.files.at(0));
    ASSERT_EQ(sf.root, db.rootdba);

    // Bootstrap rows: every live row in order; the stale ones are deleted.
    std::vector<kb::BootRow> live;
    for (const kb::BootRow &b : db.bootstrap)
        if (!b.deleted)
            live.push_back(b);
    ASSERT_EQ(sf.boot.size(), live.size());
    for (size_t i = 0; i < live.size(); i++) {
        EXPECT_EQ(sf.boot[i].line, live[i].line);
        EXPECT_EQ(sf.boot[i].objn, live[i].objn);
        EXPECT_EQ(sf.boot[i].text, live[i].text);
    }
    EXPECT_EQ(sf.boot[0].text, "8.0.00.00.00");
    EXPECT_EQ(sf.boot[0].line, -1);
    EXPECT_EQ(std::count_if(db.bootstrap.begin(), db.bootstrap.end(), [](const kb::BootRow &b) { return b.deleted; }), 2);

    // USER$ (C_USER#, TABNO 1): key USER#; NAME 0, TYPE# 1, DATATS# 3, TEMPTS# 4, ASTATUS 14.
    auto users = sf.rows("USER$");
    std::vector<kb::DbUser> du = db.users;
    std::sort(du.begin(), du.end(), [](auto &a, auto &b) { return a.uid < b.uid; });
    ASSERT_EQ(users.size(), du.size());
    for (size_t i = 0; i < du.size(); i++) {
        EXPECT_EQ(num_of(users[i].key.at(0)), du[i].uid);
        EXPECT_EQ(s_at(users[i], 0), du[i].name);
        EXPECT_EQ(at(users[i], 1), du[i].type);
        auto tsn = [&](const std::string &n) {
            for (const kb::DbTablespace &t : db.tablespaces)
                if (t.name == n)
                    return (int64_t)t.tsn;
            return (int64_t)-1;
        };
        EXPECT_EQ(at(users[i], 3), tsn(du[i].dts));
        EXPECT_EQ(at(users[i], 4), tsn(du[i].tts));
        EXPECT_EQ(at(users[i], 14), du[i].astatus);
    }

    // TS$ (C_TS#): key TS#; NAME 0, OWNER# 1.
    auto ts = sf.rows("TS$");
    ASSERT_EQ(ts.size(), db.tablespaces.size());
    EXPECT_EQ(s_at(ts[4], 0), "USERS");
    EXPECT_EQ(num_of(ts[4].key.at(0)), 4);

    // OBJ$ (own segment): OBJ# 0, DATAOBJ# 1, OWNER# 2, NAME 3, TYPE# 6, FLAGS 13.
    auto objs = sf.rows("OBJ$");
    ASSERT_EQ(objs.size(), db.objects.size());
    for (size_t i = 0; i < objs.size(); i++) {
        const kb::DbObject &o = db.objects[i];
        EXPECT_EQ(at(objs[i], 0), o.objn);
        EXPECT_EQ(null_at(objs[i], 1), o.null_objd) << o.name;
        EXPECT_EQ(at(objs[i], 2), o.owner);
        EXPECT_EQ(s_at(objs[i], 3), o.name);
        EXPECT_EQ(at(objs[i], 6), o.type);
        EXPECT_FALSE(null_at(objs[i], 13));
        EXPECT_EQ(at(objs[i], 13), o.flags);
    }

    // TAB$ (C_OBJ#, TABNO 1): key OBJ#; DATAOBJ# 0, TS# 1, FILE# 2, BLOCK# 3,
    // BOBJ# 4, TAB# 5, COLS 6, FLAGS 12, PROPERTY 28.
    auto tabs = sf.rows("TAB$");
    ASSERT_EQ(tabs.size(), db.tables.size());
    for (const Decoded &r : tabs) {
        uint32_t objn = (uint32_t)num_of(r.key.at(0));
        auto t = std::find_if(db.tables.begin(), db.tables.end(), [&](auto &x) { return x.objn == objn; });
        ASSERT_NE(t, db.tables.end()) << objn;
        EXPECT_EQ(null_at(r, 0), !t->parts.empty()) << t->name;
        if (t->parts.empty()) {
            EXPECT_EQ(at(r, 0), t->objd) << t->name;
        }
        EXPECT_EQ(at(r, 1), t->tsn);
        EXPECT_EQ(at(r, 2), t->fno);
        EXPECT_EQ(at(r, 3), t->blk) << t->name;
        EXPECT_EQ(null_at(r, 4), t->cluster.empty());
        EXPECT_EQ(at(r, 5), t->tabn);
        EXPECT_EQ(at(r, 6), (int64_t)t->cols.size());
        EXPECT_EQ(at(r, 12), t->tab_flags);
        EXPECT_EQ(at(r, 28), t->prop_out) << t->name;
    }
    EXPECT_EQ(table(db, "CEMP").prop_out & 0x400, 0x400u);
    EXPECT_EQ(table(db, "SALES_HIST").prop_out & 0x20, 0x20u);
    EXPECT_EQ(table(db, "DOCS").prop_out & 0x800, 0x800u);

    // COL$ (TABNO 5): key OBJ#; COL# 0, SEGCOL# 1, NAME 4, TYPE# 5, LENGTH 6,
    // PROPERTY 14, CHARSETFORM 16. Cluster key columns come first in SEGCOL#.
    auto cols = sf.rows("COL$");
    size_t ncol = 0;
    for (const kb::DbTable &t : db.tables)
        ncol += t.cols.size();
    for (const kb::DbCluster &c : db.clusters)
        ncol += c.key.size();
    ASSERT_EQ(cols.size(), ncol);
    int seen = 0;
    for (const Decoded &r : cols) {
        uint32_t objn = (uint32_t)num_of(r.key.at(0));
        if (objn == table(db, "COL$").objn && s_at(r, 4) == "CHARSETFORM") {
            EXPECT_EQ(at(r, 1), 16 + 2);   // stored at position 16 after the key
            seen++;
        }
        if (objn == table(db, "IND$").objn && s_at(r, 4) == "TYPE#") {
            EXPECT_EQ(at(r, 0), 13);
            EXPECT_EQ(at(r, 1), 11 + 2);   // BO# is the key: TYPE# is stored at 11
            seen++;
        }
        if (objn == table(db, "TABPART$").objn && s_at(r, 4) == "BLOCK#") {
            EXPECT_EQ(at(r, 1), 8 + 1);
            seen++;
        }
        if (objn == table(db, "CEMP").objn) {
            if (s_at(r, 4) == "DEPTNO") {
                EXPECT_EQ(at(r, 1), 1);
            }
            if (s_at(r, 4) == "EMPNO") {
                EXPECT_EQ(at(r, 1), 2);
            }
        }
        if (objn == table(db, "DOCS").objn && s_at(r, 4) == "BODY") {
            EXPECT_EQ(at(r, 5), 112);
            EXPECT_EQ(at(r, 6), 4000);
            EXPECT_EQ(at(r, 16), 1);
        }
    }
    EXPECT_EQ(seen, 3);

    // Tables found through OBJ$ and TAB$ (segment header and table number).
    auto segment_of = [&](const std::string &name, int *tabn) {
        uint32_t objn = 0;
        for (const Decoded &o : objs)
            if (s_at(o, 3) == name && at(o, 2) == 0)
                objn = (uint32_t)at(o, 0);
        for (const Decoded &t : tabs)
            if (num_of(t.key.at(0)) == objn) {
                *tabn = null_at(t, 5) ? 0 : (int)at(t, 5);
                return kb::rdba((uint32_t)at(t, 2), (uint32_t)at(t, 3));
            }
        ADD_FAILURE() << name;
        return 0u;
    };
    int tn = 0;

    // IND$ (TABNO 3): key BO#; TYPE# 11; LOB$ (TABNO 6): COL# 0, LOBJ# 2,
    // IND# 4, TS# 5, FILE# 6, BLOCK# 7, CHUNK 8.
    auto inds = sf.rows("IND$");
    ASSERT_EQ(inds.size(), db.indexes.size());
    EXPECT_EQ(std::count_if(inds.begin(), inds.end(), [](const Decoded &r) { return at(r, 11) == 8; }), 2);
    // OBJ#, TS#, FILE# and BLOCK# stand ahead of the key BO# in IND$.
    for (const Decoded &r : inds) {
        auto x = std::find_if(db.indexes.begin(), db.indexes.end(),
                              [&](const kb::DbIndex &i) { return (int64_t)i.objn == at(r, 0); });
        ASSERT_NE(x, db.indexes.end()) << at(r, 0);
        EXPECT_EQ(num_of(r.key.at(0)), x->bo);
        EXPECT_EQ(at(r, 2), x->tsn);
        EXPECT_EQ(at(r, 3), x->fno);
        EXPECT_EQ(at(r, 4), x->blk);
    }
    uint32_t lob_hdr = segment_of("LOB$", &tn);
    const kb::DbTable &docs = table(db, "DOCS");
    // The columns ahead of the cluster key BO# (OBJ#, DATAOBJ#, TS#, FILE#,
    // BLOCK#) hold the LOB index's own numbers and segment.
    for (const kb::DbLob &l : docs.lobs) {
        auto it = std::find_if(inds.begin(), inds.end(), [&](const Decoded &r) { return at(r, 0) == l.ind; });
        ASSERT_NE(it, inds.end()) << "IND$ row of LOB index " << l.ind;
        EXPECT_EQ(num_of(it->key.at(0)), docs.objn);
        EXPECT_EQ(at(*it, 1), l.ind);
        EXPECT_EQ(at(*it, 2), l.tsn);
        EXPECT_EQ(at(*it, 3), l.ind_fno);
        EXPECT_EQ(at(*it, 4), l.ind_blk);
        EXPECT_NE(l.ind_blk, 0u);
    }
    EXPECT_EQ(tn, 6);
    auto lobs = decode_segment(sf.im, lob_hdr, tn);
    ASSERT_EQ(lobs.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(num_of(lobs[i].key.at(0)), docs.objn);
        EXPECT_EQ(at(lobs[i], 0), docs.lobs[i].colno);
        EXPECT_EQ(at(lobs[i], 2), docs.lobs[i].lobj);
        EXPECT_EQ(at(lobs[i], 4), docs.lobs[i].ind);
        EXPECT_EQ(at(lobs[i], 6), docs.lobs[i].fno);
        EXPECT_EQ(at(lobs[i], 7), docs.lobs[i].blk);
        EXPECT_EQ(at(lobs[i], 8), 1);
    }
    EXPECT_EQ(sf.rows("CLU$").size(), db.clusters.size());

    auto parts = decode_segment(sf.im, segment_of("TABPART$", &tn), 0);
    const kb::DbTable &sales = table(db, "SALES_HIST");
    ASSERT_EQ(parts.size(), 3u);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(at(parts[i], 0), sales.parts[i].objn);
        EXPECT_EQ(at(parts[i], 2), sales.objn);
        EXPECT_EQ(s_at(parts[i], 5), sales.parts[i].hibound);
        EXPECT_EQ(at(parts[i], 6), 4);
        EXPECT_EQ(at(parts[i], 7), sales.parts[i].fno);
        EXPECT_EQ(at(parts[i], 8), sales.parts[i].blk);
    }
    auto comp = decode_segment(sf.im, segment_of("TABCOMPART$", &tn), 0);
    auto subs = decode_segment(sf.im, segment_of("TABSUBPART$", &tn), 0);
    ASSERT_EQ(comp.size(), 2u);
    ASSERT_EQ(subs.size(), 4u);
    EXPECT_EQ(at(comp[1], 2), table(db, "ORDERS").objn);
    EXPECT_EQ(at(subs[3], 2), at(comp[1], 0));
    EXPECT_EQ(at(subs[3], 7), table(db, "ORDERS").parts[1].subparts[1].blk);
    auto props = decode_segment(sf.im, segment_of("PROPS$", &tn), 0);
    ASSERT_EQ(props.size(), db.props.size());
    EXPECT_EQ(s_at(props[7], 0), "NLS_CHARACTERSET");
    EXPECT_EQ(s_at(props[7], 1), "AL32UTF8");
    EXPECT_EQ(props.back().cols.size(), 1u);   // NULL value and comment: one stored column

    // Both segment kinds, map blocks, migrated rows, free slots.
    EXPECT_EQ(sf.im.at(segment_of("PROPS$", &tn))[0], 0x23);
    EXPECT_EQ(sf.im.at(segment_of("OBJ$", &tn))[0], 0x10);
    Shape obj_shape = shape_of(sf.im, sf.locate("OBJ$", &tn));
    Shape clu_shape = shape_of(sf.im, sf.locate("COL$", &tn));
    EXPECT_GT(obj_shape.stubs, 0);
    EXPECT_GT(obj_shape.free_blocks, 0);
    EXPECT_GT(clu_shape.stubs, 0);
    EXPECT_GT(clu_shape.maps, 0);

    // User data where the dictionary says.
    Image users_file = load_file(db.files.at(3));
    const kb::DbTable &dept = table(db, "DEPT"), &emp = table(db, "EMP");
    expect_rows(decode_segment(users_file, kb::rdba(dept.fno, dept.blk), 0), dept.rows, "DEPT");
    expect_rows(decode_segment(users_file, kb::rdba(emp.fno, emp.blk), 0), emp.rows, "EMP");
    const kb::DbTable &cemp = table(db, "CEMP");
    auto ce = decode_segment(users_file, kb::rdba(cemp.fno, cemp.blk), (int)cemp.tabn);
    ASSERT_EQ(ce.size(), cemp.rows.size());
    for (const Decoded &r : ce)
        EXPECT_EQ(num_of(r.key.at(0)) % 10, 0);
    for (size_t p = 0; p < sales.parts.size(); p++)
        expect_rows(decode_segment(users_file, kb::rdba(sales.parts[p].fno, sales.parts[p].blk), 0),
                    sales.parts[p].rows, sales.parts[p].name);
    std::system(("rm -rf " + dir).c_str());
}

TEST(BuilderDictionary, BigfileTablespacePlainShapeAndSmallBlocks)
{
    kb::Database db = kb::standard_database();
    db.bsz = 4096;
    db.shape.migrate_every = 0;
    db.shape.deleted_rows = false;
    db.shape.free_slots = false;
    db.tablespaces.push_back({"BIG", 7, 0, {kb::DbFile{9, 1024, 3000, true, 0, "big01.dbf", ""}}});
    db.users.push_back({"APP", 90, 1, "BIG", "TEMP", 0});
    kb::DbTable t;
    t.owner = "APP";
    t.name = "EVENTS";
    t.tablespace = "BIG";
    kb::DbColumn id, body;
    id.name = "ID";
    id.type = 2;
    body.name = "BODY";
    body.length = 4000;
    t.cols = {id, body};
    for (int i = 0; i < 800; i++) {
        kb::LogicalRow r;
        r.cols = {kb::col_num(i), kb::col_str(std::string((size_t)(i % 40) * 10, 'e'))};
        t.rows.push_back(r);
    }
    kb::LogicalRow wide;   // wider than a 4 KiB block: chained
    wide.cols = {kb::col_num(9999), kb::col_bytes(std::vector<uint8_t>(9000, 'w'))};
    t.rows.push_back(wide);
    t.seg.ext_blocks = 16;
    db.tables.push_back(t);
    std::string dir = tmp_dir("bigfile");
    ASSERT_EQ(kb::build_database(db, dir), 0);

    SystemFile sf(db.files.at(0));
    int tn = 0;
    EXPECT_EQ(shape_of(sf.im, sf.locate("OBJ$", &tn)).stubs, 0);
    const kb::DbTable &ev = table(db, "EVENTS");
    EXPECT_EQ(ev.fno, 1024u);
    Image big = load_file(db.files.back());
    expect_rows(decode_segment(big, ev.blk, 0), ev.rows, "EVENTS");
    auto tabs = sf.rows("TAB$");
    bool found = false;
    for (const Decoded &r : tabs)
        if ((uint32_t)num_of(r.key.at(0)) == ev.objn) {
            found = true;
            EXPECT_EQ(at(r, 2), 1024);
            EXPECT_EQ(at(r, 3), ev.blk);
        }
    EXPECT_TRUE(found);
    std::system(("rm -rf " + dir).c_str());

    kb::Database bad = kb::standard_database();
    kb::DbTable lost;
    lost.owner = "NOBODY";
    lost.name = "T";
    bad.tables.push_back(lost);
    EXPECT_NE(kb::build_database(bad, tmp_dir("bad")), 0);
    std::system(("rm -rf " + tmp_dir("bad")).c_str());
}

TEST(BuilderDictionary, LargeDictionaryCountsAndObjectNumbers)
{
    kb::Database db = kb::large_dictionary(300, 7, 450);
    std::string dir = tmp_dir("large");
    ASSERT_EQ(kb::build_database(db, dir), 0);
    SystemFile sf(db.files.at(0));
    auto objs = sf.rows("OBJ$");
    ASSERT_EQ(objs.size(), db.objects.size());
    size_t bench = 0, views = 0;
    std::set<int64_t> numbers;
    for (const Decoded &o : objs) {
        EXPECT_TRUE(numbers.insert(at(o, 0)).second) << "object number used twice";
        if (at(o, 2) == 100) {
            bench++;
            views += at(o, 6) == 4;
        }
    }
    EXPECT_EQ(bench, 450u);
    EXPECT_EQ(views, 150u);
    size_t cols = 0;
    for (const Decoded &c : sf.rows("COL$"))
        cols += num_of(c.key.at(0)) >= 73000;
    EXPECT_EQ(cols, 300u * 7u);
    std::system(("rm -rf " + dir).c_str());
}

TEST(BuilderDictionary, RowPlacesAndPatchingFinishedFiles)
{
    kb::Database db = kb::sample_database();
    std::string dir = tmp_dir("patch");
    ASSERT_EQ(kb::build_database(db, dir), 0);
    const kb::DbTable &emp = table(db, "EMP");
    ASSERT_EQ(emp.places.size(), emp.rows.size());
    const std::string users = db.files.at(3);
    // Row 7 (SCOTT) is a migrated row: its head is a stub with a next rowid.
    const kb::RowPlace &pl = emp.places[7];
    std::vector<uint8_t> blk;
    ASSERT_EQ(kb::read_file_block(users, pl.dba & 0x3FFFFF, blk), 0);
    auto slots = slots_of(blk.data(), 0);
    const uint8_t *p = blk.data() + slots.at((size_t)pl.slot).off;
    EXPECT_EQ(p[0], kb::FB_HEAD);
    EXPECT_EQ(p[2], 0);
    const kb::DbTable &cemp = table(db, "CEMP");
    ASSERT_EQ(cemp.places.size(), cemp.rows.size());
    EXPECT_EQ(cemp.places[0].dba >> 22, cemp.fno);

    // Damage one byte: the check value no longer holds unless it is fixed.
    int off = slots.at((size_t)pl.slot).off + 2;
    ASSERT_EQ(kb::patch_block(users, pl.dba & 0x3FFFFF, (size_t)off, {5}, false), 0);
    ASSERT_EQ(kb::read_file_block(users, pl.dba & 0x3FFFFF, blk), 0);
    EXPECT_EQ(blk[(size_t)off], 5);
    EXPECT_FALSE(kb::check_ok(blk.data(), blk.size()));
    ASSERT_EQ(kb::patch_block(users, pl.dba & 0x3FFFFF, (size_t)off, {0}, true), 0);
    ASSERT_EQ(kb::read_file_block(users, pl.dba & 0x3FFFFF, blk), 0);
    EXPECT_TRUE(kb::check_ok(blk.data(), blk.size()));
    EXPECT_NE(kb::patch_block(users, 1, 8190, {1, 2, 3}, true), 0);
    std::system(("rm -rf " + dir).c_str());
}

TEST(BuilderDictionary, RowDependencyTablesCarrySixMoreHeaderBytes)
{
    kb::Database db = kb::standard_database();
    db.users.push_back({"APP", 90, 1, "USERS", "TEMP", 0});
    kb::DbTable t;
    t.owner = "APP";
    t.name = "DEPS";
    t.tab_flags = 0x40800001;   // rows carry their SCN
    kb::DbColumn a;
    a.name = "A";
    a.type = 2;
    t.cols = {a};
    for (int i = 0; i < 30; i++) {
        kb::LogicalRow r;
        r.cols = {kb::col_num(i)};
        if (i == 4)
            r.layout = kb::RowLayout::Migrated;
        t.rows.push_back(r);
    }
    db.tables.push_back(t);
    std::string dir = tmp_dir("rowdep");
    ASSERT_EQ(kb::build_database(db, dir), 0);
    const kb::DbTable &d = table(db, "DEPS");
    Image im = load_file(db.files.at(3));
    expect_rows(decode_segment(im, kb::rdba(d.fno, d.blk), 0, true), d.rows, "DEPS");
    // The stub of the migrated row: flag, lock, count, 6 bytes, next rowid.
    std::vector<uint8_t> blk;
    ASSERT_EQ(kb::read_file_block(db.files.at(3), d.places[4].dba & 0x3FFFFF, blk), 0);
    const uint8_t *p = blk.data() + slots_of(blk.data(), 0).at((size_t)d.places[4].slot).off;
    EXPECT_EQ(p[0], kb::FB_HEAD);
    uint32_t next = be32(p + 9);
    EXPECT_EQ(next >> 22, 4u);
    SystemFile sf(db.files.at(0));
    for (const Decoded &r : sf.rows("TAB$"))
        if ((uint32_t)num_of(r.key.at(0)) == d.objn) {
            EXPECT_EQ(at(r, 12) & 0x800000, 0x800000);
        }
    std::system(("rm -rf " + dir).c_str());
}
