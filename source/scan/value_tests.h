// The value tests of the scan, inline: they run for every value of every
// row of the datafiles (scan.cpp), and are the public procedures of
// scan_value.cpp. See scan_value.cpp for what they check.
#pragma once

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelvo/scan.h"
#include "kelvo/utf8.h"

namespace scanval {

inline bool number(const uint8_t *p, size_t n)
{
    if (n == 0 || n > 21)
        return false;
    if (n == 1)
        return p[0] == 0x80;    // zero; the legacy infinities are no data a table holds
    if (p[0] & 0x80) {
        // Positive: digits stored as 1..100 (0..99 plus one).
        for (size_t i = 1; i < n; i++)
            if (p[i] < 1 || p[i] > 100)
                return false;
        return p[1] != 1 && p[n - 1] != 1;
    }
    // Negative: digits stored as 101..2 (0..99), ended by 102 unless the
    // mantissa is full (20 digits).
    size_t m = n - 1;
    if (p[n - 1] == 102)
        m--;
    else if (m != 20)
        return false;
    if (m == 0)
        return false;
    for (size_t i = 1; i <= m; i++)
        if (p[i] < 2 || p[i] > 101)
            return false;
    return p[1] != 101 && p[m] != 101;
}

inline bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Oracle's signed year (no year 0), 4712 BC to 9999 AD, and a real day.
// Every field is tested and the results joined before one branch: this runs
// for every 7-byte value of the datafiles.
inline bool date(const uint8_t *p, size_t n)
{
    if (n != 7)
        return false;
    const unsigned c = p[0], y = p[1], mo = p[2], d = p[3];
    const int year = ((int)c - 100) * 100 + ((int)y - 100);
    static const uint8_t days[16] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31, 0, 0, 0};
    bool ok = (c - 1u < 199u) & (y - 1u < 199u) & (year != 0) & (year >= -4712) & (year <= 9999);
    // A year's two bytes lie on one side of 100: AD both above, BC both below.
    ok &= ((c >= 100) == (y >= 100)) | (y == 100);
    ok &= (mo - 1u < 12u) & (d - 1u < days[mo & 15]) & (p[4] - 1u < 24u) & (p[5] - 1u < 60u) & (p[6] - 1u < 60u);
    if (!ok)
        return false;
    if (mo == 2 && d == 29) {
        int astro = year < 0 ? year + 1 : year;
        return leap(astro < 0 ? -astro : astro);
    }
    return true;
}

inline bool stamp(const uint8_t *p, size_t n)
{
    if (n != 11)
        return false;
    uint32_t ns = ((uint32_t)p[7] << 24) | ((uint32_t)p[8] << 16) | ((uint32_t)p[9] << 8) | p[10];
    return date(p, 7) && ns < 1000000000u;
}

// Tab, line feed and carriage return are text; other control characters
// (and DEL) are not.
inline bool printable_ascii(uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r'; }

inline bool utf8_text(const uint8_t *p, size_t n)
{
    size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            if (!printable_ascii(p[i]))
                return false;
            i++;
            continue;
        }
        // Overlong forms and code points past U+10FFFF are refused by the
        // sequence check; the C1 controls are no text. Surrogates pass:
        // Oracle's UTF8 writes them (CESU-8).
        uint32_t cp;
        size_t len = utf8_seq(p + i, n - i, true, &cp);
        if (len == 0 || (cp >= 0x80 && cp < 0xA0))
            return false;
        i += len;
    }
    return true;
}

// Bytes below 0x20 or above 0x7E (DEL and every byte with its top bit), as
// the top bit of their byte in x. Exact for the lowest such byte and every
// byte below it: a borrow only carries upwards.
inline uint64_t unprintable_bytes(uint64_t x)
{
    constexpr uint64_t ONES = 0x0101010101010101ull, HIGH = 0x8080808080808080ull;
    uint64_t below = (x - ONES * 0x20) & ~x & HIGH;
    uint64_t above = ((x + ONES * (127 - 0x7E)) | x) & HIGH;
    return below | above;
}

// The length of the run of printable ASCII (0x20 to 0x7E) at p, eight
// bytes at a time: most text is such runs, and this runs for every value.
inline size_t ascii_run(const uint8_t *p, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        memcpy(&x, p + i, 8);
        if (unprintable_bytes(x))
            break;
    }
    while (i < n && p[i] >= 0x20 && p[i] < 0x7F)
        i++;
    return i;
}

#if defined(__SSE2__)
// Sixteen bytes at p: a bit for each that is not printable ASCII.
inline uint32_t unprintable16(const uint8_t *p)
{
    __m128i x = _mm_loadu_si128((const __m128i *)p);
    __m128i ok = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(x, _mm_set1_epi8(0x7F)));
    return ~(uint32_t)_mm_movemask_epi8(ok) & 0xFFFF;
}
#endif

// The length of the run of printable ASCII at p, where `room` bytes (n or
// more) may be read at p: sixteen (or eight) bytes a load, the last load of
// a value inside its block reaching past its end with those bytes masked off.
inline size_t ascii_prefix(const uint8_t *p, size_t n, size_t room)
{
    size_t i = 0;
#if defined(__SSE2__)
    while (i < n && room >= 16 && room - 16 >= i) {
        uint32_t bad = unprintable16(p + i);
        if (n - i < 16)
            bad &= (1u << (n - i)) - 1;
        if (bad)
            return i + (size_t)__builtin_ctz(bad);
        i += 16;
    }
#endif
    while (i < n) {
        uint64_t x, bad;
        if (n - i >= 8) {
            memcpy(&x, p + i, 8);
            bad = unprintable_bytes(x);
        } else if (room >= 8 && room - 8 >= i) {
            memcpy(&x, p + i, 8);
            bad = unprintable_bytes(x) & ((1ull << (8 * (n - i))) - 1);
        } else {
            return i + ascii_run(p + i, n - i);
        }
        if (bad)
            return i + (size_t)__builtin_ctzll(bad) / 8;
        i += 8;
    }
    return n;
}

inline bool text(const uint8_t *p, size_t n, int kind, size_t room = 0)
{
    size_t run = ascii_prefix(p, n, room);
    if (run == n)
        return true;
    p += run;
    n -= run;
    if (kind == SCS_UTF8)
        return utf8_text(p, n);
    for (size_t i = 0; i < n; i++) {
        uint8_t c = p[i];
        if (c < 0x80 ? !printable_ascii(c) : kind == SCS_ASCII)
            return false;
    }
    return true;
}

// `room`: the bytes that may be read at p, when more than the value's own.
[[gnu::always_inline]] inline void count_value(SCAN_COL *c, const uint8_t *p, size_t n, int cs_kind, size_t room = 0)
{
    uint32_t len = (uint32_t)n;
    if (c->values == 0 || len < c->minlen)
        c->minlen = len;
    if (len > c->maxlen)
        c->maxlen = len;
    c->values++;
    c->bytes += n;
    bool num = n <= 21 && number(p, n), fit = num;
    c->num += num;
    bool when = false;
    if (n == 7 && date(p, n)) {
        c->date++;
        fit = when = true;
    } else if (n == 11 && stamp(p, n)) {
        c->stamp++;
        fit = when = true;
    }
    // In UTF-8 a positive NUMBER is never text: its exponent byte (0x80 and
    // up) would have to lead a sequence that its digits (1 to 100) cannot
    // continue. Nor is a DATE or TIMESTAMP in any character set unless its
    // month byte (1 to 12) is a tab or a line feed: any other is a control
    // character.
    bool no_text = (cs_kind == SCS_UTF8 && num && p[0] >= 0x80) || (when && p[2] != '\t' && p[2] != '\n');
    if (!no_text && text(p, n, cs_kind, room)) {
        c->text++;
        fit = true;
    }
    if (!fit)
        c->other++;
}

} // namespace scanval
