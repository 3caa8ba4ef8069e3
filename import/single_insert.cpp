// One-row inserts for tables with LONG or LOB columns: the LONG value goes
// piece by piece at execute time, each LOB into the locator the INSERT returns.
#include <cstdio>

#include "util.h"

// The target refused row `row`: it is rejected and its value records that
// were not read yet (the LONG one when long_left, then one per LOB from bind
// lob_from on) are passed over. Returns 0, -2 when the table cannot go on, -1
// when the run cannot.
static int refuse_row(int ti, int row, int long_left, int lob_from = 0)
{
    int e = report_insert_error(ti, row);
    if (e != 0)
        return e;
    if (long_left && skip_value_record(0) != 0)
        return -1;
    for (int r = lob_from > g_imp.ncol ? lob_from : g_imp.ncol; r < g_imp.ncol + g_imp.nlob; r++)
        if (g_imp.bc[g_imp.bc[r].col].mark == MARK_LOB && skip_value_record(1) != 0)
            return -1;
    return 0;
}

static int insert_one(int ti)
{
    int ncol = g_imp.ncol, nb = ncol + g_imp.nlob;
    if (read_row(ti, 0, 1) != 0)
        return -1;
    int row = ++g_imp.row_no;
    for (int r = ncol; r < nb; r++) {
        g_imp.bc[r].indp[0] = -1;
        g_imp.bc[r].alenp[0] = 0;
    }
    int has_long = 0;
    for (int c = 0; c < ncol; c++)
        if (g_imp.bc[c].mark == MARK_LONG)
            has_long = 1;
    int st = execute_insert(1, 0);
    if (st == OCI_NEED_DATA) {
        int r = insert_long_piece(has_long);
        if (r < 0)
            return -1;
        if (r == 1)
            return refuse_row(ti, row, 0);
    } else if (st < 0) {
        return refuse_row(ti, row, has_long);
    } else if (has_long) {
        // The value record would otherwise be read as the next row.
        imp_error("LONG value of table \"%s\" was not asked for.\n", g_imp.tabp[ti].tab_name);
        return -1;
    }
    for (int r = ncol; r < nb; r++) {
        BIND_COLUMN *b = &g_imp.bc[r];
        if (g_imp.bc[b->col].mark != MARK_LOB)
            continue;
        if (b->indp[0] == -1) {
            imp_error("No LOB locator returned for column \"%s\" of table \"%s\".\n",
                      g_imp.colp[b->col].name, g_imp.tabp[ti].tab_name);
            return -1;
        }
        int e = insert_lob(r);
        if (e == 1)
            return refuse_row(ti, row, 0, r + 1);
        if (e != 0)
            return -1;
    }
    g_imp.nrow++;
    return 0;
}

int import_single_row(int ti)
{
    int row_len;
    int w = start_rows(ti, 2, &row_len);
    if (w <= 0)
        return w;
    for (;;) {
        int e = insert_one(ti);
        if (e != 0)
            return e;
        w = peek_word(row_len);
        if (w < 0)
            return -1;
        if (w == DUMP_EOT) {
            g_imp.rtail += 2;
            return commit_table(ti);
        }
    }
}
