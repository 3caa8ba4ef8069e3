// Dictionary file routines: the shared descriptor, the work-buffer boundary,
// and the failures a damaged or missing file gives.
#include "support.h"

#include <sys/stat.h>

using DictFile = DictDir;

TEST_F(DictFile, WritesShareOneDescriptorUntilClosed)
{
    char a[] = "first-", b[] = "second";
    ASSERT_EQ(write_dict_data("user", a, 6), 0);
    ASSERT_NE(g_ctx.fd, -1);
    // The second call appends to the open file whatever name it is given.
    ASSERT_EQ(write_dict_data("other", b, 6), 0);
    close(g_ctx.fd);
    g_ctx.fd = -1;
    std::vector<uint8_t> got = get_file("user");
    EXPECT_EQ(std::string(got.begin(), got.end()), "first-second");
    EXPECT_TRUE(get_file("other").empty());

    // After the close the next write truncates; a size of 0 still creates.
    ASSERT_EQ(write_dict_data("user", b, 3), 0);
    close(g_ctx.fd);
    g_ctx.fd = -1;
    got = get_file("user");
    EXPECT_EQ(std::string(got.begin(), got.end()), "sec");
    ASSERT_EQ(write_dict_data("ts", b, 0), 0);
    close(g_ctx.fd);
    g_ctx.fd = -1;
    struct stat st;
    ASSERT_EQ(stat(path("ts").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(DictFile, OpenFailureKeepsDescriptorClosed)
{
    snprintf(g_ctx.par.dict_dir, sizeof(g_ctx.par.dict_dir), "%s/missing", dir.c_str());
    char a[] = "x";
    Capture err(2);
    EXPECT_EQ(write_dict_data("user", a, 1), -1);
    EXPECT_EQ(g_ctx.fd, -1);
    EXPECT_EQ(err.text(), "open " + dir + "/missing/user.dat: No such file or directory\n");
}

TEST_F(DictFile, SmallFilesComeBackInTheWorkBufferLargeOnesAllocated)
{
    std::vector<uint8_t> exact(WORK_BUFFER_SIZE, 0x5A);
    exact.back() = 0x11;
    put_file("col", exact);
    void *data = nullptr;
    int size = 0;
    ASSERT_EQ(read_dict_data("col", &data, &size), 0);
    EXPECT_EQ(data, g_ctx.wrk);
    EXPECT_EQ(size, WORK_BUFFER_SIZE);
    EXPECT_EQ(((uint8_t *)data)[WORK_BUFFER_SIZE - 1], 0x11);

    exact.push_back(0x22);
    put_file("col", exact);
    ASSERT_EQ(read_dict_data("col", &data, &size), 0);
    EXPECT_NE(data, g_ctx.wrk);
    EXPECT_EQ(size, WORK_BUFFER_SIZE + 1);
    EXPECT_EQ(((uint8_t *)data)[WORK_BUFFER_SIZE], 0x22);
    free(data);

    put_file("tab", {});
    ASSERT_EQ(read_dict_data("tab", &data, &size), 0);
    EXPECT_EQ(size, 0);
}

TEST_F(DictFile, MissingFileIsReported)
{
    void *data = nullptr;
    int size = 0;
    Capture err(2);
    EXPECT_EQ(read_dict_data("lob", &data, &size), -1);
    EXPECT_EQ(err.text(), "open " + dir + "/lob.dat: No such file or directory\n");
}
