// The tests' one independent reader of the builder's blocks, written from the
// block layouts: data header offset, free-slot list, row pieces, extent maps,
// rows followed through their next rowids; BasicFile LOB locators, data
// blocks and the LOB index walked two ways (the leaf chain from the leftmost
// leaf, and descents from the root).
#pragma once

#include "kbuild.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

namespace rb {


typedef std::vector<uint8_t> Bytes;

inline uint16_t le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p) { return (uint32_t)(p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24)); }
inline uint32_t be32(const uint8_t *p) { return ((uint32_t)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// The data header offset (the index header in an index block), computed
// from the block's own fields: behind the transaction header, the ITL
// entries and the extra data area of an automatically managed segment.
inline int kdbh_of(const uint8_t *b)
{
    int off = 44 + 24 * (le16(b + 36) & 0xFF);
    if (b[38] & 0x20)
        off += 8 + (le32(b + 44 + 24 * (le16(b + 36) & 0xFF) + 4) & 0xFFFF);
    return off;
}

struct SlotView {
    int slot;       // row-directory index
    bool free;
    int off;        // block offset of the piece
};

// Slots of table t, free ones recognised through the free-slot list.
inline std::vector<SlotView> slots_of(const uint8_t *b, int t)
{
    int h = kdbh_of(b);
    int ntab = (int8_t)b[h + 1];
    std::vector<SlotView> out;
    if (t >= ntab)
        return out;
    int kdbr = h + 14 + 4 * ntab;
    int16_t sfll = (int16_t)le16(b + h + 4);
    int first = (int16_t)le16(b + h + 14 + 4 * t), n = (int16_t)le16(b + h + 16 + 4 * t);
    for (int s = 0; s < first; s++)
        if (s == sfll)
            sfll = (int16_t)le16(b + kdbr + 2 * s);
    for (int s = first; s < first + n; s++) {
        if (s == sfll) {
            sfll = (int16_t)le16(b + kdbr + 2 * s);
            out.push_back({s, true, -1});
        } else {
            out.push_back({s, false, h + (int16_t)le16(b + kdbr + 2 * s)});
        }
    }
    return out;
}

struct PieceView {
    uint8_t fb = 0;
    int cki = -1;
    bool has_nrid = false;
    uint32_t nrid_dba = 0;
    uint16_t nrid_slot = 0;
    std::vector<kb::Col> cols;
};

inline PieceView parse_piece(const uint8_t *p, bool cluster_member, bool extra6)
{
    PieceView v;
    v.fb = p[0];
    int cc = p[2];
    const uint8_t *q = p + 3;
    bool head = v.fb & kb::FB_HEAD, first = v.fb & kb::FB_FIRST, last = v.fb & kb::FB_LAST;
    if (cluster_member && first)
        v.cki = *q++;
    if (head && extra6)
        q += 6;
    if (!head && first)
        q += 6;   // head rowid
    v.has_nrid = head ? !(first && last) : !last;
    if (v.has_nrid) {
        v.nrid_dba = be32(q);
        v.nrid_slot = (uint16_t)((q[4] << 8) | q[5]);
        q += 6;
    }
    for (int i = 0; i < cc; i++) {
        kb::Col c;
        if (*q == 0xFF) {
            c.null = true;
            q++;
        } else {
            size_t n = *q++;
            if (n == 0xFE) {
                n = le16(q);
                q += 2;
            }
            c.data.assign(q, q + n);
            q += n;
        }
        v.cols.push_back(c);
    }
    return v;
}

// Reads all blocks of a datafile into memory, keyed by rdba.
struct Image {
    std::map<uint32_t, Bytes> blocks;
    uint32_t bsz = 8192;
    const uint8_t *at(uint32_t a) const
    {
        auto it = blocks.find(a);
        return it == blocks.end() ? nullptr : it->second.data();
    }
};

inline Image load(kb::Datafile &df)
{
    Image im;
    im.bsz = df.d.bsz;
    for (uint32_t b = 1; b <= df.d.blocks; b++) {
        Bytes blk(df.d.bsz);
        EXPECT_EQ(kb::df_read_block(df, b, blk.data()), 0);
        EXPECT_TRUE(kb::check_ok(blk.data(), blk.size())) << "block " << b;
        im.blocks[df.rdba_of(b)] = blk;
    }
    return im;
}

// The extents of a segment, following the map from its header.
inline std::vector<kb::Extent> walk_map(const Image &im, uint32_t hdr)
{
    std::vector<kb::Extent> out;
    for (uint32_t a = hdr; a;) {
        const uint8_t *b = im.at(a);
        if (!b)
            break;
        int m = b[0] == 0x10 ? 92 : b[0] == 0x23 ? 264 : (b[0] == 0x12 || b[0] == 0x24) ? 20 : -1;
        EXPECT_GE(m, 0);
        if (m < 0)
            break;
        for (uint32_t i = 0; i < le32(b + m); i++)
            out.push_back({le32(b + m + 16 + 8 * i), le32(b + m + 20 + 8 * i)});
        a = le32(b + m + 4);
    }
    return out;
}

struct Decoded {
    std::vector<kb::Col> cols;
    std::vector<kb::Col> key;   // cluster key columns
};

// Every row of table t of the segment: head pieces in walk order, followed
// through their next rowids, split columns joined.
inline std::vector<Decoded> decode_segment(const Image &im, uint32_t hdr, int t, bool extra6 = false)
{
    std::vector<Decoded> rows;
    for (const kb::Extent &e : walk_map(im, hdr))
        for (uint32_t i = 0; i < e.len; i++) {
            const uint8_t *b = im.at(e.dba + i);
            if (!b || b[0] != 0x06)
                continue;
            for (const SlotView &sv : slots_of(b, t)) {
                if (sv.free || !(b[sv.off] & kb::FB_HEAD) || (b[sv.off] & kb::FB_DELETED))
                    continue;
                Decoded d;
                PieceView p = parse_piece(b + sv.off, t > 0, extra6);
                const uint8_t *pb = b;
                for (int guard = 0;; guard++) {
                    if (p.cki >= 0) {
                        auto ks = slots_of(pb, 0);
                        const uint8_t *k = pb + ks.at((size_t)p.cki).off;
                        EXPECT_EQ(k[0] & 0x2C, 0x2C);
                        d.key.clear();
                        const uint8_t *q = k + 19;
                        for (int c = 0; c < k[2]; c++) {
                            d.key.push_back(kb::col_bytes(Bytes(q + 1, q + 1 + *q)));
                            q += 1 + *q;
                        }
                    }
                    for (size_t c = 0; c < p.cols.size(); c++) {
                        if (c == 0 && (p.fb & kb::FB_PREV) && !d.cols.empty())
                            d.cols.back().data.insert(d.cols.back().data.end(), p.cols[0].data.begin(),
                                                      p.cols[0].data.end());
                        else
                            d.cols.push_back(p.cols[c]);
                    }
                    if (!p.has_nrid || guard > 100)
                        break;
                    pb = im.at(p.nrid_dba);
                    EXPECT_NE(pb, nullptr);
                    if (!pb)
                        break;
                    auto ss = slots_of(pb, t);
                    p = parse_piece(pb + ss.at(p.nrid_slot).off, t > 0, extra6);
                    EXPECT_FALSE(p.fb & kb::FB_HEAD);
                }
                rows.push_back(d);
            }
        }
    return rows;
}

// Reads a whole datafile written by the builder, keyed by rdba.
inline Image load_file(const std::string &path)
{
    Image im;
    int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    if (fd < 0)
        return im;
    uint8_t b0[32];
    EXPECT_EQ(::pread(fd, b0, 32, 0), 32);
    uint32_t blk0 = le32(b0 + 20);
    Bytes h(512);
    EXPECT_EQ(::pread(fd, h.data(), 512, blk0), 512);
    uint32_t blocks = le32(h.data() + 44), bsz = le32(h.data() + 48), rfn = le32(h.data() + 368);
    im.bsz = bsz;
    Bytes all((size_t)blocks * bsz);
    EXPECT_EQ(::pread(fd, all.data(), all.size(), blk0), (ssize_t)all.size());
    ::close(fd);
    for (uint32_t b = 1; b <= blocks; b++) {
        const uint8_t *p = all.data() + (size_t)(b - 1) * bsz;
        if (p[0] == 0)
            continue;   // never written
        EXPECT_TRUE(kb::check_ok(p, bsz)) << path << " block " << b;
        uint32_t a = rfn == 1024 ? b : ((rfn << 22) | b);
        im.blocks[a] = Bytes(p, p + bsz);
    }
    return im;
}

// An Oracle NUMBER holding an integer, by the documented digit rule.
inline int64_t num_of(const kb::Col &c)
{
    const Bytes &b = c.data;
    if (c.null || b.empty() || (b.size() == 1 && b[0] == 0x80))
        return 0;
    bool neg = !(b[0] & 0x80);
    int e = neg ? (0xFF & ~b[0]) - 193 : b[0] - 193;
    size_t n = b.size();
    if (neg && b[n - 1] == 102)
        n--;
    int64_t v = 0;
    for (size_t i = 1; i < n; i++, e--)
        v = v * 100 + (neg ? 101 - b[i] : b[i] - 1);
    for (; e >= 0; e--)
        v *= 100;
    return neg ? -v : v;
}

inline std::string str_of(const kb::Col &c) { return std::string(c.data.begin(), c.data.end()); }

// ---------------------------------------------------------------- BasicFile LOBs
inline uint16_t be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }

struct Locator {
    bool inode = false, secure = false;
    uint16_t tlen = 0, width = 0;
    Bytes lobid;
    uint32_t blks = 0, bytes = 0;
    std::vector<uint32_t> rdbas;   // the chunk addresses listed after the inode
    Bytes inline_data;
    bool is_inline = false;
};

inline Locator parse_locator(const Bytes &l)
{
    Locator r;
    EXPECT_GE(l.size(), 20u);
    if (l.size() < 20)
        return r;
    r.tlen = be16(l.data());
    r.inode = l[5] & 0x04;
    r.secure = l[7] & 0x80;
    r.width = be16(l.data() + 8);
    r.lobid.assign(l.begin() + 10, l.begin() + 20);
    if (!r.inode || r.secure)
        return r;
    EXPECT_GE(l.size(), 36u);
    r.blks = be32(l.data() + 24);
    r.bytes = be16(l.data() + 28);
    r.is_inline = r.blks == 0 && r.bytes <= 3964;
    if (r.is_inline) {
        EXPECT_EQ(l.size(), 36u + r.bytes);
        r.inline_data.assign(l.begin() + 36, l.end());
    } else {
        EXPECT_EQ((l.size() - 36) % 4, 0u);
        for (size_t o = 36; o + 4 <= l.size(); o += 4)
            r.rdbas.push_back(be32(l.data() + o));
    }
    return r;
}


struct IndexEntry {
    bool dead = false;
    Bytes lobid;
    uint32_t page = 0;
    Bytes data;        // 32 bytes
    uint32_t leaf = 0; // rdba of its leaf
};

inline int key_cmp(const Bytes &a, uint32_t pa, const Bytes &b, uint32_t pb)
{
    int c = memcmp(a.data(), b.data(), 10);
    if (c)
        return c;
    return pa < pb ? -1 : pa > pb ? 1 : 0;
}

// A LOB index read from its root: every entry in leaf-chain order, with
// the checks that the tree is well formed (entries sorted, leaves chained
// both ways in key order, every separator between its neighbours' keys).
struct LobIndex {
    const Image &im;
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> leaves;   // in chain order
    int levels = 0;
    int truncated = 0;              // truncated separators seen
    int branches = 0;

    LobIndex(const Image &image, uint32_t root) : im(image)
    {
        // Down the leftmost children to the first leaf, counting levels.
        uint32_t a = root;
        for (int guard = 0; guard < 10; guard++) {
            const uint8_t *b = im.at(a);
            EXPECT_NE(b, nullptr) << std::hex << a;
            if (!b)
                return;
            EXPECT_EQ(b[0], 0x06);
            int x = kdbh_of(b);
            levels++;
            if (b[x] == 0)
                break;
            a = le32(b + x + 16);
        }
        uint32_t prev = 0;
        for (int guard = 0; a && guard < 100000; guard++) {
            const uint8_t *b = im.at(a);
            EXPECT_NE(b, nullptr);
            if (!b)
                return;
            int x = kdbh_of(b);
            EXPECT_EQ(b[x], 0);
            EXPECT_EQ(le32(b + x + 16 + 8), prev) << "kdxleprv of leaf " << std::hex << a;
            leaves.push_back(a);
            int n = (int16_t)le16(b + x + 8);
            for (int i = 0; i < n; i++) {
                const uint8_t *e = b + x + (int16_t)le16(b + x + 36 + 2 * i);
                EXPECT_EQ(e[34], 10);
                EXPECT_EQ(e[45], 4);
                IndexEntry ie;
                ie.dead = e[0] & 0x01;
                ie.data.assign(e + 2, e + 34);
                ie.lobid.assign(e + 35, e + 45);
                ie.page = be32(e + 46);
                ie.leaf = a;
                entries.push_back(ie);
            }
            prev = a;
            a = le32(b + x + 16 + 4);
        }
        for (size_t i = 1; i < entries.size(); i++) {
            int c = key_cmp(entries[i - 1].lobid, entries[i - 1].page, entries[i].lobid, entries[i].page);
            // Keys ascend; a deleted entry may precede a live one of its key.
            EXPECT_TRUE(c < 0 || (c == 0 && entries[i - 1].dead && !entries[i].dead)) << "entry " << i;
        }
        check_subtree(root, nullptr, 0, nullptr, 0);
    }

    // Every key under a node lies in [lo, hi) of its separators.
    void check_subtree(uint32_t a, const Bytes *lo, uint32_t lop, const Bytes *hi, uint32_t hip)
    {
        const uint8_t *b = im.at(a);
        ASSERT_NE(b, nullptr);
        int x = kdbh_of(b);
        int n = (int16_t)le16(b + x + 8);
        if (b[x] == 0) {
            for (const IndexEntry &e : entries)
                if (e.leaf == a) {
                    EXPECT_TRUE(!lo || key_cmp(e.lobid, e.page, *lo, lop) >= 0);
                    EXPECT_TRUE(!hi || key_cmp(e.lobid, e.page, *hi, hip) < 0);
                }
            return;
        }
        branches++;
        EXPECT_GE(n, 1) << "branch without separators";
        std::vector<uint32_t> child{le32(b + x + 16)};
        std::vector<Bytes> ks;
        std::vector<uint32_t> ps;
        for (int i = 0; i < n; i++) {
            const uint8_t *e = b + x + (int16_t)le16(b + x + 28 + 2 * i);
            child.push_back(le32(e));
            EXPECT_EQ(e[4], 10);
            ks.emplace_back(e + 5, e + 15);
            if (e[15] == 0xFE) {
                truncated++;
                ps.push_back(0);
            } else {
                EXPECT_EQ(e[15], 4);
                ps.push_back(be32(e + 16));
            }
        }
        for (size_t c = 0; c < child.size(); c++) {
            EXPECT_EQ(im.at(child[c])[kdbh_of(im.at(child[c]))], b[x] - 1) << "child level";
            check_subtree(child[c], c ? &ks[c - 1] : lo, c ? ps[c - 1] : lop, c < ks.size() ? &ks[c] : hi,
                          c < ks.size() ? ps[c] : hip);
        }
    }

    // The live entries of one LOB, by page.
    std::map<uint32_t, Bytes> of(const Bytes &lobid) const
    {
        std::map<uint32_t, Bytes> m;
        for (const IndexEntry &e : entries)
            if (!e.dead && e.lobid == lobid) {
                EXPECT_EQ(m.count(e.page), 0u);
                m[e.page] = e.data;
            }
        return m;
    }
};

// The bytes of a BasicFile value: inline data, or whole chunks from the
// locator's and the index's chunk addresses, then the final partial chunk.
inline Bytes read_basic(const Image &im, const Locator &loc, const LobIndex &ix, uint32_t chunk)
{
    if (loc.is_inline)
        return loc.inline_data;
    std::map<uint32_t, Bytes> ent = ix.of(loc.lobid);
    uint32_t blks = loc.blks, bytes = loc.bytes;
    std::vector<uint32_t> rdbas;
    uint32_t next_page = 0;
    if (loc.inode) {
        rdbas = loc.rdbas;
        next_page = 12;
    } else {
        EXPECT_EQ(ent.count(0), 1u);
        const Bytes &d = ent[0];
        blks = be32(d.data() + 4);
        bytes = be16(d.data() + 8);
        for (int k = 0; k < 4; k++)
            rdbas.push_back(be32(d.data() + 16 + 4 * k));
        next_page = 4;
    }
    uint32_t full = blks / chunk, rem = blks % chunk;
    uint32_t nchunks = full + (rem || bytes ? 1 : 0);
    rdbas.resize(std::min<size_t>(rdbas.size(), nchunks));
    for (uint32_t p = next_page; rdbas.size() < nchunks; p += 8) {
        EXPECT_EQ(rdbas.size(), p);
        EXPECT_EQ(ent.count(p), 1u) << "page " << p;
        if (!ent.count(p))
            return {};
        for (int k = 0; k < 8 && rdbas.size() < nchunks; k++)
            rdbas.push_back(be32(ent[p].data() + 4 * k));
    }
    const uint32_t per = im.bsz - 60;
    Bytes out;
    auto block = [&](uint32_t a, uint32_t n) {
        const uint8_t *b = im.at(a);
        EXPECT_NE(b, nullptr) << std::hex << a;
        if (!b)
            return;
        EXPECT_EQ(b[0], 0x28);
        EXPECT_EQ(le32(b + 4), a);
        out.insert(out.end(), b + 56, b + 56 + n);
    };
    for (uint32_t c = 0; c < nchunks; c++) {
        uint32_t nb = c < full ? chunk : rem;
        for (uint32_t k = 0; k < nb; k++)
            block(rdbas[c] + k, per);
        if (c == full && bytes)
            block(rdbas[c] + rem, bytes);
    }
    return out;
}

} // namespace rb
