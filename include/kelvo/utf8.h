// UTF-8 sequences checked one at a time: shared by the character set
// conversion of the dump readers and the text test of the scan.
#pragma once

#include <cstddef>
#include <cstdint>

// Length of a valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
// With cesu, a 3-byte encoded surrogate is accepted and *cp holds its value.
inline size_t utf8_seq(const uint8_t *p, size_t n, bool cesu, uint32_t *cp)
{
    uint8_t c = p[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t len;
    uint32_t v;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        v = c & 0x07;
    } else {
        return 0;
    }
    if (len > n)
        return 0;
    for (size_t i = 1; i < len; i++) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        v = v << 6 | (p[i] & 0x3F);
    }
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)))
        return 0;
    if (v >= 0xD800 && v <= 0xDFFF && !cesu)
        return 0;
    *cp = v;
    return len;
}
