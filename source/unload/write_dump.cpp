// The dump file writer: the zeros that reserve the header and the table
// information, the cache of table data, and the header and table information
// written last, converted to big-endian in place.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "kelvo/datafile.h"
#include "kelvo/unload.h"

int write_blank(int fd, uint64_t sz)
{
    static const uint8_t zeros[1024] = {};
    while (sz > 0) {
        size_t n = sz < sizeof(zeros) ? (size_t)sz : sizeof(zeros);
        if (write_full(fd, zeros, n) < 0) {
            fprintf(stderr, "write blank data error: %s\n", strerror(errno));
            return -1;
        }
        sz -= n;
    }
    return 0;
}

int write_cache(ULDR *ul)
{
    if (ul->clen > 0) {
        if (pwrite_full(ul->fd, ul->cache, (size_t)ul->clen, ul->data_ofs) < 0) {
            fprintf(stderr, "write cache data error: %s\n", strerror(errno));
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
    if (pwrite_full(ul->fd, (const uint8_t *)inf, sizeof(HEAD_INFO), 0) < 0) {
        fprintf(stderr, "write file header: %s\n", strerror(errno));
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
    if (pwrite_full(ul->fd, ul->tinf, sizeof(TAB_INFO) * (size_t)ul->ntab, DUMP_HEAD_SIZE) < 0) {
        fprintf(stderr, "write table information: %s\n", strerror(errno));
        return -1;
    }
    return 0;
}
