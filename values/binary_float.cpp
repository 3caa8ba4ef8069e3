// BINARY_FLOAT and BINARY_DOUBLE: big-endian IEEE-754 with the sign bit set
// for positives and every bit inverted for negatives, so that the bytes sort
// like the values.
#include <charconv>
#include <cmath>
#include <cstring>

#include "kelvo/values.h"

int ora_binary_float(const uint8_t *b, size_t n, bool dbl, double &out)
{
    if (n != (dbl ? 8u : 4u))
        return 1460;
    uint8_t c[8];
    for (size_t i = 0; i < n; i++)
        c[i] = (b[0] & 0x80) ? b[i] : (uint8_t)~b[i];
    c[0] ^= (b[0] & 0x80) ? 0x80 : 0;
    uint64_t bits = 0;
    for (size_t i = 0; i < n; i++)
        bits = bits << 8 | c[i];
    if (dbl) {
        double d;
        memcpy(&d, &bits, 8);
        out = d;
    } else {
        uint32_t w = (uint32_t)bits;
        float f;
        memcpy(&f, &w, 4);
        out = f;
    }
    return 0;
}


int ora_binary_float_text(const uint8_t *b, size_t n, bool dbl, char *out, size_t *len)
{
    double d;
    if (int rc = ora_binary_float(b, n, dbl, d))
        return rc;
    const char *special = d != d ? "NaN" : d == HUGE_VAL ? "Inf" : d == -HUGE_VAL ? "-Inf" : nullptr;
    if (special) {
        *len = strlen(special);
        memcpy(out, special, *len);
        return 0;
    }
    // The shortest text that reads back to the same bits of its own width.
    std::to_chars_result r = dbl ? std::to_chars(out, out + ORA_FLOAT_TEXT_SIZE, d)
                                 : std::to_chars(out, out + ORA_FLOAT_TEXT_SIZE, (float)d);
    *len = (size_t)(r.ptr - out);
    return 0;
}
