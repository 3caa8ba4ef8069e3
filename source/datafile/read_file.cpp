// A whole datafile in large sequential reads, for the commands that look at
// every block with no dictionary ("verify", "scan").
#include "kelvo/datafile.h"

uint64_t last_block(const DATAFILE *df)
{
    // A smallfile datafile addresses 22 bits of blocks.
    uint64_t last = df->blks;
    if (!(df->flag & DF_BIGFILE) && last > 0x3FFFFF)
        last = 0x3FFFFF;
    return last;
}

int read_whole_file(DATAFILE *df, uint8_t *buf, size_t slice, uint8_t *faults,
                    const std::function<void(uint64_t b, uint32_t rdba, uint32_t n)> &take)
{
    return read_file_blocks(df, 1, last_block(df), buf, slice, faults, take);
}

int read_file_blocks(DATAFILE *df, uint64_t first, uint64_t last, uint8_t *buf, size_t slice, uint8_t *faults,
                     const std::function<void(uint64_t b, uint32_t rdba, uint32_t n)> &take)
{
    const uint32_t batch = (uint32_t)(slice / df->bsz);
    if (batch == 0 || first == 0)
        return -1;
    if (last > last_block(df))
        last = last_block(df);
    for (uint64_t b = first; b <= last;) {
        uint32_t n = (uint32_t)(last - b + 1 < batch ? last - b + 1 : batch);
        uint32_t rdba = (df->flag & DF_BIGFILE) ? (uint32_t)b : ((df->rfn << 22) | (uint32_t)b);
        read_blocks_quiet(df, rdba, (int)n, buf, nullptr, faults);
        take(b, rdba, n);
        b += n;
    }
    return 0;
}
