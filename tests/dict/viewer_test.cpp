// tabview and colview run as programs on dictionary files written here.
#include "support.h"

#include <sys/wait.h>

namespace {

struct ViewRun {
    int status;
    std::string out, err;
};

ViewRun run(const std::string &cmd)
{
    char tmpl[] = "/tmp/kelvo_view_XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    std::string errf = std::string(tmpl) + ".err";
    std::string full = cmd + " >" + tmpl + " 2>" + errf;
    int st = system(full.c_str());
    auto slurp = [](const std::string &p) {
        std::string s;
        FILE *f = fopen(p.c_str(), "rb");
        int c;
        while (f && (c = fgetc(f)) != EOF)
            s.push_back((char)c);
        if (f)
            fclose(f);
        return s;
    };
    ViewRun r{WIFEXITED(st) ? WEXITSTATUS(st) : -1, slurp(tmpl), slurp(errf)};
    unlink(tmpl);
    unlink(errf.c_str());
    return r;
}

} // namespace

using Viewer = DictDir;

TEST_F(Viewer, TabviewPrintsEveryRecordAndIgnoresTheRemainder)
{
    std::vector<TTab> tab = {{0x20, 102, 0, 0, 0, 3, 4, 130, 4}, {0x1010040, 4, 2, 2, 1, 21, 1, 208, 0}};
    std::vector<uint8_t> b = encode(tab);
    b.resize(b.size() + 8, 0xAB);
    put_file("tab", b);
    ViewRun r = run(std::string(TABVIEW_PATH) + " " + path("tab"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "flag    obj#    dataobj#  tab#  cols  ts#   file#   block#\n"
                     "20      102     0         0     3     4     4       130\n"
                     "1010040  4       2         1     21    0     1       208\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Viewer, ColviewPrintsEveryRecord)
{
    std::vector<TCol> col = {{0x1000, 100, 4, 4, 1, 20, "NAME2"}, {0x1, 100, 5, 0xFFFF, 2, 22, "SYS_NC00005$"}};
    put_file("col", encode(col));
    ViewRun r = run(std::string(COLVIEW_PATH) + " " + path("col"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "flag      obj#    col#  scol# type  length  name\n"
                     "1000      100     4     4     1     20      NAME2\n"
                     "1         100     5     65535  2     22      SYS_NC00005$\n");

    // A column file read as tables is printed without complaint.
    r = run(std::string(TABVIEW_PATH) + " " + path("col"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);

    put_file("empty", {});
    r = run(std::string(COLVIEW_PATH) + " " + path("empty"));
    EXPECT_EQ(r.out, "flag      obj#    col#  scol# type  length  name\n");
}

// Help and version name the program as installed, with the build's version.
TEST_F(Viewer, HelpAndVersion)
{
    ViewRun r = run(std::string(TABVIEW_PATH) + " --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: " + std::string(TABVIEW_PATH) + " filename\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nkelvo-tabview " KELVO_VERSION_TEXT "\n"), std::string::npos) << r.out;
    r = run(std::string(COLVIEW_PATH) + " -V");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "kelvo-colview " KELVO_VERSION_TEXT "\n");
}

TEST_F(Viewer, FailuresExitWith255)
{
    ViewRun r = run(std::string(TABVIEW_PATH));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, std::string(TABVIEW_PATH) + " filename\n\n");
    r = run(std::string(COLVIEW_PATH) + " " + path("missing"));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "open " + path("missing") + ": No such file or directory\n");
    EXPECT_EQ(r.out, "");
}
