// One table of the dump: its column information, creation, insert and rows.
#include <cstdio>
#include <cstring>

#include "util.h"

static COL_INFO s_cols[MAX_COLUMNS];

// Reads and checks the table's column information area into s_cols.
static int read_columns(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    if (t->ncol == 0) {
        imp_error("Table \"%s\" has no columns.\n", t->tab_name);
        return -1;
    }
    if (t->ncol > MAX_COLUMNS) {
        imp_error("Table \"%s\" has %u columns, more than %d.\n", t->tab_name, t->ncol, MAX_COLUMNS);
        return -1;
    }
    g_imp.data_ofs = t->offset;
    g_imp.rtail = 0;
    g_imp.dlen = 0;
    g_imp.eof = 0;
    if (read_file() < 0)
        return -1;
    size_t need = (size_t)t->ncol * sizeof(COL_INFO);
    if ((size_t)g_imp.dlen < need) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    // The window is refilled with rows later: the columns get their own copy.
    memcpy(s_cols, g_imp.rbuf, need);
    int nlob = 0;
    uint32_t kinds = 0;
    for (uint32_t c = 0; c < t->ncol; c++) {
        const uint8_t *p = g_imp.rbuf + c * sizeof(COL_INFO);
        COL_INFO *ci = &s_cols[c];
        ci->flag = be32(p);
        ci->ctyp = be32(p + 4);
        ci->clen = be32(p + 8);
        ci->name[sizeof ci->name - 1] = 0;
        if (ci->ctyp == TYPE_CLOB || ci->ctyp == TYPE_BLOB) {
            nlob++;
            kinds |= 0x02;
        } else if (ci->ctyp == TYPE_LONG || ci->ctyp == TYPE_LONG_RAW) {
            kinds |= 0x01;
        }
    }
    // The path is chosen by the columns themselves: a table whose flag lacks
    // a LONG or LOB bit would otherwise have its markers read as lengths.
    t->flag |= kinds;
    g_imp.colp = s_cols;
    g_imp.ncol = (int)t->ncol;
    g_imp.nlob = nlob;
    g_imp.rtail = (int)need;
    return 0;
}

// A table that fails part way leaves none of its rows behind: ending the
// session would commit them.
static void rollback_table()
{
    if (check_error(g_env.errhp, OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT)) < 0)
        imp_error("OCITransRollback()\n%s\n", g_oem);
}

// A table that cannot be created or filled is passed over: the run goes on
// with the next one, unless the error is one no table can get past.
static int skip_table(int ti)
{
    if (error_scope(g_oec) == SCOPE_RUN)
        return -1;
    imp_error("Table \"%s\" skipped.\n", g_imp.tabp[ti].tab_name);
    g_imp.tables_skipped++;
    return 1;
}

// Returns 0 when the table was imported (rows may have been rejected), 1 when
// it was skipped, -1 when the run cannot go on.
int import_table(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    g_imp.bc = nullptr;
    g_imp.ncol = g_imp.nlob = 0;
    g_imp.row_no = g_imp.nrej = 0;
    if (t->flag & TI_PARTIAL) {
        imp_error("Table \"%s\" is partial in the dump: rows of it could not be unloaded.\n", t->tab_name);
        g_imp.warnings++;
    }
    if (read_columns(ti) != 0)
        return -1;
    g_oec = 0;
    if (create_table(t->tab_name, g_imp.colp, g_imp.ncol) != 0) {
        imp_error("Create table error.\n");
        if (!(g_imp.flag & IMP_IGNORE))
            return skip_table(ti);
    }
    g_oec = 0;
    if (prepare_insert(ti) != 0) {
        imp_error("Prepare to insert table data error.\n");
        free_return_lob_locator(ti);
        return skip_table(ti);
    }
    int r = t->flag & (TI_LONG | TI_LOB) ? import_single_row(ti) : import_multiple_row(ti);
    // Every table's locators go, the shared empty one included.
    free_return_lob_locator(ti);
    if (r == -2) {
        rollback_table();
        g_imp.tables_skipped++;
        imp_error("Table \"%s\" skipped.\n", t->tab_name);
        return 1;
    }
    if (r != 0) {
        rollback_table();
        return -1;
    }
    g_imp.tables_done++;
    g_imp.rows_done += g_imp.nrow;
    g_imp.rows_rejected += g_imp.nrej;
    return 0;
}
