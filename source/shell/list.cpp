// "list files|users|tables|dropped|objects|parts|segments": what kelvo knows, without
// unloading anything. A listing never fails the command. Names from the
// dictionary files are printed with at most 31 bytes, so that a damaged
// record without its NUL cannot carry the output past its field.
#include <cstdio>

#include "kelvo/shell.h"
#include "kelvo/context.h"
#include "kelvo/scan.h"

namespace {

// The text after the first word and the blanks and tabs that follow it.
char *after_first_word(char *args)
{
    char *p = args;
    while (*p && *p != ' ' && *p != '\t')
        p++;
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

bool starts_with(const char *s, const char *word) { return strncmp(s, word, strlen(word)) == 0; }

// The preamble of "list tables" and "list objects": the listed array and the
// users must be loaded; the user is the one named after the listing word, or
// the current user. Returns the user index, -1 with *all set when every owner
// is listed, or -2 when nothing is to be listed.
int listed_user(const void *listed, const char *not_loaded, char *args, bool *all)
{
    if (listed == nullptr) {
        printf("%s", not_loaded);
        return -2;
    }
    if (g_ctx.usr == nullptr) {
        printf("dictionary data not loaded.\n");
        return -2;
    }
    char name[32];
    take_name(after_first_word(args), name);
    if (name[0] == '\0')
        memcpy(name, g_ctx.cur_usr, sizeof(name));
    name[31] = '\0';
    *all = name[0] == '\0';
    if (*all)
        return -1;
    int u = find_user_by_name(name);
    if (u < 0) {
        fprintf(stderr, "user \"%s\" not found.\n", name);
        return -2;
    }
    return u;
}

} // namespace

int print_file_info()
{
    if (g_ctx.df == nullptr) {
        printf("Data files not loaded.\n");
        return 0;
    }
    printf("TS#   FILE_ID   RELATIVE_FNO    BLOCKS    BLOCK_SIZE  FILE_NAME\n");
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        const DATAFILE *d = &g_ctx.df[i];
        printf("%-6d%-10d%-16d%-10d%-12d%s\n", (int)d->tsn, (int)d->fno, (int)d->rfn, (int)d->blks, (int)d->bsz,
               d->name);
    }
    return 0;
}

int print_user_info()
{
    if (g_ctx.usr == nullptr) {
        printf("User information not loaded.\n");
        return 0;
    }
    printf("USER_ID     DEFAULT TS#     USER_NAME\n");
    for (uint32_t i = 0; i < g_ctx.sys.nu; i++)
        printf("%-12d%-16d%-.31s\n", (int)g_ctx.usr[i].uid, (int)g_ctx.usr[i].dts, g_ctx.usr[i].name);
    return 0;
}

// "list tables": one line per table of the user (every user when none).
int print_table_info(char *args)
{
    bool all;
    int u = listed_user(g_ctx.tab, "Table information not loaded.\n", args, &all);
    if (u == -2)
        return 0;
    printf("OWNER                           TABLE_NAME                      COLS  FILE#  BLOCK#\n");
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        const TAB *t = &g_ctx.tab[i];
        if (!all && t->ui != (uint32_t)u)
            continue;
        printf("%-30.31s  %-30.31s  %-4d  %5d  %6d\n", owner_name(t->ui), object_name(t->oi), (int)t->ncol, (int)t->fno,
               (int)t->blk);
    }
    return 0;
}

// "list dropped": the dropped tables (OBJ$ FLAGS 0x80) whose segment the
// recycle bin may still hold, by their BIN$ names (what "unload table" reads
// back), with the name and drop time RECYCLEBIN$ gives; both are left blank
// when the recycle bin has no row for the table.
int print_dropped_info(char *args)
{
    bool all;
    int u = listed_user(g_ctx.tab, "Table information not loaded.\n", args, &all);
    if (u == -2)
        return 0;
    printf("OWNER                           TABLE_NAME                      FILE#  BLOCK#  DROPTIME             "
           "ORIGINAL_NAME\n");
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        const TAB *t = &g_ctx.tab[i];
        if ((!all && t->ui != (uint32_t)u) || !(t->flag & TAB_DROPPED))
            continue;
        const RECYCLED *r = recycled_table(t);
        char when[32];
        recycled_drop_time(r, when, sizeof(when));
        char line[400];
        int n = snprintf(line, sizeof(line), "%-30.31s  %-30.31s  %5d  %6d  %-19s  %s", owner_name(t->ui),
                         object_name(t->oi), (int)t->fno, (int)t->blk, when, r ? r->name : "");
        // No trailing blanks when the bin has nothing to add.
        while (n > 0 && (size_t)n < sizeof(line) && line[n - 1] == ' ')
            line[--n] = '\0';
        printf("%s\n", line);
    }
    return 0;
}

int print_object_info(char *args)
{
    bool all;
    int u = listed_user(g_ctx.obj, "Object information not loaded.\n", args, &all);
    if (u == -2)
        return 0;
    printf("OWNER                           OBJECT_NAME                     TYPE\n");
    for (uint32_t i = 0; i < g_ctx.sys.nobj; i++) {
        const OBJ *o = &g_ctx.obj[i];
        if (!all && o->owner != (uint32_t)u)
            continue;
        printf("%-30.31s  %-30.31s  %-4d\n", owner_name(o->owner), o->name, (int)o->type);
    }
    return 0;
}

int print_tabpart_info(char *args)
{
    if (g_ctx.tp == nullptr) {
        printf("Table Partition information not loaded.\n");
        return 0;
    }
    if (g_ctx.usr == nullptr || g_ctx.tab == nullptr) {
        fprintf(stderr, "dictionary data not loaded.\n");
        return 0;
    }
    char user[32], table[32];
    take_qualified_name(after_first_word(args), user, table);
    if (user[0] == '\0')
        memcpy(user, g_ctx.cur_usr, sizeof(user));
    user[31] = '\0';
    if (user[0] == '\0') {
        fprintf(stderr, "user not specified.\n");
        return 0;
    }
    if (table[0] == '\0') {
        fprintf(stderr, "table not specified.\n");
        return 0;
    }
    int u = find_user_by_name(user);
    if (u < 0) {
        fprintf(stderr, "user \"%s\" not found.\n", user);
        return 0;
    }
    int t = find_table_by_name((uint32_t)u, table);
    if (t < 0) {
        fprintf(stderr, "table \"%s\" not found.\n", table);
        return 0;
    }
    const TAB *tab = &g_ctx.tab[t];
    if (!(tab->flag & TAB_PART)) {
        fprintf(stderr, "\"%s\".\"%s\" is not partition table.\n", user, table);
        return 0;
    }
    printf("\"%s\".\"%s\" table partitions:\n", user, table);
    printf("OBJ#      NAME\n");
    for (uint32_t i = 0; i < g_ctx.sys.ntp; i++) {
        const TABPART *p = &g_ctx.tp[i];
        if (p->objp == tab->objn)
            printf("%-8d  %.31s\n", (int)p->objn, object_name(p->oi));
    }
    return 0;
}

int list_handle(char *args)
{
    if (starts_with(args, "files"))
        print_file_info();
    else if (starts_with(args, "users"))
        print_user_info();
    else if (starts_with(args, "tables"))
        print_table_info(args);
    else if (starts_with(args, "objects"))
        print_object_info(args);
    else if (starts_with(args, "dropped"))
        print_dropped_info(args);
    else if (starts_with(args, "parts"))
        print_tabpart_info(args);
    else if (starts_with(args, "segments"))
        list_segments(args);
    else
        fprintf(stderr, "Invalid list command arguments.\n");
    return 0;
}
