// Array inserts for tables without LONG and LOB columns.
#include <cstdio>

#include "util.h"

// The rows the last execution inserted before it stopped.
static int rows_processed()
{
    ub4 count = 0;
    char keep[sizeof g_oem];
    snprintf(keep, sizeof keep, "%s", g_oem);
    int code = g_oec;
    if (check_error(g_env.errhp, OCIAttrGet(g_env.smthp, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT,
                                            g_env.errhp)) < 0)
        return -1;
    snprintf(g_oem, sizeof g_oem, "%s", keep);
    g_oec = code;
    return (int)count;
}

// Inserts the n rows of the array. An execution that fails stops at the
// failing row, the rows before it inserted: that row is rejected and the
// execution goes on from the row after it, so every good row goes in.
// Returns 0, -2 when the table cannot go on, -1 when the run cannot.
static int flush_rows(int ti, int n)
{
    int base = g_imp.row_no - n;
    int start = 0;
    while (start < n) {
        int r = execute_insert(n, start);
        if (r == 0 || r == 1) {
            g_imp.nrow += n - start;
            return 0;
        }
        if (r == OCI_NEED_DATA) {
            imp_error("OCIStmtExecute()\nunexpected request for data in an array insert\n");
            imp_error("Insert data error.\n");
            return -1;
        }
        int done = error_scope(g_oec) == SCOPE_ROW ? rows_processed() : 0;
        if (done < 0 || start + done >= n) {
            imp_error("OCIStmtExecute()\n%s\n", g_oem);
            imp_error("Failing row of table \"%s\" not found.\n", g_imp.tabp[ti].tab_name);
            return -2;
        }
        g_imp.nrow += done;
        int e = report_insert_error(ti, base + start + done + 1);
        if (e != 0) {
            imp_error("Insert data error.\n");
            return e;
        }
        start += done + 1;
    }
    return 0;
}

int import_multiple_row(int ti)
{
    int row_len;
    int w = start_rows(ti, 4, &row_len);
    if (w <= 0)
        return w;
    int n = 0;
    do {
        if (read_row(ti, n, 0) != 0)
            return -1;
        g_imp.row_no++;
        if (++n == g_imp.max_row) {
            int e = flush_rows(ti, n);
            if (e != 0)
                return e;
            n = 0;
        }
        w = peek_word(row_len);
        if (w < 0)
            return -1;
    } while (w != DUMP_EOT);
    g_imp.rtail += 2;
    if (n > 0) {
        int e = flush_rows(ti, n);
        if (e != 0)
            return e;
    }
    return commit_table(ti);
}
