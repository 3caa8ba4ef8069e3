// The dump file writer: the zeros that reserve the header and the table
// information, the cache of table data, and the header and table information
// written last, converted to big-endian in place.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "kelvo/unload.h"

// Writes n bytes at off, continuing after short writes and retrying
// interrupted ones. Returns 0, or the errno of the failed write.
static int pwrite_all(int fd, const uint8_t *p, size_t n, uint64_t off)
{
    while (n > 0) {
        ssize_t w = pwrite(fd, p, n, (off_t)off);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (w == 0)
            return EIO;
        p += w;
        n -= (size_t)w;
        off += (uint64_t)w;
    }
    return 0;
}

int write_blank(int fd, uint64_t sz)
{
    static const uint8_t zeros[1024] = {};
    while (sz > 0) {
        size_t n = sz < sizeof(zeros) ? (size_t)sz : sizeof(zeros);
        ssize_t w = write(fd, zeros, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            fprintf(stderr, "write blank data error: %s\n", strerror(w < 0 ? errno : EIO));
            return -1;
        }
        sz -= (uint64_t)w;
    }
    return 0;
}

int write_cache(ULDR *ul)
{
    if (ul->clen > 0) {
        int err = pwrite_all(ul->fd, ul->cache, (size_t)ul->clen, ul->data_ofs);
        if (err) {
            fprintf(stderr, "write cache data error: %s\n", strerror(err));
            return -1;
        }
    }
    // A split column whose length is still open leaves the cache with it:
    // from now on its two bytes are reached by their place in the file.
    if (ul->pl) {
        ul->pl_fofs = ul->data_ofs + (uint64_t)(ul->pl - ul->cache);
        ul->pl = nullptr;
    }
    ul->data_ofs += (uint64_t)ul->clen;
    ul->clen = 0;
    return 0;
}

int write_head(ULDR *ul, HEAD_INFO *inf)
{
    put_be32((uint8_t *)&inf->tab_cnt, inf->tab_cnt);
    int err = pwrite_all(ul->fd, (const uint8_t *)inf, sizeof(HEAD_INFO), 0);
    if (err) {
        fprintf(stderr, "write file header: %s\n", strerror(err));
        return -1;
    }
    return 0;
}

int write_tab_info(ULDR *ul)
{
    TAB_INFO *ti = (TAB_INFO *)ul->tinf;
    for (int i = 0; i < ul->ntab; i++) {
        uint8_t *r = (uint8_t *)&ti[i];
        put_be32(r + offsetof(TAB_INFO, flag), ti[i].flag);
        put_be32(r + offsetof(TAB_INFO, ncol), ti[i].ncol);
        put_be32(r + offsetof(TAB_INFO, nlob), ti[i].nlob);
        put_be32(r + offsetof(TAB_INFO, nrows), ti[i].nrows);
        uint64_t off = ti[i].offset;
        put_be32(r + offsetof(TAB_INFO, offset), (uint32_t)(off >> 32));
        put_be32(r + offsetof(TAB_INFO, offset) + 4, (uint32_t)off);
    }
    int err = pwrite_all(ul->fd, ul->tinf, sizeof(TAB_INFO) * (size_t)ul->ntab, DUMP_HEAD_SIZE);
    if (err) {
        fprintf(stderr, "write table information: %s\n", strerror(err));
        return -1;
    }
    return 0;
}
