// LOB data read from blocks of a built datafile: BasicFile chunks addressed
// by the locator, and a SecureFile extent list split into 32 KiB batches.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "kbuild.h"
#include "kelvo.h"

namespace {

const uint32_t BSZ = 8192;

std::vector<uint8_t> bytes_of(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (uint8_t)(seed + i * 7 + i / 251);
    return v;
}

void add_piece(std::vector<uint8_t> &r, const uint8_t *p, size_t n)
{
    r.push_back((uint8_t)(n >> 8));
    r.push_back((uint8_t)n);
    r.insert(r.end(), p, p + n);
}

TEST(LobBlocks, BasicChunksAndSecureExtents)
{
    char path[] = "/tmp/kelvo_lob_XXXXXX";
    int tfd = mkstemp(path);
    ASSERT_GE(tfd, 0);
    close(tfd);
    kb::FileDesc fd;
    fd.rfn = 1;
    fd.tsn = 3;
    fd.blocks = 64;
    fd.bsz = BSZ;
    kb::Datafile f;
    ASSERT_EQ(kb::df_create(f, path, fd), 0);

    // BasicFile, chunk 1: blocks 10 and 11 full, 100 bytes of block 12.
    std::vector<uint8_t> basic = bytes_of(2 * (BSZ - 60) + 100, 3);
    std::vector<uint8_t> blk(BSZ);
    for (uint32_t b = 0; b < 3; b++) {
        std::fill(blk.begin(), blk.end(), 0);
        kb::init_block(blk.data(), BSZ, 0x28, kb::rdba(1, 10 + b));
        size_t off = b * (BSZ - 60), n = std::min<size_t>(BSZ - 60, basic.size() - off);
        memcpy(blk.data() + 56, basic.data() + off, n);
        ASSERT_EQ(kb::df_write_block(f, 10 + b, blk.data()), 0);
    }
    // SecureFile: one extent of 6 blocks from 20, each holding 8000 bytes but the last.
    std::vector<uint8_t> secure = bytes_of(5 * 8000 + 17, 9);
    for (uint32_t b = 0; b < 6; b++) {
        std::fill(blk.begin(), blk.end(), 0);
        kb::init_block(blk.data(), BSZ, 0x06, kb::rdba(1, 20 + b));
        size_t off = b * 8000, n = std::min<size_t>(8000, secure.size() - off);
        kb::put_le16(blk.data() + 124, (uint16_t)n);
        memcpy(blk.data() + 128, secure.data() + off, n);
        ASSERT_EQ(kb::df_write_block(f, 20 + b, blk.data()), 0);
    }
    ASSERT_EQ(kb::df_close(f), 0);

    DATAFILE df = {};
    df.fd = open(path, O_RDONLY);
    ASSERT_GE(df.fd, 0);
    df.rfn = 1;
    df.tsn = 3;
    df.bsz = BSZ;
    df.blk0_sz = BSZ;
    df.blks = 64;
    snprintf(df.name, sizeof(df.name), "%s", path);
    LOB lobs[2] = {};
    lobs[0].objp = 70; lobs[0].cid = 1; lobs[0].chunk = 1; lobs[0].tsn = 3;
    lobs[1].objp = 70; lobs[1].cid = 2; lobs[1].chunk = 1; lobs[1].tsn = 3;
    TAB tab = {};
    tab.objn = 70;
    std::vector<uint8_t> cache(1 << 20), lbuf(32768), slots(2 * 4096);
    g_ctx.df = &df;
    g_ctx.sys.nf = 1;
    g_ctx.lob = lobs;
    g_ctx.sys.nlob = 2;
    ULDR ul = {};
    ul.fd = -1;
    ul.cache = cache.data();
    ul.csz = (int)cache.size();
    ul.lbuf = lbuf.data();
    ul.lobc = slots.data();
    ul.nlob = 2;
    ul.lcc = 2;
    ul.tabp = &tab;

    // Locator with inode: blks 2, bytes 100, chunk rdbas 10, 11, 12.
    LOBD *d = (LOBD *)slots.data();
    d->cid = 1;
    std::vector<uint8_t> l = {0, 0, 0, 1, 0, 0x04, 0, 0, 0, 1};
    l.resize(20, 0x11);
    l.insert(l.end(), {0, 0, 0, 0, 0, 0, 0, 2, 0, 100, 0, 0, 0, 0, 0, 0});
    for (uint32_t b = 10; b <= 12; b++)
        l.insert(l.end(), {0, 0x40, 0, (uint8_t)b});
    d->len = (uint32_t)l.size();
    memcpy(d->ldata, l.data(), l.size());
    // SecureFile extent list: count byte 0 (one extent), rdba 20, 6 blocks.
    d = (LOBD *)(slots.data() + 4096);
    d->cid = 2;
    std::vector<uint8_t> s = {0, 0, 0, 1, 0, 0, 0, 0x80, 0, 1};
    s.resize(20, 0x22);
    s.insert(s.end(), {0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0x40, 0, 20, 6});
    d->len = (uint32_t)s.size();
    memcpy(d->ldata, s.data(), s.size());

    ASSERT_EQ(process_lob(&ul), 0);
    std::vector<uint8_t> want = {0xFF, 0xFD, 1, 0};
    add_piece(want, basic.data(), BSZ - 60);
    add_piece(want, basic.data() + BSZ - 60, BSZ - 60);
    add_piece(want, basic.data() + 2 * (BSZ - 60), 100);
    want.insert(want.end(), {0, 0, 0xFF, 0xFD, 1, 0});
    // 32 KiB batches of four 8 KiB blocks: 4 x 8000, then 8000 + 17.
    add_piece(want, secure.data(), 32000);
    add_piece(want, secure.data() + 32000, 8017);
    want.insert(want.end(), {0, 0});
    EXPECT_EQ(std::vector<uint8_t>(cache.begin(), cache.begin() + ul.clen), want);

    g_ctx.df = nullptr;
    g_ctx.sys.nf = 0;
    g_ctx.lob = nullptr;
    g_ctx.sys.nlob = 0;
    close(df.fd);
    unlink(path);
}

} // namespace
