// The LONG value record after a row, sent piece by piece while the execution
// asks for data.
#include <cstdio>

#include "util.h"

static int bad_record()
{
    fprintf(stderr, "LONG value record not valid in %s.\n", g_imp.dump_filename);
    return -1;
}

// has_value: the row holds DUMP_LONG, so a value record follows it. Without
// one (a NULL or missing LONG) every request is answered with a NULL piece and
// nothing is read: OCI asks for a value bound at execute time whatever its
// bind-time indicator said.
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
                fprintf(stderr, "OCIStmtGetPieceInfo()\n%s\n", g_oem);
                return -1;
            }
            sb2 ind = done ? -1 : 0;
            ub2 rcode = 0;
            if (done || len == 0)
                code = OCI_LAST_PIECE;
            if (check_error(err, OCIStmtSetPieceInfo(hndl, htype, err, piece, &len, code, &ind, &rcode)) < 0) {
                fprintf(stderr, "OCIStmtSetPieceInfo()\n%s\n", g_oem);
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
            fprintf(stderr, "OCIStmtExecute()\n%s\n", g_oem);
            return -1;
        }
        if (status == 1)
            fprintf(stderr, "%s\n", g_oem);
    }
    if (!done) {
        // The execution ended before the record did.
        fprintf(stderr, "LONG value record not consumed in %s.\n", g_imp.dump_filename);
        return -1;
    }
    return 0;
short_read:
    fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
    return -1;
}
