// A database whose SYSTEM datafile is left out of the datafile list: "scan"
// finds the user tables by data object number, "list segments" guesses their
// column types, and "unload object" writes their rows exactly, with guessed
// types, with given types and with a dictionary table's columns.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "../shell/run_kelvo.h"
#include "../unload/expect_dump.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes date_bytes(int y, int m, int d, int h, int mi, int s)
{
    return {(uint8_t)(y / 100 + 100), (uint8_t)(y % 100 + 100), (uint8_t)m, (uint8_t)d,
            (uint8_t)(h + 1), (uint8_t)(mi + 1), (uint8_t)(s + 1)};
}

// A timestamp without a fraction of a second is stored as a date.
Bytes stamp_bytes(int y, int m, int d, int h, int mi, int s, uint32_t ns)
{
    Bytes b = date_bytes(y, m, d, h, mi, s);
    if (ns)
        for (int sh = 24; sh >= 0; sh -= 8)
            b.push_back((uint8_t)(ns >> sh));
    return b;
}

kb::DbColumn column(const std::string &name, int type, int len)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    return c;
}

struct ScanDb {
    std::string dir;
    kb::Database db = kb::standard_database();
    kb::DbTable *people = nullptr, *events = nullptr;
    size_t name_max = 0;

    ScanDb()
    {
        char tmpl[] = "/tmp/kelvo_scan_XXXXXX";
        dir = mkdtemp(tmpl);
        db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
        kb::DbTable p;
        p.owner = "SCOTT";
        p.name = "PEOPLE";
        p.cols = {column("ID", 2, 22), column("NAME", 1, 40), column("BORN", 12, 7), column("TAG", 23, 8)};
        for (int i = 0; i < 60; i++) {
            kb::LogicalRow r;
            r.cols.push_back(kb::col_bytes(kb::ora_number(i % 3 ? std::to_string(i * 37 - 900)
                                                                 : std::to_string(i) + ".25")));
            std::string name = i == 5 ? "" : "person " + std::to_string(i) + (i % 4 ? "" : " \xc3\xa9t\xc3\xa9");
            name_max = std::max(name_max, name.size());
            r.cols.push_back(name.empty() ? kb::col_null() : kb::col_str(name));
            r.cols.push_back(i == 7 ? kb::col_null()
                                    : kb::col_bytes(date_bytes(1900 + i * 2, 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                                                               (i * 7) % 60)));
            // Trailing NULLs are not stored.
            if (i % 10 != 9)
                r.cols.push_back(kb::col_bytes({0x00, (uint8_t)(0x80 | i), 0xFF, (uint8_t)(i * 3)}));
            // A migrated row: its head stays, its body lies in a later block.
            if (i == 20)
                r.layout = kb::RowLayout::Migrated;
            p.rows.push_back(r);
        }
        kb::DbTable e;
        e.owner = "SCOTT";
        e.name = "EVENTS";
        e.cols = {column("K", 2, 22), column("AT", 180, 11), column("NOTE", 1, 30)};
        for (int i = 0; i < 25; i++) {
            kb::LogicalRow r;
            r.cols.push_back(kb::col_num(1000 + i));
            uint32_t ns = i % 3 ? 123456000u + 1000u * (uint32_t)i : 0;
            r.cols.push_back(kb::col_bytes(stamp_bytes(2020, 1 + i % 12, 1 + i, 10, i, i, ns)));
            r.cols.push_back(kb::col_str("event " + std::to_string(i)));
            e.rows.push_back(r);
        }
        db.tables.push_back(p);
        db.tables.push_back(e);
    }
    ~ScanDb() { (void)system(("rm -rf '" + dir + "'").c_str()); }

    bool build()
    {
        if (kb::build_database(db, dir) != 0)
            return false;
        for (kb::DbTable &t : db.tables) {
            if (t.name == "PEOPLE" && t.owner == "SCOTT")
                people = &t;
            if (t.name == "EVENTS" && t.owner == "SCOTT")
                events = &t;
        }
        return people && events && configure(false);
    }

    // The datafile list with or without the SYSTEM datafile (the first).
    bool configure(bool with_system)
    {
        std::vector<std::string> files(db.files.begin() + (with_system ? 0 : 1), db.files.end());
        return kb::write_config(dir, files) == 0;
    }

    KelvoRun run(const std::string &commands)
    {
        return run_program(KELVO_PROGRAM, {"config=" + dir + "/config.ini"}, commands + "exit\n", dir);
    }

    Bytes file(const std::string &path)
    {
        std::string s = slurp(path);
        return Bytes(s.begin(), s.end());
    }
};

// The table data blocks that hold a table's rows: the distinct blocks of its
// head pieces, and one more for the bodies of its migrated rows, which the
// builder puts in a block after them.
uint64_t data_blocks(const kb::DbTable &t)
{
    std::set<uint32_t> b;
    bool migrated = false;
    for (const kb::RowPlace &r : t.places)
        b.insert(r.dba);
    for (const kb::LogicalRow &r : t.rows)
        migrated |= r.layout == kb::RowLayout::Migrated;
    return b.size() + migrated;
}

xd::Row expect_row(const kb::LogicalRow &r)
{
    size_t n = r.cols.size();
    while (n > 0 && r.cols[n - 1].null)
        n--;
    xd::Row x;
    for (size_t i = 0; i < n; i++)
        x.vals.push_back(r.cols[i].null ? xd::null() : xd::data(r.cols[i].data));
    return x;
}

xd::Bytes expect_object_dump(const kb::DbTable &t, const std::vector<xd::Column> &cols)
{
    xd::Table x;
    x.name = "OBJ_" + std::to_string(t.objd);
    x.cols = cols;
    for (const kb::LogicalRow &r : t.rows)
        x.rows.push_back(expect_row(r));
    xd::Props props;
    props.tz = "";
    return xd::dump_file("SCAN", props, {x});
}

TEST(ScanWithoutSystem, FindsGuessesAndUnloadsEveryUserTable)
{
    ScanDb s;
    ASSERT_TRUE(s.build());
    const kb::DbTable &p = *s.people, &e = *s.events;

    KelvoRun k = s.run("scan\nlist segments\nunload object " + std::to_string(p.objd) + "\nunload object " +
                                  std::to_string(e.objd) + " (number, TIMESTAMP(6), VARCHAR2(30))\n");
    ASSERT_EQ(k.status, 0) << k.err;
    EXPECT_NE(k.err.find("SYSTEM tablespace file not configured."), std::string::npos);

    char line[256];
    std::string listing = "    OBJD   TS#     BLOCKS         ROWS  COLS  TABLE  COLUMNS (share of values that fit)\n";
    snprintf(line, sizeof(line), "%8u  %4u  %9llu  %11llu  %4u  -  NUMBER 100%%, VARCHAR2(%zu) 100%%, DATE 100%%, "
                                 "RAW(4) 100%%; 1 row chained or migrated\n",
             p.objd, 4u, (unsigned long long)data_blocks(p), 60ull, 4u, s.name_max);
    listing += line;
    snprintf(line, sizeof(line), "%8u  %4u  %9llu  %11llu  %4u  -  NUMBER 100%%, TIMESTAMP 100%%, VARCHAR2(8) 100%%\n",
             e.objd, 4u, (unsigned long long)data_blocks(e), 25ull, 3u);
    listing += line;
    listing += "2 data objects, character set AL32UTF8.\n";
    size_t at = k.out.find("    OBJD");
    ASSERT_NE(at, std::string::npos) << k.out;
    EXPECT_EQ(k.out.substr(at), listing);

    // Guessed types: the columns as the listing gives them.
    xd::Bytes want = expect_object_dump(
        p, {{"COL1", 2, 22}, {"COL2", 1, (uint32_t)s.name_max}, {"COL3", 12, 7}, {"COL4", 23, 4}});
    xd::Bytes got = s.file(s.dir + "/data/OBJ_" + std::to_string(p.objd) + ".dat");
    EXPECT_EQ(xd::first_difference(got, want), "");
    // Given types, lengths taken where given.
    want = expect_object_dump(e, {{"COL1", 2, 22}, {"COL2", 180, 11}, {"COL3", 1, 30}});
    got = s.file(s.dir + "/data/OBJ_" + std::to_string(e.objd) + ".dat");
    EXPECT_EQ(xd::first_difference(got, want), "");
}

TEST(ScanWithoutSystem, DictionaryNamesTheObjectsAndGivesTheColumns)
{
    ScanDb s;
    ASSERT_TRUE(s.build());
    const kb::DbTable &p = *s.people;
    ASSERT_TRUE(s.configure(true));
    KelvoRun k = s.run("export dict\n");
    ASSERT_EQ(k.status, 0) << k.err;
    ASSERT_TRUE(s.configure(false));
    // The dictionary exported before the SYSTEM file was lost: the table of a
    // data object is named, and its columns serve "unload object".
    k = s.run("load dict\nscan\nlist segments\nunload table scott.people\nunload object " +
                         std::to_string(p.objd) + " scott.people\n");
    ASSERT_EQ(k.status, 0) << k.err;
    EXPECT_NE(k.out.find("  SCOTT.PEOPLE  NUMBER 100%"), std::string::npos) << k.out;
    EXPECT_NE(k.out.find("  SCOTT.EVENTS  NUMBER 100%, TIMESTAMP 100%"), std::string::npos) << k.out;
    xd::Bytes by_table = s.file(s.dir + "/data/SCOTT_PEOPLE.dat");
    xd::Bytes by_object = s.file(s.dir + "/data/OBJ_" + std::to_string(p.objd) + ".dat");
    ASSERT_GT(by_table.size(), 1536u);
    EXPECT_EQ(xd::first_difference(by_object, by_table), "");
}

TEST(ScanWithoutSystem, DamagedSavedScanIsRefused)
{
    ScanDb s;
    ASSERT_TRUE(s.build());
    KelvoRun k = s.run("scan\n");
    ASSERT_EQ(k.status, 0) << k.err;
    std::string path = s.dir + "/dict/segments.scan";
    std::string bytes = slurp(path);
    ASSERT_GT(bytes.size(), 100u);
    bytes[90] ^= 0x01;
    std::ofstream(path, std::ios::binary) << bytes;
    k = s.run("list segments\nunload object " + std::to_string(s.people->objd) + "\n");
    EXPECT_EQ(k.status, 1);
    std::string msg = "saved scan \"" + path + "\" is damaged (check value mismatch): run \"scan\" again.\n";
    EXPECT_EQ(k.err.find(msg) != std::string::npos && k.err.find(msg) != k.err.rfind(msg), true) << k.err;
    EXPECT_EQ(k.out.find("OBJD"), std::string::npos);
    EXPECT_NE(access((s.dir + "/data/OBJ_" + std::to_string(s.people->objd) + ".dat").c_str(), F_OK), 0);
}

TEST(ScanWithoutSystem, UnknownObjectAndTypesAreRefused)
{
    ScanDb s;
    ASSERT_TRUE(s.build());
    std::string objd = std::to_string(s.people->objd);
    KelvoRun k = s.run("unload object " + objd + "\nscan\nunload object 4242\nunload object " + objd +
                                  " (NUMBER, TEXT)\nunload object " + objd + " (NUMBER\n");
    EXPECT_EQ(k.status, 1);
    EXPECT_NE(k.err.find("no saved scan in \"" + s.dir + "/dict\": run \"scan\" first.\n"), std::string::npos);
    EXPECT_NE(k.err.find("data object 4242 not found by the saved scan.\n"), std::string::npos);
    EXPECT_NE(k.err.find("unknown column type \"TEXT\": the types are NUMBER,"), std::string::npos);
    EXPECT_NE(k.err.find("usage: unload object OBJD [USER.TABLE | (TYPE, TYPE, ...)]\n"), std::string::npos);
}

} // namespace
