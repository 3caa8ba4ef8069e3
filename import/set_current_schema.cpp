// The session's current schema: the target user of the import.
#include <cstdio>
#include <cstring>

#include "util.h"

// An upper-case name of letters, digits, '_', '$' and '#' needs no quotes.
static bool plain_name(const char *s)
{
    if (!(*s >= 'A' && *s <= 'Z'))
        return false;
    for (; *s; s++)
        if (!((*s >= 'A' && *s <= 'Z') || (*s >= '0' && *s <= '9') || *s == '_' || *s == '$' || *s == '#'))
            return false;
    return true;
}

int set_current_schema()
{
    static char sql[128];
    const char *name = g_imp.owner_name;
    if (plain_name(name))
        snprintf(sql, sizeof sql, "alter session set current_schema=%s", name);
    else
        snprintf(sql, sizeof sql, "alter session set current_schema=\"%s\"", name);
    int r = check_error(g_env.errhp, OCIStmtPrepare(g_env.smthp, g_env.errhp, reinterpret_cast<OraText *>(sql),
                                                    (ub4)strlen(sql), OCI_NTV_SYNTAX, OCI_DEFAULT));
    if (r < 0) {
        imp_error("OCIStmtPrepare()\n%s\n", g_oem);
        return -1;
    }
    r = check_error(g_env.errhp,
                    OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 1, 0, nullptr, nullptr, OCI_DEFAULT));
    if (r < 0) {
        imp_error("OCIStmtExecute()\n%s\n", g_oem);
        return -1;
    }
    if (r == 1)
        imp_error("%s\n", g_oem);
    return 0;
}
