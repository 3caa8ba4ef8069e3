// kbuild: Tables of logical rows (high level)
#pragma once

#include "kb_rows.h"
#include "kb_segment.h"

namespace kb {

// How one logical row is stored.
enum class RowLayout {
    Normal,     // one piece; chained over blocks only when it does not fit
    Migrated,   // a head stub here, the whole row in a later block
    Chained,    // split into pieces at `cuts` (column indexes; a column cut in
                // two when `split_bytes` > 0 for that cut)
    Deleted,    // a deleted head piece
    FreeSlot,   // an empty row-directory slot on the free-slot list
};

struct Cut {
    size_t col = 0;          // the next piece starts with this column ...
    size_t split_bytes = 0;  // ... after its first split_bytes bytes stay in this piece (0: whole column moves)
};

struct LogicalRow {
    std::vector<Col> cols;   // stored columns in segment order; trailing NULLs are not stored
    RowLayout layout = RowLayout::Normal;
    std::vector<Cut> cuts;   // Chained only
    bool keep_trailing_nulls = false;
    bool deleted = false;    // every piece of the row carries the deleted flag (a deleted row of any layout)
};

// Block options of a table's data blocks.
struct BlockOpts {
    int itl = 2;
    bool assm = false;
    uint16_t ex_extra = 0;
    int pctfree = 10;        // percent of the block kept free when packing rows
    int max_rows = 0;        // at most this many slots per block (0: no limit)
    bool extra6 = false;     // every head piece carries 6 extra header bytes
    uint32_t objd = 0;       // data object number of the blocks; 0: the segment's (older blocks of a
                             // truncated table keep the one they were formatted with)
};

// Where each logical row's head piece ended up.
struct RowPlace {
    uint32_t dba = 0;
    int slot = -1;           // within the table's slots
};

// One table of a cluster, with its rows grouped by cluster key.
struct ClusterMember {
    std::vector<LogicalRow> rows;   // non-key columns only
    std::vector<size_t> key_of;     // key index of each row
    bool extra6 = false;
};

// Writes the rows of a heap table into the data blocks of the segment (and
// the segment metadata). Fails when the rows do not fit the segment's data
// blocks. `places` (optional) gets one entry per row.
// Returns -2 (no message) when the rows need more data blocks than the
// segment has; nothing is written then. With dry_run, nothing is written at
// all: the result says whether the rows fit.
int write_heap_table(Datafile &df, const Segment &s, const std::vector<LogicalRow> &rows, const BlockOpts &o,
                     std::vector<RowPlace> *places = nullptr, bool dry_run = false);
// Writes a cluster: for each key in order, its key row and the rows of every
// member table with that key; a key whose rows do not fit one block is
// repeated in the next block. Member m is table directory entry m + 1.
int write_cluster(Datafile &df, const Segment &s, const std::vector<std::vector<Col>> &keys,
                  const std::vector<ClusterMember> &members, const BlockOpts &o,
                  std::vector<std::vector<RowPlace>> *places = nullptr, bool dry_run = false);

} // namespace kb
