// Datafile geometry: block 0, the datafile header fields at their offsets,
// block placement with any block-0 size, bigfiles beyond 4 GiB, the big file.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

std::string tmp_path(const std::string &name)
{
    return std::string(::testing::TempDir()) + "kb_" + name + "_" + std::to_string(getpid());
}

std::vector<uint8_t> read_at(const std::string &path, uint64_t off, size_t n)
{
    std::vector<uint8_t> b(n);
    int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, b.data(), n, (off_t)off), (ssize_t)n);
    ::close(fd);
    return b;
}

uint32_t le32(const std::vector<uint8_t> &b, size_t o) { return kb::read_le32(b.data() + o); }
uint16_t le16(const std::vector<uint8_t> &b, size_t o) { return kb::read_le16(b.data() + o); }

} // namespace

TEST(BuilderDatafile, HeaderFieldsAtDocumentedOffsets)
{
    std::string p = tmp_path("hdr");
    kb::FileDesc d;
    d.fno = 7;
    d.rfn = 5;
    d.tsn = 3;
    d.blocks = 40;
    d.bsz = 4096;
    d.blk0_sz = 2048;
    d.rootdba = kb::rdba(1, 520);
    d.tsname = "DATA_TS";
    kb::Datafile df;
    ASSERT_EQ(kb::df_create(df, p, d), 0);

    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ((uint64_t)st.st_size, 2048u + 4096u * 40u);

    auto b0 = read_at(p, 0, 2048);
    EXPECT_EQ(le32(b0, 20), 2048u);        // blk0_sz
    EXPECT_EQ(le32(b0, 24), 40u);          // blks
    EXPECT_EQ(le32(b0, 28), 0x7A7B7C7Du);  // platform word
    EXPECT_TRUE(kb::check_ok(b0.data(), 2048));

    auto h = read_at(p, 2048, 4096);       // block 1 starts right after block 0
    EXPECT_EQ(h[0], 0x0B);
    EXPECT_EQ(le32(h, 44), 40u);           // kccfhfsz
    EXPECT_EQ(le32(h, 48), 4096u);         // kccfhbsz
    EXPECT_EQ(le16(h, 52), 7u);            // kccfhfno
    EXPECT_EQ(le32(h, 96), kb::rdba(1, 520));
    EXPECT_EQ(le32(h, 332), 3u);           // kcvfhtsn
    EXPECT_EQ(le16(h, 336), 7u);
    EXPECT_EQ(std::string((const char *)h.data() + 338, 7), "DATA_TS");
    EXPECT_EQ(le32(h, 368), 5u);           // kcvfhrfn
    EXPECT_TRUE(kb::check_ok(h.data(), 4096));

    // Any block lands at blk0_sz + bsz * (b - 1) with its check value fixed.
    std::vector<uint8_t> blk(4096, 0x5A);
    kb::init_block(blk.data(), 4096, 0x06, df.rdba_of(10));
    ASSERT_EQ(kb::df_write_block(df, 10, blk.data()), 0);
    auto r = read_at(p, 2048 + 4096 * 9, 4096);
    EXPECT_EQ(r[0], 0x06);
    EXPECT_EQ(le32(r, 4), kb::rdba(5, 10));
    EXPECT_TRUE(kb::check_ok(r.data(), 4096));
    EXPECT_NE(kb::df_write_block(df, 41, blk.data()), 0);   // beyond the file

    ASSERT_EQ(kb::df_set_root(df, kb::rdba(1, 99)), 0);
    EXPECT_EQ(le32(read_at(p, 2048, 4096), 96), kb::rdba(1, 99));
    unlink(p.c_str());
}

TEST(BuilderDatafile, EveryBlockSizeAndBadGeometry)
{
    for (uint32_t bsz = 2048; bsz <= 32768; bsz *= 2) {
        std::string p = tmp_path("bsz" + std::to_string(bsz));
        kb::FileDesc d;
        d.bsz = bsz;
        d.blocks = 20;
        kb::Datafile df;
        ASSERT_EQ(kb::df_create(df, p, d), 0);
        auto h = read_at(p, bsz, bsz);
        EXPECT_EQ(le32(h, 48), bsz);
        EXPECT_TRUE(kb::check_ok(h.data(), bsz));
        EXPECT_TRUE(kb::check_ok(read_at(p, 0, bsz).data(), bsz));
        unlink(p.c_str());
    }
    kb::Datafile df;
    kb::FileDesc d;
    d.bsz = 3000;
    EXPECT_NE(kb::df_create(df, tmp_path("bad"), d), 0);
    d.bsz = 8192;
    d.blk0_sz = 1001;
    EXPECT_NE(kb::df_create(df, tmp_path("bad"), d), 0);
}

TEST(BuilderDatafile, BigfileBlocksBeyondFourGiB)
{
    std::string p = tmp_path("bigfile");
    kb::FileDesc d;
    d.fno = 9;
    d.rfn = 3;          // forced to 1024
    d.tsn = 6;
    d.bigfile = true;
    d.blocks = 4194400; // block 4,194,305 lies at 34,359,746,560
    kb::Datafile df;
    ASSERT_EQ(kb::df_create(df, p, d), 0);
    EXPECT_EQ(le32(read_at(p, 8192, 8192), 368), 1024u);
    const uint32_t b = 0x00400001;
    EXPECT_EQ(df.offset(b), 34359746560ull);
    EXPECT_EQ(df.rdba_of(b), b);
    std::vector<uint8_t> blk(8192, 0);
    kb::init_block(blk.data(), 8192, 0x06, df.rdba_of(b));
    ASSERT_EQ(kb::df_write_block(df, b, blk.data()), 0);
    auto r = read_at(p, 34359746560ull, 8192);
    EXPECT_EQ(le32(r, 4), b);
    EXPECT_TRUE(kb::check_ok(r.data(), 8192));
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_LT((uint64_t)st.st_blocks * 512, 1u << 20);   // sparse
    unlink(p.c_str());
}

TEST(BuilderDatafile, BigFileHasValidDataBlocks)
{
    std::string p = tmp_path("big");
    ASSERT_EQ(kb::make_big_file(p, 20), 0);
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    ASSERT_EQ(st.st_size, 20 << 20);
    auto h = read_at(p, 8192, 8192);
    uint32_t blocks = le32(h, 44);
    EXPECT_EQ(blocks, (uint32_t)((20u << 20) / 8192 - 1));
    auto seg = read_at(p, 8192 * 2, 8192);
    EXPECT_EQ(seg[0], 0x10);
    EXPECT_EQ(le32(seg, 92), 1u);                  // one extent ...
    EXPECT_EQ(le32(seg, 108), kb::rdba(5, 3));     // ... from block 3 ...
    EXPECT_EQ(le32(seg, 112), blocks - 2);         // ... to the end
    for (uint32_t b : {3u, 4u, 1000u, blocks}) {
        auto r = read_at(p, (uint64_t)8192 * b, 8192);
        EXPECT_EQ(r[0], 0x06) << b;
        EXPECT_EQ(le32(r, 4), kb::rdba(5, b)) << b;
        EXPECT_TRUE(kb::check_ok(r.data(), 8192)) << b;
    }
    unlink(p.c_str());
}

TEST(BuilderDatafile, SampleWritesConfigAndList)
{
    std::string dir = tmp_path("sample");
    ASSERT_EQ(kb::make_sample(dir), 0);
    std::ifstream cfg(dir + "/config.ini");
    std::stringstream ss;
    ss << cfg.rdbuf();
    EXPECT_NE(ss.str().find("dictdir = " + dir + "/dict\n"), std::string::npos);
    EXPECT_NE(ss.str().find("datadir = " + dir + "/data\n"), std::string::npos);
    EXPECT_NE(ss.str().find("datafiles = " + dir + "/datafiles.txt\n"), std::string::npos);
    EXPECT_NE(ss.str().find("checksum = YES\n"), std::string::npos);
    struct stat st;
    EXPECT_EQ(stat((dir + "/dict").c_str(), &st), 0);
    EXPECT_EQ(stat((dir + "/data").c_str(), &st), 0);
    std::ifstream list(dir + "/datafiles.txt");
    std::string first;
    ASSERT_TRUE(std::getline(list, first));
    auto h = read_at(first, 8192, 8192);
    EXPECT_EQ(le16(h, 52), 1u);
    EXPECT_NE(le32(h, 96), 0u);
    std::system(("rm -rf " + dir).c_str());
}
