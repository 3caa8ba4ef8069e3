// Byte helpers, block check values and Oracle value encodings.
#include "kbuild.h"

#include <cstring>

namespace kb {

void put_le16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
void put_le32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}
void put_be16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
void put_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}
uint16_t read_le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t read_le32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint16_t block_xor(const uint8_t *p, size_t n)
{
    // XOR is lane-wise, so 64-bit words fold down to the XOR of their four
    // little-endian 16-bit lanes.
    uint64_t acc = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, p + i, 8);
        acc ^= w;
    }
    uint16_t x = (uint16_t)(acc ^ (acc >> 16) ^ (acc >> 32) ^ (acc >> 48));
    for (; i + 2 <= n; i += 2)
        x ^= read_le16(p + i);
    return x;
}

void fix_check(uint8_t *blk, size_t n)
{
    put_le16(blk + 16, 0);
    put_le16(blk + 16, block_xor(blk, n));
}

bool check_ok(const uint8_t *blk, size_t n) { return block_xor(blk, n) == 0; }

// Positive base-100 digits (most significant first) and exponent to NUMBER
// bytes; trailing zero digits are dropped, leading ones must be gone already.
static std::vector<uint8_t> number_bytes(bool neg, std::vector<int> digits, int exp)
{
    while (!digits.empty() && digits.back() == 0)
        digits.pop_back();
    if (digits.empty())
        return {0x80};
    if (digits.size() > 20 || exp > 62 || exp < -65)
        return {};
    std::vector<uint8_t> out;
    if (!neg) {
        out.push_back((uint8_t)(193 + exp));
        for (int d : digits)
            out.push_back((uint8_t)(d + 1));
    } else {
        out.push_back((uint8_t)(~(193 + exp) & 0xFF));
        for (int d : digits)
            out.push_back((uint8_t)(101 - d));
        if (digits.size() < 20)
            out.push_back(102);
    }
    return out;
}

std::vector<uint8_t> ora_number(int64_t v)
{
    if (v == 0)
        return {0x80};
    bool neg = v < 0;
    uint64_t m = neg ? (uint64_t)0 - (uint64_t)v : (uint64_t)v;
    int rev[10], n = 0;   // base-100 digits, least significant first
    while (m) {
        rev[n++] = (int)(m % 100);
        m /= 100;
    }
    int exp = n - 1, low = 0;
    while (rev[low] == 0)
        low++;            // trailing zero digits are not stored
    uint8_t out[12];
    size_t k = 0;
    out[k++] = neg ? (uint8_t)(~(193 + exp) & 0xFF) : (uint8_t)(193 + exp);
    for (int i = n - 1; i >= low; i--)
        out[k++] = neg ? (uint8_t)(101 - rev[i]) : (uint8_t)(rev[i] + 1);
    if (neg)
        out[k++] = 102;
    return std::vector<uint8_t>(out, out + k);
}

std::vector<uint8_t> ora_number(const std::string &text)
{
    size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        neg = text[i++] == '-';
    std::string ip, fp;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ip += text[i++];
    if (i < text.size() && text[i] == '.') {
        i++;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            fp += text[i++];
    }
    if (i != text.size() || (ip.empty() && fp.empty()) || ip.size() + fp.size() > 200)
        return {};
    if (ip.size() % 2)
        ip.insert(ip.begin(), '0');
    if (fp.size() % 2)
        fp += '0';
    std::string all = ip + fp;
    std::vector<int> digits;
    for (size_t k = 0; k < all.size(); k += 2)
        digits.push_back((all[k] - '0') * 10 + (all[k + 1] - '0'));
    int exp = (int)(ip.size() / 2) - 1;
    size_t lead = 0;
    while (lead < digits.size() && digits[lead] == 0)
        lead++;
    if (lead == digits.size())
        return {0x80};
    digits.erase(digits.begin(), digits.begin() + (long)lead);
    return number_bytes(neg, digits, exp - (int)lead);
}

std::vector<uint8_t> ora_date(int year, int month, int day, int hour, int minute, int second)
{
    // Oracle's signed year has no year 0; the century and year-of-century
    // bytes are offset by 100 (below 100 for BC years).
    int c = year >= 0 ? year / 100 : -((-year) / 100);
    int y = year - c * 100;
    return {(uint8_t)(c + 100), (uint8_t)(y + 100), (uint8_t)month, (uint8_t)day,
            (uint8_t)(hour + 1), (uint8_t)(minute + 1), (uint8_t)(second + 1)};
}

std::vector<uint8_t> ora_timestamp_tz_region(int year, int month, int day, int hour, int minute, int second,
                                             uint32_t nanos, unsigned region_id)
{
    std::vector<uint8_t> b = ora_date(year, month, day, hour, minute, second);
    for (int sh = 24; sh >= 0; sh -= 8)
        b.push_back((uint8_t)(nanos >> sh));
    b.push_back((uint8_t)(0x80 | (region_id >> 6 & 0x7F)));
    b.push_back((uint8_t)((region_id & 63) << 2));
    return b;
}

std::vector<uint8_t> ora_text(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        b[i] = (uint8_t)('A' + (x >> 16) % 26);
    }
    return b;
}

} // namespace kb
