// The dump file a test expects, computed from logical rows alone: the byte
// layout of the dump format written out field by field at its documented
// offsets, independently of the unloader's writer and records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace xd {

using Bytes = std::vector<uint8_t>;

struct Column {
    std::string name;
    uint32_t ctyp = 1;
    uint32_t clen = 0;
    bool national = false;
};

// One column entry of a row: NULL, a value, a LONG whose value follows the
// row in a value record, or a LOB whose value record (width byte and pieces
// exactly as given) follows the row after the LONG one.
struct Value {
    enum Kind { Null, Data, Long, Lob } kind = Null;
    Bytes bytes;
    uint8_t width = 0;
    std::vector<Bytes> pieces;
};
inline Value null() { return Value{}; }
inline Value data(const Bytes &b) { return Value{Value::Data, b, 0, {}}; }
inline Value text(const std::string &s) { return data(Bytes(s.begin(), s.end())); }
inline Value long_value(const Bytes &b) { return Value{Value::Long, b, 0, {}}; }
inline Value lob_value(uint8_t width, std::vector<Bytes> pieces) { return Value{Value::Lob, {}, width, std::move(pieces)}; }

// A row lists its entries; trailing columns without data are left out.
struct Row {
    std::vector<Value> vals;
};

struct Table {
    std::string name;
    uint32_t flag = 0;     // TAB_INFO flag
    uint32_t nlob = 0;
    std::vector<Column> cols;
    std::vector<Row> rows;
};

struct Props {
    std::string lang = "AMERICAN", terr = "AMERICA", cset = "AL32UTF8", ncset = "AL16UTF16", tz = "+00:00";
};

inline void be16(Bytes &o, uint32_t v)
{
    o.push_back((uint8_t)(v >> 8));
    o.push_back((uint8_t)v);
}
inline void be32_at(Bytes &o, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        o[at + i] = (uint8_t)(v >> (24 - 8 * i));
}
inline void str_at(Bytes &o, size_t at, const std::string &s) { std::copy(s.begin(), s.end(), o.begin() + (long)at); }

// Column information, rows and the end mark of one table.
inline Bytes table_data(const Table &t)
{
    Bytes o(48 * t.cols.size(), 0);
    for (size_t i = 0; i < t.cols.size(); i++) {
        be32_at(o, 48 * i, t.cols[i].national ? 1 : 0);
        be32_at(o, 48 * i + 4, t.cols[i].ctyp);
        be32_at(o, 48 * i + 8, t.cols[i].clen);
        str_at(o, 48 * i + 16, t.cols[i].name);
    }
    for (const Row &r : t.rows) {
        const Value *lv = nullptr;
        std::vector<const Value *> lobs;
        for (const Value &v : r.vals) {
            if (v.kind == Value::Null) {
                be16(o, 0xFFFE);
            } else if (v.kind == Value::Long) {
                be16(o, 0xFFFB);
                lv = &v;
            } else if (v.kind == Value::Lob) {
                be16(o, 0xFFFC);
                lobs.push_back(&v);
            } else {
                be16(o, (uint32_t)v.bytes.size());
                o.insert(o.end(), v.bytes.begin(), v.bytes.end());
            }
        }
        be16(o, 0);
        if (lv) {
            be16(o, 0xFFFD);
            for (size_t off = 0; off < lv->bytes.size(); off += 32768) {
                size_t n = std::min<size_t>(32768, lv->bytes.size() - off);
                be16(o, (uint32_t)n);
                o.insert(o.end(), lv->bytes.begin() + (long)off, lv->bytes.begin() + (long)(off + n));
            }
            be16(o, 0);
        }
        // LOB value record: DUMP_VALUE, width byte, 0x00, pieces, DUMP_END.
        for (const Value *v : lobs) {
            be16(o, 0xFFFD);
            o.push_back(v->width);
            o.push_back(0);
            for (const Bytes &p : v->pieces) {
                be16(o, (uint32_t)p.size());
                o.insert(o.end(), p.begin(), p.end());
            }
            be16(o, 0);
        }
    }
    be16(o, 0xFFFF);
    return o;
}

// A whole dump file.
inline Bytes dump_file(const std::string &owner, const Props &p, const std::vector<Table> &tabs)
{
    size_t tinfo = (56 * tabs.size() + 511) / 512 * 512;
    Bytes o(1024 + tinfo, 0);
    str_at(o, 0, "kelvo");
    str_at(o, 32, owner);
    str_at(o, 64, p.lang + "_" + p.terr + "." + p.cset);
    str_at(o, 192, p.ncset);
    str_at(o, 256, p.tz);
    be32_at(o, 320, (uint32_t)tabs.size());
    for (size_t i = 0; i < tabs.size(); i++) {
        size_t at = 1024 + 56 * i;
        Bytes td = table_data(tabs[i]);
        be32_at(o, at, tabs[i].flag);
        be32_at(o, at + 4, (uint32_t)tabs[i].cols.size());
        be32_at(o, at + 8, tabs[i].nlob);
        be32_at(o, at + 12, (uint32_t)tabs[i].rows.size());
        uint64_t off = o.size();
        be32_at(o, at + 16, (uint32_t)(off >> 32));
        be32_at(o, at + 20, (uint32_t)off);
        str_at(o, at + 24, tabs[i].name);
        o.insert(o.end(), td.begin(), td.end());
    }
    return o;
}

// Empty when equal; otherwise where the two dumps first differ, with a few
// bytes of each from there (whole dumps are too long to print).
inline std::string first_difference(const Bytes &got, const Bytes &want)
{
    if (got == want)
        return "";
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    auto hex = [&](const Bytes &b) {
        std::string s;
        char h[4];
        for (size_t k = i; k < b.size() && k < i + 16; k++) {
            snprintf(h, sizeof(h), "%02X ", b[k]);
            s += h;
        }
        return s;
    };
    return "sizes " + std::to_string(got.size()) + " / " + std::to_string(want.size()) + ", first difference at " +
           std::to_string(i) + ": got " + hex(got) + "| want " + hex(want);
}

} // namespace xd
