// Parallel unload: the same command with one worker and with four (tables,
// partitions and ranges of blocks each in a worker of their own) gives
// the same dump, the same messages on both streams and the same loss
// report, also when blocks are damaged and tables fail.
#include "support.h"

#include <sys/resource.h>

#include "kelvo/scan.h"

namespace {

const std::vector<uint8_t> NUM7 = {0x02, 0xC1, 0x08};   // the column 7

struct Outcome {
    int rc = 0, lost = 0;
    std::string out, err, loss;
    xd::Bytes dump;
};

class Parallel : public OneTableTest {
protected:
    std::string path;

    void SetUp() override
    {
        OneFileTest::SetUp();
        users_file(df, "users01.dbf", 4, 1024, 2048);
        path = dir + "/users01.dbf";
        g_ctx.par.flag |= CFG_CHECKSUM;
    }
    void TearDown() override
    {
        unsetenv("KELVO_RANGE_BLOCKS");
        OneTableTest::TearDown();
    }
    static kb::DbTable wide(const std::string &name, uint32_t objn, int rows, std::vector<uint32_t> extents)
    {
        kb::DbTable x = heap_table(name, objn, {ucol("A", 2, 22), ucol("B", 1, 60)});
        x.seg.extents = std::move(extents);
        for (int i = 0; i < rows; i++) {
            kb::LogicalRow r = lrow({kb::col_num(i), kb::col_str(std::string(50, (char)('a' + i % 26)))});
            // Rows whose pieces lie in later blocks, often of a later extent.
            if (i % 9 == 4)
                r.layout = kb::RowLayout::Migrated;
            if (i % 13 == 6) {
                r.layout = kb::RowLayout::Chained;
                r.cuts = {{1, 25}};
            }
            x.rows.push_back(r);
        }
        return x;
    }
    void damage(uint32_t rdba) { ASSERT_EQ(kb::patch_block(path, rdba & 0x3FFFFF, 17, {0x01}, false), 0); }
    static std::string slurp(const std::string &p)
    {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    static long child_faults()
    {
        rusage ru{};
        getrusage(RUSAGE_CHILDREN, &ru);
        return ru.ru_minflt;
    }
    // The command with `workers` workers; parts of range_blocks blocks at least.
    Outcome run(const std::string &cmd, const std::string &dump, int workers, const char *range_blocks = "8")
    {
        setenv("KELVO_RANGE_BLOCKS", range_blocks, 1);
        g_parallel = workers;
        g_data_lost = 0;
        Outcome o;
        o.rc = unload(cmd);
        o.lost = g_data_lost;
        o.out = out;
        o.err = err;
        o.dump = read_dump(dump + ".dat");
        o.loss = slurp(dir + "/data/" + dump + ".loss");
        return o;
    }
    // Serial, then with four workers, which must have run.
    void expect_same(const std::string &cmd, const std::string &dump)
    {
        Outcome one = run(cmd, dump, 1);
        long before = child_faults();
        Outcome four = run(cmd, dump, 4);
        EXPECT_GT(child_faults(), before) << "no worker ran";
        EXPECT_EQ(four.rc, one.rc);
        EXPECT_EQ(four.lost, one.lost);
        EXPECT_EQ(four.out, one.out);
        EXPECT_EQ(four.err, one.err);
        EXPECT_EQ(four.loss, one.loss);
        EXPECT_TRUE(four.dump == one.dump) << "dumps differ";
        serial = one;
    }
    Outcome serial;
};

// One table cut into ranges of blocks: migrated and chained rows reach
// into later ranges, a damaged block in a middle range is met by the walk
// and again by a chain from the last range, and is reported once.
TEST_F(Parallel, RangesOfOneTableWithChainsAndADamagedBlock)
{
    t = wide("T", 700, 900, {8, 8, 8, 8, 8, 8, 8, 8});
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    const std::vector<uint32_t> &data = t.segment.data;
    ASSERT_GT(t.places.back().dba, data[data.size() / 2]) << "the rows reach the last extents";
    uint32_t bad = data[data.size() / 2];
    std::vector<uint8_t> head = {0x28, 0, 1};
    rowid(head, bad, 0);
    head.insert(head.end(), NUM7.begin(), NUM7.end());
    std::vector<uint8_t> whole = {0x2C, 0, 1};
    whole.insert(whole.end(), NUM7.begin(), NUM7.end());
    write_block(data.back(), {{whole, head, whole}});
    ASSERT_EQ(kb::df_finish(df), 0);
    damage(bad);
    add_table(t, scott, 4);
    add_file(df);

    expect_same("table scott.t", "SCOTT_T");
    const std::string once = "check value mismatch, skipped.";
    EXPECT_NE(serial.err.find(once), std::string::npos) << serial.err;
    EXPECT_EQ(serial.err.find(once), serial.err.rfind(once)) << serial.err;
    char cut[120];
    snprintf(cut, sizeof(cut), "(ts#=4, rdba=0x%08x, slot 1): next piece at rdba=0x%08x cannot be read", data.back(),
             bad);
    EXPECT_NE(serial.err.find(cut), std::string::npos) << serial.err;
    EXPECT_NE(serial.loss.find("row cut"), std::string::npos) << serial.loss;
}

// A user's tables side by side: a partitioned table whose middle partition
// cannot be walked fails (its later partition is never read), the tables
// around it are complete, and the summary counts the same.
TEST_F(Parallel, UserWithAFailingPartitionedTable)
{
    kb::DbTable a = wide("A", 710, 300, {8, 8, 8, 8});
    kb::DbTable p = wide("P", 720, 0, {8, 8});
    p.parts.resize(3);
    for (uint32_t k = 0; k < 3; k++) {
        p.parts[k].objn = p.parts[k].objd = 721 + k;
        p.parts[k].rows = wide("X", 0, 80 + 10 * (int)k, {}).rows;
    }
    kb::DbTable c = wide("C", 730, 200, {8, 8, 8});
    for (kb::DbTable *x : {&a, &p, &c})
        ASSERT_EQ(kb::write_table(df, &next, *x), 0);
    ASSERT_EQ(kb::df_finish(df), 0);
    // Free list groups: a header the walk refuses.
    ASSERT_EQ(kb::patch_block(path, p.parts[1].segment.hdr & 0x3FFFFF, 0, {0x11}, true), 0);
    damage(a.segment.data[5]);
    for (kb::DbTable *x : {&a, &p, &c})
        add_table(*x, scott, 4);
    add_file(df);

    expect_same("user scott", "SCOTT");
    EXPECT_NE(serial.err.find("unload table \"P\" error.\n"), std::string::npos) << serial.err;
    char sum[160];
    snprintf(sum, sizeof(sum), "unload user \"SCOTT\": 1 tables complete, 1 partial, 1 failed; %zu rows, 1 blocks skipped.\n",
             a.rows.size() - std::count_if(a.places.begin(), a.places.end(),
                                           [&](const kb::RowPlace &r) { return r.dba == a.segment.data[5]; }) +
                 80 + c.rows.size());
    EXPECT_NE(serial.err.find(sum), std::string::npos) << serial.err;
}

// Small tables and partitions gathered into units of at least 20 blocks.
TEST_F(Parallel, SmallTablesAndPartitionsGatheredIntoUnits)
{
    std::vector<kb::DbTable> ts;
    for (uint32_t k = 0; k < 6; k++)
        ts.push_back(wide("S" + std::to_string(k), 740 + 10 * k, 20 * (int)k, {8}));
    ts[3].parts.resize(4);
    for (uint32_t k = 0; k < 4; k++) {
        ts[3].parts[k].objn = ts[3].parts[k].objd = 771 + k;
        ts[3].parts[k].rows = wide("X", 0, 15 * (int)k, {}).rows;
    }
    ts[3].rows.clear();
    for (kb::DbTable &x : ts)
        ASSERT_EQ(kb::write_table(df, &next, x), 0);
    ASSERT_EQ(kb::df_finish(df), 0);
    for (kb::DbTable &x : ts)
        add_table(x, scott, 4);
    add_file(df);
    Outcome one = run("user scott", "SCOTT", 1, "20");
    Outcome four = run("user scott", "SCOTT", 4, "20");
    EXPECT_EQ(four.err, one.err);
    EXPECT_TRUE(four.dump == one.dump);
    std::vector<xd::Table> x;
    for (kb::DbTable &s : ts)
        x.push_back(expect(s));
    EXPECT_EQ(one.dump, xd::dump_file("SCOTT", props, x));
}

// "scan" of a datafile cut among four workers: the same listing, messages
// and saved scan as one process, with a damaged block in a middle piece and
// rows chained and migrated across the pieces' bounds.
TEST_F(Parallel, ScanOfAFileCutIntoPieces)
{
    kb::DbTable a = wide("A", 710, 900, {8, 8, 8, 8, 8, 8, 8, 8});
    kb::DbTable c = wide("C", 730, 200, {8, 8, 8});
    for (kb::DbTable *x : {&a, &c})
        ASSERT_EQ(kb::write_table(df, &next, *x), 0);
    ASSERT_EQ(kb::df_finish(df), 0);
    damage(a.segment.data[a.segment.data.size() / 2]);
    add_file(df);
    install();
    auto scan = [&](int workers) {
        setenv("KELVO_RANGE_BLOCKS", "1", 1);
        g_parallel = workers;
        Outcome o;
        o.rc = capture(scan_handle, "");
        o.out = out;
        o.err = err;
        o.loss = slurp(dir + "/dict/segments.scan");
        return o;
    };
    Outcome one = scan(1);
    long before = child_faults();
    Outcome four = scan(4);
    EXPECT_GT(child_faults(), before) << "no worker ran";
    EXPECT_EQ(one.rc, 0) << one.err;
    EXPECT_EQ(four.rc, one.rc);
    EXPECT_EQ(four.out, one.out);
    EXPECT_EQ(four.err, one.err);
    EXPECT_NE(one.err.find("check value mismatch, skipped."), std::string::npos) << one.err;
    EXPECT_TRUE(four.loss == one.loss) << "saved scans differ";
    SCAN_RESULT r;
    const char *why = nullptr;
    ASSERT_EQ(scan_decode((const uint8_t *)one.loss.data(), one.loss.size(), r, &why), 0) << why;
    const SCAN_OBJ *o = scan_find(r, a.objd);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->bad, 1u);
    EXPECT_EQ(o->ncol, 2u);
}

} // namespace

