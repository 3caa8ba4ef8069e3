// Row decoding: turns the table's rows in one data block into rows of the
// dump file's row stream in the unload cache. The columns are decoded by
// row_columns.cpp; rows held in several pieces are followed by
// follow_chain.cpp.
//
// Every block is untrusted: each offset, count and length is checked against
// the block before it is used. A damaged row piece ends its row (with the
// entries gathered so far) and decoding goes on with the next row; a damaged
// block is passed over.
#include <cstdio>

#include "row_decode.h"

namespace rowdec {

PIECE_RESULT parse_piece(const ULDR *ul, const DATABLK *db, ROWPIECE *rp, PIECE *pc)
{
    unsigned opts = (ul->tabn > 0 ? RP_CLUSTERED : 0) | ((ul->tabp->flag & TAB_EXTHDR) ? RP_HEAD_EXTRA : 0);
    if (parse_row_piece(rp, opts) < 0)
        return PIECE_BAD;
    pc->fb = rp->fb;
    pc->cc = rp->cc;
    pc->p = rp->cols;
    pc->end = rp->end;
    pc->nrdba = rp->has_nrid ? rp->nrid_dba : 0;
    pc->nslot = rp->nrid_slot;
    pc->ck = nullptr;
    pc->ckn = 0;
    if (rp->cki >= 0) {
        ROWPIECE key;
        if (locate_row_piece(db, 0, rp->cki, &key) < 0)
            return PIECE_BAD;
        if ((key.fb & FB_WHOLE_KEY) != FB_WHOLE_KEY)
            return PIECE_KEYBAD;
        size_t koff = (size_t)(key.p - db->blk);
        if (!in_bounds(koff, CLUSTER_KEY_HDR, db->bsz))
            return PIECE_KEYBAD;
        pc->ck = key.p + CLUSTER_KEY_HDR;
        pc->ckn = key.cc;
    }
    return PIECE_OK;
}

bool piece_usable(PIECE_RESULT pr)
{
    if (pr == PIECE_KEYBAD)
        fprintf(stdout, "cluster key migrated or chained, skip this row data.\n");
    return pr == PIECE_OK;
}

void report_piece(const ULDR *ul, const char *why)
{
    fprintf(stderr, "bad row piece (ts#=%d, rdba=0x%08x, slot %d): %s, row ended.\n", ul->tsn, ul->rdba,
            ul->slot, why);
}

} // namespace rowdec

using namespace rowdec;

// A compressed block: counted with its rows in the loss report, never
// decoded (the table's message comes after its rows).
static void skip_compressed(ULDR *ul, int rows)
{
    ul->ncompressed++;
    char why[96];
    if (rows >= 0)
        snprintf(why, sizeof(why), "compressed block: %d rows not decoded", rows);
    else
        snprintf(why, sizeof(why), "compressed block: rows not counted");
    const DATAFILE *df = get_datafile(ul->tsn, (int)rdba_file(ul->rdba));
    note_losses(ul, LOSS_COMPRESSED, rows > 0 ? (uint32_t)rows : 0, df, ul->rdba, -1, -1, why);
}

static int block_rows(ULDR *ul, const uint8_t *blk);

int process_data_block(ULDR *ul, const uint8_t *blk)
{
    if (blk[0] != BLOCK_TYPE_DATA)
        return 0;
    ul->rdba = get_le32(blk + offsetof(KCBH, rdba_kcbh));
    uint32_t od = get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1));
    if (!block_objd_taken(ul, od)) {
        // The table's current blocks are no strays when its older ones are read.
        if (ul->rec && ul->rec->take == TAKE_TRUNCATED && od == ul->objd)
            return 0;
        if (data_header_parses(blk, (size_t)ul->bsz))
            ul->nskip++;
        else
            ul->nunparsed++;
        return 0;
    }
    ul->nowned++;
    bool old = ul->rec && ul->rec->take == TAKE_TRUNCATED;
    ul->blkobjd = old ? od : ul->objd;
    uint32_t rows0 = ul->nrow;
    int rc = block_rows(ul, blk);
    if (old)
        count_old_block(ul, od, ul->nrow - rows0);
    return rc;
}

// The rows of a block the unload takes.
static int block_rows(ULDR *ul, const uint8_t *blk)
{
    int rows;
    if (compressed_block(blk, (size_t)ul->bsz, ul->tabn > 0 || (ul->tabp->flag & TAB_CLUSTERED), &rows)) {
        skip_compressed(ul, rows);
        return 0;
    }
    ROWWALK rw;
    if (row_walk_start(&rw, blk, (size_t)ul->bsz, ul->tabn) <= 0)
        return 0;
    bool deleted = ul->rec && ul->rec->take == TAKE_DELETED;
    rw.deleted = deleted;
    ROWPIECE rp;
    while (row_walk_next(&rw, &rp) > 0) {
        ul->slot = rp.slot - rw.first;
        if (deleted) {
            // Only a deleted row whose every piece still decodes cleanly is
            // written; it is then decoded as a live one would be.
            ul->rec->found++;
            if (!deleted_row_sound(ul, &rw.db, &rp)) {
                ul->rec->damaged++;
                continue;
            }
        }
        const char *why = nullptr;
        PIECE pc;
        if (!piece_usable(parse_piece(ul, &rw.db, &rp, &pc)))
            continue;
        if (make_room(ul, (size_t)piece_margin(ul)) < 0)
            return -1;
        reset_row(ul);
        take_key(ul, &pc);

        if ((pc.fb & (FB_FIRST | FB_LAST)) == (FB_FIRST | FB_LAST)) {
            const uint8_t *p = pc.p;
            int cc = pc.cc;
            COLS_RESULT r = whole_columns(ul, &p, pc.end, &cc, &why);
            if (r == COLS_FAIL)
                return -1;
            if (r == COLS_BAD)
                report_piece(ul, why);
            if (end_row(ul, r == COLS_OK, why) < 0)
                return -1;
            continue;
        }
        if (pc.fb & FB_FIRST) {
            COLS_RESULT r = chained_columns(ul, &pc, &why);
            if (r == COLS_FAIL)
                return -1;
            if (r == COLS_BAD) {
                report_piece(ul, why);
                if (end_row(ul, false, why) < 0)
                    return -1;
                continue;
            }
        }
        if (follow_chain(ul, &pc) < 0)
            return -1;
    }
    return 0;
}
