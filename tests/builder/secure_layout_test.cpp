// SecureFile values as the builder lays them out, followed back from the
// locator by a small walker written here from the documented layouts:
// locator fields, extent lists, the LOB header block, itrees of every level,
// data blocks; every block's check value and kind flags; block counts.
#include "lobs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <set>

#include "../support/readback.h"

namespace {

using Bytes = std::vector<uint8_t>;

using rb::be32;
using rb::le16;
using rb::le32;

// Walks a value from its locator through the blocks of one datafile.
struct Walker {
    explicit Walker(kb::Datafile &f) : df(f) {}
    kb::Datafile &df;
    Bytes out;
    std::vector<uint32_t> extent_starts;   // block numbers of non-empty extents, in value order
    std::set<uint32_t> seen;               // every block read
    int deepest = 0;                       // highest itree level met
    int data_slot_blocks = 0;              // itree slots naming a data block

    Bytes block(uint32_t rdba)
    {
        uint32_t b = df.block_of(rdba);
        Bytes blk(df.d.bsz);
        EXPECT_EQ(rdba >> 22, df.d.rfn);
        EXPECT_EQ(kb::df_read_block(df, b, blk.data()), 0);
        EXPECT_TRUE(kb::check_ok(blk.data(), blk.size())) << "block " << b;
        EXPECT_EQ(le32(blk.data() + 4), rdba);
        EXPECT_TRUE(seen.insert(b).second) << "block " << b << " read twice";
        return blk;
    }

    void data_block(const Bytes &blk)
    {
        EXPECT_EQ(blk[82] & 0x60, 0x20);
        uint16_t used = le16(blk.data() + 124);
        ASSERT_LE(used, df.d.bsz - 128);
        out.insert(out.end(), blk.begin() + 128, blk.begin() + 128 + used);
    }

    void extent(uint32_t rdba, uint32_t n)
    {
        if (n)
            extent_starts.push_back(df.block_of(rdba));
        for (uint32_t i = 0; i < n; i++)
            data_block(block(rdba + i));
    }

    void tree(uint32_t rdba, int level)
    {
        Bytes blk = block(rdba);
        if (blk[82] & 0x20) {
            data_slot_blocks++;
            data_block(blk);
            return;
        }
        ASSERT_EQ(blk[82] & 0x60, 0x40);
        ASSERT_EQ(le16(blk.data() + 102), level);
        deepest = std::max(deepest, level);
        uint16_t n = le16(blk.data() + 106);
        ASSERT_GT(n, 0);
        for (uint16_t i = 0; i < n; i++) {
            if (level == 1) {
                const uint8_t *e = blk.data() + 112 + 8 * i;
                ASSERT_LE(112 + 8u * (i + 1), df.d.bsz - 4);
                extent(le32(e + 4), le16(e + 2));
            } else {
                const uint8_t *e = blk.data() + 112 + 12 * i;
                ASSERT_LE(112 + 12u * (i + 1), df.d.bsz - 4);
                tree(le32(e + 8), level - 1);
            }
        }
    }

    void header(uint32_t rdba)
    {
        Bytes blk = block(rdba);
        uint16_t n = le16(blk.data() + 126);
        ASSERT_LE(184 + 8u * n, df.d.bsz - 4);
        for (uint16_t i = 0; i < n; i++) {
            const uint8_t *e = blk.data() + 184 + 8 * i;
            extent(le32(e + 4), le16(e + 2));
        }
        for (int k = 1; k <= 4; k++) {
            uint32_t t = le32(blk.data() + 136 + 4 * (k - 1));
            if (!t) {
                for (int j = k + 1; j <= 4; j++)
                    EXPECT_EQ(le32(blk.data() + 136 + 4 * (j - 1)), 0u) << "itree slot " << j << " after an empty one";
                return;
            }
            tree(t, k);
        }
    }

    // Follows the locator; its own fields are checked against the value.
    void locator(const Bytes &loc, const kb::LobValue &v, const kb::LobId &id)
    {
        ASSERT_GE(loc.size(), 30u);
        EXPECT_EQ((size_t)((loc[0] << 8) | loc[1]) + 2, loc.size());
        EXPECT_TRUE(loc[7] & 0x80);
        EXPECT_EQ((loc[8] << 8) | loc[9], v.width);
        EXPECT_TRUE(std::equal(id.begin(), id.end(), loc.begin() + 10));
        int n = loc[26] & 0x0F, skip = loc[27];
        size_t pay = 30 + (size_t)n + (size_t)skip;
        ASSERT_LE(pay, loc.size());
        uint64_t len = 0;
        for (int i = 0; i <= n; i++)
            len = (len << 8) | loc[28 + i];
        EXPECT_EQ(len, v.data.size());
        for (size_t i = 29 + (size_t)n; i < pay; i++)
            EXPECT_NE(loc[i], 0) << "skipped byte " << i;
        const uint8_t *p = loc.data() + pay;
        size_t rest = loc.size() - pay;
        if (loc[22] & 0x08) {
            ASSERT_EQ(rest, len & 0xFFFF);
            out.assign(p, p + rest);
        } else if (loc[26] & 0x20) {
            ASSERT_GE(rest, 1u);
            size_t c = p[0] + 1u;
            ASSERT_EQ(rest, 1 + 6 * c);
            for (size_t i = 0; i < c; i++)
                extent(be32(p + 1 + 6 * i + 1), p[1 + 6 * i + 5]);
        } else if (loc[26] & 0x40) {
            ASSERT_EQ(rest, 4u);
            header(be32(p));
        } else {
            EXPECT_EQ(rest, 0u);
        }
    }
};

Bytes pattern(size_t n, unsigned seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)((i * 131 + seed) ^ (i >> 9));
    return b;
}

struct SecureLayout : ::testing::Test {
    std::string path;
    kb::Datafile df;
    kb::LobSpace sp;
    unsigned seq = 0;

    void open(uint32_t bsz, uint32_t blocks = 2048)
    {
        path = std::string(::testing::TempDir()) + "kb_secure_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        kb::FileDesc d;
        d.fno = d.rfn = 6;
        d.tsn = 5;
        d.bsz = bsz;
        d.blocks = blocks;
        d.tsname = "LOBS";
        ASSERT_EQ(kb::df_create(df, path, d), 0);
        sp.df = &df;
        sp.next = 16;
        sp.end = blocks + 1;
        sp.objd = 90210;
    }
    void TearDown() override
    {
        kb::df_close(df);
        unlink(path.c_str());
    }

    // Writes the value and walks it back; the walk must give the value's
    // bytes, and read exactly the blocks the value was said to need.
    Walker roundtrip(const kb::LobValue &v, bool scatter = true)
    {
        kb::LobId id{};
        for (size_t i = 0; i < id.size(); i++)
            id[i] = (uint8_t)(0x10 + i + ++seq);
        kb::LobShape shape;
        shape.scatter = scatter;
        Bytes loc;
        uint32_t before = sp.next;
        EXPECT_EQ(kb::write_secure_value(sp, v, id, shape, loc), 0);
        EXPECT_EQ(sp.next - before, kb::secure_blocks_needed(v, df.d.bsz));
        Walker w(df);
        w.locator(loc, v, id);
        EXPECT_EQ(w.out, v.data);
        EXPECT_EQ(w.seen.size(), sp.next - before);
        return w;
    }
};

kb::LobValue value(kb::LobForm form, size_t n, unsigned seed = 3)
{
    kb::LobValue v;
    v.form = form;
    v.data = pattern(n, seed);
    return v;
}

TEST_F(SecureLayout, InlineAndEmptyLocators)
{
    open(8192);
    for (int len_bytes : {0, 1, 2, 8}) {
        for (int skip : {0, 1, 7}) {
            SCOPED_TRACE(testing::Message() << "len_bytes " << len_bytes << " skip " << skip);
            kb::LobValue v = value(kb::LobForm::SecureInline, len_bytes == 1 ? 200 : 1000);
            v.len_bytes = len_bytes;
            v.skip = skip;
            v.width = 2;
            roundtrip(v);
        }
    }
    kb::LobValue none = value(kb::LobForm::SecureInline, 0);
    roundtrip(none);
    kb::LobValue empty = value(kb::LobForm::SecureEmpty, 0);
    empty.skip = 3;
    roundtrip(empty);
    EXPECT_EQ(sp.next, 16u);

    kb::LobValue big = value(kb::LobForm::SecureInline, 300);
    big.len_bytes = 1;   // 300 needs two bytes
    Bytes loc;
    EXPECT_EQ(kb::write_secure_value(sp, big, {}, {}, loc), -1);
    big.len_bytes = 0;
    big.data.resize(4100);   // longer than a row keeps
    EXPECT_EQ(kb::write_secure_value(sp, big, {}, {}, loc), -1);
}

TEST_F(SecureLayout, ExtentListsInTheLocator)
{
    open(8192);
    struct Case {
        size_t n;
        uint32_t ext, fill;
        int len_bytes, skip;
    } cases[] = {
        {10, 8, 0, 0, 0},            // one block, count byte 0
        {5000, 3, 100, 8, 4},        // 50 partly filled blocks, 17 extents
        {8 * 8064, 8, 0, 1 + 2, 0},  // one extent of 64 KiB of blocks
        {70000, 0, 0, 0, 2},         // a 0-block extent ahead of the others
        {0, 4, 0, 0, 0},             // empty: one extent of no blocks
        {255 * 100, 255, 100, 0, 0}, // the longest extent a locator entry counts
    };
    for (bool scatter : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.n << " bytes, extents of " << c.ext << ", scatter " << scatter);
            kb::LobValue v = value(kb::LobForm::SecureExtents, c.n, (unsigned)c.n);
            v.extent_blocks = c.ext;
            v.block_fill = c.fill;
            v.len_bytes = c.len_bytes;
            v.skip = c.skip;
            Walker w = roundtrip(v, scatter);
            if (w.extent_starts.size() > 1) {
                EXPECT_EQ(std::is_sorted(w.extent_starts.begin(), w.extent_starts.end()), !scatter);
            }
        }
    }
    kb::LobValue v = value(kb::LobForm::SecureExtents, 1000);
    v.block_fill = 3;
    v.extent_blocks = 256;   // a locator entry counts at most 255 blocks
    Bytes loc;
    EXPECT_EQ(kb::write_secure_value(sp, v, {}, {}, loc), -1);
    v.extent_blocks = 1;     // 334 extents: more than a count byte lists
    EXPECT_EQ(kb::write_secure_value(sp, v, {}, {}, loc), -1);
}

TEST_F(SecureLayout, HeaderBlockAndItreesOfEveryLevel)
{
    open(8192, 8192);
    struct Case {
        size_t n;
        uint32_t ext;
        int hdr, level, fanout;
        int deepest;
    } cases[] = {
        {100000, 2, -1, 1, 0, 0},   // every extent in the header
        {100000, 2, 3, 1, 0, 1},    // three in the header, the rest in one level-1 node
        {40000, 1, 0, 2, 2, 2},     // level-1 tree of 2 extents, a level-2 tree of the other 3
        {40000, 1, 1, 2, 0, 2},     // fanout as many as fit
        {100000, 1, 0, 3, 2, 3},    // 13 extents: trees of 2, 4 and 7
        {200000, 1, 2, 4, 2, 4},    // 2 in the header, trees of 2, 4, 8 and 9
        {30000, 0, 0, 2, 3, 2},     // the 0-block extent alone in the level-1 tree
        {0, 8, 0, 2, 2, 0},         // an empty value: a header with nothing
    };
    for (bool scatter : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.n << " bytes, hdr " << c.hdr << ", level " << c.level
                                            << ", fanout " << c.fanout << ", scatter " << scatter);
            kb::LobValue v = value(kb::LobForm::SecureHeader, c.n, (unsigned)c.level);
            v.extent_blocks = c.ext;
            v.hdr_extents = c.hdr;
            v.itree_level = c.level;
            v.itree_fanout = c.fanout;
            v.len_bytes = 8;
            v.skip = 5;
            Walker w = roundtrip(v, scatter);
            EXPECT_EQ(w.deepest, c.deepest);
            if (w.extent_starts.size() > 1) {
                EXPECT_EQ(std::is_sorted(w.extent_starts.begin(), w.extent_starts.end()), !scatter);
            }
        }
    }

    // The level-1 slot names one data block holding the whole value.
    kb::LobValue small = value(kb::LobForm::SecureHeader, 3000);
    small.itree_data_block = true;
    EXPECT_EQ(roundtrip(small).data_slot_blocks, 1);
    small.data.resize(8065);
    Bytes loc;
    EXPECT_EQ(kb::write_secure_value(sp, small, {}, {}, loc), -1);

    // More itree levels than extents outside the header; more extents than
    // a level-1 node of fanout 2 holds.
    kb::LobValue few = value(kb::LobForm::SecureHeader, 2 * 8064);
    few.extent_blocks = 1;
    few.hdr_extents = 0;
    few.itree_level = 3;
    EXPECT_EQ(kb::write_secure_value(sp, few, {}, {}, loc), -1);
    few.data.resize(3 * 8064);
    few.itree_level = 1;
    few.itree_fanout = 2;
    EXPECT_EQ(kb::write_secure_value(sp, few, {}, {}, loc), -1);
    few.itree_level = 2;
    EXPECT_EQ(roundtrip(few).deepest, 2);
}

TEST_F(SecureLayout, SixteenKiBBlocksAndSpaceLimits)
{
    open(16384, 600);
    kb::LobValue v = value(kb::LobForm::SecureHeader, 1 << 20);
    v.extent_blocks = 16;
    v.hdr_extents = 1;
    v.itree_level = 2;
    v.itree_fanout = 2;
    roundtrip(v);
    kb::LobValue e = value(kb::LobForm::SecureExtents, 300000, 9);
    e.block_fill = 16000;
    roundtrip(e, false);

    // A value larger than the space left is refused and takes nothing.
    uint32_t next = sp.next;
    kb::LobValue huge = value(kb::LobForm::SecureExtents, 600 * 16256);
    huge.extent_blocks = 200;
    Bytes loc;
    EXPECT_EQ(kb::write_secure_value(sp, huge, {}, {}, loc), -1);
    EXPECT_EQ(sp.next, next);
}

} // namespace
