// process_lob over an arbitrary locator with arbitrary blocks behind it: the
// first bytes are the locator (its length in the first byte pair), the rest
// become the blocks of one in-memory datafile of 2 KiB blocks that holds the
// LOB segment and its index.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "kelvo.h"

static const uint32_t BSZ = 2048;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    static uint8_t *work = (uint8_t *)malloc(WORK_BUFFER_SIZE);
    uint32_t llen = ((uint32_t)data[0] << 8 | data[1]) % 4089;
    uint8_t chunk = data[2] % 20;
    data += 3;
    size -= 3;
    if (llen > size)
        llen = (uint32_t)size;

    int fd = memfd_create("lobfuzz", 0);
    if (fd < 0)
        return 0;
    size_t rest = size - llen;
    std::vector<uint8_t> file(BSZ + rest);
    memcpy(file.data() + BSZ, data + llen, rest);
    if (write(fd, file.data(), file.size()) != (ssize_t)file.size()) {
        close(fd);
        return 0;
    }
    DATAFILE df = {};
    df.fd = fd;
    df.rfn = 1;
    df.bsz = BSZ;
    df.blk0_sz = BSZ;
    df.blks = (uint32_t)(rest / BSZ);
    LOB lob = {};
    lob.objp = 7;
    lob.cid = 1;
    lob.chunk = chunk;
    lob.indn = 9;
    LOBIDX lix = {};
    lix.objn = 9;
    lix.fno = 1;
    lix.blk = 1;
    TAB tab = {};
    tab.objn = 7;
    g_ctx.df = &df;
    g_ctx.sys.nf = 1;
    g_ctx.lob = &lob;
    g_ctx.sys.nlob = 1;
    g_ctx.lidx = &lix;
    g_ctx.sys.nidx = 1;
    g_ctx.wrk = work;

    ULDR ul = {};
    ul.fd = -1;
    ul.nlob = 1;
    ul.tabp = &tab;
    if (uldr_layout(&ul, (int)BSZ) == 0) {
        LOBD *d = (LOBD *)ul.lobc;
        d->cid = 1;
        d->len = llen;
        memcpy(d->ldata, data, llen);
        ul.lcc = 1;
        // write_cache fails on fd -1, so output is bounded by the cache.
        process_lob(&ul);
    }
    g_ctx.df = nullptr;
    g_ctx.sys.nf = 0;
    g_ctx.lob = nullptr;
    g_ctx.lidx = nullptr;
    close(fd);
    return 0;
}
