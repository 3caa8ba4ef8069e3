// CREATE TABLE for one table of the dump, in the target schema.
#include <cstdio>
#include <cstring>

#include "util.h"

enum { CREATE_TEXT_SIZE = 65536 };

int create_table(const char *tab_name, COL_INFO *cp, int ncol)
{
    static char sql[CREATE_TEXT_SIZE];
    if (ncol <= 0) {
        imp_error("Table \"%s\" has no columns.\n", tab_name);
        return -1;
    }
    size_t len = 0;
    int n = snprintf(sql, sizeof sql, "create table \"%s\".\"%s\" (\n", g_imp.owner_name, tab_name);
    len = (size_t)n;
    for (int i = 0; i < ncol && len < sizeof sql; i++) {
        n = snprintf(sql + len, sizeof sql - len, "\"%s\" %s,\n", cp[i].name, get_type_name(&cp[i]));
        len += (size_t)n;
    }
    if (len >= sizeof sql) {
        imp_error("Create statement of table \"%s\" longer than %d bytes.\n", tab_name, CREATE_TEXT_SIZE);
        return -1;
    }
    // The final ",\n" becomes the closing parenthesis.
    len -= 2;
    sql[len++] = ')';
    sql[len] = 0;
    printf("DEBUG:\n%s\n", sql);
    fflush(stdout);
    int r = check_error(g_env.errhp, OCIStmtPrepare(g_env.smthp, g_env.errhp, reinterpret_cast<OraText *>(sql),
                                                    (ub4)len, OCI_NTV_SYNTAX, OCI_DEFAULT));
    if (r < 0) {
        imp_error("OCIStmtPrepare()\n%s\n", g_oem);
        return -1;
    }
    r = check_error(g_env.errhp,
                    OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 1, 0, nullptr, nullptr, OCI_DEFAULT));
    if (r == 0)
        return 0;
    if (r == 1) {
        imp_error("%s\n", g_oem);
        return 0;
    }
    imp_error("OCIStmtExecute()\n%s\n", g_oem);
    return -1;
}
