// Oracle's internal value formats turned into SQL values: NUMBER as INTEGER
// (integral, within 64 bits), REAL (at most 15 significant digits, which a
// double gives back exactly) or exact decimal text; dates and timestamps as
// ISO-8601 text (a time zone region by its name); intervals as Oracle's interval literals; BINARY_FLOAT and
// BINARY_DOUBLE as REAL. Malformed bytes give the Oracle error code a server
// would raise, never a guess.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "oci_impl.h"
#include "tz_region.h"

static uint32_t be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

int ora_number_value(const uint8_t *b, size_t n, sql_value &v, std::string &scratch)
{
    if (n == 0 || n > 21)
        return 1722;
    if (n == 1 && b[0] == 0x80) {
        v.kind = sql_value::INT;
        v.i = 0;
        return 0;
    }
    // The legacy infinities of version 5 imports.
    if ((n == 1 && b[0] == 0x00) || (n == 2 && b[0] == 0xFF && b[1] == 0x65)) {
        scratch = n == 1 ? "-~" : "~";
        v.kind = sql_value::TEXT;
        v.p = scratch.data();
        v.n = scratch.size();
        return 0;
    }
    bool neg = !(b[0] & 0x80);
    int e = neg ? (int)(uint8_t)~b[0] - 193 : (int)b[0] - 193;
    size_t m = n - 1;
    if (neg && m > 0 && b[n - 1] == 102)
        m--;
    if (m == 0)
        return 1722;
    uint8_t d[20];
    for (size_t i = 0; i < m; i++) {
        int x = neg ? 101 - (int)b[1 + i] : (int)b[1 + i] - 1;
        if (x < 0 || x > 99)
            return 1722;
        d[i] = (uint8_t)x;
    }
    // Integral: every base-100 digit lies before the point.
    if (e >= 0 && (int)m <= e + 1 && e <= 9) {
        unsigned __int128 acc = 0;
        for (int i = 0; i <= e; i++)
            acc = acc * 100 + (i < (int)m ? d[i] : 0);
        unsigned __int128 lim = neg ? (unsigned __int128)1 << 63 : ((unsigned __int128)1 << 63) - 1;
        if (acc <= lim) {
            v.kind = sql_value::INT;
            v.i = neg ? (sqlite3_int64)(0 - (uint64_t)acc) : (sqlite3_int64)(uint64_t)acc;
            return 0;
        }
    }
    // Decimal text: the digit string with the point after 2(e+1) digits.
    char digits[48];
    int nd = 0;
    for (size_t i = 0; i < m; i++) {
        digits[nd++] = (char)('0' + d[i] / 10);
        digits[nd++] = (char)('0' + d[i] % 10);
    }
    int point = 2 * (e + 1);
    scratch.clear();
    if (neg)
        scratch += '-';
    if (point <= 0) {
        scratch += "0.";
        scratch.append((size_t)-point, '0');
        scratch.append(digits, nd);
    } else if (point >= nd) {
        scratch.append(digits, nd);
        scratch.append((size_t)(point - nd), '0');
    } else {
        scratch.append(digits, point);
        scratch += '.';
        scratch.append(digits + point, nd - point);
    }
    // Strip the leading zero of the integer part and trailing zeros of the
    // fraction that whole base-100 digits bring.
    size_t s0 = neg ? 1 : 0;
    size_t dot = scratch.find('.');
    size_t int_end = dot == std::string::npos ? scratch.size() : dot;
    size_t lead = s0;
    while (lead + 1 < int_end && scratch[lead] == '0')
        lead++;
    scratch.erase(s0, lead - s0);
    if (dot != std::string::npos) {
        while (scratch.back() == '0')
            scratch.pop_back();
        if (scratch.back() == '.')
            scratch.pop_back();
    }
    int sig = 0;
    bool started = false;
    for (char c : scratch)
        if (c >= '0' && c <= '9') {
            if (c != '0')
                started = true;
            if (started)
                sig++;
        }
    // Trailing zeros of an integer count as significant for a double only up
    // to its exponent range, which 15 digits of mantissa always cover.
    if (sig <= 15 && scratch.find('.') != std::string::npos) {
        v.kind = sql_value::REAL;
        v.d = strtod(scratch.c_str(), nullptr);
        return 0;
    }
    v.kind = sql_value::TEXT;
    v.p = scratch.data();
    v.n = scratch.size();
    return 0;
}

// Oracle's signed year (no year 0) as ISO-8601 (astronomical) year text.
static int put_date(const uint8_t *b, char *out, size_t sz)
{
    if (b[0] < 1 || b[1] < 1)
        return 1841;
    int year = ((int)b[0] - 100) * 100 + ((int)b[1] - 100);
    if (year == 0 || year < -4712 || year > 9999 || b[1] > 199)
        return 1841;
    if (b[2] < 1 || b[2] > 12)
        return 1843;
    if (b[3] < 1 || b[3] > 31)
        return 1847;
    if (b[4] < 1 || b[4] > 24)
        return 1850;
    if (b[5] < 1 || b[5] > 60)
        return 1851;
    if (b[6] < 1 || b[6] > 60)
        return 1852;
    int astro = year < 0 ? year + 1 : year;
    // Written digit by digit: this runs for every DATE of an import.
    if (sz < 21)
        return 1841;
    char *o = out;
    if (astro < 0) {
        *o++ = '-';
        astro = -astro;
    }
    auto two = [&o](int v) {
        *o++ = (char)('0' + v / 10);
        *o++ = (char)('0' + v % 10);
    };
    two(astro / 100);
    two(astro % 100);
    *o++ = '-';
    two(b[2]);
    *o++ = '-';
    two(b[3]);
    *o++ = ' ';
    two(b[4] - 1);
    *o++ = ':';
    two(b[5] - 1);
    *o++ = ':';
    two(b[6] - 1);
    *o = 0;
    return 0;
}

int ora_date_text(const uint8_t *b, size_t n, std::string &out)
{
    if (n != 7)
        return 1858;
    char buf[40];
    int rc = put_date(b, buf, sizeof buf);
    if (rc)
        return rc;
    out = buf;
    return 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
static long days_from_civil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long)doe - 719468;
}

static void civil_from_days(long z, long &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = (long)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

static void put_fraction(std::string &out, uint32_t ns)
{
    if (!ns)
        return;
    char f[16];
    snprintf(f, sizeof f, ".%09u", ns);
    size_t l = strlen(f);
    while (f[l - 1] == '0')
        l--;
    out.append(f, l);
}

int ora_timestamp_text(const uint8_t *b, size_t n, bool with_zone, std::string &out, tz_region_miss *miss)
{
    if (miss)
        *miss = tz_region_miss{};
    if (with_zone ? n != 13 : (n != 7 && n != 11))
        return 1858;
    uint32_t ns = n >= 11 ? be32(b + 7) : 0;
    if (ns > 999999999)
        return 1880;
    char buf[48];
    int rc = put_date(b, buf, sizeof buf);
    if (rc)
        return rc;
    if (!with_zone) {
        out = buf;
        put_fraction(out, ns);
        return 0;
    }
    long y = ((long)b[0] - 100) * 100 + ((long)b[1] - 100);
    if (y < 0)
        y++;
    long utc = days_from_civil(y, b[2], b[3]) * 86400L + (b[4] - 1) * 3600L + (b[5] - 1) * 60L + (b[6] - 1);
    // The stored instant is UTC. An offset zone shows local time and offset;
    // a region zone shows the local time in that region at that instant and
    // the region's name, or UTC with +00:00 when the region cannot be
    // resolved (the caller is told which id through miss).
    long off = 0;
    const char *region = nullptr;
    if (!(b[11] & 0x80)) {
        int tzh = (int)b[11] - 20;
        int tzm = (int)b[12] - 60;
        if (tzh < -15 || tzh > 15 || tzm < -59 || tzm > 59)
            return 1874;
        off = tzh * 3600L + tzm * 60L;
    } else {
        unsigned id = tz_region_id(b[11], b[12]);
        int32_t region_off;
        const char *name;
        if (tz_region_offset(id, utc, region_off, name) == TZ_REGION_OK) {
            off = region_off;
            region = name;
        } else if (miss) {
            miss->missed = true;
            miss->id = id;
        }
    }
    long secs = utc + off;
    long days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    long rem = secs - days * 86400;
    long ly;
    unsigned lm, ld;
    civil_from_days(days, ly, lm, ld);
    snprintf(buf, sizeof buf, "%s%04ld-%02u-%02u %02ld:%02ld:%02ld", ly < 0 ? "-" : "", ly < 0 ? -ly : ly, lm, ld,
             rem / 3600, rem / 60 % 60, rem % 60);
    out = buf;
    put_fraction(out, ns);
    if (region) {
        out += ' ';
        out += region;
        return 0;
    }
    long m = (off < 0 ? -off : off) / 60;
    snprintf(buf, sizeof buf, "%c%02ld:%02ld", off < 0 ? '-' : '+', m / 60, m % 60);
    out += buf;
    return 0;
}

int ora_interval_ym_text(const uint8_t *b, size_t n, std::string &out)
{
    if (n != 5)
        return 1867;
    long years = (long)be32(b) - 0x80000000L;
    int months = (int)b[4] - 60;
    if (months < -11 || months > 11 || (years > 0 && months < 0) || (years < 0 && months > 0))
        return 1867;
    bool neg = years < 0 || months < 0;
    char buf[40];
    snprintf(buf, sizeof buf, "%c%02ld-%02d", neg ? '-' : '+', neg ? -years : years, neg ? -months : months);
    out = buf;
    return 0;
}

int ora_interval_ds_text(const uint8_t *b, size_t n, std::string &out)
{
    if (n != 11)
        return 1867;
    long days = (long)be32(b) - 0x80000000L;
    int h = (int)b[4] - 60, mi = (int)b[5] - 60, s = (int)b[6] - 60;
    long ns = (long)be32(b + 7) - 0x80000000L;
    if (h < -23 || h > 23 || mi < -59 || mi > 59 || s < -59 || s > 59 || ns < -999999999L || ns > 999999999L)
        return 1867;
    bool neg = days < 0 || h < 0 || mi < 0 || s < 0 || ns < 0;
    bool pos = days > 0 || h > 0 || mi > 0 || s > 0 || ns > 0;
    if (neg && pos)
        return 1867;
    auto a = [](long x) { return x < 0 ? -x : x; };
    char buf[64];
    snprintf(buf, sizeof buf, "%c%02ld %02ld:%02ld:%02ld.%09ld", neg ? '-' : '+', a(days), a(h), a(mi), a(s), a(ns));
    out = buf;
    return 0;
}

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

const char *ora_message(int code)
{
    switch (code) {
    case 1722: return "invalid number";
    case 1841: return "(full) year must be between -4713 and +9999, and not be 0";
    case 1843: return "not a valid month";
    case 1847: return "day of month must be between 1 and last day of month";
    case 1850: return "hour must be between 0 and 23";
    case 1851: return "minutes must be between 0 and 59";
    case 1852: return "seconds must be between 0 and 59";
    case 1858: return "a non-numeric character was found where a numeric was expected";
    case 1867: return "the interval is invalid";
    case 1874: return "time zone hour must be between -15 and 15";
    case 1880: return "the fractional seconds must be between 0 and 999999999";
    case 1460: return "unimplemented or unreasonable conversion requested";
    default: return "invalid value";
    }
}
