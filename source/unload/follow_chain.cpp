// Chained and migrated rows: the pieces after a row's head are fetched from
// the blocks their next rowids name. A piece that cannot be fetched or used
// cuts the row: it keeps the columns read so far, the rest is NULL, the loss
// is recorded, and the table goes on with its next row.
#include <cstdio>

#include "row_decode.h"

namespace rowdec {

namespace {

// Longest chain of row pieces followed for one row. A LONG of 2 GB in 2 KiB
// blocks needs about a million pieces.
constexpr uint32_t MAX_CHAIN = 4u << 20;

// Moves the cluster key of the current row out of cblk before cblk is
// overwritten by the next piece of the chain.
void keep_key(ULDR *ul)
{
    if (!ul->ck || ul->ck < ul->cblk || ul->ck >= ul->cblk + ul->bsz)
        return;
    size_t n = (size_t)(ul->ckend - ul->ck);
    memcpy(ul->kbuf, ul->ck, n);
    ul->ck = ul->kbuf;
    ul->ckend = ul->kbuf + n;
}

} // namespace

int follow_chain(ULDR *ul, const PIECE *head)
{
    const char *why = nullptr;
    const char *lost = "a later row piece is damaged";   // for the loss record when why is not set
    char text[96];
    uint32_t rdba = head->nrdba;
    int slot = head->nslot;
    // Loop detection (Brent): a chain that comes back to a piece it passed
    // meets the saved piece again within twice the loop's length.
    uint32_t saved_rdba = 0, power = 1, lam = 0;
    int saved_slot = -1;
    uint32_t steps = 0;
    bool complete = false, cut = false;

    while (rdba != 0) {
        if ((rdba == saved_rdba && slot == saved_slot) || ++steps > MAX_CHAIN) {
            fprintf(stderr, "row chain at rdba=0x%08x slot %d loops or is too long, cut.\n", ul->rdba,
                    ul->slot);
            lost = "row chain loops or is too long";
            cut = true;
            break;
        }
        if (++lam == power) {
            saved_rdba = rdba;
            saved_slot = slot;
            power *= 2;
            lam = 0;
        }
        DATAFILE *df = get_datafile(ul->tsn, (int)rdba_file(rdba));
        if (!df) {
            fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", ul->tsn, (int)rdba_file(rdba));
            snprintf(text, sizeof(text), "next rowid rdba=0x%08x leads to no configured datafile", rdba);
            why = text;
            cut = true;
            break;
        }
        if ((int)df->bsz != ul->bsz) {
            why = "next rowid leads to a datafile of another block size";
            cut = true;
            break;
        }
        keep_key(ul);
        // The block is checked (and a fault reported) by the fetch; its type
        // and object are looked at below, with the row's own words.
        if (fetch_block(ul->tsn, rdba, ul->cblk, (size_t)ul->bsz, nullptr, &df) != BLOCK_GOOD) {
            snprintf(text, sizeof(text), "next piece at rdba=0x%08x cannot be read", rdba);
            why = text;
            cut = true;
            break;
        }
        DATABLK db;
        int ob = open_data_block(&db, ul->cblk, (size_t)ul->bsz);
        if (ob <= 0) {
            why = ob == 0 ? "next rowid leads to a block that is not a data block" : nullptr;
            cut = true;
            break;
        }
        uint32_t od = get_le32(ul->cblk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1));
        if (ul->blkobjd && od != ul->blkobjd) {
            why = "next rowid leads to a block of another object";
            cut = true;
            break;
        }
        ROWPIECE rp;
        PIECE pc;
        PIECE_RESULT pr = PIECE_BAD;
        if (locate_row_piece(&db, ul->tabn, slot, &rp) == 0)
            pr = parse_piece(ul, &db, &rp, &pc);
        if (!piece_usable(pr)) {
            cut = true;
            break;
        }
        take_key(ul, &pc);
        if (make_room(ul, (size_t)piece_margin(ul)) < 0)
            return -1;
        COLS_RESULT r = chained_columns(ul, &pc, &why);
        if (r == COLS_FAIL)
            return -1;
        if (r == COLS_BAD) {
            cut = true;
            break;
        }
        if (pc.fb & FB_LAST) {
            complete = true;
            break;
        }
        rdba = pc.nrdba;
        slot = pc.nslot;
    }
    if (rdba == 0 && !complete && !cut)
        why = "chain ends before the last piece";
    if (why)
        report_piece(ul, why);
    return end_row(ul, complete, why ? why : lost);
}

} // namespace rowdec
