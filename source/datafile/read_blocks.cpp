// Block reads by relative data block address: one positioned read for the
// whole run of blocks (repeated only when the system returns less), 64-bit
// file offsets, and the check value of each block when verification is on.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <unistd.h>

#include "kelvo/block.h"
#include "kelvo/context.h"

// Bytes read and verified at a time when verification is on: small enough
// to be still in the processor's cache when verified, large enough that
// the extra system calls cost less than that saves.
#define VERIFY_SLICE (1024 * 1024)

int read_extent_blocks(DATAFILE *df, uint32_t rdba, int blocks, uint8_t *buf)
{
    uint64_t b = (df->flag & DF_BIGFILE) ? rdba : rdba_block(rdba);
    if (blocks <= 0)
        return 0;
    if (b == 0) {
        fprintf(stderr, "read \"%s\": rdba=0x%x is the file header, not a data block.\n", df->name, rdba);
        return -1;
    }
    if ((uint64_t)blocks * df->bsz > INT_MAX) {
        fprintf(stderr, "read \"%s\": %d blocks from rdba=0x%x are too many for one read.\n", df->name, blocks,
                rdba);
        return -1;
    }
    uint64_t off = df->blk0_sz + (uint64_t)df->bsz * (b - 1);
    size_t want = (size_t)blocks * df->bsz;
    // Without verification the whole run is one read. With it, the run is
    // read in slices that are verified while they are still in the processor
    // cache.
    bool verify = g_ctx.par.flag & CFG_CHECKSUM;
    size_t slice = verify ? ((VERIFY_SLICE + df->bsz - 1) / df->bsz) * df->bsz : want;
    for (size_t done = 0; done < want; done += slice) {
        size_t n = want - done < slice ? want - done : slice;
        long got = pread_full(df->fd, buf + done, n, off + done);
        if (got < 0) {
            fprintf(stderr, "read \"%s\": %s\n", df->name, strerror(errno));
            return -1;
        }
        if ((size_t)got < n) {
            // Bytes that were never read must not be decoded by anyone.
            fprintf(stderr, "read \"%s\": end of file before block rdba=0x%x.\n", df->name,
                    rdba + (uint32_t)((done + (size_t)got) / df->bsz));
            return -1;
        }
        if (verify)
            for (size_t o = 0; o < n; o += df->bsz)
                if (check_sum(buf + done + o, (int)df->bsz) != 0) {
                    fprintf(stderr, "block rdba=0x%x check value not matched.\n",
                            rdba + (uint32_t)((done + o) / df->bsz));
                    return -1;
                }
    }
    return (int)want;
}
