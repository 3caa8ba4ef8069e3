// The portable build: kelvo and the viewers need no interpreter and no shared
// library, and kelvo runs a whole session in a root directory that holds only
// itself, the datafiles and its configuration.
#include "session.h"

#include <filesystem>

namespace {

using namespace delivery;

TEST(Portable, ProgramsNeedNoInterpreterAndNoSharedLibrary)
{
    TempDir t;
    for (const char *prog : {KELVO_PROGRAM, TABVIEW_PROGRAM, COLVIEW_PROGRAM}) {
        KelvoRun r = run_program("/usr/bin/readelf", {"--program-headers", "--dynamic", "--wide", prog}, "", t.dir);
        ASSERT_EQ(r.status, 0) << prog << ": " << r.err;
        EXPECT_NE(r.out.find("LOAD"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("INTERP"), std::string::npos) << prog << ":\n" << r.out;
        EXPECT_EQ(r.out.find("NEEDED"), std::string::npos) << prog << ":\n" << r.out;
        EXPECT_NE(r.out.find("There is no dynamic section"), std::string::npos) << prog << ":\n" << r.out;
    }
}

TEST(Portable, WholeSessionInAnEmptyRoot)
{
    TempDir t;
    std::string root = t.dir + "/root";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    make_sample(root, "");
    std::filesystem::copy_file(KELVO_PROGRAM, root + "/kelvo");

    std::vector<std::string> args{"config=/config.ini"};
    args.insert(args.end(), SESSION.begin(), SESSION.end());
    KelvoRun r = run_program("/kelvo", args, "", "/", root);
    if (r.status == ROOT_REFUSED)
        GTEST_SKIP() << "no empty root to run in (needs root or user namespaces): " << r.err;
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char *dict : {"user", "obj", "tab", "col"})
        EXPECT_GT(std::filesystem::file_size(root + "/dict/" + dict + ".dat"), 0u) << dict;
    const std::pair<const char *, const char *> tables[] = {{"\"SCOTT\".\"EMP\"  ", " 14 rows done."},
                                                             {"\"SCOTT\".\"DOCS\"  ", " 4 rows done."}};
    for (const auto &[table, done] : tables) {
        size_t at = r.err.find(table);
        ASSERT_NE(at, std::string::npos) << table << " not unloaded:\n" << r.err;
        std::string line = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_NE(line.find(done), std::string::npos) << line;
    }
    std::string dump = slurp(root + "/data/SCOTT.dat");
    EXPECT_GT(dump.size(), 1024u);
    EXPECT_NE(dump.find("EMP"), std::string::npos);
}

} // namespace
