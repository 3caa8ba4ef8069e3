// LOB columns: locators, BasicFile inodes and LOB index blocks, SecureFile
// header blocks and itrees, and the readers that copy a LOB value into the dump.
#pragma once

#include "kelvo/unload.h"

//
// A LOB column keeps a locator in the row. Its multi-byte fields are
// big-endian, so they are kept as byte arrays and read with get_be16/32.
//
//    0  LOC     common part: length, version, four flag bytes, width, LOB id
//   20  INODE   BasicFile with LOC_INODE: block and byte counts
//   36          inline data, or up to 12 chunk rdbas (4 bytes each)
//   20  SFH     SecureFile (LOC_SECURE): its own inode and payload forms
//
// A row's locators wait in the LOBD slots at ULDR.lobc until the row's end;
// process_lob then appends one LOB value record per slot:
// DUMP_VALUE, the width byte (locator byte 9), 0x00, pieces of at most
// 32768 bytes (2-byte length, data; never empty), DUMP_END.

typedef struct __lob_locator {
    uint8_t tlen[2];        // length of the locator (not used)
    uint8_t ver[2];
    uint8_t flg1;
    uint8_t flg2;           // LOC_INODE: an INODE follows (BasicFile)
    uint8_t flg3;
    uint8_t flg4;           // LOC_SECURE: a SecureFile locator
    uint8_t blen[2];        // bytes per character; blen[1] is the width byte
    uint8_t lobid[10];      // compared as raw unsigned bytes
} LOC;
static_assert(sizeof(LOC) == 20);
static_assert(offsetof(LOC, flg2) == 5 && offsetof(LOC, flg4) == 7 && offsetof(LOC, blen) == 8 &&
              offsetof(LOC, lobid) == 10);
constexpr int LOC_INODE = 0x04;
constexpr int LOC_SECURE = 0x80;

// BasicFile inode: in the locator (bytes 20-35) or in the LOB index entry of
// page 0. blks counts full LOB blocks, bytes the bytes of the block after
// them; both big-endian as stored.
typedef struct __lob_inode {
    uint8_t size[2];
    uint8_t flag;
    uint8_t future;
    uint8_t blks[4];
    uint8_t bytes[2];
    uint8_t ver[6];
} INODE;
static_assert(sizeof(INODE) == 16);
static_assert(offsetof(INODE, blks) == 4 && offsetof(INODE, bytes) == 8 && offsetof(INODE, ver) == 10);
constexpr int LOC_INODE_OFFSET = 20;
constexpr int LOC_DATA_OFFSET = 36;  // inline data or the chunk rdbas
constexpr int LOC_CHUNKS = 12;  // chunk rdbas a locator holds
constexpr int LOB_INLINE_MAX = 3964;  // larger in-row sizes are chunked

// SecureFile part of a locator, at byte 20. Then: byte 26 the inode flags
// (low 4 bits n: the LOB length takes n + 1 bytes; SF_EXTENTS; SF_HEADER),
// byte 27 a count of bytes to skip, from 28 the LOB length, one byte, the
// skipped bytes, the payload.
typedef struct __secure_file_header {
    uint8_t len[2];
    uint8_t oflg;           // SF_INLINE: the data is in the locator
    uint8_t flg0;
} SFH;
static_assert(sizeof(SFH) == 4);
static_assert(offsetof(SFH, oflg) == 2);
constexpr int SF_INLINE = 0x08;
constexpr int SF_EXTENTS = 0x20;
constexpr int SF_HEADER = 0x40;
constexpr int SF_FLAGS_OFFSET = 26;

// BasicFile LOB data block: the data lies between its 56-byte header and its
// 4-byte tail.
constexpr int LOB_BLOCK_HEAD = 56;
constexpr int LOB_BLOCK_OVERHEAD = 60;
// SecureFile data block: the used bytes (uint16 at 124), data from 128.
constexpr int SF_BLOCK_USED = 124;
constexpr int SF_BLOCK_DATA = 128;

// LOB header block of a SecureFile (host order): extent count, the itree
// roots of levels 1 to 4, the extent entries (2 bytes, blocks u16, rdba u32).
constexpr int LHB_NEXT = 126;
constexpr int LHB_ITREE = 136;
constexpr int LHB_EXTENTS = 184;
constexpr int SF_EXTENT_SIZE = 8;
// Itree node: flag byte (ITREE_DATA, ITREE_NODE), level, entry count,
// entries from 112 (level 1: as extent entries; higher: rdba at byte 8 of 12).
constexpr int ITREE_FLAG = 82;
constexpr int ITREE_DATA = 0x20;
constexpr int ITREE_NODE = 0x40;
constexpr int ITREE_LEVEL = 102;
constexpr int ITREE_COUNT = 106;
constexpr int ITREE_ENTRIES = 112;
constexpr int ITREE_BRANCH_SIZE = 12;

// LOB index blocks (B-tree on (lobid, page number)): KCBH, KTBBH, the ITL
// and EXDATA as in a data block, then XCO, then XBR (branch) or XLE (leaf),
// then kdxconro int16 entry offsets counted from XCO.
typedef struct __index_br_lf_co {
    uint8_t kdxcolev;       // 0 in a leaf
    uint8_t kdxcolok;
    uint8_t kdxcoopc;
    uint8_t kdxconco;
    uint32_t kdxcosdc;
    int16_t kdxconro;       // entries
    int16_t kdxcofbo;
    int16_t kdxcofeo;
    int16_t kdxcoavs;
} XCO;
static_assert(sizeof(XCO) == 16);
static_assert(offsetof(XCO, kdxcosdc) == 4 && offsetof(XCO, kdxconro) == 8 && offsetof(XCO, kdxcoavs) == 14);

typedef struct __kdxbr_info {
    uint32_t kdxbrlmc;      // leftmost child
    int16_t kdxbrsno;
    uint16_t spare;
    uint16_t kdxbrbksz;
    uint16_t kdxbr2urrc;
} XBR;
static_assert(sizeof(XBR) == 12);
static_assert(offsetof(XBR, kdxbrsno) == 4 && offsetof(XBR, kdxbrbksz) == 8);

typedef struct __kdxle_info {
    int16_t kdxlespl;
    int16_t kdxlende;
    uint32_t kdxlenxt;      // next leaf, 0 for none
    uint32_t kdxleprv;
    uint8_t kdxledsz;
    uint8_t kdxleflg;
    uint16_t spare1;
    uint16_t kdxlebksz;
    uint16_t spare2;
} XLE;
static_assert(sizeof(XLE) == 20);
static_assert(offsetof(XLE, kdxlenxt) == 4 && offsetof(XLE, kdxleprv) == 8 && offsetof(XLE, kdxledsz) == 12 &&
              offsetof(XLE, kdxlebksz) == 16);

// Branch entry: child rdba (host order), key column 0 (length byte, lobid),
// key column 1 (length byte, 0xFE for a truncated key whose page counts as
// 0, else the page number big-endian).
constexpr int IXB_LOBID = 5;
constexpr int IXB_PAGELEN = 15;
constexpr int IXB_PAGE = 16;
constexpr int IXB_TRUNCATED = 0xFE;
// Leaf entry: flag (IXL_DELETED: passed over), lock, 32 data bytes, the
// lobid at 35, the page number big-endian at 46. The data of page 0 is an
// INODE and 4 chunk rdbas, of any other page 8 chunk rdbas.
constexpr int IXL_DELETED = 0x01;
constexpr int IXL_DATA = 2;
constexpr int IXL_LOBID = 35;
constexpr int IXL_PAGE = 46;
constexpr int IXL_SIZE = 50;

int process_lob(ULDR *ul);
// The BasicFile and SecureFile readers get the locator's length (llen bytes
// at loc in its slot) and never read past it.
int process_basic_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen);
// The chunks whose rdbas (big-endian) are listed at rdbas, cblks blocks
// each; those that lie one after another are read together.
int read_chunk_list(ULDR *ul, int tsn, const uint8_t *rdbas, uint32_t count, int cblks);
int read_chunk_data(ULDR *ul, int tsn, uint32_t rdba, int blks, int bytes);
int read_index_chunk(ULDR *ul, LOB *lob, LOC *loc, uint32_t pageno);
int search_index_leaf(ULDR *ul, int tsn, uint32_t rdba, LOC *loc, uint32_t pageno);
int process_secure_lob(ULDR *ul, LOB *lob, LOC *loc, uint32_t llen);
int read_secure_lhb(ULDR *ul, int tsn, uint32_t hdba);
int read_secure_blocks(ULDR *ul, int tsn, uint32_t rdba, int blks);
int read_itree1_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree2_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree3_chunk(ULDR *ul, int tsn, uint32_t rdba);
int read_itree4_chunk(ULDR *ul, int tsn, uint32_t rdba);
