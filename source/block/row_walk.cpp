// The walk over the rows of one table in a table data block, shared by the
// dictionary decoders and the table unloader. Every offset taken from the
// block is checked against the block size before it is used.
#include <cstdio>

#include "kelvo/block.h"

int data_header_offset(const uint8_t *blk, size_t bsz)
{
    if (!in_bounds(KTBBH_OFFSET, sizeof(KTBBH), bsz))
        return -1;
    size_t off = KTBIT_OFFSET + sizeof(KTBIT) * (size_t)(get_le16(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhict)) & 0xFF);
    if (blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhflg)] & KTBBH_EXDATA) {
        if (!in_bounds(off, sizeof(EXDATA), bsz))
            return -1;
        off += sizeof(EXDATA) + (get_le32(blk + off + offsetof(EXDATA, exflg)) & 0xFFFF);
    }
    if (!in_bounds(off, sizeof(KDBH), bsz))
        return -1;
    return (int)off;
}

bool data_header_parses(const uint8_t *blk, size_t bsz)
{
    int dho = data_header_offset(blk, bsz);
    if (dho < 0)
        return false;
    uint8_t typ = blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhtyp)];
    if ((typ != KTBBH_TYPE_DATA && typ != KTBBH_TYPE_INDEX) || blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhict)] == 0)
        return false;
    if (typ == KTBBH_TYPE_INDEX)
        return true;            // an index block: its header is no KDBH
    int ntab = (int8_t)blk[dho + offsetof(KDBH, kdbhntab)];
    return ntab >= 1 && in_bounds((size_t)dho + sizeof(KDBH), sizeof(KDBT) * (size_t)ntab, bsz);
}

int open_data_block(DATABLK *db, const uint8_t *blk, size_t bsz)
{
    if (bsz < sizeof(KCBH)) {
        fprintf(stderr, "data block of %zu bytes is too small.\n", bsz);
        return -1;
    }
    if (blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA)
        return 0;
    db->blk = blk;
    db->bsz = bsz;
    db->rdba = get_le32(blk + offsetof(KCBH, rdba_kcbh));
    int dho = data_header_offset(blk, bsz);
    if (dho < 0) {
        fprintf(stderr, "block rdba=0x%08x: data header beyond the block end.\n", db->rdba);
        return -1;
    }
    const uint8_t *h = blk + dho;
    int ntab = (int8_t)h[offsetof(KDBH, kdbhntab)];
    db->kdbh = (uint32_t)dho;
    db->ntab = ntab < 0 ? 0 : ntab;
    db->frre = (int16_t)get_le16(h + offsetof(KDBH, kdbhfrre));
    size_t kdbr = (size_t)dho + sizeof(KDBH) + sizeof(KDBT) * (size_t)db->ntab;
    if (kdbr > bsz) {
        fprintf(stderr, "block rdba=0x%08x: table directory of %d entries beyond the block end.\n", db->rdba,
                db->ntab);
        return -1;
    }
    db->kdbr = (uint32_t)kdbr;
    // The row directory is trusted only as far as it lies inside the block;
    // a table directory entry pointing past that is caught by table_slots.
    db->nslot = (int)((bsz - kdbr) / 2);
    return 1;
}

static int slots_of(const DATABLK *db, int t, int *first, int *count, bool quiet)
{
    if (t < 0 || t >= db->ntab)
        return -1;
    const uint8_t *e = db->blk + db->kdbh + sizeof(KDBH) + sizeof(KDBT) * (size_t)t;
    int f = (int16_t)get_le16(e + offsetof(KDBT, kdbtoffs));
    int n = (int16_t)get_le16(e + offsetof(KDBT, kdbtnrow));
    if (f < 0 || n < 0 || f > db->nslot || n > db->nslot - f) {
        if (!quiet)
            fprintf(stderr, "block rdba=0x%08x: table %d slots %d..%d outside the row directory.\n", db->rdba, t,
                    f, f + n - 1);
        return -2;
    }
    *first = f;
    *count = n;
    return 0;
}

int table_slots(const DATABLK *db, int t, int *first, int *count) { return slots_of(db, t, first, count, false); }

static inline int slot_entry(const DATABLK *db, int s)
{
    return (int16_t)get_le16(db->blk + db->kdbr + 2 * (size_t)s);
}

// Sets up rp for the piece of row directory slot s (already known to lie in
// the directory).
static int piece_at_slot(const DATABLK *db, int s, ROWPIECE *rp, bool quiet = false)
{
    int off = slot_entry(db, s);
    if (off < 0 || !in_bounds(db->kdbh + (size_t)off, 3, db->bsz)) {
        if (!quiet)
            fprintf(stderr, "block rdba=0x%08x slot %d: row offset %d beyond the block end.\n", db->rdba, s, off);
        return -1;
    }
    const uint8_t *p = db->blk + db->kdbh + off;
    rp->p = p;
    rp->end = db->blk + db->bsz;
    rp->slot = s;
    rp->rdba = db->rdba;
    rp->fb = p[0];
    rp->lb = p[1];
    rp->cc = p[2];
    rp->cki = -1;
    rp->has_nrid = false;
    rp->nrid_dba = 0;
    rp->nrid_slot = 0;
    rp->cols = p + 3;
    return 0;
}

static int locate(const DATABLK *db, int t, int i, ROWPIECE *rp, bool quiet)
{
    int first, count;
    int r = slots_of(db, t, &first, &count, quiet);
    if (r == -1 && !quiet)
        fprintf(stderr, "block rdba=0x%08x: no table %d in the table directory.\n", db->rdba, t);
    if (r < 0)
        return -1;
    if (i < 0 || i >= count) {
        if (!quiet)
            fprintf(stderr, "block rdba=0x%08x: no slot %d in table %d of %d slots.\n", db->rdba, i, t, count);
        return -1;
    }
    // A free slot holds the next free slot number, not a row offset: a rowid
    // pointing at one is damage. The list runs in ascending slot order, so
    // the search ends at the first entry beyond the slot.
    int s = first + i;
    for (int f = db->frre, n = 0; f >= 0 && f <= s && n < db->nslot; f = slot_entry(db, f), n++)
        if (f == s) {
            if (!quiet)
                fprintf(stderr, "block rdba=0x%08x slot %d: the slot is free.\n", db->rdba, s);
            return -1;
        }
    return piece_at_slot(db, s, rp, quiet);
}

int locate_row_piece(const DATABLK *db, int t, int i, ROWPIECE *rp) { return locate(db, t, i, rp, false); }

int find_row_piece(const DATABLK *db, int t, int i, ROWPIECE *rp) { return locate(db, t, i, rp, true); }

int parse_row_piece(ROWPIECE *rp, unsigned opts)
{
    const uint8_t *q = rp->p + 3;
    size_t left = (size_t)(rp->end - q);
    bool head = rp->fb & FB_HEAD;
    bool first = rp->fb & FB_FIRST;
    bool last = rp->fb & FB_LAST;
    size_t need = 0;
    bool cki = (opts & RP_CLUSTERED) && first;
    need += cki;
    size_t extra = ((opts & RP_HEAD_EXTRA) && head) ? 6 : 0;
    size_t hrid = (!head && first) ? ROWID_SIZE : 0;
    bool nrid = head ? !(first && last) : !last;
    need += extra + hrid + (nrid ? ROWID_SIZE : 0);
    if (need > left) {
        if (!(opts & RP_QUIET))
            fprintf(stderr, "block rdba=0x%08x slot %d: row header beyond the block end.\n", rp->rdba, rp->slot);
        return -1;
    }
    if (cki)
        rp->cki = *q++;
    q += extra + hrid;
    if (nrid) {
        rp->has_nrid = true;
        rp->nrid_dba = get_be32(q);
        rp->nrid_slot = get_be16(q + 4);
        q += ROWID_SIZE;
    }
    rp->cols = q;
    return 0;
}

int row_walk_start(ROWWALK *rw, const uint8_t *blk, size_t bsz, int t)
{
    int r = open_data_block(&rw->db, blk, bsz);
    if (r <= 0)
        return r;
    r = table_slots(&rw->db, t, &rw->first, &rw->count);
    if (r == -1)
        return 0;
    if (r < 0)
        return -1;
    rw->t = t;
    rw->i = 0;
    rw->deleted = false;
    // Follow the free-slot list over the slots of the tables before t. A
    // list head of 0 (slot 0 free) is a real entry: only a negative head
    // means there are no free slots.
    rw->sfll = rw->db.frre;
    for (int s = 0; s < rw->first && rw->sfll >= 0; s++)
        if (s == rw->sfll)
            rw->sfll = slot_entry(&rw->db, s);
    return rw->count > 0 ? 1 : 0;
}

int row_walk_next(ROWWALK *rw, ROWPIECE *rp)
{
    while (rw->i < rw->count) {
        int s = rw->first + rw->i++;
        if (s == rw->sfll) {
            rw->sfll = slot_entry(&rw->db, s);
            continue;
        }
        if (piece_at_slot(&rw->db, s, rp) < 0)
            continue;
        if (!(rp->fb & FB_HEAD) || ((rp->fb & FB_DELETED) != 0) != rw->deleted)
            continue;
        return 1;
    }
    return 0;
}
