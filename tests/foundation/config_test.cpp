#include <sys/stat.h>

#include <vector>

#include "scratch.h"

namespace {

// Runs load_config on the given text; returns its result.
int load_config_text(const ScratchDir &d, const std::string &text)
{
    std::string p = d.write("config.ini", text);
    strcpy(g_cfgname, p.c_str());
    return load_config();
}

TEST(Config, KeysValuesAndComments)
{
    ScratchDir d;
    ASSERT_EQ(load_config_text(d, "# kelvo\n"
                                  "dictdir = /data/dict/\n"
                                  "  datadir\t=\t/data/out   # the dumps\n"
                                  "datafiles = /etc/files.txt   # the list\n"
                                  "DICTDIR = /ignored\n"
                                  "unknown = x\n"
                                  "\n"),
              0);
    EXPECT_STREQ(g_ctx.par.dict_dir, "/data/dict");
    EXPECT_STREQ(g_ctx.par.data_dir, "/data/out");
    EXPECT_STREQ(g_dbfile_list, "/etc/files.txt");
    EXPECT_STREQ(g_system_file, "");
    EXPECT_EQ(g_ctx.par.flag, 0u);

    // Text between the key word and '=' is ignored; only one slash goes.
    ASSERT_EQ(load_config_text(d, "dictdir: main = /x\ndatadir = /a//\ndictdir=/\n"), 0);
    EXPECT_STREQ(g_ctx.par.dict_dir, "");
    EXPECT_STREQ(g_ctx.par.data_dir, "/a/");
    // A later line wins; a key word that is a prefix of a longer word counts.
    ASSERT_EQ(load_config_text(d, "datafiles = /one\ndatafilesx = /two\r\n"), 0);
    EXPECT_STREQ(g_dbfile_list, "/two");
    // The SYSTEM datafile of one container among several.
    ASSERT_EQ(load_config_text(d, "system = /pdb1/system01.dbf # PDB1\n"), 0);
    EXPECT_STREQ(g_system_file, "/pdb1/system01.dbf");
    ASSERT_EQ(load_config_text(d, "dictdir = /d\n"), 0);
    EXPECT_STREQ(g_system_file, "");
}

TEST(Config, ChecksumSwitch)
{
    ScratchDir d;
    struct {
        const char *text;
        uint32_t flag;
    } cases[] = {
        {"checksum = YES\n", 1},      {"checksum=yes\n", 1},        {"checksum=yesterday\n", 1},
        {"checksum = Yes\n", 0},      {"checksum = no\n", 0},       {"dictdir=/d\n", 0},
        {"checksum=yes\nchecksum=no\n", 1},
    };
    for (auto &c : cases) {
        ASSERT_EQ(load_config_text(d, c.text), 0) << c.text;
        EXPECT_EQ(g_ctx.par.flag, c.flag) << c.text;
    }
}

TEST(Config, Failures)
{
    ScratchDir d;
    StderrCapture err;
    EXPECT_EQ(load_config_text(d, "dictdir=/d\ndatadir /x\n"), -1);
    strcpy(g_cfgname, d.file("missing.ini").c_str());
    EXPECT_EQ(load_config(), -1);
    EXPECT_EQ(err.text(), "parameter format error: datadir /x\n"
                          "open " + d.file("missing.ini") + ": No such file or directory\n");
}

TEST(Config, ParallelWorkers)
{
    ScratchDir d;
    ASSERT_EQ(load_config_text(d, "parallel = 4   # workers\n"), 0);
    EXPECT_EQ(g_parallel, 4);
    EXPECT_EQ(parallel_workers(), 4);
    // Not given: the online cores.
    ASSERT_EQ(load_config_text(d, "dictdir = /d\n"), 0);
    EXPECT_EQ(g_parallel, 0);
    EXPECT_EQ(parallel_workers(), (int)sysconf(_SC_NPROCESSORS_ONLN));
    ASSERT_EQ(load_config_text(d, "parallel=1\nparallel = 1024\n"), 0);
    EXPECT_EQ(g_parallel, 1024);
    StderrCapture err;
    for (const char *bad : {"0", "-2", "1025", "4x", "", "two", "+3", "99999999999999999999"}) {
        EXPECT_EQ(load_config_text(d, std::string("parallel = ") + bad + "\n"), -1) << bad;
        EXPECT_EQ(g_parallel, 0) << bad;
    }
    std::string said = err.text();
    EXPECT_EQ(said.substr(0, said.find('\n') + 1), "parameter parallel must be a number from 1 to 1024: 0\n");
    EXPECT_NE(said.find(": 4x\n"), std::string::npos);
}

TEST(Config, LongValueIsCutWithoutOverflow)
{
    ScratchDir d;
    std::string longdir(1500, 'a');
    // fgets takes 1023 characters at a time: the rest of the line is read as a
    // line of its own, which holds no key word.
    ASSERT_EQ(load_config_text(d, "dictdir=" + longdir + "\ndatadir=/ok\n"), 0);
    EXPECT_EQ(strlen(g_ctx.par.dict_dir), 1023u - 8u);
    EXPECT_STREQ(g_ctx.par.data_dir, "/ok");
}

// The datafile list, with the work buffer of the shell.
struct DatafileList : testing::Test {
    ScratchDir d;
    void SetUp() override
    {
        g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
        strcpy(g_ctx.par.dict_dir, d.path.c_str());
    }
    void TearDown() override
    {
        free_dict_memory();
        free(g_ctx.wrk);
        g_ctx.wrk = nullptr;
    }
    int load(const std::string &text)
    {
        strcpy(g_dbfile_list, d.write("files.txt", text).c_str());
        return load_datafile();
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> v;
        for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
            v.push_back(g_ctx.df[i].name);
        return v;
    }
};

TEST_F(DatafileList, OneRecordPerPathInOrder)
{
    ASSERT_EQ(load("# the files\n /u01/system01.dbf \n\n\t# none\n/u01/users01.dbf # main\r\n/u01/last.dbf"), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"/u01/system01.dbf", "/u01/users01.dbf", "/u01/last.dbf"}));
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        EXPECT_EQ(g_ctx.df[i].fd, -1);
        EXPECT_EQ(g_ctx.df[i].flag | g_ctx.df[i].fno | g_ctx.df[i].bsz | g_ctx.df[i].blk0_sz, 0u);
        EXPECT_EQ(g_ctx.df[i].name[sizeof(g_ctx.df[i].name) - 1], '\0');
    }
    struct stat st;
    EXPECT_NE(stat(d.file("dbfile.tmp").c_str(), &st), 0) << "no spill file for a short list";

    ASSERT_EQ(load("# nothing\n\n"), 0);
    EXPECT_EQ(g_ctx.sys.nf, 0u);
}

TEST_F(DatafileList, SpillsFullBatchesAndKeepsOrder)
{
    for (uint32_t n : {7943u, 7944u, 2 * 7943u + 5}) {
        std::string text;
        for (uint32_t i = 0; i < n; i++)
            text += "/f/" + std::to_string(i) + "\n";
        unlink(d.file("dbfile.tmp").c_str());
        ASSERT_EQ(load(text), 0) << n;
        ASSERT_EQ(g_ctx.sys.nf, n);
        bool in_order = true;
        for (uint32_t i = 0; i < n; i++)
            in_order = in_order && std::string(g_ctx.df[i].name) == "/f/" + std::to_string(i) &&
                       g_ctx.df[i].fd == -1;
        EXPECT_TRUE(in_order) << n;
        struct stat st;
        bool spilled = stat(d.file("dbfile.tmp").c_str(), &st) == 0;
        EXPECT_EQ(spilled, n > 7943) << n;
        if (spilled) {
            EXPECT_EQ((size_t)st.st_size, (n / 7943) * 7943 * sizeof(DATAFILE)) << n;
            EXPECT_EQ(st.st_mode & 0777, 0644u);
        }
    }
}

TEST_F(DatafileList, Failures)
{
    StderrCapture err;
    g_dbfile_list[0] = '\0';
    EXPECT_EQ(load_datafile(), -1);
    // A spill file that cannot be created.
    strcpy(g_ctx.par.dict_dir, d.file("no/such/dir").c_str());
    std::string text;
    for (int i = 0; i < 7944; i++)
        text += "/f\n";
    EXPECT_EQ(load(text), -1);
    EXPECT_EQ(err.text(), "open : No such file or directory\n"
                          "open " + d.file("no/such/dir") + "/dbfile.tmp: No such file or directory\n");
}

} // namespace
