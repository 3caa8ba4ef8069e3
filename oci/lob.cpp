// LOB locators of the embedded layer: a locator returned by an INSERT points
// at one column of one row; writes through it replace the stored value from
// the given offset (characters for CLOB and NCLOB, bytes for BLOB).
#include <cstring>

#include "oci_impl.h"

static sword lob_check(OCISvcCtx *svc, OCIError *err, OCILobLocator *loc)
{
    if (!oci_check(svc, OCI_HTYPE_SVCCTX) || !oci_check(err, OCI_HTYPE_ERROR) || !oci_check(loc, OCI_DTYPE_LOB))
        return OCI_INVALID_HANDLE;
    oci_clear(err);
    if (!svc->srv || !svc->srv->attached || !svc->ses || !svc->ses->begun)
        return oci_fail(err, 3114, "not connected to ORACLE");
    if (!loc->valid || loc->srv != svc->srv)
        return oci_fail(err, 22275, "invalid LOB locator specified");
    return OCI_SUCCESS;
}

extern "C" sword OCILobOpen(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub1 mode)
{
    sword r = lob_check(svchp, errhp, locp);
    if (r != OCI_SUCCESS)
        return r;
    if (mode != OCI_LOB_READONLY && mode != OCI_LOB_READWRITE)
        return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function");
    if (locp->open)
        return oci_fail(errhp, 22293, "LOB already opened in the same transaction");
    if (svchp->srv->pg && (r = pg_lob_open(locp, errhp)) != OCI_SUCCESS)
        return r;
    locp->open = true;
    svchp->srv->open_lobs++;
    return OCI_SUCCESS;
}

extern "C" sword OCILobClose(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp)
{
    sword r = lob_check(svchp, errhp, locp);
    if (r != OCI_SUCCESS)
        return r;
    if (!locp->open)
        return oci_fail(errhp, 22289, "cannot perform operation on an unopened file or LOB");
    // A write stream left without its last piece is abandoned.
    locp->open = locp->streaming = false;
    locp->acc.clear();
    svchp->srv->open_lobs--;
    // PostgreSQL: the row goes on to its next LOB or ends, when the server
    // may refuse it.
    return svchp->srv->pg ? pg_lob_close(svchp, locp, errhp) : OCI_SUCCESS;
}

// The Oracle character set of a LOB buffer: csid 0 is the client's set of
// the form, 2000 AL16UTF16; a few other ids are known by number.
const char *lob_csid_name(OCIEnv *env, ub2 csid, ub1 form)
{
    switch (csid) {
    case 0: return form == SQLCS_NCHAR ? env->nchar_cs.c_str() : env->client_cs.c_str();
    case 2000: return "AL16UTF16";
    case 2002: return "AL16UTF16LE";
    case 873: return "AL32UTF8";
    case 871: return "UTF8";
    case 1: return "US7ASCII";
    case 31: return "WE8ISO8859P1";
    case 178: return "WE8MSWIN1252";
    case 852: return "ZHS16GBK";
    default: return nullptr;
    }
}

static size_t utf8_chars(const std::string &s)
{
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

// Byte position of character number chars in s (s.size() when beyond it).
static size_t utf8_offset(const std::string &s, size_t chars)
{
    size_t i = 0;
    while (i < s.size() && chars > 0) {
        i++;
        while (i < s.size() && ((unsigned char)s[i] & 0xC0) == 0x80)
            i++;
        chars--;
    }
    return i;
}

// Stores data at the 1-based offset of the locator's value.
static sword lob_store(OCIServer *srv, OCIError *err, OCILobLocator *loc, const std::string &data, oraub8 offset,
                       ub2 csid, ub1 csfrm, oraub8 *byte_amtp, oraub8 *char_amtp)
{
    bool clob = loc->lobtype == SQLT_CLOB;
    std::string in;
    if (clob) {
        const char *cs = lob_csid_name(loc->env, csid, csfrm ? csfrm : loc->csform);
        if (!cs)
            return oci_fail(err, 1482, "unsupported character set (id %u)", csid);
        cs_to_utf8(loc->env, cs, reinterpret_cast<const uint8_t *>(data.data()), data.size(), in);
    } else {
        in = data;
    }
    std::string ref = sql_quote_ident(loc->schema) + "." + sql_quote_ident(loc->table);
    std::string col = sql_quote_ident(loc->column);
    std::string value;
    if (offset > 1) {
        std::string sel = "SELECT " + col + " FROM " + ref + " WHERE rowid = ?";
        sqlite3_stmt *ss = nullptr;
        int rc = sqlite3_prepare_v2(srv->db, sel.c_str(), -1, &ss, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(ss);
            return oci_sqlite_fail(err, srv->db, rc);
        }
        sqlite3_bind_int64(ss, 1, loc->rowid);
        if (sqlite3_step(ss) == SQLITE_ROW) {
            const void *b = sqlite3_column_blob(ss, 0);
            value.assign(b ? static_cast<const char *>(b) : "", sqlite3_column_bytes(ss, 0));
        }
        sqlite3_finalize(ss);
    }
    size_t start = offset - 1;
    if (clob) {
        size_t have = utf8_chars(value);
        if (have < start)
            value.append(start - have, ' ');   // a hole in a CLOB reads as blanks
        size_t b0 = utf8_offset(value, start);
        size_t b1 = utf8_offset(value, start + utf8_chars(in));
        value.replace(b0, b1 - b0, in);
    } else {
        if (value.size() < start)
            value.append(start - value.size(), '\0');
        size_t end = start + in.size() < value.size() ? start + in.size() : value.size();
        value.replace(start, end - start, in);
    }
    std::string upd = "UPDATE " + ref + " SET " + col + " = ? WHERE rowid = ?";
    sqlite3_stmt *ss = nullptr;
    int rc = sqlite3_prepare_v2(srv->db, upd.c_str(), -1, &ss, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(ss);
        return oci_sqlite_fail(err, srv->db, rc);
    }
    if (clob)
        sqlite3_bind_text(ss, 1, value.data(), (int)value.size(), SQLITE_STATIC);
    else
        sqlite3_bind_blob(ss, 1, value.data(), (int)value.size(), SQLITE_STATIC);
    sqlite3_bind_int64(ss, 2, loc->rowid);
    rc = sqlite3_step(ss);
    sqlite3_finalize(ss);
    if (rc != SQLITE_DONE)
        return oci_sqlite_fail(err, srv->db, rc);
    if (sqlite3_changes(srv->db) != 1)
        return oci_fail(err, 22275, "invalid LOB locator specified (the row is gone)");
    if (byte_amtp)
        *byte_amtp = data.size();
    if (char_amtp)
        *char_amtp = clob ? utf8_chars(in) : data.size();
    return OCI_SUCCESS;
}

extern "C" sword OCILobWrite2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, oraub8 *byte_amtp,
                              oraub8 *char_amtp, oraub8 offset, void *bufp, oraub8 buflen, ub1 piece, void *ctxp,
                              OCICallbackLobWrite2 cbfp, ub2 csid, ub1 csfrm)
{
    (void)ctxp;
    sword r = lob_check(svchp, errhp, locp);
    if (r != OCI_SUCCESS)
        return r;
    if (!byte_amtp || !char_amtp || cbfp || (buflen && !bufp) || piece > OCI_LAST_PIECE || buflen > 0x7FFFFFFF)
        return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function");
    if (oci_begin_txn(svchp->srv, errhp) != 0)
        return OCI_ERROR;
    const char *b = static_cast<const char *>(bufp);
    if (svchp->srv->pg) {
        // PostgreSQL: a stream from the start of the value, sent as it comes.
        bool first = piece == OCI_ONE_PIECE || piece == OCI_FIRST_PIECE;
        if (first == locp->streaming || (first && offset != 1))
            return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function");
        if (first)
            locp->csid = csid;
        r = pg_lob_write(locp, static_cast<const uint8_t *>(bufp), buflen, locp->csid, csfrm, errhp);
        if (r != OCI_SUCCESS)
            return r;
        locp->streaming = piece == OCI_FIRST_PIECE || piece == OCI_NEXT_PIECE;
        *byte_amtp = locp->pg_bytes;
        *char_amtp = locp->pg_chars;
        return locp->streaming ? OCI_NEED_DATA : OCI_SUCCESS;
    }
    switch (piece) {
    case OCI_ONE_PIECE:
        if (locp->streaming || offset < 1)
            return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function");
        return lob_store(svchp->srv, errhp, locp, std::string(b ? b : "", buflen), offset, csid, csfrm, byte_amtp,
                         char_amtp);
    case OCI_FIRST_PIECE:
        if (locp->streaming || offset < 1)
            return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function");
        locp->streaming = true;
        locp->acc.assign(b ? b : "", buflen);
        locp->offset = offset;
        locp->csid = csid;
        return OCI_NEED_DATA;
    case OCI_NEXT_PIECE:
    case OCI_LAST_PIECE: {
        if (!locp->streaming)
            return oci_fail(errhp, 24801, "illegal parameter value in OCI lob function (no first piece)");
        if (buflen)
            locp->acc.append(b, buflen);
        if (piece == OCI_NEXT_PIECE)
            return OCI_NEED_DATA;
        locp->streaming = false;
        std::string data;
        data.swap(locp->acc);
        return lob_store(svchp->srv, errhp, locp, data, locp->offset, locp->csid, csfrm, byte_amtp, char_amtp);
    }
    }
    return OCI_ERROR;
}
