// The saved scan read back: a file kelvo wrote comes back whole; one whose
// bytes were changed, cut or lengthened is refused with the reason, also
// when its check value was made to match. And the value tests the profiles
// are made of, at the edges where a guess could go wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelvo.h"

namespace {

using Bytes = std::vector<uint8_t>;

SCAN_RESULT sample()
{
    SCAN_RESULT r;
    r.charset = "AL32UTF8";
    SCAN_OBJ a{};
    a.objd = 73001;
    a.tsn = 4;
    a.bsz = 8192;
    a.blocks = 3;
    a.rows = 10;
    a.chained = 1;
    a.ncol = 2;
    a.ranges = {{4, 130, 140, 2}, {5, 7, 7, 1}};
    a.cols.resize(2);
    a.cols[0] = {10, 30, 10, 0, 0, 2, 0, 3, 3};
    a.cols[1] = {4, 28, 0, 4, 0, 0, 0, 7, 7};
    SCAN_OBJ b{};
    b.objd = 73005;
    b.tsn = 4;
    b.bsz = 8192;
    b.flag = SCAN_CLUSTER;
    b.blocks = 1;
    b.rows = 17;
    b.ranges = {{4, 200, 200, 1}};
    r.objs = {a, b};
    return r;
}

// FNV-1a, the file's check value, recomputed after a change so that the
// structural checks are reached.
void reseal(Bytes &b)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i + 4 < b.size(); i++)
        h = (h ^ b[i]) * 16777619u;
    for (int i = 0; i < 4; i++)
        b[b.size() - 4 + (size_t)i] = (uint8_t)(h >> (8 * i));
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + (size_t)i] = (uint8_t)(v >> (8 * i));
}

std::string refusal(const Bytes &b)
{
    SCAN_RESULT r;
    const char *why = nullptr;
    if (scan_decode(b.data(), b.size(), r, &why) == 0)
        return "accepted";
    EXPECT_TRUE(r.objs.empty() || why);
    return why ? why : "no reason";
}

TEST(SavedScan, RoundTripKeepsEveryCount)
{
    Bytes b;
    scan_encode(sample(), b);
    SCAN_RESULT r;
    const char *why = nullptr;
    ASSERT_EQ(scan_decode(b.data(), b.size(), r, &why), 0) << why;
    ASSERT_EQ(r.objs.size(), 2u);
    EXPECT_EQ(r.charset, "AL32UTF8");
    const SCAN_OBJ &a = r.objs[0];
    EXPECT_EQ(a.objd, 73001u);
    EXPECT_EQ(a.ranges.size(), 2u);
    EXPECT_EQ(a.ranges[1].fno, 5u);
    EXPECT_EQ(a.cols[1].date, 4u);
    EXPECT_EQ(a.cols[1].maxlen, 7u);
    EXPECT_EQ(r.objs[1].flag, SCAN_CLUSTER);
    EXPECT_EQ(scan_find(r, 73005), &r.objs[1]);
    EXPECT_EQ(scan_find(r, 73004), nullptr);
}

TEST(SavedScan, DamageIsRefusedWithItsReason)
{
    Bytes good;
    scan_encode(sample(), good);
    // Offsets: header 80; first object: fixed fields 80..143 (ncol at 96,
    // nranges at 100, rows at 112), ranges from 144, columns from 176.
    struct Case {
        const char *what;
        void (*change)(Bytes &);
        const char *why;
    };
    const Case cases[] = {
        {"a bit flipped", [](Bytes &b) { b[150] ^= 0x10; }, "check value mismatch"},
        {"cut short", [](Bytes &b) { b.resize(b.size() - 70); reseal(b); }, "object record cut short"},
        {"cut to the header", [](Bytes &b) { b.resize(40); }, "not a saved scan"},
        {"another version", [](Bytes &b) { put32(b, 8, 2); reseal(b); }, "unknown version"},
        {"objects past the end", [](Bytes &b) { put32(b, 12, 1000000); reseal(b); }, "object count exceeds the file"},
        {"columns past the limit", [](Bytes &b) { put32(b, 96, 100000); reseal(b); },
         "column or datafile count out of range"},
        {"ranges past the end", [](Bytes &b) { put32(b, 100, 4000); reseal(b); }, "object record cut short"},
        {"range reversed", [](Bytes &b) { put32(b, 148, 150); reseal(b); }, "block range out of order"},
        {"blocks not in the ranges", [](Bytes &b) { put32(b, 156, 1); reseal(b); },
         "block ranges do not add up to the blocks"},
        {"more values than rows", [](Bytes &b) { put32(b, 112, 3); reseal(b); }, "column counts exceed the values"},
        {"bytes after the objects", [](Bytes &b) { b.insert(b.end() - 4, 8, 0); reseal(b); },
         "bytes after the last object"},
        {"objects out of order", [](Bytes &b) { put32(b, 80, 80000); reseal(b); }, "data objects out of order"},
        {"no character set", [](Bytes &b) { b[16] = 0; reseal(b); }, "character set name malformed"},
    };
    for (const Case &c : cases) {
        Bytes b = good;
        c.change(b);
        EXPECT_EQ(refusal(b), c.why) << c.what;
    }
}

TEST(ScanValues, NumbersDatesAndTextAtTheirEdges)
{
    // Canonical NUMBERs only: a leading or trailing zero digit is no value
    // Oracle writes, nor is a negative number without its terminator.
    EXPECT_TRUE(scan_number(Bytes{0x80}.data(), 1));                    // 0
    EXPECT_TRUE(scan_number(Bytes{0xC1, 0x02}.data(), 2));              // 1
    EXPECT_TRUE(scan_number(Bytes{0x3E, 0x60, 0x66}.data(), 3));        // -5
    EXPECT_TRUE(scan_number(Bytes{0xC0, 0x0B}.data(), 2));              // 0.1
    EXPECT_FALSE(scan_number(Bytes{0xC1, 0x01}.data(), 2));             // trailing zero digit
    EXPECT_FALSE(scan_number(Bytes{0xC2, 0x01, 0x02}.data(), 3));       // leading zero digit
    EXPECT_FALSE(scan_number(Bytes{0x3E, 0x60}.data(), 2));             // negative, no terminator
    EXPECT_FALSE(scan_number(Bytes{0xFF, 0x65}.data(), 2));             // legacy infinity
    EXPECT_FALSE(scan_number(Bytes{0x00}.data(), 1));
    EXPECT_FALSE(scan_number(Bytes(22, 0xC1).data(), 22));
    // Short text can be a NUMBER ("ABf": a negative number), text mostly not.
    EXPECT_TRUE(scan_number((const uint8_t *)"ABf", 3));
    EXPECT_FALSE(scan_number((const uint8_t *)"SMITH", 5));

    EXPECT_TRUE(scan_date(Bytes{120, 124, 2, 29, 1, 1, 1}.data(), 7));   // 2024-02-29
    EXPECT_FALSE(scan_date(Bytes{120, 123, 2, 29, 1, 1, 1}.data(), 7));  // 2023 has no Feb 29
    EXPECT_FALSE(scan_date(Bytes{120, 100, 4, 31, 1, 1, 1}.data(), 7));  // April 31
    EXPECT_TRUE(scan_date(Bytes{53, 88, 1, 1, 1, 1, 1}.data(), 7));      // 4712 BC
    EXPECT_FALSE(scan_date(Bytes{100, 100, 1, 1, 1, 1, 1}.data(), 7));   // year 0
    EXPECT_FALSE(scan_date(Bytes{120, 124, 1, 1, 0, 1, 1}.data(), 7));   // hour byte 0
    EXPECT_TRUE(scan_stamp(Bytes{120, 118, 7, 13, 9, 40, 27, 16, 192, 221, 56}.data(), 11));
    EXPECT_FALSE(scan_stamp(Bytes{120, 118, 7, 13, 9, 40, 27, 0x3B, 0x9A, 0xCA, 0x00}.data(), 11));  // 1e9 ns

    int utf8 = scan_charset_kind("AL32UTF8"), single = scan_charset_kind("WE8MSWIN1252");
    EXPECT_TRUE(scan_text((const uint8_t *)"caf\xc3\xa9\t!", 7, utf8));
    EXPECT_FALSE(scan_text((const uint8_t *)"caf\xe9", 4, utf8));         // Latin-1 byte in UTF-8
    EXPECT_TRUE(scan_text((const uint8_t *)"caf\xe9", 4, single));
    EXPECT_FALSE(scan_text((const uint8_t *)"\xc0\xaf", 2, utf8));        // overlong
    EXPECT_FALSE(scan_text((const uint8_t *)"a\x01", 2, single));
    EXPECT_FALSE(scan_text((const uint8_t *)"caf\xe9", 4, scan_charset_kind("US7ASCII")));

    // A DATE is text only when its month, day and hour bytes are tabs, line
    // feeds or carriage returns and the rest printable: 2010-10-09 08:40:34.
    SCAN_COL c{};
    Bytes textual{'x', 'n', '\n', '\t', '\t', '!', '#'};
    for (const Bytes &v : {textual, Bytes{'x', 'n', 11, '\t', '\t', '!', '#'}, Bytes{'x', 'n', '\n', 9, 9, 1, 1}})
        scan_count_value(&c, v.data(), v.size(), utf8);
    EXPECT_EQ(c.date, 3u);
    EXPECT_EQ(c.text, 1u);

    // Read sixteen or eight bytes at a time, also past a value's end inside
    // its block: an unprintable byte or a character outside the value never
    // counts, one at any place inside it always does.
    for (size_t n = 0; n <= 40; n++)
        for (size_t bad = 0; bad < n + 9; bad++)
            for (uint8_t c : {(uint8_t)0x01, (uint8_t)0x7F, (uint8_t)0xE9}) {
                Bytes b(n + 9, 'x');
                b[bad] = c;
                for (size_t room : {n, n + 9})
                    EXPECT_EQ(scan_text(b.data(), n, utf8, room), bad >= n) << n << " " << bad << " " << room;
                EXPECT_EQ(scan_text(b.data(), n, single, n + 9), bad >= n || c == 0xE9) << n << " " << bad;
            }
}

TEST(ScanGuess, OrderAndThreshold)
{
    auto guess = [](uint64_t values, uint64_t num, uint64_t date, uint64_t stamp, uint64_t text, uint64_t other) {
        SCAN_COL c{};
        c.values = values;
        c.num = num;
        c.date = date;
        c.stamp = stamp;
        c.text = text;
        c.other = other;
        c.minlen = 1;
        c.maxlen = 12;
        char buf[32];
        SCAN_GUESS g = scan_guess(&c);
        return std::string(scan_type_text(&g, buf, sizeof(buf))) + " " + std::to_string(g.fit);
    };
    EXPECT_EQ(guess(100, 100, 100, 0, 0, 0), "DATE 100");          // dates that are also numbers
    EXPECT_EQ(guess(100, 0, 40, 60, 0, 0), "TIMESTAMP 100");       // 7-byte ones among them
    EXPECT_EQ(guess(100, 0, 100, 0, 0, 0), "DATE 100");
    EXPECT_EQ(guess(100, 95, 0, 0, 100, 0), "NUMBER 95");          // exactly the threshold
    EXPECT_EQ(guess(100, 94, 0, 0, 94, 6), "RAW(12) 6");           // below it: nothing fits
    EXPECT_EQ(guess(100, 3, 0, 0, 100, 0), "VARCHAR2(12) 100");
    EXPECT_EQ(guess(0, 0, 0, 0, 0, 0), "RAW(12) 0");               // only NULLs
}

} // namespace
