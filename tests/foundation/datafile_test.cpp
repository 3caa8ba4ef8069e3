// Datafile access on files written by the test database builder: opening
// and its checks, the bigfile rule, block reads by rdba and verification.
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "kbuild.h"
#include "scratch.h"

namespace {

struct Datafiles : testing::Test {
    ScratchDir d;
    void SetUp() override
    {
        g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
        strcpy(g_ctx.par.dict_dir, d.path.c_str());
        g_ctx.par.flag = 0;
    }
    void TearDown() override
    {
        close_datafile();
        free_dict_memory();
        free(g_ctx.wrk);
        g_ctx.wrk = nullptr;
        g_ctx.par.flag = 0;
    }
    // Creates a datafile with the builder; returns its path.
    std::string make(const std::string &name, kb::FileDesc fd, kb::Datafile *keep = nullptr)
    {
        kb::Datafile df;
        std::string p = d.file(name);
        EXPECT_EQ(kb::df_create(df, p, fd), 0);
        if (keep)
            *keep = std::move(df);
        return p;
    }
    static kb::FileDesc system_file()
    {
        kb::FileDesc f;
        f.fno = 1;
        f.rfn = 1;
        f.tsn = 0;
        f.rootdba = kb::rdba(1, 400);
        return f;
    }
    // Lists the paths and opens them as the shell does at start-up.
    int open_list(const std::vector<std::string> &paths)
    {
        close_datafile();
        std::string text;
        for (auto &p : paths)
            text += p + "\n";
        strcpy(g_dbfile_list, d.write("files.txt", text).c_str());
        if (load_datafile() < 0)
            return -1;
        return open_datafile();
    }
    // A data block image with the builder's cache header for rdba.
    std::vector<uint8_t> block(uint32_t bsz, uint32_t rdba, uint8_t fill)
    {
        std::vector<uint8_t> b(bsz, fill);
        kb::init_block(b.data(), bsz, 0x06, rdba);
        return b;
    }
    static void patch(const std::string &path, off_t off, const void *p, size_t n)
    {
        int fd = open(path.c_str(), O_WRONLY);
        ASSERT_EQ(pwrite(fd, p, n, off), (ssize_t)n);
        close(fd);
    }
};

TEST_F(Datafiles, OpenTakesTheHeaderFields)
{
    kb::FileDesc u;
    u.fno = 7;
    u.rfn = 3;
    u.tsn = 5;
    u.blocks = 300;
    u.bsz = 4096;
    u.blk0_sz = 2048;
    std::string users = make("users.dbf", u);
    kb::FileDesc s = system_file();
    std::string sys = make("system.dbf", s);
    ASSERT_EQ(open_list({users, sys}), 0);
    DATAFILE &a = g_ctx.df[0];
    EXPECT_EQ(a.fno, 7u);
    EXPECT_EQ(a.rfn, 3u);
    EXPECT_EQ(a.tsn, 5u);
    EXPECT_EQ(a.blks, 300u);
    EXPECT_EQ(a.bsz, 4096u);
    EXPECT_EQ(a.blk0_sz, 2048u);
    EXPECT_EQ(a.flag, 0u);
    EXPECT_GE(a.fd, 0);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[1]);
    EXPECT_EQ(g_ctx.sys.rootdba, kb::rdba(1, 400));
    close_datafile();
    EXPECT_EQ(g_ctx.df[0].fd, -1);
    EXPECT_EQ(g_ctx.df[1].fd, -1);
}

TEST_F(Datafiles, SystemFileRules)
{
    kb::FileDesc s = system_file();
    std::string first = make("sys1.dbf", s);
    s.rootdba = kb::rdba(1, 777);
    std::string last = make("sys2.dbf", s);
    // Several files numbered 1: the last in list order wins.
    ASSERT_EQ(open_list({first, last}), 0);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[1]);
    EXPECT_EQ(g_ctx.sys.rootdba, kb::rdba(1, 777));

    kb::FileDesc o;
    o.fno = 2;
    std::string other = make("other.dbf", o);
    s.rootdba = 0;
    std::string noroot = make("noroot.dbf", s);
    // Without a SYSTEM file kelvo still starts, with a warning: the saved
    // dictionary files can still be loaded. Without any file it cannot.
    StderrCapture err;
    EXPECT_EQ(open_list({other}), 0);
    EXPECT_EQ(g_ctx.sysf, nullptr);
    EXPECT_EQ(open_list({noroot}), 0);
    EXPECT_EQ(g_ctx.sysf, nullptr);
    EXPECT_EQ(g_ctx.sys.rootdba, 0u);
    EXPECT_EQ(open_list({}), -1);
    std::string warn = "SYSTEM tablespace file not configured.\nwarning: \"export dict\" cannot run; \"load dict\" "
                       "reads the dictionary files in \"" + d.path + "\".\n";
    EXPECT_EQ(err.text(), warn + warn + "SYSTEM tablespace file not configured.\nno datafile could be opened.\n");
}

TEST_F(Datafiles, SystemFileOfAContainer)
{
    // A pluggable database's SYSTEM: tablespace 0, relative file 1, absolute 9.
    kb::FileDesc p = system_file();
    p.fno = 9;
    p.rootdba = kb::rdba(1, 555);
    p.dbid = 0x50444231;
    std::string pdb = make("pdb_system.dbf", p);
    kb::FileDesc u;
    u.fno = 10, u.rfn = 10, u.tsn = 4, u.dbid = p.dbid;
    u.rootdba = kb::rdba(1, 999);   // outside tablespace 0: not a bootstrap address
    std::string users = make("pdb_users.dbf", u);
    ASSERT_EQ(open_list({users, pdb}), 0);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[1]);
    EXPECT_EQ(g_ctx.sys.rootdba, kb::rdba(1, 555));
    // A SYSTEM tablespace of two files of one database: its first file.
    kb::FileDesc p2 = p;
    p2.fno = 13, p2.rfn = 13;
    std::string second = make("pdb_system2.dbf", p2);
    ASSERT_EQ(open_list({pdb, second}), 0);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[0]);

    std::string root = make("root_system.dbf", system_file());
    StderrCapture err;
    // The root's files listed with a PDB's: refused, naming both, until the
    // configuration names one.
    EXPECT_EQ(open_list({root, users, pdb}), 0);
    EXPECT_EQ(g_ctx.sysf, nullptr);
    EXPECT_EQ(g_ctx.sys.rootdba, 0u);
    snprintf(g_system_file, sizeof(g_system_file), "%s", pdb.c_str());
    EXPECT_EQ(open_list({root, users, pdb}), 0);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[2]);
    EXPECT_EQ(g_ctx.sys.rootdba, kb::rdba(1, 555));
    snprintf(g_system_file, sizeof(g_system_file), "%s", users.c_str());
    EXPECT_EQ(open_list({root, users, pdb}), 0);
    EXPECT_EQ(g_ctx.sysf, nullptr);
    snprintf(g_system_file, sizeof(g_system_file), "%s", d.file("absent.dbf").c_str());
    EXPECT_EQ(open_list({root, pdb}), 0);
    EXPECT_EQ(g_ctx.sysf, nullptr);
    g_system_file[0] = '\0';
    std::string warn = "warning: \"export dict\" cannot run; \"load dict\" reads the dictionary files in \"" + d.path +
                       "\".\n";
    EXPECT_EQ(err.text(), "several datafiles hold a bootstrap address: \"" + root + "\", \"" + pdb +
                              "\"; name the SYSTEM datafile with \"system = PATH\" in the configuration.\n" + warn +
                              "datafile \"" + users + "\" named by \"system\" holds no bootstrap address.\n" + warn +
                              "datafile \"" + d.file("absent.dbf") +
                              "\" named by \"system\" is not among the opened datafiles.\n" + warn);
}

TEST_F(Datafiles, BigEndianFileIsRefusedFirst)
{
    // Block 0 of a big-endian file: the platform mark in big-endian order;
    // its size word then reads as nonsense, which must not be the message.
    kb::FileDesc s = system_file();
    s.platform = 0x7D7C7B7A;
    std::string big = make("sparc.dbf", s);
    uint32_t swapped = __builtin_bswap32(8192);
    patch(big, 20, &swapped, 4);
    std::string good = make("good.dbf", system_file());
    StderrCapture err;
    ASSERT_EQ(open_list({big, good}), 0);
    EXPECT_EQ(g_ctx.sys.nf, 1u);
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[0]);
    EXPECT_EQ(err.text(), "datafile \"" + big + "\" comes from a big-endian platform, not supported.\ndatafile \"" + big +
                              "\" left out.\n1 of 2 listed datafiles opened.\n");
}

TEST_F(Datafiles, OpenRefusesDamagedFiles)
{
    kb::FileDesc s = system_file();
    std::string good = make("good.dbf", s);
    std::string small = d.file("small.dbf");
    {
        std::vector<uint8_t> head(40959);
        kb::make_block0(head.data(), s);
        kb::make_file_header(head.data() + 8192, s);
        std::ofstream(small, std::ios::binary).write((const char *)head.data(), (std::streamsize)head.size());
    }
    std::string badsum = make("badsum.dbf", s);
    uint8_t x = 0x5A;
    patch(badsum, 100, &x, 1);
    std::string badbsz = make("badbsz.dbf", s);
    // The datafile header is not verified at open, its block size is.
    uint32_t odd_bsz = 3000;
    patch(badbsz, 8192 + 48, &odd_bsz, 4);

    StderrCapture err;
    // Block 0 is verified even with verification off. A file that fails is
    // left out, and kelvo starts with the others.
    ASSERT_EQ(open_list({small, good}), 0);
    EXPECT_EQ(g_ctx.sys.nf, 1u);
    EXPECT_STREQ(g_ctx.df[0].name, good.c_str());
    EXPECT_EQ(g_ctx.sysf, &g_ctx.df[0]);
    EXPECT_EQ(get_datafile(0, 1), &g_ctx.df[0]);
    EXPECT_EQ(open_list({badsum}), -1);
    EXPECT_EQ(open_list({badbsz}), -1);
    for (uint32_t sz : {0u, 8191u, 40960u - 372u + 2u}) {
        std::string p = make("blk0_" + std::to_string(sz) + ".dbf", s);
        patch(p, 20, &sz, 4);
        EXPECT_EQ(open_list({p}), -1) << sz;
    }
    EXPECT_EQ(open_list({d.file("absent.dbf")}), -1);
    auto out = [](const std::string &p) { return "datafile \"" + p + "\" left out.\n"; };
    const std::string none =
        "0 of 1 listed datafiles opened.\nSYSTEM tablespace file not configured.\nno datafile could be opened.\n";
    EXPECT_EQ(err.text(), small + " size too small.\n" + out(small) + "1 of 2 listed datafiles opened.\n" +
                          "block 0 of \"" + badsum + "\" check value error.\n" + out(badsum) + none +
                          "datafile header of \"" + badbsz + "\" has an invalid block size 3000.\n" + out(badbsz) +
                          none + "block 0 of \"" + d.file("blk0_0.dbf") + "\" has an invalid size 0.\n" +
                          out(d.file("blk0_0.dbf")) + none + "block 0 of \"" + d.file("blk0_8191.dbf") +
                          "\" has an invalid size 8191.\n" + out(d.file("blk0_8191.dbf")) + none + "block 0 of \"" +
                          d.file("blk0_40590.dbf") + "\" has an invalid size 40590.\n" +
                          out(d.file("blk0_40590.dbf")) + none + "open " + d.file("absent.dbf") +
                          ": No such file or directory\n" + out(d.file("absent.dbf")) + none);
}

TEST_F(Datafiles, GetDatafileRules)
{
    kb::FileDesc s = system_file();
    kb::FileDesc a;
    a.fno = 4, a.rfn = 4, a.tsn = 4;
    kb::FileDesc dup = a;
    dup.fno = 9;
    kb::FileDesc big;
    big.fno = 6, big.tsn = 7, big.bigfile = true;
    ASSERT_EQ(open_list({make("s.dbf", s), make("a.dbf", a), make("dup.dbf", dup), make("big.dbf", big)}), 0);
    EXPECT_EQ(get_datafile(4, 4), &g_ctx.df[1]) << "the first of two alike";
    EXPECT_EQ(get_datafile(0, 1), &g_ctx.df[0]);
    EXPECT_EQ(g_ctx.df[3].rfn, 1024u);
    EXPECT_EQ(g_ctx.df[3].flag, (uint32_t)DF_BIGFILE);
    // A bigfile datafile is found by its tablespace alone.
    EXPECT_EQ(get_datafile(7, 0), &g_ctx.df[3]);
    EXPECT_EQ(get_datafile(7, 513), &g_ctx.df[3]);
    EXPECT_EQ(get_datafile(4, 5), nullptr);
    EXPECT_EQ(get_datafile(1, 1), nullptr);
}

TEST_F(Datafiles, ReadsByRdba)
{
    kb::FileDesc s = system_file();
    s.blocks = 64;
    kb::Datafile df;
    std::string p = make("s.dbf", s, &df);
    auto b1 = block(8192, kb::rdba(1, 10), 0x11), b2 = block(8192, kb::rdba(1, 11), 0x22);
    ASSERT_EQ(kb::df_write_block(df, 10, b1.data()), 0);
    ASSERT_EQ(kb::df_write_block(df, 11, b2.data()), 0);
    ASSERT_EQ(open_list({p}), 0);
    DATAFILE *f = get_datafile(0, 1);
    ASSERT_NE(f, nullptr);

    // Block 10 lies at 8192 + 8192 * 9 = 81,920.
    std::vector<uint8_t> buf(3 * 8192, 0xEE);
    ASSERT_EQ(read_extent_blocks(f, 0x0040000A, 2, buf.data()), 2 * 8192);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 8192), b1);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 8192, buf.begin() + 16384), b2);
    EXPECT_EQ(buf[16384], 0xEE) << "nothing beyond the blocks asked for";
    g_ctx.par.flag = CFG_CHECKSUM;
    EXPECT_EQ(read_extent_blocks(f, 0x0040000A, 2, buf.data()), 2 * 8192);
    // Block 1 (the datafile header) directly follows block 0.
    ASSERT_EQ(read_extent_blocks(f, 0x00400001, 1, buf.data()), 8192);
    EXPECT_EQ(get_le16(buf.data() + 52), 1);
}

TEST_F(Datafiles, VerificationAndShortReads)
{
    kb::FileDesc s = system_file();
    s.blocks = 20;
    kb::Datafile df;
    std::string p = make("s.dbf", s, &df);
    auto good = block(8192, kb::rdba(1, 5), 0x33), bad = block(8192, kb::rdba(1, 6), 0x44);
    ASSERT_EQ(kb::df_write_block(df, 5, good.data()), 0);
    kb::fix_check(bad.data(), 8192);
    bad[4000] ^= 0x01;
    ASSERT_EQ(kb::df_write_raw(df, 6, bad.data(), 8192), 0);
    ASSERT_EQ(open_list({p}), 0);
    DATAFILE *f = &g_ctx.df[0];
    std::vector<uint8_t> buf(40 * 8192);

    StderrCapture err;
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 5), 2, buf.data()), 2 * 8192) << "verification off";
    g_ctx.par.flag = CFG_CHECKSUM;
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 5), 2, buf.data()), -1);
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 5), 1, buf.data()), 8192);
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 6), 1, buf.data()), -1);
    // Blocks past the end of the file fail, verification on or off.
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 19), 3, buf.data()), -1);
    g_ctx.par.flag = 0;
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 19), 3, buf.data()), -1);
    EXPECT_EQ(read_extent_blocks(f, kb::rdba(1, 0), 1, buf.data()), -1);
    EXPECT_EQ(err.text(), "block rdba=0x400006 check value not matched.\n"
                          "block rdba=0x400006 check value not matched.\n"
                          "read \"" + p + "\": end of file before block rdba=0x400015.\n"
                          "read \"" + p + "\": end of file before block rdba=0x400015.\n"
                          "read \"" + p + "\": rdba=0x400000 is the file header, not a data block.\n");
}

TEST_F(Datafiles, VerificationSlicesNameTheBlock)
{
    // 100 blocks of 2 KiB span several verification slices; a bad block in a
    // later slice is reported with its own rdba.
    kb::FileDesc s = system_file();
    s.bsz = 2048;
    s.blocks = 120;
    kb::Datafile df;
    std::string p = make("s.dbf", s, &df);
    for (uint32_t b = 2; b <= 101; b++) {
        auto blk = block(2048, kb::rdba(1, b), (uint8_t)b);
        if (b == 90) {
            kb::fix_check(blk.data(), 2048);
            blk[77] ^= 0x80;
            ASSERT_EQ(kb::df_write_raw(df, b, blk.data(), 2048), 0);
        } else
            ASSERT_EQ(kb::df_write_block(df, b, blk.data()), 0);
    }
    ASSERT_EQ(open_list({p}), 0);
    std::vector<uint8_t> buf(100 * 2048);
    g_ctx.par.flag = CFG_CHECKSUM;
    StderrCapture err;
    EXPECT_EQ(read_extent_blocks(&g_ctx.df[0], kb::rdba(1, 2), 88, buf.data()), 88 * 2048);
    EXPECT_EQ(read_extent_blocks(&g_ctx.df[0], kb::rdba(1, 2), 100, buf.data()), -1);
    EXPECT_EQ(err.text(), "block rdba=0x40005a check value not matched.\n");
}

TEST_F(Datafiles, BigfileBlocksBeyondFourGiB)
{
    // rdba 0x00400001 in a bigfile is block 4,194,305, at byte 34,359,746,560.
    kb::FileDesc s = system_file();
    kb::FileDesc big;
    big.fno = 6, big.tsn = 7, big.bigfile = true, big.blocks = 4194400;
    kb::Datafile df;
    std::string bp = make("big.dbf", big, &df);
    auto blk = block(8192, 0x00400001, 0x5C);
    ASSERT_EQ(kb::df_write_block(df, 4194305, blk.data()), 0);
    ASSERT_EQ(open_list({make("s.dbf", s), bp}), 0);
    DATAFILE *f = get_datafile(7, 1);
    ASSERT_EQ(f, &g_ctx.df[1]);
    std::vector<uint8_t> buf(8192);
    g_ctx.par.flag = CFG_CHECKSUM;
    ASSERT_EQ(read_extent_blocks(f, 0x00400001, 1, buf.data()), 8192);
    EXPECT_EQ(buf, blk);
    std::vector<uint8_t> raw(8192);
    int fd = open(bp.c_str(), O_RDONLY);
    ASSERT_EQ(pread(fd, raw.data(), 8192, 34359746560LL), 8192);
    close(fd);
    EXPECT_EQ(raw, blk);
}

} // namespace
