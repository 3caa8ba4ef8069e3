// Blocks of compressed tables. A data header whose kdbhflag has 0x40 is
// extended: BASIC and OLTP table compression keep a symbol table of tokens
// as table 0 and the user's rows, token-encoded, as table 1; a hybrid
// columnar compression unit keeps one table whose row is a piece of the
// unit. Neither may be read as plain rows: table 0's tokens would come out
// as rows and the encoded rows as garbage. The unloader counts such blocks
// and their rows; it decodes none of them.
#include "kelvo/block.h"

namespace {

// The extension is 8 bytes plus 2 per column permutation entry; dumps show
// the table directory at KDBH + 0x1e (4 entries) and KDBH + 0x16 (none).
// Its length is not kept anywhere the reader knows of, so the directory is
// looked for at each possible place (a block dump of another release that
// shows more entries would raise KDBH_EXT_MAX_ENTRIES).
constexpr int KDBH_EXT_BASE = 8;
constexpr int KDBH_EXT_MAX_ENTRIES = 8;

// A table directory of ntab entries at kdbt (offset from KDBH) is plausible
// when its tables' slots follow each other from 0, add up to kdbhnrow, and
// the row directory after it lies inside the block.
bool directory_fits(const uint8_t *h, size_t left, int kdbt, int ntab, int nrow)
{
    size_t kdbr = (size_t)kdbt + 4 * (size_t)ntab;
    if (ntab < 1 || nrow < 0 || !in_bounds(kdbr, 2 * (size_t)nrow, left))
        return false;
    int next = 0;
    for (int t = 0; t < ntab; t++) {
        int offs = (int16_t)get_le16(h + kdbt + 4 * t);
        int n = (int16_t)get_le16(h + kdbt + 4 * t + 2);
        if (offs != next || n < 0)
            return false;
        next += n;
    }
    return next == nrow;
}

// Head pieces, not deleted, in the slots of tables 1 and up: the rows the
// block holds for its user table(s). A slot whose entry does not point past
// the row directory is free (it holds the next free slot's number).
int count_rows(const uint8_t *h, size_t left, int kdbt, int ntab)
{
    size_t kdbr = (size_t)kdbt + 4 * (size_t)ntab;
    int first = (int16_t)get_le16(h + kdbt + 4);
    int nrow = (int16_t)get_le16(h + 2);
    size_t rows_from = kdbr + 2 * (size_t)nrow;
    int rows = 0;
    for (int s = first; s < nrow; s++) {
        int off = (int16_t)get_le16(h + kdbr + 2 * (size_t)s);
        if (off < 0 || (size_t)off < rows_from || (size_t)off >= left)
            continue;
        uint8_t fb = h[off];
        rows += (fb & FB_HEAD) && !(fb & FB_DELETED);
    }
    return rows;
}

} // namespace

int compressed_block(const uint8_t *blk, size_t bsz, bool clustered, int *rows)
{
    *rows = -1;
    if (bsz < sizeof(KCBH) || blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA)
        return 0;
    int dho = data_header_offset(blk, bsz);
    if (dho < 0)
        return 0;
    const uint8_t *h = blk + dho;
    size_t left = bsz - (size_t)dho;
    int ntab = (int8_t)h[offsetof(KDBH, kdbhntab)];
    int nrow = (int16_t)get_le16(h + offsetof(KDBH, kdbhnrow));
    if (h[offsetof(KDBH, kdbhflag)] & KDBH_EXTENDED) {
        for (int k = 0; k <= KDBH_EXT_MAX_ENTRIES; k++) {
            int kdbt = (int)sizeof(KDBH) + KDBH_EXT_BASE + 2 * k;
            if (!directory_fits(h, left, kdbt, ntab, nrow))
                continue;
            // One table: a hybrid columnar unit, whose rows lie inside it.
            if (ntab >= 2)
                *rows = count_rows(h, left, kdbt, ntab);
            break;
        }
        return 1;
    }
    // A plain header whose directory lists more than one table: outside a
    // cluster this is a compressed block whose flag was not seen.
    if (clustered || ntab < 2)
        return 0;
    if (directory_fits(h, left, (int)sizeof(KDBH), ntab, nrow))
        *rows = count_rows(h, left, (int)sizeof(KDBH), ntab);
    return 1;
}
