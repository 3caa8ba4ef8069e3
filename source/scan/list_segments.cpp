// "list segments": the data objects of the saved scan, one line each: data
// object number, tablespace, blocks, rows, columns, the table when a loaded
// dictionary knows the data object number, and the guessed type of every
// column position with its evidence, the share of the non-NULL values that
// fit it (for RAW: that fit no other type).
#include <cstdio>
#include <string>

#include "kelvo/context.h"
#include "kelvo/scan.h"
#include "kelvo/shell.h"

namespace {

// "OWNER.TABLE" of a loaded table or partition with data object number objd,
// "-" when none is known.
std::string known_name(uint32_t objd)
{
    auto name = [](const TAB *t) {
        return std::string(owner_name(t->ui)).substr(0, 31) + "." + std::string(object_name(t->oi)).substr(0, 31);
    };
    for (uint32_t i = 0; g_ctx.tab && g_ctx.usr && g_ctx.obj && i < g_ctx.sys.ntab; i++)
        if (g_ctx.tab[i].objd == objd && !(g_ctx.tab[i].flag & TAB_PART))
            return name(&g_ctx.tab[i]);
    for (uint32_t i = 0; g_ctx.tp && g_ctx.tab && i < g_ctx.sys.ntp; i++)
        if (g_ctx.tp[i].objd == objd) {
            int t = lookup_tab(g_ctx.tp[i].objp);
            if (t >= 0)
                return name(&g_ctx.tab[t]) + ":" + std::string(object_name(g_ctx.tp[i].oi)).substr(0, 31);
        }
    return "-";
}

void print_columns(const SCAN_OBJ &o)
{
    if (o.flag & SCAN_CLUSTER) {
        printf("  cluster: columns not profiled");
        return;
    }
    if (o.ncol == 0)
        printf("  no column profiled");
    for (uint32_t i = 0; i < o.ncol; i++) {
        const SCAN_COL *c = &o.cols[i];
        SCAN_GUESS g = scan_guess(c);
        char type[32];
        printf("%s%s ", i ? ", " : "  ", scan_type_text(&g, type, sizeof(type)));
        if (c->values == 0)
            printf("-");
        else
            printf("%u%%", (unsigned)(g.fit * 100 / c->values));
    }
}

} // namespace

int list_segments(char *)
{
    SCAN_RESULT r;
    if (scan_load(r) < 0)
        return -1;
    printf("    OBJD   TS#     BLOCKS         ROWS  COLS  TABLE  COLUMNS (share of values that fit)\n");
    for (const SCAN_OBJ &o : r.objs) {
        printf("%8u  %4u  %9llu  %11llu  %4u  %s", o.objd, o.tsn, (unsigned long long)o.blocks,
               (unsigned long long)o.rows, o.ncol, known_name(o.objd).c_str());
        print_columns(o);
        if (o.chained)
            printf("; %llu row%s chained or migrated", (unsigned long long)o.chained, o.chained == 1 ? "" : "s");
        if (o.compressed)
            printf("; %llu compressed block%s", (unsigned long long)o.compressed, o.compressed == 1 ? "" : "s");
        if (o.bad)
            printf("; %llu bad block%s", (unsigned long long)o.bad, o.bad == 1 ? "" : "s");
        printf("\n");
    }
    printf("%zu data objects, character set %s.\n", r.objs.size(), r.charset.c_str());
    return 0;
}
