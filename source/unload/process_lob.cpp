// The LOB value records of one row: one per gathered locator, in slot order
// (which is column order), each handed to the BasicFile or SecureFile reader
// and closed with DUMP_END.
#include <cstdio>

#include "kelvo/context.h"
#include "lob_io.h"

int process_lob(ULDR *ul)
{
    for (int i = 0; i < ul->lcc && i < ul->nlob; i++) {
        LOBD *d = (LOBD *)(ul->lobc + sizeof(LOBD) * (size_t)i);
        int li = lookup_lob(ul->tabp->objn, d->cid);
        if (li < 0) {
            fprintf(stderr, "LOB obj#=%d, col#=%d not found.\n", (int)ul->tabp->objn, (int)d->cid);
            return -1;
        }
        LOB *lob = &g_ctx.lob[li];
        uint32_t llen = d->len < sizeof(d->ldata) ? d->len : (uint32_t)sizeof(d->ldata);
        if (llen < sizeof(LOC)) {
            lob_bad_locator(lob, "shorter than its 20-byte common part");
            return -1;
        }
        // LOC holds bytes only, so it may lie anywhere in the slot.
        LOC *loc = (LOC *)d->ldata;
        lob_budget_start();
        int r = (loc->flg4 & LOC_SECURE) ? process_secure_lob(ul, lob, loc, llen)
                                         : process_basic_lob(ul, lob, loc, llen);
        if (r < 0)
            return -1;
        if (lob_room(ul, 2) < 0)
            return -1;
        put_be16(ul->cache + ul->clen, DUMP_END);
        ul->clen += 2;
    }
    return 0;
}
