// The block dump of segment headers and extent map blocks, LOB index blocks
// and LOB blocks, at the level the segment walk and the LOB readers read
// them. Every entry is checked to lie inside the block before it is printed.
#include "kelvo/diagnose.h"
#include "kelvo/block.h"
#include "kelvo/lob.h"

static void print_extent(FILE *out, uint32_t i, uint32_t rdba, uint32_t len)
{
    fprintf(out, "  extent %u: rdba 0x%08x (rfile %u, block %u) length %u\n", i, rdba, rdba_file(rdba),
            rdba_block(rdba), len);
}

void dump_extent_map(FILE *out, const uint8_t *blk, size_t bsz)
{
    uint8_t type = blk[offsetof(KCBH, type_kcbh)];
    int off = extent_map_offset(type);
    if (off < 0)
        return;
    if (type == BLOCK_TYPE_SEGHDR_FL || type == BLOCK_TYPE_SEGHDR_ASSM) {
        fprintf(out, "segment header\n");
        if (in_bounds(SEGHDR_HWM_OFFSET, 4, bsz))
            fprintf(out, "  extents %u blocks %u high-water mark 0x%08x\n", get_le32(blk + SEGHDR_NEXTS_OFFSET),
                    get_le32(blk + SEGHDR_NBLKS_OFFSET), get_le32(blk + SEGHDR_HWM_OFFSET));
    }
    fprintf(out, "extent map at 0x%x\n", (unsigned)off);
    if (!in_bounds((size_t)off, sizeof(MAPHDR), bsz)) {
        fprintf(out, "  extent map header beyond the block end\n");
        return;
    }
    const uint8_t *h = blk + off;
    uint32_t nexts = get_le32(h + offsetof(MAPHDR, nexts));
    fprintf(out, "  extents listed %u next map block 0x%08x objd %u flag 0x%08x\n", nexts,
            get_le32(h + offsetof(MAPHDR, next)), get_le32(h + offsetof(MAPHDR, objd)),
            get_le32(h + offsetof(MAPHDR, flag)));
    size_t first = (size_t)off + sizeof(MAPHDR);
    for (uint32_t i = 0; i < nexts; i++) {
        size_t e = first + sizeof(EXTMAP) * (size_t)i;
        if (!in_bounds(e, sizeof(EXTMAP), bsz)) {
            fprintf(out, "  extents %u to %u beyond the block end\n", i, nexts - 1);
            break;
        }
        print_extent(out, i, get_le32(blk + e), get_le32(blk + e + offsetof(EXTMAP, ext_len)));
    }
}

// ---- LOB index blocks ----

static void print_lobid(FILE *out, const uint8_t *id)
{
    fprintf(out, "lobid ");
    dump_hex(out, id, 10, 0);
}

static void dump_leaf_entry(FILE *out, const uint8_t *e)
{
    fprintf(out, "    flags 0x%02x%s lock %u ", e[0], (e[0] & IXL_DELETED) ? " (deleted)" : "", e[1]);
    print_lobid(out, e + IXL_LOBID);
    uint32_t page = get_be32(e + IXL_PAGE);
    fprintf(out, " page %u\n", page);
    const uint8_t *d = e + IXL_DATA;
    int nrdba = 8;
    if (page == 0) {
        fprintf(out, "    inode: size 0x%04x flag 0x%02x blocks %u bytes %u\n", get_be16(d), d[2],
                get_be32(d + offsetof(INODE, blks)), get_be16(d + offsetof(INODE, bytes)));
        d += sizeof(INODE);
        nrdba = 4;
    }
    fprintf(out, "    chunks:");
    for (int k = 0; k < nrdba; k++)
        fprintf(out, " 0x%08x", get_be32(d + 4 * k));
    fprintf(out, "\n");
}

static void dump_branch_entry(FILE *out, const uint8_t *b, size_t e, size_t bsz)
{
    fprintf(out, "    child 0x%08x ", get_le32(b + e));
    print_lobid(out, b + e + IXB_LOBID);
    if (b[e + IXB_PAGELEN] == IXB_TRUNCATED)
        fprintf(out, " page truncated\n");
    else if (in_bounds(e, IXB_PAGE + 4, bsz))
        fprintf(out, " page %u\n", get_be32(b + e + IXB_PAGE));
    else
        fprintf(out, " page beyond the block end\n");
}

void dump_index_block(FILE *out, const uint8_t *blk, size_t bsz, size_t xco)
{
    fprintf(out, "index header at 0x%zx\n", xco);
    if (!in_bounds(xco, sizeof(XCO), bsz)) {
        fprintf(out, "  index header beyond the block end\n");
        return;
    }
    const uint8_t *x = blk + xco;
    int level = x[offsetof(XCO, kdxcolev)];
    int nro = (int16_t)get_le16(x + offsetof(XCO, kdxconro));
    fprintf(out, "  level %d (%s) key columns %u entries %d free space begins 0x%04x ends 0x%04x available %d\n",
            level, level == 0 ? "leaf" : "branch", x[offsetof(XCO, kdxconco)], nro,
            get_le16(x + offsetof(XCO, kdxcofbo)), get_le16(x + offsetof(XCO, kdxcofeo)),
            (int16_t)get_le16(x + offsetof(XCO, kdxcoavs)));
    size_t sub = xco + sizeof(XCO);
    size_t tab = sub + (level == 0 ? sizeof(XLE) : sizeof(XBR));
    if (tab > bsz) {
        fprintf(out, "  %s header beyond the block end\n", level == 0 ? "leaf" : "branch");
        return;
    }
    if (level == 0)
        fprintf(out, "  leaf: next leaf 0x%08x previous leaf 0x%08x\n", get_le32(blk + sub + offsetof(XLE, kdxlenxt)),
                get_le32(blk + sub + offsetof(XLE, kdxleprv)));
    else
        fprintf(out, "  branch: leftmost child 0x%08x\n", get_le32(blk + sub + offsetof(XBR, kdxbrlmc)));
    fprintf(out, "entries\n");
    for (int i = 0; i < nro; i++) {
        if (!in_bounds(tab, 2 * ((size_t)i + 1), bsz)) {
            fprintf(out, "  entries %d to %d beyond the block end\n", i, nro - 1);
            break;
        }
        uint16_t off = get_le16(blk + tab + 2 * (size_t)i);
        size_t e = xco + off;
        fprintf(out, "  entry %d @0x%04x\n", i, off);
        if (!in_bounds(e, level == 0 ? IXL_SIZE : IXB_PAGE, bsz))
            fprintf(out, "    entry beyond the block end\n");
        else if (level == 0)
            dump_leaf_entry(out, blk + e);
        else
            dump_branch_entry(out, blk, e, bsz);
    }
}

// ---- LOB blocks ----

static void dump_secure_extents(FILE *out, const uint8_t *blk, size_t bsz, size_t at, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        size_t e = at + SF_EXTENT_SIZE * (size_t)i;
        if (!in_bounds(e, SF_EXTENT_SIZE, bsz)) {
            fprintf(out, "  extents %u to %u beyond the block end\n", i, n - 1);
            return;
        }
        print_extent(out, i, get_le32(blk + e + 4), get_le16(blk + e + 2));
    }
}

void dump_lob_block(FILE *out, const uint8_t *blk, size_t bsz)
{
    uint8_t type = blk[offsetof(KCBH, type_kcbh)];
    if (type == BLOCK_TYPE_DATA) {
        // SecureFile data block (is_securefile_data): the used bytes at 124.
        if (!in_bounds(SF_BLOCK_DATA, 0, bsz))
            return;
        fprintf(out, "SecureFile data block\n  objd %u ", get_le32(blk + 24));
        print_lobid(out, blk + 44);
        fprintf(out, " page %u used %u bytes from 0x%x\n", get_le32(blk + 56), get_le16(blk + SF_BLOCK_USED),
                SF_BLOCK_DATA);
        return;
    }
    if (type == 0x29) {
        if (!in_bounds(ITREE_ENTRIES, 0, bsz))
            return;
        int level = get_le16(blk + ITREE_LEVEL);
        uint32_t count = get_le16(blk + ITREE_COUNT);
        fprintf(out, "SecureFile itree node\n  flag 0x%02x level %d entries %u\n", blk[ITREE_FLAG], level, count);
        if (level == 1) {
            dump_secure_extents(out, blk, bsz, ITREE_ENTRIES, count);
            return;
        }
        for (uint32_t i = 0; i < count; i++) {
            size_t e = ITREE_ENTRIES + ITREE_BRANCH_SIZE * (size_t)i;
            if (!in_bounds(e, ITREE_BRANCH_SIZE, bsz)) {
                fprintf(out, "  entries %u to %u beyond the block end\n", i, count - 1);
                break;
            }
            fprintf(out, "  child %u: rdba 0x%08x\n", i, get_le32(blk + e + 8));
        }
        return;
    }
    // Type 0x28 serves both a BasicFile data block and a SecureFile LOB
    // header block; the block does not say which, so both readings are shown.
    if (!in_bounds(LHB_EXTENTS, 0, bsz))
        return;
    fprintf(out, "as a BasicFile LOB data block\n  objd %u ", get_le32(blk + 20));
    print_lobid(out, blk + 32);
    fprintf(out, " page %u bytes %u data from 0x%x\n", get_le32(blk + 44), get_le32(blk + 48), LOB_BLOCK_HEAD);
    uint32_t n = get_le16(blk + LHB_NEXT);
    fprintf(out, "as a SecureFile LOB header block\n  objd %u extents %u itree roots", get_le32(blk + 24), n);
    for (int k = 0; k < 4; k++)
        fprintf(out, " 0x%08x", get_le32(blk + LHB_ITREE + 4 * k));
    fprintf(out, "\n");
    dump_secure_extents(out, blk, bsz, LHB_EXTENTS, n);
}
