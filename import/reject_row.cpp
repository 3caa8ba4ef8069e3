// Errors of the target while rows go in: what each one stops, and the line
// that rejects a row.
#include <cstdio>
#include <cstring>

#include "util.h"

// Errors that no other row or table can get past (the connection, space,
// memory) end the run. Errors of the statement itself (a table or column that
// is not there, privileges, the binds, internal errors) end the table.
// Anything else is the row's own value.
int error_scope(int code)
{
    switch (code) {
    case -1:       // the importer's own or OCI's handle errors
    case 1012:     // not logged on
    case 1013:     // user requested cancel
    case 1034:     // ORACLE not available
    case 1089:     // immediate shutdown in progress
    case 1092:     // instance terminated
    case 1114:     // IO error writing block to file
    case 1536:     // space quota exceeded
    case 1652:     // unable to extend temp segment
    case 1653:     // unable to extend table
    case 1654:     // unable to extend index
    case 1688:     // unable to extend table partition
    case 1691:     // unable to extend LOB segment
    case 3113:     // end-of-file on communication channel
    case 3114:     // not connected to ORACLE
    case 3135:     // connection lost contact
    case 4030:     // out of process memory
    case 4031:     // unable to allocate shared memory
    case 30036:    // unable to extend undo segment
        return SCOPE_RUN;
    case 600:      // internal error: the statement, not the connection
    case 904:      // invalid identifier
    case 913:      // too many values
    case 942:      // table or view does not exist
    case 947:      // not enough values
    case 1008:     // not all variables bound
    case 1031:     // insufficient privileges
    case 1950:     // no privileges on tablespace
    case 3129:     // the next piece to be inserted is required
    case 24333:    // zero iteration count
    case 24337:    // statement handle not prepared
    case 7445:     // exception encountered
    case 24381:    // error(s) in array DML
        return SCOPE_TABLE;
    default: return SCOPE_ROW;
    }
}

// The column an error message names: the last double-quoted name of its first
// line that is a column of the table ("SCOTT"."EMP"."ENAME" names ENAME), or
// nullptr.
const char *error_column(const char *msg, const COL_INFO *cols, int ncol, char *out, size_t size)
{
    const char *eol = strchr(msg, '\n');
    const char *end = eol ? eol : msg + strlen(msg);
    const char *found = nullptr;
    for (const char *p = msg; p < end; p++) {
        if (*p != '"')
            continue;
        const char *q = static_cast<const char *>(memchr(p + 1, '"', (size_t)(end - p - 1)));
        if (!q)
            break;
        size_t n = (size_t)(q - p - 1);
        for (int c = 0; c < ncol; c++)
            if (n < size && strlen(cols[c].name) == n && memcmp(cols[c].name, p + 1, n) == 0) {
                memcpy(out, p + 1, n);
                out[n] = 0;
                found = out;
            }
        p = q;
    }
    return found;
}

// Rejects row `row` (1-based within the table) with the error of the target
// in g_oem: one line naming the table, the row, the column when the error
// names one, and the error.
int reject_row(int ti, int row)
{
    const char *msg = g_oem;
    const char *eol = strchr(msg, '\n');
    int len = eol ? (int)(eol - msg) : (int)strlen(msg);
    char col[32];
    const char *tab = g_imp.tabp[ti].tab_name;
    if (error_column(msg, g_imp.colp, g_imp.ncol, col, sizeof col))
        imp_error("Row %d of table \"%s\" rejected, column \"%s\": %.*s\n", row, tab, col, len, msg);
    else
        imp_error("Row %d of table \"%s\" rejected: %.*s\n", row, tab, len, msg);
    g_imp.nrej++;
    return 0;
}

// After an INSERT failed on row `row`: a row-level error rejects the row (0);
// otherwise the error is printed and -2 ends the table, -1 the run.
int report_insert_error(int ti, int row)
{
    int scope = error_scope(g_oec);
    if (scope == SCOPE_ROW)
        return reject_row(ti, row);
    imp_error("OCIStmtExecute()\n%s\n", g_oem);
    return scope == SCOPE_TABLE ? -2 : -1;
}
