// The block dump: the cache header of every block, then by block type the
// transaction header, data header, directories and rows of a table or
// cluster block (index blocks and the map and LOB blocks in dump_space.cpp).
// The dump reads only the block it is given: every offset taken from it is
// checked before it is followed, and a field that does not lie inside the
// block is named as such instead of printed.
#include <string>
#include <vector>

#include "kelvo/diagnose.h"
#include "kelvo/block.h"
#include "kelvo/context.h"

void dump_hex(FILE *out, const uint8_t *p, size_t n, int indent)
{
    for (size_t i = 0; i < n; i++) {
        if (i > 0 && i % 20 == 0)
            fprintf(out, "\n%*s", indent, "");
        fprintf(out, i % 20 ? " %02x" : "%02x", p[i]);
    }
}

static void print_scn(FILE *out, uint16_t wrap, uint32_t base) { fprintf(out, "0x%04x.%08x", wrap, base); }

void dump_cache_header(FILE *out, const uint8_t *blk, size_t bsz)
{
    uint8_t type = blk[offsetof(KCBH, type_kcbh)], flg = blk[offsetof(KCBH, flg_kcbh)];
    uint32_t rdba = get_le32(blk + offsetof(KCBH, rdba_kcbh));
    fprintf(out, "cache header\n");
    fprintf(out, "  type 0x%02x (%s) format 0x%02x rdba 0x%08x (rfile %u, block %u)\n", type, block_kind(type),
            blk[offsetof(KCBH, frmt_kcbh)], rdba, rdba_file(rdba), rdba_block(rdba));
    fprintf(out, "  scn ");
    print_scn(out, get_le16(blk + offsetof(KCBH, wrp_kcbh)), get_le32(blk + offsetof(KCBH, bas_kcbh)));
    fprintf(out, " seq 0x%02x flags 0x%02x", blk[offsetof(KCBH, seq_kcbh)], flg);
    static const char *const flag_names[4] = {"new", "delayed logging", "check value", "temporary"};
    for (int i = 0; i < 4; i++)
        if (flg & (1 << i))
            fprintf(out, " %s", flag_names[i]);
    fprintf(out, "\n  check value stored 0x%04x computed 0x%04x%s\n", get_le16(blk + offsetof(KCBH, chkval_kcbh)),
            block_check_value(blk, (int)bsz), (flg & KCBH_HAS_CHECK_VALUE) ? "" : " (not carried)");
    uint32_t tail = block_tail_stored(blk, bsz), want = block_tail_expected(blk);
    fprintf(out, "  tail 0x%08x expected 0x%08x: %s\n", tail, want, tail == want ? "matches" : "does not match");
}

// ---- Table and cluster blocks ----

namespace {

const char *const itl_flag_letters = "CBUT";  // ktbitflg bits 15..12: committed, block cleaned out, upper bound, active

// The dictionary table whose rows lie in table t of a block of data object
// objd, when the dictionary is loaded and names one: a table of its own
// segment for t 0, the member with table number t of a cluster.
const TAB *table_of(uint32_t objd, int t)
{
    if (!g_ctx.tab || objd == 0)
        return nullptr;
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        const TAB *tab = &g_ctx.tab[i];
        bool clustered = (tab->flag & TAB_CLUSTERED) != 0;
        if (tab->objd == objd && clustered == (t > 0) && (!clustered || (int)tab->tabn == t))
            return tab;
    }
    return nullptr;
}

// The stored column `segcol` (1-based) of a table.
const COL *column_of(const TAB *tab, uint32_t segcol)
{
    uint64_t end = (uint64_t)tab->coff + tab->tcol;
    if (!g_ctx.col || end > g_ctx.sys.ncol)
        return nullptr;
    for (uint32_t i = tab->coff; i < end; i++)
        if (g_ctx.col[i].scid == segcol)
            return &g_ctx.col[i];
    return nullptr;
}

void dump_transaction_header(FILE *out, const uint8_t *blk, size_t bsz)
{
    const uint8_t *h = blk + KTBBH_OFFSET;
    int ict = get_le16(h + offsetof(KTBBH, ktbbhict)) & 0xFF;
    uint8_t typ = h[offsetof(KTBBH, ktbbhtyp)], flg = h[offsetof(KTBBH, ktbbhflg)];
    fprintf(out, "transaction header\n  type %u (%s) objd %u cleanout scn ", typ,
            typ == 1 ? "data" : typ == 2 ? "index" : "other", get_le32(h + offsetof(KTBBH, ktbbhod1)));
    print_scn(out, get_le16(h + offsetof(KTBBH, kscnwrp)), get_le32(h + offsetof(KTBBH, kscnbas)));
    fprintf(out, " itl %d flags 0x%02x\n", ict, flg);
    if (ict > 0)
        fprintf(out, "  itl  xid                  uba                  flag lck  scn/fsc\n");
    for (int i = 0; i < ict; i++) {
        size_t e = KTBIT_OFFSET + sizeof(KTBIT) * (size_t)i;
        if (!in_bounds(e, sizeof(KTBIT), bsz)) {
            fprintf(out, "  0x%02x beyond the block end\n", i + 1);
            break;
        }
        const uint8_t *t = blk + e;
        uint16_t f = get_le16(t + offsetof(KTBIT, ktbitflg));
        char letters[5];
        for (int k = 0; k < 4; k++)
            letters[k] = (f & (0x8000 >> k)) ? itl_flag_letters[k] : '-';
        letters[4] = '\0';
        fprintf(out, "  0x%02x 0x%04x.%03x.%08x  0x%08x.%04x.%02x  %s %-4u ", i + 1,
                get_le16(t + offsetof(KTBIT, kxidusn)), get_le16(t + offsetof(KTBIT, kxidslt)),
                get_le32(t + offsetof(KTBIT, kxidsqn)), get_le32(t + offsetof(KTBIT, kubadba)),
                get_le16(t + offsetof(KTBIT, kubaseq)), t[offsetof(KTBIT, kubarec)], letters, f & 0x0FFF);
        print_scn(out, get_le16(t + offsetof(KTBIT, ktbitwrp)), get_le32(t + offsetof(KTBIT, ktbitbas)));
        fprintf(out, "\n");
    }
    if (flg & KTBBH_EXDATA) {
        size_t x = KTBIT_OFFSET + sizeof(KTBIT) * (size_t)ict;
        if (in_bounds(x, sizeof(EXDATA), bsz))
            fprintf(out, "  extra data: inc %u flags 0x%08x, %u bytes\n", get_le32(blk + x),
                    get_le32(blk + x + offsetof(EXDATA, exflg)),
                    (unsigned)sizeof(EXDATA) + (get_le32(blk + x + offsetof(EXDATA, exflg)) & 0xFFFF));
        else
            fprintf(out, "  extra data beyond the block end\n");
    }
}

// The free slots of the row directory, from the free-slot list; every step
// is bounded by the number of slots.
void mark_free_slots(const uint8_t *blk, size_t kdbr, int nslot, int frre, std::vector<bool> &free_slot)
{
    free_slot.assign((size_t)nslot, false);
    for (int s = frre, steps = 0; s >= 0 && s < nslot && !free_slot[(size_t)s] && steps < nslot; steps++) {
        free_slot[(size_t)s] = true;
        s = (int16_t)get_le16(blk + kdbr + 2 * (size_t)s);
    }
}

// One row piece of table t at kdbh + off.
void dump_row(FILE *out, const uint8_t *blk, size_t bsz, size_t kdbh, int t, int i, int off, int ntab,
              uint32_t objd)
{
    fprintf(out, "tab %d, row %d, @0x%x\n", t, i, (unsigned)off);
    size_t at = kdbh + (size_t)off;
    if (off < 0 || !in_bounds(at, 3, bsz)) {
        fprintf(out, "  row piece beyond the block end\n");
        return;
    }
    const uint8_t *p = blk + at, *end = blk + bsz;
    uint8_t fb = p[0], lb = p[1], cc = p[2];
    char fl[9];
    static const char letters[] = "KCHDFLPN";
    for (int k = 0; k < 8; k++)
        fl[k] = (fb & (0x80 >> k)) ? letters[k] : '-';
    fl[8] = '\0';
    const TAB *tab = table_of(objd, t);
    // The header after flag, lock and count, in stored order.
    const uint8_t *q = p + 3;
    std::string extra;
    char buf[96];
    auto take = [&](size_t n) -> const uint8_t * {
        if ((size_t)(end - q) < n)
            return nullptr;
        const uint8_t *r = q;
        q += n;
        return r;
    };
    bool ok = true;
    if (fb & 0x80) {
        // A cluster key row: rows of the key in the block, and the rowids
        // that chain the key's blocks.
        const uint8_t *k = take(CLUSTER_KEY_HDR - 3);
        if (!k)
            ok = false;
        else {
            snprintf(buf, sizeof(buf), "\nkey header: rows %u committed %u prev 0x%08x.%x next 0x%08x.%x",
                     get_le16(k), get_le16(k + 2), get_be32(k + 4), get_be16(k + 8), get_be32(k + 10),
                     get_be16(k + 14));
            extra += buf;
        }
    } else {
        if (ok && t > 0 && (fb & FB_FIRST)) {
            const uint8_t *k = take(1);
            ok = k != nullptr;
            if (ok) {
                snprintf(buf, sizeof(buf), " cki: %u", *k);
                extra += buf;
            }
        }
        if (ok && (fb & FB_HEAD) && tab && (tab->flag & TAB_EXTHDR))
            ok = take(6) != nullptr;
        if (ok && !(fb & FB_HEAD) && (fb & FB_FIRST)) {
            const uint8_t *r = take(ROWID_SIZE);
            ok = r != nullptr;
            if (ok) {
                snprintf(buf, sizeof(buf), "\nhrid: 0x%08x.%x", get_be32(r), get_be16(r + 4));
                extra += buf;
            }
        }
        bool nrid = (fb & FB_HEAD) ? (fb & (FB_FIRST | FB_LAST)) != (FB_FIRST | FB_LAST) : !(fb & FB_LAST);
        if (ok && nrid) {
            const uint8_t *r = take(ROWID_SIZE);
            ok = r != nullptr;
            if (ok) {
                snprintf(buf, sizeof(buf), "\nnrid: 0x%08x.%x", get_be32(r), get_be16(r + 4));
                extra += buf;
            }
        }
    }
    if (!ok) {
        fprintf(out, "fb: %s lb: 0x%x cc: %u\n  row header beyond the block end\n", fl, lb, cc);
        return;
    }
    // Columns first, so that the total length can lead as in Oracle's dump.
    struct ColSpan {
        const uint8_t *data;
        uint32_t len;
        int kind;  // 1 data, 0 NULL, -1 beyond the block end
    };
    std::vector<ColSpan> cols;
    const uint8_t *c = q;
    for (int k = 0; k < cc; k++) {
        ColSpan s{nullptr, 0, 0};
        s.kind = next_column(&c, end, &s.data, &s.len);
        cols.push_back(s);
        if (s.kind < 0)
            break;
    }
    fprintf(out, "tl: %u fb: %s lb: 0x%x cc: %u%s\n", (unsigned)(c - p), fl, lb, cc, extra.c_str());
    // Decoded values only where the piece's first column is the table's
    // first stored column: a head piece holding the start of the row, not
    // a cluster key row.
    bool decode = tab && !(fb & 0x80) && (fb & FB_FIRST) && !(fb & FB_PREV) && t == 0 && ntab == 1;
    for (size_t k = 0; k < cols.size(); k++) {
        const ColSpan &s = cols[k];
        if (s.kind < 0) {
            fprintf(out, "col %2zu: beyond the block end\n", k);
            break;
        }
        if (s.kind == 0) {
            fprintf(out, "col %2zu: *NULL*\n", k);
            continue;
        }
        fprintf(out, "col %2zu: [%2u]  ", k, s.len);
        dump_hex(out, s.data, s.len, 14);
        fprintf(out, "\n");
        const COL *col = decode ? column_of(tab, (uint32_t)k + 1) : nullptr;
        if (col) {
            std::string v = value_text(s.data, s.len, (int)col->ctyp);
            if (!v.empty())
                fprintf(out, "        %.31s = %s\n", col->name, v.c_str());
        }
    }
}

} // namespace

void dump_data_block(FILE *out, const uint8_t *blk, size_t bsz)
{
    dump_transaction_header(out, blk, bsz);
    int dho = data_header_offset(blk, bsz);
    if (dho < 0) {
        fprintf(out, "data header beyond the block end\n");
        return;
    }
    if (blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhtyp)] == KTBBH_TYPE_INDEX) {
        dump_index_block(out, blk, bsz, (size_t)dho);
        return;
    }
    const size_t kdbh = (size_t)dho;
    const uint8_t *h = blk + kdbh;
    int ntab = (int8_t)h[offsetof(KDBH, kdbhntab)];
    int nrow = (int16_t)get_le16(h + offsetof(KDBH, kdbhnrow));
    int frre = (int16_t)get_le16(h + offsetof(KDBH, kdbhfrre));
    uint8_t flag = h[offsetof(KDBH, kdbhflag)];
    fprintf(out, "data header at 0x%zx\n", kdbh);
    fprintf(out, "  flags 0x%02x (%s) tables %d rows %d first free slot %d\n", flag,
            (flag & KDBH_COMPRESSED) ? "compressed" : "not compressed", ntab, nrow, frre);
    fprintf(out, "  free space begins 0x%04x ends 0x%04x available %d total %d\n",
            get_le16(h + offsetof(KDBH, kdbhfsbo)), get_le16(h + offsetof(KDBH, kdbhfseo)),
            (int16_t)get_le16(h + offsetof(KDBH, kdbhavsp)), (int16_t)get_le16(h + offsetof(KDBH, kdbhtosp)));
    if (ntab < 0) {
        fprintf(out, "  table count negative\n");
        return;
    }
    size_t kdbt = kdbh + sizeof(KDBH), kdbr = kdbt + sizeof(KDBT) * (size_t)ntab;
    if (kdbr > bsz) {
        fprintf(out, "  table directory beyond the block end\n");
        return;
    }
    // Only the slots that lie inside the block are read.
    int nslot = nrow < 0 ? 0 : nrow;
    if ((bsz - kdbr) / 2 < (size_t)nslot) {
        nslot = (int)((bsz - kdbr) / 2);
        fprintf(out, "  row directory beyond the block end after %d slots\n", nslot);
    }
    std::vector<bool> free_slot;
    mark_free_slots(blk, kdbr, nslot, frre, free_slot);
    fprintf(out, "table directory\n");
    for (int t = 0; t < ntab; t++) {
        const uint8_t *e = blk + kdbt + sizeof(KDBT) * (size_t)t;
        fprintf(out, "  table %d: first slot %d, %d slots\n", t, (int16_t)get_le16(e + offsetof(KDBT, kdbtoffs)),
                (int16_t)get_le16(e + offsetof(KDBT, kdbtnrow)));
    }
    fprintf(out, "row directory\n");
    for (int s = 0; s < nslot; s++) {
        int v = (int16_t)get_le16(blk + kdbr + 2 * (size_t)s);
        if (free_slot[(size_t)s])
            fprintf(out, "  slot %d: free, next free slot %d\n", s, v);
        else
            fprintf(out, "  slot %d: offset 0x%04x\n", s, (unsigned)(uint16_t)v);
    }
    uint32_t objd = get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1));
    fprintf(out, "rows\n");
    for (int t = 0; t < ntab; t++) {
        const uint8_t *e = blk + kdbt + sizeof(KDBT) * (size_t)t;
        int first = (int16_t)get_le16(e + offsetof(KDBT, kdbtoffs));
        int count = (int16_t)get_le16(e + offsetof(KDBT, kdbtnrow));
        if (first < 0 || count < 0 || first > nslot || count > nslot - first) {
            fprintf(out, "table %d: slots %d..%d outside the row directory\n", t, first, first + count - 1);
            continue;
        }
        for (int i = 0; i < count; i++) {
            int s = first + i;
            if (free_slot[(size_t)s])
                continue;
            dump_row(out, blk, bsz, kdbh, t, i, (int16_t)get_le16(blk + kdbr + 2 * (size_t)s), ntab, objd);
        }
    }
}

void dump_block(FILE *out, const uint8_t *blk, size_t bsz, uint32_t rdba)
{
    if (bsz < sizeof(KCBH) + sizeof(KTBBH) + 4) {
        fprintf(out, "rdba 0x%08x: block of %zu bytes too small to dump\n", rdba, bsz);
        return;
    }
    int faults[4];
    int n = block_faults(blk, bsz, rdba, faults);
    fprintf(out, "rdba 0x%08x: %s", rdba, n == 0 ? "good" : block_fault_text(faults[0]));
    for (int i = 1; i < n; i++)
        fprintf(out, ", %s", block_fault_text(faults[i]));
    fprintf(out, "\n");
    dump_cache_header(out, blk, bsz);
    uint8_t type = blk[offsetof(KCBH, type_kcbh)];
    if (type == BLOCK_TYPE_DATA && is_securefile_data(blk, bsz))
        dump_lob_block(out, blk, bsz);
    else if (type == BLOCK_TYPE_DATA)
        dump_data_block(out, blk, bsz);
    else if (extent_map_offset(type) >= 0)
        dump_extent_map(out, blk, bsz);
    else if (type == 0x28 || type == 0x29)
        dump_lob_block(out, blk, bsz);
    fflush(out);
}
