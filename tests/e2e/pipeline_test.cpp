// The whole recovery path on a database written by the builder: kelvo
// "export dict", "load dict", "unload user" and "unload table", then import
// into the embedded SQLite target, and every value read back with SQLite and
// compared with the logical value the database was built from (numbers,
// strings, dates, raw bytes, national text, LONG and LONG RAW, BasicFile and
// SecureFile CLOB, NCLOB and BLOB values, NULLs, partitioned,
// composite-partitioned and clustered tables, chained and migrated rows).
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

namespace {

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

LV null_v() { return {}; }
LV num_v(const std::string &s) { LV v; v.kind = LV::Num; v.text = s; return v; }
LV text_v(const std::string &s) { LV v; v.kind = LV::Text; v.text = s; return v; }
LV ntext_v(const std::string &utf8, const std::u16string &w) { LV v; v.kind = LV::NText; v.text = utf8; v.wide = w; return v; }
LV date_v(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    LV v;
    v.kind = LV::Date;
    int t[6] = {y, m, d, h, mi, s};
    std::copy(t, t + 6, v.dt);
    return v;
}
LV stamp_v(int y, int m, int d, int h, int mi, int s, uint32_t ns)
{
    LV v = date_v(y, m, d, h, mi, s);
    v.kind = LV::Stamp;
    v.ns = ns;
    return v;
}
LV binary_v(double d, bool single)
{
    LV v;
    v.kind = LV::Binary;
    v.d = single ? (double)(float)d : d;
    v.single = single;
    return v;
}
LV raw_v(std::vector<uint8_t> b) { LV v; v.kind = LV::Raw; v.raw = std::move(b); return v; }
LV zoned_v(std::vector<uint8_t> b, const std::string &text) { LV v = raw_v(std::move(b)); v.kind = LV::Zoned; v.text = text; return v; }
LV long_v(std::vector<uint8_t> b) { LV v = raw_v(std::move(b)); v.is_long = true; return v; }
// A CLOB or NCLOB of UTF-8 text and a BLOB, in the given storage form.
LV clob_v(const std::string &utf8, kb::LobForm form)
{
    LV v;
    v.kind = LV::Clob;
    v.text = utf8;
    v.lob = kb::lob_clob(utf8, form);
    return v;
}
LV blob_v(const std::vector<uint8_t> &b, kb::LobForm form)
{
    LV v;
    v.kind = LV::Blob;
    v.raw = b;
    v.lob = kb::lob_blob(b, form);
    return v;
}

kb::Col stored(const LV &v)
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

// ---- values read back from SQLite ----------------------------------------

struct SV {
    int type = SQLITE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string s;   // text or blob bytes
};

std::vector<std::vector<SV>> read_rows(const std::string &dbfile, const std::string &sql, std::string *err)
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

size_t significant_digits(const std::string &s)
{
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9')
            d += c;
    size_t a = d.find_first_not_of('0'), b = d.find_last_not_of('0');
    return a == std::string::npos ? 0 : b - a + 1;
}

// "" when the value read back is the logical value, else what differs.
std::string mismatch(const LV &want, const SV &got)
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

kb::DbColumn dcol(const std::string &name, int type, int len, int form = -1)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    c.charsetform = form;
    return c;
}

kb::LogicalRow lrow(const std::vector<LV> &vals, kb::RowLayout layout = kb::RowLayout::Normal)
{
    kb::LogicalRow r;
    for (const LV &v : vals)
        r.cols.push_back(stored(v));
    r.layout = layout;
    return r;
}

std::vector<uint8_t> letters(size_t n, uint32_t seed) { return kb::pattern_bytes(n, seed); }

struct Fixture {
    kb::Database db = kb::standard_database();
    std::vector<LTable> expect;   // tables of SCOTT.dat
    LTable longs;                 // the table unloaded on its own
};

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

// Every row of the table in the target, in insertion order, against the
// expected rows; at most a few differences are reported.
void compare_table(const std::string &dbfile, const LTable &t)
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

const LTable *find(const std::vector<LTable> &ts, const std::string &name)
{
    for (const LTable &t : ts)
        if (t.name == name)
            return &t;
    return nullptr;
}

// Builds the database in w, runs kelvo with "export dict", "load dict" and
// the given unload commands, and imports each dump (data/NAME.dat) into its
// target directory. Returns why it stopped, or "".
std::string run_pipeline(dumptest::workdir &w, kb::Database &db, const std::string &unloads,
                         const std::vector<std::pair<std::string, std::string>> &dumps)
{
    if (kb::build_database(db, w.dir) != 0 || kb::write_config(w.dir, db.files) != 0)
        return "the database was not built";
    KelvoRun k = run_kelvo({"config=" + w.dir + "/config.ini"}, "export dict\nload dict\n" + unloads + "exit\n", w.dir);
    if (k.status != 0)
        return "kelvo: " + k.err;
    for (const auto &[dump, target] : dumps) {
        dumptest::run_result r =
            w.run("USERID=scott/tiger@" + w.path(target) + " FILE=" + w.path("data/" + dump + ".dat"));
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

// ---- LOB columns ---------------------------------------------------------

// A row of a table with LOB columns: each LOB value joins the table's
// lob_values and the row names it there.
kb::LogicalRow lob_row(kb::DbTable &t, const std::vector<LV> &vals)
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
std::string mixed_text(size_t n, uint32_t seed)
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

kb::DbLob dlob(const std::string &column, int chunk)
{
    kb::DbLob l;
    l.column = column;
    l.chunk = chunk;
    return l;
}

// Adds table t with these rows (LOB values stored as the table's own) and
// its expected rows, padded with NULLs to the compared columns.
void add_lob_table(Fixture &f, kb::DbTable t, LTable expect, std::vector<std::vector<LV>> rows)
{
    for (auto &r : rows) {
        t.rows.push_back(lob_row(t, r));
        r.resize(expect.cols.size());
        expect.rows.push_back(r);
    }
    f.db.tables.push_back(std::move(t));
    f.expect.push_back(std::move(expect));
}

Fixture make_lob_database()
{
    using F = kb::LobForm;
    Fixture f;
    f.db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    f.db.tablespaces.push_back({"DATA2", 5, 0, {kb::DbFile{5, 5, 256, false, 0, "data2_01.dbf", ""}}});

    // BasicFile CLOB, NCLOB and BLOB: inline, in chunks named by the locator
    // and through the LOB index, empty, NULL, and one of 1 MiB.
    kb::DbTable t;
    t.owner = "SCOTT";
    t.name = "LOBS";
    t.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("N", 112, 0, 2), dcol("B", 113, 0), dcol("TAIL", 1, 10)};
    t.lobs = {dlob("C", 1), dlob("N", 2), dlob("B", 4)};
    // Small leaves and branches: the index of C is a tree of several levels,
    // with stale entries to pass over.
    t.lobs[0].shape.leaf_max = 3;
    t.lobs[0].shape.branch_max = 2;
    t.lobs[0].shape.dead_entries = true;
    t.lobs[1].shape.truncate_keys = false;
    t.lobs[2].shape.dead_entries = true;
    LTable lt{"LOBS", {"ID", "C", "N", "B", "TAIL"}, {}};
    std::vector<uint8_t> zeros = {0x00, 0x01, 0x00, 0x00, 0xFF, 0x00};
    // The first chunk of C (4066 UTF-16 units) ends inside a surrogate pair.
    std::string split_pair = std::string(4065, 'q') + "\xf0\x9f\x98\x80" + mixed_text(60000, 1);
    std::vector<std::vector<LV>> rows = {
        {num_v("1"), clob_v("h\xc3\xa9llo w\xc3\xb6rld \xe2\x82\xac \xf0\x9f\x98\x80", F::BasicInline),
         clob_v("\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1", F::BasicInline), blob_v(zeros, F::BasicInline), text_v("t1")},
        {num_v("2"), clob_v("", F::BasicInline), clob_v("", F::BasicInline), blob_v({}, F::BasicInline), text_v("empty")},
        {num_v("3"), null_v(), null_v(), null_v(), text_v("nulls")},
        {num_v("4"), clob_v(split_pair, F::BasicChunks), clob_v(mixed_text(9000, 2), F::BasicIndexOnly),
         blob_v(letters(3965, 3), F::BasicChunks), text_v("chunks")},
        // 1982 characters of AL16UTF16 are the largest inline value.
        {num_v("5"), clob_v(std::string(1982, 'x'), F::BasicInline), null_v(), blob_v(letters(1 << 20, 4), F::BasicChunks),
         text_v("1 MiB")},
        {num_v("6"), null_v(), clob_v(mixed_text(300, 5), F::BasicChunks), null_v(), text_v("mid")},
    };
    for (int i = 7; i < 40; i++)
        rows.push_back({num_v(std::to_string(i)), clob_v(mixed_text(50 + (size_t)i * 7, (uint32_t)i), F::BasicIndexOnly),
                        null_v(), i % 4 ? null_v() : blob_v(letters((size_t)i * 100, (uint32_t)i), F::BasicIndexOnly)});
    add_lob_table(f, t, lt, rows);

    // SecureFile: inline with short and long length fields, extent lists,
    // header blocks with extents and itrees of every level, empty values.
    kb::DbTable s;
    s.owner = "SCOTT";
    s.name = "SLOBS";
    s.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("N", 112, 0, 2), dcol("B", 113, 0)};
    s.lobs = {dlob("C", 1), dlob("N", 1), dlob("B", 1)};
    LTable ls{"SLOBS", {"ID", "C", "N", "B"}, {}};
    LV long_len = clob_v("na\xc3\xafve \xe2\x98\x83 \xf0\x9d\x84\x9e", F::SecureInline);
    long_len.lob.len_bytes = 8;
    long_len.lob.skip = 3;
    LV ext = clob_v(mixed_text(30000, 6), F::SecureExtents);
    ext.lob.extent_blocks = 3;
    LV filled = clob_v(mixed_text(4000, 7), F::SecureExtents);
    filled.lob.block_fill = 1000;
    LV batches = blob_v(letters(100000, 8), F::SecureExtents);
    batches.lob.extent_blocks = 9;   // more than one 32 KiB batch per extent
    LV data_block = clob_v(mixed_text(1500, 9), F::SecureHeader);
    data_block.lob.itree_data_block = true;
    LV hdr_only = clob_v(mixed_text(5000, 10), F::SecureHeader);
    LV tree3 = blob_v(letters(600000, 11), F::SecureHeader);
    tree3.lob.extent_blocks = 4;
    tree3.lob.hdr_extents = 2;
    tree3.lob.itree_level = 3;
    tree3.lob.itree_fanout = 3;
    LV tree4 = clob_v(std::string(2500, 'w'), F::SecureHeader);
    tree4.lob.extent_blocks = 1;
    tree4.lob.block_fill = 500;
    tree4.lob.hdr_extents = 0;
    tree4.lob.itree_level = 4;
    tree4.lob.itree_fanout = 2;
    LV tree1 = blob_v(letters(70000, 12), F::SecureHeader);
    tree1.lob.extent_blocks = 2;
    tree1.lob.hdr_extents = 1;
    std::vector<std::vector<LV>> srows = {
        {num_v("1"), clob_v("\xc3\xa9t\xc3\xa9", F::SecureInline), long_len, blob_v(zeros, F::SecureInline)},
        {num_v("2"), clob_v("", F::SecureEmpty), clob_v("", F::SecureInline), blob_v({}, F::SecureEmpty)},
        {num_v("3"), null_v(), null_v(), null_v()},
        {num_v("4"), ext, filled, batches},
        {num_v("5"), data_block, hdr_only, tree3},
        {num_v("6"), tree4, null_v(), tree1},
    };
    add_lob_table(f, s, ls, srows);

    // LOB columns in a partitioned table, one partition in the second datafile.
    kb::DbTable p;
    p.owner = "SCOTT";
    p.name = "PLOBS";
    p.cols = {dcol("ID", 2, 22), dcol("D", 112, 0), dcol("B", 113, 0)};
    p.lobs = {dlob("D", 2), dlob("B", 1)};
    LTable lp{"PLOBS", {"ID", "D", "B"}, {}};
    for (int n = 0; n < 2; n++) {
        kb::DbPart dp;
        dp.name = "P" + std::to_string(n);
        if (n == 1)
            dp.tablespace = "DATA2";
        for (int i = 0; i < 3; i++) {
            int id = n * 10 + i;
            std::vector<LV> r = {num_v(std::to_string(id)),
                                 i == 0 ? clob_v(dp.name, F::BasicInline)
                                        : clob_v(mixed_text(3000 * (size_t)i, (uint32_t)id), F::BasicChunks),
                                 i == 1 ? null_v() : blob_v(letters(9000, (uint32_t)id), F::BasicIndexOnly)};
            dp.rows.push_back(lob_row(p, r));
            lp.rows.push_back(r);
        }
        p.parts.push_back(dp);
    }
    f.db.tables.push_back(p);
    f.expect.push_back(lp);

    // A LONG beside LOB columns: the LONG's data and the LOB values follow
    // the row.
    kb::DbTable l;
    l.owner = "SCOTT";
    l.name = "LONGLOB";
    l.cols = {dcol("ID", 2, 22), dcol("L", 8, 0), dcol("C", 112, 0), dcol("B", 113, 0)};
    l.lobs = {dlob("C", 1), dlob("B", 1)};
    l.seg.ext_blocks = 16;
    LTable ll{"LONGLOB", {"ID", "L", "C", "B"}, {}};
    std::vector<std::vector<LV>> lrows = {
        {num_v("1"), long_v(letters(40000, 13)), clob_v(mixed_text(9000, 14), F::BasicChunks),
         blob_v(letters(100, 15), F::BasicInline)},
        {num_v("2"), null_v(), clob_v("x", F::BasicInline)},
        {num_v("3"), long_v(letters(10, 16)), null_v(), blob_v(letters(20000, 17), F::BasicChunks)},
    };
    add_lob_table(f, l, ll, lrows);

    // LOB segments in a tablespace of 16 KiB blocks: BasicFile chunks of two
    // blocks (32 KiB less their headers) and SecureFile batches of two blocks.
    f.db.tablespaces.push_back({"LOB16", 6, 0, {kb::DbFile{6, 6, 512, false, 0, "lob16_01.dbf", ""}}, 16384});
    kb::DbTable w;
    w.owner = "SCOTT";
    w.name = "WIDE";
    w.cols = {dcol("ID", 2, 22), dcol("C", 112, 0), dcol("B", 113, 0)};
    w.lobs = {dlob("C", 2), dlob("B", 1)};
    for (kb::DbLob &x : w.lobs)
        x.shape.tablespace = "LOB16";
    LTable lw{"WIDE", {"ID", "C", "B"}, {}};
    LV wide_ext = blob_v(letters(200000, 18), F::SecureExtents);
    wide_ext.lob.extent_blocks = 5;
    std::vector<std::vector<LV>> wrows = {
        {num_v("1"), clob_v(mixed_text(40000, 19), F::BasicChunks), wide_ext},
        {num_v("2"), clob_v(mixed_text(20000, 20), F::BasicIndexOnly), blob_v(letters(50000, 21), F::SecureHeader)},
    };
    add_lob_table(f, w, lw, wrows);
    return f;
}

class LobPipeline : public PipelineSuite<LobPipeline> {
public:
    static Fixture make() { return make_lob_database(); }
    static inline const char *unloads = "unload user scott\nunload table scott.slobs\n";
    static std::vector<std::pair<std::string, std::string>> dumps()
    {
        return {{"SCOTT", "all"}, {"SCOTT_SLOBS", "one"}};
    }
};

TEST_F(LobPipeline, BasicFileInlineChunkedAndThroughTheLobIndex)
{
    check("all", "LOBS");
}

TEST_F(LobPipeline, SecureFileInlineExtentsHeaderBlocksAndItrees)
{
    check("all", "SLOBS");
    check("one", "SLOBS");
}

TEST_F(LobPipeline, PartitionedTableLongBesideLobsAndSixteenKiBBlocks)
{
    check("all", "PLOBS");
    check("all", "LONGLOB");
    check("all", "WIDE");
    EXPECT_EQ(dumptest::query(w->path("all/SCOTT.db"), "select count(*) from sqlite_master where type = 'table'"),
              std::to_string(f->expect.size()));
}

} // namespace
