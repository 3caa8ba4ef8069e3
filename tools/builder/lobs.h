// kbuild LOB writers: the interface between the database writer and the
// BasicFile, SecureFile and LOB index writers (lob_basic.cpp,
// lob_secure.cpp, lob_index.cpp). The value types are in kb_lob.h.
//
// Byte orders: the locator, its inode, the LOB index keys and the chunk
// addresses inside index entries are big-endian; index-block child and
// next-leaf addresses, SecureFile block fields, LOB header block and itree
// fields are host order (little-endian).
#pragma once

#include <array>

#include "kbuild.h"

namespace kb {

using LobId = std::array<uint8_t, 10>;

// The data area of one LOB segment: consecutive blocks [next, end) of a
// datafile, handed out in order.
struct LobSpace {
    Datafile *df = nullptr;
    uint32_t next = 0;        // block number of the next free block
    uint32_t end = 0;         // one past the last block
    uint32_t objd = 0;        // data object number of the LOB segment
    // First block number of n consecutive free blocks, or 0 (with a message)
    // when the area is exhausted.
    uint32_t take(uint32_t n);
};

// One LOB index leaf entry: key (lobid, page number) and its 32 data bytes.
struct LobIndexEntry {
    LobId lobid{};
    uint32_t page = 0;
    std::array<uint8_t, 32> data{};
    bool dead = false;        // deleted entry (flag bit 0x01): a stale version
};

// The LOB id of the k-th value written into the LOB segment of object
// `lobj`: unique within the segment, and in an order unrelated to k (so that
// the LOB index order differs from the row order).
LobId lob_id(uint32_t lobj, uint32_t k);

// Blocks a value takes in its LOB segment (data blocks, and for a
// SecureFile header form its header and itree blocks).
uint32_t basic_blocks_needed(const LobValue &v, int chunk, uint32_t bsz);
uint32_t secure_blocks_needed(const LobValue &v, uint32_t bsz);

// Writes the value's blocks into sp and sets `locator` to the bytes the row
// stores. A BasicFile writer appends the value's index entries to
// `entries` (in any order). Returns 0, or -1 after one message.
int write_basic_value(LobSpace &sp, const LobValue &v, int chunk, const LobId &id, const LobShape &shape,
                      std::vector<uint8_t> &locator, std::vector<LobIndexEntry> &entries);
int write_secure_value(LobSpace &sp, const LobValue &v, const LobId &id, const LobShape &shape,
                       std::vector<uint8_t> &locator);

// Stale versions for LobShape::dead_entries: write_stale_chunk takes one
// chunk of blocks from sp holding bytes no value has; add_dead_entries puts
// ahead of the first index entry of every LOB a deleted copy of it whose
// chunk addresses all name that stale chunk (and whose page-0 inode counts
// one byte more), so a reader that does not pass over deleted entries reads
// wrong bytes.
int write_stale_chunk(LobSpace &sp, int chunk, uint32_t &rdba);
void add_dead_entries(std::vector<LobIndexEntry> &entries, uint32_t stale_rdba);

// Blocks of the LOB index B-tree for n entries (leaves and branch levels).
uint32_t lob_index_blocks(size_t n, const LobShape &shape, uint32_t bsz);
// Writes the LOB index over the entries (sorted here by key; a deleted
// entry goes ahead of a live one of the same key) into the blocks given
// (block numbers of df; the first one, the block right after the index
// segment header, becomes the root). `assm`: the blocks carry the extra
// data area of an automatically managed segment. Returns 0 or -1.
int write_lob_index(Datafile &df, const std::vector<uint32_t> &blocks, uint32_t objd,
                    std::vector<LobIndexEntry> entries, const LobShape &shape, bool assm = false);

} // namespace kb
