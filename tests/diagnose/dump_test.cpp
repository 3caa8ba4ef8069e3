// "dump": whole dumps of blocks the builder lays out, compared byte for byte
// with texts written from the builder's documented layout (offsets, SCNs,
// ITL entries, free space), never from the dump itself.
#include "diagnose.h"
#include "lobs.h"

namespace {

class Dump : public Diagnose {
protected:
    std::string head(uint32_t b, const char *type, const char *scn)
    {
        char s[512];
        std::string cv = stored_check(b);
        snprintf(s, sizeof(s),
                 "block 4/%u (rdba=0x%08x) of \"%s\"\n"
                 "rdba 0x%08x: good\n"
                 "cache header\n"
                 "  type %s format 0xa2 rdba 0x%08x (rfile 4, block %u)\n"
                 "  scn 0x0000.%s seq 0x01 flags 0x04 check value\n"
                 "  check value stored %s computed %s\n",
                 b, rdba(b), path.c_str(), rdba(b), type, rdba(b), b, scn, cv.c_str(), cv.c_str());
        return s;
    }
    // The tail, transaction header and ITL entries of a table or cluster
    // block the builder wrote at block 3 for data object objd.
    static std::string data_block_3(uint32_t objd)
    {
        return "  tail 0x10030601 expected 0x10030601: matches\n"
               "transaction header\n"
               "  type 1 (data) objd " + std::to_string(objd) + " cleanout scn 0x0000.00001003 itl 2 flags 0x00\n"
               "  itl  xid                  uba                  flag lck  scn/fsc\n"
               "  0x01 0x0003.010.0000a000  0x00c00100.0042.1b  C--- 0    0x0000.00001002\n"
               "  0x02 0x0004.011.0000a001  0x00c00101.0042.1b  C--- 0    0x0000.00001002\n";
    }
};

// A heap table of one free-list segment: extents of 3 blocks, the header
// listing only the first, a map block opening the second.
TEST_F(Dump, TableBlockSegmentHeaderAndExtentMap)
{
    kb::DbTable t = heap_table("T", 700, {ucol("A", 2, 22), ucol("B", 1, 10)});
    t.rows = {lrow({kb::col_num(1), kb::col_str("AB")}), lrow({kb::col_num(2), kb::col_str("XYZ")})};
    t.seg.extents = {3, 3};
    t.seg.hdr_max = 1;
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    add_table(t, scott, 4);
    finish();
    ASSERT_EQ(t.places[0].dba, rdba(3));
    ASSERT_EQ(t.places[1].dba, rdba(3));

    // Rows from the block end (2048 - 4 - data header at 92 = 1952): 9 and 10
    // bytes; row directory from 14 + 4 after the data header, 2 slots.
    ASSERT_EQ(run(dump_handle, "datafile 4 block 3"), 0);
    EXPECT_EQ(out, head(3, "0x06 (table/index data)", "00001003") + data_block_3(700) +
                       "data header at 0x5c\n"
                       "  flags 0x00 (not compressed) tables 1 rows 2 first free slot -1\n"
                       "  free space begins 0x0016 ends 0x078d available 1911 total 1911\n"
                       "table directory\n"
                       "  table 0: first slot 0, 2 slots\n"
                       "row directory\n"
                       "  slot 0: offset 0x0797\n"
                       "  slot 1: offset 0x078d\n"
                       "rows\n"
                       "tab 0, row 0, @0x797\n"
                       "tl: 9 fb: --H-FL-- lb: 0x0 cc: 2\n"
                       "col  0: [ 2]  c1 02\n"
                       "        A = 1\n"
                       "col  1: [ 2]  41 42\n"
                       "        B = \"AB\"\n"
                       "tab 0, row 1, @0x78d\n"
                       "tl: 10 fb: --H-FL-- lb: 0x0 cc: 2\n"
                       "col  0: [ 2]  c1 03\n"
                       "        A = 2\n"
                       "col  1: [ 3]  58 59 5a\n"
                       "        B = \"XYZ\"\n");
    EXPECT_EQ(err, "");

    // The same block by its address, without the dictionary: no values.
    g_ctx.tab = nullptr;
    ASSERT_EQ(run(dump_handle, "rdba 0x01000003"), 0);
    EXPECT_EQ(out.find(" = "), std::string::npos);
    EXPECT_NE(out.find("col  1: [ 3]  58 59 5a\n"), std::string::npos);

    // Segment header: 2 extents of 6 blocks; the high-water mark is the
    // first block never used for rows, the one after block 3.
    ASSERT_EQ(run(dump_handle, "datafile 4 block 2"), 0);
    EXPECT_EQ(out, head(2, "0x10 (segment header)", "00001000") +
                       "  tail 0x10001001 expected 0x10001001: matches\n"
                       "segment header\n"
                       "  extents 2 blocks 6 high-water mark 0x01000004\n"
                       "extent map at 0x5c\n"
                       "  extents listed 1 next map block 0x01000005 objd 700 flag 0x00000000\n"
                       "  extent 0: rdba 0x01000002 (rfile 4, block 2) length 3\n");

    ASSERT_EQ(run(dump_handle, "datafile 4 block 5"), 0);
    EXPECT_EQ(out, head(5, "0x12 (extent map)", "00001000") +
                       "  tail 0x10001201 expected 0x10001201: matches\n"
                       "extent map at 0x14\n"
                       "  extents listed 1 next map block 0x00000000 objd 700 flag 0x00000000\n"
                       "  extent 0: rdba 0x01000005 (rfile 4, block 5) length 3\n");
}

// A cluster of one NUMBER key (10) and a member table of two rows of that
// key: the key row (22 bytes) and the member rows (6 bytes) from the end.
TEST_F(Dump, ClusterBlock)
{
    kb::DbCluster c;
    c.name = "CL";
    c.objn = c.objd = 800;
    c.key = {ucol("K", 2, 22)};
    c.keys = {{kb::col_num(10)}};
    c.seg_kind = 0x10;
    c.seg.extents = {3};
    kb::DbTable m = heap_table("M", 801, {ucol("K", 2, 22), ucol("V", 1, 10)});
    m.objd = 800;
    m.cluster = "CL";
    m.cluster_cols = {"K"};
    m.rows = {lrow({kb::col_str("P")}), lrow({kb::col_str("Q")})};
    m.row_keys = {0, 0};
    ASSERT_EQ(kb::write_cluster(df, &next, c, {&m}), 0);
    finish();
    ASSERT_EQ(m.places[0].dba, rdba(3));

    ASSERT_EQ(run(dump_handle, "datafile 4 block 3"), 0);
    EXPECT_EQ(out, head(3, "0x06 (table/index data)", "00001003") + data_block_3(800) +
                       "data header at 0x5c\n"
                       "  flags 0x00 (not compressed) tables 2 rows 3 first free slot -1\n"
                       "  free space begins 0x001c ends 0x077e available 1890 total 1890\n"
                       "table directory\n"
                       "  table 0: first slot 0, 1 slots\n"
                       "  table 1: first slot 1, 2 slots\n"
                       "row directory\n"
                       "  slot 0: offset 0x078a\n"
                       "  slot 1: offset 0x0784\n"
                       "  slot 2: offset 0x077e\n"
                       "rows\n"
                       "tab 0, row 0, @0x78a\n"
                       "tl: 22 fb: K-H-FL-- lb: 0x0 cc: 1\n"
                       "key header: rows 2 committed 2 prev 0x01000003.0 next 0x01000003.0\n"
                       "col  0: [ 2]  c1 0b\n"
                       "tab 1, row 0, @0x784\n"
                       "tl: 6 fb: -CH-FL-- lb: 0x0 cc: 1 cki: 0\n"
                       "col  0: [ 1]  50\n"
                       "tab 1, row 1, @0x77e\n"
                       "tl: 6 fb: -CH-FL-- lb: 0x0 cc: 1 cki: 0\n"
                       "col  0: [ 1]  51\n");
}

// A LOB index of one leaf (the root) holding the entries of pages 0 and 4 of
// one LOB: 50-byte entries from the block end, entry offsets from the index
// header after two ITL entries.
TEST_F(Dump, LobIndexLeaf)
{
    kb::LobIndexEntry e0, e1;
    e0.lobid = e1.lobid = {0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    e1.page = 4;
    const uint8_t inode[16] = {0x00, 0x14, 0x01, 0x00, 0, 0, 0, 2, 0x01, 0x00, 0, 0, 0, 0, 0, 0};
    memcpy(e0.data.data(), inode, 16);
    for (int k = 0; k < 4; k++)
        put_be32(e0.data.data() + 16 + 4 * k, rdba(0x10 + (uint32_t)k));
    for (int k = 0; k < 8; k++)
        put_be32(e1.data.data() + 4 * k, rdba(0x20 + (uint32_t)k));
    ASSERT_EQ(kb::write_lob_index(df, {3}, 900, {e1, e0}, kb::LobShape{}), 0);
    finish();

    ASSERT_EQ(run(dump_handle, "rdba 0x01000003"), 0);
    EXPECT_EQ(out, head(3, "0x06 (table/index data)", "00003003") +
                       "  tail 0x30030601 expected 0x30030601: matches\n"
                       "transaction header\n"
                       "  type 2 (index) objd 900 cleanout scn 0x0000.00003003 itl 2 flags 0x00\n"
                       "  itl  xid                  uba                  flag lck  scn/fsc\n"
                       "  0x01 0x0005.020.0000b000  0x00c00200.0051.07  C--- 0    0x0000.00003002\n"
                       "  0x02 0x0006.021.0000b001  0x00c00201.0051.07  C--- 0    0x0000.00003002\n"
                       "index header at 0x5c\n"
                       "  level 0 (leaf) key columns 2 entries 2 free space begins 0x0028 ends 0x073c "
                       "available 1812\n"
                       "  leaf: next leaf 0x00000000 previous leaf 0x00000000\n"
                       "entries\n"
                       "  entry 0 @0x076e\n"
                       "    flags 0x00 lock 0 lobid 00 00 00 01 00 00 00 00 00 01 page 0\n"
                       "    inode: size 0x0014 flag 0x01 blocks 2 bytes 256\n"
                       "    chunks: 0x01000010 0x01000011 0x01000012 0x01000013\n"
                       "  entry 1 @0x073c\n"
                       "    flags 0x00 lock 0 lobid 00 00 00 01 00 00 00 00 00 01 page 4\n"
                       "    chunks: 0x01000020 0x01000021 0x01000022 0x01000023 0x01000024 0x01000025 "
                       "0x01000026 0x01000027\n");
}

// A damaged block is printed all the same, its failing check named; what
// cannot be read at all fails the command with the block named.
TEST_F(Dump, DamagedAndUnreadableBlocks)
{
    kb::DbTable t = heap_table("T", 700, {ucol("A", 2, 22)});
    t.rows = {lrow({kb::col_num(1)})};
    t.seg.extents = {2};
    ASSERT_EQ(kb::write_table(df, &next, t), 0);
    finish();
    // A row directory of 0x4000 slots, the check value fixed: only the
    // header check fails, and the slots inside the block are still shown.
    ASSERT_EQ(kb::patch_block(path, 3, 92 + 2, {0x00, 0x40}, true), 0);
    ASSERT_EQ(run(dump_handle, "datafile 4 block 3"), 0);
    EXPECT_NE(out.find("rdba 0x01000003: header out of range\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  row directory beyond the block end after 969 slots\n"), std::string::npos) << out;
    EXPECT_NE(out.find("col  0: [ 2]  c1 02\n"), std::string::npos) << out;
    // Its tail broken too, the check value left stale: every failing check
    // is named, and the cache header shows the values that fail.
    ASSERT_EQ(kb::patch_block(path, 3, BSZ - 4, {0xFE}, false), 0);
    ASSERT_EQ(run(dump_handle, "datafile 4 block 3"), 0);
    EXPECT_NE(out.find("rdba 0x01000003: check value mismatch, fractured (tail does not match the header), "
                       "header out of range\n"),
              std::string::npos) << out;
    EXPECT_NE(out.find("  tail 0x100306fe expected 0x10030601: does not match\n"), std::string::npos) << out;

    ASSERT_EQ(run(dump_handle, "datafile 4 block 9"), 0);
    EXPECT_EQ(out, "block 4/9 (rdba=0x01000009) of \"" + path + "\"\nrdba 0x01000009: unformatted (all zeros)\n");

    EXPECT_LT(run(dump_handle, "datafile 4 block 65"), 0);
    EXPECT_EQ(err, "block 4/65 (rdba=0x01000041) of \"" + path + "\": beyond the end of the file.\n");
    EXPECT_LT(run(dump_handle, "datafile 5 block 3"), 0);
    EXPECT_EQ(err, "datafile 5 not configured.\n");
    EXPECT_LT(run(dump_handle, "rdba 0x01400003"), 0);
    EXPECT_EQ(err, "no datafile holds rdba 0x01400003.\n");
    EXPECT_LT(run(dump_handle, "datafile 4 block x"), 0);
    EXPECT_EQ(err, "usage: dump datafile N block M | dump rdba 0x...\n");
}

} // namespace
