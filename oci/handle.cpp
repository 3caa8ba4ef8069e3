// Handles, descriptors, attributes and error records of the embedded layer.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "oci_impl.h"

bool oci_check(const void *h, ub4 type)
{
    if (!h)
        return false;
    const oci_handle *p = static_cast<const oci_handle *>(h);
    return p->magic == OCI_HANDLE_MAGIC && p->htype == type;
}

void oci_clear(OCIError *err)
{
    if (err) {
        err->set = false;
        err->code = 0;
        err->msg.clear();
    }
}

// Records "ORA-%05d: text\n" on the error handle, the shape Oracle's own
// messages have, and returns OCI_ERROR.
sword oci_fail(OCIError *err, sb4 code, const char *fmt, ...)
{
    if (!err)
        return OCI_ERROR;
    char text[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    char head[32];
    snprintf(head, sizeof head, "ORA-%05d: ", (int)code);
    err->set = true;
    err->code = code;
    err->msg = head;
    err->msg += text;
    err->msg += '\n';
    return OCI_ERROR;
}

// A failure of the SQLite target, given the nearest Oracle error code.
sword oci_sqlite_fail(OCIError *err, sqlite3 *db, int rc)
{
    const char *m = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
    case SQLITE_CONSTRAINT:
        return oci_fail(err, 1, "unique constraint violated (%s)", m);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return oci_fail(err, 54, "resource busy and acquire with NOWAIT specified (%s)", m);
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
        return oci_fail(err, 1114, "IO error writing block to file (%s)", m);
    case SQLITE_TOOBIG:
        return oci_fail(err, 1461, "can bind a LONG value only for insert into a LONG column (%s)", m);
    default:
        return oci_fail(err, 600, "internal error code, arguments: [sqlite], [%d], [%s]", rc, m);
    }
}

static void env_forget(OCIEnv *env, oci_handle *h)
{
    auto &c = env->children;
    c.erase(std::remove(c.begin(), c.end(), h), c.end());
}

static void free_stmt(OCIStmt *st)
{
    pg_forget_stmt(st);
    for (OCIBind *b : st->binds)
        if (b) {
            b->magic = 0;
            delete b;
        }
    st->binds.clear();
    if (st->ins)
        sqlite3_finalize(st->ins);
    st->ins = nullptr;
}

static void free_server(OCIServer *srv)
{
    pg_close(srv);
    if (srv->db) {
        if (srv->in_txn)
            sqlite3_exec(srv->db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(srv->db);
    }
    srv->db = nullptr;
    srv->attached = false;
    srv->in_txn = false;
}

// Releases one handle or descriptor of any type (the record is not used again).
static void destroy(oci_handle *h)
{
    h->magic = 0;
    switch (h->htype) {
    case OCI_HTYPE_ERROR: delete static_cast<OCIError *>(h); break;
    case OCI_HTYPE_SVCCTX: delete static_cast<OCISvcCtx *>(h); break;
    case OCI_HTYPE_STMT: {
        OCIStmt *st = static_cast<OCIStmt *>(h);
        free_stmt(st);
        delete st;
        break;
    }
    case OCI_HTYPE_SERVER: {
        OCIServer *srv = static_cast<OCIServer *>(h);
        free_server(srv);
        delete srv;
        break;
    }
    case OCI_HTYPE_SESSION: delete static_cast<OCISession *>(h); break;
    case OCI_DTYPE_LOB: delete static_cast<OCILobLocator *>(h); break;
    default: break;
    }
}

extern "C" sword OCIEnvCreate(OCIEnv **envp, ub4 mode, void *ctxp, void *(*malocfp)(void *, size_t),
                              void *(*ralocfp)(void *, void *, size_t), void (*mfreefp)(void *, void *),
                              size_t xtramem_sz, void **usrmempp)
{
    (void)ctxp;
    if (!envp)
        return OCI_INVALID_HANDLE;
    *envp = nullptr;
    // Only the default, non-threaded mode without user memory is offered.
    if (mode != OCI_DEFAULT || malocfp || ralocfp || mfreefp || xtramem_sz || usrmempp)
        return OCI_ERROR;
    OCIEnv *env = new OCIEnv;
    env->htype = OCI_HTYPE_ENV;
    env->env = env;
    // The client's character sets come from the environment when it is created.
    const char *lang = getenv("NLS_LANG");
    const char *dot = lang ? strrchr(lang, '.') : nullptr;
    env->client_cs = dot && dot[1] ? dot + 1 : "US7ASCII";
    const char *nchar = getenv("NLS_NCHAR");
    env->nchar_cs = nchar && *nchar ? nchar : "AL16UTF16";
    *envp = env;
    return OCI_SUCCESS;
}

extern "C" sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4 type, const size_t xtramem_sz,
                                void **usrmempp)
{
    if (!oci_check(parenth, OCI_HTYPE_ENV) || !hndlpp)
        return OCI_INVALID_HANDLE;
    *hndlpp = nullptr;
    if (xtramem_sz || usrmempp)
        return OCI_ERROR;
    oci_handle *h;
    switch (type) {
    case OCI_HTYPE_ERROR: h = new OCIError; break;
    case OCI_HTYPE_SVCCTX: h = new OCISvcCtx; break;
    case OCI_HTYPE_STMT: h = new OCIStmt; break;
    case OCI_HTYPE_SERVER: h = new OCIServer; break;
    case OCI_HTYPE_SESSION: h = new OCISession; break;
    default: return OCI_INVALID_HANDLE;
    }
    OCIEnv *env = static_cast<OCIEnv *>(const_cast<void *>(parenth));
    h->htype = type;
    h->env = env;
    env->children.push_back(h);
    *hndlpp = h;
    return OCI_SUCCESS;
}

extern "C" sword OCIHandleFree(void *hndlp, const ub4 type)
{
    if (!oci_check(hndlp, type))
        return OCI_INVALID_HANDLE;
    oci_handle *h = static_cast<oci_handle *>(hndlp);
    if (type == OCI_HTYPE_ENV) {
        OCIEnv *env = static_cast<OCIEnv *>(h);
        // Servers last: statements may hold SQLite statements of their connection.
        for (int pass = 0; pass < 2; pass++)
            for (oci_handle *c : std::vector<oci_handle *>(env->children))
                if ((c->htype == OCI_HTYPE_SERVER) == (pass == 1)) {
                    env_forget(env, c);
                    destroy(c);
                }
        cs_release(env);
        env->magic = 0;
        delete env;
        return OCI_SUCCESS;
    }
    if (type == OCI_HTYPE_BIND)   // bind handles belong to their statement
        return OCI_INVALID_HANDLE;
    // Nothing keeps pointing at a freed server or session.
    for (oci_handle *c : h->env->children) {
        if (c->htype == OCI_HTYPE_SVCCTX) {
            OCISvcCtx *svc = static_cast<OCISvcCtx *>(c);
            if (svc->srv == h)
                svc->srv = nullptr;
            if (svc->ses == h)
                svc->ses = nullptr;
        } else if (type == OCI_HTYPE_SERVER && c->htype == OCI_HTYPE_STMT) {
            OCIStmt *st = static_cast<OCIStmt *>(c);
            if (st->ins && st->ins_db == static_cast<OCIServer *>(h)->db) {
                sqlite3_finalize(st->ins);
                st->ins = nullptr;
                st->cached_text.clear();
            }
        } else if (type == OCI_HTYPE_SERVER && c->htype == OCI_DTYPE_LOB) {
            OCILobLocator *loc = static_cast<OCILobLocator *>(c);
            if (loc->srv == h) {
                loc->srv = nullptr;
                loc->valid = loc->open = loc->streaming = false;
            }
        }
    }
    env_forget(h->env, h);
    destroy(h);
    return OCI_SUCCESS;
}

extern "C" sword OCIDescriptorAlloc(const void *parenth, void **descpp, const ub4 type, const size_t xtramem_sz,
                                    void **usrmempp)
{
    if (!oci_check(parenth, OCI_HTYPE_ENV) || !descpp)
        return OCI_INVALID_HANDLE;
    *descpp = nullptr;
    if (type != OCI_DTYPE_LOB || xtramem_sz || usrmempp)
        return OCI_INVALID_HANDLE;
    OCIEnv *env = static_cast<OCIEnv *>(const_cast<void *>(parenth));
    OCILobLocator *loc = new OCILobLocator;
    loc->htype = OCI_DTYPE_LOB;
    loc->env = env;
    env->children.push_back(loc);
    *descpp = loc;
    return OCI_SUCCESS;
}

extern "C" sword OCIDescriptorFree(void *descp, const ub4 type)
{
    if (type != OCI_DTYPE_LOB || !oci_check(descp, OCI_DTYPE_LOB))
        return OCI_INVALID_HANDLE;
    OCILobLocator *loc = static_cast<OCILobLocator *>(descp);
    if (loc->open && loc->srv)
        loc->srv->open_lobs--;
    env_forget(loc->env, loc);
    destroy(loc);
    return OCI_SUCCESS;
}

static std::string attr_text(void *p, ub4 size)
{
    const char *s = static_cast<const char *>(p);
    return size ? std::string(s, size) : std::string(s ? s : "");
}

extern "C" sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 size, ub4 attrtype,
                            OCIError *errhp)
{
    if (!oci_check(trgthndlp, trghndltyp) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    switch (trghndltyp) {
    case OCI_HTYPE_SVCCTX: {
        OCISvcCtx *svc = static_cast<OCISvcCtx *>(trgthndlp);
        if (attrtype == OCI_ATTR_SERVER) {
            if (!oci_check(attributep, OCI_HTYPE_SERVER))
                return OCI_INVALID_HANDLE;
            svc->srv = static_cast<OCIServer *>(attributep);
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_SESSION) {
            if (!oci_check(attributep, OCI_HTYPE_SESSION))
                return OCI_INVALID_HANDLE;
            svc->ses = static_cast<OCISession *>(attributep);
            return OCI_SUCCESS;
        }
        break;
    }
    case OCI_HTYPE_SESSION: {
        OCISession *ses = static_cast<OCISession *>(trgthndlp);
        if (!attributep)
            return oci_fail(errhp, 24315, "illegal attribute type");
        if (attrtype == OCI_ATTR_USERNAME) {
            ses->user = attr_text(attributep, size);
            ses->user_set = true;
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_PASSWORD) {
            ses->password = attr_text(attributep, size);
            return OCI_SUCCESS;
        }
        break;
    }
    case OCI_HTYPE_BIND: {
        OCIBind *b = static_cast<OCIBind *>(trgthndlp);
        if (attrtype == OCI_ATTR_CHARSET_FORM) {
            if (!attributep || size != 1)
                return oci_fail(errhp, 24315, "illegal attribute type");
            ub1 form = *static_cast<ub1 *>(attributep);
            if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR)
                return oci_fail(errhp, 12704, "character set mismatch");
            b->csform = form;
            return OCI_SUCCESS;
        }
        break;
    }
    case OCI_DTYPE_LOB: {
        OCILobLocator *loc = static_cast<OCILobLocator *>(trgthndlp);
        if (attrtype == OCI_ATTR_LOBEMPTY) {
            // The value itself is not interpreted: the locator now stands for
            // an empty LOB to be inserted.
            loc->empty = true;
            loc->valid = false;
            return OCI_SUCCESS;
        }
        break;
    }
    default: break;
    }
    return oci_fail(errhp, 24315, "illegal attribute type");
}

// Reads an attribute: only the row count of a statement, the rows its last
// execution inserted (before the failing one, when it failed).
extern "C" sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep, ub4 attrtype,
                            OCIError *errhp)
{
    void *h = const_cast<void *>(trgthndlp);
    if (!oci_check(h, trghndltyp) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (trghndltyp != OCI_HTYPE_STMT || attrtype != OCI_ATTR_ROW_COUNT || !attributep)
        return oci_fail(errhp, 24315, "illegal attribute type");
    ub4 count = static_cast<OCIStmt *>(h)->row_count;
    memcpy(attributep, &count, sizeof count);
    if (sizep)
        *sizep = sizeof count;
    return OCI_SUCCESS;
}

extern "C" sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp,
                             ub4 bufsiz, ub4 type)
{
    (void)sqlstate;
    if (type == OCI_HTYPE_ENV) {
        if (!oci_check(hndlp, OCI_HTYPE_ENV))
            return OCI_INVALID_HANDLE;
        return OCI_NO_DATA;   // the environment keeps no error records here
    }
    if (type != OCI_HTYPE_ERROR || !oci_check(hndlp, OCI_HTYPE_ERROR) || !errcodep || !bufp || bufsiz == 0)
        return OCI_INVALID_HANDLE;
    OCIError *err = static_cast<OCIError *>(hndlp);
    if (recordno != 1 || !err->set)
        return OCI_NO_DATA;
    *errcodep = err->code;
    size_t n = std::min<size_t>(err->msg.size(), bufsiz - 1);
    memcpy(bufp, err->msg.data(), n);
    bufp[n] = 0;
    return OCI_SUCCESS;
}
