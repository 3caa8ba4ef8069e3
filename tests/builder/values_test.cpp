// Value encodings against published worked examples, and the check value.
#include "kbuild.h"

#include <gtest/gtest.h>

using kb::ora_number;

typedef std::vector<uint8_t> Bytes;

TEST(BuilderValues, NumberWorkedExamples)
{
    EXPECT_EQ(ora_number(0), (Bytes{0x80}));
    EXPECT_EQ(ora_number(1), (Bytes{0xC1, 0x02}));
    EXPECT_EQ(ora_number(5), (Bytes{0xC1, 0x06}));
    EXPECT_EQ(ora_number(-5), (Bytes{0x3E, 0x60, 0x66}));
    EXPECT_EQ(ora_number(100), (Bytes{0xC2, 0x02}));
    EXPECT_EQ(ora_number(102), (Bytes{0xC2, 0x02, 0x03}));
    EXPECT_EQ(ora_number(100000), (Bytes{0xC3, 0x0B}));
    EXPECT_EQ(ora_number(12345678), (Bytes{0xC4, 0x0D, 0x23, 0x39, 0x4F}));
    EXPECT_EQ(ora_number(-12345678), (Bytes{0x3B, 0x59, 0x43, 0x2D, 0x17, 0x66}));
    EXPECT_EQ(ora_number(-1), (Bytes{0x3E, 0x64, 0x66}));

    EXPECT_EQ(ora_number(std::string("0.1")), (Bytes{0xC0, 0x0B}));
    EXPECT_EQ(ora_number(std::string("0.001")), (Bytes{0xBF, 0x0B}));
    EXPECT_EQ(ora_number(std::string("-1.234")), (Bytes{0x3E, 0x64, 0x4E, 0x3D, 0x66}));
    EXPECT_EQ(ora_number(std::string("999999999999.9999")), (Bytes{0xC6, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64}));
    EXPECT_EQ(ora_number(std::string("9999999999999.999")),
              (Bytes{0xC7, 0x0A, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x5B}));
    EXPECT_EQ(ora_number(std::string("-12345678")), ora_number(-12345678));
    EXPECT_EQ(ora_number(std::string("000.000")), (Bytes{0x80}));
    EXPECT_EQ(ora_number(std::string("1.5")), (Bytes{0xC1, 0x02, 0x33}));
    EXPECT_TRUE(ora_number(std::string("1e5")).empty());
    EXPECT_TRUE(ora_number(std::string("")).empty());
}

TEST(BuilderValues, NumberExtremesAndTwentyDigitMantissa)
{
    // INT64_MIN has 10 base-100 digits; the magnitude must not overflow.
    Bytes m = ora_number(INT64_MIN);
    ASSERT_EQ(m.size(), 12u);   // exponent, 10 digits, terminator
    EXPECT_EQ(m[0], 0xFF & ~(193 + 9));
    EXPECT_EQ(m.back(), 102);
    // A negative number with 20 mantissa digits carries no terminator.
    std::string forty = "-" + std::string(40, '7');
    Bytes n = ora_number(forty);
    ASSERT_EQ(n.size(), 21u);
    EXPECT_NE(n.back(), 102);
    EXPECT_TRUE(ora_number("1" + std::string(41, '1')).empty());
}

TEST(BuilderValues, DateWorkedExamples)
{
    EXPECT_EQ(kb::ora_date(1992, 11, 30, 15, 17, 0), (Bytes{119, 192, 11, 30, 16, 18, 1}));
    EXPECT_EQ(kb::ora_date(2018, 7, 13, 8, 39, 26), (Bytes{120, 118, 7, 13, 9, 40, 27}));
    EXPECT_EQ(kb::ora_date(-4712, 1, 1), (Bytes{53, 88, 1, 1, 1, 1, 1}));
}

// Bytes read from a server for 2024-01-08 19:34:49.6863868 Asia/Riyadh
// (region 288), the instant kept in UTC.
TEST(BuilderValues, TimestampWithRegionWorkedExample)
{
    EXPECT_EQ(kb::ora_timestamp_tz_region(2024, 1, 8, 16, 34, 49, 686386800, 288),
              (Bytes{0x78, 0x7C, 0x01, 0x08, 0x11, 0x23, 0x32, 0x28, 0xE9, 0x6E, 0x70, 0x84, 0x80}));
    // The highest id the two bytes hold.
    Bytes top = kb::ora_timestamp_tz_region(2024, 1, 8, 0, 0, 0, 0, 8191);
    EXPECT_EQ(top[11], 0xFF);
    EXPECT_EQ(top[12], 0xFC);
}

TEST(BuilderValues, CheckValueMakesWordsXorToZero)
{
    Bytes b(2048);
    for (size_t i = 0; i < b.size(); i++)
        b[i] = (uint8_t)(i * 7 + 3);
    kb::fix_check(b.data(), b.size());
    uint16_t x = 0;
    for (size_t i = 0; i < b.size(); i += 2)
        x ^= (uint16_t)(b[i] | (b[i + 1] << 8));
    EXPECT_EQ(x, 0);
    EXPECT_TRUE(kb::check_ok(b.data(), b.size()));
    b[1001] ^= 0x40;
    EXPECT_FALSE(kb::check_ok(b.data(), b.size()));
    // Odd word counts past the 8-byte runs are folded in too.
    Bytes c(30, 0x11);
    kb::fix_check(c.data(), c.size());
    EXPECT_TRUE(kb::check_ok(c.data(), c.size()));
}
