// Damaged segments, one fault at a time: every fault is reported once with
// its file, block and rdba, the table goes on with the blocks still
// readable, and what was lost is counted, listed in the loss report and
// marked in the dump.
#include "support.h"

#include <set>

namespace {

constexpr uint32_t BSZ = 2048;

class Salvage : public OneFileTest {
protected:
    void SetUp() override
    {
        OneFileTest::SetUp();
        users_file(df, "users01.dbf", 4, 256, BSZ);
        t = heap_table("T", 700, {ucol("A", 2, 22), ucol("B", 1, 60)});
        t.seg.extents = {5, 5, 5, 5};
        for (int i = 0; i < 160; i++)
            t.rows.push_back(lrow({kb::col_num(i), kb::col_str(std::string(40, (char)('a' + i % 26)))}));
    }
    // Writes the table with `hdr_max` / `map_max` extent entries per map
    // (0: as many as fit) and registers it; the file is closed for damage.
    void make(int hdr_max = 0, int map_max = 0)
    {
        t.seg.hdr_max = hdr_max;
        t.seg.map_max = map_max;
        ASSERT_EQ(kb::write_table(df, &next, t), 0);
        add_table(t, scott, 4);
        ASSERT_EQ(kb::df_finish(df), 0);
        path = dir + "/users01.dbf";
    }
    void open_file() { add_file(df); }

    std::string path;
    // The blocks holding rows, in walk order.
    std::vector<uint32_t> row_blocks() const
    {
        std::vector<uint32_t> v;
        for (const kb::RowPlace &p : t.places)
            if (v.empty() || v.back() != p.dba)
                v.push_back(p.dba);
        return v;
    }
    // The expected table with the rows of the lost blocks left out.
    xd::Table expect_without(const std::set<uint32_t> &lost, uint32_t flag = 0) const
    {
        xd::Table x = expect(t);
        xd::Table y = x;
        y.rows.clear();
        for (size_t i = 0; i < t.rows.size(); i++)
            if (!lost.count(t.places[i].dba))
                y.rows.push_back(x.rows[i]);
        y.flag |= flag;
        return y;
    }
    std::string loss_file() { return slurp(dir + "/data/SCOTT_T.loss"); }
    static std::string slurp(const std::string &p)
    {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    // "block 4/N (rdba=0x...) of \"<path>\": why, skipped.\n"
    std::string block_line(uint32_t rdba, const std::string &why) const
    {
        char b[512];
        snprintf(b, sizeof(b), "block 4/%u (rdba=0x%08x) of \"%s\": %s, skipped.\n", rdba & 0x3FFFFF, rdba,
                 path.c_str(), why.c_str());
        return b;
    }
    std::string loss_line(uint32_t rdba, const std::string &lost, const std::string &why) const
    {
        char b[512];
        snprintf(b, sizeof(b), "T\t4\t%u\t0x%08x\t-\t-\t%s\t%s\n", rdba & 0x3FFFFF, rdba, lost.c_str(), why.c_str());
        return b;
    }
    std::string rows_done(size_t n) const
    {
        char b[64];
        snprintf(b, sizeof(b), "%10d rows done.\n", (int)n);
        return b;
    }
    static size_t count(const std::string &s, const std::string &what)
    {
        size_t n = 0;
        for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
            n++;
        return n;
    }
    void patch(uint32_t rdba, size_t off, std::vector<uint8_t> bytes, bool fix)
    {
        ASSERT_EQ(kb::patch_block(path, rdba & 0x3FFFFF, off, bytes, fix), 0);
    }
    static std::vector<uint8_t> le32(uint32_t v)
    {
        return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
    }
    const std::string header = "table\tfile#\tblock#\trdba\tslot\tcolumn\tlost\twhy\n";
};

TEST_F(Salvage, HealthyTableHasNoLossFileNorExtraLine)
{
    make();
    open_file();
    // A report left by an earlier run goes.
    std::ofstream(dir + "/data/SCOTT_T.loss") << "stale";
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    EXPECT_FALSE(dump_exists("SCOTT_T.loss"));
    EXPECT_EQ(err.substr(err.find("rows done.")), "rows done.\n") << err;
    EXPECT_GT(row_blocks().size(), 4u) << "the rows span several blocks";
}

TEST_F(Salvage, CheckValueMismatchCostsOnlyItsBlock)
{
    make();
    std::vector<uint32_t> rb = row_blocks();
    uint32_t bad = rb[2];
    // One bit of the stored check value: the rows are intact, the check value is not.
    patch(bad, 16, {0x80}, false);
    open_file();
    g_ctx.par.flag |= CFG_CHECKSUM;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without({bad}, TI_PARTIAL)}));
    char first[64];
    snprintf(first, sizeof(first), "block rdba=0x%x check value not matched.\n", bad);
    std::string lines = std::string(first) + block_line(bad, "check value mismatch");
    EXPECT_NE(err.find(lines), std::string::npos) << err;
    EXPECT_EQ(count(err, "check value not matched"), 1u) << err;
    size_t kept = expect_without({bad}).rows.size();
    EXPECT_NE(err.find(rows_done(kept) + "    1 block skipped: see " + dir + "/data/SCOTT_T.loss\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("\"checksum = NO\""), std::string::npos) << err;
    EXPECT_EQ(loss_file(), header + loss_line(bad, "block", "check value mismatch"));
    EXPECT_EQ(g_data_lost, 1);
    g_data_lost = 0;

    // Without verification the block is read as it is: the whole table.
    g_ctx.par.flag &= ~CFG_CHECKSUM;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    EXPECT_FALSE(dump_exists("SCOTT_T.loss"));
    EXPECT_EQ(err.find("skipped"), std::string::npos) << err;
    EXPECT_EQ(g_data_lost, 0);
}

TEST_F(Salvage, MisplacedBlockUnderAGoodCheckValueIsSkipped)
{
    make();
    uint32_t bad = row_blocks()[1];
    patch(bad, 4, le32(bad + 7), true);   // bit rot in its own address, check value recomputed
    open_file();
    g_ctx.par.flag |= CFG_CHECKSUM;
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without({bad}, TI_PARTIAL)}));
    EXPECT_NE(err.find(block_line(bad, "misplaced (its own rdba differs)")), std::string::npos) << err;
    EXPECT_EQ(loss_file(), header + loss_line(bad, "block", "misplaced (its own rdba differs)"));
    EXPECT_EQ(err.find("checksum = NO"), std::string::npos) << "not a check value loss";
}

TEST_F(Salvage, ZeroedBlockBelowTheHighWaterMarkIsAnUnformattedLoss)
{
    make();
    uint32_t bad = row_blocks()[3];
    ASSERT_EQ(kb::patch_block(path, bad & 0x3FFFFF, 0, std::vector<uint8_t>(BSZ, 0), false), 0);
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without({bad}, TI_PARTIAL)}));
    char line[512];
    snprintf(line, sizeof(line),
             "block 4/%u (rdba=0x%08x) of \"%s\": unformatted (all zeros) below the high-water mark, skipped.\n",
             bad & 0x3FFFFF, bad, path.c_str());
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(count(err, "unformatted"), 2u) << "the block line and the table's line: " << err;
    EXPECT_NE(err.find("    1 unformatted block skipped: see "), std::string::npos) << err;
    EXPECT_EQ(loss_file(), header + loss_line(bad, "unformatted block", "unformatted below the high-water mark"));
}

TEST_F(Salvage, TruncatedFileKeepsTheRowsBeforeItsEnd)
{
    make();
    std::vector<uint32_t> rb = row_blocks();
    uint32_t cut = rb[4];
    ASSERT_EQ(truncate(path.c_str(), (off_t)BSZ * (cut & 0x3FFFFF)), 0);   // block `cut` is the first gone
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    std::set<uint32_t> gone(rb.begin() + 4, rb.end());
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without(gone, TI_PARTIAL)}));
    char eof[512];
    snprintf(eof, sizeof(eof), "read \"%s\": end of file before block rdba=0x%x.\n", path.c_str(), cut);
    EXPECT_NE(err.find(std::string(eof) + block_line(cut, "beyond the end of the file")), std::string::npos) << err;
    EXPECT_NE(err.find("blocks skipped: see "), std::string::npos) << err;
    EXPECT_NE(loss_file().find("\tblock\tbeyond the end of the file ("), std::string::npos) << loss_file();
}

TEST_F(Salvage, GarbageSegmentHeaderFallsBackToAScanOfTheTablespace)
{
    make();
    uint32_t hdr = t.segment.hdr;
    patch(hdr, 0, {0x77}, true);   // an unknown block type under a good check value
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without({}, TI_PARTIAL)}));
    std::string msg = "error block type: 77\n" + block_line(hdr, "unexpected block type");
    char scan[256];
    snprintf(scan, sizeof(scan),
             "segment header rdba=0x%08x of ts#=4 cannot be used: scanning the tablespace for blocks of data object "
             "700.\n",
             hdr);
    msg += scan;
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    snprintf(scan, sizeof(scan), "scan of ts#=4 found %zu blocks of data object 700.\n", row_blocks().size());
    EXPECT_NE(err.find(scan), std::string::npos) << err;
    EXPECT_EQ(loss_file(), header + loss_line(hdr, "block", "unexpected block type"));
}

// Each extent in a map block of its own: header -> map 1 -> map 2 -> map 3.
TEST_F(Salvage, MapChainBackToItselfEndsOnceWithEveryRow)
{
    make(1, 1);
    ASSERT_EQ(t.segment.maps.size(), 3u);
    uint32_t m1 = t.segment.maps[0];
    patch(m1, 20 + 4, le32(m1), true);   // map 1 names itself as the next one
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    // Extents 3 and 4 are not known any more; the rows of the first two stay.
    std::set<uint32_t> gone;
    for (const kb::Extent &e : {t.segment.extents[2], t.segment.extents[3]})
        for (uint32_t i = 0; i < e.len; i++)
            gone.insert(e.dba + i);
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without(gone, TI_PARTIAL)}));
    char msg[512];
    snprintf(msg, sizeof(msg),
             "extent map at rdba=0x%08x names itself as the next one.\n"
             "extent map block 4/%u (rdba=0x%08x) of \"%s\": next map rdba=0x%08x was visited before, map chain "
             "ended.\n"
             "extent map of segment rdba=0x%08x broken at rdba=0x%08x: 2 of 4 extents not known.\n",
             m1, m1 & 0x3FFFFF, m1, path.c_str(), m1, t.segment.hdr, m1);
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    EXPECT_EQ(count(err, "visited before"), 1u);
    EXPECT_EQ(loss_file(), header + loss_line(m1, "block", "extent map broken, 2 extents not known"));
}

TEST_F(Salvage, MapChainBackToTheHeaderEndsOnce)
{
    make(1, 1);
    uint32_t m2 = t.segment.maps[1];
    patch(m2, 20 + 4, le32(t.segment.hdr), true);   // map 2 -> header
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    std::set<uint32_t> gone;
    for (uint32_t i = 0; i < t.segment.extents[3].len; i++)
        gone.insert(t.segment.extents[3].dba + i);
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without(gone, TI_PARTIAL)}));
    EXPECT_EQ(count(err, "visited before, map chain ended."), 1u) << err;
    EXPECT_EQ(err.find("names itself"), std::string::npos) << err;
}

TEST_F(Salvage, ExtentListedTwiceIsReadOnce)
{
    make();
    uint32_t hdr = t.segment.hdr;
    // The header's map at 92: nexts 5, the fifth entry a copy of the second.
    kb::Extent e = t.segment.extents[1];
    patch(hdr, 92, le32(5), true);
    patch(hdr, 92 + 16 + 8 * 4, le32(e.dba), true);
    patch(hdr, 92 + 16 + 8 * 4 + 4, le32(e.len), true);
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect(t)}));
    char msg[512];
    snprintf(msg, sizeof(msg),
             "extent 4/%u (rdba=0x%08x) of \"%s\": %u of its %u blocks were read before (listed twice or "
             "overlapping), read once.\n",
             e.dba & 0x3FFFFF, e.dba, path.c_str(), e.len, e.len);
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    EXPECT_FALSE(dump_exists("SCOTT_T.loss")) << "nothing was lost";
}

TEST_F(Salvage, ExtentPastTheEndIsReadUpToTheEnd)
{
    make();
    uint32_t hdr = t.segment.hdr;
    kb::Extent last = t.segment.extents[3];
    patch(hdr, 92 + 16 + 8 * 3 + 4, le32(100000), true);   // the last extent runs far past the file
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without({}, TI_PARTIAL)}));
    uint32_t end = df.d.blocks + 1;   // first block number past the file
    uint32_t lost = 100000 - (end - (last.dba & 0x3FFFFF));
    char msg[512];
    snprintf(msg, sizeof(msg), "%u more blocks from rdba=0x%08x lie beyond the end of \"%s\", lost.\n", lost - 1,
             kb::rdba(4, end + 1), path.c_str());
    EXPECT_NE(err.find(block_line(kb::rdba(4, end), "beyond the end of the file") + msg), std::string::npos) << err;
    char why[64];
    snprintf(why, sizeof(why), "beyond the end of the file (%u blocks)", lost);
    EXPECT_EQ(loss_file(), header + loss_line(kb::rdba(4, end), "block", why));
    char line[128];
    snprintf(line, sizeof(line), "    %u blocks skipped: see ", lost);
    EXPECT_NE(err.find(line), std::string::npos) << err;
}

// An extent whose address names a datafile that is not configured costs that
// extent's rows; the extents after it are still read. It held the high-water
// mark, so the unused blocks after it are said once and not counted as lost.
TEST_F(Salvage, ExtentInAnUnconfiguredFileIsSkipped)
{
    make();
    // The extent that holds the last rows (not the first: it holds the header).
    uint32_t e = 1;
    while (e + 1 < t.segment.extents.size() && t.segment.extents[e].dba + t.segment.extents[e].len <= row_blocks().back())
        e++;
    kb::Extent moved = t.segment.extents[e];
    patch(t.segment.hdr, 92 + 16 + 8 * e, le32(kb::rdba(9, 10)), true);
    open_file();
    ASSERT_EQ(unload("table scott.t"), 0) << err;
    std::set<uint32_t> lost;
    for (uint32_t b : row_blocks())
        if (b >= moved.dba && b < moved.dba + moved.len)
            lost.insert(b);
    ASSERT_FALSE(lost.empty()) << "the moved extent held rows";
    ASSERT_LT(lost.size(), row_blocks().size()) << "rows lie in other extents too";
    EXPECT_EQ(read_dump("SCOTT_T.dat"), xd::dump_file("SCOTT", props, {expect_without(lost, TI_PARTIAL)}));
    char msg[400];
    uint32_t after = 0;
    for (size_t i = e + 1; i < t.segment.extents.size(); i++)
        after += t.segment.extents[i].len;
    snprintf(msg, sizeof(msg),
             "datafile (ts#=4, rfile#=9) not found.\nextent at rdba=0x%08x (%u blocks) skipped.\n"
             "%u all-zero blocks after a lost extent not counted: the high-water mark rdba=0x%08x may have lain in "
             "it.\n",
             kb::rdba(9, 10), moved.len, after, row_blocks().back() + 1);
    EXPECT_NE(err.find(msg), std::string::npos) << err;
    EXPECT_EQ(err.find("below the high-water mark"), std::string::npos) << err;
    snprintf(msg, sizeof(msg), "    %u blocks skipped: see ", moved.len);
    EXPECT_NE(err.find(msg), std::string::npos) << err;
}

TEST_F(Salvage, UserSummaryCountsCompletePartialAndFailed)
{
    make();
    kb::DbTable u = heap_table("U", 701, {ucol("A", 2, 22)});
    for (int i = 0; i < 3; i++)
        u.rows.push_back(lrow({kb::col_num(i)}));
    // U is written into a second file of the tablespace, intact.
    kb::Datafile df2;
    users_file(df2, "users02.dbf", 5, 64, BSZ);
    uint32_t n2 = 2;
    ASSERT_EQ(kb::write_table(df2, &n2, u), 0);
    add_table(u, scott, 4);
    ASSERT_EQ(kb::df_finish(df2), 0);
    uint32_t bad = row_blocks()[0];
    patch(bad, 17, {0x01}, false);
    open_file();
    add_file(df2);
    g_ctx.par.flag |= CFG_CHECKSUM;
    ASSERT_EQ(unload("user scott"), 0) << err;
    EXPECT_EQ(read_dump("SCOTT.dat"),
              xd::dump_file("SCOTT", props, {expect_without({bad}, TI_PARTIAL), expect(u)}));
    size_t rows = expect_without({bad}).rows.size() + 3;
    char sum[160];
    snprintf(sum, sizeof(sum),
             "unload user \"SCOTT\": 1 tables complete, 1 partial, 0 failed; %zu rows, 1 blocks skipped.\n", rows);
    EXPECT_NE(err.find(sum), std::string::npos) << err;
    EXPECT_EQ(slurp(dir + "/data/SCOTT.loss"), header + loss_line(bad, "block", "check value mismatch"));
}

// Random bytes flipped in random blocks of the table's extents (the check
// values left stale, verification on): whatever is hit, the unload ends,
// and exactly the rows of the untouched blocks are in the dump, in order.
// With the check values recomputed and verification off the damage reaches
// the decoders: the unload must still end without a fault.
TEST_F(Salvage, RandomByteFlipsKeepEveryUntouchedRow)
{
    make();
    std::vector<uint32_t> blocks = {t.segment.hdr};
    for (const kb::Extent &e : t.segment.extents)
        for (uint32_t i = 0; i < e.len; i++)
            blocks.push_back(e.dba + i);
    std::string pristine = slurp(path);
    open_file();
    uint32_t seed = 20240611;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 40; round++) {
        bool stale = round % 2 == 0;
        std::set<uint32_t> touched;
        int nblk = 1 + (int)rnd(3);
        for (int k = 0; k < nblk; k++) {
            uint32_t b = blocks[rnd((uint32_t)blocks.size())];
            std::vector<uint8_t> blk;
            ASSERT_EQ(kb::read_file_block(path, b & 0x3FFFFF, blk), 0);
            uint32_t off = stale ? 20 + rnd(BSZ - 24) : rnd(BSZ);
            uint8_t v = (uint8_t)(blk[off] ^ (1u + rnd(255)));
            ASSERT_EQ(kb::patch_block(path, b & 0x3FFFFF, off, {v}, !stale), 0);
            touched.insert(b);
        }
        if (stale)
            g_ctx.par.flag |= CFG_CHECKSUM;
        else
            g_ctx.par.flag &= ~CFG_CHECKSUM;
        int rc = unload("table scott.t");
        if (stale) {
            ASSERT_EQ(rc, 0) << err;
            std::set<uint32_t> lost_rows;
            for (uint32_t b : touched)
                lost_rows.insert(b);
            xd::Bytes got = read_dump("SCOTT_T.dat");
            xd::Table x = expect_without(lost_rows);
            bool rows_hit = x.rows.size() < t.rows.size();
            xd::Table xp = expect_without(lost_rows, TI_PARTIAL);
            if (rows_hit)
                EXPECT_EQ(got, xd::dump_file("SCOTT", props, {xp})) << "round " << round << err;
            else
                EXPECT_TRUE(got == xd::dump_file("SCOTT", props, {x}) || got == xd::dump_file("SCOTT", props, {xp}))
                    << "round " << round << err;
        }
        // Back to the healthy file for the next round.
        std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << pristine;
    }
}

} // namespace
