// Import into a real PostgreSQL server: databases written by the builder,
// unloaded by kelvo, loaded by import through the PostgreSQL target, and
// every value read back with libpq as the server prints it, compared with the
// logical value it was built from: every column type, NULLs, LONG, CLOB,
// NCLOB and BLOB values of several MiB, non-ASCII text in AL32UTF8 and in a
// single-byte character set, names that need quotes, IGNORE=Y into existing
// tables and rows the server refuses.
#include <libpq-fe.h>
#include <unistd.h>

#include <cmath>
#include <optional>

#include "../e2e/pipeline.h"

namespace {

using namespace e2e;
using Cell = std::optional<std::string>;

// A database of the test's own on the server KELVO_PG names, created afresh;
// "" when there is no server (why says so).
std::string pg_database(const std::string &name, std::string &why)
{
    const char *base = getenv("KELVO_PG");
    if (!base || !*base) {
        why = "KELVO_PG is not set: no PostgreSQL server to import into (scripts/test.sh starts one)";
        return "";
    }
    PGconn *c = PQconnectdb(base);
    if (PQstatus(c) != CONNECTION_OK) {
        why = std::string("PostgreSQL server of KELVO_PG not reachable: ") + PQerrorMessage(c);
        PQfinish(c);
        return "";
    }
    std::string db = name + "_" + std::to_string(getpid());
    PQclear(PQexec(c, ("DROP DATABASE IF EXISTS " + db).c_str()));
    PGresult *r = PQexec(c, ("CREATE DATABASE " + db).c_str());
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    why = ok ? "" : PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(c);
    return ok ? std::string(base) + " dbname=" + db : "";
}

// The rows of a query as the server prints them (text results, ISO dates,
// UTC); an error adds a row with the message alone.
std::vector<std::vector<Cell>> pg_rows(const std::string &conninfo, const std::string &sql)
{
    std::vector<std::vector<Cell>> rows;
    PGconn *c = PQconnectdb(conninfo.c_str());
    PQclear(PQexec(c, "SET TimeZone TO 'UTC'; SET DateStyle TO 'ISO, YMD'; SET IntervalStyle TO 'postgres'"));
    PGresult *r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK)
        rows.push_back({std::string("error: ") + PQerrorMessage(c)});
    else
        for (int i = 0; i < PQntuples(r); i++) {
            std::vector<Cell> row;
            for (int j = 0; j < PQnfields(r); j++)
                row.push_back(PQgetisnull(r, i, j) ? Cell() : Cell(std::string(PQgetvalue(r, i, j))));
            rows.push_back(row);
        }
    PQclear(r);
    PQfinish(c);
    return rows;
}

std::string one(const std::string &conninfo, const std::string &sql)
{
    auto rows = pg_rows(conninfo, sql);
    return rows.size() == 1 && rows[0].size() == 1 && rows[0][0] ? *rows[0][0] : "(no single value)";
}

std::string hex(const std::string &bytes)
{
    static const char d[] = "0123456789abcdef";
    std::string s = "\\x";
    for (unsigned char c : bytes) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

// "" when the server's text of a value is the logical value, else what differs.
std::string pg_mismatch(const LV &want, const Cell &got)
{
    if (want.kind == LV::Null)
        return got ? "got '" + got->substr(0, 60) + "', expected NULL" : "";
    if (!got)
        return "got NULL";
    std::string w;
    char b[64];
    switch (want.kind) {
    case LV::Num:
    case LV::Text:
    case LV::NText:
    case LV::Zoned:   // any value given by its stored bytes and the text it reads back as
    case LV::Clob: w = want.text; break;
    case LV::Date:
    case LV::Stamp: {
        int n = snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", want.dt[0], want.dt[1], want.dt[2], want.dt[3],
                         want.dt[4], want.dt[5]);
        if (want.kind == LV::Stamp && want.ns) {
            n += snprintf(b + n, sizeof b - (size_t)n, ".%06u", want.ns / 1000);
            while (b[n - 1] == '0')
                b[--n] = 0;
        }
        w = b;
        break;
    }
    case LV::Binary: {
        double d = want.single ? (double)std::strtof(got->c_str(), nullptr) : std::strtod(got->c_str(), nullptr);
        return d == want.d ? "" : "got " + *got;
    }
    case LV::Raw:
    case LV::Blob: {
        std::string bytes(want.raw.begin(), want.raw.end());
        w = want.is_long ? bytes : hex(bytes);
        break;
    }
    case LV::Null: break;
    }
    if (*got == w)
        return "";
    size_t at = 0;
    while (at < w.size() && at < got->size() && w[at] == (*got)[at])
        at++;
    return "got '" + got->substr(0, 60) + "' of " + std::to_string(got->size()) + " bytes, expected " +
           std::to_string(w.size()) + " bytes, first difference at byte " + std::to_string(at);
}

// Every row of the table (ordered by its first column) against the expected
// rows; at most a few differences are reported.
void compare_pg(const std::string &conninfo, const std::string &schema, const std::string &table, const LTable &t)
{
    std::string sql = "select ";
    for (size_t i = 0; i < t.cols.size(); i++)
        sql += (i ? ", " : "") + t.cols[i];
    sql += " from " + schema + "." + table + " order by 1";
    auto rows = pg_rows(conninfo, sql);
    ASSERT_EQ(rows.size(), t.rows.size()) << table << ": " << (rows.empty() || !rows[0][0] ? "" : *rows[0][0]);
    int reported = 0;
    for (size_t r = 0; r < rows.size(); r++)
        for (size_t c = 0; c < t.cols.size(); c++) {
            std::string m = pg_mismatch(t.rows[r][c], rows[r][c]);
            if (!m.empty() && reported++ < 5)
                ADD_FAILURE() << table << " row " << r + 1 << " column " << t.cols[c] << ": " << m;
        }
}

std::vector<uint8_t> be32(uint32_t v) { return {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v}; }

LV ym_v(int years, int months, const std::string &text)
{
    std::vector<uint8_t> b = be32((uint32_t)(0x80000000LL + years));
    b.push_back((uint8_t)(months + 60));
    return zoned_v(b, text);
}

LV ds_v(int days, int h, int mi, int s, int ns, const std::string &text)
{
    std::vector<uint8_t> b = be32((uint32_t)(0x80000000LL + days));
    for (int x : {h, mi, s})
        b.push_back((uint8_t)(x + 60));
    std::vector<uint8_t> f = be32((uint32_t)(0x80000000LL + ns));
    b.insert(b.end(), f.begin(), f.end());
    return zoned_v(b, text);
}

// TIMESTAMP WITH TIME ZONE with an offset: the UTC instant, then the offset.
LV tz_offset_v(int y, int mo, int d, int h, int mi, int s, int tzh, int tzm, const std::string &text)
{
    std::vector<uint8_t> b = kb::ora_date(y, mo, d, h, mi, s);
    std::vector<uint8_t> f = be32(0);
    b.insert(b.end(), f.begin(), f.end());
    b.push_back((uint8_t)(tzh + 20));
    b.push_back((uint8_t)(tzm + 60));
    return zoned_v(b, text);
}

void add(Fixture &f, kb::DbTable t, LTable lt, const std::vector<std::vector<LV>> &rows)
{
    for (const auto &r : rows) {
        t.rows.push_back(lob_row(t, r));
        lt.rows.push_back(r);
        lt.rows.back().resize(lt.cols.size());
    }
    f.db.tables.push_back(std::move(t));
    f.expect.push_back(std::move(lt));
}

kb::DbTable table(const std::string &name, std::vector<kb::DbColumn> cols)
{
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = name;
    t.cols = std::move(cols);
    t.seg.ext_blocks = 16;
    return t;
}

Fixture make_database()
{
    using F = kb::LobForm;
    Fixture f;
    f.db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});

    // Every scalar type, exact decimals beyond a double, NULLs between values.
    kb::DbTable t = table("TYPES", {dcol("ID", 2, 22), dcol("N", 2, 22), dcol("S", 1, 40), dcol("C", 96, 6),
                                    dcol("D", 12, 7), dcol("R", 23, 16), dcol("NV", 1, 40, 2), dcol("NC", 96, 16, 2),
                                    dcol("TS", 180, 11), dcol("TZ", 181, 13), dcol("YM", 182, 5),
                                    dcol("DS", 183, 11), dcol("BD", 101, 8), dcol("BF", 100, 4)});
    LTable lt{"TYPES", {"id", "n", "s", "c", "d", "r", "nv", "nc", "ts", "tz", "ym", "ds", "bd", "bf"}, {}};
    add(f, t, lt,
        {{num_v("1"), num_v("3.14"), text_v("plain"), text_v("ab    "), date_v(2018, 7, 13, 8, 39, 26),
          raw_v({0xDE, 0xAD, 0x00, 0xFF}), ntext_v("\xc3\xa9t\xc3\xa9 \xe2\x82\xac", u"\u00e9t\u00e9 \u20ac"),
          ntext_v("ab      ", u"ab      "), stamp_v(2018, 7, 13, 8, 39, 26, 281075000),
          tz_offset_v(2024, 7, 15, 10, 0, 0, 5, 30, "2024-07-15 10:00:00+00"), ym_v(1, 2, "1 year 2 mons"),
          ds_v(3, 4, 5, 6, 500000000, "3 days 04:05:06.5"), binary_v(-134.45, false), binary_v(134.45, true)},
         {num_v("2"), num_v("-1234567890123456789012345678901234567890"), text_v("tab\there\\ and\nnewline"),
          null_v(), date_v(1, 1, 1), null_v(), null_v(), null_v(), stamp_v(1970, 1, 1, 0, 0, 0, 0),
          zoned_v(kb::ora_timestamp_tz_region(2024, 11, 3, 6, 0, 0, 0, 100), "2024-11-03 06:00:00+00"),
          ym_v(-3, -4, "-3 years -4 mons"), ds_v(-1, -2, 0, 0, 0, "-1 days -02:00:00"), binary_v(1e300, false),
          binary_v(-2.25, true)},
         {num_v("3"), num_v("0.000001"), text_v("\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80")},
         {num_v("4"), num_v("12345678901234567.891"), null_v(), text_v("z     "), date_v(9999, 12, 31, 23, 59, 59),
          raw_v(letters(16, 9))}});

    // Names that need quotes keep their spelling; no rows at all.
    add(f, table("Mixed Case", {dcol("id", 2, 22), dcol("a b", 1, 10)}),
        {"Mixed Case", {"\"id\"", "\"a b\""}, {}}, {{num_v("1"), text_v("x")}, {num_v("2"), null_v()}});
    add(f, table("EMPTY", {dcol("ID", 2, 22)}), {"EMPTY", {"id"}, {}}, {});

    // LONG values longer than a piece of the dump, and NULL.
    add(f, table("LONGS", {dcol("ID", 2, 22), dcol("L", 8, 0), dcol("TAIL", 1, 10)}),
        {"LONGS", {"id", "l", "tail"}, {}},
        {{num_v("1"), long_v(letters(70000, 3)), text_v("after")},
         {num_v("2"), null_v(), text_v("null long")},
         {num_v("3"), long_v(letters(5, 4))}});

    // LOBs of several MiB, empty and NULL ones, and a LOB column ahead of a
    // LONG column (its value still comes after the row).
    kb::DbTable l = table("LOBS", {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("L", 8, 0), dcol("N", 112, 0, 2),
                                   dcol("B", 113, 0), dcol("TAIL", 1, 10)});
    l.lobs = {kb::DbLob{}, kb::DbLob{}, kb::DbLob{}};
    l.lobs[0].column = "C";
    l.lobs[1].column = "N";
    l.lobs[2].column = "B";
    for (kb::DbLob &x : l.lobs)
        x.chunk = 4;
    LV big_b = blob_v(letters(3 << 20, 5), F::SecureExtents);
    big_b.lob.extent_blocks = 64;
    LV big_c = clob_v(mixed_text(1 << 20, 6), F::SecureExtents);
    big_c.lob.extent_blocks = 64;
    add(f, l, {"LOBS", {"id", "c", "l", "n", "b", "tail"}, {}},
        {{num_v("1"), clob_v("h\xc3\xa9llo\t\\ \xf0\x9f\x98\x80\r\n", F::BasicInline), long_v(letters(9000, 7)),
          clob_v("\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1", F::BasicInline), blob_v({0, 1, 0, 255}, F::BasicInline),
          text_v("small")},
         {num_v("2"), clob_v("", F::BasicInline), null_v(), clob_v("", F::BasicInline), blob_v({}, F::BasicInline),
          text_v("empty")},
         {num_v("3"), null_v(), null_v(), null_v(), null_v(), text_v("nulls")},
         {num_v("4"), big_c, long_v(letters(3, 8)), clob_v(mixed_text(200000, 9), F::BasicChunks), big_b,
          text_v("MiB")}});
    return f;
}

class PgImport : public ::testing::Test {
protected:
    static inline dumptest::workdir *w = nullptr;
    static inline Fixture *f = nullptr;
    static inline std::string conninfo, failed;

    static void SetUpTestSuite()
    {
        conninfo = pg_database("kelvo_types", failed);
        if (conninfo.empty())
            return;
        w = new dumptest::workdir;
        f = new Fixture(make_database());
        failed = run_pipeline(*w, f->db, "unload user scott\n", {{"SCOTT", "postgres/x@pg:" + conninfo}});
    }
    static void TearDownTestSuite()
    {
        delete f;
        delete w;
    }
    void SetUp() override
    {
        if (conninfo.empty())
            GTEST_SKIP() << failed;
        ASSERT_EQ(failed, "");
    }
    void check(const std::string &pg_table, const std::string &name)
    {
        const LTable *t = find(f->expect, name);
        ASSERT_NE(t, nullptr);
        compare_pg(conninfo, "scott", pg_table, *t);
    }
};

TEST_F(PgImport, ScalarTypesReadBackExactly)
{
    check("types", "TYPES");
    // The column types PostgreSQL users see.
    EXPECT_EQ(one(conninfo, "select string_agg(data_type, ',' order by ordinal_position) from "
                            "information_schema.columns where table_schema = 'scott' and table_name = 'types'"),
              "numeric,numeric,character varying,character,timestamp without time zone,bytea,character varying,"
              "character,timestamp without time zone,timestamp with time zone,interval,interval,double precision,"
              "real");
}

TEST_F(PgImport, NamesThatNeedQuotesKeepTheirSpelling)
{
    check("\"Mixed Case\"", "Mixed Case");
    EXPECT_EQ(one(conninfo, "select count(*) from scott.empty"), "0");
}

TEST_F(PgImport, LongValuesGoInWhole)
{
    check("longs", "LONGS");
}

TEST_F(PgImport, LobValuesOfSeveralMebibytesGoInWhole)
{
    check("lobs", "LOBS");
}

// A database in a single-byte character set: text, LONG and CLOB values come
// back as UTF-8.
TEST(PgImportCharset, SingleByteDatabaseTextBecomesUtf8)
{
    std::string why, conninfo = pg_database("kelvo_latin", why);
    if (conninfo.empty())
        GTEST_SKIP() << why;
    kb::Database db = kb::standard_database();
    for (kb::DbProp &p : db.props)
        if (p.name == "NLS_CHARACTERSET")
            p.value = "WE8MSWIN1252";
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    kb::DbTable t = table("LATIN", {dcol("ID", 2, 22), dcol("S", 1, 20), dcol("L", 8, 0), dcol("CL", 112, 0)});
    t.lobs.resize(1);
    t.lobs[0].column = "CL";
    kb::LobValue cl;
    std::string latin = "caf\xe9 \x80 " + std::string(9000, '\xe9');
    cl.data.assign(latin.begin(), latin.end());
    cl.width = 1;
    cl.form = kb::LobForm::BasicChunks;
    t.lob_values = {cl};
    kb::LogicalRow r;
    r.cols = {kb::col_num(1), kb::col_str("caf\xe9 \x80"), kb::col_str("long \xfc\xdf"), kb::col_lob(0)};
    t.rows.push_back(r);
    db.tables.push_back(t);
    std::string many_e;
    for (int i = 0; i < 9000; i++)
        many_e += "\xc3\xa9";
    LV clob;
    clob.kind = LV::Clob;
    clob.text = "caf\xc3\xa9 \xe2\x82\xac " + many_e;
    LTable lt{"LATIN", {"id", "s", "l", "cl"},
              {{num_v("1"), text_v("caf\xc3\xa9 \xe2\x82\xac"), text_v("long \xc3\xbc\xc3\x9f"), clob}}};
    dumptest::workdir w;
    ASSERT_EQ(run_pipeline(w, db, "unload table scott.latin\n", {{"SCOTT_LATIN", "postgres/x@pg:" + conninfo}}), "");
    compare_pg(conninfo, "scott", "latin", lt);
}

// IGNORE=Y into tables that exist with a key: the rows the key refuses are
// rejected one by one (in an array insert, after a LONG and at the close of a
// LOB), every other row goes in, and the run ends with warnings. TOUSER names
// the schema, which exists already.
TEST(PgImportReject, IgnoreIntoExistingTablesRejectsOnlyRefusedRows)
{
    std::string why, conninfo = pg_database("kelvo_reject", why);
    if (conninfo.empty())
        GTEST_SKIP() << why;
    kb::Database db = kb::standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    kb::DbTable k = table("KEYED", {dcol("ID", 2, 22), dcol("V", 1, 10)});
    for (int i = 1; i <= 300; i++)
        k.rows.push_back(lrow({num_v(std::to_string(i)), text_v("v" + std::to_string(i))}));
    db.tables.push_back(k);
    kb::DbTable l = table("KEYLONG", {dcol("ID", 2, 22), dcol("L", 8, 0)});
    for (int i = 1; i <= 3; i++)
        l.rows.push_back(lrow({num_v(std::to_string(i)), long_v(letters(20000, (uint32_t)i))}));
    db.tables.push_back(l);
    kb::DbTable c = table("KEYLOB", {dcol("ID", 2, 22), dcol("C", 112, 0)});
    c.lobs.resize(1);
    c.lobs[0].column = "C";
    for (int i = 1; i <= 3; i++)
        c.rows.push_back(lob_row(c, {num_v(std::to_string(i)), clob_v(mixed_text(5000, (uint32_t)i), kb::LobForm::BasicChunks)}));
    db.tables.push_back(c);

    PGconn *pc = PQconnectdb(conninfo.c_str());
    PGresult *res = PQexec(pc, "create schema app;"
                               "create table app.keyed (id numeric primary key, v varchar(10));"
                               "insert into app.keyed values (7, 'old'), (250, 'old');"
                               "create table app.keylong (id numeric primary key, l text);"
                               "insert into app.keylong values (2, 'old');"
                               "create table app.keylob (id numeric primary key, c text);"
                               "insert into app.keylob values (3, 'old');");
    ASSERT_EQ(PQresultStatus(res), PGRES_COMMAND_OK) << PQerrorMessage(pc);
    PQclear(res);
    PQfinish(pc);

    dumptest::workdir w;
    ASSERT_EQ(run_pipeline(w, db, "unload user scott\n", {}), "");
    dumptest::run_result r = w.run("'USERID=postgres/x@pg:" + conninfo + "' FILE=" + w.path("data/SCOTT.dat") +
                                   " TOUSER=app IGNORE=Y");
    EXPECT_EQ(r.rc, 1) << r.err;
    for (const char *line : {"Row 7 of table \"KEYED\" rejected: ORA-00001: ", "Row 250 of table \"KEYED\" rejected",
                             "Row 2 of table \"KEYLONG\" rejected", "Row 3 of table \"KEYLOB\" rejected",
                             "rows rejected: 4, tables skipped: 0"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
    EXPECT_EQ(one(conninfo, "select count(*) || ' ' || sum(id) || ' ' || count(*) filter (where v = 'old') from app.keyed"),
              "300 45150 2");
    EXPECT_EQ(one(conninfo, "select string_agg(id || ':' || length(l), ',' order by id) from app.keylong"),
              "1:20000,2:3,3:20000");
    EXPECT_EQ(one(conninfo, "select string_agg(id || ':' || length(c), ',' order by id) from app.keylob"),
              "1:5000,2:5000,3:3");
}

// A value the decoders refuse (month 13) in the middle of a batch: its row is
// rejected before anything of it is sent, the rows around it go in.
TEST(PgImportReject, ValueTheDecodersRefuseRejectsItsRowOnly)
{
    std::string why, conninfo = pg_database("kelvo_refused", why);
    if (conninfo.empty())
        GTEST_SKIP() << why;
    using namespace dumptest;
    dump d;
    d.owner = "SCOTT";
    dumptest::table t("BAD", {{"ID", 2, 22}, {"D", 12, 7}});
    for (int i = 1; i <= 5; i++)
        t.row({v(num(i)), v(i == 3 ? bytes({120, 124, 13, 1, 1, 1, 1}) : date(2020, 1, i))});
    d.tables.push_back(t);
    workdir w;
    ASSERT_TRUE(d.write(w.path("in.dat")));
    run_result r = w.run("'USERID=postgres/x@pg:" + conninfo + "' FILE=" + w.path("in.dat"));
    EXPECT_EQ(r.rc, 1) << r.err;
    EXPECT_NE(r.err.find("Row 3 of table \"BAD\" rejected: ORA-01843"), std::string::npos) << r.err;
    EXPECT_EQ(one(conninfo, "select string_agg(id || ' ' || d, ',' order by id) from scott.bad"),
              "1 2020-01-01 00:00:00,2 2020-01-02 00:00:00,4 2020-01-04 00:00:00,5 2020-01-05 00:00:00");
}

} // namespace
