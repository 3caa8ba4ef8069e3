// The checks "verify" and "dump" add to those of the checked block reads:
// the tail, and the headers of table, cluster and index data blocks. Only
// bytes inside the block are looked at.
#include "kelvo/diagnose.h"
#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/lob.h"

constexpr int TAIL_SIZE = 4;

const char *block_kind(int type)
{
    switch (type) {
    case 0x06:
        return "table/index data";
    case 0x0B:
        return "file header";
    case 0x10:
    case 0x23:
        return "segment header";
    case 0x12:
    case 0x24:
        return "extent map";
    case 0x1D:
    case 0x1E:
    case 0x20:
    case 0x21:
    case 0x22:
        return "space bitmap";
    case 0x28:
    case 0x29:
        return "LOB";
    case 0x01:
    case 0x02:
    case 0x0E:
    case 0x26:
        return "undo";
    default:
        return "other";
    }
}

uint32_t block_tail_expected(const uint8_t *blk)
{
    uint32_t bas = get_le32(blk + offsetof(KCBH, bas_kcbh));
    return ((bas & 0xFFFF) << 16) | ((uint32_t)blk[offsetof(KCBH, type_kcbh)] << 8) | blk[offsetof(KCBH, seq_kcbh)];
}

uint32_t block_tail_stored(const uint8_t *blk, size_t bsz) { return get_le32(blk + bsz - TAIL_SIZE); }

// A SecureFile data block is a transaction data block without ITL entries
// whose flag byte marks it as LOB data; its used bytes run from 128 to the
// block end.
bool is_securefile_data(const uint8_t *blk, size_t bsz)
{
    return bsz > ITREE_FLAG && blk[offsetof(KCBH, type_kcbh)] == BLOCK_TYPE_DATA &&
           (get_le16(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhict)) & 0xFF) == 0 &&
           (blk[ITREE_FLAG] & ITREE_DATA);
}

// Whether the headers of a table, cluster or index data block lie inside it.
static bool headers_fit(const uint8_t *blk, size_t bsz)
{
    int dho = data_header_offset(blk, bsz);
    if (dho < 0)
        return false;
    if (blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhtyp)] == KTBBH_TYPE_INDEX) {
        size_t xco = (size_t)dho;
        if (!in_bounds(xco, sizeof(XCO), bsz))
            return false;
        size_t tab = xco + sizeof(XCO) + (blk[xco + offsetof(XCO, kdxcolev)] == 0 ? sizeof(XLE) : sizeof(XBR));
        int nro = (int16_t)get_le16(blk + xco + offsetof(XCO, kdxconro));
        return nro >= 0 && in_bounds(tab, 2 * (size_t)nro, bsz);
    }
    const uint8_t *h = blk + dho;
    int ntab = (int8_t)h[offsetof(KDBH, kdbhntab)];
    int nrow = (int16_t)get_le16(h + offsetof(KDBH, kdbhnrow));
    size_t kdbr = (size_t)dho + sizeof(KDBH) + sizeof(KDBT) * (size_t)(ntab < 0 ? 0 : ntab);
    return ntab >= 0 && nrow >= 0 && in_bounds(kdbr, 2 * (size_t)nrow, bsz);
}

int block_verdict(const uint8_t *blk, size_t bsz, int fault)
{
    if (fault != BLOCK_GOOD && fault != BLOCK_MISPLACED)
        return fault;
    if (bsz < sizeof(KCBH) + TAIL_SIZE)
        return BLOCK_READ_ERROR;
    bool sf_data = is_securefile_data(blk, bsz);
    if (!sf_data && block_tail_stored(blk, bsz) != block_tail_expected(blk))
        return BLOCK_FRACTURED;
    if (fault == BLOCK_MISPLACED)
        return fault;
    if (blk[offsetof(KCBH, type_kcbh)] == BLOCK_TYPE_DATA && !sf_data && !headers_fit(blk, bsz))
        return BLOCK_BAD_HEADER;
    return BLOCK_GOOD;
}

int block_faults(const uint8_t *blk, size_t bsz, uint32_t rdba, int faults[4])
{
    int n = 0;
    if (bsz < sizeof(KCBH) + TAIL_SIZE)
        return 0;
    bool sf_data = is_securefile_data(blk, bsz);
    if ((blk[offsetof(KCBH, flg_kcbh)] & KCBH_HAS_CHECK_VALUE) && check_sum(blk, (int)bsz) != 0)
        faults[n++] = BLOCK_CHECK_VALUE;
    if (!sf_data && block_tail_stored(blk, bsz) != block_tail_expected(blk))
        faults[n++] = BLOCK_FRACTURED;
    if (get_le32(blk + offsetof(KCBH, rdba_kcbh)) != rdba)
        faults[n++] = BLOCK_MISPLACED;
    if (blk[offsetof(KCBH, type_kcbh)] == BLOCK_TYPE_DATA && !sf_data && !headers_fit(blk, bsz))
        faults[n++] = BLOCK_BAD_HEADER;
    return n;
}

int verify_block(const uint8_t *blk, size_t bsz, uint32_t rdba)
{
    DATAFILE df{};
    df.bsz = (uint32_t)bsz;
    uint32_t flag = g_ctx.par.flag;
    g_ctx.par.flag |= CFG_CHECKSUM;
    int fault = check_block(&df, blk, rdba, nullptr);
    g_ctx.par.flag = flag;
    return block_verdict(blk, bsz, fault);
}
