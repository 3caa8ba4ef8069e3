// The LOB index: a B-tree over (LOB id, page number) whose leaf entries
// carry the chunk addresses (and, for page 0, the inode) of BasicFile LOBs.
//
// Every block: cache header, transaction header, ITL entries [, extra data
// area], then the index header (16 bytes), then the leaf header (20 bytes)
// or branch header (12 bytes), the entry offsets (relative to the index
// header) and the entries, packed from the end of the block down.
#include "lobs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kb {

namespace {

const int LEAF_ENTRY = 50;      // flag, lock, 32 data bytes, 0x0A + LOB id, 0x04 + page
const int BRANCH_FULL = 20;     // child, 0x0A + LOB id, 0x04 + page
const int LEAF_ITL = 2, BRANCH_ITL = 1;
const int EX_EXTRA = 4;         // bytes after the 8-byte extra data area

int xco_offset(int itl, bool assm) { return 44 + 24 * itl + (assm ? 8 + EX_EXTRA : 0); }

int leaf_capacity(const LobShape &sh, uint32_t bsz)
{
    int fit = ((int)bsz - 4 - xco_offset(LEAF_ITL, true) - 16 - 20) / (LEAF_ENTRY + 2);
    // With deleted entries a leaf may take one entry more than planned, to
    // keep a deleted entry in the leaf of its live twin.
    if (sh.dead_entries)
        fit--;
    int cap = sh.leaf_max > 0 ? std::min(sh.leaf_max, fit) : fit;
    // Each deleted entry sits right ahead of its live twin, so with two
    // entries per leaf no leaf holds deleted entries alone.
    return std::max(cap, sh.dead_entries ? 2 : 1);
}

// Separators per branch block; at least 2, so that every branch block,
// the last of a level included, gets at least one separator.
int branch_capacity(const LobShape &sh, uint32_t bsz)
{
    int fit = ((int)bsz - 4 - xco_offset(BRANCH_ITL, true) - 16 - 12) / (BRANCH_FULL + 2);
    int cap = sh.branch_max > 0 ? std::min(sh.branch_max, fit) : fit;
    return std::max(cap, 2);
}

// Sizes of the groups when `n` items are split into as few groups of at
// most `cap` as possible, spread evenly.
std::vector<size_t> groups(size_t n, size_t cap)
{
    size_t g = n == 0 ? 1 : (n + cap - 1) / cap;
    std::vector<size_t> out(g, n / g);
    for (size_t i = 0; i < n % g; i++)
        out[i]++;
    return out;
}

struct Key {
    LobId lobid{};
    uint32_t page = 0;
};

bool key_less(const LobId &a, uint32_t pa, const LobId &b, uint32_t pb)
{
    int c = memcmp(a.data(), b.data(), a.size());
    return c != 0 ? c < 0 : pa < pb;
}

struct Node {
    int level = 0;
    size_t first = 0, count = 0;     // leaf: its entries; branch: its children (indexes into the level below)
    Key lo, hi;                      // first and last key of the subtree
    uint32_t block = 0;
};

// The tree, level by level from the leaves up; the last level holds the root.
std::vector<std::vector<Node>> plan_tree(const std::vector<LobIndexEntry> &e, size_t n, const LobShape &sh,
                                         uint32_t bsz)
{
    std::vector<std::vector<Node>> levels(1);
    // Leaf boundaries; one that would part a deleted entry from its live
    // twin (right behind it) moves by one entry.
    std::vector<size_t> bounds{0};
    for (size_t g : groups(n, (size_t)leaf_capacity(sh, bsz)))
        bounds.push_back(bounds.back() + g);
    for (size_t i = 1; !e.empty() && i + 1 < bounds.size(); i++) {
        size_t &b = bounds[i];
        if (b > 0 && b < n && e[b - 1].dead)
            b = b - 1 > bounds[i - 1] ? b - 1 : b + 1;
    }
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    for (size_t i = 0; i + 1 < bounds.size() || levels[0].empty(); i++) {
        Node nd;
        nd.first = bounds[i];
        nd.count = i + 1 < bounds.size() ? bounds[i + 1] - bounds[i] : 0;
        if (nd.count && !e.empty()) {
            nd.lo = {e[nd.first].lobid, e[nd.first].page};
            nd.hi = {e[nd.first + nd.count - 1].lobid, e[nd.first + nd.count - 1].page};
        }
        levels[0].push_back(nd);
    }
    const size_t fan = (size_t)branch_capacity(sh, bsz) + 1;
    while (levels.back().size() > 1) {
        const std::vector<Node> &below = levels.back();
        std::vector<Node> up;
        size_t c = 0;
        for (size_t g : groups(below.size(), fan)) {
            Node nd;
            nd.level = (int)levels.size();
            nd.first = c;
            nd.count = g;
            nd.lo = below[c].lo;
            nd.hi = below[c + g - 1].hi;
            up.push_back(nd);
            c += g;
        }
        levels.push_back(std::move(up));
    }
    return levels;
}

// Transaction header and ITL entries of an index block; returns the offset
// of the index header.
int index_block_head(uint8_t *b, uint32_t bsz, uint32_t a, uint32_t objd, int itl, bool assm)
{
    memset(b, 0, bsz);
    const uint32_t scn = 0x00003000 + (a & 0xFFF);
    init_block(b, bsz, 0x06, a, scn);
    b[20] = 2;                                    // ktbbhtyp: index
    put_le32(b + 24, objd);
    put_le32(b + 28, scn);
    put_le16(b + 36, (uint16_t)itl);
    b[38] = assm ? 0x20 : 0x00;
    for (int i = 0; i < itl; i++) {
        uint8_t *t = b + 44 + 24 * i;
        put_le16(t, (uint16_t)(5 + i));
        put_le16(t + 2, (uint16_t)(0x20 + i));
        put_le32(t + 4, 0x0000B000u + (uint32_t)i);
        put_le32(t + 8, rdba(3, 0x200 + (uint32_t)i));
        put_le16(t + 12, 0x0051);
        t[14] = 0x07;
        put_le16(t + 16, 0x8000);
        put_le32(t + 20, scn - 1);
    }
    if (assm) {
        uint8_t *x = b + 44 + 24 * itl;
        put_le32(x, 1);
        put_le32(x + 4, EX_EXTRA);
        for (int i = 0; i < EX_EXTRA; i++)
            x[8 + i] = (uint8_t)(0xA0 | i);
    }
    return xco_offset(itl, assm);
}

// Index header: level, key columns, entry count and the free space.
void put_xco(uint8_t *x, int level, size_t nro, int fbo, int feo)
{
    x[0] = (uint8_t)level;
    x[1] = 0;
    x[2] = 0;
    x[3] = 2;                                     // key columns: LOB id, page number
    put_le32(x + 4, 0);
    put_le16(x + 8, (uint16_t)nro);
    put_le16(x + 10, (uint16_t)fbo);
    put_le16(x + 12, (uint16_t)feo);
    put_le16(x + 14, (uint16_t)(feo - fbo));
}

void put_key(uint8_t *p, const LobId &id, uint32_t page)
{
    p[0] = 0x0A;
    memcpy(p + 1, id.data(), id.size());
    p[11] = 0x04;
    put_be32(p + 12, page);
}

} // namespace

uint32_t lob_index_blocks(size_t n, const LobShape &shape, uint32_t bsz)
{
    uint32_t blocks = 0;
    for (const auto &lv : plan_tree({}, n, shape, bsz))
        blocks += (uint32_t)lv.size();
    return blocks;
}

int write_lob_index(Datafile &df, const std::vector<uint32_t> &blocks, uint32_t objd,
                    std::vector<LobIndexEntry> entries, const LobShape &shape, bool assm)
{
    const uint32_t bsz = df.d.bsz;
    std::stable_sort(entries.begin(), entries.end(), [](const LobIndexEntry &a, const LobIndexEntry &b) {
        if (a.lobid != b.lobid || a.page != b.page)
            return key_less(a.lobid, a.page, b.lobid, b.page);
        return a.dead && !b.dead;
    });
    for (size_t i = 1; i < entries.size(); i++)
        if (!entries[i].dead && !entries[i - 1].dead && entries[i].lobid == entries[i - 1].lobid &&
            entries[i].page == entries[i - 1].page) {
            fprintf(stderr, "builder: LOB index of object %u: two live entries of one key (page %u)\n", objd,
                    entries[i].page);
            return -1;
        }
    std::vector<std::vector<Node>> levels = plan_tree(entries, entries.size(), shape, bsz);
    size_t total = 0;
    for (const auto &lv : levels)
        total += lv.size();
    if (blocks.size() < total) {
        fprintf(stderr, "builder: LOB index of object %u needs %zu blocks, %zu given\n", objd, total, blocks.size());
        return -1;
    }

    // Blocks: the root first, then the branch levels from the top, then the
    // leaves (in reverse order when scattered, so that only the leaf chain
    // tells their order).
    size_t next = 0;
    for (size_t l = levels.size(); l-- > 1;)
        for (Node &nd : levels[l])
            nd.block = df.rdba_of(blocks[next++]);
    std::vector<Node> &leaves = levels[0];
    for (size_t i = 0; i < leaves.size(); i++)
        leaves[shape.scatter ? leaves.size() - 1 - i : i].block = df.rdba_of(blocks[next++]);
    if (levels.size() == 1)
        leaves[0].block = df.rdba_of(blocks[0]);

    std::vector<uint8_t> b(bsz);
    for (size_t i = 0; i < leaves.size(); i++) {
        const Node &nd = leaves[i];
        int x = index_block_head(b.data(), bsz, nd.block, objd, LEAF_ITL, assm);
        uint8_t *xle = b.data() + x + 16;
        int dead = 0;
        int pos = (int)bsz - 4, offs = x + 36;
        for (size_t k = 0; k < nd.count; k++) {
            const LobIndexEntry &e = entries[nd.first + k];
            pos -= LEAF_ENTRY;
            uint8_t *p = b.data() + pos;
            p[0] = e.dead ? 0x01 : 0x00;
            p[1] = 0;
            memcpy(p + 2, e.data.data(), 32);
            put_key(p + 34, e.lobid, e.page);
            put_le16(b.data() + offs + 2 * k, (uint16_t)(pos - x));
            dead += e.dead;
        }
        put_xco(b.data() + x, 0, nd.count, offs + 2 * (int)nd.count - x, pos - x);
        put_le16(xle, 0);
        put_le16(xle + 2, (uint16_t)dead);
        put_le32(xle + 4, i + 1 < leaves.size() ? leaves[i + 1].block : 0);
        put_le32(xle + 8, i > 0 ? leaves[i - 1].block : 0);
        xle[12] = 0;
        xle[13] = 0;
        put_le16(xle + 16, (uint16_t)(bsz - 4 - (uint32_t)x - 36));
        if (df_write_block(df, df.block_of(nd.block), b.data()))
            return -1;
    }
    for (size_t l = 1; l < levels.size(); l++)
        for (const Node &nd : levels[l]) {
            const std::vector<Node> &below = levels[l - 1];
            int x = index_block_head(b.data(), bsz, nd.block, objd, BRANCH_ITL, assm);
            uint8_t *xbr = b.data() + x + 16;
            put_le32(xbr, below[nd.first].block);
            put_le16(xbr + 8, (uint16_t)(bsz - 4 - (uint32_t)x - 28));
            int pos = (int)bsz - 4, offs = x + 28;
            // Separator of child c: the first key of its subtree, or only
            // its LOB id when that alone tells it from the child before.
            for (size_t k = 1; k < nd.count; k++) {
                const Node &left = below[nd.first + k - 1], &right = below[nd.first + k];
                bool trunc = shape.truncate_keys && left.hi.lobid != right.lo.lobid;
                pos -= trunc ? BRANCH_FULL - 4 : BRANCH_FULL;
                uint8_t *p = b.data() + pos;
                put_le32(p, right.block);
                if (trunc) {
                    p[4] = 0x0A;
                    memcpy(p + 5, right.lo.lobid.data(), right.lo.lobid.size());
                    p[15] = 0xFE;
                } else {
                    put_key(p + 4, right.lo.lobid, right.lo.page);
                }
                put_le16(b.data() + offs + 2 * (k - 1), (uint16_t)(pos - x));
            }
            put_xco(b.data() + x, (int)l, nd.count - 1, offs + 2 * (int)(nd.count - 1) - x, pos - x);
            if (df_write_block(df, df.block_of(nd.block), b.data()))
                return -1;
        }
    return 0;
}

} // namespace kb
