// End to end through the kelvo program: a whole database written by the
// builder (SYSTEM datafile with its dictionary, user tables of every kind),
// "export dict", "load dict", "unload user" and "unload table", and the dump
// files compared with the dump computed from the database description.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "../shell/run_kelvo.h"
#include "expect_database.h"

namespace {

kb::DbColumn dcol(const std::string &name, int type, int len, uint64_t property = 0)
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
                           "export dict\nload dict\nunload user scott\nunload table scott.longs\n"
                           "list dropped scott\nunload table scott.dropped\nexit\n",
                           dir);
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
    EXPECT_NE(r.out.find("table \"DROPPED\" is dropped.\n  unload table \"SCOTT\".\"DROPPED\" reads it from the "
                         "recycle bin.\n\"TEMPORARY\" is temporary table.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find(". . unloading table \"SCOTT\".\"PLAIN\"  "), std::string::npos);
    // The recycle bin: listed alone, and read back when named.
    size_t list = r.out.find("OWNER                           TABLE_NAME");
    ASSERT_NE(list, std::string::npos) << r.out;
    std::string listing = r.out.substr(list, r.out.find("\n", r.out.find("\n", list) + 1) + 1 - list);
    EXPECT_EQ(listing.find("PLAIN"), std::string::npos) << listing;
    EXPECT_EQ(listing.substr(listing.find('\n') + 1, 48), "SCOTT                           DROPPED         ") << listing;
    for (const kb::DbTable &t : db.tables) {
        if (t.name == "DROPPED") {
            EXPECT_EQ(xd::first_difference(bytes(slurp(dir + "/data/SCOTT_DROPPED.dat")),
                                           xd::dump_file("SCOTT", props_of(db), {expect_table(db, t)})),
                      "");
        }
    }
    EXPECT_NE(r.err.find("table \"DROPPED\" is dropped: unloading it from the recycle bin.\n"), std::string::npos);
    (void)system(("rm -rf '" + dir + "'").c_str());
}

// A fresh directory with the database written and its configuration.
std::string build_in_tmp(kb::Database &db)
{
    char tmpl[] = "/tmp/kelvo_db_XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        return "";
    std::string dir = tmpl;
    if (kb::build_database(db, dir) != 0 || kb::write_config(dir, db.files) != 0)
        return "";
    return dir;
}

xd::Bytes file_bytes(const std::string &path)
{
    std::string s = slurp(path);
    return xd::Bytes(s.begin(), s.end());
}

size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// A user table of the description (the build adds the dictionary's own).
const kb::DbTable &table_named(const kb::Database &db, const std::string &name)
{
    for (const kb::DbTable &t : db.tables)
        if (t.name == name)
            return t;
    abort();
}

kb::Database scott_database()
{
    kb::Database db = kb::standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    return db;
}

// 12c columns: an invisible one (PROPERTY above 32 bits, COL# 0) holds data
// and is unloaded in its segment position; a virtual one is not stored and
// not in the dump, "desc" marks it; one added with a default kept in the
// dictionary is said once, before the table.
TEST(UnloadDatabase, InvisibleVirtualAndDictionaryDefaultColumns)
{
    using kb::col_null, kb::col_num, kb::col_str;
    kb::Database db = scott_database();
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "MODERN";
    t.cols = {dcol("ID", 2, 22), dcol("SECRET", 1, 20, 0x400000020), dcol("TOTAL", 2, 22, 0x10008),
              dcol("ADDED", 2, 22, 0x40000000)};
    t.cols[2].segcol = 0;
    t.cols[3].nullable = false;
    for (int i = 0; i < 40; i++) {
        // The first rows were stored before ADDED was: they end before it.
        if (i < 20)
            t.rows.push_back(drow({col_num(i), col_str("s" + std::to_string(i))}));
        else
            t.rows.push_back(drow({col_num(i), i % 3 ? col_str("late") : col_null(), col_num(i * 10)}));
    }
    db.tables.push_back(t);
    std::string dir = build_in_tmp(db);
    ASSERT_NE(dir, "");
    KelvoRun r = run_kelvo({"config=" + dir + "/config.ini"},
                           "export dict\nload dict\ndesc scott.modern\nunload user scott\nexit\n", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("COL#  SEGCOL# NAME                            TYPE\n"
                         "1     1       ID                              NUMBER\n"
                         "0     2       SECRET                          VARCHAR2(20)\n"
                         "4     3       ADDED                           NUMBER\n"
                         "3     0       TOTAL                           NUMBER  VIRTUAL\n"),
              std::string::npos)
        << r.out;
    const std::string warn = "table \"MODERN\": column ADDED was added with a default kept in the dictionary; rows "
                             "stored before it was added are unloaded with NULL in it.\n";
    EXPECT_EQ(count_of(r.err, warn), 1u) << r.err;
    EXPECT_NE(r.err.find(warn + ". . unloading table \"SCOTT\".\"MODERN\"  "), std::string::npos) << r.err;
    xd::Table x = expect_table(db, table_named(db, "MODERN"));
    ASSERT_EQ(x.cols.size(), 3u);
    EXPECT_EQ(x.cols[1].name, "SECRET");
    EXPECT_EQ(xd::first_difference(file_bytes(dir + "/data/SCOTT.dat"), xd::dump_file("SCOTT", props_of(db), {x})), "");
    (void)system(("rm -rf '" + dir + "'").c_str());
}

// 12.2 names of up to 128 bytes: cut to what a record holds, each cut name
// made unique within its owner (also against a name that was not cut), said
// at "export dict" and listed with its full name; the tables stay apart.
TEST(UnloadDatabase, NamesLongerThanARecordHolds)
{
    using kb::col_num, kb::col_str;
    kb::Database db = scott_database();
    const std::string base = "ORDERS_OF_THE_TWELVE_TWO_RELEASE_";   // 33 bytes: the first 31 are shared
    const std::string long1 = base + std::string(95, 'A'), long2 = base + "SECOND";
    ASSERT_EQ(long1.size(), 128u);
    const std::string kept = base.substr(0, 29);
    const std::string cbase = "A_COLUMN_NAME_OF_MORE_THAN_31_BYTES_";
    auto table = [&](const std::string &name, int first) {
        kb::DbTable t;
        t.owner = "SCOTT";
        t.name = name;
        t.cols = {dcol("ID", 2, 22), dcol(cbase + "ONE", 1, 10), dcol(cbase + "TWO", 1, 10)};
        for (int i = 0; i < 5; i++)
            t.rows.push_back(drow({col_num(first + i), col_str("one"), col_str("two")}));
        return t;
    };
    db.tables.push_back(table(kept + "~1", 0));   // a name that was never cut
    db.tables.push_back(table(long1, 100));
    db.tables.push_back(table(long2, 200));
    // A partitioned table: its partitions' OBJ$ rows carry its name too, and
    // keep sharing the one name kept.
    kb::DbTable parted = table(base + "PARTED", 0);
    for (int p = 0; p < 2; p++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(p);
        dp.rows = {drow({col_num(300 + p), col_str("one"), col_str("two")})};
        parted.parts.push_back(dp);
    }
    parted.rows.clear();
    db.tables.push_back(parted);
    std::string dir = build_in_tmp(db);
    ASSERT_NE(dir, "");
    KelvoRun r = run_kelvo({"config=" + dir + "/config.ini"},
                           "export dict\nload dict\nunload user scott\nunload table scott." + kept + "~3\nexit\n",
                           dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string ck = cbase.substr(0, 29), list = dir + "/dict/longnames.txt";
    std::string said;
    said += "object name \"" + long1 + "\" is longer than 31 bytes: kept as \"" + kept + "~2\".\n";
    said += "object name \"" + long2 + "\" is longer than 31 bytes: kept as \"" + kept + "~3\".\n";
    said += "object name \"" + base + "PARTED\" is longer than 31 bytes: kept as \"" + kept + "~4\".\n";
    said += "column name";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("names longer than 31 bytes are listed with the names kept in " + list + ".\n"),
              std::string::npos);
    // Each table's two long column names: ~1 and ~2 within the table.
    EXPECT_EQ(count_of(r.err, "column name \"" + cbase + "ONE\" is longer than 31 bytes: kept as \"" + ck + "~1\".\n"),
              4u);
    EXPECT_EQ(count_of(r.err, "column name \"" + cbase + "TWO\" is longer than 31 bytes: kept as \"" + ck + "~2\".\n"),
              4u);
    std::string text = slurp(list);
    EXPECT_EQ(text.rfind("what\tof\tname\tfull name\nobject\tuser#84\t" + kept + "~2\t" + long1 +
                             "\nobject\tuser#84\t" + kept + "~3\t" + long2 + "\n",
                         0),
              0u)
        << text;
    EXPECT_EQ(count_of(text, "\t" + ck + "~1\t" + cbase + "ONE\n"), 4u) << text;

    std::vector<xd::Table> x;
    for (const kb::DbTable &t : db.tables)
        if (t.owner == "SCOTT") {
            x.push_back(expect_table(db, t));
            x.back().cols[1].name = ck + "~1";
            x.back().cols[2].name = ck + "~2";
        }
    ASSERT_EQ(x.size(), 4u);
    x[1].name = kept + "~2";
    x[2].name = kept + "~3";
    x[3].name = kept + "~4";
    EXPECT_EQ(xd::first_difference(file_bytes(dir + "/data/SCOTT.dat"), xd::dump_file("SCOTT", props_of(db), x)), "");
    EXPECT_EQ(xd::first_difference(file_bytes(dir + "/data/SCOTT_" + kept + "~3.dat"),
                                   xd::dump_file("SCOTT", props_of(db), {x[2]})),
              "");

    // A second export without long names leaves no stale list behind.
    (void)system(("rm -f '" + list + "'").c_str());
    std::ofstream(list) << "stale\n";
    kb::Database plain = scott_database();
    plain.tables.push_back(table("SHORT", 0));
    plain.tables.back().cols = {dcol("ID", 2, 22)};
    plain.tables.back().rows = {drow({col_num(1)})};
    ASSERT_EQ(kb::build_database(plain, dir), 0);
    r = run_kelvo({"config=" + dir + "/config.ini"}, "export dict\nexit\n", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(access(list.c_str(), F_OK), 0);
    (void)system(("rm -rf '" + dir + "'").c_str());
}

// A pluggable database's file set: its SYSTEM datafile has absolute file
// number 9 (relative 1), and no file is number 1. Listed with the root's
// files, the choice is refused until "system = PATH" makes it.
TEST(UnloadDatabase, PluggableDatabaseFileSet)
{
    using kb::col_num, kb::col_str;
    kb::Database db = scott_database();
    db.dbid = 0x50444231;   // each container has its own database id
    uint32_t fno = 9;
    for (kb::DbTablespace &ts : db.tablespaces)
        for (kb::DbFile &f : ts.files) {
            f.rfn = ts.tsn == 0 ? 1 : fno;
            f.fno = fno++;
            f.name = "pdb_" + f.name;
        }
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "IN_PDB";
    t.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    for (int i = 0; i < 50; i++)
        t.rows.push_back(drow({col_num(i), col_str("pdb")}));
    db.tables.push_back(t);
    std::string dir = build_in_tmp(db);
    ASSERT_NE(dir, "");
    ASSERT_EQ(db.files[0], dir + "/pdb_system01.dbf");
    KelvoRun r = run_kelvo({"config=" + dir + "/config.ini"},
                           "list files\nexport dict\nload dict\nunload user scott\nexit\n", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n0     9         1               "), std::string::npos) << r.out;
    xd::Bytes want = xd::dump_file("SCOTT", props_of(db), {expect_table(db, table_named(db, "IN_PDB"))});
    EXPECT_EQ(xd::first_difference(file_bytes(dir + "/data/SCOTT.dat"), want), "");

    // The root's own files listed too.
    kb::Database root = kb::standard_database();
    ASSERT_EQ(kb::build_database(root, dir + "/root"), 0);
    std::string files;
    for (const std::string &f : root.files)
        files += f + "\n";
    for (const std::string &f : db.files)
        files += f + "\n";
    std::ofstream(dir + "/datafiles.txt") << files;
    r = run_kelvo({"config=" + dir + "/config.ini"}, "export dict\nexit\n", dir);
    EXPECT_NE(r.err.find("several datafiles hold a bootstrap address: \"" + root.files[0] + "\", \"" + db.files[0] +
                         "\"; name the SYSTEM datafile with \"system = PATH\" in the configuration.\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("root dba not found"), std::string::npos);
    std::ofstream(dir + "/config.ini", std::ios::app) << "system = " << db.files[0] << "\n";
    (void)system(("rm -f '" + dir + "/data/SCOTT.dat'").c_str());
    r = run_kelvo({"config=" + dir + "/config.ini"}, "export dict\nload dict\nunload user scott\nexit\n", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(xd::first_difference(file_bytes(dir + "/data/SCOTT.dat"), want), "");
    (void)system(("rm -rf '" + dir + "'").c_str());
}

// The recycle bin: RECYCLEBIN$ gives a dropped table's name before the drop
// and its drop time to "list dropped" and to the notes of the unloads. A
// RECYCLEBIN$ whose segment cannot be read, a damaged recycle bin file and
// none at all leave the name blank; the table is unloaded all the same.
TEST(UnloadDatabase, RecycleBinKeepsOriginalNames)
{
    kb::Database db = scott_database();
    db.recyclebin = true;
    const std::string bin = "BIN$q1W2e3R4t5Y6u7I8o9P0aA==$0";
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = bin;
    t.obj_flags = 0x80;
    t.original_name = "EMPLOYEES_OF_THE_YEAR_TWENTY_TWENTY_FOUR_" + std::string(40, 'X');
    t.droptime = kb::ora_date(2024, 3, 5, 10, 20, 30);
    t.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    for (int i = 0; i < 40; i++)
        t.rows.push_back(drow({kb::col_num(i), kb::col_str("v")}));
    db.tables.push_back(t);
    std::string dir = build_in_tmp(db);
    ASSERT_NE(dir, "");
    const kb::DbTable &e = table_named(db, bin);
    const std::string script = "load dict\nlist dropped scott\nunload user scott\nunload table scott.\"" + bin +
                               "\"\nexit\n";
    char line[200];
    snprintf(line, sizeof(line), "SCOTT                           %-30s  %5u  %6u", bin.c_str(), e.fno, e.blk);
    const std::string listing = "OWNER                           TABLE_NAME                      FILE#  BLOCK#  "
                                "DROPTIME             ORIGINAL_NAME\n" + std::string(line);
    const std::string note = "original name \"" + t.original_name + "\", dropped 2024-03-05 10:20:30.\n";
    const std::string passed_over = "table \"" + bin + "\" is dropped.\n  unload table \"SCOTT\".\"" + bin +
                                    "\" reads it from the recycle bin.\n";
    const std::string dropped = "table \"" + bin + "\" is dropped: unloading it from the recycle bin.\n";
    const std::string dump = dir + "/data/SCOTT_" + bin + ".dat";
    const xd::Bytes want = xd::dump_file("SCOTT", props_of(db), {expect_table(db, e)});
    auto run = [&](const std::string &commands, int status) {
        unlink(dump.c_str());
        KelvoRun r = run_kelvo({"config=" + dir + "/config.ini"}, commands, dir);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(xd::first_difference(file_bytes(dump), want), "");
        return r;
    };
    auto blank = [&](const KelvoRun &r) {
        EXPECT_NE(r.out.find(listing + "\n" + passed_over + "no table"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(dropped + ". . unloading"), std::string::npos) << r.err;
    };

    KelvoRun r = run("export dict\n" + script, 0);
    for (const char *step : {". . export recyclebin$ ", ". . load   recyclebin$ "})
        EXPECT_NE(r.err.find(step + std::string(41, '.') + "         1 rows done.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(listing + "  2024-03-05 10:20:30  " + t.original_name + "\n" + passed_over + "  " + note),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find(dropped + note), std::string::npos) << r.err;

    // The segment of RECYCLEBIN$ unreadable: said once, the file left empty.
    const kb::DbTable &rb = table_named(db, "RECYCLEBIN$");
    std::vector<uint8_t> hdr;
    ASSERT_EQ(kb::read_file_block(db.files[0], rb.blk, hdr), 0);
    ASSERT_EQ(kb::patch_block(db.files[0], rb.blk, 16, {(uint8_t)(hdr[16] ^ 0x55)}, false), 0);
    r = run("export dict\n" + script, 1);
    EXPECT_EQ(count_of(r.err, "RECYCLEBIN$ left empty: its segment cannot be read.\n         1 blocks of "
                              "recyclebin$ skipped.\n"),
              1u)
        << r.err;
    EXPECT_EQ(slurp(dir + "/dict/recyclebin.dat"), "");
    blank(r);

    // A damaged recycle bin file is passed over whole; an older dictionary
    // directory without one loads as before.
    for (const std::string &bytes : {std::string(100, '\0'), std::string(160, 'N')}) {
        std::ofstream(dir + "/dict/recyclebin.dat", std::ios::binary) << bytes;
        r = run(script, 0);
        EXPECT_EQ(count_of(r.err, dir + "/dict/recyclebin.dat is damaged: recycle bin not loaded, original names of "
                                        "dropped tables unknown.\n"),
                  1u)
            << r.err;
        blank(r);
    }
    unlink((dir + "/dict/recyclebin.dat").c_str());
    r = run(script, 0);
    EXPECT_EQ(r.err.find("recyclebin"), std::string::npos) << r.err;
    blank(r);
    (void)system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
