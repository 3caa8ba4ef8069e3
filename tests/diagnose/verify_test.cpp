// "verify": a datafile with one fault of each kind finds exactly those
// blocks, each with its reason, listed on standard output and in
// verify.tsv, and fails; "verify table" names the table's damaged blocks and
// the rows they held; the healthy sample database has no corrupt block.
#include "diagnose.h"
#include "run_kelvo.h"

#include <algorithm>
#include <map>

namespace {

class Verify : public Diagnose {
protected:
    kb::DbTable t;
    std::map<uint32_t, int> rows_in;   // rows of T by block number

    // T: one free-list segment, its header at block 2 and exactly as many
    // data blocks as its rows fill, so that no block of it is left unwritten.
    void make_table()
    {
        t = heap_table("T", 700, {ucol("A", 2, 22), ucol("B", 1, 60)});
        for (int i = 0; i < 150; i++)
            t.rows.push_back(lrow({kb::col_num(i), kb::col_str(std::string(40, (char)('a' + i % 26)))}));
        kb::Datafile probe;
        kb::FileDesc d = df.d;
        ASSERT_EQ(kb::df_create(probe, dir + "/probe.dbf", d), 0);
        uint32_t pn = 2;
        kb::DbTable p = t;
        p.seg.extents = {16};
        ASSERT_EQ(kb::write_table(probe, &pn, p), 0);
        uint32_t last = 0;
        for (const kb::RowPlace &r : p.places)
            last = std::max(last, r.dba & 0x3FFFFF);
        t.seg.extents = {last - 1};
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        for (const kb::RowPlace &r : t.places)
            rows_in[r.dba & 0x3FFFFF]++;
        ASSERT_GE(rows_in.size(), 4u);
        ASSERT_EQ(rows_in.begin()->first, 3u);
        ASSERT_EQ(rows_in.rbegin()->first, last);
        add_table(t, scott, 4);
    }
    // One fault in each of blocks 3 to 5 (rows of T), a copy of the segment
    // header at block 30, and the file cut in the middle of its last block.
    void damage()
    {
        ASSERT_EQ(kb::patch_block(path, 3, 1500, {0x5A}, false), 0);           // check value
        std::vector<uint8_t> tail;
        ASSERT_EQ(kb::read_file_block(path, 4, tail), 0);
        ASSERT_EQ(kb::patch_block(path, 4, BSZ - 4, {(uint8_t)(tail[BSZ - 4] ^ 0xFF)}, true), 0);  // fractured
        ASSERT_EQ(kb::patch_block(path, 5, 92 + 2, {0x00, 0x40}, true), 0);   // kdbhnrow 0x4000
        std::vector<uint8_t> hdr;
        ASSERT_EQ(kb::read_file_block(path, 2, hdr), 0);
        ASSERT_EQ(kb::patch_block(path, 30, 0, hdr, false), 0);               // misplaced
        ASSERT_EQ(truncate(path.c_str(), (off_t)BSZ * 64 + BSZ / 2), 0);       // block 64 cut short
    }
    std::string line(const char *what, uint64_t n)
    {
        char s[96];
        snprintf(s, sizeof(s), "  %-30s%12llu\n", what, (unsigned long long)n);
        return s;
    }
};

TEST_F(Verify, FindsExactlyTheDamagedBlocks)
{
    make_table();
    finish();
    ASSERT_EQ(run(verify_handle, ""), 0) << out << err;
    EXPECT_NE(out.find(line("corrupt", 0)), std::string::npos) << out;

    damage();
    EXPECT_LT(run(verify_handle, ""), 0);
    EXPECT_EQ(err, "");
    const std::string listed = "corrupt block 4/3 (rdba=0x01000003) type 0x06: check value mismatch\n"
                               "corrupt block 4/4 (rdba=0x01000004) type 0x06: fractured (tail does not match the "
                               "header)\n"
                               "corrupt block 4/5 (rdba=0x01000005) type 0x06: header out of range\n"
                               "corrupt block 4/30 (rdba=0x0100001e) type 0x10: misplaced (its own rdba differs)\n"
                               "corrupt block 4/64 (rdba=0x01000040) type -: beyond the end of the file\n";
    ASSERT_EQ(out.substr(0, listed.size()), listed);
    // Good: the file header, the segment header and T's blocks but three.
    uint64_t good = 2 + rows_in.size() - 3;
    auto sub = [](const char *what, uint64_t n) {
        char s[96];
        snprintf(s, sizeof(s), "    %-28s%12llu\n", what, (unsigned long long)n);
        return std::string(s);
    };
    std::string file_summary = "DATAFILE 4 \"" + path + "\" (ts#=4, 2048-byte blocks)\n" + line("blocks examined", 64) +
                               line("unformatted", 64 - good - 5) + line("good", good) +
                               sub("table/index data (0x06)", rows_in.size() - 3) + sub("file header (0x0b)", 1) +
                               sub("segment header (0x10)", 1) + line("corrupt", 5) +
                               sub("beyond the end of the file", 1) + sub("check value mismatch", 1) +
                               sub("misplaced (its own rdba differs)", 1) +
                               sub("fractured (tail does not match the header)", 1) + sub("header out of range", 1);
    EXPECT_EQ(out.substr(listed.size(), file_summary.size()), file_summary);
    EXPECT_NE(out.find("5 corrupt blocks: see " + dir + "/data/verify.tsv\n"), std::string::npos) << out;

    std::ifstream tsv(dir + "/data/verify.tsv");
    std::string all((std::istreambuf_iterator<char>(tsv)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "file#\tblock#\trdba\ttype\treason\tdatafile\n"
                   "4\t3\t0x01000003\t0x06\tcheck value mismatch\t" + path + "\n"
                   "4\t4\t0x01000004\t0x06\tfractured (tail does not match the header)\t" + path + "\n"
                   "4\t5\t0x01000005\t0x06\theader out of range\t" + path + "\n"
                   "4\t30\t0x0100001e\t0x10\tmisplaced (its own rdba differs)\t" + path + "\n"
                   "4\t64\t0x01000040\t-\tbeyond the end of the file\t" + path + "\n");

    // The file and its tablespace by number; nothing else chosen.
    EXPECT_LT(run(verify_handle, "datafile 4"), 0);
    EXPECT_EQ(out.substr(0, listed.size()), listed);
    EXPECT_LT(run(verify_handle, "tablespace 4"), 0);
    EXPECT_EQ(out.substr(0, listed.size()), listed);
    EXPECT_LT(run(verify_handle, "datafile 7"), 0);
    EXPECT_EQ(err, "datafile 7 not configured.\n");
    EXPECT_LT(run(verify_handle, "tablespace 2"), 0);
    EXPECT_EQ(err, "no datafile of tablespace 2 configured.\n");
    EXPECT_LT(run(verify_handle, "datafile four"), 0);
    EXPECT_EQ(err, "usage: verify [datafile N | tablespace N | table USER.TABLE]\n");
}

TEST_F(Verify, TableListsItsDamagedBlocksAndTheirRows)
{
    make_table();
    finish();
    ASSERT_EQ(run(verify_table, "scott.t"), 0) << out << err;
    // The blocks met: the segment header and T's blocks.
    EXPECT_EQ(out, "TABLE SCOTT.T\n" + std::to_string(rows_in.size() + 1) + " blocks, 0 damaged, 0 rows in them\n");

    damage();
    EXPECT_LT(run(verify_handle, "table scott.t"), 0);
    char expect[1024];
    snprintf(expect, sizeof(expect),
             "TABLE SCOTT.T\n"
             "damaged block 4/3 (rdba=0x01000003): check value mismatch, %d rows\n"
             "damaged block 4/4 (rdba=0x01000004): fractured (tail does not match the header), %d rows\n"
             "damaged block 4/5 (rdba=0x01000005): header out of range, %d rows\n"
             "%zu blocks, 3 damaged, %d rows in them\n",
             rows_in[3], rows_in[4], rows_in[5], rows_in.size() + 1, rows_in[3] + rows_in[4] + rows_in[5]);
    EXPECT_EQ(out, expect);
    // The block lost to its check value is reported as every walk reports it.
    EXPECT_NE(err.find("block 4/3 (rdba=0x01000003) of \"" + path + "\": check value mismatch, skipped.\n"),
              std::string::npos) << err;

    // T's last two blocks cut off: one line for the run, rows not counted.
    uint32_t last = rows_in.rbegin()->first;
    ASSERT_EQ(truncate(path.c_str(), (off_t)BSZ * (last - 1)), 0);
    EXPECT_LT(run(verify_handle, "table scott.t"), 0);
    snprintf(expect, sizeof(expect),
             "2 damaged blocks from rdba=0x%08x: beyond the end of the file, rows unknown\n"
             "%zu blocks, 5 damaged, %d rows in them and in 2 blocks whose rows cannot be counted\n",
             rdba(last - 1), rows_in.size() + 1, rows_in[3] + rows_in[4] + rows_in[5]);
    EXPECT_NE(out.find(expect), std::string::npos) << out;

    EXPECT_LT(run(verify_handle, "table scott.nosuch"), 0);
    EXPECT_EQ(err, "table \"NOSUCH\" not found.\n");
    g_ctx.tab = nullptr;
    EXPECT_LT(run(verify_handle, "table scott.t"), 0);
    EXPECT_EQ(err, "no dictionary loaded, run \"load dict\" first.\n");
}

// More than 100 corrupt blocks: the first 100 are listed, then a count; the
// list file has them all.
TEST_F(Verify, ListsAHundredAndCountsTheRest)
{
    ASSERT_EQ(kb::df_finish(df), 0);
    add_file(df);
    kb::Datafile f5;
    kb::FileDesc d = df.d;
    d.fno = d.rfn = 5;
    d.blocks = 160;
    ASSERT_EQ(kb::df_create(f5, dir + "/users02.dbf", d), 0);
    ASSERT_EQ(kb::df_finish(f5), 0);
    add_file(f5);
    install();
    // Blocks 2 to 13 of file 4 hold a type byte and nothing else: their
    // tails do not match. File 5 ends after block 19.
    for (uint32_t b = 2; b <= 13; b++)
        ASSERT_EQ(kb::patch_block(path, b, 0, {0x06}, false), 0);
    ASSERT_EQ(truncate((dir + "/users02.dbf").c_str(), (off_t)BSZ * 20), 0);
    EXPECT_LT(run(verify_handle, ""), 0);
    EXPECT_NE(out.find("corrupt block 4/13 (rdba=0x0100000d) type 0x06: fractured (tail does not match the "
                       "header)\n"),
              std::string::npos);
    EXPECT_NE(out.find("corrupt block 5/107 (rdba=0x0140006b) type -: beyond the end of the file\n"),
              std::string::npos);
    EXPECT_EQ(out.find("corrupt block 5/108 "), std::string::npos);
    EXPECT_NE(out.find("\n53 more corrupt blocks not listed here.\n153 corrupt blocks: see "), std::string::npos)
        << out;
    std::ifstream tsv(dir + "/data/verify.tsv");
    std::string all((std::istreambuf_iterator<char>(tsv)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1 + 153);
    EXPECT_NE(all.find("\n5\t160\t0x014000a0\t-\tbeyond the end of the file\t"), std::string::npos);
}

// The sample database, every block as the builder wrote it (tables,
// clusters, partitions, BasicFile and SecureFile LOBs, the dictionary):
// nothing corrupt, through the kelvo program and its exit status.
TEST(VerifySample, HealthyDatabaseHasNoCorruptBlock)
{
    char tmpl[] = "/tmp/kelvo_verify_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string d = tmpl;
    ASSERT_EQ(kb::make_sample(d), 0);
    KelvoRun r = run_kelvo({"config=" + d + "/config.ini", "verify"}, "", d);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ALL 4 DATAFILES\n"), std::string::npos);
    EXPECT_EQ(r.out.find("corrupt block"), std::string::npos);
    r = run_kelvo({"config=" + d + "/config.ini", "export dict", "load dict", "verify table scott.docs",
                   "verify table scott.sales_hist"},
                  "", d);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("damaged block"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" 0 damaged, 0 rows in them\n"), std::string::npos) << r.out;
    (void)system(("rm -rf '" + d + "'").c_str());
}

} // namespace
