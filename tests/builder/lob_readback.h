// An independent reader of the builder's BasicFile LOBs for its own tests:
// the locator and inode, LOB data blocks, and the LOB index walked two
// ways (the leaf chain from the leftmost leaf, and descents from the root),
// written from the block layouts.
#pragma once

#include "readback.h"

#include <cstring>

namespace rb {

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

// Offset of the index header: behind the transaction header, the ITL
// entries and the extra data area.
inline int xco_of(const uint8_t *b) { return kdbh_of(b); }

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
            int x = xco_of(b);
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
            int x = xco_of(b);
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
        int x = xco_of(b);
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
            EXPECT_EQ(im.at(child[c])[xco_of(im.at(child[c]))], b[x] - 1) << "child level";
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
