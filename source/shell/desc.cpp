// "desc": a table's stored columns with their Oracle types.
#include <cstdio>

#include "kelvo/shell.h"
#include "kelvo/context.h"

int desc_handle(char *args)
{
    if (g_ctx.col == nullptr) {
        printf("Table column information not loaded.\n");
        return -1;
    }
    if (g_ctx.usr == nullptr || g_ctx.tab == nullptr) {
        fprintf(stderr, "dictionary data not loaded.\n");
        return -1;
    }
    char user[32], table[32];
    int t = find_typed_table(args, user, table);
    if (t < 0)
        return -1;
    const TAB *tab = &g_ctx.tab[t];
    printf("COL#  SEGCOL# NAME                            TYPE\n");
    // The column range comes from the files: keep it inside the array.
    uint32_t end = tab->coff + tab->tcol;
    if (tab->coff > g_ctx.sys.ncol || end > g_ctx.sys.ncol || end < tab->coff)
        end = tab->coff;
    for (uint32_t i = tab->coff; i < end; i++) {
        const COL *c = &g_ctx.col[i];
        if (c->flag & COL_SKIP_MASK)
            continue;
        // A virtual column (SEGCOL# 0) is computed, not stored: it is not
        // in the dump, and says so here.
        bool stored = c->scid != COL_NOT_STORED;
        printf("%-4d  %-6d  %-30.31s  %s%s\n", (int)c->cid, stored ? (int)c->scid : 0, c->name,
               type_string((int)c->flag, (int)c->ctyp, (int)c->clen), stored ? "" : "  VIRTUAL");
    }
    return 0;
}
