// Column values as text for the block dump: NUMBER in decimal, DATE as
// YYYY-MM-DD HH:MM:SS, character strings quoted with control bytes escaped
// (other bytes as stored, in the database character set).
#include "kelvo/diagnose.h"
#include "kelvo/types.h"

namespace {

// Oracle NUMBER: an exponent byte (sign bit 0x80, base-100 exponent + 65,
// bits inverted for a negative number), then base-100 digits stored as
// digit + 1 (101 - digit for a negative number, which ends in a 102 byte
// when shorter than 21 bytes).
std::string number_text(const uint8_t *p, uint32_t len)
{
    if (len == 0 || len > 22)
        return "";
    if (len == 1 && p[0] == 0x80)
        return "0";
    bool neg = !(p[0] & 0x80);
    int exp = (int)((neg ? (uint8_t)~p[0] : p[0]) & 0x7F) - 65;
    uint32_t n = len - 1;
    if (neg && n > 0 && p[len - 1] == 102)
        n--;
    if (n == 0)
        return "";
    int digits[21];
    for (uint32_t i = 0; i < n; i++) {
        int d = neg ? 101 - p[1 + i] : p[1 + i] - 1;
        if (d < 0 || d > 99)
            return "";
        digits[i] = d;
    }
    // Digit i stands for digits[i] * 100^(exp - i).
    auto at = [&](int power) { int i = exp - power; return i >= 0 && i < (int)n ? digits[i] : 0; };
    std::string s = neg ? "-" : "";
    if (exp < 0)
        s += "0";
    for (int pw = exp; pw >= 0; pw--) {
        char b[4];
        snprintf(b, sizeof(b), pw == exp ? "%d" : "%02d", at(pw));
        s += b;
    }
    int low = exp - (int)n + 1;
    if (low < 0) {
        s += ".";
        for (int pw = -1; pw >= low; pw--) {
            char b[4];
            snprintf(b, sizeof(b), "%02d", at(pw));
            s += b;
        }
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s;
}

std::string date_text(const uint8_t *p, uint32_t len)
{
    if (len != 7)
        return "";
    int year = ((int)p[0] - 100) * 100 + ((int)p[1] - 100);
    char b[40];
    snprintf(b, sizeof(b), "%04d-%02d-%02d %02d:%02d:%02d", year, p[2], p[3], p[4] - 1, p[5] - 1, p[6] - 1);
    return b;
}

std::string string_text(const uint8_t *p, uint32_t len)
{
    std::string s = "\"";
    for (uint32_t i = 0; i < len; i++) {
        if (p[i] < 0x20 || p[i] == 0x7F || p[i] == '"' || p[i] == '\\') {
            char b[8];
            snprintf(b, sizeof(b), "\\x%02x", p[i]);
            s += b;
        } else
            s += (char)p[i];
    }
    return s + "\"";
}

} // namespace

std::string value_text(const uint8_t *p, uint32_t len, int ctype)
{
    switch (ctype) {
    case TYPE_NUMBER:
        return number_text(p, len);
    case TYPE_DATE:
        return date_text(p, len);
    case TYPE_VARCHAR2:
    case TYPE_CHAR:
        return string_text(p, len);
    default:
        return "";
    }
}
