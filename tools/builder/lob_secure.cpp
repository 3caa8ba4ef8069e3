// SecureFile LOB values: the in-row locator (data inline, an extent list, or
// the address of a LOB header block), the SecureFile data blocks, the LOB
// header block and the index-tree ("itree") nodes under it.
//
// Locator fields are big-endian; every block field is host order
// (little-endian). Bytes a reader is meant to skip are filled with non-zero
// filler, so that a reader which miscounts them reads garbage.
//
// A header block lists extents itself and then names up to four itrees, one
// per level slot, like a file inode: the extents the header does not hold go
// first into a level-1 tree, then a level-2 tree, and so on up to the level
// asked for, each tree taking as many extents as it can hold while leaving at
// least one for every deeper tree. A reader walks the trees in slot order and
// stops at the first empty slot, so every slot below the deepest one in use
// names a tree.
#include "lobs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace kb {

namespace {

// Block types: SecureFile data blocks are transaction data blocks; the LOB
// header block and the itree nodes are LOB metadata blocks.
constexpr uint8_t kTypeData = 0x06;
constexpr uint8_t kTypeHeader = 0x28;
constexpr uint8_t kTypeItree = 0x29;

// Fields shared by the LOB blocks.
constexpr size_t kObjdAt = 24;      // data object number of the LOB segment
constexpr size_t kLobidAt = 44;     // the LOB's id (10 bytes)
constexpr size_t kPageAt = 56;      // data block: its number within the value
constexpr size_t kFlagAt = 82;      // block kind flags
constexpr uint8_t kFlagData = 0x20; // a SecureFile data block
constexpr uint8_t kFlagItree = 0x40;// an itree node
constexpr size_t kUsedAt = 124;     // data block: data bytes held
constexpr size_t kDataAt = 128;     // data block: the data
constexpr size_t kTail = 4;         // block tail

// LOB header block.
constexpr size_t kHdrCountAt = 126; // extent entries in the header
constexpr size_t kHdrTreeAt = 136;  // rdbas of the level-1..4 itrees
constexpr size_t kHdrExtAt = 184;   // extent entries (8 bytes)

// Itree node.
constexpr size_t kNodeLevelAt = 102;
constexpr size_t kNodeCountAt = 106;
constexpr size_t kNodeEntAt = 112;  // level 1: 8-byte extent entries; above: 12-byte child entries

// Blocks per extent after the leading 0-block extent when extent_blocks is 0.
constexpr uint32_t kZeroExtentRest = 8;
// Longest locator a row keeps.
constexpr size_t kMaxLocator = 4000;

uint8_t filler(size_t i) { return (uint8_t)(0x80 | ((i * 37 + 11) & 0x7F)); }

struct Tree {
    size_t first = 0;            // first extent (index into Plan::ext)
    size_t extents = 0;
    std::vector<size_t> nodes;   // nodes[j]: nodes of level j + 1 (the last is the root, 1)
};

// Where a value's blocks go, computed from the value alone.
struct Plan {
    uint32_t bsz = 0, fill = 0;
    size_t ndata = 0;                 // data blocks
    std::vector<uint32_t> ext;        // extent lengths in value order
    size_t in_header = 0;             // extents listed in the header block
    size_t fan1 = 0, fanh = 0;        // entries per level-1 node, per higher node
    std::vector<Tree> trees;          // trees[k - 1]: the level-k tree
    bool header = false, data_slot = false;
    uint32_t meta = 0;                // header and itree node blocks
    uint32_t blocks = 0;              // every block of the value
};

size_t div_up(size_t a, size_t b) { return (a + b - 1) / b; }

// Level-1 entries a level-k tree of these fanouts holds (saturating).
size_t tree_capacity(size_t fan1, size_t fanh, int k)
{
    size_t c = fan1;
    for (int j = 1; j < k; j++)
        c = c > (size_t)-1 / fanh ? (size_t)-1 : c * fanh;
    return c;
}

// Fills `p`; returns an empty string, or why the value cannot be stored so.
std::string plan_value(const LobValue &v, uint32_t bsz, Plan &p)
{
    p = Plan{};
    p.bsz = bsz;
    uint32_t room = secure_block_data(bsz);
    p.fill = v.block_fill ? v.block_fill : room;
    if (p.fill > room)
        return "block_fill " + std::to_string(v.block_fill) + " above the " + std::to_string(room) +
               " data bytes of a block";
    if (v.form == LobForm::SecureInline || v.form == LobForm::SecureEmpty)
        return "";
    if (v.form != LobForm::SecureExtents && v.form != LobForm::SecureHeader)
        return "not a SecureFile form";

    size_t n = v.data.size();
    if (v.form == LobForm::SecureHeader && v.itree_data_block) {
        if (n > p.fill)
            return std::to_string(n) + " bytes do not fit the one data block an itree slot names";
        p.header = p.data_slot = true;
        p.ndata = 1;
        p.meta = 1;
        p.blocks = 2;
        return "";
    }

    p.ndata = div_up(n, p.fill);
    uint32_t per = v.extent_blocks;
    if (per == 0) {
        p.ext.push_back(0);
        per = kZeroExtentRest;
    }
    for (size_t left = p.ndata; left > 0; left -= std::min<size_t>(left, per))
        p.ext.push_back((uint32_t)std::min<size_t>(left, per));

    if (v.form == LobForm::SecureExtents) {
        if (p.ext.empty())
            p.ext.push_back(0);   // an empty value still lists one extent
        if (p.ext.size() > 256)
            return std::to_string(p.ext.size()) + " extents, a locator lists at most 256";
        if (*std::max_element(p.ext.begin(), p.ext.end()) > 255)
            return "an extent of a locator list holds at most 255 blocks";
        p.blocks = (uint32_t)p.ndata;
        return "";
    }

    p.header = true;
    for (uint32_t e : p.ext)
        if (e > 0xFFFF)
            return "an extent of a header or itree holds at most 65535 blocks";
    size_t hcap = (bsz - kHdrExtAt - kTail) / 8;
    if (v.hdr_extents > (int)hcap)
        return std::to_string(v.hdr_extents) + " extents do not fit a header block (" + std::to_string(hcap) + ")";
    p.in_header = std::min(p.ext.size(), v.hdr_extents < 0 ? hcap : (size_t)v.hdr_extents);
    size_t rest = p.ext.size() - p.in_header;
    p.meta = 1;
    if (rest > 0) {
        int levels = v.itree_level;
        if (levels < 1 || levels > 4)
            return "itree level " + std::to_string(levels) + " (1 to 4)";
        size_t fit1 = (bsz - kNodeEntAt - kTail) / 8, fith = (bsz - kNodeEntAt - kTail) / 12;
        if (v.itree_fanout < 0 || (size_t)v.itree_fanout > fith)
            return "itree fanout " + std::to_string(v.itree_fanout) + " (at most " + std::to_string(fith) + ")";
        p.fan1 = v.itree_fanout ? (size_t)v.itree_fanout : fit1;
        p.fanh = v.itree_fanout ? (size_t)v.itree_fanout : fith;
        if (rest < (size_t)levels)
            return std::to_string(rest) + " extents outside the header cannot fill itrees of levels 1 to " +
                   std::to_string(levels);
        size_t first = p.in_header;
        for (int k = 1; k <= levels; k++) {
            size_t cap = tree_capacity(p.fan1, p.fanh, k);
            size_t m = k == levels ? rest : std::min(cap, rest - (size_t)(levels - k));
            if (m > cap)
                return std::to_string(rest) + " extents exceed a level-" + std::to_string(k) +
                       " itree of fanout " + std::to_string(p.fan1);
            Tree t;
            t.first = first;
            t.extents = m;
            size_t c = div_up(m, p.fan1);
            t.nodes.push_back(c);
            for (int j = 2; j <= k; j++)
                t.nodes.push_back(c = div_up(c, p.fanh));
            for (size_t x : t.nodes)
                p.meta += (uint32_t)x;
            p.trees.push_back(std::move(t));
            first += m;
            rest -= m;
        }
    }
    p.blocks = p.meta + (uint32_t)p.ndata;
    return "";
}

// Cache header and the fields every LOB block of the value carries.
void start_block(uint8_t *blk, uint32_t bsz, uint8_t type, uint32_t a, const LobSpace &sp, const LobId &id)
{
    memset(blk, 0, bsz);
    init_block(blk, bsz, type, a);
    blk[20] = 1;
    put_le32(blk + kObjdAt, sp.objd);
    memcpy(blk + kLobidAt, id.data(), id.size());
}

// An 8-byte extent entry of a header block or level-1 node.
void put_extent_entry(uint8_t *e, uint32_t blocks, uint32_t a, size_t salt)
{
    e[0] = filler(salt);
    e[1] = filler(salt + 1);
    put_le16(e + 2, (uint16_t)blocks);
    put_le32(e + 4, a);
}

int check_range(const LobSpace &sp, uint32_t b, uint32_t n)
{
    if (b + n - 1 > sp.df->d.blocks) {
        fprintf(stderr, "%s: LOB blocks %u..%u beyond the file's %u blocks\n", sp.df->path.c_str(), b,
                b + n - 1, sp.df->d.blocks);
        return -1;
    }
    return 0;
}

// Writes data blocks [page, page + n) of the value at blocks b.. of the file,
// in runs of consecutive blocks written at once.
int write_data_run(LobSpace &sp, const LobValue &v, const LobId &id, const Plan &p, size_t page, uint32_t b,
                   uint32_t n, std::vector<uint8_t> &buf)
{
    if (n == 0)
        return 0;
    if (check_range(sp, b, n))
        return -1;
    const uint32_t bsz = p.bsz, run_max = std::max<uint32_t>(1, (1u << 20) / bsz);
    for (uint32_t done = 0; done < n;) {
        uint32_t run = std::min(run_max, n - done);
        buf.resize((size_t)run * bsz);
        for (uint32_t i = 0; i < run; i++, page++) {
            uint8_t *blk = buf.data() + (size_t)i * bsz;
            start_block(blk, bsz, kTypeData, sp.df->rdba_of(b + done + i), sp, id);
            size_t off = page * p.fill, used = std::min<size_t>(p.fill, v.data.size() - std::min(off, v.data.size()));
            put_le32(blk + kPageAt, (uint32_t)page);
            blk[kFlagAt] = kFlagData;
            put_le16(blk + kUsedAt, (uint16_t)used);
            if (used)
                memcpy(blk + kDataAt, v.data.data() + off, used);
            fix_check(blk, bsz);
        }
        if (df_write_raw(*sp.df, b + done, buf.data(), buf.size()))
            return -1;
        done += run;
    }
    return 0;
}

// Writes one itree (nodes at `node_blk`, level by level from level 1) over
// the extents at ext_rdba; returns the root's rdba through `root`.
int write_tree(LobSpace &sp, const LobId &id, const Plan &p, const Tree &t, const std::vector<uint32_t> &ext_rdba,
               const uint32_t *node_blk, uint32_t &root, uint8_t *blk)
{
    const uint32_t bsz = p.bsz;
    size_t below_first = 0, below_count = 0;  // position of the previous level in node_blk
    size_t at = 0;
    for (size_t lv = 0; lv < t.nodes.size(); lv++) {
        size_t count = t.nodes[lv], fan = lv == 0 ? p.fan1 : p.fanh;
        size_t items = lv == 0 ? t.extents : below_count;
        for (size_t j = 0; j < count; j++) {
            uint32_t b = node_blk[at + j];
            start_block(blk, bsz, kTypeItree, sp.df->rdba_of(b), sp, id);
            blk[kFlagAt] = kFlagItree;
            put_le16(blk + kNodeLevelAt, (uint16_t)(lv + 1));
            size_t lo = j * fan, hi = std::min(items, lo + fan);
            put_le16(blk + kNodeCountAt, (uint16_t)(hi - lo));
            for (size_t e = lo; e < hi; e++) {
                if (lv == 0) {
                    size_t x = t.first + e;
                    put_extent_entry(blk + kNodeEntAt + 8 * (e - lo), p.ext[x], ext_rdba[x], e);
                } else {
                    uint8_t *q = blk + kNodeEntAt + 12 * (e - lo);
                    for (int s = 0; s < 8; s++)
                        q[s] = filler(e + (size_t)s);
                    put_le32(q + 8, sp.df->rdba_of(node_blk[below_first + e]));
                }
            }
            if (df_write_block(*sp.df, b, blk))
                return -1;
        }
        below_first = at;
        below_count = count;
        at += count;
    }
    root = sp.df->rdba_of(node_blk[at - 1]);
    return 0;
}

// The locator: the common part, the SecureFile header and inode, then the
// payload (inline data, extent list or header block address).
int make_locator(const LobValue &v, const LobId &id, const Plan &p, const std::vector<uint32_t> &ext_rdba,
                 uint32_t hdr_rdba, std::vector<uint8_t> &loc)
{
    uint64_t len = v.data.size();
    int need = 1;
    while (need < 8 && (len >> (8 * need)) != 0)
        need++;
    int nb = v.len_bytes ? v.len_bytes : need;
    if (nb < 1 || nb > 8 || nb < need) {
        fprintf(stderr, "SecureFile LOB: a length field of %d bytes cannot hold %llu\n", v.len_bytes,
                (unsigned long long)len);
        return -1;
    }
    if (v.skip < 0 || v.skip > 255) {
        fprintf(stderr, "SecureFile LOB: %d bytes to skip (0 to 255)\n", v.skip);
        return -1;
    }
    if (v.width < 1 || v.width > 0xFFFF) {
        fprintf(stderr, "SecureFile LOB: width %d\n", v.width);
        return -1;
    }

    loc.assign(28, 0);
    put_be16(loc.data() + 2, 1);      // locator version
    loc[4] = 0x02;
    loc[5] = 0x0C;
    loc[6] = 0x80;
    loc[7] = 0x80;                    // SecureFile
    put_be16(loc.data() + 8, (uint16_t)v.width);
    memcpy(loc.data() + 10, id.data(), id.size());
    uint8_t inode = (uint8_t)(nb - 1);
    loc[22] = 0x40;
    if (v.form == LobForm::SecureInline)
        loc[22] |= 0x08;
    else if (v.form == LobForm::SecureExtents)
        inode |= 0x20;
    else if (v.form == LobForm::SecureHeader)
        inode |= 0x40;
    loc[23] = 0x90;
    loc[24] = filler(24);
    loc[25] = filler(25);
    loc[26] = inode;
    loc[27] = (uint8_t)v.skip;
    for (int i = nb - 1; i >= 0; i--)
        loc.push_back((uint8_t)(len >> (8 * i)));
    for (int i = 0; i <= v.skip; i++)
        loc.push_back(filler(loc.size()));

    if (v.form == LobForm::SecureInline) {
        loc.insert(loc.end(), v.data.begin(), v.data.end());
    } else if (v.form == LobForm::SecureExtents) {
        loc.push_back((uint8_t)(p.ext.size() - 1));
        for (size_t i = 0; i < p.ext.size(); i++) {
            uint8_t e[6];
            e[0] = filler(i);
            put_be32(e + 1, ext_rdba[i]);
            e[5] = (uint8_t)p.ext[i];
            loc.insert(loc.end(), e, e + 6);
        }
    } else if (v.form == LobForm::SecureHeader) {
        uint8_t a[4];
        put_be32(a, hdr_rdba);
        loc.insert(loc.end(), a, a + 4);
    }
    if (loc.size() > kMaxLocator) {
        fprintf(stderr, "SecureFile LOB: a locator of %zu bytes is longer than a row keeps (%zu)\n", loc.size(),
                kMaxLocator);
        return -1;
    }
    put_be16(loc.data(), (uint16_t)(loc.size() - 2));
    put_be16(loc.data() + 20, (uint16_t)(loc.size() - 22));
    return 0;
}

} // namespace

uint32_t secure_blocks_needed(const LobValue &v, uint32_t bsz)
{
    Plan p;
    return plan_value(v, bsz, p).empty() ? p.blocks : 0;
}

int write_secure_value(LobSpace &sp, const LobValue &v, const LobId &id, const LobShape &shape,
                       std::vector<uint8_t> &locator)
{
    if (!sp.df) {
        fprintf(stderr, "SecureFile LOB: no datafile for the LOB segment\n");
        return -1;
    }
    Plan p;
    std::string why = plan_value(v, sp.df->d.bsz, p);
    if (!why.empty()) {
        fprintf(stderr, "SecureFile LOB: %s\n", why.c_str());
        return -1;
    }
    const uint32_t bsz = p.bsz;

    // Block numbers: metadata blocks (header first, then the itree nodes of
    // each tree level by level) and the first block of every extent. Scattered,
    // the extents go in reverse order with a metadata block between them.
    std::vector<uint32_t> meta(p.meta), ext_blk(p.ext.size());
    uint32_t base = 0;
    if (p.blocks) {
        if (!(base = sp.take(p.blocks)) || check_range(sp, base, p.blocks))
            return -1;
        uint32_t at = base;
        size_t m = 0;
        if (!shape.scatter) {
            for (; m < meta.size(); m++)
                meta[m] = at++;
            for (size_t i = 0; i < p.ext.size(); i++)
                ext_blk[i] = at, at += p.ext[i];
        } else {
            for (size_t i = p.ext.size(); i-- > 0;) {
                ext_blk[i] = at, at += p.ext[i];
                if (p.ext[i] && m < meta.size())
                    meta[m++] = at++;
            }
            for (; m < meta.size(); m++)
                meta[m] = at++;
        }
    }
    // An extent of no blocks names the first block of the next extent.
    uint32_t next_blk = p.ext.empty() ? base : 0;
    for (size_t i = p.ext.size(); i-- > 0;) {
        if (p.ext[i])
            next_blk = ext_blk[i];
        else
            ext_blk[i] = next_blk ? next_blk : base;
    }
    std::vector<uint32_t> ext_rdba(p.ext.size());
    for (size_t i = 0; i < p.ext.size(); i++)
        ext_rdba[i] = sp.df->rdba_of(ext_blk[i]);

    std::vector<uint8_t> buf;
    size_t page = 0;
    for (size_t i = 0; i < p.ext.size(); i++) {
        if (write_data_run(sp, v, id, p, page, ext_blk[i], p.ext[i], buf))
            return -1;
        page += p.ext[i];
    }

    uint32_t hdr_rdba = 0;
    if (p.header) {
        std::vector<uint8_t> blk(bsz);
        uint32_t slots[4] = {0, 0, 0, 0};
        if (p.data_slot) {
            // The value's two blocks: header and data block (data block first when scattered).
            uint32_t d = base + 1;
            if (shape.scatter)
                meta[0] = base + 1, d = base;
            if (write_data_run(sp, v, id, p, 0, d, 1, buf))
                return -1;
            slots[0] = sp.df->rdba_of(d);
        }
        size_t at = 1;
        for (size_t k = 0; k < p.trees.size(); k++) {
            if (write_tree(sp, id, p, p.trees[k], ext_rdba, meta.data() + at, slots[k], blk.data()))
                return -1;
            for (size_t x : p.trees[k].nodes)
                at += x;
        }
        start_block(blk.data(), bsz, kTypeHeader, sp.df->rdba_of(meta[0]), sp, id);
        put_le16(blk.data() + kHdrCountAt, (uint16_t)p.in_header);
        for (int k = 0; k < 4; k++)
            put_le32(blk.data() + kHdrTreeAt + 4 * k, slots[k]);
        for (size_t i = 0; i < p.in_header; i++)
            put_extent_entry(blk.data() + kHdrExtAt + 8 * i, p.ext[i], ext_rdba[i], i);
        if (df_write_block(*sp.df, meta[0], blk.data()))
            return -1;
        hdr_rdba = sp.df->rdba_of(meta[0]);
    }
    return make_locator(v, id, p, ext_rdba, hdr_rdba, locator);
}

} // namespace kb
