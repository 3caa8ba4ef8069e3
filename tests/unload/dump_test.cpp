// The dump file header built from the database properties, and the writer's
// failure paths.
#include "support.h"

namespace {

class DumpHead : public UnloadTest {};

TEST_F(DumpHead, PropertiesFillTheHeader)
{
    std::string tz(70, 'z');
    write_props({{"NLS_LANGUAGE", "GERMAN"}, {"NLS_CHARACTERSET", "WE8MSWIN1252"}, {"NLS_LANGUAGE", "FRENCH"},
                 {"NLS_NCHAR_CHARACTERSET", "UTF8"}, {"DBTIMEZONE", tz}, {"NLS_DATE_FORMAT", "DD-MON-RR"}});
    ASSERT_EQ(make_head(), 0);
    const HEAD_INFO *h = (const HEAD_INFO *)g_ctx.wrk;
    EXPECT_STREQ(h->magic, "kelvo");
    EXPECT_STREQ(h->nls_lang, "FRENCH_.WE8MSWIN1252");   // no territory, last language wins
    EXPECT_STREQ(h->ncharset, "UTF8");
    EXPECT_EQ(std::string(h->dbtimezone), std::string(63, 'z'));
    EXPECT_EQ(h->tab_cnt, 0u);
}

TEST_F(DumpHead, PropertyFileOfManyPassesAndATornRecord)
{
    // More records than one pass of the work buffer holds, the wanted ones
    // last, and a torn record at the end that is ignored.
    std::string b;
    std::string filler(160, '\0');
    filler.replace(0, 5, "OTHER");
    for (int i = 0; i < 60000; i++)
        b += filler;
    std::string r(160, '\0');
    r.replace(0, 16, "NLS_CHARACTERSET");
    r.replace(32, 8, "AL32UTF8");
    b += r + r.substr(0, 100);
    std::ofstream(dir + "/dict/props.dat", std::ios::binary) << b;
    ASSERT_EQ(make_head(), 0);
    EXPECT_STREQ(((const HEAD_INFO *)g_ctx.wrk)->nls_lang, "_.AL32UTF8");
}

TEST_F(DumpHead, WriteFailuresAreReportedAndLeaveTheCache)
{
    ULDR ul{};
    ul.fd = open((dir + "/data").c_str(), O_RDONLY);   // a directory: every write fails
    ul.cache = g_ctx.wrk;
    ul.csz = ULDR_CACHE_SIZE;
    ul.clen = 10;
    ul.data_ofs = 1536;
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_cache(&ul), -1);
    EXPECT_EQ(write_blank(ul.fd, 10), -1);
    HEAD_INFO hi{};
    EXPECT_EQ(write_head(&ul, &hi), -1);
    TAB_INFO ti{};
    ul.tinf = (uint8_t *)&ti;
    ul.ntab = 1;
    EXPECT_EQ(write_tab_info(&ul), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "write cache data error: Bad file descriptor\nwrite blank data error: Bad file descriptor\n"
              "write file header: Bad file descriptor\nwrite table information: Bad file descriptor\n");
    EXPECT_EQ(ul.clen, 10);
    EXPECT_EQ(ul.data_ofs, 1536u);
    close(ul.fd);
}

} // namespace
