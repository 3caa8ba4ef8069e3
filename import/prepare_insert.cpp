// The INSERT of one table: statement text, bind descriptors, the arrays in
// the 4 MiB bind area, LOB locators and the binds themselves.
#include <cstdio>
#include <cstring>

#include "util.h"

OCILobLocator *g_empty_lobp;

static size_t align8(size_t n) { return (n + 7) & ~(size_t)7; }

static bool is_lob(uint32_t t) { return t == TYPE_CLOB || t == TYPE_BLOB; }
static bool is_long(uint32_t t) { return t == TYPE_LONG || t == TYPE_LONG_RAW; }

// Appends printf output of one string or one number at *len in buf of size
// sz; false when it does not fit.
static bool fits(int w, size_t sz, size_t *len)
{
    if (w < 0 || (size_t)w >= sz - *len)
        return false;
    *len += (size_t)w;
    return true;
}

static bool put(char *buf, size_t sz, size_t *len, const char *fmt, const char *s)
{
    return fits(snprintf(buf + *len, sz - *len, fmt, s), sz, len);
}

static bool put_n(char *buf, size_t sz, size_t *len, const char *fmt, int n)
{
    return fits(snprintf(buf + *len, sz - *len, fmt, n), sz, len);
}

static int build_text(int ti, char *sql, size_t cap, size_t *out_len)
{
    static char holders[32768];
    TAB_INFO *t = &g_imp.tabp[ti];
    int ncol = g_imp.ncol;
    size_t len = 0, hl = 0;
    bool ok = put(sql, cap, &len, "insert into \"%s\".", g_imp.owner_name) &&
              put(sql, cap, &len, "\"%s\" (", t->tab_name);
    for (int c = 0; ok && c < ncol; c++)
        ok = put(sql, cap, &len, "\"%s\",", g_imp.colp[c].name) &&
             put_n(holders, sizeof holders, &hl, ":%d,", c + 1);
    if (ok) {
        holders[--hl] = 0;   // the last comma of the placeholders goes
        len--;               // and the last comma of the column list
        ok = put(sql, cap, &len, ")\nvalues\n(%s)\n", holders);
    }
    if (ok && (t->flag & TI_LOB) && g_imp.nlob > 0) {
        ok = put(sql, cap, &len, "returning\n%s", "");
        hl = 0;
        int pos = ncol + 1;
        for (int c = 0; ok && c < ncol; c++)
            if (is_lob(g_imp.colp[c].ctyp))
                ok = put(sql, cap, &len, "\"%s\",", g_imp.colp[c].name) &&
                     put_n(holders, sizeof holders, &hl, ":%d,", pos++);
        if (ok) {
            holders[--hl] = 0;
            len--;
            ok = put(sql, cap, &len, "\ninto\n%s", holders);
        }
    }
    if (!ok) {
        imp_error("Insert statement of table \"%s\" too long.\n", t->tab_name);
        return -1;
    }
    *out_len = len;
    return 0;
}

// Lays out the value, indicator, length and return-code arrays of every bind
// after `start` in the bind area, as many rows as fit (at most 32767).
static int layout_arrays(int ti, size_t start, int nb)
{
    size_t left = (size_t)g_imp.asz - start;
    size_t per_row = 0;
    for (int i = 0; i < nb; i++)
        per_row += g_imp.bc[i].vsz + 6;
    size_t reserve = (size_t)32 * nb;
    long max_row = left > reserve ? (long)((left - reserve) / per_row) : 0;
    if (max_row > MAX_ARRAY_ROWS)
        max_row = MAX_ARRAY_ROWS;
    if (max_row < 1) {
        imp_error("Rows of table \"%s\" do not fit the bind area.\n", g_imp.tabp[ti].tab_name);
        return -1;
    }
    size_t off = start;
    for (int i = 0; i < nb; i++) {
        BIND_COLUMN *b = &g_imp.bc[i];
        b->valp = nullptr;
        if (b->vsz) {
            off = align8(off);
            b->valp = g_imp.abuf + off;
            off += (size_t)b->vsz * max_row;
        }
        off = align8(off);
        b->indp = reinterpret_cast<int16_t *>(g_imp.abuf + off);
        off = align8(off + 2 * (size_t)max_row);
        b->alenp = reinterpret_cast<uint16_t *>(g_imp.abuf + off);
        off = align8(off + 2 * (size_t)max_row);
        b->rcodep = reinterpret_cast<uint16_t *>(g_imp.abuf + off);
        off += 2 * (size_t)max_row;
    }
    g_imp.max_row = (int)max_row;
    return 0;
}

static int set_nchar(BIND_COLUMN *b)
{
    ub1 form = SQLCS_NCHAR;
    if (check_error(g_env.errhp,
                    OCIAttrSet(b->bndp, OCI_HTYPE_BIND, &form, 1, OCI_ATTR_CHARSET_FORM, g_env.errhp)) < 0) {
        imp_error("OCIAttrSet()\n%s\n", g_oem);
        return -1;
    }
    return 0;
}

int prepare_insert(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    int ncol = g_imp.ncol;
    int nret = (t->flag & TI_LOB) ? g_imp.nlob : 0;
    int nb = ncol + nret;
    OCIError *err = g_env.errhp;

    // Descriptors first, then the statement text, then the arrays: the text
    // is read by OCI when the statement executes, so it keeps its own room.
    g_imp.bc = reinterpret_cast<BIND_COLUMN *>(g_imp.abuf);
    memset(g_imp.bc, 0, sizeof(BIND_COLUMN) * nb);
    for (int c = 0; c < ncol; c++) {
        COL_INFO *ci = &g_imp.colp[c];
        BIND_COLUMN *b = &g_imp.bc[c];
        b->ctype = ci->ctyp;
        b->col = (uint32_t)c;
        if (is_lob(ci->ctyp))
            b->flag = BIND_LOB;
        else if (is_long(ci->ctyp))
            b->flag = BIND_LONG;
        else
            b->vsz = ci->clen;
        if (ci->flag & CI_NCHAR)
            b->flag |= BIND_NCHAR;
    }
    for (int c = 0, r = ncol; r < nb; c++)
        if (is_lob(g_imp.colp[c].ctyp)) {
            BIND_COLUMN *b = &g_imp.bc[r++];
            b->ctype = g_imp.colp[c].ctyp;
            b->col = (uint32_t)c;
            if (g_imp.colp[c].flag & CI_NCHAR)
                b->flag |= BIND_NCHAR;
        }
    size_t text_at = align8(sizeof(BIND_COLUMN) * nb);
    size_t text_cap = 256 + (size_t)nb * 48;
    char *sql = reinterpret_cast<char *>(g_imp.abuf + text_at);
    size_t len;
    if (build_text(ti, sql, text_cap, &len) != 0)
        return -1;
    if (check_error(err, OCIStmtPrepare(g_env.smthp, err, reinterpret_cast<OraText *>(sql), (ub4)len,
                                        OCI_NTV_SYNTAX, OCI_DEFAULT)) < 0) {
        imp_error("OCIStmtPrepare()\n%s\n", g_oem);
        return -1;
    }
    if (layout_arrays(ti, text_at + text_cap, nb) != 0)
        return -1;

    for (int r = ncol; r < nb; r++) {
        void **loc = reinterpret_cast<void **>(&g_imp.bc[r].valp);
        if (check_error(err, OCIDescriptorAlloc(g_env.envhp, loc, OCI_DTYPE_LOB, 0, nullptr)) < 0) {
            *loc = nullptr;
            imp_error("Lob Locator - OCIDescriptorAlloc\n%s\n", g_oem);
            return -1;
        }
    }
    if (check_error(err, OCIDescriptorAlloc(g_env.envhp, reinterpret_cast<void **>(&g_empty_lobp), OCI_DTYPE_LOB,
                                            0, nullptr)) < 0) {
        g_empty_lobp = nullptr;
        imp_error("OCIDescriptorAlloc()\n%s\n", g_oem);
        return -1;
    }
    ub4 empty = 0;
    if (check_error(err, OCIAttrSet(g_empty_lobp, OCI_DTYPE_LOB, &empty, sizeof empty, OCI_ATTR_LOBEMPTY, err)) <
        0) {
        imp_error("OCIAttrSet()\n%s\n", g_oem);
        return -1;
    }

    bool plain = (t->flag & (TI_LONG | TI_LOB)) == 0;
    for (int c = 0; c < ncol; c++) {
        BIND_COLUMN *b = &g_imp.bc[c];
        sword st;
        if (b->flag & BIND_LONG) {
            st = OCIBindByPos(g_env.smthp, &b->bndp, err, c + 1, nullptr, 2147483647, (ub2)b->ctype, b->indp,
                              b->alenp, b->rcodep, 0, nullptr, OCI_DATA_AT_EXEC);
        } else if (b->flag & BIND_LOB) {
            b->valp = reinterpret_cast<uint8_t *>(g_empty_lobp);
            st = OCIBindByPos(g_env.smthp, &b->bndp, err, c + 1, &b->valp, sizeof(OCILobLocator *),
                              (ub2)b->ctype, b->indp, b->alenp, b->rcodep, 0, nullptr, OCI_DEFAULT);
        } else {
            st = OCIBindByPos(g_env.smthp, &b->bndp, err, c + 1, b->valp, (sb4)b->vsz, (ub2)b->ctype, b->indp,
                              b->alenp, b->rcodep, 0, nullptr, OCI_DEFAULT);
        }
        if (check_error(err, st) < 0) {
            imp_error("OCIBindByPos()\n%s\n", g_oem);
            return -1;
        }
        if ((b->flag & BIND_NCHAR) && set_nchar(b) != 0)
            return -1;
        if (plain && check_error(err, OCIBindArrayOfStruct(b->bndp, err, b->vsz, 2, 2, 2)) < 0) {
            imp_error("OCIBindArrayOfStruct");
            return -1;
        }
    }
    for (int r = ncol; r < nb; r++) {
        BIND_COLUMN *b = &g_imp.bc[r];
        if (check_error(err, OCIBindByPos(g_env.smthp, &b->bndp, err, r + 1, &b->valp, sizeof(OCILobLocator *),
                                          (ub2)b->ctype, b->indp, b->alenp, b->rcodep, 0, nullptr,
                                          OCI_DEFAULT)) < 0) {
            imp_error("OCIBindByPos()\n%s\n", g_oem);
            return -1;
        }
        if ((b->flag & BIND_NCHAR) && set_nchar(b) != 0)
            return -1;
    }
    g_imp.nrow = 0;
    return 0;
}
