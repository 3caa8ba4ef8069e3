// NUMBER: one exponent byte and up to twenty base-100 digits, as exact
// decimal text or as an SQL value (INTEGER, REAL or that text).
#include <cstdlib>
#include <cstring>

#include "kelvo/values.h"

namespace {

// The parts of a NUMBER: its sign, its base-100 exponent and digits.
struct ora_digits {
    bool neg = false;
    int e = 0;
    size_t m = 0;
    uint8_t d[20];
};

// 0, or 1722 when the bytes are not a NUMBER. Zero and the infinities are the
// caller's.
int split_number(const uint8_t *b, size_t n, ora_digits &x)
{
    x.neg = !(b[0] & 0x80);
    x.e = x.neg ? (int)(uint8_t)~b[0] - 193 : (int)b[0] - 193;
    x.m = n - 1;
    if (x.neg && x.m > 0 && b[n - 1] == 102)
        x.m--;
    if (x.m == 0)
        return 1722;
    for (size_t i = 0; i < x.m; i++) {
        int v = x.neg ? 101 - (int)b[1 + i] : (int)b[1 + i] - 1;
        if (v < 0 || v > 99)
            return 1722;
        x.d[i] = (uint8_t)v;
    }
    return 0;
}

bool is_zero(const uint8_t *b, size_t n) { return n == 1 && b[0] == 0x80; }

// The legacy infinities of version 5 imports: "-~" and "~", or nullptr.
const char *infinity_text(const uint8_t *b, size_t n)
{
    if (n == 1 && b[0] == 0x00)
        return "-~";
    if (n == 2 && b[0] == 0xFF && b[1] == 0x65)
        return "~";
    return nullptr;
}

// Whether a double holds the decimal text exactly, so that the REAL prints
// back as the same text: a fraction of at most 15 significant digits M / 10^k
// whose M is a multiple of 5^k, that is a multiple of 2^-k below 2^53.
// Integers beyond 64 bits and every other decimal stay exact text.
bool exact_double(const std::string &s)
{
    size_t dot = s.find('.');
    if (dot == std::string::npos)
        return false;
    uint64_t m = 0;
    int sig = 0;
    for (char c : s) {
        if (c < '0' || c > '9' || (sig == 0 && c == '0'))
            continue;
        if (++sig > 15)
            return false;
        m = m * 10 + (uint64_t)(c - '0');
    }
    for (size_t k = s.size() - dot - 1; k > 0; k--) {
        if (m % 5 != 0)
            return false;
        m /= 5;
    }
    return true;
}

}   // namespace

int ora_number_text(const uint8_t *b, size_t n, char *out, size_t *len)
{
    if (n == 0 || n > 21)
        return 1722;
    if (is_zero(b, n)) {
        out[0] = '0';
        *len = 1;
        return 0;
    }
    if (const char *inf = infinity_text(b, n)) {
        *len = strlen(inf);
        memcpy(out, inf, *len);
        return 0;
    }
    ora_digits x;
    if (int rc = split_number(b, n, x))
        return rc;
    // The decimal digits, the point after 2(e+1) of them; the exponent lies
    // within -65..62, so the text stays well inside ORA_NUMBER_TEXT_SIZE.
    char digits[40];
    int nd = 0;
    for (size_t i = 0; i < x.m; i++) {
        digits[nd++] = (char)('0' + x.d[i] / 10);
        digits[nd++] = (char)('0' + x.d[i] % 10);
    }
    int point = 2 * (x.e + 1);
    int first = 0;   // the leading zero a first digit below 10 brings
    while (first < nd && first < point && digits[first] == '0')
        first++;
    int last = nd;   // trailing zeros of the fraction
    while (last > first && last > point && digits[last - 1] == '0')
        last--;
    char *o = out;
    if (x.neg)
        *o++ = '-';
    if (point <= first) {
        *o++ = '0';
        if (last > first || point < 0) {
            *o++ = '.';
            for (int i = point; i < 0; i++)
                *o++ = '0';
            int from = point > 0 ? point : 0;
            memcpy(o, digits + from, (size_t)(last - from));
            o += last - from;
        }
    } else if (point >= last) {
        memcpy(o, digits + first, (size_t)(last - first));
        o += last - first;
        for (int i = last; i < point; i++)
            *o++ = '0';
    } else {
        memcpy(o, digits + first, (size_t)(point - first));
        o += point - first;
        *o++ = '.';
        memcpy(o, digits + point, (size_t)(last - point));
        o += last - point;
    }
    *len = (size_t)(o - out);
    return 0;
}

int ora_number_value(const uint8_t *b, size_t n, sql_value &v, std::string &scratch)
{
    if (n == 0 || n > 21)
        return 1722;
    if (is_zero(b, n)) {
        v.kind = sql_value::INT;
        v.i = 0;
        return 0;
    }
    ora_digits x;
    if (!infinity_text(b, n)) {
        if (int rc = split_number(b, n, x))
            return rc;
        // Integral: every base-100 digit lies before the point.
        if (x.e >= 0 && (int)x.m <= x.e + 1 && x.e <= 9) {
            unsigned __int128 acc = 0;
            for (int i = 0; i <= x.e; i++)
                acc = acc * 100 + (i < (int)x.m ? x.d[i] : 0);
            unsigned __int128 lim = x.neg ? (unsigned __int128)1 << 63 : ((unsigned __int128)1 << 63) - 1;
            if (acc <= lim) {
                v.kind = sql_value::INT;
                v.i = x.neg ? (int64_t)(0 - (uint64_t)acc) : (int64_t)(uint64_t)acc;
                return 0;
            }
        }
    }
    char buf[ORA_NUMBER_TEXT_SIZE];
    size_t len;
    if (int rc = ora_number_text(b, n, buf, &len))
        return rc;
    scratch.assign(buf, len);
    if (exact_double(scratch)) {
        v.kind = sql_value::REAL;
        v.d = strtod(scratch.c_str(), nullptr);
        return 0;
    }
    v.kind = sql_value::TEXT;
    v.p = scratch.data();
    v.n = scratch.size();
    return 0;
}
