// LOB value records of locators that carry their data themselves (BasicFile
// in-row data, SecureFile inline data) and of damaged locators, read through
// process_lob from slots laid out as the row decoder leaves them.
#include <gtest/gtest.h>

#include <vector>

#include "kelvo.h"

namespace {

struct LobFixture : ::testing::Test {
    std::vector<uint8_t> cache = std::vector<uint8_t>(1 << 20);
    std::vector<uint8_t> slots = std::vector<uint8_t>(2 * 4096);
    LOB lobs[2] = {};
    TAB tab = {};
    ULDR ul = {};
    void SetUp() override
    {
        tab.objn = 500;
        lobs[0].objp = 500; lobs[0].cid = 2; lobs[0].chunk = 1;
        lobs[1].objp = 500; lobs[1].cid = 3; lobs[1].chunk = 1;
        g_ctx.lob = lobs;
        g_ctx.sys.nlob = 2;
        ul.cache = cache.data();
        ul.csz = (int)cache.size();
        ul.lobc = slots.data();
        ul.nlob = 2;
        ul.tabp = &tab;
        ul.fd = -1;
    }
    void TearDown() override
    {
        g_ctx.lob = nullptr;
        g_ctx.sys.nlob = 0;
    }
    void put_slot(int i, uint32_t cid, const std::vector<uint8_t> &loc)
    {
        uint8_t *s = slots.data() + 4096 * i;
        memcpy(s, &cid, 4);
        uint32_t len = (uint32_t)loc.size();
        memcpy(s + 4, &len, 4);
        memcpy(s + 8, loc.data(), loc.size());
        ul.lcc = i + 1;
    }
    std::vector<uint8_t> out() const { return std::vector<uint8_t>(cache.begin(), cache.begin() + ul.clen); }
};

// Locator common part: length, version, flags, width byte, LOB id.
std::vector<uint8_t> common(uint8_t flg2, uint8_t flg4, uint8_t width)
{
    std::vector<uint8_t> l = {0, 0, 0, 1, 0, flg2, 0, flg4, 0, width};
    for (int i = 0; i < 10; i++)
        l.push_back((uint8_t)(0xA0 + i));
    return l;
}

std::vector<uint8_t> basic_inline(const std::vector<uint8_t> &data, uint8_t width)
{
    std::vector<uint8_t> l = common(0x04, 0, width);
    std::vector<uint8_t> ino = {0, 0, 0, 0, 0, 0, 0, 0, (uint8_t)(data.size() >> 8), (uint8_t)data.size(),
                                0, 0, 0, 0, 0, 0};
    l.insert(l.end(), ino.begin(), ino.end());
    l.insert(l.end(), data.begin(), data.end());
    return l;
}

// SecureFile inline: length field of n + 1 bytes, skip bytes, then the data.
std::vector<uint8_t> secure_inline(const std::vector<uint8_t> &data, int n, int skip)
{
    std::vector<uint8_t> l = common(0, 0x80, 1);
    l.insert(l.end(), {0, 0, 0x08, 0, 0, 0, (uint8_t)n, (uint8_t)skip});
    for (int i = n; i >= 0; i--)
        l.push_back(i < 8 ? (uint8_t)((uint64_t)data.size() >> (8 * i)) : 0);
    l.push_back(0);
    for (int i = 0; i < skip; i++)
        l.push_back(0xEE);
    l.insert(l.end(), data.begin(), data.end());
    return l;
}

std::vector<uint8_t> record(uint8_t width, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> r = {0xFF, 0xFD, width, 0};
    if (!data.empty()) {
        r.push_back((uint8_t)(data.size() >> 8));
        r.push_back((uint8_t)data.size());
        r.insert(r.end(), data.begin(), data.end());
    }
    r.push_back(0);
    r.push_back(0);
    return r;
}

TEST_F(LobFixture, InlineValuesOfBothKindsInSlotOrder)
{
    std::vector<uint8_t> clob = {0, 'h', 0, 'i'}, blob(3964, 0x5A);
    put_slot(0, 2, basic_inline(clob, 2));
    put_slot(1, 3, secure_inline(blob, 7, 3));
    ASSERT_EQ(process_lob(&ul), 0);
    std::vector<uint8_t> want = record(2, clob), second = record(1, blob);
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(out(), want);
}

TEST_F(LobFixture, EmptyValuesHaveNoPiece)
{
    put_slot(0, 2, basic_inline({}, 1));
    put_slot(1, 3, secure_inline({}, 0, 0));
    ASSERT_EQ(process_lob(&ul), 0);
    std::vector<uint8_t> want = {0xFF, 0xFD, 1, 0, 0, 0, 0xFF, 0xFD, 1, 0, 0, 0};
    EXPECT_EQ(out(), want);
    // A SecureFile locator with none of the payload forms is empty too.
    ul.clen = 0;
    std::vector<uint8_t> none = common(0, 0x80, 1);
    none.insert(none.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    put_slot(0, 2, none);
    ASSERT_EQ(process_lob(&ul), 0);
    EXPECT_EQ(out(), std::vector<uint8_t>({0xFF, 0xFD, 1, 0, 0, 0}));
}

// A damaged locator loses its value without reading past the locator. Here
// the slots were filled without a row before them, so there is no DUMP_LOB
// word to turn into NULL: an empty value record keeps word and record paired.
TEST_F(LobFixture, DamagedLocatorsLoseTheirValueWithoutReadingPastThem)
{
    const std::vector<uint8_t> empty = {0xFF, 0xFD, 1, 0, 0, 0};
    std::vector<uint8_t> l = basic_inline(std::vector<uint8_t>(100, 1), 1);
    l.resize(l.size() - 1);     // one data byte short
    put_slot(0, 2, l);
    testing::internal::CaptureStderr();
    EXPECT_EQ(process_lob(&ul), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "LOB locator of obj#=500, col#=2: inline data runs past the locator.\n"
              "LOB value of column \"?\" in row (ts#=0, rdba=0x00000000, slot 0) cannot be read, NULL.\n");
    EXPECT_EQ(out(), empty);
    EXPECT_EQ(ul.lost[LOSS_LOB], 1u);

    ul.clen = 0;
    put_slot(0, 9, basic_inline({1}, 1));
    testing::internal::CaptureStderr();
    EXPECT_EQ(process_lob(&ul), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("LOB obj#=500, col#=9 not found.\nL", 0), 0u);
    EXPECT_EQ(out(), empty);

    ul.clen = 0;
    std::vector<uint8_t> s = secure_inline({1, 2, 3}, 0, 0);
    s.resize(26);
    put_slot(0, 2, s);
    testing::internal::CaptureStderr();
    EXPECT_EQ(process_lob(&ul), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("LOB locator of obj#=500, col#=2: ends inside its SecureFile inode.\nLOB ", 0), 0u);
    EXPECT_EQ(out(), empty);

    // Chunked data whose chunk addresses the locator does not hold; the
    // good value in the next slot is kept.
    ul.clen = 0;
    std::vector<uint8_t> c = basic_inline({}, 1);
    c[27] = 3;                  // blks = 3: three chunks of one block
    put_slot(0, 2, c);
    put_slot(1, 3, basic_inline({7}, 1));
    testing::internal::CaptureStderr();
    EXPECT_EQ(process_lob(&ul), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("LOB locator of obj#=500, col#=2: chunk addresses run past the locator.\nL", 0), 0u);
    std::vector<uint8_t> want = empty, good = record(1, {7});
    want.insert(want.end(), good.begin(), good.end());
    EXPECT_EQ(out(), want);
    EXPECT_EQ(ul.lost[LOSS_LOB], 4u);
}

} // namespace
