// INTERVAL YEAR TO MONTH and DAY TO SECOND as Oracle's interval literals.
#include <cstdio>

#include "kelvo/values.h"

static uint32_t be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
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

