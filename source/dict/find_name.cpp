// Finding users and tables by their typed names in the loaded dictionary,
// and the names printed for array indexes that may come from damaged files.
#include "kelvo/context.h"

int find_user_by_name(const char *name)
{
    for (uint32_t i = 0; i < g_ctx.sys.nu; i++)
        if (strncmp(g_ctx.usr[i].name, name, sizeof(g_ctx.usr[i].name)) == 0)
            return (int)i;
    return -1;
}

int find_table_by_name(uint32_t ui, const char *name)
{
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        const TAB *t = &g_ctx.tab[i];
        if (t->ui == ui && t->oi < g_ctx.sys.nobj &&
            strncmp(g_ctx.obj[t->oi].name, name, sizeof(g_ctx.obj[t->oi].name)) == 0)
            return (int)i;
    }
    return -1;
}

// The owner of user index `ui`: PUBLIC for user number 1 (which has no USER
// record), empty for an index outside the user array.
const char *owner_name(uint32_t ui)
{
    if (ui == OWNER_PUBLIC)
        return "PUBLIC";
    if (g_ctx.usr == nullptr || ui >= g_ctx.sys.nu)
        return "";
    return g_ctx.usr[ui].name;
}

const char *object_name(uint32_t oi)
{
    if (g_ctx.obj == nullptr || oi >= g_ctx.sys.nobj)
        return "";
    return g_ctx.obj[oi].name;
}
