// LONG and LONG RAW values: gathered in lbuf up to 32 KiB and beyond that in
// the staging file long_tmp.dat, then written after the row's end as a value
// record of pieces of at most 32768 bytes.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "kelvo/unload.h"
#include "kelvo/context.h"

static char staging_name[64] = "long_tmp.dat";

void long_staging_name(const char *name) { snprintf(staging_name, sizeof(staging_name), "%s", name); }

static void long_tmp_path(char *path, size_t n) { snprintf(path, n, "%s/%s", g_ctx.par.data_dir, staging_name); }

// Moves the bytes of lbuf to the staging file, creating it for the row's
// value when it is not open yet.
static int spill_long(ULDR *ul)
{
    if (ul->lfd < 0) {
        char path[2048];
        long_tmp_path(path, sizeof(path));
        ul->lfd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
        if (ul->lfd < 0) {
            fprintf(stderr, "open %s: %s\n", path, strerror(errno));
            return -1;
        }
    }
    if (write_full(ul->lfd, ul->lbuf, (size_t)ul->lsz) < 0) {
        fprintf(stderr, "write long data error: %s\n", strerror(errno));
        close(ul->lfd);
        ul->lfd = -1;
        return -1;
    }
    ul->lsz = 0;
    return 0;
}

int save_long(ULDR *ul, const uint8_t *data, int dlen, int flush)
{
    if (flush)
        return spill_long(ul);
    while (dlen > 0) {
        if (ul->lsz == ULDR_LONG_BUF && spill_long(ul) < 0)
            return -1;
        int n = ULDR_LONG_BUF - ul->lsz;
        if (n > dlen)
            n = dlen;
        memcpy(ul->lbuf + ul->lsz, data, (size_t)n);
        ul->lsz += n;
        data += n;
        dlen -= n;
    }
    return 0;
}

int process_long(ULDR *ul)
{
    if (ul->clen + DUMP_PIECE_MAX + 6 > ul->csz && write_cache(ul) < 0)
        return -1;
    put_be16(ul->cache + ul->clen, DUMP_VALUE);
    ul->clen += 2;
    if (ul->lfd < 0) {
        // A value of one piece; an empty one (only from a damaged row) has none.
        if (ul->lsz > 0) {
            put_be16(ul->cache + ul->clen, (uint16_t)ul->lsz);
            memcpy(ul->cache + ul->clen + 2, ul->lbuf, (size_t)ul->lsz);
            ul->clen += 2 + ul->lsz;
        }
    } else {
        uint64_t off = 0;
        for (;;) {
            if (ul->clen + DUMP_PIECE_MAX + 4 > ul->csz && write_cache(ul) < 0)
                return -1;
            long n = pread_full(ul->lfd, ul->cache + ul->clen + 2, DUMP_PIECE_MAX, off);
            if (n < 0) {
                fprintf(stderr, "read long data error: %s\n", strerror(errno));
                return -1;
            }
            if (n == 0)
                break;
            put_be16(ul->cache + ul->clen, (uint16_t)n);
            ul->clen += 2 + (int)n;
            off += (uint64_t)n;
            if (n < DUMP_PIECE_MAX)
                break;
        }
    }
    put_be16(ul->cache + ul->clen, DUMP_END);
    ul->clen += 2;
    return 0;
}
