// The PostgreSQL target of the embedded layer, over libpq. The connect string
// names it ("postgres://host[:port]/dbname", or "pg:" and a libpq conninfo
// string); the connection is made when the session begins. Schemas are
// created when missing, names follow pg_name, and rows go in through COPY
// (text format): an array insert is one COPY, a row with values in pieces
// (LONG at execute time, LOBs through their locators) is a COPY of its own
// whose pieces are sent as they come. Each COPY runs under a savepoint, so a
// row the server refuses costs only that COPY: the rows before it are sent
// again and the failing row is reported as the insert's error, which the
// importer rejects as it does for any target.
#include <cstring>

#include "oci_impl.h"

enum : size_t { COPY_CHUNK = 256 * 1024 };

bool pg_connect_string(const std::string &name, std::string &conninfo)
{
    if (name.rfind("postgres://", 0) == 0 || name.rfind("postgresql://", 0) == 0) {
        conninfo = name;
        return true;
    }
    if (name.rfind("pg:", 0) == 0) {
        conninfo = name.substr(3);
        return true;
    }
    return false;
}

// The nearest Oracle error code of a SQLSTATE, chosen by what it stops: a
// row's own value (data and constraint errors), the statement (names,
// privileges, the server's internal errors) or the connection.
static int ora_code(const char *state)
{
    static const struct {
        const char *state;
        int code;
    } exact[] = {
        {"23505", 1},     {"23502", 1400},  {"23514", 2290},  {"23503", 2291}, {"22001", 12899},
        {"22003", 1438},  {"22P02", 1722},  {"22007", 1841},  {"22008", 1841}, {"22021", 29275},
        {"42P01", 942},   {"3F000", 942},   {"42703", 904},   {"42P07", 955},  {"42501", 1031},
        {"53100", 1114},  {"53200", 4030},  {"57014", 1013},  {"57P01", 1089}, {"57P02", 1089},
        {"57P03", 1034},
    };
    if (!state)
        return 3114;   // no SQLSTATE: the connection failed
    for (const auto &e : exact)
        if (strcmp(state, e.state) == 0)
            return e.code;
    if (strncmp(state, "22", 2) == 0)
        return 1722;
    if (strncmp(state, "23", 2) == 0)
        return 2290;
    if (strncmp(state, "08", 2) == 0)
        return 3114;
    if (strncmp(state, "53", 2) == 0 || strncmp(state, "58", 2) == 0)
        return 1114;
    if (strncmp(state, "42", 2) == 0)
        return 904;
    return 600;
}

// The line of a failed COPY its context names ("COPY emp, line 3, ..."), 0
// when it names none.
static long copy_line(const PGresult *res)
{
    const char *ctx = PQresultErrorField(res, PG_DIAG_CONTEXT);
    const char *at = ctx && strncmp(ctx, "COPY ", 5) == 0 ? strstr(ctx, ", line ") : nullptr;
    return at ? strtol(at + 7, nullptr, 10) : 0;
}

// The column a failed COPY names in its context, or the not-null column.
static std::string failed_column(const PGresult *res)
{
    const char *col = PQresultErrorField(res, PG_DIAG_COLUMN_NAME);
    if (col)
        return col;
    const char *ctx = PQresultErrorField(res, PG_DIAG_CONTEXT);
    const char *at = ctx ? strstr(ctx, ", column ") : nullptr;
    if (!at)
        return "";
    at += 9;
    const char *end = strchr(at, ':');
    return end ? std::string(at, end) : std::string(at);
}

// Records the server's error as "ORA-NNNNN: message (SQLSTATE xxxxx, column
// "OWNER"."TABLE"."COLUMN")" with the Oracle names of the statement.
static sword pg_fail(OCIError *err, OCIServer *srv, const PGresult *res, const OCIStmt *st)
{
    const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const char *primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string msg = primary ? primary : PQerrorMessage(srv->pg_conn);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' '))
        msg.pop_back();
    for (char &c : msg)
        if (c == '\n')
            c = ' ';
    int code = PQstatus(srv->pg_conn) != CONNECTION_OK ? 3114 : ora_code(state);
    std::string where;
    if (res && st) {
        std::string col = failed_column(res);
        for (const sql_column &c : st->parsed.cols)
            if (!col.empty() && pg_name(c.name) == col)
                where = ", column " + sql_quote_ident(st->parsed.schema) + "." + sql_quote_ident(st->parsed.table) +
                        "." + sql_quote_ident(c.name);
    }
    return oci_fail(err, code, "%s (SQLSTATE %s%s)", msg.c_str(), state ? state : "none", where.c_str());
}

// Runs SQL without results; OCI_SUCCESS or the error on err.
static sword run_sql(OCIServer *srv, const std::string &sql, OCIError *err, const OCIStmt *st = nullptr)
{
    PGresult *res = PQexec(srv->pg_conn, sql.c_str());
    ExecStatusType s = PQresultStatus(res);
    sword r = s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK ? OCI_SUCCESS : pg_fail(err, srv, res, st);
    PQclear(res);
    return r;
}

sword pg_session_begin(OCIServer *srv, OCISession *ses, OCIError *err)
{
    std::string user = ses->user;
    if (user.size() >= 2 && user.front() == '"' && user.back() == '"')
        user = user.substr(1, user.size() - 2);
    // The connect string first: the user and password of USERID override it.
    const char *keys[] = {"dbname", "user", "password", "client_encoding", "application_name", nullptr};
    const char *vals[] = {srv->pg_conninfo.c_str(),
                          user.empty() ? nullptr : user.c_str(),
                          ses->password.empty() ? nullptr : ses->password.c_str(),
                          "UTF8",
                          "kelvo import",
                          nullptr};
    srv->pg_conn = PQconnectdbParams(keys, vals, 1);
    if (PQstatus(srv->pg_conn) != CONNECTION_OK) {
        std::string msg = PQerrorMessage(srv->pg_conn);
        while (!msg.empty() && msg.back() == '\n')
            msg.pop_back();
        pg_close(srv);
        return oci_fail(err, 12541, "cannot connect to the PostgreSQL server: %s", msg.c_str());
    }
    // Values go in as UTC instants and ISO texts, intervals with a sign on
    // each field, whatever the server's defaults are.
    return run_sql(srv, "SET TimeZone TO 'UTC'; SET DateStyle TO 'ISO, YMD'; SET IntervalStyle TO 'postgres'", err);
}

void pg_close(OCIServer *srv)
{
    if (srv->pg_conn)
        PQfinish(srv->pg_conn);   // an open transaction is rolled back
    srv->pg_conn = nullptr;
    if (srv->pg_copying)
        srv->pg_copying->pg_srv = nullptr;
    srv->pg_copying = nullptr;
    srv->pg_savepoint = false;
}

int pg_begin_txn(OCIServer *srv, OCIError *err)
{
    if (srv->in_txn)
        return 0;
    if (run_sql(srv, "BEGIN", err) != OCI_SUCCESS)
        return -1;
    srv->in_txn = true;
    srv->pg_savepoint = false;
    return 0;
}

// Ends the COPY in progress. Without a failure it is kept; a failure (res,
// for the caller to clear, or the connection) is rolled back to the row
// savepoint. abandon ends it with an error of the client's own.
static sword copy_end(OCIServer *srv, OCIError *err, PGresult **failed, bool abandon = false)
{
    OCIStmt *st = srv->pg_copying;
    *failed = nullptr;
    srv->pg_copying = nullptr;
    st->pg_srv = nullptr;
    PGconn *c = srv->pg_conn;
    bool sent = abandon || st->pg_buf.empty() || PQputCopyData(c, st->pg_buf.data(), (int)st->pg_buf.size()) == 1;
    st->pg_buf.clear();
    if (PQputCopyEnd(c, abandon || !sent ? "row abandoned by the client" : nullptr) != 1)
        return pg_fail(err, srv, nullptr, nullptr);
    PGresult *res = PQgetResult(c);
    bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    while (PGresult *more = PQgetResult(c))
        PQclear(more);
    if (ok) {
        PQclear(res);
        return OCI_SUCCESS;
    }
    if (PQstatus(c) != CONNECTION_OK) {
        sword r = pg_fail(err, srv, res, st);
        PQclear(res);
        return r;
    }
    *failed = res;
    if (run_sql(srv, "ROLLBACK TO SAVEPOINT kelvo_row", err) != OCI_SUCCESS) {
        PQclear(res);
        *failed = nullptr;
        return OCI_ERROR;
    }
    return OCI_SUCCESS;
}

sword pg_finish_txn(OCIServer *srv, OCIError *err, bool commit)
{
    if (srv->pg_copying) {
        // A row still in pieces does not go in.
        PGresult *failed;
        sword r = copy_end(srv, err, &failed, true);
        PQclear(failed);
        if (r != OCI_SUCCESS)
            commit = false;
    }
    if (!srv->in_txn)
        return OCI_SUCCESS;
    srv->in_txn = false;
    srv->pg_savepoint = false;
    if (!commit)
        return run_sql(srv, "ROLLBACK", err);
    PGresult *res = PQexec(srv->pg_conn, "COMMIT");
    sword r = OCI_SUCCESS;
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        r = pg_fail(err, srv, res, nullptr);
    else if (strcmp(PQcmdStatus(res), "ROLLBACK") == 0)   // the transaction had failed
        r = oci_fail(err, 2091, "transaction rolled back");
    PQclear(res);
    return r;
}

// Creates the schema of an Oracle name when the database has none of it.
static sword ensure_schema(OCIServer *srv, const std::string &schema, OCIError *err)
{
    std::string name = pg_name(schema);
    const char *v[] = {name.c_str()};
    PGresult *res = PQexecParams(srv->pg_conn, "SELECT 1 FROM pg_namespace WHERE nspname = $1", 1, nullptr, v,
                                 nullptr, nullptr, 0);
    if (PQresultStatus(res) != PGRES_TUPLES_OK) {
        sword r = pg_fail(err, srv, res, nullptr);
        PQclear(res);
        return r;
    }
    bool found = PQntuples(res) > 0;
    PQclear(res);
    return found ? OCI_SUCCESS : run_sql(srv, "CREATE SCHEMA " + pg_ident(schema), err);
}

sword pg_alter(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    sword r = ensure_schema(svc->srv, st->parsed.schema, err);
    if (r == OCI_SUCCESS)
        svc->ses->schema = st->parsed.schema;
    return r;
}

sword pg_create(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    OCIServer *srv = svc->srv;
    sql_statement &p = st->parsed;
    if (p.schema.empty())
        p.schema = svc->ses->schema;
    // DDL commits the open transaction first, as Oracle's does.
    sword r = pg_finish_txn(srv, err, true);
    if (r == OCI_SUCCESS)
        r = ensure_schema(srv, p.schema, err);
    if (r != OCI_SUCCESS)
        return r;
    const std::string &ncs = st->env->nchar_cs;
    int nchar_width = ncs == "UTF8" ? 3 : ncs == "AL32UTF8" ? 4 : 2;
    std::string sql = "CREATE TABLE " + pg_ident(p.schema) + "." + pg_ident(p.table) + " (";
    for (size_t i = 0; i < p.cols.size(); i++)
        sql += (i ? ", " : "") + pg_ident(p.cols[i].name) + " " + pg_type(p.cols[i].type, nchar_width);
    return run_sql(srv, sql + ")", err, st);
}

// ---- rows ----

static bool lob_type(ub2 dty) { return dty == SQLT_CLOB || dty == SQLT_BLOB; }

// Starts a COPY of the statement's table under the row savepoint.
static sword copy_start(OCIServer *srv, OCIStmt *st, OCIError *err)
{
    const sql_statement &p = st->parsed;
    std::string sql = srv->pg_savepoint ? "RELEASE SAVEPOINT kelvo_row; " : "";
    sql += "SAVEPOINT kelvo_row; COPY " + pg_ident(p.schema) + "." + pg_ident(p.table) + " (";
    for (size_t i = 0; i < st->pg_order.size(); i++)
        sql += (i ? ", " : "") + pg_ident(p.cols[st->pg_order[i]].name);
    sql += ") FROM STDIN";
    PGresult *res = PQexec(srv->pg_conn, sql.c_str());
    if (PQresultStatus(res) != PGRES_COPY_IN) {
        sword r = pg_fail(err, srv, res, st);
        PQclear(res);
        return r;
    }
    PQclear(res);
    srv->pg_savepoint = true;
    srv->pg_copying = st;
    st->pg_srv = srv;
    st->pg_buf.clear();
    return OCI_SUCCESS;
}

// Sends the COPY data gathered so far once there is enough of it.
static sword copy_flush(OCIStmt *st, OCIError *err)
{
    if (st->pg_buf.size() < COPY_CHUNK)
        return OCI_SUCCESS;
    OCIServer *srv = st->pg_srv;
    if (PQputCopyData(srv->pg_conn, st->pg_buf.data(), (int)st->pg_buf.size()) != 1)
        return pg_fail(err, srv, nullptr, nullptr);
    st->pg_buf.clear();
    return OCI_SUCCESS;
}

// The COPY text of bind i at row r into out: 0, or an Oracle error code.
static int column_text(OCIStmt *st, int i, ub4 r, std::string &out, bool &null, OCIError *err)
{
    OCIBind *b = st->binds[i];
    const uint8_t *p;
    size_t n;
    if (oci_bind_bytes(b, r, p, n, null, err) != 0)
        return err->code;
    if (null)
        return 0;
    if (lob_type(b->dty)) {
        // The value comes later through the locator the insert returns.
        OCILobLocator *loc = nullptr;
        if (n >= sizeof loc)
            memcpy(&loc, p, sizeof loc);
        return oci_check(loc, OCI_DTYPE_LOB) && loc->empty ? 0 : 22275;
    }
    return pg_value_text(st->env, b->dty, b->csform, p, n, out, null);
}

// Sends rows [from, to) of an array insert in one COPY; stops before a row
// the decoders refuse (its code in *refused). *stop is the row it stopped at;
// *failed the server's error, the COPY rolled back.
static sword copy_rows(OCIServer *srv, OCIStmt *st, ub4 from, ub4 to, OCIError *err, ub4 *stop, int *refused,
                       PGresult **failed)
{
    sword r = copy_start(srv, st, err);
    if (r != OCI_SUCCESS)
        return r;
    std::string v;
    *refused = 0;
    ub4 row = from;
    for (; row < to && !*refused; row++) {
        size_t start = st->pg_buf.size();
        for (size_t k = 0; k < st->pg_order.size(); k++) {
            bool null;
            int code = column_text(st, st->pg_order[k], row, v, null, err);
            if (code) {
                *refused = code;
                st->pg_buf.resize(start);
                break;
            }
            if (k)
                st->pg_buf += '\t';
            st->pg_buf += null ? "\\N" : v;
        }
        if (*refused)
            break;
        st->pg_buf += '\n';
        if ((r = copy_flush(st, err)) != OCI_SUCCESS)
            return r;
    }
    *stop = row;
    return copy_end(srv, err, failed);
}

// An array insert: the rows from st->row on. A row the server refuses is
// found by the line its error names (or, without one, by sending the rows
// one at a time); the rows before it are sent again, and the execution fails
// with its error, row_count rows in.
static sword array_rows(OCIServer *srv, OCIStmt *st, OCIError *err)
{
    ub4 good = st->row, limit = 0;
    bool one_at_a_time = false;
    while (good < st->iters) {
        ub4 to = limit ? limit : one_at_a_time ? good + 1 : st->iters;
        ub4 stop;
        int refused;
        PGresult *failed;
        sword r = copy_rows(srv, st, good, to, err, &stop, &refused, &failed);
        if (r != OCI_SUCCESS)
            return r;
        if (!failed) {
            st->row_count += stop - good;
            good = stop;
            if (refused)
                return oci_fail(err, refused, "%s", ora_message(refused));
            if (limit && good == limit)
                return OCI_ERROR;   // the refused row's error is on err
            continue;
        }
        long line = copy_line(failed);
        ub4 sent = stop - good;
        pg_fail(err, srv, failed, st);
        PQclear(failed);
        if (line == 1 || sent == 1)
            return OCI_ERROR;
        if (line > 1 && (ub4)line <= sent) {
            limit = good + (ub4)line - 1;
        } else {
            limit = 0;
            one_at_a_time = true;
        }
    }
    st->row = good;
    return OCI_SUCCESS;
}

// The separator after the column at pg_next, or the end of the row.
static void column_end(OCIStmt *st)
{
    st->pg_buf += st->pg_next + 1 < st->pg_order.size() ? '\t' : '\n';
    st->pg_next++;
}

// Ends the value in pieces at pg_order[pg_next]: a LONG without a piece is
// NULL (Oracle has no empty LONG), a LOB without one is empty.
static void end_stream(OCIStmt *st)
{
    OCIBind *b = st->binds[st->pg_order[st->pg_next]];
    if (st->pg_begun) {
        std::string tail;
        cs_convert(st->pg_cs, nullptr, 0, tail, CS_INVALID_LATIN1);
        pg_copy_escape(tail.data(), tail.size(), st->pg_buf);
    } else if (lob_type(b->dty)) {
        st->pg_buf += b->dty == SQLT_BLOB ? "\\\\x" : "";
    } else {
        st->pg_buf += "\\N";
    }
    cs_close(st->pg_cs);
    st->pg_begun = false;
    column_end(st);
}

// Sends the row's columns from pg_next on up to a value that comes in pieces
// and has not come yet. At the end of the row the COPY ends: a row the
// server refuses fails here.
static sword row_advance(OCIStmt *st, OCIError *err)
{
    OCIServer *srv = st->pg_srv;
    while (st->pg_next < st->pg_order.size()) {
        int i = st->pg_order[st->pg_next];
        if (!st->pg_stream[i]) {
            st->pg_buf += st->pg_null[i] ? "\\N" : st->pg_vals[i];
            column_end(st);
            continue;
        }
        OCIBind *b = st->binds[i];
        if (b->mode != OCI_DATA_AT_EXEC)
            return OCI_SUCCESS;   // a LOB: its value comes through the locator
        if (!b->piece_done) {
            st->pending = (ub4)i;
            b->piece_given = false;
            return OCI_NEED_DATA;
        }
        end_stream(st);   // its pieces came during the last request
    }
    PGresult *failed;
    sword r = copy_end(srv, err, &failed);
    if (r == OCI_SUCCESS && failed) {
        r = pg_fail(err, srv, failed, st);
        PQclear(failed);
    }
    return r;
}

// A row with values in pieces: its other values are converted first (a value
// the decoders refuse fails the row before anything is sent), then the COPY
// starts and the row goes out as its pieces come.
static sword stream_row(OCISvcCtx *svc, OCIStmt *st, OCIError *err, bool again)
{
    const sql_statement &p = st->parsed;
    if (!again) {
        if (st->iters - st->row != 1)
            return oci_fail(err, 1460, "unimplemented or unreasonable conversion requested (array of pieces)");
        st->pg_vals.assign(p.nvalues, std::string());
        st->pg_null.assign(p.nvalues, 0);
        st->pg_stream.assign(p.nvalues, 0);
        for (int i = 0; i < p.nvalues; i++) {
            OCIBind *b = st->binds[i];
            if (b->mode == OCI_DATA_AT_EXEC) {
                st->pg_stream[i] = 1;
                continue;
            }
            bool null;
            int code = column_text(st, i, st->row, st->pg_vals[i], null, err);
            if (code)
                return err->set ? OCI_ERROR : oci_fail(err, code, "%s", ora_message(code));
            st->pg_null[i] = null;
            st->pg_stream[i] = lob_type(b->dty) && !null;
        }
        sword r = copy_start(svc->srv, st, err);
        if (r != OCI_SUCCESS)
            return r;
        st->pg_next = 0;
        st->pg_begun = false;
    }
    sword r = row_advance(st, err);
    if (r != OCI_SUCCESS)
        return r;
    if (!p.returning.empty() && oci_fill_returning(svc, st, st->row, 0, st->pg_null, err) != 0) {
        if (svc->srv->pg_copying == st) {
            PGresult *failed;
            copy_end(svc->srv, err, &failed, true);
            PQclear(failed);
        }
        return OCI_ERROR;
    }
    st->row_count++;
    st->row++;
    return OCI_SUCCESS;
}

sword pg_insert_rows(OCISvcCtx *svc, OCIStmt *st, OCIError *err, bool again)
{
    sql_statement &p = st->parsed;
    if (!again) {
        if (svc->srv->pg_copying) {
            // A row left in pieces (a LOB never closed) does not go in.
            PGresult *failed;
            sword r = copy_end(svc->srv, err, &failed, true);
            PQclear(failed);
            if (r != OCI_SUCCESS)
                return r;
        }
        if (p.schema.empty())
            p.schema = svc->ses->schema;
        // COPY order: the table's order with the LOB columns last, as their
        // values come after the row.
        st->pg_order.clear();
        bool pieces = !p.returning.empty();
        for (int pass = 0; pass < 2; pass++)
            for (int i = 0; i < p.nvalues; i++)
                if (lob_type(st->binds[i]->dty) == (pass == 1))
                    st->pg_order.push_back(i);
        for (int i = 0; i < p.nvalues; i++)
            pieces = pieces || st->binds[i]->mode == OCI_DATA_AT_EXEC || lob_type(st->binds[i]->dty);
        if (!pieces)
            return array_rows(svc->srv, st, err);
    }
    return stream_row(svc, st, err, again);
}

sword pg_piece(OCIBind *b, const uint8_t *p, size_t n, bool null, bool last, OCIError *err)
{
    OCIStmt *st = b->stmt;
    b->piece_null = null;
    if (null || n == 0)
        return OCI_SUCCESS;
    OCIEnv *env = st->env;
    if (!st->pg_begun) {
        st->pg_begun = true;
        if (b->dty == SQLT_LBI)
            st->pg_buf += "\\\\x";
        else
            cs_open(st->pg_cs, b->csform == SQLCS_NCHAR ? env->nchar_cs : env->client_cs);
    }
    if (b->dty == SQLT_LBI) {
        pg_hex(p, n, st->pg_buf);
    } else {
        std::string u;
        cs_convert(st->pg_cs, p, n, u, CS_INVALID_LATIN1, !last);
        pg_copy_escape(u.data(), u.size(), st->pg_buf);
    }
    return copy_flush(st, err);
}

// ---- LOB values: written in column order into the row's COPY ----

static OCIStmt *lob_row(OCILobLocator *loc, OCIError *err, sword &r)
{
    OCIStmt *st = loc->pg_stmt;
    r = OCI_SUCCESS;
    if (!st || !st->pg_srv || st->pg_next >= st->pg_order.size() || st->pg_order[st->pg_next] != loc->pg_col) {
        r = oci_fail(err, 22275, "invalid LOB locator specified (LOBs of a row are written in column order)");
        return nullptr;
    }
    return st;
}

sword pg_lob_open(OCILobLocator *loc, OCIError *err)
{
    sword r;
    OCIStmt *st = lob_row(loc, err, r);
    if (st)
        loc->pg_bytes = loc->pg_chars = 0;
    return r;
}

sword pg_lob_write(OCILobLocator *loc, const uint8_t *p, size_t n, ub2 csid, ub1 csfrm, OCIError *err)
{
    sword r;
    OCIStmt *st = lob_row(loc, err, r);
    if (!st)
        return r;
    bool clob = loc->lobtype == SQLT_CLOB;
    if (!st->pg_begun) {
        st->pg_begun = true;
        if (clob) {
            const char *cs = lob_csid_name(loc->env, csid, csfrm ? csfrm : loc->csform);
            if (!cs)
                return oci_fail(err, 1482, "unsupported character set (id %u)", csid);
            cs_open(st->pg_cs, cs);
        } else {
            st->pg_buf += "\\\\x";
        }
    }
    loc->pg_bytes += n;
    if (clob) {
        std::string u;
        cs_convert(st->pg_cs, p, n, u, CS_INVALID_LATIN1, true);
        for (unsigned char c : u)
            loc->pg_chars += (c & 0xC0) != 0x80;
        pg_copy_escape(u.data(), u.size(), st->pg_buf);
    } else {
        loc->pg_chars += n;
        pg_hex(p, n, st->pg_buf);
    }
    return copy_flush(st, err);
}

sword pg_lob_close(OCISvcCtx *svc, OCILobLocator *loc, OCIError *err)
{
    (void)svc;
    sword r;
    OCIStmt *st = lob_row(loc, err, r);
    if (!st)
        return r;
    end_stream(st);
    return row_advance(st, err);
}

void pg_forget_stmt(OCIStmt *st)
{
    if (st->pg_srv && st->pg_srv->pg_copying == st) {
        PGresult *failed;
        OCIError scratch;
        copy_end(st->pg_srv, &scratch, &failed, true);
        PQclear(failed);
    }
    for (oci_handle *c : st->env->children)
        if (c->htype == OCI_DTYPE_LOB && static_cast<OCILobLocator *>(c)->pg_stmt == st)
            static_cast<OCILobLocator *>(c)->pg_stmt = nullptr;
}
