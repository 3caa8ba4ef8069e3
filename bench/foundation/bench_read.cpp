// Read throughput of read_extent_blocks, and of read_blocks_quiet (the read
// of the segment walks), over one datafile, with block verification off and
// on, in batches the size of the work buffer and of 1 MiB.
//
//   bench_read gen FILE MIB      writes a datafile of MIB MiB (8 KiB blocks,
//                                every block with a correct check value)
//   bench_read read FILE         reads all its blocks both ways, prints MB/s
//
// The rates are of the process's CPU time (user and system: the reads are
// the system's copies): on an idle machine the same as of wall time, and
// far less disturbed by other processes on a shared one.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kelvo.h"

static double now(void)
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static void seal(uint8_t *blk, uint32_t bsz)
{
    memset(blk + offsetof(KCBH, chkval_kcbh), 0, 2);
    uint16_t v = block_check_value(blk, (int)bsz);
    memcpy(blk + offsetof(KCBH, chkval_kcbh), &v, 2);
}

// A SYSTEM datafile (file 1) of table data blocks filled with varied bytes.
// Only what open_datafile and the check value need is laid out properly.
static int generate(const char *path, uint64_t mib)
{
    const uint32_t bsz = 8192;
    uint64_t blocks = mib * 1024 * 1024 / bsz - 1;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        perror(path);
        return -1;
    }
    std::vector<uint8_t> chunk(1024 * bsz);
    uint64_t b = 0, seed = 0x9E3779B97F4A7C15ull;
    while (b <= blocks) {
        size_t n = 0;
        for (; n < 1024 && b <= blocks; n++, b++) {
            uint8_t *blk = chunk.data() + n * bsz;
            for (uint32_t i = 0; i < bsz; i += 8) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                memcpy(blk + i, &seed, 8);
            }
            memset(blk, 0, 24);
            if (b == 0) {
                put_be32(blk, 0); // type 0, block 0
                uint32_t v[3] = {bsz, (uint32_t)blocks, 0};
                memcpy(blk + DF_BLK0_OFFSET, v, sizeof(v));
            } else if (b == 1) {
                memset(blk, 0, sizeof(KCVFH));
                blk[0] = 0x0B;
                uint32_t fsz = (uint32_t)blocks, root = 0x00400002, one = 1, ts = 0;
                uint16_t fno = 1;
                memcpy(blk + offsetof(KCVFH, kccfhfsz), &fsz, 4);
                memcpy(blk + offsetof(KCVFH, kccfhbsz), &bsz, 4);
                memcpy(blk + offsetof(KCVFH, kccfhfno), &fno, 2);
                memcpy(blk + offsetof(KCVFH, rootdba), &root, 4);
                memcpy(blk + offsetof(KCVFH, kcvfhtsn), &ts, 4);
                memcpy(blk + offsetof(KCVFH, kcvfhrfn), &one, 4);
            } else {
                blk[0] = BLOCK_TYPE_DATA;
                uint32_t rdba = 0x00400000 | (uint32_t)b;
                memcpy(blk + offsetof(KCBH, rdba_kcbh), &rdba, 4);
            }
            seal(blk, bsz);
        }
        if (write(fd, chunk.data(), n * bsz) != (ssize_t)(n * bsz)) {
            perror(path);
            close(fd);
            return -1;
        }
    }
    close(fd);
    return 0;
}

// Reads every block of the file once, `batch` blocks per call, with
// read_extent_blocks, or with `checked` as the segment walks of the unload
// read (read_blocks_quiet: one read, then each block looked at); returns
// MB/s, or -1.
static double read_all(DATAFILE *df, int batch, bool checked)
{
    static uint8_t faults[WORK_BUFFER_SIZE / 2048];
    double t0 = now();
    uint64_t bytes = 0;
    for (uint32_t b = 1; b <= df->blks; b += (uint32_t)batch) {
        int n = (int)((df->blks - b + 1) < (uint32_t)batch ? df->blks - b + 1 : (uint32_t)batch);
        uint32_t rdba = (df->flag & DF_BIGFILE) ? b : ((df->rfn << 22) | b);
        int r = n * (int)df->bsz;
        if (checked)
            read_blocks_quiet(df, rdba, n, g_ctx.wrk, nullptr, faults);  // bad blocks are looked at all the same
        else
            r = read_extent_blocks(df, rdba, n, g_ctx.wrk);
        if (r < 0)
            return -1;
        bytes += (uint64_t)r;
    }
    return (double)bytes / 1e6 / (now() - t0);
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "gen") == 0)
        return generate(argv[2], strtoull(argv[3], nullptr, 10)) < 0 ? 1 : 0;
    if (argc != 3 || strcmp(argv[1], "read") != 0) {
        fprintf(stderr, "usage: %s gen FILE MIB | read FILE\n", argv[0]);
        return 2;
    }
    g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
    g_ctx.df = (DATAFILE *)calloc(1, sizeof(DATAFILE));
    g_ctx.sys.nf = 1;
    g_ctx.df->fd = -1;
    snprintf(g_ctx.df->name, sizeof(g_ctx.df->name), "%s", argv[2]);
    // The file need not be a SYSTEM datafile: open_datafile then reports the
    // missing SYSTEM file after it has opened and checked this one.
    if (open_datafile() < 0 && (g_ctx.df->fd < 0 || g_ctx.df->bsz == 0))
        return 1;
    DATAFILE *df = g_ctx.df;
    // A whole work buffer per call, as the dictionary export reads, and one
    // 1 MiB extent per call, as the segment walks read typical extents.
    for (bool checked : {false, true})
        for (int batch : {(int)(WORK_BUFFER_SIZE / df->bsz), (int)(1048576 / df->bsz)}) {
            // Best of five: the machine is shared, and the best run is the
            // one least disturbed by others.
            double off = 0, on = 0;
            for (int rep = 0; rep < 5; rep++) {
                g_ctx.par.flag = 0;
                double r_off = read_all(df, batch, checked);
                g_ctx.par.flag = CFG_CHECKSUM;
                double r_on = read_all(df, batch, checked);
                if (r_off < 0 || r_on < 0)
                    return 1;
                off = r_off > off ? r_off : off;
                on = r_on > on ? r_on : on;
            }
            const char *how = checked ? "read_blocks_quiet" : "read_extent_blocks";
            printf("%s, %4d blocks a call, verification off: %.0f MB/s\n", how, batch, off);
            printf("%s, %4d blocks a call, verification on:  %.0f MB/s\n", how, batch, on);
        }
    close_datafile();
    return 0;
}
