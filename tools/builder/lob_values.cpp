// LOB values as a table description gives them, and the block allocator of
// a LOB segment's data area.
#include "lobs.h"

#include <cstdio>

namespace kb {

LobValue lob_blob(std::vector<uint8_t> bytes, LobForm form)
{
    LobValue v;
    v.data = std::move(bytes);
    v.width = 1;
    v.form = form;
    return v;
}

// UTF-8 to AL16UTF16 (UTF-16 big-endian). Malformed sequences become
// U+FFFD, as a character set conversion would store them.
static std::vector<uint8_t> utf8_to_al16utf16(const std::string &s)
{
    std::vector<uint8_t> out;
    out.reserve(s.size() * 2);
    auto put = [&](uint32_t u) {
        out.push_back((uint8_t)(u >> 8));
        out.push_back((uint8_t)u);
    };
    size_t i = 0, n = s.size();
    while (i < n) {
        uint8_t c = (uint8_t)s[i];
        uint32_t cp = 0xFFFD;
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > n) {
            i++;
        } else {
            cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
            bool ok = true;
            for (size_t k = 1; k < len; k++) {
                uint8_t b = (uint8_t)s[i + k];
                if ((b & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (b & 0x3Fu);
            }
            static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (!ok || cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                cp = 0xFFFD;
                i++;
            } else {
                i += len;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

LobValue lob_clob(const std::string &utf8, LobForm form)
{
    LobValue v;
    v.data = utf8_to_al16utf16(utf8);
    v.width = 2;
    v.form = form;
    return v;
}

Col col_lob(size_t i)
{
    Col c;
    c.lob = (int)i;
    return c;
}

uint32_t LobSpace::take(uint32_t n)
{
    if (next == 0 || next > end || n > end - next) {
        fprintf(stderr, "builder: LOB segment of object %u: %u blocks wanted, %u left\n", objd, n,
                next != 0 && next <= end ? end - next : 0);
        return 0;
    }
    uint32_t b = next;
    next += n;
    return b;
}

} // namespace kb
