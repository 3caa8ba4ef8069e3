// Rows the live unload leaves behind: deleted rows, whose pieces keep their
// flag D and usually their columns until the space is reused, and the blocks
// a table kept from before a TRUNCATE, which carry an older data object
// number. What is taken is decided here; the rows themselves go through the
// same block decoder as live rows.
#include <algorithm>
#include <cstdio>

#include "kelvo/unload.h"
#include "kelvo/context.h"

namespace {

// Longest chain of deleted pieces followed for one row.
constexpr size_t MAX_DELETED_CHAIN = 4u << 20;
// Bytes at the end of every block (the tail that repeats the SCN): no row
// piece reaches into them.
constexpr size_t BLOCK_TAIL = 4;

unsigned piece_options(const ULDR *ul, int t)
{
    return (t > 0 ? RP_CLUSTERED : 0) | ((ul->tabp->flag & TAB_EXTHDR) ? RP_HEAD_EXTRA : 0) | RP_QUIET;
}

// End of the piece rp's columns (its header parsed with opts), or 0 when
// they run past lim.
size_t columns_end(const DATABLK *db, ROWPIECE rp, unsigned opts, const uint8_t *lim)
{
    const uint8_t *cols;
    int cc = rp.cc;
    if (rp.fb & 0x80) {     // a cluster key row: fixed header, then its key columns
        if (!in_bounds((size_t)(rp.p - db->blk), CLUSTER_KEY_HDR, db->bsz))
            return 0;
        cols = rp.p + CLUSTER_KEY_HDR;
    } else {
        if (parse_row_piece(&rp, opts) < 0)
            return 0;
        cols = rp.cols;
    }
    const uint8_t *e = skip_columns(cols, lim, cc);
    return e ? (size_t)(e - db->blk) : 0;
}

// The pieces of every used slot of every table of the block, kept for the
// block's next deleted pieces. A live piece whose columns cannot be stepped
// over counts its first three bytes only.
const std::vector<PIECE_SPAN> &block_spans(const ULDR *ul, const DATABLK *db)
{
    RECOVER *r = ul->rec;
    uint64_t key = (((uint64_t)(uint32_t)ul->tsn << 32) | db->rdba) + 1;
    if (r->span_key == key)
        return r->spans;
    r->span_key = key;
    std::vector<PIECE_SPAN> &spans = r->spans;
    spans.clear();
    for (int t = 0; t < db->ntab; t++) {
        int first, count;
        if (table_slots(db, t, &first, &count) < 0)
            continue;
        for (int i = 0; i < count; i++) {
            ROWPIECE rp;
            if (find_row_piece(db, t, i, &rp) < 0)
                continue;
            uint32_t start = (uint32_t)(rp.p - db->blk);
            bool live = !(rp.fb & FB_DELETED);
            uint32_t end = start + 3;
            if (live) {
                size_t e = columns_end(db, rp, piece_options(ul, t), rp.end);
                end = e ? (uint32_t)e : end;
            }
            spans.push_back(PIECE_SPAN{start, end, live});
        }
    }
    return spans;
}

// A deleted piece of the table (a head piece when head) whose header and
// columns lie inside its piece: below the next piece of the block and the
// block tail, not inside a live piece, with no more columns than the table.
// Fills *out with the parsed piece.
bool piece_clean(const ULDR *ul, const DATABLK *db, const ROWPIECE *rp, bool head, ROWPIECE *out)
{
    uint8_t fb = rp->fb;
    if (!(fb & FB_DELETED) || (fb & 0x80) || ((fb & FB_HEAD) != 0) != head)
        return false;
    if (rp->cc > ul->tabp->tcol || db->bsz < BLOCK_TAIL)
        return false;
    size_t start = (size_t)(rp->p - db->blk), bound = db->bsz - BLOCK_TAIL;
    for (const PIECE_SPAN &s : block_spans(ul, db)) {
        if (s.start > start && s.start < bound)
            bound = s.start;
        if (s.live && s.start < start && s.end > start)
            return false;   // its space was taken by a live piece
    }
    if (start >= bound)
        return false;
    *out = *rp;
    out->end = db->blk + bound;
    if (parse_row_piece(out, piece_options(ul, ul->tabn)) < 0)
        return false;
    return skip_columns(out->cols, out->end, out->cc) != nullptr;
}

// Columns a piece adds to its row: a first column that continues the
// previous piece's last is the same column.
int piece_columns(const ROWPIECE &rp) { return rp.cc - ((rp.fb & FB_PREV) && rp.cc > 0 ? 1 : 0); }

} // namespace

bool block_objd_taken(const ULDR *ul, uint32_t objd)
{
    if (!ul->rec || ul->rec->take != TAKE_TRUNCATED)
        return !ul->objd || objd == ul->objd;
    // Data object numbers are handed out in ascending order: an older one of
    // the table is smaller than its current one, and not smaller than its
    // first one, the table's object number (a block of a smaller number was
    // formatted before the table existed: a dropped table's). Any other
    // number a current object holds is that object's.
    const RECOVER *r = ul->rec;
    if (objd == 0 || objd >= ul->objd || (r->segobjn && objd < r->segobjn))
        return false;
    return objd == r->segobjn || !std::binary_search(r->current.begin(), r->current.end(), objd);
}

bool deleted_row_sound(ULDR *ul, const DATABLK *db, const ROWPIECE *rp)
{
    ROWPIECE p;
    if (!piece_clean(ul, db, rp, true, &p))
        return false;
    int ncol = piece_columns(p);
    std::set<uint64_t> seen;
    while (!(p.fb & FB_LAST) || ((p.fb & FB_HEAD) && !(p.fb & FB_FIRST))) {
        if (!p.has_nrid)
            return false;
        uint32_t rdba = p.nrid_dba;
        int slot = p.nrid_slot;
        if (!seen.insert(((uint64_t)rdba << 16) | (uint16_t)slot).second || seen.size() > MAX_DELETED_CHAIN)
            return false;
        DATAFILE *df = get_datafile(ul->tsn, (int)rdba_file(rdba));
        if (!df || (int)df->bsz != ul->bsz)
            return false;
        if (fetch_block(ul->tsn, rdba, ul->cblk, (size_t)ul->bsz, nullptr, &df) != BLOCK_GOOD)
            return false;
        DATABLK nb;
        if (open_data_block(&nb, ul->cblk, (size_t)ul->bsz) <= 0)
            return false;
        if (ul->blkobjd && get_le32(ul->cblk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)) != ul->blkobjd)
            return false;
        ROWPIECE np;
        if (find_row_piece(&nb, ul->tabn, slot, &np) < 0 || !piece_clean(ul, &nb, &np, false, &p))
            return false;
        ncol += piece_columns(p);
        if (ncol > (int)ul->tabp->tcol)
            return false;
    }
    return ncol <= (int)ul->tabp->tcol;
}

void count_old_block(ULDR *ul, uint32_t objd, uint32_t rows)
{
    std::vector<OLDOBJD> &old = ul->rec->old;
    auto it = std::find_if(old.begin(), old.end(), [objd](const OLDOBJD &o) { return o.objd == objd; });
    if (it == old.end())
        it = old.insert(old.end(), OLDOBJD{objd, 0, 0});
    it->blocks++;
    it->rows += rows;
}

// Calls f on each of the n records of a loaded dictionary array (none when
// the array is not loaded).
template <typename R, typename F> void each(const R *a, uint32_t n, F f)
{
    for (uint32_t i = 0; a && i < n; i++)
        f(a[i]);
}

void current_objects(RECOVER *rec)
{
    std::vector<uint32_t> &c = rec->current;
    c.clear();
    auto objd = [&](const auto &r) { c.push_back(r.objd); };
    each(g_ctx.obj, g_ctx.sys.nobj, [&](const OBJ &o) { c.push_back(o.objn); });
    each(g_ctx.tab, g_ctx.sys.ntab, objd);
    each(g_ctx.tp, g_ctx.sys.ntp, objd);
    each(g_ctx.tcp, g_ctx.sys.ntcp, objd);
    each(g_ctx.tsp, g_ctx.sys.ntsp, objd);
    each(g_ctx.lidx, g_ctx.sys.nidx, objd);
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
}

void recover_segment_begin(ULDR *ul)
{
    RECOVER *r = ul->rec;
    if (!r || r->take != TAKE_TRUNCATED)
        return;
    // The object whose current data object the segment is: the table, or
    // the partition or subpartition walked.
    uint32_t fno = rdba_file(ul->hdba), blk = rdba_block(ul->hdba);
    r->segobjn = 0;
    auto match = [&](const auto &x) {
        if (!r->segobjn && x.objd == ul->objd && x.fno == fno && x.blk == blk)
            r->segobjn = x.objn;
    };
    each(g_ctx.tab, g_ctx.sys.ntab, match);
    each(g_ctx.tp, g_ctx.sys.ntp, match);
    each(g_ctx.tsp, g_ctx.sys.ntsp, match);
}

void recover_note_block(ULDR *ul, uint32_t rdba, uint32_t n)
{
    RECOVER *r = ul->rec;
    if (!r || !r->scan)
        return;
    for (uint32_t i = 0; i < n; i++)
        r->seen.insert(((uint64_t)(uint32_t)ul->tsn << 32) | (rdba + i));
}

static bool old_block_wanted(SEGWALK *w, uint32_t rdba, const uint8_t *blk)
{
    const ULDR *ul = (const ULDR *)w->arg;
    if (ul->rec->seen.count(((uint64_t)(uint32_t)ul->tsn << 32) | rdba))
        return false;
    return block_objd_taken(ul, get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)));
}

int scan_old_blocks(ULDR *ul, SEGWALK *w)
{
    if (!ul->rec || !ul->rec->scan)
        return 0;
    return scan_tablespace_blocks(w, old_block_wanted);
}

void print_recovered(const ULDR *ul)
{
    const RECOVER *r = ul->rec;
    if (!r)
        return;
    if (r->take == TAKE_DELETED) {
        fprintf(stderr, "%u deleted rows found, %u written, %u too damaged to trust.\n", r->found, ul->nrow,
                r->damaged);
        return;
    }
    for (const OLDOBJD &o : r->old)
        fprintf(stderr, "data object %u: %u blocks, %u rows.\n", o.objd, o.blocks, o.rows);
    if (r->old.empty())
        fprintf(stderr, "no block of an older data object found.\n");
}
