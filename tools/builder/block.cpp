// Row pieces, data block images, segment headers and extent map blocks.
#include "kbuild.h"

#include <cstring>
#include <unordered_set>

namespace kb {

Col col_null() { return Col{true, false, {}}; }
Col col_bytes(std::vector<uint8_t> b) { return Col{false, false, std::move(b)}; }
Col col_num(int64_t v) { return col_bytes(ora_number(v)); }
Col col_str(const std::string &s) { return col_bytes(ora_text(s)); }

void encode_col(std::vector<uint8_t> &out, const Col &c)
{
    if (c.null) {
        out.push_back(0xFF);
        return;
    }
    size_t n = c.data.size();
    if (n > 250 || c.long_form) {
        out.push_back(0xFE);
        out.push_back((uint8_t)n);
        out.push_back((uint8_t)(n >> 8));
    } else {
        out.push_back((uint8_t)n);
    }
    out.insert(out.end(), c.data.begin(), c.data.end());
}

static void push_rowid(std::vector<uint8_t> &out, RowId r)
{
    uint8_t b[6];
    put_be32(b, r.dba);
    put_be16(b + 4, r.slot);
    out.insert(out.end(), b, b + 6);
}

std::vector<uint8_t> encode_piece(const Piece &p)
{
    std::vector<uint8_t> out;
    out.push_back(p.fb);
    out.push_back(p.lb);
    out.push_back((uint8_t)(p.cc < 0 ? p.cols.size() : (size_t)p.cc));
    if (p.cki >= 0)
        out.push_back((uint8_t)p.cki);
    if (p.extra6) {
        // The row's own SCN (wrap 2 bytes, base 4 bytes) as a row-dependency
        // table stores it.
        const uint8_t scn[6] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00};
        out.insert(out.end(), scn, scn + 6);
    }
    if (p.has_hrid)
        push_rowid(out, p.hrid);
    if (p.has_nrid)
        push_rowid(out, p.nrid);
    for (const Col &c : p.cols)
        encode_col(out, c);
    return out;
}

size_t piece_size(const Piece &p)
{
    size_t n = 3 + (p.cki >= 0) + (p.extra6 ? 6 : 0) + (p.has_hrid ? 6 : 0) + (p.has_nrid ? 6 : 0);
    for (const Col &c : p.cols)
        n += c.null ? 1 : (c.data.size() > 250 || c.long_form ? 3 : 1) + c.data.size();
    return n;
}

std::vector<uint8_t> encode_key_row(const std::vector<Col> &key, uint16_t nrows, RowId prev, RowId next, uint8_t fb)
{
    std::vector<uint8_t> out{fb, 0, (uint8_t)key.size()};
    uint8_t counts[4];
    put_le16(counts, nrows);      // rows of the key in this block
    put_le16(counts + 2, nrows);  // rows committed
    out.insert(out.end(), counts, counts + 4);
    push_rowid(out, prev);
    push_rowid(out, next);
    for (const Col &c : key)
        encode_col(out, c);
    return out;
}

int BlockMap::first_slot(size_t t) const
{
    int s = 0;
    for (size_t i = 0; i < t && i < slot_off.size(); i++)
        s += (int)slot_off[i].size();
    return s;
}

int data_header_offset(int itl, bool assm, uint16_t ex_extra)
{
    return 44 + 24 * (itl & 0xFF) + (assm ? 8 + ex_extra : 0);
}

static size_t slot_count(const DataBlock &b)
{
    size_t n = 0;
    for (const auto &t : b.tables)
        n += t.size();
    return n;
}

// Bytes the compression extension adds to the data header.
static int header_extension(const DataBlock &b) { return b.fcls >= 0 ? 8 + 2 * b.fcls : 0; }

int block_free_space(const DataBlock &b, uint32_t bsz)
{
    long used = data_header_offset(b.itl, b.assm, b.ex_extra) + 14 + header_extension(b) + 4 * (long)b.tables.size() +
                2 * (long)slot_count(b) + 4;
    for (const auto &t : b.tables)
        for (const Slot &s : t)
            if (!s.free)
                used += (long)s.bytes.size();
    return (int)((long)bsz - used);
}

int compose_data_block(const DataBlock &b, uint32_t bsz, uint32_t a, uint8_t *out, BlockMap *map)
{
    if (block_free_space(b, bsz) < 0 || b.tables.size() > 127)
        return -1;
    memset(out, 0, bsz);
    const uint32_t scn = 0x00001000 + (a & 0xFFF);
    init_block(out, bsz, 0x06, a, scn);

    // Transaction header.
    out[20] = 1;                                   // ktbbhtyp: data
    put_le32(out + 24, b.objd);                    // ktbbhod1
    put_le32(out + 28, scn);                       // kscnbas
    put_le16(out + 32, 0);                         // kscnwrp
    put_le16(out + 36, (uint16_t)((b.ict_high << 8) | (b.itl & 0xFF)));
    out[38] = b.assm ? 0x20 : 0x00;                // ktbbhflg
    out[39] = 0;                                   // ktbbhfsl
    put_le32(out + 40, 0);                         // ktbbhfnx
    // ITL entries: committed transactions with plausible undo addresses, never
    // zero, so that a reader miscounting them lands on non-zero bytes.
    for (int i = 0; i < (b.itl & 0xFF); i++) {
        uint8_t *e = out + 44 + 24 * i;
        put_le16(e, (uint16_t)(3 + i));               // kxidusn
        put_le16(e + 2, (uint16_t)(0x10 + i));        // kxidslt
        put_le32(e + 4, 0x0000A000u + (uint32_t)i);   // kxidsqn
        put_le32(e + 8, rdba(3, 0x100 + (uint32_t)i)); // kubadba
        put_le16(e + 12, 0x0042);                     // kubaseq
        e[14] = 0x1B;                                 // kubarec
        put_le16(e + 16, 0x8000);                     // ktbitflg: committed
        put_le16(e + 18, 0);
        put_le32(e + 20, scn - 1);                    // ktbitbas
    }
    int kdbh = data_header_offset(b.itl, b.assm, b.ex_extra);
    if (b.assm) {
        uint8_t *x = out + 44 + 24 * (b.itl & 0xFF);
        put_le32(x, 1);                                          // inc
        put_le32(x + 4, ((uint32_t)b.ex_high << 16) | b.ex_extra); // exflg
        for (int i = 0; i < b.ex_extra; i++)
            x[8 + i] = (uint8_t)(0xC0 | (i & 0x3F));
    }

    // Data header, table directory, row directory, pieces from the end.
    size_t nslot = slot_count(b);
    uint8_t *h = out + kdbh;
    h[0] = b.fcls >= 0 ? 0x40 : 0;                               // kdbhflag
    h[1] = (uint8_t)(b.ntab_override ? b.ntab_override : (int8_t)b.tables.size());
    put_le16(h + 2, (uint16_t)nslot);
    int kdbt = 14 + header_extension(b);
    if (b.fcls >= 0) {
        // The extension's bytes are not read by the unloader: two non-zero
        // bytes, then the fcls entries.
        h[14] = 0x02;
        h[15] = (uint8_t)b.fcls;
        for (int i = 0; i < b.fcls; i++)
            put_le16(h + 22 + 2 * i, (uint16_t)i);
    }
    int kdbr = kdbt + 4 * (int)b.tables.size();
    int pos = (int)bsz - 4 - kdbh;                               // relative to KDBH
    int s = 0, first_free = -1, last_free = -1;
    if (map) {
        map->kdbh = kdbh;
        map->slot_off.assign(b.tables.size(), {});
    }
    for (size_t t = 0; t < b.tables.size(); t++) {
        put_le16(h + kdbt + 4 * t, (uint16_t)s);
        put_le16(h + kdbt + 2 + 4 * t, (uint16_t)b.tables[t].size());
        for (const Slot &sl : b.tables[t]) {
            uint8_t *e = h + kdbr + 2 * s;
            if (sl.free) {
                // Free slots are chained in ascending order; the last holds -1.
                put_le16(e, 0xFFFF);
                if (last_free >= 0)
                    put_le16(h + kdbr + 2 * last_free, (uint16_t)s);
                else
                    first_free = s;
                last_free = s;
                if (map)
                    map->slot_off[t].push_back(-1);
            } else {
                pos -= (int)sl.bytes.size();
                memcpy(h + pos, sl.bytes.data(), sl.bytes.size());
                put_le16(e, (uint16_t)pos);
                if (map)
                    map->slot_off[t].push_back(kdbh + pos);
            }
            s++;
        }
    }
    int fsbo = kdbr + 2 * (int)nslot;
    put_le16(h + 4, (uint16_t)(int16_t)first_free);              // kdbhfrre
    put_le16(h + 6, (uint16_t)fsbo);                             // kdbhfsbo
    put_le16(h + 8, (uint16_t)pos);                              // kdbhfseo
    put_le16(h + 10, (uint16_t)(pos - fsbo));                    // kdbhavsp
    put_le16(h + 12, (uint16_t)(pos - fsbo));                    // kdbhtosp
    fix_check(out, bsz);
    return 0;
}

// ---------------------------------------------------------------------------
// Segments
// ---------------------------------------------------------------------------

static int map_offset(uint8_t kind) { return kind == 0x23 ? 264 : 92; }

int header_capacity(uint8_t kind, uint32_t bsz) { return ((int)bsz - 4 - (map_offset(kind) + 16)) / 8; }

int map_capacity(uint32_t bsz) { return ((int)bsz - 4 - 36) / 8; }

static size_t hdr_entries(const Segment &s, uint32_t bsz)
{
    size_t cap = (size_t)header_capacity(s.kind, bsz);
    if (s.hdr_max > 0 && (size_t)s.hdr_max < cap)
        cap = (size_t)s.hdr_max;
    return cap;
}

static size_t map_entries(const Segment &s, uint32_t bsz)
{
    size_t cap = (size_t)map_capacity(bsz);
    if (s.map_max > 0 && (size_t)s.map_max < cap)
        cap = (size_t)s.map_max;
    return cap;
}

uint32_t plan_segment(Segment &s, const Datafile &df, uint32_t first, const std::vector<uint32_t> &lens)
{
    const uint32_t bsz = df.d.bsz;
    s.extents.clear();
    s.maps.clear();
    s.data.clear();
    uint32_t b = first;
    for (uint32_t len : lens) {
        s.extents.push_back({df.rdba_of(b), len});
        b += len;
    }
    // Metadata blocks: bitmaps and header in the first extent, then one map
    // block at the start of the extent that opens each further map.
    std::unordered_set<uint32_t> meta;
    uint32_t f = s.extents.empty() ? df.rdba_of(first) : s.extents[0].dba;
    if (s.kind == 0x23) {
        meta.insert({f, f + 1, f + 2});
        s.hdr = f + 2;
    } else {
        meta.insert(f);
        s.hdr = f;
    }
    size_t hcap = hdr_entries(s, bsz), mcap = map_entries(s, bsz);
    for (size_t e = hcap; e < s.extents.size(); e += mcap) {
        s.maps.push_back(s.extents[e].dba);
        meta.insert(s.extents[e].dba);
    }
    for (const Extent &e : s.extents)
        for (uint32_t i = 0; i < e.len; i++) {
            if (!meta.count(e.dba + i))
                s.data.push_back(e.dba + i);
        }
    return b;
}

static void put_map(uint8_t *m, const Segment &s, size_t from, size_t n, uint32_t next)
{
    put_le32(m, (uint32_t)n);        // nexts
    put_le32(m + 4, next);           // next map block
    put_le32(m + 8, s.objd);
    put_le32(m + 12, s.kind == 0x23 ? 0x40000000u : 0u);
    for (size_t i = 0; i < n; i++) {
        put_le32(m + 16 + 8 * i, s.extents[from + i].dba);
        put_le32(m + 20 + 8 * i, s.extents[from + i].len);
    }
}

void make_segment_header(uint8_t *blk, uint32_t bsz, const Segment &s)
{
    memset(blk, 0, bsz);
    init_block(blk, bsz, s.kind, s.hdr);
    uint32_t nblocks = 0;
    for (const Extent &e : s.extents)
        nblocks += e.len;
    // Extent control header: extents and blocks of the whole segment, the last
    // map block and the number of map blocks, the high-water mark.
    put_le32(blk + 24, (uint32_t)s.extents.size());
    put_le32(blk + 28, nblocks);
    put_le32(blk + 32, s.maps.empty() ? 0 : s.maps.back());
    put_le32(blk + 36, (uint32_t)s.maps.size());
    put_le32(blk + 44, s.hwm ? s.hwm : s.data.empty() ? s.hdr + 1 : s.data.back() + 1);
    if (s.kind == 0x23) {
        // Last level-1, level-2 bitmap blocks of an automatically managed
        // segment; they open its first extent.
        uint32_t f = s.extents.empty() ? s.hdr : s.extents[0].dba;
        put_le32(blk + 100, f);
        put_le32(blk + 104, f + 1);
        put_le32(blk + 112, s.objd);
    }
    size_t n = s.extents.size() < hdr_entries(s, bsz) ? s.extents.size() : hdr_entries(s, bsz);
    put_map(blk + map_offset(s.kind), s, 0, n, s.maps.empty() ? 0 : s.maps[0]);
}

void make_map_block(uint8_t *blk, uint32_t bsz, const Segment &s, size_t i)
{
    memset(blk, 0, bsz);
    init_block(blk, bsz, s.kind == 0x23 ? 0x24 : 0x12, s.maps[i]);
    size_t from = hdr_entries(s, bsz) + i * map_entries(s, bsz);
    size_t n = s.extents.size() - from;
    if (n > map_entries(s, bsz))
        n = map_entries(s, bsz);
    put_map(blk + 20, s, from, n, i + 1 < s.maps.size() ? s.maps[i + 1] : 0);
}

int write_segment_meta(Datafile &df, const Segment &s)
{
    const uint32_t bsz = df.d.bsz;
    std::vector<uint8_t> blk(bsz);
    if (s.kind == 0x23 && !s.extents.empty()) {
        for (uint32_t i = 0; i < 2; i++) {
            uint32_t a = s.extents[0].dba + i;
            memset(blk.data(), 0, bsz);
            init_block(blk.data(), bsz, (uint8_t)(0x20 + i), a);
            put_le32(blk.data() + 24, s.objd);
            put_le32(blk.data() + 28, s.hdr);   // parent: the segment header
            if (df_write_block(df, df.block_of(a), blk.data()))
                return -1;
        }
    }
    make_segment_header(blk.data(), bsz, s);
    if (df_write_block(df, df.block_of(s.hdr), blk.data()))
        return -1;
    for (size_t i = 0; i < s.maps.size(); i++) {
        make_map_block(blk.data(), bsz, s, i);
        if (df_write_block(df, df.block_of(s.maps[i]), blk.data()))
            return -1;
    }
    return 0;
}

} // namespace kb
