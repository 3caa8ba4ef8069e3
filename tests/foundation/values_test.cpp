#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kelvo.h"

namespace {

int num(std::vector<uint8_t> b) { return ora_number_to_int(b.data(), (int)b.size()); }

TEST(OraNumber, DictionaryIntegers)
{
    EXPECT_EQ(num({0x80}), 0);
    EXPECT_EQ(num({0xC1, 0x02}), 1);
    EXPECT_EQ(num({0xC2, 0x02}), 100);
    EXPECT_EQ(num({0xC2, 0x02, 0x03}), 102);
    EXPECT_EQ(num({0xC3, 0x0B}), 100000);
    EXPECT_EQ(num({0xC5, 0x16, 0x30, 0x31, 0x25, 0x30}), 2147483647);
    // Fractional digits are kept as further digits: 1.5 gives 150.
    EXPECT_EQ(num({0xC1, 0x02, 0x33}), 150);
    // Negative numbers, values below 1 and empty input are not converted.
    EXPECT_EQ(num({0x3E, 0x64}), -1);
    EXPECT_EQ(num({0xC0, 0x33}), -1);
    EXPECT_EQ(num({0x80, 0x02}), -1);
    EXPECT_EQ(ora_number_to_int(nullptr, 0), -1);
    // The largest exponent wraps at 32 bits instead of running away.
    EXPECT_EQ(num({0xFF, 0x02}), 0);
}

TEST(Columns, LengthForms)
{
    // NULL, a short column and the 0xFE form, as the walkers meet them.
    std::vector<uint8_t> b = {0xFF, 0x03, 'a', 'b', 'c', 0xFE, 0x04, 0x00, 'w', 'x', 'y', 'z', 0x99};
    const uint8_t *p = b.data(), *end = b.data() + b.size(), *data;
    uint32_t len;
    EXPECT_EQ(skip_columns(p, end, 3), p + 12);
    EXPECT_EQ(skip_columns(p, end, 0), p);

    EXPECT_EQ(next_column(&p, end, &data, &len), 0);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(next_column(&p, end, &data, &len), 1);
    EXPECT_EQ(std::string((const char *)data, len), "abc");
    EXPECT_EQ(next_column(&p, end, &data, &len), 1);
    EXPECT_EQ(std::string((const char *)data, len), "wxyz");
    EXPECT_EQ(p, b.data() + 12);

    std::vector<uint8_t> big = {0xFE, 0x2C, 0x01};
    big.resize(3 + 300, 'v');
    p = big.data();
    ASSERT_EQ(next_column(&p, big.data() + big.size(), &data, &len), 1);
    EXPECT_EQ(len, 300u);
    EXPECT_EQ(p, big.data() + big.size());
}

TEST(Columns, NeverReachPastTheEnd)
{
    std::vector<uint8_t> b = {0x02, 'a', 'b', 0x05, 'x', 'y', 0xFE, 0x10};
    const uint8_t *p = b.data(), *data;
    uint32_t len;
    EXPECT_EQ(skip_columns(p, p + 3, 1), p + 3);
    EXPECT_EQ(skip_columns(p, p + 3, 2), nullptr);       // past end after the first
    EXPECT_EQ(skip_columns(p + 3, p + 6, 1), nullptr);   // 5 bytes claimed, 2 there
    EXPECT_EQ(skip_columns(p + 6, p + 8, 1), nullptr);   // 0xFE cut inside its length
    EXPECT_EQ(skip_columns(p, p, 1), nullptr);
    const uint8_t *q = p + 3;
    EXPECT_EQ(next_column(&q, p + 6, &data, &len), -1);
    EXPECT_EQ(q, p + 3) << "a failed read leaves the position alone";
    // A huge column count stops at the first column that does not fit.
    std::vector<uint8_t> nulls(100, 0xFF);
    EXPECT_EQ(skip_columns(nulls.data(), nulls.data() + nulls.size(), 1 << 30), nullptr);
}

TEST(CheckValue, XorOfAllWordsIsZero)
{
    std::vector<uint8_t> blk(8192);
    for (size_t i = 0; i < blk.size(); i++)
        blk[i] = (uint8_t)(i * 131 + 7);
    uint16_t v = block_check_value(blk.data(), 8192);
    put_be16(blk.data() + 16, 0); // any stored value: the computation ignores it
    memcpy(blk.data() + 16, &v, 2);
    EXPECT_EQ(check_sum(blk.data(), 8192), 0);
    uint16_t x = 0;
    for (size_t i = 0; i < blk.size(); i += 2)
        x ^= get_le16(blk.data() + i);
    EXPECT_EQ(x, 0) << "the stored value makes the XOR of the whole block 0";

    // Every single-bit fault is seen, in the first and last word and in the
    // check value itself; the odd tail of the word loop is covered by 8190.
    for (size_t bit : {0ul, 8191ul * 8 + 7, 16ul * 8 + 3, 4000ul * 8 + 1}) {
        blk[bit / 8] ^= (uint8_t)(1 << (bit % 8));
        EXPECT_NE(check_sum(blk.data(), 8192), 0) << bit;
        blk[bit / 8] ^= (uint8_t)(1 << (bit % 8));
    }
    uint16_t v2 = block_check_value(blk.data(), 8190);
    memcpy(blk.data() + 16, &v2, 2);
    EXPECT_EQ(check_sum(blk.data(), 8190), 0);

    // A stored value of 0 passes only when the other words XOR to 0.
    std::vector<uint8_t> zero(2048, 0);
    EXPECT_EQ(check_sum(zero.data(), 2048), 0);
    zero[100] = 1;
    EXPECT_NE(check_sum(zero.data(), 2048), 0);
    EXPECT_NE(check_sum(zero.data(), 10), 0) << "too small to hold a check value";
}

TEST(CheckValue, WideFoldMatchesWordByWord)
{
    // Every block size, a few sizes that leave a tail after the wide
    // strides, and every misalignment within 32 bytes: the value must be
    // the plain XOR of the 16-bit words, the check value's own word left out.
    std::mt19937_64 rng(20261210);
    std::vector<uint8_t> buf(32768 + 64);
    for (int bsz : {20, 254, 258, 2048, 2050, 4096, 8190, 8192, 16384, 32768, 32766})
        for (size_t mis = 0; mis < 32; mis++) {
            for (uint8_t &b : buf)
                b = (uint8_t)rng();
            const uint8_t *blk = buf.data() + mis;
            uint16_t want = 0;
            for (int i = 0; i + 2 <= bsz; i += 2)
                if (i != 16)
                    want ^= get_le16(blk + i);
            ASSERT_EQ(block_check_value(blk, bsz), want) << "size " << bsz << ", misaligned by " << mis;
        }
}

} // namespace
