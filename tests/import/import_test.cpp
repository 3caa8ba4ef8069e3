// The import program end to end: dumps written by the test encoder are loaded
// into the embedded target and the stored values read back with SQLite.
#include <gtest/gtest.h>

#include "harness.h"

using namespace dumptest;

namespace {

std::string utf16be(const std::u16string &s)
{
    std::string o;
    for (char16_t c : s) {
        o += (char)(c >> 8);
        o += (char)(c & 0xFF);
    }
    return o;
}

}   // namespace

TEST(Import, ScalarTypesNullsAndTrailingNulls)
{
    workdir w;
    dump d;
    table t{"ALLTYPES", {{"N", 2, 22},       {"S", 1, 20},        {"C", 96, 8},         {"D", 12, 7},
                         {"TS", 180, 11},    {"TZ", 181, 13},     {"YM", 182, 5},       {"DS", 183, 11},
                         {"BF", 100, 4},     {"BD", 101, 8},      {"R", 23, 8},         {"LT", 231, 11}}};
    t.row({v(num(1)), v("ab"), v("xy      "), v(date(2018, 7, 13, 8, 39, 26)),
           v(bytes({120, 118, 7, 13, 9, 40, 27, 16, 192, 221, 56})),
           v(bytes({0x78, 0x7B, 0x0B, 0x0A, 0x16, 0x31, 0x12, 0x30, 0xB4, 0xA0, 0xC0, 0x17, 0x3C})),
           v(bytes({128, 0, 7, 229, 70})), v(bytes({127, 255, 255, 254, 48, 37, 26, 100, 197, 243, 248})),
           v(bytes({195, 6, 115, 51})), v(bytes({63, 159, 49, 153, 153, 153, 153, 153})),
           v(bytes({0xDE, 0xAD, 0x00, 0x01})), v(bytes({120, 117, 1, 1, 1, 1, 1}))});
    // Negative, decimal, an integer beyond 64 bits, a decimal of more digits
    // than a double holds, and a BC date; the last columns are left out.
    t.row({v(bytes({0x3B, 0x59, 0x43, 0x2D, 0x17, 0x66})), null(), v("\xc3\xa9t\xc3\xa9   "),
           v(bytes({53, 88, 1, 1, 1, 1, 1}))});
    t.row({v(bytes({0xC0, 0x0B}))});
    t.row({v(bytes({0xCB, 0x0A}))});   // 9 * 100^10
    t.row({v(bytes({0xC7, 0x0A, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x5B}))});
    d.tables.push_back(t);
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("Import terminated successfully."), std::string::npos);
    EXPECT_NE(r.out.find("DEBUG:\ncreate table \"SCOTT\".\"ALLTYPES\" (\n\"N\" NUMBER,\n\"S\" VARCHAR2(20),\n\"C\" "
                         "CHAR(8),\n\"D\" DATE,\n\"TS\" TIMESTAMP,\n\"TZ\" TIMESTAMP WITH TIME ZONE,\n\"YM\" INTERVAL "
                         "YEAR TO MONTH,\n\"DS\" INTERVAL DAY TO SECOND,\n\"BF\" BINARY_FLOAT,\n\"BD\" "
                         "BINARY_DOUBLE,\n\"R\" RAW(8),\n\"LT\" TIMESTAMP WITH LOCAL TIME ZONE)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(". . importing table                        ALLTYPES          5 rows imported\n"),
              std::string::npos)
        << r.out;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select N, S, C, D, TS, TZ, YM, DS, BF, BD, R, LT from ALLTYPES where rowid = 1"),
              "1|ab|xy      |2018-07-13 08:39:26|2018-07-13 08:39:26.281075|2023-11-11 00:48:17.817144+03:00|+2021-10|"
              "-02 12:23:34.456789000|134.44999694824219|-134.44999999999999|x'DEAD0001'|2017-01-01 00:00:00");
    EXPECT_EQ(query(db, "select N, S, C, D, TS, BF, LT, typeof(N) from ALLTYPES where rowid = 2"),
              "-12345678|NULL|\xc3\xa9t\xc3\xa9   |-4711-01-01 00:00:00|NULL|NULL|NULL|integer");
    EXPECT_EQ(query(db, "select typeof(N), N from ALLTYPES where rowid > 2"),
              "text|0.1\ntext|900000000000000000000\ntext|9999999999999.999");
}

TEST(Import, ArrayInsertsAcrossExecutionsAndWindowRefills)
{
    workdir w;
    dump d;
    // One narrow column: the bind area would allow far more rows than OCI
    // takes in one execution, so the count is capped at 32767.
    table exact{"EXACT", {{"N", 2, 22}}};
    for (int i = 1; i <= 32767; i++)
        exact.row({v(num(i))});
    table many{"MANY", {{"ID", 2, 22}, {"NAME", 1, 40}, {"D", 12, 7}}};
    for (int i = 0; i < 70001; i++)
        many.row({v(num(i)), v("row number " + std::to_string(i) + " of many"), v(date(2000 + i % 20, 1 + i % 12, 1 + i % 28))});
    table empty{"EMPTY", {{"N", 2, 22}}};
    d.tables = {exact, many, empty};
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select count(*), sum(N) from EXACT"), "32767|536854528");
    EXPECT_EQ(query(db, "select count(*), sum(ID), count(distinct NAME) from MANY"), "70001|2450035000|70001");
    EXPECT_EQ(query(db, "select NAME, D from MANY where ID = 69999"), "row number 69999 of many|2019-04-28 00:00:00");
    EXPECT_EQ(query(db, "select count(*) from EMPTY"), "0");
    EXPECT_NE(r.out.find("EMPTY          0 rows imported"), std::string::npos);
    EXPECT_NE(r.out.find("MANY      70001 rows imported"), std::string::npos);
}

TEST(Import, LongValuesPiecewiseNullAndMissing)
{
    workdir w;
    dump d;
    table t{"LONGS", {{"ID", 2, 22}, {"L", 8, 0}}};
    std::string big(40000, 'a');
    big.replace(32760, 16, "0123456789ABCDEF");
    t.row({v(num(1)), long_value({big.substr(0, 32768), big.substr(32768)})});
    // A NULL LONG has no value record: the next row must not be taken for one.
    t.row({v(num(2)), null()});
    t.row({v(num(3)), long_value({"short"})});
    t.row({v(num(4))});   // LONG not stored
    t.row({v(num(5)), long_value(split(std::string(3 * 32768, 'z')))});
    // Enough rows to cross the 2 MiB window inside LONG pieces.
    for (int i = 6; i < 70; i++)
        t.row({v(num(i)), long_value(split(std::string(40000, (char)('a' + i % 26))))});
    table raw{"LRAW", {{"B", 24, 0}}};
    raw.row({long_value({std::string("\x00\x01\x02", 3)})});
    d.tables = {t, raw};
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select ID, length(L), substr(L, 32761, 16) from LONGS where ID < 6 and ID <> 3"),
              "1|40000|0123456789ABCDEF\n2|NULL|NULL\n4|NULL|NULL\n5|98304|zzzzzzzzzzzzzzzz");
    EXPECT_EQ(query(db, "select L from LONGS where ID = 3"), "short");
    EXPECT_EQ(query(db, "select count(*), sum(length(L)) from LONGS where ID >= 6"), "64|2560000");
    EXPECT_EQ(query(db, "select L from LONGS where ID = 69"), std::string(40000, 'r'));
    EXPECT_EQ(query(db, "select B from LRAW"), "x'000102'");
}

TEST(Import, LobsThroughReturnedLocators)
{
    workdir w;
    dump d;
    table t{"LOBS", {{"ID", 2, 22}, {"C", 112, 4000}, {"N", 112, 4000, 1}, {"B", 113, 4000}}};
    std::string blob;
    for (int i = 0; i < 70000; i++)
        blob += (char)(i * 7);
    t.row({v(num(1)), lob({"hello ", "world"}), lob({utf16be(u"\u00e9t\u00e9 \u4e2d")}, 2), lob(split(blob))});
    t.row({v(num(2)), lob({}), null(), lob({})});                  // empty LOBs, a NULL one
    t.row({v(num(3)), lob({utf16be(u"A\u4e2d\U0001F600")}, 2)});  // the rest not stored
    // An NCLOB not two bytes per character is in the client's national set.
    t.row({v(num(4)), null(), lob({utf16be(u"caf\u00e9")}, 1), null()});
    d.tables.push_back(t);
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"C\" CLOB,\n\"N\" NCLOB,\n\"B\" BLOB)"), std::string::npos);
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select ID, C, N, typeof(B), length(B) from LOBS order by ID"),
              "1|hello world|\xc3\xa9t\xc3\xa9 \xe4\xb8\xad|blob|70000\n2||NULL|blob|0\n3|A\xe4\xb8\xad\xf0\x9f\x98\x80|"
              "NULL|null|NULL\n4|NULL|caf\xc3\xa9|null|NULL");
    // The bytes on both sides of the first piece boundary.
    char hex[16];
    snprintf(hex, sizeof hex, "%02X%02X%02X", (uint8_t)blob[32767], (uint8_t)blob[32768], (uint8_t)blob[32769]);
    EXPECT_EQ(query(db, "select hex(substr(B, 32768, 3)) from LOBS where ID = 1"), hex);
}

TEST(Import, NationalColumnsAndCharacterSets)
{
    workdir w;
    dump d;
    d.nls_lang = "AMERICAN_AMERICA.WE8MSWIN1252";
    table t{"NLS", {{"V", 1, 20}, {"NV", 1, 40, 1}, {"NC", 96, 8, 1}, {"L", 8, 0}, {"C", 112, 4000}}};
    // 0x81 is not defined in Windows-1252 and is kept as U+0081.
    t.row({v("\x80\xe9\x81"), v(utf16be(u"\u4e2d\u6587")), v(utf16be(u"ab  ")), long_value({"\xe9t\xe9"}),
           lob({"na\xefve"})});
    dump g;
    g.owner = "GBK";
    g.nls_lang = "SIMPLIFIED CHINESE_CHINA.ZHS16GBK";
    g.ncharset = "UTF8";
    table tg{"T", {{"V", 1, 20}, {"NV", 1, 20, 1}}};
    tg.row({v("\xd6\xd0\xce\xc4"), v("\xed\xa0\xbd\xed\xb8\x80")});   // a CESU-8 surrogate pair
    d.tables.push_back(t);
    g.tables.push_back(tg);
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"NV\" NVARCHAR2(40),\n\"NC\" NCHAR(8),"), std::string::npos);
    EXPECT_EQ(query(w.path("db/SCOTT.db"), "select V, NV, NC, L, C from NLS"),
              "\xe2\x82\xac\xc3\xa9\xc2\x81|\xe4\xb8\xad\xe6\x96\x87|ab  |\xc3\xa9t\xc3\xa9|na\xc3\xafve");
    r = w.import(g);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(query(w.path("db/GBK.db"), "select V, NV from T"), "\xe4\xb8\xad\xe6\x96\x87|\xf0\x9f\x98\x80");

    // A character set the target does not know keeps its bytes, with one
    // warning for the whole run.
    dump u;
    u.owner = "UNK";
    u.nls_lang = "AMERICAN_AMERICA.XX8NOSUCHSET";
    table tu{"T", {{"V", 1, 20}}};
    tu.row({v("abc")});
    tu.row({v("def")});
    u.tables.push_back(tu);
    r = w.import(u);
    ASSERT_EQ(r.rc, 0) << r.err;
    size_t at = r.err.find("\"XX8NOSUCHSET\" is not known");
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("is not known", at + 1 + 20), std::string::npos);
    EXPECT_EQ(query(w.path("db/UNK.db"), "select group_concat(V) from T"), "abc,def");
}

TEST(Import, TargetSchemaFromTouser)
{
    workdir w;
    dump d;
    table t{"T", {{"N", 2, 22}}};
    t.row({v(num(7))});
    d.tables.push_back(t);
    // A lower-case quoted name keeps its case, in its own database file.
    run_result r = w.import(d, "TOUSER='\"mixed\"'");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("create table \"mixed\".\"T\""), std::string::npos);
    EXPECT_EQ(query(w.path("db/mixed.db"), "select N from T"), "7");
    r = w.import(d, "touser=hr");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(query(w.path("db/HR.db"), "select N from T"), "7");
    // No tables at all: the schema is set and the run ends well.
    dump none;
    r = w.import(none, "", "db2");
    EXPECT_EQ(r.rc, 0) << r.err;
}

// Region-form zones are stored as local time and region name; a region that
// cannot be resolved keeps UTC and is reported once per table, column and id
// with the number of rows, when the table's rows are committed.
TEST(Import, TimeZoneRegionsStoredByNameOrReportedOnce)
{
    workdir w;
    dump d;
    table t{"ZONES", {{"ID", 2, 22}, {"A", 181, 13}, {"B", 181, 13}}};
    t.row({v(num(1)), v(region_stamp(2024, 1, 8, 16, 34, 49, 686386800, 288)),
           v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 289))});
    t.row({v(num(2)), v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 289)),
           v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 289))});
    t.row({v(num(3)), v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 8191)),
           v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 639))});
    t.row({v(num(4)), v(bytes({0x78, 0x7B, 0x0B, 0x0A, 0x16, 0x31, 0x12, 0x30, 0xB4, 0xA0, 0xC0, 0x17, 0x3C})),
           v(region_stamp(2024, 1, 15, 10, 0, 0, 0, 383))});
    d.tables.push_back(t);
    table later{"LATER", {{"A", 181, 13}}};
    later.row({v(region_stamp(2024, 7, 15, 10, 0, 0, 0, 289))});
    d.tables.push_back(later);
    run_result r = w.import(d);
    ASSERT_EQ(r.rc, 0) << r.err;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select ID, A, B from ZONES order by rowid"),
              "1|2024-01-08 19:34:49.6863868 Asia/Riyadh|2024-07-15 10:00:00+00:00\n"
              "2|2024-07-15 10:00:00+00:00|2024-07-15 10:00:00+00:00\n"
              "3|2024-07-15 10:00:00+00:00|2024-07-15 10:00:00+00:00\n"
              "4|2023-11-11 00:48:17.817144+03:00|2024-01-15 11:00:00 Europe/Berlin");
    EXPECT_NE(r.err.find("column \"A\" of table \"ZONES\": time zone region id 289 unknown, kept as UTC in 1 row.\n"
                         "column \"A\" of table \"ZONES\": time zone region id 8191 unknown, kept as UTC in 1 row.\n"
                         "column \"B\" of table \"ZONES\": time zone region id 289 unknown, kept as UTC in 2 rows.\n"
                         "column \"B\" of table \"ZONES\": time zone region id 639 (Canada/East-Saskatchewan) not in "
                         "the system's time-zone database, kept as UTC in 1 row.\n"
                         "column \"A\" of table \"LATER\": time zone region id 289 unknown, kept as UTC in 1 row.\n"),
              std::string::npos)
        << r.err;
    size_t lines = 0;
    for (size_t at = r.err.find("time zone region"); at != std::string::npos; at = r.err.find("time zone region", at + 1))
        lines++;
    EXPECT_EQ(lines, 5u) << r.err;
}

TEST(Import, ExistingTableIsSkippedUnlessIgnore)
{
    workdir w;
    dump d;
    table t{"T", {{"N", 2, 22}, {"S", 1, 10}}};
    t.row({v(num(1)), v("one")});
    d.tables.push_back(t);
    ASSERT_EQ(w.import(d).rc, 0);
    run_result r = w.import(d);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("OCIStmtExecute()\nORA-00955: name is already used by an existing object\n\n"
                         "Create table error.\nTable \"T\" skipped.\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Tables imported: 0, rows imported: 0, rows rejected: 0, tables skipped: 1.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(query(w.path("db/SCOTT.db"), "select count(*) from T"), "1");
    r = w.import(d, "IGNORE=Y");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("Create table error.\n"), std::string::npos);
    EXPECT_EQ(r.err.find("skipped"), std::string::npos);
    EXPECT_EQ(query(w.path("db/SCOTT.db"), "select count(*), sum(N) from T"), "2|2");
}

TEST(Import, DamagedDumpsStopWithTheirMessageAndLeaveNoRows)
{
    workdir w;
    dump d;
    table t{"T", {{"N", 2, 22}, {"S", 1, 4}}};
    for (int i = 0; i < 100; i++)
        t.row({v(num(i)), v("abcd")});
    d.tables.push_back(t);
    std::string good = d.encode();
    auto run_bytes = [&](const std::string &bytes, const std::string &target) {
        FILE *f = fopen(w.path("bad.dat").c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return w.run("u/p@" + w.path(target) + " FILE=" + w.path("bad.dat"));
    };

    // Cut inside a row: nothing of the table stays, although rows were
    // inserted before the cut.
    run_result r = run_bytes(good.substr(0, good.size() - 7), "cut");
    EXPECT_EQ(r.rc, 255);
    EXPECT_NE(r.err.find("Read " + w.path("bad.dat") + " not completed.\n"), std::string::npos) << r.err;
    EXPECT_EQ(query(w.path("cut/SCOTT.db"), "select count(*) from T"), "0");

    std::string bad = good;
    bad[0] = 'K';
    r = run_bytes(bad, "magic");
    EXPECT_EQ(r.rc, 255);
    EXPECT_NE(r.err.find("File is not exported by these utilities.\n"), std::string::npos);

    r = run_bytes(good.substr(0, 200), "head");
    EXPECT_NE(r.err.find("not completed.\n"), std::string::npos);

    // The column information area runs past the end of the file.
    r = run_bytes(good.substr(0, 1536 + 60), "cols");
    EXPECT_EQ(r.rc, 255);
    EXPECT_NE(r.err.find("not completed.\n"), std::string::npos);

    // A value longer than its column's slot is refused by name.
    table wide{"W", {{"S", 1, 4}}};
    wide.row({v("abcdefgh")});
    dump dw;
    dw.tables.push_back(wide);
    r = w.import(dw, "", "wide");
    EXPECT_EQ(r.rc, 255);
    EXPECT_NE(r.err.find("column \"S\" of table \"W\""), std::string::npos) << r.err;

    // A row with one entry too many.
    table extra{"X", {{"N", 2, 22}}};
    extra.rows = std::string("\x00\x02\xc1\x02\x00\x02\xc1\x03\x00\x00", 10);
    dump dx;
    dx.tables.push_back(extra);
    r = w.import(dx, "", "extra");
    EXPECT_NE(r.err.find("Row data not expected out of range.\n"), std::string::npos) << r.err;

    // LOB markers in a table whose flag says it has none still go the one-row
    // way; a table without columns is refused.
    table lobs{"L", {{"B", 113, 4000}}};
    lobs.flag = 0;
    lobs.row({lob({"xyz"})});
    table nocols{"NOCOLS", {}};
    dump dl;
    dl.tables = {lobs, nocols};
    r = w.import(dl, "", "lobs");
    EXPECT_EQ(query(w.path("lobs/SCOTT.db"), "select B from L"), "x'78797A'");
    EXPECT_NE(r.err.find("Table \"NOCOLS\" has no columns.\n"), std::string::npos) << r.err;
}

TEST(Import, LogFileTakesProgressNotTheEcho)
{
    workdir w;
    dump d;
    table t{"T", {{"N", 2, 22}}};
    t.row({v(num(1))});
    d.tables.push_back(t);
    run_result r = w.import(d, "LOG=" + w.path("log.txt"));
    ASSERT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("DEBUG:\ncreate table"), std::string::npos);
    EXPECT_EQ(r.out.find("rows imported"), std::string::npos);
    EXPECT_NE(slurp(w.path("log.txt")).find("T          1 rows imported"), std::string::npos);
    r = w.import(d, "LOG=/nonexistent/dir/log.txt", "db2");
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.err.find("Open LOG file error, output to screen.\n"), std::string::npos);
    EXPECT_NE(r.out.find("rows imported"), std::string::npos);
    // A target that cannot be a directory fails the connection.
    r = w.import(d, "", "log.txt/db");
    EXPECT_EQ(r.rc, 255);
    EXPECT_NE(r.err.find("Connect to oracle:\nORA-12154: "), std::string::npos) << r.err;
}

#include "util.h"

namespace {

int parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "import");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int r = parse_arguments((int)argv.size(), argv.data());
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    return r;
}

}   // namespace

TEST(ImportArguments, UseridForms)
{
    ASSERT_EQ(parse({"scott/tiger@tgt", "FILE=a.dat"}), 0);
    EXPECT_STREQ(g_args.username, "scott");
    EXPECT_STREQ(g_args.password, "tiger");
    EXPECT_STREQ(g_args.tnsname, "tgt");
    ASSERT_EQ(parse({"USERID=scott/tiger", "file=a.dat"}), 0);
    EXPECT_STREQ(g_args.tnsname, "");
    EXPECT_STREQ(g_imp.dump_filename, "a.dat");
    EXPECT_EQ(parse({"USERID", "FILE=a.dat"}), -1);
    EXPECT_EQ(parse({"scott", "FILE=a.dat"}), -1);
    EXPECT_EQ(parse({std::string(31, 'u') + "/p", "FILE=a"}), 0);
    EXPECT_EQ(parse({std::string(32, 'u') + "/p", "FILE=a"}), -1);
    EXPECT_EQ(parse({"u/" + std::string(32, 'p') + "@t", "FILE=a"}), -1);
    ASSERT_EQ(parse({"u/" + std::string(40, 'p'), "FILE=a"}), 0);   // cut silently
    EXPECT_EQ(strlen(g_args.password), 31u);
}

TEST(ImportArguments, Keywords)
{
    ASSERT_EQ(parse({"u/p", "FILE=a", "TOUSER=hr", "IGNORE=Y", "LOG=l.txt"}), 0);
    EXPECT_STREQ(g_imp.owner_name, "HR");
    EXPECT_EQ(g_imp.flag & IMP_IGNORE, IMP_IGNORE);
    EXPECT_STREQ(g_imp.log_filename, "l.txt");
    ASSERT_EQ(parse({"u/p", "FILE=a", "touser=\"Mixed Case\"", "ignore=y"}), 0);
    EXPECT_STREQ(g_imp.owner_name, "Mixed Case");
    EXPECT_EQ(parse({"u/p", "FILE=a", "TOUSER=" + std::string(32, 'a')}), -1);
    EXPECT_EQ(parse({"u/p", "FILE=a", "TOUSER=\"unclosed"}), -1);
    EXPECT_EQ(parse({"u/p", "FILE=a", "IGNORE=N"}), -1);
    EXPECT_EQ(parse({"u/p", "FILE=a", "HELP=Y"}), 1);
    EXPECT_EQ(parse({"HELP=Y"}), 1);
    EXPECT_EQ(parse({"u/p", "TOUSER=hr"}), -1);   // no FILE
    EXPECT_EQ(parse({}), -1);
    // A keyword without its value is not read past its end.
    EXPECT_EQ(parse({"u/p", "FILE"}), -1);
}

TEST(ImportArguments, TablesList)
{
    ASSERT_EQ(parse({"u/p", "FILE=a", "TABLES=emp,\"Mixed, Case\",,dept"}), 0);
    ASSERT_EQ(g_imp.nsel, 3);
    EXPECT_STREQ(g_imp.sel_name[0], "EMP");
    EXPECT_STREQ(g_imp.sel_name[1], "Mixed, Case");
    EXPECT_STREQ(g_imp.sel_name[2], "DEPT");
    ASSERT_EQ(parse({"u/p", "FILE=a", "tables=(x)"}), 0);
    EXPECT_STREQ(g_imp.sel_name[0], "X");
    EXPECT_EQ(parse({"u/p", "FILE=a", "TABLES=,"}), -1);
    EXPECT_EQ(parse({"u/p", "FILE=a", "TABLES=\"open"}), -1);
    EXPECT_EQ(parse({"u/p", "FILE=a", "TABLES=" + std::string(32, 't')}), -1);
}
