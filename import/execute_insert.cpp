// Execution of the prepared INSERT, the commit of a table and its progress line.
#include <cstdio>

#include "util.h"

int execute_insert(int nrows)
{
    int r = check_error(g_env.errhp, OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, (ub4)nrows, 0, nullptr,
                                                    nullptr, OCI_DEFAULT));
    if (r == 0 || r == OCI_NEED_DATA)
        return r;
    if (r == 1) {
        fprintf(stderr, "%s\n", g_oem);
        return 1;
    }
    fprintf(stderr, "OCIStmtExecute()\n%s\n", g_oem);
    return -1;
}

// Commits the table's rows and prints its progress line.
int commit_table(int ti)
{
    if (check_error(g_env.errhp, OCITransCommit(g_env.svchp, g_env.errhp, OCI_DEFAULT)) < 0) {
        printf("OCITransCommit()\n%s\n", g_oem);
        return -1;
    }
    print_progress(ti);
    return 0;
}

void print_progress(int ti)
{
    fprintf(g_imp.ofp, ". . importing table  %30s %10d rows imported\n", g_imp.tabp[ti].tab_name, g_imp.nrow);
    // The unload lost rows or values of this table (see its .loss report).
    if (g_imp.tabp[ti].flag & TI_PARTIAL)
        fprintf(g_imp.ofp, "table \"%s\" is partial: the unload lost some of its rows or values.\n",
                g_imp.tabp[ti].tab_name);
}
