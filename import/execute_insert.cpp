// Execution of the prepared INSERT, the commit of a table and its progress line.
#include <cstdio>

#include "util.h"

// Executes the INSERT for array rows rowoff..nrows-1. A failure is left in
// g_oem for the caller, who knows whether it rejects a row or ends more.
int execute_insert(int nrows, int rowoff)
{
    int r = check_error(g_env.errhp, OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, (ub4)nrows,
                                                    (ub4)rowoff, nullptr, nullptr, OCI_DEFAULT));
    if (r == 1)
        imp_error("%s\n", g_oem);
    return r;
}

// Commits the table's rows and prints its progress line.
int commit_table(int ti)
{
    if (check_error(g_env.errhp, OCITransCommit(g_env.svchp, g_env.errhp, OCI_DEFAULT)) < 0) {
        printf("OCITransCommit()\n%s\n", g_oem);
        if (g_imp.ofp && g_imp.ofp != stdout)
            fprintf(g_imp.ofp, "OCITransCommit()\n%s\n", g_oem);
        return -1;
    }
    print_progress(ti);
    return 0;
}

void print_progress(int ti)
{
    fprintf(g_imp.ofp, ". . importing table  %30s %10d rows imported\n", g_imp.tabp[ti].tab_name, g_imp.nrow);
}
