// kbuild: LOB values and LOB storage
//
// LOB values described logically (their bytes and the form Oracle would keep
// them in). A table's LOB values live in DbTable::lob_values; a row names one
// with col_lob(i) in the LOB column's place, and build_database writes the
// value into the column's LOB segment (and LOB index) before it writes the
// rows, replacing the reference by the locator bytes. The writers are in
// lob_*.cpp; lobs.h is their interface with the database writer.
#pragma once

#include "kb_rows.h"

namespace kb {

// How one LOB value is stored.
enum class LobForm {
    // BasicFile
    BasicInline,     // locator with inode, data inline after it (at most 3964 bytes; 0 bytes allowed)
    BasicChunks,     // locator with inode and up to 12 chunk addresses; chunks from the 13th on
                     // through the LOB index entries of pages 12, 20, 28, ... (a value of at most
                     // 3964 bytes is kept inline: with blks 0 it would read back as inline data)
    BasicIndexOnly,  // locator without inode: the inode and every chunk address through the LOB
                     // index (page 0 entry: inode and 4 chunks; then pages 4, 12, 20, ... with 8)
    // SecureFile (locator byte 7 bit 0x80)
    SecureInline,    // data inline in the locator
    SecureExtents,   // extent list in the locator
    SecureHeader,    // locator names a LOB header block: extents in it, then an itree
    SecureEmpty,     // locator with none of the three forms (an empty value)
};
inline bool is_secure(LobForm f)
{
    return f == LobForm::SecureInline || f == LobForm::SecureExtents || f == LobForm::SecureHeader ||
           f == LobForm::SecureEmpty;
}

struct LobValue {
    std::vector<uint8_t> data;     // the bytes as stored (a CLOB of an AL32UTF8 database and every
                                   // NCLOB: AL16UTF16, two bytes per character)
    int width = 1;                 // bytes per character (locator byte 9): 1 BLOB, 2 AL16UTF16 CLOB/NCLOB
    LobForm form = LobForm::BasicChunks;

    // SecureFile shapes
    int len_bytes = 0;             // size of the LOB length field, 1..8 bytes; 0: the fewest that hold it
    int skip = 0;                  // flg2: bytes between the length field (and its one skipped byte)
                                   // and the payload
    uint32_t extent_blocks = 8;    // blocks per LOB extent (the last one shorter); 0 blocks makes one
                                   // extent entry of 0 blocks ahead of the others (of 8 blocks each)
    uint32_t block_fill = 0;       // data bytes kept in each SecureFile data block (0: bsz - 128)
    int hdr_extents = -1;          // SecureHeader: extents listed in the header block itself (-1: all
                                   // that fit); the rest go under the itree
    int itree_level = 1;           // SecureHeader: deepest itree level (1 to 4). The extents left over
                                   // from the header fill a level-1 tree, then a level-2 tree, ... up
                                   // to this level, one tree per header slot, each as full as its
                                   // fanout allows while every deeper tree keeps at least one extent
    int itree_fanout = 0;          // entries per itree node (0: as many as fit the block)
    bool itree_data_block = false; // SecureHeader: the level-1 slot names one SecureFile data block
                                   // that holds the data (no extents, no itree nodes)
};

// A BLOB of these bytes; a CLOB or NCLOB of UTF-8 text stored as AL16UTF16
// (characters above U+FFFF as surrogate pairs).
LobValue lob_blob(std::vector<uint8_t> bytes, LobForm form = LobForm::BasicChunks);
LobValue lob_clob(const std::string &utf8, LobForm form = LobForm::BasicChunks);
// A LOB column's place in a row: the table's lob_values[i].
Col col_lob(size_t i);

// Storage shape of one LOB column (kept in DbLob::shape).
struct LobShape {
    int leaf_max = 0;              // LOB index entries per leaf (0: as many as fit; with dead_entries at
                                   // least 2, and one more where a deleted entry joins its live twin)
    int branch_max = 0;            // separators per branch block (0: as many as fit; at least 2)
    bool truncate_keys = true;     // a separator whose LOB id alone tells the children apart is stored
                                   // truncated (key column 1 length 0xFE, no page number)
    bool scatter = true;           // the chunks and extents of a value are placed out of address
                                   // order, so that a reader must follow every address
    bool dead_entries = false;     // the index leaves also hold deleted entries (flag bit 0x01) of
                                   // stale versions, which a reader must pass over
    std::string tablespace;        // tablespace of the LOB and LOB index segments; empty: the table's
};

// Oracle's BasicFile LOB data block: 56-byte header, then bsz - 60 data bytes.
inline uint32_t basic_block_data(uint32_t bsz) { return bsz - 60; }
// SecureFile data block: 128-byte header, data from 128 (bsz - 128 at most).
inline uint32_t secure_block_data(uint32_t bsz) { return bsz - 128; }

} // namespace kb
