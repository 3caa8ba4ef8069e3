// A dump file encoder for the importer's tests, written from the dump
// format: a 1024-byte header, 56-byte table records from offset 1024 (area
// rounded up to 512 bytes), then per table its 48-byte column records, its
// rows and the end-of-table mark. Every integer is big-endian.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace dumptest {

enum : uint16_t { END = 0x0000, LONGV = 0xFFFB, LOBV = 0xFFFC, VALUE = 0xFFFD, NUL = 0xFFFE, EOT = 0xFFFF };

inline void be16(std::string &s, uint16_t v)
{
    s += (char)(v >> 8);
    s += (char)v;
}
inline void be32(std::string &s, uint32_t v)
{
    be16(s, (uint16_t)(v >> 16));
    be16(s, (uint16_t)v);
}
inline void be64(std::string &s, uint64_t v)
{
    be32(s, (uint32_t)(v >> 32));
    be32(s, (uint32_t)v);
}
inline void fixed(std::string &s, const std::string &v, size_t n)
{
    std::string f = v.substr(0, n);
    f.resize(n, '\0');
    s += f;
}

struct column {
    std::string name;
    uint32_t type;
    uint32_t len;
    uint32_t flag = 0;   // 0x1: national character set
};

// One column entry of a row and, for LONG and LOB, its value record.
struct cell {
    enum kind_t { VAL, NULLV, LONGC, LOBC } kind = NULLV;
    std::string bytes;
    std::vector<std::string> pieces;   // value record pieces
    uint8_t width = 1;                 // LOB width byte
};

inline cell v(const std::string &b) { return cell{cell::VAL, b, {}, 1}; }
inline cell null() { return cell{}; }
inline cell long_value(std::vector<std::string> pieces) { return cell{cell::LONGC, "", std::move(pieces), 1}; }
inline cell lob(std::vector<std::string> pieces, uint8_t width = 1)
{
    return cell{cell::LOBC, "", std::move(pieces), width};
}
// A value split into pieces of at most `max` bytes.
inline std::vector<std::string> split(const std::string &s, size_t max = 32768)
{
    std::vector<std::string> p;
    for (size_t i = 0; i < s.size(); i += max)
        p.push_back(s.substr(i, max));
    return p;
}

struct table {
    std::string name;
    std::vector<column> cols;
    std::string rows;        // the encoded row stream, without the end mark
    uint32_t nrows = 0;
    int flag = -1;           // -1: from the column types
    bool end_mark = true;

    table(std::string n, std::vector<column> c) : name(std::move(n)), cols(std::move(c)) {}

    // A row of the given entries; fewer entries than columns end it early.
    void row(const std::vector<cell> &cells)
    {
        for (const cell &c : cells) {
            switch (c.kind) {
            case cell::VAL: be16(rows, (uint16_t)c.bytes.size()); rows += c.bytes; break;
            case cell::NULLV: be16(rows, NUL); break;
            case cell::LONGC: be16(rows, LONGV); break;
            case cell::LOBC: be16(rows, LOBV); break;
            }
        }
        be16(rows, END);
        for (const cell &c : cells)
            if (c.kind == cell::LONGC) {
                be16(rows, VALUE);
                for (const std::string &p : c.pieces) {
                    be16(rows, (uint16_t)p.size());
                    rows += p;
                }
                be16(rows, END);
            }
        for (const cell &c : cells)
            if (c.kind == cell::LOBC) {
                be16(rows, VALUE);
                rows += (char)c.width;
                rows += '\0';
                for (const std::string &p : c.pieces) {
                    be16(rows, (uint16_t)p.size());
                    rows += p;
                }
                be16(rows, END);
            }
        nrows++;
    }
};

// The column information area of a table.
inline std::string col_info(const table &t)
{
    std::string s;
    for (const column &c : t.cols) {
        be32(s, c.flag);
        be32(s, c.type);
        be32(s, c.len);
        be32(s, 0);
        fixed(s, c.name, 32);
    }
    return s;
}

struct dump {
    std::string owner = "SCOTT";
    std::string nls_lang = "AMERICAN_AMERICA.AL32UTF8";
    std::string ncharset = "AL16UTF16";
    std::string magic = "kelvo";
    std::vector<table> tables;

    std::string encode() const
    {
        std::string out;
        fixed(out, magic, 32);
        fixed(out, owner, 32);
        fixed(out, nls_lang, 128);
        fixed(out, ncharset, 64);
        fixed(out, "+00:00", 64);
        be32(out, (uint32_t)tables.size());
        out.resize(1024, '\0');
        size_t t = (tables.size() * 56 + 511) / 512 * 512;
        std::string data;
        std::string info;
        for (const table &tb : tables) {
            uint32_t flag = 0, nlob = 0;
            for (const column &c : tb.cols) {
                if (c.type == 8 || c.type == 24)
                    flag |= 1;
                if (c.type == 112 || c.type == 113) {
                    flag |= 2;
                    nlob++;
                }
            }
            if (tb.flag >= 0)
                flag = (uint32_t)tb.flag;
            be32(info, flag);
            be32(info, (uint32_t)tb.cols.size());
            be32(info, nlob);
            be32(info, tb.nrows);
            be64(info, 1024 + t + data.size());
            fixed(info, tb.name, 32);
            data += col_info(tb);
            data += tb.rows;
            if (tb.end_mark)
                be16(data, EOT);
        }
        info.resize(t, '\0');
        return out + info + data;
    }

    bool write(const std::string &path) const
    {
        std::string bytes = encode();
        FILE *f = fopen(path.c_str(), "wb");
        if (!f)
            return false;
        bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return fclose(f) == 0 && ok;
    }
};

// Oracle NUMBER bytes of an integer: base-100 digits, exponent byte
// 193 + e (positive) or its complement with digits 101 - d and a closing 102.
inline std::string num(long long x)
{
    if (x == 0)
        return std::string(1, (char)0x80);
    bool neg = x < 0;
    unsigned long long u = neg ? 0ULL - (unsigned long long)x : (unsigned long long)x;
    std::vector<int> d;
    while (u) {
        d.insert(d.begin(), (int)(u % 100));
        u /= 100;
    }
    int e = (int)d.size() - 1;
    while (d.size() > 1 && d.back() == 0)
        d.pop_back();
    std::string s;
    s += (char)(neg ? (uint8_t) ~(uint8_t)(193 + e) : (uint8_t)(193 + e));
    for (int x2 : d)
        s += (char)(neg ? 101 - x2 : x2 + 1);
    if (neg && d.size() < 20)
        s += (char)102;
    return s;
}

inline std::string bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int x : b)
        s += (char)x;
    return s;
}

// DATE bytes: century + 100, year of century + 100, month, day, hour + 1,
// minute + 1, second + 1.
inline std::string date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return bytes({y / 100 + 100, y % 100 + 100, mo, d, h + 1, mi + 1, s + 1});
}

// TIMESTAMP WITH TIME ZONE in region form: the UTC instant as DATE bytes and
// big-endian nanoseconds, then the region id as 0x80 | id >> 6 and
// (id & 63) << 2, with the two low flag bits of byte 12 as given.
inline std::string region_stamp(int y, int mo, int d, int h, int mi, int s, uint32_t ns, unsigned id, int flags = 0)
{
    return date(y, mo, d, h, mi, s) + bytes({(int)(ns >> 24), (int)(ns >> 16 & 0xFF), (int)(ns >> 8 & 0xFF),
                                             (int)(ns & 0xFF), (int)(0x80 | id >> 6), (int)((id & 63) << 2 | flags)});
}

}   // namespace dumptest
