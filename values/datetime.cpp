// DATE, TIMESTAMP and TIMESTAMP WITH TIME ZONE as ISO-8601 text; a time zone
// region by its name, the local time in that region at the stored instant.
#include <cstdio>
#include <cstring>

#include "kelvo/values.h"

static uint32_t be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
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

static void put_fraction(std::string &out, uint32_t ns, bool nine_digits)
{
    if (!ns && !nine_digits)
        return;
    char f[16];
    snprintf(f, sizeof f, ".%09u", ns);
    size_t l = strlen(f);
    while (!nine_digits && f[l - 1] == '0')
        l--;
    out.append(f, l);
}

int ora_timestamp_text(const uint8_t *b, size_t n, bool with_zone, std::string &out, tz_region_miss *miss,
                       bool nine_digits)
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
        put_fraction(out, ns, nine_digits);
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
    put_fraction(out, ns, nine_digits);
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

