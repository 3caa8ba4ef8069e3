// The end-to-end suites' common ground: logical values and their stored
// form, values read back from SQLite, the database fixture, and one run of
// kelvo and import per suite.
#pragma once

#include "kbuild.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "../import/harness.h"
#include "../shell/run_kelvo.h"

namespace e2e {


// ---- logical values and their stored form --------------------------------

struct LV {
    enum Kind { Null, Num, Text, NText, Date, Raw, Stamp, Binary, Clob, Blob, Zoned } kind = Null;
    std::string text;          // Num: decimal text; Text / NText: UTF-8; Zoned: the text stored
    std::u16string wide;       // NText: the same text in UTF-16
    int dt[6] = {};            // Date: y m d h mi s
    std::vector<uint8_t> raw;  // Raw (and LONG / LONG RAW bytes); Zoned: TIMESTAMP WITH TIME ZONE bytes
    bool is_long = false;      // LONG: text stored as raw bytes, read back as text
    uint32_t ns = 0;           // Stamp: the date's fraction of a second
    double d = 0;              // Binary: BINARY_DOUBLE, or BINARY_FLOAT when single
    bool single = false;
    kb::LobValue lob;          // Clob (text: its UTF-8) and Blob (raw: its bytes): the stored value
};

inline LV null_v() { return {}; }
inline LV num_v(const std::string &s) { LV v; v.kind = LV::Num; v.text = s; return v; }
inline LV text_v(const std::string &s) { LV v; v.kind = LV::Text; v.text = s; return v; }
inline LV ntext_v(const std::string &utf8, const std::u16string &w) { LV v; v.kind = LV::NText; v.text = utf8; v.wide = w; return v; }
inline LV date_v(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    LV v;
    v.kind = LV::Date;
    int t[6] = {y, m, d, h, mi, s};
    std::copy(t, t + 6, v.dt);
    return v;
}
inline LV stamp_v(int y, int m, int d, int h, int mi, int s, uint32_t ns)
{
    LV v = date_v(y, m, d, h, mi, s);
    v.kind = LV::Stamp;
    v.ns = ns;
    return v;
}
inline LV binary_v(double d, bool single)
{
    LV v;
    v.kind = LV::Binary;
    v.d = single ? (double)(float)d : d;
    v.single = single;
    return v;
}
inline LV raw_v(std::vector<uint8_t> b) { LV v; v.kind = LV::Raw; v.raw = std::move(b); return v; }
inline LV zoned_v(std::vector<uint8_t> b, const std::string &text) { LV v = raw_v(std::move(b)); v.kind = LV::Zoned; v.text = text; return v; }
inline LV long_v(std::vector<uint8_t> b) { LV v = raw_v(std::move(b)); v.is_long = true; return v; }
// A CLOB or NCLOB of UTF-8 text and a BLOB, in the given storage form.
inline LV clob_v(const std::string &utf8, kb::LobForm form)
{
    LV v;
    v.kind = LV::Clob;
    v.text = utf8;
    v.lob = kb::lob_clob(utf8, form);
    return v;
}
inline LV blob_v(const std::vector<uint8_t> &b, kb::LobForm form)
{
    LV v;
    v.kind = LV::Blob;
    v.raw = b;
    v.lob = kb::lob_blob(b, form);
    return v;
}

inline kb::Col stored(const LV &v)
{
    switch (v.kind) {
    case LV::Null: return kb::col_null();
    case LV::Num: return kb::col_bytes(kb::ora_number(v.text));
    case LV::Text: return kb::col_str(v.text);
    case LV::NText: {
        std::vector<uint8_t> b;
        for (char16_t c : v.wide) {
            b.push_back((uint8_t)(c >> 8));
            b.push_back((uint8_t)c);
        }
        return kb::col_bytes(b);
    }
    case LV::Date:
    case LV::Stamp: {
        const int *t = v.dt;
        std::vector<uint8_t> b = {(uint8_t)(t[0] / 100 + 100), (uint8_t)(t[0] % 100 + 100), (uint8_t)t[1],
                                  (uint8_t)t[2], (uint8_t)(t[3] + 1), (uint8_t)(t[4] + 1), (uint8_t)(t[5] + 1)};
        if (v.kind == LV::Stamp)
            for (int sh = 24; sh >= 0; sh -= 8)
                b.push_back((uint8_t)(v.ns >> sh));
        return kb::col_bytes(b);
    }
    case LV::Binary: {
        // IEEE big-endian, the sign bit set for positives and every bit
        // inverted for negatives, so that the bytes sort like the values.
        uint64_t bits = 0;
        int n = v.single ? 4 : 8;
        if (v.single) {
            float fl = (float)v.d;
            uint32_t b32;
            memcpy(&b32, &fl, 4);
            bits = b32;
        } else
            memcpy(&bits, &v.d, 8);
        uint64_t sign = 1ull << (n * 8 - 1);
        bits = (bits & sign) ? ~bits : (bits | sign);
        std::vector<uint8_t> b;
        for (int i = n - 1; i >= 0; i--)
            b.push_back((uint8_t)(bits >> (i * 8)));
        return kb::col_bytes(b);
    }
    case LV::Raw:
    case LV::Zoned: return kb::col_bytes(v.raw);
    case LV::Clob:
    case LV::Blob: break;   // placed by lob_row
    }
    return kb::col_null();
}

// A row of a table with LOB columns: each LOB value joins the table's
// lob_values and the row names it there.
inline kb::LogicalRow lob_row(kb::DbTable &t, const std::vector<LV> &vals)
{
    kb::LogicalRow r;
    for (const LV &v : vals)
        if (v.kind == LV::Clob || v.kind == LV::Blob) {
            t.lob_values.push_back(v.lob);
            r.cols.push_back(kb::col_lob(t.lob_values.size() - 1));
        } else {
            r.cols.push_back(stored(v));
        }
    return r;
}

// n characters of UTF-8 text mixing ASCII with two-, three- and four-byte
// characters (the last ones a surrogate pair in AL16UTF16).
inline std::string mixed_text(size_t n, uint32_t seed)
{
    static const char *const alphabet[] = {"a", "b", "c", " ", "\xc3\xa9", "\xc3\xbc", "\xe2\x82\xac", "\xe6\x97\xa5",
                                           "\xf0\x9f\x98\x80", "\xf0\x9d\x84\x9e", "\n", "Z"};
    std::string s;
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        s += alphabet[(x >> 16) % 12];
    }
    return s;
}

// ---- values read back from SQLite ----------------------------------------

struct SV {
    int type = SQLITE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string s;   // text or blob bytes
};

inline std::vector<std::vector<SV>> read_rows(const std::string &dbfile, const std::string &sql, std::string *err)
{
    std::vector<std::vector<SV>> rows;
    sqlite3 *db = nullptr;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_open_v2(dbfile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        *err = sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<SV> r;
        for (int c = 0; c < sqlite3_column_count(st); c++) {
            SV v;
            v.type = sqlite3_column_type(st, c);
            if (v.type == SQLITE_INTEGER)
                v.i = sqlite3_column_int64(st, c);
            else if (v.type == SQLITE_FLOAT)
                v.d = sqlite3_column_double(st, c);
            else if (v.type != SQLITE_NULL) {
                const char *p = v.type == SQLITE_TEXT ? (const char *)sqlite3_column_text(st, c)
                                                      : (const char *)sqlite3_column_blob(st, c);
                v.s.assign(p ? p : "", (size_t)sqlite3_column_bytes(st, c));
            }
            r.push_back(v);
        }
        rows.push_back(r);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

inline size_t significant_digits(const std::string &s)
{
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9')
            d += c;
    size_t a = d.find_first_not_of('0'), b = d.find_last_not_of('0');
    return a == std::string::npos ? 0 : b - a + 1;
}

// "" when the value read back is the logical value, else what differs.
inline std::string mismatch(const LV &want, const SV &got)
{
    auto shown = [&] {
        switch (got.type) {
        case SQLITE_NULL: return std::string("NULL");
        case SQLITE_INTEGER: return "integer " + std::to_string(got.i);
        case SQLITE_FLOAT: return "real " + std::to_string(got.d);
        case SQLITE_TEXT: return "text '" + got.s.substr(0, 60) + "' of " + std::to_string(got.s.size()) + " bytes";
        default: return "blob of " + std::to_string(got.s.size()) + " bytes";
        }
    };
    bool ok = false;
    switch (want.kind) {
    case LV::Null: ok = got.type == SQLITE_NULL; break;
    case LV::Num:
        // Integral values within 64 bits are integers; a decimal is a real
        // only when a double holds its digits, otherwise exact text.
        if (got.type == SQLITE_INTEGER)
            ok = std::to_string(got.i) == want.text;
        else if (got.type == SQLITE_FLOAT)
            ok = want.text.find('.') != std::string::npos && significant_digits(want.text) <= 15 &&
                 got.d == std::strtod(want.text.c_str(), nullptr);
        else if (got.type == SQLITE_TEXT)
            ok = got.s == want.text;
        break;
    case LV::Text:
    case LV::NText: ok = got.type == SQLITE_TEXT && got.s == want.text; break;
    case LV::Date: {
        char b[40];
        snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", want.dt[0], want.dt[1], want.dt[2], want.dt[3],
                 want.dt[4], want.dt[5]);
        ok = got.type == SQLITE_TEXT && got.s == b;
        break;
    }
    case LV::Stamp: {
        char b[48];
        // Microseconds, and no fraction at all for a whole second.
        int n = snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", want.dt[0], want.dt[1], want.dt[2],
                         want.dt[3], want.dt[4], want.dt[5]);
        if (want.ns)
            snprintf(b + n, sizeof b - (size_t)n, ".%06u", want.ns / 1000);
        ok = got.type == SQLITE_TEXT && got.s == b;
        break;
    }
    case LV::Binary: ok = got.type == SQLITE_FLOAT && got.d == want.d; break;
    case LV::Zoned: ok = got.type == SQLITE_TEXT && got.s == want.text; break;
    case LV::Raw:
        ok = got.type == (want.is_long ? SQLITE_TEXT : SQLITE_BLOB) &&
             got.s == std::string(want.raw.begin(), want.raw.end());
        break;
    case LV::Clob:
    case LV::Blob: {
        std::string w = want.kind == LV::Clob ? want.text : std::string(want.raw.begin(), want.raw.end());
        if (got.type == (want.kind == LV::Clob ? SQLITE_TEXT : SQLITE_BLOB) && got.s == w)
            return "";
        // Large values: where they part says more than their beginning.
        size_t at = 0;
        while (at < w.size() && at < got.s.size() && w[at] == got.s[at])
            at++;
        return "got " + shown() + ", expected " + std::to_string(w.size()) + " bytes, first difference at byte " +
               std::to_string(at);
    }
    }
    return ok ? "" : "got " + shown();
}

// ---- the database --------------------------------------------------------

struct LTable {
    std::string name;
    std::vector<std::string> cols;            // in the order compared
    std::vector<std::vector<LV>> rows;        // expected rows, in unload order
};

inline kb::DbColumn dcol(const std::string &name, int type, int len, int form = -1)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    c.charsetform = form;
    return c;
}

inline kb::LogicalRow lrow(const std::vector<LV> &vals, kb::RowLayout layout = kb::RowLayout::Normal)
{
    kb::LogicalRow r;
    for (const LV &v : vals)
        r.cols.push_back(stored(v));
    r.layout = layout;
    return r;
}

inline std::vector<uint8_t> letters(size_t n, uint32_t seed) { return kb::pattern_bytes(n, seed); }

struct Fixture {
    kb::Database db = kb::standard_database();
    std::vector<LTable> expect;   // tables of SCOTT.dat
    LTable longs;                 // the table unloaded on its own
};

// Every row of the table in the target, in insertion order, against the
// expected rows; at most a few differences are reported.
inline void compare_table(const std::string &dbfile, const LTable &t)
{
    std::string sql = "select ";
    for (size_t i = 0; i < t.cols.size(); i++)
        sql += (i ? ", \"" : "\"") + t.cols[i] + "\"";
    sql += " from \"" + t.name + "\" order by rowid";
    std::string err;
    auto rows = read_rows(dbfile, sql, &err);
    ASSERT_EQ(err, "") << t.name;
    ASSERT_EQ(rows.size(), t.rows.size()) << t.name;
    int reported = 0;
    for (size_t r = 0; r < rows.size() && reported < 5; r++)
        for (size_t c = 0; c < t.cols.size(); c++) {
            std::string m = mismatch(t.rows[r][c], rows[r][c]);
            if (!m.empty() && reported++ < 5)
                ADD_FAILURE() << t.name << " row " << r + 1 << " column " << t.cols[c] << ": " << m;
        }
}

inline const LTable *find(const std::vector<LTable> &ts, const std::string &name)
{
    for (const LTable &t : ts)
        if (t.name == name)
            return &t;
    return nullptr;
}

// Builds the database in w, runs kelvo with "export dict", "load dict" and
// the given unload commands, and imports each dump (data/NAME.dat) into its
// target directory. Returns why it stopped, or "".
inline std::string run_pipeline(dumptest::workdir &w, kb::Database &db, const std::string &unloads,
                         const std::vector<std::pair<std::string, std::string>> &dumps)
{
    if (kb::build_database(db, w.dir) != 0 || kb::write_config(w.dir, db.files) != 0)
        return "the database was not built";
    KelvoRun k = run_kelvo({"config=" + w.dir + "/config.ini"}, "export dict\nload dict\n" + unloads + "exit\n", w.dir);
    if (k.status != 0)
        return "kelvo: " + k.err;
    for (const auto &[dump, target] : dumps) {
        // A target given with its user ("user/password@pg:...") is a server.
        std::string userid = target.find('@') != std::string::npos ? target : "scott/tiger@" + w.path(target);
        dumptest::run_result r = w.run("'USERID=" + userid + "' FILE=" + w.path("data/" + dump + ".dat"));
        if (r.rc != 0 || r.err.find("Import terminated successfully.") == std::string::npos)
            return "import of " + dump + ": " + r.err;
    }
    return "";
}

// A database is built and run through kelvo and import once per suite; the
// tests read the targets. Suite supplies make() (the database and the
// expected tables), the unload commands and the dumps with their targets.
template <class Suite> class PipelineSuite : public ::testing::Test {
protected:
    static inline dumptest::workdir *w = nullptr;
    static inline Fixture *f = nullptr;
    static inline std::string failed;   // why the pipeline stopped, empty when it ran through

    static void SetUpTestSuite()
    {
        w = new dumptest::workdir;
        f = new Fixture(Suite::make());
        failed = run_pipeline(*w, f->db, Suite::unloads, Suite::dumps());
    }
    static void TearDownTestSuite()
    {
        delete f;
        if (!getenv("E2E_KEEP"))
            delete w;
        else
            fprintf(stderr, "kept %s\n", w->dir.c_str());
    }
    void SetUp() override { ASSERT_EQ(failed, ""); }

    void check(const std::string &target, const std::string &table)
    {
        const LTable *t = find(f->expect, table);
        ASSERT_NE(t, nullptr);
        SCOPED_TRACE(target + " " + table);
        compare_table(w->path(target + "/SCOTT.db"), *t);
    }
};

} // namespace e2e
