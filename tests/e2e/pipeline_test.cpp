// The whole recovery path on a database written by the builder: kelvo
// "export dict", "load dict", "unload user" and "unload table", then import
// into the embedded SQLite target, and every value read back with SQLite and
// compared with the logical value the database was built from (numbers,
// strings, dates, raw bytes, national text, LONG and LONG RAW, BasicFile and
// SecureFile CLOB, NCLOB and BLOB values, NULLs, partitioned,
// composite-partitioned and clustered tables, chained and migrated rows).
#include "pipeline.h"

namespace {

using namespace e2e;

Fixture make_database()
{
    Fixture f;
    f.db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    // A second datafile: some partitions live there.
    f.db.tablespaces.push_back({"DATA2", 5, 0, {kb::DbFile{5, 5, 256, false, 0, "data2_01.dbf", ""}}});

    // Scalar types, NULLs in the middle and at the end, a chained and a
    // migrated row, and enough generated rows to span blocks.
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "TYPES";
    t.cols = {dcol("ID", 2, 22), dcol("N", 2, 22),      dcol("S", 1, 4000), dcol("C", 96, 6),
              dcol("D", 12, 7),  dcol("R", 23, 16),     dcol("NV", 1, 40, 2), dcol("NC", 96, 8, 2),
              dcol("TAIL", 1, 10)};
    t.seg.ext_blocks = 32;
    LTable lt{"TYPES", {"ID", "N", "S", "C", "D", "R", "NV", "NC", "TAIL"}, {}};
    auto add = [&](std::vector<LV> vals, kb::RowLayout layout = kb::RowLayout::Normal,
                   std::vector<kb::Cut> cuts = {}) {
        kb::LogicalRow r = lrow(vals, layout);
        r.cuts = std::move(cuts);
        t.rows.push_back(r);
        vals.resize(lt.cols.size());
        lt.rows.push_back(vals);
    };
    add({num_v("1"), num_v("3.14"), text_v("plain"), text_v("ab    "), date_v(2018, 7, 13, 8, 39, 26),
         raw_v({0xDE, 0xAD, 0x00, 0xFF}), ntext_v("\xc3\xa9t\xc3\xa9 \xe2\x82\xac", u"\u00e9t\u00e9 \u20ac"),
         ntext_v("ab  ", u"ab  "), text_v("end")});
    add({num_v("2"), num_v("-12345678"), null_v(), text_v("xyzxyz"), date_v(1999, 12, 31, 23, 59, 59), null_v(),
         null_v(), ntext_v("\xce\xa9   ", u"\u03a9   "), text_v("mid nulls")});
    add({num_v("3"), num_v("-0.5")});   // trailing NULLs are not stored
    add({num_v("4"), num_v("0"), text_v("z"), null_v(), date_v(1, 1, 1)});
    add({num_v("5"), num_v("9223372036854775807"), text_v("max int64")});
    add({num_v("6"), num_v("-9223372036854775807"), text_v("min+1 int64")});
    add({num_v("7"), num_v("123456789012345678901234567890"), text_v("beyond 64 bits")});
    add({num_v("8"), num_v("-98765.4321"), text_v("")});
    add({num_v("9"), num_v("12345678901234567.891"), text_v("many digits")});
    add({num_v("10"), num_v("0.000001"), text_v("tiny")});
    std::vector<uint8_t> long_b = letters(3000, 7);
    std::string long_s(long_b.begin(), long_b.end());
    add({num_v("11"), num_v("-1"), text_v(long_s), text_v("chain "), date_v(2024, 2, 29, 12, 0, 0),
         raw_v(letters(16, 9)), ntext_v("chained", u"chained"), null_v(), text_v("last")},
        kb::RowLayout::Chained, {{2, 1000}, {5, 0}});
    add({num_v("12"), num_v("42.42"), text_v("migrated"), text_v("m     "), date_v(2000, 1, 1), raw_v({1}),
         ntext_v("m", u"m"), null_v(), text_v("moved")},
        kb::RowLayout::Migrated);
    for (int i = 13; i < 400; i++) {
        std::string dec = (i % 2 ? "-" : "") + std::to_string(i) + "." + std::to_string(i % 8) + "25";
        add({num_v(std::to_string(i)), num_v(dec), text_v("row " + std::to_string(i)), text_v("c" + std::to_string(i % 10) + "    "),
             date_v(1950 + i % 70, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60),
             i % 3 ? raw_v({(uint8_t)i, (uint8_t)(i >> 8)}) : null_v(), i % 5 ? null_v() : ntext_v("n", u"n"),
             null_v(), i % 7 ? null_v() : text_v("t")},
            i % 50 == 0 ? kb::RowLayout::Migrated : kb::RowLayout::Normal);
    }
    // Forty digits: twenty base-100 digits, so the negative one has no closing 102.
    add({num_v("401"), num_v("-1234567890123456789012345678901234567890")});
    add({num_v("402"), num_v("1234567890123456789012345678901234567890")});
    add({num_v("403"), num_v("0.1"), text_v("a|b")});
    // Trailing NULLs written out as NULL columns instead of being left off.
    add({num_v("400"), null_v(), text_v("kept nulls"), null_v(), null_v()});
    t.rows.back().keep_trailing_nulls = true;
    // The text "" is stored as NULL: Oracle has no empty strings.
    lt.rows[7][2] = null_v();
    t.rows[7].cols[2] = kb::col_null();
    f.db.tables.push_back(t);
    f.expect.push_back(lt);

    // LONG: short, beyond 32 KiB, NULL (followed by a row), several blocks.
    kb::DbTable l;
    l.owner = "SCOTT";
    l.name = "LONGS";
    l.cols = {dcol("ID", 2, 22), dcol("TXT", 8, 0), dcol("TAIL", 1, 10)};
    l.seg.ext_blocks = 64;
    f.longs = {"LONGS", {"ID", "TXT", "TAIL"}, {}};
    int id = 0;
    for (size_t n : {10, 40000, 0, 100000, 1})
        f.longs.rows.push_back({num_v(std::to_string(++id)), n ? long_v(letters(n, (uint32_t)id)) : null_v(),
                                text_v("t" + std::to_string(id))});
    for (auto &r : f.longs.rows)
        l.rows.push_back(lrow(r));
    f.db.tables.push_back(l);
    f.expect.push_back(f.longs);

    // LONG RAW: arbitrary bytes, beyond 32 KiB, and a NULL one.
    kb::DbTable lr;
    lr.owner = "SCOTT";
    lr.name = "LRAWS";
    lr.cols = {dcol("ID", 2, 22), dcol("B", 24, 0)};
    lr.seg.ext_blocks = 32;
    LTable llr{"LRAWS", {"ID", "B"}, {}};
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; i++)
        all[(size_t)i] = (uint8_t)i;
    std::vector<uint8_t> big;
    for (int k = 0; k < 160; k++)
        big.insert(big.end(), all.begin(), all.end());
    llr.rows = {{num_v("1"), raw_v(all)}, {num_v("2"), null_v()}, {num_v("3"), raw_v(big)}};
    for (auto &r : llr.rows)
        lr.rows.push_back(lrow(r));
    f.db.tables.push_back(lr);
    f.expect.push_back(llr);

    // A cluster of two tables, the key first in one and in the middle of the
    // other.
    kb::DbCluster c;
    c.owner = "SCOTT";
    c.name = "KC";
    c.key = {dcol("K", 2, 22)};
    for (int k = 0; k < 12; k++)
        c.keys.push_back({kb::col_num(k * 10)});
    f.db.clusters.push_back(c);
    kb::DbTable m1, m2;
    m1.owner = m2.owner = "SCOTT";
    m1.name = "MEMBER1";
    m2.name = "MEMBER2";
    m1.cluster = m2.cluster = "KC";
    m1.cluster_cols = m2.cluster_cols = {"K"};
    m1.cols = {dcol("K", 2, 22), dcol("A", 1, 10)};
    m2.cols = {dcol("X", 1, 10), dcol("K", 2, 22), dcol("Y", 2, 22)};
    LTable e1{"MEMBER1", {"K", "A"}, {}}, e2{"MEMBER2", {"K", "X", "Y"}, {}};
    for (int k = 0; k < 12; k++) {
        std::vector<LV> r1 = {text_v("a" + std::to_string(k))};
        m1.rows.push_back(lrow(r1));
        m1.row_keys.push_back((size_t)k);
        e1.rows.push_back({num_v(std::to_string(k * 10)), r1[0]});
        for (int j = 0; j < 9; j++) {
            std::vector<LV> r2 = {text_v("x" + std::to_string(j)), j % 3 ? num_v(std::to_string(-j)) : null_v()};
            m2.rows.push_back(lrow(r2));
            m2.row_keys.push_back((size_t)k);
            e2.rows.push_back({num_v(std::to_string(k * 10)), r2[0], r2[1]});
        }
    }
    f.db.tables.push_back(m1);
    f.db.tables.push_back(m2);

    // A two-column cluster key whose columns stand in the member table in
    // another order, and a member row too long for one block.
    kb::DbCluster c2;
    c2.owner = "SCOTT";
    c2.name = "KC2";
    c2.key = {dcol("DEPT", 2, 22), dcol("CODE", 1, 8)};
    for (int k = 0; k < 4; k++)
        c2.keys.push_back({kb::col_num(k), kb::col_str("c" + std::to_string(k))});
    f.db.clusters.push_back(c2);
    kb::DbTable m3;
    m3.owner = "SCOTT";
    m3.name = "MEMBER3";
    m3.cluster = "KC2";
    m3.cluster_cols = {"DEPT", "CODE"};
    m3.cols = {dcol("NAME", 1, 4000), dcol("CODE", 1, 8), dcol("DEPT", 2, 22), dcol("NOTE", 1, 4000),
               dcol("MORE", 1, 4000)};
    LTable e3{"MEMBER3", {"DEPT", "CODE", "NAME", "NOTE", "MORE"}, {}};
    std::vector<uint8_t> wide = letters(3900, 11);
    for (int k = 0; k < 4; k++)
        for (int j = 0; j < 3; j++) {
            // 11,700 bytes in one row: more than a block holds.
            bool big = k == 2 && j == 1;
            std::string w(wide.begin(), wide.end());
            std::vector<LV> r = {big ? text_v(w) : text_v("n" + std::to_string(k) + std::to_string(j)),
                                 big ? text_v(w) : null_v(), big ? text_v(w) : null_v()};
            m3.rows.push_back(lrow(r));
            m3.row_keys.push_back((size_t)k);
            e3.rows.push_back({num_v(std::to_string(k)), text_v("c" + std::to_string(k)), r[0], r[1], r[2]});
        }
    f.db.tables.push_back(m3);
    f.expect.push_back(e3);

    // Range partitions, and composite partitions with their subpartitions,
    // some of them in the second datafile.
    kb::DbTable p;
    p.owner = "SCOTT";
    p.name = "PARTED";
    p.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    LTable ep{"PARTED", {"ID", "V"}, {}};
    for (int n = 0; n < 3; n++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(n);
        if (n == 1)
            dp.tablespace = "DATA2";
        for (int i = 0; i < 5 * (n + 1); i++) {
            std::vector<LV> r = {num_v(std::to_string(n * 100 + i)), text_v(dp.name)};
            dp.rows.push_back(lrow(r));
            ep.rows.push_back(r);
        }
        p.parts.push_back(dp);
    }
    f.db.tables.push_back(p);

    kb::DbTable cp;
    cp.owner = "SCOTT";
    cp.name = "COMPOSED";
    cp.composite = true;
    cp.cols = {dcol("ID", 2, 22), dcol("V", 1, 10), dcol("D", 12, 7)};
    LTable ecp{"COMPOSED", {"ID", "V", "D"}, {}};
    for (int n = 0; n < 2; n++) {
        kb::DbPart dp;
        dp.name = "Q" + std::to_string(n);
        for (int s = 0; s < 3; s++) {
            kb::DbPart sp;
            sp.name = dp.name + "S" + std::to_string(s);
            if (s == 1)
                sp.tablespace = "DATA2";
            for (int i = 0; i < 4; i++) {
                std::vector<LV> r = {num_v(std::to_string(n * 100 + s * 10 + i)), text_v(sp.name),
                                     i == 3 ? null_v() : date_v(2010 + n, 1 + s, 1 + i)};
                sp.rows.push_back(lrow(r));
                ecp.rows.push_back(r);
            }
            dp.subparts.push_back(sp);
        }
        cp.parts.push_back(dp);
    }
    f.db.tables.push_back(cp);
    // Timestamps and binary floating point; a column marked unused keeps its
    // bytes in the rows but is not unloaded.
    kb::DbTable misc;
    misc.owner = "SCOTT";
    misc.name = "MISC";
    misc.cols = {dcol("ID", 2, 22), dcol("TS", 180, 11), dcol("GONE", 1, 10), dcol("BD", 101, 8), dcol("BF", 100, 4)};
    misc.cols[2].property = 0x8000 | 0x20;
    LTable emisc{"MISC", {"ID", "TS", "BD", "BF"}, {}};
    std::vector<std::vector<LV>> mrows = {
        {num_v("1"), stamp_v(2018, 7, 13, 8, 39, 26, 281075000), text_v("old"), binary_v(-134.45, false),
         binary_v(134.45, true)},
        {num_v("2"), stamp_v(1970, 1, 1, 0, 0, 0, 0), null_v(), binary_v(0.5, false), binary_v(-2.25, true)},
        {num_v("3"), null_v(), text_v("x"), binary_v(1e300, false)}};
    for (auto &r : mrows) {
        misc.rows.push_back(lrow(r));
        std::vector<LV> e = r;
        e.erase(e.begin() + 2);
        e.resize(4);
        emisc.rows.push_back(e);
    }
    f.db.tables.push_back(misc);
    f.expect.push_back(emisc);

    // TIMESTAMP WITH TIME ZONE in region form: the local time in the region
    // and its name; an id Oracle does not use keeps UTC.
    kb::DbTable zones;
    zones.owner = "SCOTT";
    zones.name = "ZONES";
    zones.cols = {dcol("ID", 2, 22), dcol("TZ", 181, 13)};
    LTable ezones{"ZONES", {"ID", "TZ"}, {}};
    auto region = kb::ora_timestamp_tz_region;
    ezones.rows = {
        {num_v("1"), zoned_v(region(2024, 1, 8, 16, 34, 49, 686386800, 288), "2024-01-08 19:34:49.6863868 Asia/Riyadh")},
        {num_v("2"), zoned_v(region(2024, 7, 15, 10, 0, 0, 0, 383), "2024-07-15 12:00:00 Europe/Berlin")},
        {num_v("3"), zoned_v(region(2024, 1, 15, 23, 30, 0, 500000000, 383), "2024-01-16 00:30:00.5 Europe/Berlin")},
        // One second after New York's clocks went from 02:00 EST to 03:00 EDT,
        // and the moment they went back from 02:00 EDT to 01:00 EST.
        {num_v("4"), zoned_v(region(2024, 3, 10, 7, 0, 1, 0, 100), "2024-03-10 03:00:01 America/New_York")},
        {num_v("5"), zoned_v(region(2024, 11, 3, 6, 0, 0, 0, 100), "2024-11-03 01:00:00 America/New_York")},
        {num_v("6"), zoned_v(region(2024, 7, 15, 17, 0, 0, 0, 612), "2024-07-15 13:00:00 US/Eastern")},
        {num_v("7"), zoned_v(region(2024, 7, 15, 10, 0, 0, 0, 289), "2024-07-15 10:00:00+00:00")},
        {num_v("8"), null_v()}};
    for (auto &r : ezones.rows)
        zones.rows.push_back(lrow(r));
    f.db.tables.push_back(zones);
    f.expect.push_back(ezones);

    // No rows at all, and names that need quotes.
    kb::DbTable empty;
    empty.owner = "SCOTT";
    empty.name = "EMPTY";
    empty.cols = {dcol("ID", 2, 22), dcol("V", 1, 10)};
    f.db.tables.push_back(empty);
    f.expect.push_back({"EMPTY", {"ID", "V"}, {}});
    kb::DbTable odd;
    odd.owner = "SCOTT";
    odd.name = "Mixed Case";
    odd.cols = {dcol("id", 2, 22), dcol("a b", 1, 10)};
    LTable eodd{"Mixed Case", {"id", "a b"}, {{num_v("1"), text_v("x")}, {num_v("2"), null_v()}}};
    for (auto &r : eodd.rows)
        odd.rows.push_back(lrow(r));
    f.db.tables.push_back(odd);
    f.expect.push_back(eodd);
    f.expect.push_back(e1);
    f.expect.push_back(e2);
    f.expect.push_back(ep);
    f.expect.push_back(ecp);
    return f;
}

// "all" gets the dump of the user, "one" the dumps of single tables.
class Pipeline : public PipelineSuite<Pipeline> {
public:
    static Fixture make() { return make_database(); }
    static inline const char *unloads = "unload user scott\nunload table scott.longs\nunload table scott.member2\n"
                                        "unload table scott.composed\n";
    static std::vector<std::pair<std::string, std::string>> dumps()
    {
        return {{"SCOTT", "all"}, {"SCOTT_LONGS", "one"}, {"SCOTT_MEMBER2", "one"}, {"SCOTT_COMPOSED", "one"}};
    }
};

TEST_F(Pipeline, ScalarTypesNullsChainedAndMigratedRows)
{
    check("all", "TYPES");
}

TEST_F(Pipeline, LongAndLongRawBeyond32KiBAndNull)
{
    check("all", "LONGS");
    check("all", "LRAWS");
}

TEST_F(Pipeline, ClusteredTablesWithTheirKeys)
{
    check("all", "MEMBER1");
    check("all", "MEMBER2");
    check("all", "MEMBER3");
}

TEST_F(Pipeline, EmptyTableQuotedNamesTimestampsAndUnusedColumns)
{
    check("all", "MISC");
    check("all", "EMPTY");
    check("all", "Mixed Case");
}

TEST_F(Pipeline, TimeZoneRegionsAsLocalTimeAndName)
{
    check("all", "ZONES");
}

TEST_F(Pipeline, PartitionsAndSubpartitionsInOrder)
{
    check("all", "PARTED");
    check("all", "COMPOSED");
    // The rows above came from both datafiles.
    int in_second = 0;
    for (const kb::DbTable &t : f->db.tables)
        for (const kb::DbPart &p : t.parts) {
            in_second += p.fno == 5;
            for (const kb::DbPart &sp : p.subparts)
                in_second += sp.fno == 5;
        }
    EXPECT_EQ(in_second, 3);
}

TEST_F(Pipeline, SingleTablesUnloadedOnTheirOwn)
{
    for (const char *t : {"LONGS", "MEMBER2", "COMPOSED"})
        check("one", t);
    EXPECT_EQ(dumptest::query(w->path("one/SCOTT.db"), "select count(*) from sqlite_master where type = 'table'"),
              "3");
    EXPECT_EQ(dumptest::query(w->path("all/SCOTT.db"), "select count(*) from sqlite_master where type = 'table'"),
              std::to_string(f->expect.size()));
}

// A database in a single-byte character set: its text, LONG and CLOB values
// come back as UTF-8, national text and NCLOBs still from AL16UTF16.
TEST(PipelineCharset, SingleByteDatabaseTextBecomesUtf8)
{
    kb::Database db = kb::standard_database();
    for (kb::DbProp &p : db.props)
        if (p.name == "NLS_CHARACTERSET")
            p.value = "WE8MSWIN1252";
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "LATIN";
    // A CLOB of a single-byte database is kept in its character set, one
    // byte per character; an NCLOB stays AL16UTF16.
    t.cols = {dcol("ID", 2, 22), dcol("S", 1, 20), dcol("C", 96, 6), dcol("NV", 1, 20, 2), dcol("L", 8, 0),
              dcol("CL", 112, 0), dcol("NCL", 112, 0, 2)};
    t.lobs.resize(2);
    t.lobs[0].column = "CL";
    t.lobs[1].column = "NCL";
    auto latin_clob = [](const std::string &bytes, kb::LobForm form) {
        kb::LobValue v;
        v.data.assign(bytes.begin(), bytes.end());
        v.width = 1;
        v.form = form;
        return v;
    };
    t.lob_values = {latin_clob("caf\xe9 \x80", kb::LobForm::BasicInline),
                    kb::lob_clob("\xc3\xa9\xe2\x82\xac \xf0\x9f\x98\x80", kb::LobForm::BasicInline),
                    latin_clob(std::string(20000, '\xe9'), kb::LobForm::BasicChunks)};
    LTable lt{"LATIN", {"ID", "S", "C", "NV", "L", "CL", "NCL"}, {}};
    std::vector<std::vector<kb::Col>> stored_rows = {
        {kb::col_num(1), kb::col_str("caf\xe9 \x80"), kb::col_str("\xe0\xe8    "), stored(ntext_v("", u"\u00e9\u20ac")),
         kb::col_str("long \xfc\xdf"), kb::col_lob(0), kb::col_lob(1)},
        {kb::col_num(2), kb::col_null(), kb::col_str("plain "), kb::col_null(), kb::col_str(std::string(40000, '\xe9')),
         kb::col_lob(2)}};
    auto many_e = [](int n) {
        std::string e;
        for (int i = 0; i < n; i++)
            e += "\xc3\xa9";
        return e;
    };
    LV cl1, cl2, ncl;
    cl1.kind = cl2.kind = ncl.kind = LV::Clob;
    cl1.text = "caf\xc3\xa9 \xe2\x82\xac";
    cl2.text = many_e(20000);
    ncl.text = "\xc3\xa9\xe2\x82\xac \xf0\x9f\x98\x80";
    lt.rows = {{num_v("1"), text_v("caf\xc3\xa9 \xe2\x82\xac"), text_v("\xc3\xa0\xc3\xa8    "),
                ntext_v("\xc3\xa9\xe2\x82\xac", u""), text_v("long \xc3\xbc\xc3\x9f"), cl1, ncl},
               {num_v("2"), null_v(), text_v("plain "), null_v(), text_v(many_e(40000)), cl2, null_v()}};
    for (auto &cols : stored_rows) {
        kb::LogicalRow r;
        r.cols = cols;
        t.rows.push_back(r);
    }
    t.seg.ext_blocks = 16;
    db.tables.push_back(t);
    dumptest::workdir w;
    ASSERT_EQ(run_pipeline(w, db, "unload table scott.latin\n", {{"SCOTT_LATIN", "db"}}), "");
    compare_table(w.path("db/SCOTT.db"), lt);
}


} // namespace
