// The LONG value record after a row, sent piece by piece while the execution
// asks for data.
#include <cstdio>

#include "util.h"

static int bad_record()
{
    imp_error( "LONG value record not valid in %s.\n", g_imp.dump_filename);
    return -1;
}

// Passes over the pieces of a value record up to its closing empty piece.
static int skip_pieces(int lob)
{
    for (;;) {
        if (fill_window(DUMP_PIECE_MAX + 2) != 0)
            return -1;
        size_t pos = (size_t)g_imp.rtail, end = (size_t)g_imp.dlen;
        uint16_t len = pos + 2 <= end ? be16(g_imp.rbuf + pos) : 0;
        if (pos + 2 > end || (len <= DUMP_PIECE_MAX && pos + 2 + len > end)) {
            imp_error("Read %s not completed.\n", g_imp.dump_filename);
            return -1;
        }
        if (len > DUMP_PIECE_MAX) {
            imp_error("%s value record not valid in %s.\n", lob ? "LOB" : "LONG", g_imp.dump_filename);
            return -1;
        }
        g_imp.rtail = (int)(pos + 2 + len);
        if (len == 0)
            return 0;
    }
}

// Passes over a whole LONG (lob 0) or LOB (lob 1) value record: its opening
// word, for a LOB its width and spare bytes, and its pieces.
int skip_value_record(int lob)
{
    if (fill_window(4) != 0)
        return -1;
    size_t pos = (size_t)g_imp.rtail, head = lob ? 4 : 2;
    if (pos + head > (size_t)g_imp.dlen) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    if (be16(g_imp.rbuf + pos) != DUMP_VALUE) {
        imp_error("%s value record not valid in %s.\n", lob ? "LOB" : "LONG", g_imp.dump_filename);
        return -1;
    }
    g_imp.rtail = (int)(pos + head);
    return skip_pieces(lob);
}

// has_value: the row holds DUMP_LONG, so a value record follows it. Without
// one (a NULL or missing LONG) every request is answered with a NULL piece and
// nothing is read: OCI asks for a value bound at execute time whatever its
// bind-time indicator said. Returns 0, 1 when the target refused the row (its
// error in g_oem, the record passed over), -1.
int insert_long_piece(int has_value)
{
    OCIError *err = g_env.errhp;
    int status = OCI_NEED_DATA;
    int started = 0, done = !has_value;
    while (status == OCI_NEED_DATA) {
        const uint8_t *piece = nullptr;
        ub4 len = 0;
        size_t pos = 0;
        if (!done) {
            if (fill_window(DUMP_PIECE_MAX + 6) != 0)
                return -1;
            pos = (size_t)g_imp.rtail;
            size_t end = (size_t)g_imp.dlen;
            if (pos + 2 > end)
                goto short_read;
            uint16_t w = be16(g_imp.rbuf + pos);
            if (!started) {
                if (w != DUMP_VALUE)
                    return bad_record();
                pos += 2;
                if (pos + 2 > end)
                    goto short_read;
                w = be16(g_imp.rbuf + pos);
                started = 1;
            }
            if (w > DUMP_PIECE_MAX)
                return bad_record();
            len = w;
            if (pos + 2 + len > end)
                goto short_read;
            piece = g_imp.rbuf + pos + 2;
        }
        {
            void *hndl = nullptr;
            ub4 htype = 0, iter = 0, idx = 0;
            ub1 in_out = 0, code = 0;
            if (check_error(err, OCIStmtGetPieceInfo(g_env.smthp, err, &hndl, &htype, &in_out, &iter, &idx,
                                                     &code)) < 0) {
                imp_error( "OCIStmtGetPieceInfo()\n%s\n", g_oem);
                return -1;
            }
            sb2 ind = done ? -1 : 0;
            ub2 rcode = 0;
            if (done || len == 0)
                code = OCI_LAST_PIECE;
            if (check_error(err, OCIStmtSetPieceInfo(hndl, htype, err, piece, &len, code, &ind, &rcode)) < 0) {
                imp_error( "OCIStmtSetPieceInfo()\n%s\n", g_oem);
                return -1;
            }
        }
        if (!done) {
            g_imp.rtail = (int)(pos + 2 + len);
            if (len == 0)
                done = 1;
        }
        status = check_error(err, OCIStmtExecute(g_env.svchp, g_env.smthp, err, 1, 0, nullptr, nullptr,
                                                 OCI_DEFAULT));
        if (status < 0) {
            // The target refused the row: the rest of its record is passed
            // over so that the next row is read where it starts.
            if (!done && (started ? skip_pieces(0) : skip_value_record(0)) != 0)
                return -1;
            return 1;
        }
        if (status == 1)
            imp_error("%s\n", g_oem);
    }
    if (!done) {
        // The execution ended before the record did.
        imp_error( "LONG value record not consumed in %s.\n", g_imp.dump_filename);
        return -1;
    }
    return 0;
short_read:
    imp_error( "Read %s not completed.\n", g_imp.dump_filename);
    return -1;
}
