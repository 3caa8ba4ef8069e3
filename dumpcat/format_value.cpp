// A column value as text: scalar types through the shared decoders, character
// data converted to UTF-8 (invalid sequences as U+FFFD, counted), binary data
// as hex or base64 written as it streams.
#include <array>

#include "dumpcat.h"

int dc_scalar_text(dc_run &run, const dc_column &c, const uint8_t *p, size_t n)
{
    std::string &s = run.text;
    s.clear();
    char buf[ORA_NUMBER_TEXT_SIZE];
    size_t len = 0;
    int rc = 0;
    switch (c.kind) {
    case K_NUMBER:
        rc = ora_number_text(p, n, buf, &len);
        s.assign(buf, rc ? 0 : len);
        return rc;
    case K_DATE: return ora_date_text(p, n, s);
    case K_TIMESTAMP: return ora_timestamp_text(p, n, false, s, nullptr, true);
    case K_TSTZ:
        // The zone after a space, an offset as a region name is: both forms
        // read back with one format mask.
        rc = ora_timestamp_text(p, n, true, s, nullptr, true);
        if (rc == 0 && s.size() > 6 && (s[s.size() - 6] == '+' || s[s.size() - 6] == '-') && s[s.size() - 7] != ' ') {
            char zone[6];
            memcpy(zone, s.data() + s.size() - 6, 6);
            s.resize(s.size() - 6);
            s += ' ';
            s.append(zone, 6);
        }
        return rc;
    case K_TSLTZ:
        // Stored in the database time zone: the zone goes with the text.
        rc = ora_timestamp_text(p, n, false, s, nullptr, true);
        if (rc == 0 && !run.dbtimezone.empty())
            s += " " + run.dbtimezone;
        return rc;
    case K_IYM: return ora_interval_ym_text(p, n, s);
    case K_IDS: return ora_interval_ds_text(p, n, s);
    case K_BFLOAT:
    case K_BDOUBLE:
        rc = ora_binary_float_text(p, n, c.kind == K_BDOUBLE, buf, &len);
        s.assign(buf, rc ? 0 : len);
        return rc;
    case K_TEXT: return dc_text_of(run, c, p, n, false, 0);
    case K_BINARY: break;
    }
    return 0;
}

// Character data: NCHAR, NVARCHAR2 and NCLOB in the national character set,
// a LOB stored two bytes per character in AL16UTF16, the rest in the
// database character set. The text is appended to run.text.
int dc_text_of(dc_run &run, const dc_column &c, const uint8_t *p, size_t n, bool more, uint8_t width)
{
    cs_converter &cv = width == 2 ? run.utf16_cs : c.national ? run.nat_cs : run.db_cs;
    run.invalid += (long)cs_convert(cv, p, n, run.text, CS_INVALID_REPLACE, more);
    return 0;
}

static const char k_hex[] = "0123456789ABCDEF";
static const char k_b64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static void put_hex(dc_out &o, const uint8_t *p, size_t n)
{
    // The two digits of every byte value, written as one 16-bit store.
    static const auto pairs = [] {
        std::array<uint16_t, 256> t{};
        for (int b = 0; b < 256; b++) {
            char two[2] = {k_hex[b >> 4], k_hex[b & 15]};
            memcpy(&t[(size_t)b], two, 2);
        }
        return t;
    }();
    char buf[4096];
    while (n > 0) {
        size_t k = n < sizeof buf / 2 ? n : sizeof buf / 2;
        for (size_t i = 0; i < k; i++)
            memcpy(buf + 2 * i, &pairs[p[i]], 2);
        dc_put(o, buf, 2 * k);
        p += k;
        n -= k;
    }
}

static void put_b64(dc_out &o, const uint8_t *p, size_t n, bool last)
{
    char q[4];
    for (; n >= 3; p += 3, n -= 3) {
        q[0] = k_b64[p[0] >> 2];
        q[1] = k_b64[(p[0] & 3) << 4 | p[1] >> 4];
        q[2] = k_b64[(p[1] & 15) << 2 | p[2] >> 6];
        q[3] = k_b64[p[2] & 63];
        dc_put(o, q, 4);
    }
    if (n == 0 || !last)
        return;
    q[0] = k_b64[p[0] >> 2];
    q[1] = k_b64[(p[0] & 3) << 4 | (n > 1 ? p[1] >> 4 : 0)];
    q[2] = n > 1 ? k_b64[(p[1] & 15) << 2] : '=';
    q[3] = '=';
    dc_put(o, q, 4);
}

void dc_binary_put(dc_out &o, dc_binary &b, const uint8_t *p, size_t n, bool last)
{
    if (!b.base64) {
        put_hex(o, p, n);
        return;
    }
    // Base64 goes by three bytes: up to two wait for the next piece.
    while (b.ncarry > 0 && b.ncarry < 3 && n > 0) {
        uint8_t t[3] = {b.carry[0], b.carry[1], 0};
        t[b.ncarry++] = *p++;
        n--;
        if (b.ncarry == 3) {
            put_b64(o, t, 3, false);
            b.ncarry = 0;
            break;
        }
        b.carry[0] = t[0];
        b.carry[1] = t[1];
    }
    size_t whole = last ? n : n / 3 * 3;
    if (b.ncarry > 0 && last) {
        put_b64(o, b.carry, (size_t)b.ncarry, true);
        b.ncarry = 0;
    }
    put_b64(o, p, whole, last);
    for (size_t i = whole; i < n; i++)
        b.carry[b.ncarry++] = p[i];
}

void dc_report_invalid(const dc_table &t, long count)
{
    if (count > 0)
        fprintf(stderr, "Table \"%s\": %ld value%s not valid for %s type, written as NULL.\n", t.name.c_str(), count,
                count == 1 ? "" : "s", count == 1 ? "its" : "their");
}
