// Array inserts for tables without LONG and LOB columns.
#include <cstdio>

#include "util.h"

static int flush_rows(int n)
{
    int r = execute_insert(n);
    if (r != 0 && r != 1) {
        if (r == OCI_NEED_DATA)
            fprintf(stderr, "OCIStmtExecute()\nunexpected request for data in an array insert\n");
        fprintf(stderr, "Insert data error.\n");
        return -1;
    }
    g_imp.nrow += n;
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
        if (++n == g_imp.max_row) {
            if (flush_rows(n) != 0)
                return -1;
            n = 0;
        }
        w = peek_word(row_len);
        if (w < 0)
            return -1;
    } while (w != DUMP_EOT);
    g_imp.rtail += 2;
    if (n > 0 && flush_rows(n) != 0)
        return -1;
    return commit_table(ti);
}
