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
        fprintf(stderr, "Table \"%s\" has no columns.\n", t->tab_name);
        return -1;
    }
    if (t->ncol > MAX_COLUMNS) {
        fprintf(stderr, "Table \"%s\" has %u columns, more than %d.\n", t->tab_name, t->ncol, MAX_COLUMNS);
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
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
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
static int rollback_table()
{
    if (check_error(g_env.errhp, OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT)) < 0)
        fprintf(stderr, "OCITransRollback()\n%s\n", g_oem);
    return -1;
}

int import_table(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    g_imp.bc = nullptr;
    g_imp.ncol = g_imp.nlob = 0;
    if (read_columns(ti) != 0)
        return -1;
    if (create_table(t->tab_name, g_imp.colp, g_imp.ncol) != 0) {
        fprintf(stderr, "Create table error.\n");
        if (!(g_imp.flag & IMP_IGNORE))
            return -1;
    }
    if (prepare_insert(ti) != 0) {
        fprintf(stderr, "Prepare to insert table data error.\n");
        free_return_lob_locator(ti);
        return -1;
    }
    int r = t->flag ? import_single_row(ti) : import_multiple_row(ti);
    // Every table's locators go, the shared empty one included.
    free_return_lob_locator(ti);
    if (r != 0)
        return rollback_table();
    return 0;
}
