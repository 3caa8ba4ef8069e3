// BasicFile LOB storage: the in-row locator with its inode, inline data,
// chunk addresses in the locator and the LOB index entries for the rest,
// and the LOB data blocks the chunks are made of.
#include "lobs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace kb {

namespace {

const size_t INLINE_MAX = 3964;   // larger in-row sizes are read as chunked
const int LOCATOR_RDBAS = 12;     // chunk addresses a locator with inode holds
const uint8_t LOB_BLOCK = 0x28;   // LOB data block

// How a value of `len` bytes splits into blocks and chunks.
struct Split {
    uint32_t blks = 0;        // completely filled blocks
    uint32_t bytes = 0;       // bytes used in the block after them
    uint32_t full = 0;        // full chunks
    uint32_t tail_blocks = 0; // blocks of the final partial chunk (0: none)
    uint32_t chunks() const { return full + (tail_blocks ? 1 : 0); }
    uint32_t blocks(int chunk) const { return full * (uint32_t)chunk + tail_blocks; }
};

Split split_of(size_t len, int chunk, uint32_t bsz)
{
    Split s;
    uint32_t per = basic_block_data(bsz);
    s.blks = (uint32_t)(len / per);
    s.bytes = (uint32_t)(len % per);
    s.full = s.blks / (uint32_t)chunk;
    uint32_t rem = s.blks % (uint32_t)chunk;
    s.tail_blocks = rem + (s.bytes ? 1 : 0);
    return s;
}

// A BasicChunks value small enough for the locator is kept inline, as a
// chunked value of that size would read back as inline data.
bool stored_inline(const LobValue &v)
{
    return v.form == LobForm::BasicInline || (v.form == LobForm::BasicChunks && v.data.size() <= INLINE_MAX);
}

// The 16-byte inode: size, flag, future, blks and bytes (big-endian), version.
void put_inode(uint8_t *p, uint16_t size, uint32_t blks, uint32_t bytes)
{
    memset(p, 0, 16);
    put_be16(p, size);
    p[2] = 0x09;
    put_be32(p + 4, blks);
    put_be16(p + 8, (uint16_t)bytes);
    p[15] = 0x01;   // version 1 of the LOB
}

// The position of each chunk within the value's run of blocks. Scattered:
// the last chunk first, then the first, the second to last, the second, ...
std::vector<uint32_t> chunk_order(uint32_t n, bool scatter)
{
    std::vector<uint32_t> order(n);
    for (uint32_t p = 0; p < n; p++)
        order[p] = !scatter ? p : (p % 2 == 0 ? n - 1 - p / 2 : p / 2);
    return order;
}

// Formats one LOB data block: cache header, then the LOB block header
// (data object number, SCN, LOB id, page number within the LOB, bytes of
// data held), the data from byte 56, the tail in the last 4 bytes.
void make_lob_block(uint8_t *b, uint32_t bsz, uint32_t a, uint32_t objd, const LobId &id, uint32_t page,
                    const uint8_t *data, uint32_t n)
{
    memset(b, 0, bsz);
    const uint32_t scn = 0x00002000 + (a & 0xFFF);
    init_block(b, bsz, LOB_BLOCK, a, scn);
    put_le32(b + 20, objd);
    put_le32(b + 24, scn);
    put_le16(b + 28, 0);
    memcpy(b + 32, id.data(), id.size());
    put_le32(b + 44, page);
    put_le32(b + 48, n);
    put_le32(b + 52, 1);
    if (n)
        memcpy(b + 56, data, n);
    fix_check(b, bsz);
}

} // namespace

LobId lob_id(uint32_t lobj, uint32_t k)
{
    // An odd multiplier is a bijection of 32-bit numbers: unique ids whose
    // byte order has nothing to do with k.
    uint32_t x = (k + 1) * 0x9E3779B1u ^ 0x5A5A0000u;
    LobId id{};
    id[0] = 0x00;
    id[1] = 0x00;
    id[2] = 0x00;
    id[3] = 0x01;
    put_be16(id.data() + 4, (uint16_t)(lobj & 0xFFFF));
    put_be32(id.data() + 6, x);
    return id;
}

uint32_t basic_blocks_needed(const LobValue &v, int chunk, uint32_t bsz)
{
    if (is_secure(v.form) || stored_inline(v) || chunk < 1)
        return 0;
    return split_of(v.data.size(), chunk, bsz).blocks(chunk);
}

int write_basic_value(LobSpace &sp, const LobValue &v, int chunk, const LobId &id, const LobShape &shape,
                      std::vector<uint8_t> &locator, std::vector<LobIndexEntry> &entries)
{
    if (is_secure(v.form)) {
        fprintf(stderr, "builder: a SecureFile value given to the BasicFile writer\n");
        return -1;
    }
    if (v.width != 1 && v.width != 2) {
        fprintf(stderr, "builder: LOB character width %d (1 or 2)\n", v.width);
        return -1;
    }
    const uint32_t bsz = sp.df ? sp.df->d.bsz : 0;
    if (!sp.df || chunk < 1 || (uint64_t)chunk * bsz > 32768) {
        fprintf(stderr, "builder: BasicFile chunk of %d blocks of %u bytes (at most 32 KiB)\n", chunk, bsz);
        return -1;
    }
    if (v.form == LobForm::BasicInline && v.data.size() > INLINE_MAX) {
        fprintf(stderr, "builder: inline BasicFile value of %zu bytes (at most %zu)\n", v.data.size(), INLINE_MAX);
        return -1;
    }
    const bool inode = v.form != LobForm::BasicIndexOnly;
    const bool inl = stored_inline(v);
    const Split s = inl ? Split{0, (uint32_t)v.data.size(), 0, 0} : split_of(v.data.size(), chunk, bsz);
    const uint32_t n = s.chunks();

    // The chunks: one run of blocks, each chunk `chunk` consecutive blocks
    // (the final partial one fewer), chunks in scattered order when asked.
    std::vector<uint32_t> first(n);   // rdba of each chunk's first block
    if (!inl && n > 0) {
        Datafile &df = *sp.df;
        const uint32_t total = s.blocks(chunk), per = basic_block_data(bsz);
        uint32_t start = sp.take(total);
        if (start == 0)
            return -1;
        std::vector<uint8_t> run((size_t)total * bsz);
        uint32_t at = 0;
        for (uint32_t c : chunk_order(n, shape.scatter)) {
            uint32_t nb = c < s.full ? (uint32_t)chunk : s.tail_blocks;
            first[c] = df.rdba_of(start + at);
            for (uint32_t k = 0; k < nb; k++) {
                uint32_t page = c * (uint32_t)chunk + k;
                size_t off = (size_t)page * per;
                uint32_t len = (uint32_t)std::min<size_t>(per, v.data.size() - off);
                make_lob_block(run.data() + (size_t)(at + k) * bsz, bsz, df.rdba_of(start + at + k), sp.objd, id,
                               page, v.data.data() + off, len);
            }
            at += nb;
        }
        if (df_write_raw(df, start, run.data(), run.size()))
            return -1;
    }

    // The locator: 20 bytes, then the inode and the inline data or the
    // first chunk addresses.
    const uint32_t in_loc = inode && !inl ? std::min<uint32_t>(n, LOCATOR_RDBAS) : 0;
    size_t len = 20 + (inode ? 16 : 0) + (inl ? v.data.size() : 4 * (size_t)in_loc);
    locator.assign(len, 0);
    uint8_t *p = locator.data();
    put_be16(p, (uint16_t)(len - 2));     // bytes after the length field
    put_be16(p + 2, 1);                   // locator version
    p[4] = 0x02;
    p[5] = (uint8_t)(0x08 | (inode ? 0x04 : 0x00));
    p[6] = 0x00;
    p[7] = 0x00;                          // BasicFile
    put_be16(p + 8, (uint16_t)v.width);
    memcpy(p + 10, id.data(), id.size());
    if (inode) {
        put_inode(p + 20, (uint16_t)(len - 22), s.blks, s.bytes);
        if (inl && !v.data.empty())
            memcpy(p + 36, v.data.data(), v.data.size());
        for (uint32_t c = 0; c < in_loc; c++)
            put_be32(p + 36 + 4 * c, first[c]);
    }

    // Index entries: with an inode the chunks after the locator's twelve,
    // 8 per entry (pages 12, 20, ...); without, the page-0 entry with the
    // inode and 4 chunks, then 8 per entry (pages 4, 12, ...).
    if (!inode) {
        LobIndexEntry e;
        e.lobid = id;
        e.page = 0;
        put_inode(e.data.data(), 0, s.blks, s.bytes);
        for (uint32_t c = 0; c < 4 && c < n; c++)
            put_be32(e.data.data() + 16 + 4 * c, first[c]);
        entries.push_back(e);
    }
    for (uint32_t c = inode ? LOCATOR_RDBAS : 4; c < n; c += 8) {
        LobIndexEntry e;
        e.lobid = id;
        e.page = c;
        for (uint32_t k = 0; k < 8 && c + k < n; k++)
            put_be32(e.data.data() + 4 * k, first[c + k]);
        entries.push_back(e);
    }
    return 0;
}

int write_stale_chunk(LobSpace &sp, int chunk, uint32_t &a)
{
    if (!sp.df || chunk < 1)
        return -1;
    const uint32_t bsz = sp.df->d.bsz;
    uint32_t start = sp.take((uint32_t)chunk);
    if (start == 0)
        return -1;
    std::vector<uint8_t> stale(basic_block_data(bsz), 0xDE), run((size_t)chunk * bsz);
    LobId none{};
    none.fill(0xEE);
    for (int k = 0; k < chunk; k++)
        make_lob_block(run.data() + (size_t)k * bsz, bsz, sp.df->rdba_of(start + (uint32_t)k), sp.objd, none,
                       (uint32_t)k, stale.data(), (uint32_t)stale.size());
    a = sp.df->rdba_of(start);
    return df_write_raw(*sp.df, start, run.data(), run.size());
}

void add_dead_entries(std::vector<LobIndexEntry> &entries, uint32_t stale)
{
    std::map<LobId, uint32_t> lowest;
    for (const LobIndexEntry &e : entries) {
        auto it = lowest.find(e.lobid);
        if (it == lowest.end())
            lowest.emplace(e.lobid, e.page);
        else
            it->second = std::min(it->second, e.page);
    }
    const size_t n = entries.size();
    for (size_t i = 0; i < n; i++) {
        if (entries[i].dead || lowest[entries[i].lobid] != entries[i].page)
            continue;
        LobIndexEntry d = entries[i];
        d.dead = true;
        size_t from = 0;
        if (d.page == 0) {
            uint16_t bytes = (uint16_t)((d.data[8] << 8) | d.data[9]);
            put_be16(d.data.data() + 8, (uint16_t)(bytes + 1));
            from = 16;
        }
        for (size_t k = from; k < 32; k += 4)
            put_be32(d.data.data() + k, stale);
        entries.push_back(d);
    }
}

} // namespace kb
