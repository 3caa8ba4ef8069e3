// dumpcat on dumps that kelvo unloaded from built databases: every value's
// text against the text expected of the value the database was built from
// (every type, NULLs, LONG, CLOB / NCLOB / BLOB through several pieces,
// non-ASCII text in AL32UTF8 and in a single-byte character set, invalid
// byte sequences), the other formats, a damaged dump, file names that try
// to leave OUTDIR, and SQLite's storage of the same numbers.
#include "pipeline.h"

#include <sys/stat.h>

namespace {

using namespace e2e;

const std::string NUL = "\x01NULL";   // an unquoted empty CSV field

struct CatRun {
    int rc = -1;
    std::string err;
};

CatRun dumpcat(dumptest::workdir &w, const std::string &args, const std::string &out = "cat.out")
{
    std::string cmd = std::string(DUMPCAT_PROGRAM) + " " + args + " >" + w.path(out) + " 2>" + w.path("cat.err");
    int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, dumptest::slurp(w.path("cat.err"))};
}

// RFC 4180 records: fields split at commas outside quotes, quotes doubled
// inside, CRLF between records; an unquoted empty field is NUL.
std::vector<std::vector<std::string>> parse_csv(const std::string &s)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string f;
    bool quoted = false, was_quoted = false;
    for (size_t i = 0; i < s.size(); i++) {
        char c = s[i];
        if (quoted) {
            if (c == '"' && i + 1 < s.size() && s[i + 1] == '"')
                f += s[++i];
            else if (c == '"')
                quoted = false;
            else
                f += c;
        } else if (c == '"') {
            quoted = was_quoted = true;
        } else if (c == ',' || (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) {
            rows.back().push_back(f.empty() && !was_quoted ? NUL : f);
            f.clear();
            was_quoted = false;
            if (c == '\r') {
                i++;
                rows.emplace_back();
            }
        } else {
            f += c;
        }
    }
    rows.pop_back();   // after the last CRLF
    return rows;
}

struct Cell {
    kb::Col stored;
    std::string text;   // what dumpcat writes, NUL for NULL
};

Cell cell(const LV &v, const std::string &text) { return {stored(v), text}; }
Cell raw_cell(std::vector<uint8_t> b, const std::string &text) { return {kb::col_bytes(std::move(b)), text}; }
Cell null_cell() { return {kb::col_null(), NUL}; }
Cell lob_cell(kb::DbTable &t, kb::LobValue v, const std::string &text)
{
    t.lob_values.push_back(std::move(v));
    return {kb::col_lob(t.lob_values.size() - 1), text};
}

void add_rows(kb::Database &db, kb::DbTable t, const std::vector<std::vector<Cell>> &rows,
              std::vector<std::vector<std::string>> &expect)
{
    std::vector<std::string> head;
    for (const kb::DbColumn &c : t.cols)
        head.push_back(c.name);
    expect.push_back(head);
    for (const auto &r : rows) {
        kb::LogicalRow lr;
        std::vector<std::string> e;
        for (const Cell &c : r) {
            lr.cols.push_back(c.stored);
            e.push_back(c.text);
        }
        t.rows.push_back(lr);
        expect.push_back(e);
    }
    t.seg.ext_blocks = 64;
    db.tables.push_back(std::move(t));
}

std::string hex(const std::vector<uint8_t> &b)
{
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t x : b) {
        s += d[x >> 4];
        s += d[x & 15];
    }
    return s;
}

void set_charset(kb::Database &db, const std::string &cs)
{
    for (kb::DbProp &p : db.props)
        if (p.name == "NLS_CHARACTERSET")
            p.value = cs;
}

void compare(const std::string &csv, const std::vector<std::vector<std::string>> &expect, const std::string &what)
{
    auto got = parse_csv(csv);
    ASSERT_EQ(got.size(), expect.size()) << what;
    for (size_t r = 0; r < got.size(); r++) {
        ASSERT_EQ(got[r].size(), expect[r].size()) << what << " row " << r;
        for (size_t c = 0; c < got[r].size(); c++)
            EXPECT_EQ(got[r][c].substr(0, 200), expect[r][c].substr(0, 200))
                << what << " row " << r << " column " << expect[0][c] << " (" << got[r][c].size() << " vs "
                << expect[r][c].size() << " bytes)";
    }
}

// An AL32UTF8 database: scalar types, LONG, LOBs.
struct Utf8Db {
    kb::Database db = kb::standard_database();
    std::vector<std::vector<std::string>> scalars, longs, lobs;
};

Utf8Db make_utf8()
{
    Utf8Db u;
    set_charset(u.db, "AL32UTF8");
    u.db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "SCALARS";
    t.cols = {dcol("N", 2, 22),       dcol("S", 1, 100),   dcol("C", 96, 4),     dcol("NV", 1, 40, 2),
              dcol("D", 12, 7),       dcol("TS", 180, 11), dcol("TZ", 181, 13),  dcol("YM", 182, 5),
              dcol("DS", 183, 11),    dcol("BF", 100, 4),  dcol("BD", 101, 8),   dcol("R", 23, 8),
              dcol("LT", 231, 11)};
    std::vector<uint8_t> tz_offset = {0x78, 0x7B, 0x0B, 0x0A, 0x16, 0x31, 0x12, 0x30, 0xB4, 0xA0, 0xC0, 0x17, 0x3C};
    add_rows(u.db, t,
             {{cell(num_v("232042.57"), "232042.57"), cell(text_v("a,b \"q\"\nnext"), "a,b \"q\"\nnext"),
               cell(text_v("ab  "), "ab  "), cell(ntext_v("", u"\u00e9\u20ac"), "\xc3\xa9\xe2\x82\xac"),
               cell(date_v(2018, 7, 13, 8, 39, 26), "2018-07-13 08:39:26"),
               cell(stamp_v(2021, 7, 18, 0, 5, 15, 514410000), "2021-07-18 00:05:15.514410000"),
               raw_cell(tz_offset, "2023-11-11 00:48:17.817144000 +03:00"),
               raw_cell({128, 0, 7, 229, 70}, "+2021-10"),
               raw_cell({127, 255, 255, 254, 48, 37, 26, 100, 197, 243, 248}, "-02 12:23:34.456789000"),
               cell(binary_v(134.45, true), "134.45"), cell(binary_v(-134.45, false), "-134.45"),
               raw_cell({0xDE, 0xAD, 0x00, 0x01}, "DEAD0001"),
               cell(stamp_v(2017, 1, 1, 0, 0, 0, 0), "2017-01-01 00:00:00.000000000 +00:00")},
              {cell(num_v("-1234567890123456789012345678901234567890"), "-1234567890123456789012345678901234567890"),
               raw_cell({'o', 'k', 0xFF, 'x'}, "ok\xef\xbf\xbdx"), null_cell(), null_cell(),
               cell(date_v(1, 1, 1), "0001-01-01 00:00:00"), cell(stamp_v(1970, 1, 1, 0, 0, 0, 0), "1970-01-01 00:00:00.000000000"),
               cell(zoned_v(kb::ora_timestamp_tz_region(2024, 1, 8, 16, 34, 49, 686386800, 288), ""),
                    "2024-01-08 19:34:49.686386800 Asia/Riyadh"),
               raw_cell({127, 255, 255, 251, 50}, "-05-10"), null_cell(),
               raw_cell({0xFF, 0x80, 0x00, 0x00}, "Inf"), raw_cell({0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-Inf"),
               null_cell(), null_cell()},
              {cell(num_v("0.000001"), "0.000001"), null_cell(), null_cell(), null_cell(), null_cell(), null_cell(),
               null_cell(), null_cell(), null_cell(), raw_cell({0xFF, 0xC0, 0x00, 0x00}, "NaN"),
               cell(binary_v(0.1, false), "0.1"), null_cell(), null_cell()},
              {raw_cell({0xFF, 0x65}, "~"), null_cell(), null_cell(), null_cell(), null_cell(), null_cell(),
               null_cell(), null_cell(), null_cell(), null_cell(), null_cell(), null_cell(), null_cell()}},
             u.scalars);

    kb::DbTable l;
    l.owner = "SCOTT";
    l.name = "LONGS";
    l.cols = {dcol("ID", 2, 22), dcol("TXT", 8, 0)};
    std::string big;
    for (int i = 0; i < 4000; i++)
        big += "line " + std::to_string(i) + " \xe2\x82\xac,\"\n";   // the euro sign cut by piece ends somewhere
    add_rows(u.db, l,
             {{cell(num_v("1"), "1"), cell(long_v(std::vector<uint8_t>(big.begin(), big.end())), big)},
              {cell(num_v("2"), "2"), null_cell()}},
             u.longs);

    kb::DbTable b;
    b.owner = "SCOTT";
    b.name = "LOBS";
    b.cols = {dcol("ID", 2, 22), dcol("CL", 112, 0), dcol("NCL", 112, 0, 2), dcol("BL", 113, 0)};
    b.lobs.resize(3);
    b.lobs[0].column = "CL";
    b.lobs[1].column = "NCL";
    b.lobs[2].column = "BL";
    std::string text;
    for (int i = 0; i < 30000; i++)
        text += i % 7 ? "x" : "\xf0\x9f\x98\x80";   // surrogate pairs across piece ends
    std::vector<uint8_t> blob = kb::pattern_bytes(200000, 3);
    std::vector<Cell> r1 = {cell(num_v("1"), "1")};
    r1.push_back(lob_cell(b, kb::lob_clob(text, kb::LobForm::BasicChunks), text));
    r1.push_back(lob_cell(b, kb::lob_clob("\xc3\xa9t\xc3\xa9", kb::LobForm::BasicInline), "\xc3\xa9t\xc3\xa9"));
    r1.push_back(lob_cell(b, kb::lob_blob(blob, kb::LobForm::SecureExtents), hex(blob)));
    add_rows(u.db, b, {r1, {cell(num_v("2"), "2"), null_cell(), null_cell(), null_cell()}}, u.lobs);
    return u;
}

class Dumpcat : public ::testing::Test {
protected:
    static inline dumptest::workdir *w = nullptr;
    static inline Utf8Db *u = nullptr;
    static inline std::string failed;
    static void SetUpTestSuite()
    {
        w = new dumptest::workdir;
        u = new Utf8Db(make_utf8());
        failed = run_pipeline(*w, u->db, "unload user scott\n", {{"SCOTT", "db"}});
    }
    static void TearDownTestSuite()
    {
        delete u;
        delete w;
    }
    void SetUp() override { ASSERT_EQ(failed, ""); }
    std::string dump() const { return w->path("data/SCOTT.dat"); }
};

TEST_F(Dumpcat, EveryTypeAsExactTextInCsv)
{
    mkdir(w->path("csv").c_str(), 0755);
    CatRun r = dumpcat(*w, "FILE=" + dump() + " OUTDIR=" + w->path("csv"));
    EXPECT_EQ(r.rc, 1) << r.err;   // one invalid byte
    EXPECT_NE(r.err.find("Table \"SCALARS\": 1 invalid character sequence written as U+FFFD."), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Table \"LOBS\": 2 rows written to " + w->path("csv/SCOTT_LOBS.csv") + "."), std::string::npos)
        << r.err;
    compare(dumptest::slurp(w->path("csv/SCOTT_SCALARS.csv")), u->scalars, "SCALARS");
    compare(dumptest::slurp(w->path("csv/SCOTT_LONGS.csv")), u->longs, "LONGS");
    compare(dumptest::slurp(w->path("csv/SCOTT_LOBS.csv")), u->lobs, "LOBS");
}

// The numbers SQLite stores and the text dumpcat writes agree: integers and
// fractions a double holds exactly as numbers, every other value as text.
TEST_F(Dumpcat, SqliteTargetKeepsTheSameNumbers)
{
    EXPECT_EQ(dumptest::query(w->path("db/SCOTT.db"), "select typeof(N), N from SCALARS order by rowid"),
              "text|232042.57\ntext|-1234567890123456789012345678901234567890\ntext|0.000001\ntext|~");
    dumpcat(*w, "FILE=" + dump() + " TABLES=scalars FORMAT=sql DIALECT=sqlite", "scalars.sql");
    std::string sql = dumptest::slurp(w->path("scalars.sql"));
    EXPECT_NE(sql.find("INSERT INTO \"SCALARS\" VALUES ('232042.57', "), std::string::npos) << sql.substr(0, 600);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(w->path("script.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    EXPECT_EQ(dumptest::query(w->path("script.db"), "select typeof(N), N, BD from SCALARS order by rowid"),
              dumptest::query(w->path("db/SCOTT.db"), "select typeof(N), N, BD from SCALARS order by rowid"));
}

TEST_F(Dumpcat, CopyTextEscapesAndBase64)
{
    CatRun r = dumpcat(*w, "FILE=" + dump() + " TABLES=scalars FORMAT=pgcopy", "s.copy");
    std::string s = dumptest::slurp(w->path("s.copy"));
    EXPECT_TRUE(s.starts_with("232042.57\ta,b \"q\"\\nnext\tab  \t\xc3\xa9\xe2\x82\xac\t2018")) << s.substr(0, 60);
    EXPECT_NE(s.find("\t\\\\xDEAD0001\t"), std::string::npos);
    EXPECT_NE(s.find("0.000001\t\\N\t"), std::string::npos);
    r = dumpcat(*w, "FILE=" + dump() + " TABLES=LOBS BINARY=base64 HEADER=N NULL=-", "l.csv");
    EXPECT_EQ(r.rc, 0) << r.err;
    std::string l = dumptest::slurp(w->path("l.csv"));
    EXPECT_EQ(l.substr(0, 2), "1,");
    EXPECT_NE(l.find("\r\n2,-,-,-\r\n"), std::string::npos);
    // 200000 bytes: 66667 groups of four, the last of two bytes.
    size_t b = l.rfind(",\"", l.find("\r\n2,"));
    std::string b64 = l.substr(b + 2, l.find("\"\r\n2,") - b - 2);
    EXPECT_EQ(b64.size(), 266668u);
    EXPECT_EQ(b64.substr(b64.size() - 2, 1) + b64.back(), std::string(1, b64[b64.size() - 2]) + "=");
    EXPECT_NE(b64[b64.size() - 2], '=');
}

TEST_F(Dumpcat, ParametersAndTablesNotFound)
{
    EXPECT_EQ(dumpcat(*w, "FILE=" + dump()).rc, 255);   // no OUTDIR, no single table
    EXPECT_NE(dumptest::slurp(w->path("cat.err")).find("TABLES must name one table when OUTDIR is not given."),
              std::string::npos);
    EXPECT_EQ(dumpcat(*w, "FILE=" + dump() + " TABLES=x FORMAT=xml").rc, 255);
    EXPECT_NE(dumptest::slurp(w->path("cat.err")).find("Invalid value \"xml\" of FORMAT."), std::string::npos);
    CatRun r = dumpcat(*w, "FILE=" + dump() + " TABLES=nosuch");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Table \"NOSUCH\" not found in " + dump() + "."), std::string::npos) << r.err;
    EXPECT_EQ(dumpcat(*w, "--version").rc, 0);
}

// A dump cut in the middle of a table: the tables before it whole, the cut
// one up to its last complete row.
TEST_F(Dumpcat, DamagedDumpKeepsWhatWasWritten)
{
    std::string d = dumptest::slurp(dump());
    // The LOBS table starts with its column names; cut inside its BLOB.
    size_t lobs = d.find("BL", d.find("NCL"));
    ASSERT_NE(lobs, std::string::npos);
    FILE *f = fopen(w->path("cut.dat").c_str(), "wb");
    fwrite(d.data(), 1, lobs + 150000, f);
    fclose(f);
    CatRun r = dumpcat(*w, "FILE=" + w->path("cut.dat") + " OUTDIR=" + w->path("cut"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Table \"LOBS\" of " + w->path("cut.dat") + " damaged at offset"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Table \"LOBS\": 0 rows written"), std::string::npos) << r.err;
    compare(dumptest::slurp(w->path("cut/SCOTT_LONGS.csv")), u->longs, "LONGS");
    EXPECT_EQ(dumptest::slurp(w->path("cut/SCOTT_LOBS.csv")), "ID,CL,NCL,BL\r\n");
}

// A single-byte database: text, LONG and CLOB from WE8MSWIN1252, a byte the
// set leaves undefined counted; NCLOB still AL16UTF16. Table names that
// would leave OUTDIR stay in it.
TEST(DumpcatCharset, SingleByteTextAndNamesKeptInOutdir)
{
    kb::Database db = kb::standard_database();
    set_charset(db, "WE8MSWIN1252");
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "../LATIN/..";
    t.cols = {dcol("S", 1, 20), dcol("L", 8, 0), dcol("CL", 112, 0), dcol("NCL", 112, 0, 2)};
    t.lobs.resize(2);
    t.lobs[0].column = "CL";
    t.lobs[1].column = "NCL";
    kb::LobValue latin;
    std::string bytes = "caf\xe9 \x80 \x81";
    latin.data.assign(bytes.begin(), bytes.end());
    latin.width = 1;
    latin.form = kb::LobForm::BasicInline;
    std::vector<std::vector<std::string>> expect;
    std::vector<Cell> row = {cell(text_v("caf\xe9 \x80"), "caf\xc3\xa9 \xe2\x82\xac"),
                             cell(long_v({0xFC, 0xDF}), "\xc3\xbc\xc3\x9f")};
    row.push_back(lob_cell(t, latin, "caf\xc3\xa9 \xe2\x82\xac \xef\xbf\xbd"));
    row.push_back(lob_cell(t, kb::lob_clob("\xe2\x82\xac", kb::LobForm::BasicInline), "\xe2\x82\xac"));
    add_rows(db, t, {row}, expect);
    dumptest::workdir w;
    ASSERT_EQ(run_pipeline(w, db, "unload user scott\n", {}), "");
    mkdir(w.path("out").c_str(), 0755);
    CatRun r = dumpcat(w, "FILE=" + w.path("data/SCOTT.dat") + " OUTDIR=" + w.path("out"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("1 invalid character sequence written as U+FFFD."), std::string::npos) << r.err;
    compare(dumptest::slurp(w.path("out/SCOTT_..%2FLATIN%2F...csv")), expect, "LATIN");
}

} // namespace
