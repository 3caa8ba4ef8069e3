#include <gtest/gtest.h>

#include <string>

#include "kelvo.h"

TEST(Strings, TrimAndUpper)
{
    char a[] = " \t\r\nlist files \t\r\n";
    char *s = str_rtrim(str_ltrim(a));
    EXPECT_STREQ(s, "list files");

    char empty[] = "";
    EXPECT_EQ(str_rtrim(empty), empty);
    EXPECT_STREQ(str_ltrim(empty), "");

    char blanks[] = " \t ";
    EXPECT_STREQ(str_ltrim(blanks), "");
    EXPECT_STREQ(str_rtrim(blanks), "");

    // Only ASCII letters change: bytes of a multibyte name stay as they are.
    char name[] = "scott.\xc3\xa9mp_1\"q\"";
    str_toupper(name);
    EXPECT_EQ(std::string(name), "SCOTT.\xc3\xa9MP_1\"Q\"");
}
