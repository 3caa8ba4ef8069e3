// The pieces of a LOB value record, computed from the value's logical
// description (its bytes, its form and shape, the column's chunk size and
// the block size of the LOB segment), never from the datafiles:
//  - data kept in the locator (BasicFile or SecureFile inline): one piece;
//  - BasicFile: each full chunk one piece, the final partial chunk (its
//    whole blocks and the used bytes of the block after them) one piece; a
//    chunk whose blocks exceed 32 KiB is cut into pieces of whole blocks of at
//    most 32 KiB, and the partial block's bytes join the last of them only
//    when that one has room for one more block in 32 KiB;
//  - SecureFile extents: each extent cut into batches of 32768 / bsz blocks,
//    one piece per batch holding the used bytes of its blocks; an itree slot
//    that names a data block: that block's bytes, one piece.
#pragma once

#include <algorithm>
#include <cassert>
#include <functional>

#include "kbuild.h"

#include "../unload/expect_dump.h"

namespace xl {

using xd::Bytes;

// Appends the pieces of `blocks` consecutive blocks read in batches of
// `batch` blocks, block j holding fill(j) bytes of the value from *at on;
// `tail` bytes of one more block join the last batch when it has fewer than
// `batch` blocks, else they make a piece of their own.
inline void batched(std::vector<Bytes> &out, const Bytes &v, size_t *at, uint64_t blocks, uint32_t batch,
                    const std::function<size_t(uint64_t)> &fill, size_t tail)
{
    auto take = [&](size_t len) {
        if (len == 0)
            return;
        assert(len <= 32768 && *at + len <= v.size());
        out.emplace_back(v.begin() + (long)*at, v.begin() + (long)(*at + len));
        *at += len;
    };
    for (uint64_t k = 0; k < blocks;) {
        uint64_t n = std::min<uint64_t>(batch, blocks - k);
        size_t len = 0;
        for (uint64_t j = k; j < k + n; j++)
            len += fill(j);
        k += n;
        if (k == blocks && n < batch) {
            len += tail;
            tail = 0;
        }
        take(len);
    }
    take(tail);
}

// BasicFile chunked value: full blocks of bsz - 60 bytes, chunk blocks per
// chunk, and the bytes of the block after the last full one.
inline std::vector<Bytes> basic_pieces(const Bytes &v, uint32_t chunk, uint32_t bsz)
{
    std::vector<Bytes> out;
    uint32_t dsz = kb::basic_block_data(bsz), batch = 32768 / bsz;
    uint64_t blks = v.size() / dsz;
    size_t bytes = v.size() % dsz, at = 0;
    auto full = [&](uint64_t) { return (size_t)dsz; };
    for (uint64_t c = 0; c < blks / chunk; c++)
        batched(out, v, &at, chunk, batch, full, 0);
    batched(out, v, &at, blks % chunk, batch, full, bytes);
    assert(at == v.size());
    return out;
}

// SecureFile value spread over data blocks of `fill` bytes each (the last
// one shorter), in extents of `ext` blocks (the last one shorter).
inline std::vector<Bytes> secure_pieces(const Bytes &v, uint32_t ext, uint32_t fill, uint32_t bsz)
{
    std::vector<Bytes> out;
    uint64_t nblk = (v.size() + fill - 1) / fill;
    size_t at = 0;
    for (uint64_t b = 0; b < nblk; b += ext) {
        uint64_t n = std::min<uint64_t>(ext, nblk - b);
        batched(out, v, &at, n, 32768 / bsz,
                [&](uint64_t k) { return (size_t)std::min<uint64_t>(fill, v.size() - (b + k) * fill); }, 0);
    }
    assert(at == v.size());
    return out;
}

// The pieces of value v in a column of `chunk` blocks per chunk whose LOB
// segment has blocks of bsz bytes.
inline std::vector<Bytes> lob_pieces(const kb::LobValue &v, uint32_t chunk, uint32_t bsz)
{
    switch (v.form) {
    case kb::LobForm::BasicInline:
    case kb::LobForm::SecureInline:
        return v.data.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{v.data};
    case kb::LobForm::SecureEmpty:
        return {};
    case kb::LobForm::BasicChunks:
    case kb::LobForm::BasicIndexOnly:
        return basic_pieces(v.data, chunk, bsz);
    case kb::LobForm::SecureExtents:
    case kb::LobForm::SecureHeader:
        break;
    }
    uint32_t fill = v.block_fill ? v.block_fill : kb::secure_block_data(bsz);
    if (v.form == kb::LobForm::SecureHeader && v.itree_data_block)
        return v.data.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{v.data};
    // extent_blocks 0 puts an extent of no blocks (no piece) ahead of extents
    // of the default 8 blocks.
    return secure_pieces(v.data, v.extent_blocks ? v.extent_blocks : kb::LobValue{}.extent_blocks, fill, bsz);
}

} // namespace xl
