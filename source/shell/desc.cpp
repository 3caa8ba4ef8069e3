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
    take_qualified_name(args, user, table);
    if (user[0] == '\0')
        memcpy(user, g_ctx.cur_usr, sizeof(user));
    user[31] = '\0';
    if (user[0] == '\0') {
        fprintf(stderr, "user not specified.\n");
        return -1;
    }
    if (table[0] == '\0') {
        fprintf(stderr, "table not specified.\n");
        return -1;
    }
    int u = find_user_by_name(user);
    if (u < 0) {
        fprintf(stderr, "user \"%s\" not found.\n", user);
        return -1;
    }
    int t = find_table_by_name((uint32_t)u, table);
    if (t < 0) {
        fprintf(stderr, "table \"%s\" not found.\n", table);
        return -1;
    }
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
