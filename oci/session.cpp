// Server attachment, sessions and transactions of the embedded layer. The
// server named by the tnsname is a directory; each schema is the SQLite
// database SCHEMA.db in it, attached to the one connection under its name.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "oci_impl.h"
#include "kelvo/values.h"

static int make_dirs(const std::string &dir)
{
    std::string path;
    size_t i = 0;
    while (i <= dir.size()) {
        size_t j = dir.find('/', i);
        if (j == std::string::npos)
            j = dir.size();
        path = dir.substr(0, j);
        if (!path.empty() && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return -1;
        i = j + 1;
    }
    struct stat sb;
    return stat(dir.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode) ? 0 : -1;
}

extern "C" sword OCIServerAttach(OCIServer *srvhp, OCIError *errhp, const OraText *dblink, sb4 dblink_len, ub4 mode)
{
    if (!oci_check(srvhp, OCI_HTYPE_SERVER) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (mode != OCI_DEFAULT || dblink_len < 0 || (dblink_len > 0 && !dblink))
        return oci_fail(errhp, 12154, "TNS:could not resolve the connect identifier specified");
    if (srvhp->attached)
        return oci_fail(errhp, 24309, "already connected to a server");
    std::string name(dblink_len > 0 ? reinterpret_cast<const char *>(dblink) : "", dblink_len > 0 ? dblink_len : 0);
    if (name.find('\0') != std::string::npos)
        return oci_fail(errhp, 12154, "TNS:could not resolve the connect identifier specified");
    // A PostgreSQL server: connected when the session begins, with its user.
    srvhp->pg = pg_connect_string(name, srvhp->pg_conninfo);
    if (srvhp->pg) {
        srvhp->attached = true;
        srvhp->schemas.clear();
        return OCI_SUCCESS;
    }
    srvhp->memory = name == ":memory:";
    srvhp->dir = srvhp->memory ? "" : name.empty() ? "." : name;
    if (!srvhp->memory && make_dirs(srvhp->dir) != 0)
        return oci_fail(errhp, 12154, "TNS:could not resolve the connect identifier specified (%s: %s)",
                        srvhp->dir.c_str(), strerror(errno));
    int rc = sqlite3_open_v2(":memory:", &srvhp->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sword r = oci_sqlite_fail(errhp, srvhp->db, rc);
        sqlite3_close_v2(srvhp->db);
        srvhp->db = nullptr;
        return r;
    }
    sqlite3_limit(srvhp->db, SQLITE_LIMIT_ATTACHED, 125);
    srvhp->attached = true;
    srvhp->schemas.clear();
    return OCI_SUCCESS;
}

extern "C" sword OCIServerDetach(OCIServer *srvhp, OCIError *errhp, ub4 mode)
{
    if (!oci_check(srvhp, OCI_HTYPE_SERVER) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (mode != OCI_DEFAULT)
        return oci_fail(errhp, 24315, "illegal attribute type");
    if (!srvhp->attached)
        return oci_fail(errhp, 24324, "service handle not initialized");
    if (srvhp->pg) {
        pg_close(srvhp);
        srvhp->attached = srvhp->in_txn = false;
        srvhp->open_lobs = 0;
        return OCI_SUCCESS;
    }
    // Statements that cached SQLite statements of this connection drop them.
    for (oci_handle *c : srvhp->env->children)
        if (c->htype == OCI_HTYPE_STMT) {
            OCIStmt *st = static_cast<OCIStmt *>(c);
            if (st->ins && st->ins_db == srvhp->db) {
                sqlite3_finalize(st->ins);
                st->ins = nullptr;
                st->cached_text.clear();
            }
        }
    // A connection that goes away without ending its session loses its
    // uncommitted work, as the server rolls it back.
    if (srvhp->in_txn)
        sqlite3_exec(srvhp->db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(srvhp->db);
    srvhp->db = nullptr;
    srvhp->attached = false;
    srvhp->in_txn = false;
    srvhp->open_lobs = 0;
    srvhp->schemas.clear();
    return OCI_SUCCESS;
}

extern "C" sword OCISessionBegin(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 credt, ub4 mode)
{
    if (!oci_check(svchp, OCI_HTYPE_SVCCTX) || !oci_check(errhp, OCI_HTYPE_ERROR) ||
        !oci_check(usrhp, OCI_HTYPE_SESSION))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (!svchp->srv || !svchp->srv->attached)
        return oci_fail(errhp, 24324, "service handle not initialized");
    if (mode != OCI_DEFAULT || credt != OCI_CRED_RDBMS)
        return oci_fail(errhp, 1017, "invalid username/password; logon denied");
    if (usrhp->begun)
        return oci_fail(errhp, 24313, "user already authenticated");
    // PostgreSQL may take its user from the connect string or the system.
    if (!svchp->srv->pg && (!usrhp->user_set || usrhp->user.empty()))
        return oci_fail(errhp, 1017, "invalid username/password; logon denied");
    if (svchp->srv->pg && svchp->srv->pg_conn)
        return oci_fail(errhp, 24313, "user already authenticated");
    if (svchp->srv->pg) {
        sword r = pg_session_begin(svchp->srv, usrhp, errhp);
        if (r != OCI_SUCCESS)
            return r;
    }
    // Credentials are accepted as given; an unquoted user name is upper case,
    // as the server folds it.
    std::string user = usrhp->user;
    if (user.size() >= 2 && user.front() == '"' && user.back() == '"')
        user = user.substr(1, user.size() - 2);
    else
        for (char &c : user)
            if (c >= 'a' && c <= 'z')
                c = (char)(c - 'a' + 'A');
    usrhp->schema = user;
    usrhp->begun = true;
    usrhp->svc = svchp;
    svchp->ses = usrhp;
    return OCI_SUCCESS;
}

static sword finish_txn(OCIServer *srv, OCIError *err, bool commit)
{
    if (srv->pg)
        return pg_finish_txn(srv, err, commit);
    if (!srv->in_txn)
        return OCI_SUCCESS;
    int rc = sqlite3_exec(srv->db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sword r = oci_sqlite_fail(err, srv->db, rc);
        if (sqlite3_get_autocommit(srv->db)) {
            srv->in_txn = false;
            oci_report_kept_utc(srv, false);
        }
        return r;
    }
    srv->in_txn = false;
    oci_report_kept_utc(srv, commit);
    return OCI_SUCCESS;
}

// Reported at commit, not at each value: the rows are only then stored, and
// the count says how many of them carry UTC instead of their region.
void oci_report_kept_utc(OCIServer *srv, bool committed)
{
    if (committed)
        for (const auto &[key, count] : srv->kept_utc) {
            const auto &[table, column, id] = key;
            const char *name = tz_region_name(id);
            std::string why = name ? " (" + std::string(name) + ") not in the system's time-zone database"
                                   : " unknown";
            fprintf(stderr, "column \"%s\" of table \"%s\": time zone region id %u%s, kept as UTC in %ld row%s.\n",
                    column.c_str(), table.c_str(), id, why.c_str(), count, count == 1 ? "" : "s");
        }
    srv->kept_utc.clear();
}

extern "C" sword OCISessionEnd(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 mode)
{
    if (!oci_check(svchp, OCI_HTYPE_SVCCTX) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    if (usrhp && !oci_check(usrhp, OCI_HTYPE_SESSION))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    OCISession *ses = usrhp ? usrhp : svchp->ses;
    if (mode != OCI_DEFAULT || !ses || !ses->begun)
        return oci_fail(errhp, 1012, "not logged on");
    // Ending a session commits its open transaction.
    sword r = OCI_SUCCESS;
    if (svchp->srv && svchp->srv->attached) {
        if (svchp->srv->open_lobs > 0) {
            finish_txn(svchp->srv, errhp, false);
            svchp->srv->open_lobs = 0;
        } else {
            r = finish_txn(svchp->srv, errhp, true);
        }
    }
    ses->begun = false;
    ses->svc = nullptr;
    if (svchp->ses == ses)
        svchp->ses = nullptr;
    return r;
}

static sword trans_check(OCISvcCtx *svchp, OCIError *errhp, ub4 flags)
{
    if (!oci_check(svchp, OCI_HTYPE_SVCCTX) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (flags != OCI_DEFAULT)
        return oci_fail(errhp, 24315, "illegal attribute type");
    if (!svchp->srv || !svchp->srv->attached || !svchp->ses || !svchp->ses->begun)
        return oci_fail(errhp, 3114, "not connected to ORACLE");
    return OCI_SUCCESS;
}

extern "C" sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags)
{
    sword r = trans_check(svchp, errhp, flags);
    if (r != OCI_SUCCESS)
        return r;
    OCIServer *srv = svchp->srv;
    // LOBs still open at commit time cost the whole transaction.
    if (srv->open_lobs > 0) {
        finish_txn(srv, errhp, false);
        srv->open_lobs = 0;
        for (oci_handle *c : srv->env->children)
            if (c->htype == OCI_DTYPE_LOB && static_cast<OCILobLocator *>(c)->srv == srv)
                static_cast<OCILobLocator *>(c)->open = false;
        return oci_fail(errhp, 22297, "open LOBs exist at transaction commit time; the transaction is rolled back");
    }
    return finish_txn(srv, errhp, true);
}

extern "C" sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags)
{
    sword r = trans_check(svchp, errhp, flags);
    if (r != OCI_SUCCESS)
        return r;
    OCIServer *srv = svchp->srv;
    srv->open_lobs = 0;
    for (oci_handle *c : srv->env->children)
        if (c->htype == OCI_DTYPE_LOB && static_cast<OCILobLocator *>(c)->srv == srv) {
            OCILobLocator *loc = static_cast<OCILobLocator *>(c);
            loc->open = loc->streaming = false;
            loc->valid = false;
        }
    return finish_txn(srv, errhp, false);
}

int oci_begin_txn(OCIServer *srv, OCIError *err)
{
    if (srv->pg)
        return pg_begin_txn(srv, err);
    if (srv->in_txn)
        return 0;
    int rc = sqlite3_exec(srv->db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        oci_sqlite_fail(err, srv->db, rc);
        return -1;
    }
    srv->in_txn = true;
    return 0;
}

// Makes the schema's database reachable under the schema's name, creating the
// file SCHEMA.db in the server's directory when it does not exist yet.
int oci_attach_schema(OCIServer *srv, const std::string &schema, OCIError *err)
{
    if (std::find(srv->schemas.begin(), srv->schemas.end(), schema) != srv->schemas.end())
        return 0;
    if (schema.empty() || schema == "." || schema == ".." || schema.find('/') != std::string::npos ||
        schema.find('\0') != std::string::npos) {
        oci_fail(err, 1918, "user '%s' does not exist", schema.c_str());
        return -1;
    }
    std::string file = srv->memory ? ":memory:" : srv->dir + "/" + schema + ".db";
    std::string sql = "ATTACH DATABASE ? AS " + sql_quote_ident(schema);
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(srv->db, sql.c_str(), -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(st, 1, file.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(st);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) {
        oci_sqlite_fail(err, srv->db, rc);
        sqlite3_finalize(st);
        return -1;
    }
    sqlite3_finalize(st);
    srv->schemas.push_back(schema);
    return 0;
}
