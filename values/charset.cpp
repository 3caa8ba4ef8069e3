// Character data from an Oracle character set to UTF-8, with glibc's iconv.
// AL32UTF8 passes through; Oracle's UTF8 (CESU-8, supplementary characters as
// surrogate pairs) is joined by hand. A byte sequence the set does not define
// becomes, as the caller asks, the character of the same number
// (ISO-8859-1) or U+FFFD, counted. Values may arrive in pieces: a sequence
// cut at the end of a piece waits for the next one.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "kelvo/utf8.h"
#include "kelvo/values.h"

namespace {

struct cs_name {
    const char *oracle;
    const char *iconv;
};

const cs_name k_names[] = {
    {"AL16UTF16", "UTF-16BE"},   {"AL16UTF16LE", "UTF-16LE"}, {"WE8MSWIN1252", "CP1252"},
    {"WE8ISO8859P1", "ISO-8859-1"}, {"WE8ISO8859P15", "ISO-8859-15"}, {"ZHS16GBK", "GBK"},
    {"ZHS32GB18030", "GB18030"}, {"ZHT16BIG5", "BIG5"},      {"ZHT16MSWIN950", "CP950"},
    {"KO16MSWIN949", "CP949"},   {"KO16KSC5601", "EUC-KR"},  {"JA16SJIS", "SHIFT_JIS"},
    {"JA16SJISTILDE", "CP932"},  {"JA16EUC", "EUC-JP"},      {"EE8MSWIN1250", "CP1250"},
    {"CL8MSWIN1251", "CP1251"},  {"EE8ISO8859P2", "ISO-8859-2"}, {"CL8ISO8859P5", "ISO-8859-5"},
    {"EL8MSWIN1253", "CP1253"},  {"EL8ISO8859P7", "ISO-8859-7"}, {"TR8MSWIN1254", "CP1254"},
    {"WE8ISO8859P9", "ISO-8859-9"}, {"IW8MSWIN1255", "CP1255"}, {"AR8MSWIN1256", "CP1256"},
    {"BLT8MSWIN1257", "CP1257"}, {"VN8MSWIN1258", "CP1258"}, {"TH8TISASCII", "TIS-620"},
    {"CL8KOI8R", "KOI8-R"},      {"WE8PC850", "CP850"},      {"US8PC437", "CP437"},
};

void put_utf8(std::string &out, uint32_t c)
{
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | c >> 6);
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | c >> 12);
        out += (char)(0x80 | (c >> 6 & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else {
        out += (char)(0xF0 | c >> 18);
        out += (char)(0x80 | (c >> 12 & 0x3F));
        out += (char)(0x80 | (c >> 6 & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

// A lead byte and the continuation bytes after it that end at n: the start
// of a sequence the next piece may complete.
bool utf8_prefix(const uint8_t *p, size_t n)
{
    size_t len = p[0] >= 0xC2 && p[0] <= 0xDF ? 2 : p[0] >= 0xE0 && p[0] <= 0xEF ? 3 : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : 0;
    if (len == 0 || n >= len)
        return false;
    for (size_t i = 1; i < n; i++)
        if ((p[i] & 0xC0) != 0x80)
            return false;
    return true;
}

// One invalid sequence starting with byte b.
size_t put_invalid(std::string &out, uint8_t b, cs_invalid invalid)
{
    if (invalid == CS_INVALID_LATIN1) {
        put_utf8(out, b);
        return 0;
    }
    out += "\xEF\xBF\xBD";
    return 1;
}

size_t convert_utf8(const uint8_t *p, size_t n, bool cesu, std::string &out, cs_invalid invalid, bool more,
                    std::string &carry)
{
    size_t bad = 0;
    size_t i = 0;
    while (i < n) {
        // Runs of ASCII go over in one append.
        size_t j = i;
        while (j < n && p[j] < 0x80)
            j++;
        out.append(reinterpret_cast<const char *>(p + i), j - i);
        i = j;
        if (i >= n)
            break;
        uint32_t cp;
        size_t l = utf8_seq(p + i, n - i, cesu, &cp);
        if (l == 0) {
            if (more && utf8_prefix(p + i, n - i)) {
                carry.assign(reinterpret_cast<const char *>(p + i), n - i);
                break;
            }
            bad += put_invalid(out, p[i], invalid);
            i++;
            continue;
        }
        if (cesu && cp >= 0xD800 && cp <= 0xDBFF) {
            if (more && (i + l == n || utf8_prefix(p + i + l, n - i - l))) {
                carry.assign(reinterpret_cast<const char *>(p + i), n - i);
                break;
            }
            uint32_t lo;
            size_t l2 = i + l < n ? utf8_seq(p + i + l, n - i - l, true, &lo) : 0;
            if (l2 == 3 && lo >= 0xDC00 && lo <= 0xDFFF) {
                put_utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00));
                i += l + l2;
                continue;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {   // a lone surrogate
            put_utf8(out, 0xFFFD);
            bad += invalid == CS_INVALID_REPLACE;
            i += l;
            continue;
        }
        out.append(reinterpret_cast<const char *>(p + i), l);
        i += l;
    }
    return bad;
}

size_t convert_iconv(iconv_t cd, const uint8_t *p, size_t n, std::string &out, cs_invalid invalid, bool more,
                     std::string &carry)
{
    size_t bad = 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *in = reinterpret_cast<char *>(const_cast<uint8_t *>(p));
    size_t left = n;
    while (left > 0) {
        // Converted straight into out: four bytes of UTF-8 at most for every
        // byte of these sets, and E2BIG asks for more room anyway.
        size_t at = out.size();
        out.resize(at + left * 4 + 16);
        char *o = out.data() + at;
        size_t room = out.size() - at;
        size_t r = iconv(cd, &in, &left, &o, &room);
        out.resize((size_t)(o - out.data()));
        if (r == (size_t)-1) {
            if (errno == E2BIG)
                continue;
            if (errno == EINVAL && more) {
                carry.assign(in, left);
                break;
            }
            // Invalid or incomplete input: one byte goes and the rest follows.
            bad += put_invalid(out, (uint8_t)*in, invalid);
            in++;
            left--;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return bad;
}

}   // namespace

void cs_open(cs_converter &c, const std::string &cs)
{
    c.name = cs;
    c.kind = cs_converter::UNKNOWN;
    c.cd = nullptr;
    c.carry.clear();
    if (cs == "AL32UTF8") {
        c.kind = cs_converter::PASS_UTF8;
    } else if (cs == "UTF8") {
        c.kind = cs_converter::CESU8;
    } else if (cs == "US7ASCII") {
        c.kind = cs_converter::ASCII;
    } else {
        for (const cs_name &n : k_names)
            if (cs == n.oracle) {
                iconv_t cd = iconv_open("UTF-8", n.iconv);
                if (cd != (iconv_t)-1) {
                    c.kind = cs_converter::ICONV;
                    c.cd = cd;
                }
                break;
            }
    }
}

void cs_close(cs_converter &c)
{
    if (c.kind == cs_converter::ICONV)
        iconv_close((iconv_t)c.cd);
    c.kind = cs_converter::UNKNOWN;
    c.cd = nullptr;
}

size_t cs_convert(cs_converter &c, const uint8_t *p, size_t n, std::string &out, cs_invalid invalid, bool more)
{
    std::string joined;
    if (!c.carry.empty()) {
        joined.swap(c.carry);
        joined.append(reinterpret_cast<const char *>(p), n);
        p = reinterpret_cast<const uint8_t *>(joined.data());
        n = joined.size();
    }
    switch (c.kind) {
    case cs_converter::PASS_UTF8: return convert_utf8(p, n, false, out, invalid, more, c.carry);
    case cs_converter::CESU8: return convert_utf8(p, n, true, out, invalid, more, c.carry);
    case cs_converter::ASCII: {
        // Databases labelled US7ASCII often hold 8-bit data: those bytes are
        // taken as ISO-8859-1, or replaced.
        size_t bad = 0;
        for (size_t i = 0; i < n; i++)
            if (p[i] < 0x80)
                out += (char)p[i];
            else
                bad += put_invalid(out, p[i], invalid);
        return bad;
    }
    case cs_converter::ICONV: return convert_iconv((iconv_t)c.cd, p, n, out, invalid, more, c.carry);
    case cs_converter::UNKNOWN: break;
    }
    out.append(reinterpret_cast<const char *>(p), n);
    return 0;
}
