// End to end through the kelvo program: a whole database written by the
// builder (SYSTEM datafile with its dictionary, user tables of every kind),
// "export dict", "load dict", "unload user" and "unload table", and the dump
// files compared with the dump computed from the database description.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "../shell/run_kelvo.h"
#include "expect_database.h"

namespace {

kb::DbColumn dcol(const std::string &name, int type, int len, uint32_t property = 0)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    c.property = property;
    return c;
}
kb::LogicalRow drow(std::vector<kb::Col> cols, kb::RowLayout l = kb::RowLayout::Normal)
{
    kb::LogicalRow r;
    r.cols = std::move(cols);
    r.layout = l;
    return r;
}

using xd::expect_table;
using xd::props_of;

kb::Database user_database()
{
    kb::Database db = kb::standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    using kb::col_bytes, kb::col_null, kb::col_num, kb::col_str;

    kb::DbTable plain;
    plain.owner = "SCOTT";
    plain.name = "PLAIN";
    plain.cols = {dcol("ID", 2, 22), dcol("NAME", 1, 30), dcol("CODE", 2, 22), dcol("BODY", 1, 32767),
                  dcol("NOTE", 96, 20)};
    plain.cols[4].charsetform = 2;
    plain.seg.ext_blocks = 16;
    for (int i = 0; i < 3000; i++) {
        kb::LogicalRow r = drow({col_num(i), col_str("name" + std::to_string(i)), col_num(-i),
                                 i % 5 ? col_str("b") : col_null(), i % 4 ? col_null() : col_str("n")});
        if (i % 97 == 5)
            r.layout = kb::RowLayout::Migrated;
        if (i % 101 == 7)
            r.layout = kb::RowLayout::Deleted;
        plain.rows.push_back(r);
    }
    kb::LogicalRow big = drow({col_num(-1), col_str("big"), col_num(0), col_bytes(kb::pattern_bytes(10000, 3)),
                               col_str("after")},
                              kb::RowLayout::Chained);
    big.cuts = {{3, 5000}, {4, 0}};
    plain.rows.insert(plain.rows.begin() + 1500, big);
    db.tables.push_back(plain);

    kb::DbTable longs;
    longs.owner = "SCOTT";
    longs.name = "LONGS";
    longs.cols = {dcol("ID", 2, 22), dcol("TXT", 8, 0), dcol("TAIL", 1, 10)};
    longs.seg.ext_blocks = 64;
    int id = 0;
    for (size_t n : {1000, 40000, 100000, 0, 65536})
        longs.rows.push_back(drow({col_num(++id), n ? col_bytes(kb::pattern_bytes(n, (uint32_t)id)) : col_null(),
                                   col_str("t")}));
    db.tables.push_back(longs);

    kb::DbCluster c;
    c.owner = "SCOTT";
    c.name = "KC";
    c.key = {dcol("K", 2, 22)};
    for (int k = 0; k < 20; k++)
        c.keys.push_back({col_num(k)});
    db.clusters.push_back(c);
    kb::DbTable m1, m2;
    m1.owner = m2.owner = "SCOTT";
    m1.name = "MEMBER1";
    m2.name = "MEMBER2";
    m1.cluster = m2.cluster = "KC";
    m1.cluster_cols = m2.cluster_cols = {"K"};
    m1.cols = {dcol("K", 2, 22), dcol("A", 1, 10)};
    m2.cols = {dcol("X", 1, 10), dcol("K", 2, 22), dcol("Y", 2, 22)};
    for (int k = 0; k < 20; k++) {
        m1.rows.push_back(drow({col_str("a" + std::to_string(k))}));
        m1.row_keys.push_back((size_t)k);
        for (int j = 0; j < 15; j++) {
            m2.rows.push_back(drow({col_str("x"), j % 3 ? col_num(j) : col_null()}));
            m2.row_keys.push_back((size_t)k);
        }
    }
    db.tables.push_back(m1);
    db.tables.push_back(m2);

    kb::DbTable part;
    part.owner = "SCOTT";
    part.name = "PARTED";
    part.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    for (int p = 0; p < 3; p++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(p);
        for (int i = 0; i < 10 * (p + 1); i++)
            dp.rows.push_back(drow({col_num(p * 100 + i), col_str("v")}));
        part.parts.push_back(dp);
    }
    db.tables.push_back(part);

    kb::DbTable comp;
    comp.owner = "SCOTT";
    comp.name = "COMPOSED";
    comp.composite = true;
    comp.cols = {dcol("ID", 2, 22), dcol("R", 1, 10)};
    for (int p = 0; p < 2; p++) {
        kb::DbPart dp;
        dp.name = "Q" + std::to_string(p);
        for (int s = 0; s < 2; s++) {
            kb::DbPart sp;
            sp.name = dp.name + "S" + std::to_string(s);
            for (int i = 0; i < 4; i++)
                sp.rows.push_back(drow({col_num(p * 100 + s * 10 + i), col_str("r")}));
            dp.subparts.push_back(sp);
        }
        comp.parts.push_back(dp);
    }
    db.tables.push_back(comp);

    kb::DbTable x6;
    x6.owner = "SCOTT";
    x6.name = "EXTRA6";
    x6.tab_flags = 0x800000;
    x6.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    for (int i = 0; i < 30; i++)
        x6.rows.push_back(drow({col_num(i), col_str("six")}));
    db.tables.push_back(x6);

    kb::DbTable dropped = x6, temp = x6;
    dropped.name = "DROPPED";
    dropped.tab_flags = 0;
    dropped.obj_flags = 0x80;
    temp.name = "TEMPORARY";
    temp.tab_flags = 0;
    temp.obj_flags = 0x2;
    db.tables.push_back(dropped);
    db.tables.push_back(temp);
    return db;
}

TEST(UnloadDatabase, EveryTableKindThroughTheShell)
{
    char tmpl[] = "/tmp/kelvo_db_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    kb::Database db = user_database();
    ASSERT_EQ(kb::build_database(db, dir), 0);
    ASSERT_EQ(kb::write_config(dir, db.files), 0);

    KelvoRun r = run_kelvo({"config=" + dir + "/config.ini"},
                           "export dict\nload dict\nunload user scott\nunload table scott.longs\nexit\n", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    if (getenv("SHOW_ERR"))
        fprintf(stderr, "%s", r.err.c_str());

    std::vector<const kb::DbTable *> mine;
    for (const kb::DbTable &t : db.tables)
        if (t.owner == "SCOTT" && !t.obj_flags)
            mine.push_back(&t);
    std::sort(mine.begin(), mine.end(), [](auto *a, auto *b) { return a->objn < b->objn; });
    std::vector<xd::Table> x;
    const kb::DbTable *longs = nullptr;
    for (const kb::DbTable *t : mine) {
        x.push_back(expect_table(db, *t));
        if (t->name == "LONGS")
            longs = t;
    }
    ASSERT_NE(longs, nullptr);
    auto bytes = [](const std::string &s) { return xd::Bytes(s.begin(), s.end()); };
    EXPECT_EQ(xd::first_difference(bytes(slurp(dir + "/data/SCOTT.dat")), xd::dump_file("SCOTT", props_of(db), x)), "");
    EXPECT_EQ(xd::first_difference(bytes(slurp(dir + "/data/SCOTT_LONGS.dat")),
                                   xd::dump_file("SCOTT", props_of(db), {expect_table(db, *longs)})),
              "");
    EXPECT_NE(r.out.find("table \"DROPPED\" is dropped.\n\"TEMPORARY\" is temporary table.\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find(". . unloading table \"SCOTT\".\"PLAIN\"  "), std::string::npos);
    (void)system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
