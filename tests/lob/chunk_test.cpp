// LOB data read from blocks of a built datafile: BasicFile chunks addressed
// by the locator (also chunks larger than the 32 KiB read buffer), and a
// SecureFile extent list split into 32 KiB batches.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "kbuild.h"
#include "kelvo.h"

#include "expect_lob.h"

namespace {

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

// A scratch datafile (relative file 1, tablespace 3) written by the test,
// then read through process_lob with the two LOB columns of table obj# 70,
// whose locators the test puts into the row's two slots.
struct LobRead {
    char path[32] = "/tmp/kelvo_lob_XXXXXX";
    uint32_t bsz;
    kb::Datafile f;
    DATAFILE df = {};
    LOB lobs[2] = {};
    TAB tab = {};
    std::vector<uint8_t> cache = std::vector<uint8_t>(1 << 20), lbuf = std::vector<uint8_t>(32768),
                         slots = std::vector<uint8_t>(2 * 4096);
    ULDR ul = {};

    LobRead(uint32_t block_size, uint32_t chunk) : bsz(block_size)
    {
        int tfd = mkstemp(path);
        close(tfd);
        kb::FileDesc fd;
        fd.rfn = 1;
        fd.tsn = 3;
        fd.blocks = 64;
        fd.bsz = bsz;
        EXPECT_EQ(kb::df_create(f, path, fd), 0);
        for (uint32_t i = 0; i < 2; i++) {
            lobs[i].objp = 70;
            lobs[i].cid = i + 1;
            lobs[i].chunk = chunk;
            lobs[i].tsn = 3;
        }
        tab.objn = 70;
    }
    ~LobRead()
    {
        g_ctx.df = nullptr;
        g_ctx.sys.nf = 0;
        g_ctx.lob = nullptr;
        g_ctx.sys.nlob = 0;
        if (df.fd > 0)
            close(df.fd);
        unlink(path);
    }
    // Block b with `data` at offset `at` (BasicFile 56, SecureFile 128).
    void block(uint32_t b, uint8_t type, size_t at, const uint8_t *data, size_t n, int used = -1)
    {
        std::vector<uint8_t> blk(bsz, 0);
        kb::init_block(blk.data(), bsz, type, kb::rdba(1, b));
        if (used >= 0)
            kb::put_le16(blk.data() + 124, (uint16_t)used);
        memcpy(blk.data() + at, data, n);
        ASSERT_EQ(kb::df_write_block(f, b, blk.data()), 0);
    }
    void locator(int k, const std::vector<uint8_t> &l)
    {
        LOBD *d = (LOBD *)(slots.data() + 4096 * (size_t)k);
        d->cid = (uint32_t)k + 1;
        d->len = (uint32_t)l.size();
        memcpy(d->ldata, l.data(), l.size());
    }
    // Closes the datafile and reads both slots; the records are in out().
    int run()
    {
        EXPECT_EQ(kb::df_close(f), 0);
        df.fd = open(path, O_RDONLY);
        df.rfn = 1;
        df.tsn = 3;
        df.bsz = bsz;
        df.blk0_sz = bsz;
        df.blks = 64;
        snprintf(df.name, sizeof(df.name), "%s", path);
        g_ctx.df = &df;
        g_ctx.sys.nf = 1;
        g_ctx.lob = lobs;
        g_ctx.sys.nlob = 2;
        ul.fd = -1;
        ul.cache = cache.data();
        ul.csz = (int)cache.size();
        ul.lbuf = lbuf.data();
        ul.lobc = slots.data();
        ul.nlob = 2;
        ul.lcc = 2;
        ul.tabp = &tab;
        return process_lob(&ul);
    }
    std::vector<uint8_t> out() const { return std::vector<uint8_t>(cache.begin(), cache.begin() + ul.clen); }
};

// BasicFile locator with inode: blks, bytes, then the chunk rdbas of file 1.
std::vector<uint8_t> basic_locator(uint32_t blks, uint32_t bytes, const std::vector<uint32_t> &chunks)
{
    std::vector<uint8_t> l = {0, 0, 0, 1, 0, 0x04, 0, 0, 0, 1};
    l.resize(20, 0x11);
    l.insert(l.end(), {0, 0, 0, 0, (uint8_t)(blks >> 24), (uint8_t)(blks >> 16), (uint8_t)(blks >> 8), (uint8_t)blks,
                       (uint8_t)(bytes >> 8), (uint8_t)bytes, 0, 0, 0, 0, 0, 0});
    for (uint32_t b : chunks)
        l.insert(l.end(), {0, 0x40, (uint8_t)(b >> 8), (uint8_t)b});
    return l;
}

TEST(LobBlocks, BasicChunksAndSecureExtents)
{
    const uint32_t BSZ = 8192;
    LobRead r(BSZ, 1);
    // BasicFile, chunk 1: blocks 10 and 11 full, 100 bytes of block 12.
    std::vector<uint8_t> basic = bytes_of(2 * (BSZ - 60) + 100, 3);
    for (uint32_t b = 0; b < 3; b++) {
        size_t off = b * (BSZ - 60);
        r.block(10 + b, 0x28, 56, basic.data() + off, std::min<size_t>(BSZ - 60, basic.size() - off));
    }
    // SecureFile: one extent of 6 blocks from 20, each holding 8000 bytes but the last.
    std::vector<uint8_t> secure = bytes_of(5 * 8000 + 17, 9);
    for (uint32_t b = 0; b < 6; b++) {
        size_t off = b * 8000, n = std::min<size_t>(8000, secure.size() - off);
        r.block(20 + b, 0x06, 128, secure.data() + off, n, (int)n);
    }
    r.locator(0, basic_locator(2, 100, {10, 11, 12}));
    // SecureFile extent list: count byte 0 (one extent), rdba 20, 6 blocks.
    std::vector<uint8_t> s = {0, 0, 0, 1, 0, 0, 0, 0x80, 0, 1};
    s.resize(20, 0x22);
    s.insert(s.end(), {0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0x40, 0, 20, 6});
    r.locator(1, s);

    ASSERT_EQ(r.run(), 0);
    std::vector<uint8_t> want = {0xFF, 0xFD, 1, 0};
    add_piece(want, basic.data(), BSZ - 60);
    add_piece(want, basic.data() + BSZ - 60, BSZ - 60);
    add_piece(want, basic.data() + 2 * (BSZ - 60), 100);
    want.insert(want.end(), {0, 0, 0xFF, 0xFD, 1, 0});
    // 32 KiB batches of four 8 KiB blocks: 4 x 8000, then 8000 + 17.
    add_piece(want, secure.data(), 32000);
    add_piece(want, secure.data() + 32000, 8017);
    want.insert(want.end(), {0, 0});
    EXPECT_EQ(r.out(), want);
}

// A chunk of 4 blocks of 16 KiB (64 KiB, more than the 32 KiB read buffer,
// as a damaged or foreign dictionary may say) is read as pieces of two whole
// blocks; a final partial block joins the last of them only when it has
// room. Two LOBs of one full chunk each and a partial chunk of 3 and of 2
// blocks with some bytes of the block after them.
TEST(LobBlocks, ChunkLargerThanTheBufferIsReadInPiecesOfWholeBlocks)
{
    const uint32_t bsz = 16384, dsz = kb::basic_block_data(bsz);
    LobRead r(bsz, 4);
    // Value k: chunk 0 at blocks 10 + 16k.., chunk 1 (partial) at 18 + 16k.
    std::vector<std::vector<uint8_t>> vals = {bytes_of(7 * dsz + 100, 5), bytes_of(6 * dsz + 50, 6)};
    for (uint32_t k = 0; k < 2; k++) {
        const std::vector<uint8_t> &v = vals[k];
        for (uint32_t b = 0; b * dsz < v.size(); b++)
            r.block(10 + 16 * k + (b < 4 ? b : 8 + b - 4), 0x28, 56, v.data() + b * dsz,
                    std::min<size_t>(dsz, v.size() - b * dsz));
        r.locator((int)k, basic_locator((uint32_t)(v.size() / dsz), (uint32_t)(v.size() % dsz),
                                        {10 + 16 * k, 18 + 16 * k}));
    }
    ASSERT_EQ(r.run(), 0);

    std::vector<uint8_t> want;
    for (const std::vector<uint8_t> &v : vals) {
        want.insert(want.end(), {0xFF, 0xFD, 1, 0});
        for (const xd::Bytes &p : xl::basic_pieces(v, 4, bsz))
            add_piece(want, p.data(), p.size());
        want.insert(want.end(), {0, 0});
    }
    EXPECT_EQ(r.out(), want);
    // The piece sizes themselves: two blocks, two, two, then one block and
    // the bytes; two, two, two, then the 50 bytes alone.
    EXPECT_EQ(xl::basic_pieces(vals[0], 4, bsz).back().size(), dsz + 100);
    EXPECT_EQ(xl::basic_pieces(vals[1], 4, bsz).back().size(), 50u);
}

// Chunks that lie one after another and a long extent are read in one go,
// yet a bad block is reported only when the reader gets to it, as when it
// read block by block: the first one stops the value, the later one is never
// named. Blocks never written (all zero) are the bad ones here.
TEST(LobBlocks, OneReadOfManyBlocksReportsTheFirstBadBlockReached)
{
    const uint32_t BSZ = 8192;
    LobRead r(BSZ, 1);
    std::vector<uint8_t> data = bytes_of(BSZ, 4);
    for (uint32_t b : {10, 11, 13})
        r.block(b, 0x28, 56, data.data(), BSZ - 60);
    for (uint32_t b = 20; b < 30; b++)
        if (b != 25 && b != 29)
            r.block(b, 0x06, 128, data.data(), 8000, 8000);
    r.locator(0, basic_locator(5, 0, {10, 11, 12, 13, 14}));
    std::vector<uint8_t> s = {0, 0, 0, 1, 0, 0, 0, 0x80, 0, 1};
    s.resize(20, 0x22);
    s.insert(s.end(), {0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0x40, 0, 20, 10});
    r.locator(1, s);

    report_block_reset();
    testing::internal::CaptureStderr();
    ASSERT_EQ(r.run(), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("(rdba=0x0040000c)"), std::string::npos) << err;
    EXPECT_NE(err.find("read extent (ts#=3, rdba=0x0040000c) error."), std::string::npos) << err;
    EXPECT_NE(err.find("(rdba=0x00400019)"), std::string::npos) << err;
    EXPECT_NE(err.find("read extent (ts#=3, rdba=0x00400018) error."), std::string::npos) << err;
    EXPECT_EQ(err.find("0x0040000e"), std::string::npos) << err;
    EXPECT_EQ(err.find("0x0040001d"), std::string::npos) << err;
    // Both values are lost: what was written of them is taken back out.
    std::vector<uint8_t> lost = {0xFF, 0xFD, 1, 0, 0, 0};
    std::vector<uint8_t> want = lost;
    want.insert(want.end(), lost.begin(), lost.end());
    EXPECT_EQ(r.out(), want);
}

// The expected pieces of SecureFile values: what a reader makes of them.
TEST(ExpectedPieces, SecureFileValuesInReadBatches)
{
    auto lengths = [](const kb::LobValue &v, uint32_t bsz) {
        std::vector<uint32_t> n;
        for (const std::vector<uint8_t> &p : xl::lob_pieces(v, 1, bsz))
            n.push_back((uint32_t)p.size());
        return n;
    };
    // An extent of 8 blocks in two batches of four, an extent of no blocks
    // in none, inline data and a data block named by an itree slot in one,
    // an empty value in none.
    kb::LobValue wide = kb::lob_blob(kb::pattern_bytes(8 * 8064 + 100, 3), kb::LobForm::SecureExtents);
    wide.extent_blocks = 0;
    EXPECT_EQ(lengths(wide, 8192), (std::vector<uint32_t>{4 * 8064, 4 * 8064, 100}));
    wide.form = kb::LobForm::SecureHeader;
    wide.hdr_extents = 1;
    EXPECT_EQ(lengths(wide, 8192), (std::vector<uint32_t>{4 * 8064, 4 * 8064, 100}));
    wide.data.resize(3000);
    wide.itree_data_block = true;
    EXPECT_EQ(lengths(wide, 8192), (std::vector<uint32_t>{3000}));
    wide.form = kb::LobForm::SecureInline;
    EXPECT_EQ(lengths(wide, 8192), (std::vector<uint32_t>{3000}));
    wide.data.clear();
    EXPECT_TRUE(lengths(wide, 8192).empty());
    // Extents of 8, 8 and 3 blocks read two 16 KiB blocks at a time.
    kb::LobValue e = kb::lob_blob(kb::pattern_bytes(300000, 9), kb::LobForm::SecureExtents);
    e.block_fill = 16000;
    std::vector<uint32_t> pieces(9, 32000);
    pieces.push_back(12000);
    EXPECT_EQ(lengths(e, 16384), pieces);
}

} // namespace
