// Arbitrary bytes as an Oracle block: the row walk over every table of the
// directory, the row piece headers, the columns of each piece (stepped over,
// read one by one and converted as numbers), cluster key rows and chained
// piece lookups, and the extent map reader. Any read outside the block is a
// sanitizer report.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kelvo.h"

// The walkers report every malformed block on standard error; libFuzzer keeps
// its own and the sanitizers' reports on a duplicate of it.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<char *> args(*argv, *argv + *argc);
    static char quiet[] = "-close_fd_mask=2";
    args.push_back(quiet);
    args.push_back(nullptr);
    *argc = (int)args.size() - 1;
    *argv = args.data();
    return 0;
}

static void walk_columns(const ROWPIECE &rp)
{
    const uint8_t *p = rp.cols, *data;
    uint32_t len;
    const uint8_t *after = skip_columns(p, rp.end, rp.cc);
    int n = 0;
    while (n < rp.cc && next_column(&p, rp.end, &data, &len) >= 0) {
        ora_number_to_int(data, (int)len);
        n++;
    }
    // Both readers must agree on where the piece's columns end.
    if ((after != nullptr) != (n == rp.cc) || (after && after != p))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    unsigned opts = data[0] & 3;
    // The block itself is a copy of exactly the rest of the input, so that the
    // sanitizers see any byte read past its end.
    std::vector<uint8_t> blk(data + 1, data + size);
    const uint8_t *b = blk.data();
    size_t bsz = blk.size();

    MAPHDR mh;
    int off = read_extent_map(b, bsz, &mh);
    if (off >= 0)
        for (uint32_t i = 0; i < mh.nexts; i++)
            (void)extent_map_entry(b, off, i);

    for (int t = 0; t < 4; t++) {
        ROWWALK rw;
        if (row_walk_start(&rw, b, bsz, t) <= 0)
            continue;
        ROWPIECE rp;
        int rows = 0;
        while (row_walk_next(&rw, &rp) > 0) {
            if (++rows > 0x10000)
                abort(); // the walk is bounded by the table's slots
            if (parse_row_piece(&rp, t > 0 ? (opts | RP_CLUSTERED) : opts) < 0)
                continue;
            walk_columns(rp);
            ROWPIECE key;
            if (rp.cki >= 0 && locate_row_piece(&rw.db, 0, rp.cki, &key) == 0 &&
                (key.fb & FB_WHOLE_KEY) == FB_WHOLE_KEY && in_bounds(CLUSTER_KEY_HDR, 1, key.end - key.p)) {
                const uint8_t *k = key.p + CLUSTER_KEY_HDR, *kd;
                uint32_t klen;
                if (next_column(&k, key.end, &kd, &klen) > 0)
                    ora_number_to_int(kd, (int)klen);
            }
            // A next rowid into this same block, as a chained row may have.
            ROWPIECE next;
            if (rp.has_nrid && locate_row_piece(&rw.db, t, rp.nrid_slot, &next) == 0 &&
                parse_row_piece(&next, opts | (t > 0 ? RP_CLUSTERED : 0)) == 0)
                walk_columns(next);
        }
    }
    return 0;
}
