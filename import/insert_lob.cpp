// One LOB value record written into the locator the INSERT returned: 0, 1
// when the target refused the row at the LOB's close (its error in g_oem), -1.
#include <cstdio>

#include "util.h"

static int close_lob(OCILobLocator *loc, int report)
{
    if (check_error(g_env.errhp, OCILobClose(g_env.svchp, g_env.errhp, loc)) < 0) {
        if (report)
            imp_error("OCILobClose()\n%s\n", g_oem);
        return -1;
    }
    return 0;
}

int insert_lob(int bi)
{
    BIND_COLUMN *b = &g_imp.bc[bi];
    OCILobLocator *loc = reinterpret_cast<OCILobLocator *>(b->valp);
    ub1 csfrm = (b->flag & BIND_NCHAR) ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    OCIError *err = g_env.errhp;
    if (check_error(err, OCILobOpen(g_env.svchp, err, loc, OCI_LOB_READWRITE)) < 0) {
        imp_error("OCILobOpen()\n%s\n", g_oem);
        return -1;
    }
    if (fill_window(DUMP_PIECE_MAX + 8) != 0) {
        close_lob(loc, 0);
        return -1;
    }
    size_t pos = (size_t)g_imp.rtail, end = (size_t)g_imp.dlen;
    if (pos + 4 > end) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        close_lob(loc, 0);
        return -1;
    }
    if (be16(g_imp.rbuf + pos) != DUMP_VALUE) {
        imp_error("LOB value record not valid in %s.\n", g_imp.dump_filename);
        close_lob(loc, 0);
        return -1;
    }
    ub2 csid = g_imp.rbuf[pos + 2] == 2 ? 2000 : 0;
    g_imp.rtail = (int)(pos + 4);
    ub1 piece = OCI_FIRST_PIECE;
    for (;;) {
        if (fill_window(DUMP_PIECE_MAX + 8) != 0) {
            close_lob(loc, 0);
            return -1;
        }
        pos = (size_t)g_imp.rtail;
        end = (size_t)g_imp.dlen;
        uint16_t len = pos + 2 <= end ? be16(g_imp.rbuf + pos) : 0;
        if (pos + 2 > end || (len <= DUMP_PIECE_MAX && pos + 2 + len > end)) {
            imp_error("Read %s not completed.\n", g_imp.dump_filename);
            close_lob(loc, 0);
            return -1;
        }
        if (len > DUMP_PIECE_MAX) {
            imp_error("LOB value record not valid in %s.\n", g_imp.dump_filename);
            close_lob(loc, 0);
            return -1;
        }
        if (len == 0 && piece == OCI_FIRST_PIECE) {
            g_imp.rtail = (int)(pos + 2);   // no piece: the LOB stays empty
            break;
        }
        if (len == 0)
            piece = OCI_LAST_PIECE;
        oraub8 byte_amt = 0, char_amt = 0;
        int r = check_error(err, OCILobWrite2(g_env.svchp, err, loc, &byte_amt, &char_amt, 1,
                                              g_imp.rbuf + pos + 2, len, piece, nullptr, nullptr, csid, csfrm));
        if (r < 0) {
            imp_error("OCILobWrite2()\n%s\n", g_oem);
            close_lob(loc, 0);
            return -1;
        }
        g_imp.rtail = (int)(pos + 2 + len);
        if (piece == OCI_LAST_PIECE) {
            if (r == OCI_NEED_DATA) {
                imp_error("OCILobWrite2()\nthe LOB write still asks for data after its last piece\n");
                close_lob(loc, 0);
                return -1;
            }
            break;
        }
        // Need data, or success (with information) before the last piece:
        // the stream goes on.
        piece = OCI_NEXT_PIECE;
    }
    // A target that stores the row when its last LOB closes may refuse it
    // there: a row-level error rejects the row (1), as at the INSERT.
    if (close_lob(loc, 0) != 0) {
        if (error_scope(g_oec) == SCOPE_ROW)
            return 1;
        imp_error("OCILobClose()\n%s\n", g_oem);
        return -1;
    }
    return 0;
}
