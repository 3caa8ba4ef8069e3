// Statements of the embedded layer: prepare (which only remembers the text),
// binds, execute (which reads the text then), and values supplied piece by
// piece at execute time.
#include <sys/stat.h>

#include <cstring>

#include "oci_impl.h"

enum : ub4 { MAX_ARRAY_ITERS = 32767 };

static bool connected(OCISvcCtx *svc)
{
    return svc->srv && svc->srv->attached && svc->ses && svc->ses->begun;
}

extern "C" sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len, ub4 language,
                                ub4 mode)
{
    if (!oci_check(stmtp, OCI_HTYPE_STMT) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (language < OCI_NTV_SYNTAX || language > OCI_V8_SYNTAX || mode != OCI_DEFAULT)
        return oci_fail(errhp, 24315, "illegal attribute type");
    if (!stmt || stmt_len == 0)
        return oci_fail(errhp, 900, "invalid SQL statement");
    // Preparing is local: the text is kept by address and read at execute
    // time, so it must stay valid while the statement is executed.
    for (OCIBind *b : stmtp->binds)
        if (b) {
            b->magic = 0;
            delete b;
        }
    stmtp->binds.clear();
    stmtp->text = stmt;
    stmtp->len = stmt_len;
    stmtp->prepared = true;
    stmtp->executing = false;
    return OCI_SUCCESS;
}

extern "C" sword OCIBindByPos(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, ub4 position, void *valuep,
                              sb4 value_sz, ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep, ub4 maxarr_len,
                              ub4 *curelep, ub4 mode)
{
    if (!oci_check(stmtp, OCI_HTYPE_STMT) || !oci_check(errhp, OCI_HTYPE_ERROR) || !bindp)
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (!stmtp->prepared)
        return oci_fail(errhp, 24337, "statement handle not prepared");
    if (position == 0 || position > 65535)
        return oci_fail(errhp, 1036, "illegal variable name/number");
    if (maxarr_len || curelep)
        return oci_fail(errhp, 1484, "arrays can only be bound to PL/SQL statements");
    if (mode != OCI_DEFAULT && mode != OCI_DATA_AT_EXEC)
        return oci_fail(errhp, 24315, "illegal attribute type");
    if (value_sz < 0 || (mode == OCI_DEFAULT && value_sz > 0 && !valuep))
        return oci_fail(errhp, 1460, "unimplemented or unreasonable conversion requested");
    if (stmtp->binds.size() < position)
        stmtp->binds.resize(position, nullptr);
    OCIBind *&slot = stmtp->binds[position - 1];
    if (!slot) {
        slot = new OCIBind;
        slot->htype = OCI_HTYPE_BIND;
        slot->env = stmtp->env;
        slot->stmt = stmtp;
    }
    OCIBind *b = slot;
    b->pos = position;
    b->valuep = valuep;
    b->value_sz = value_sz;
    b->dty = dty;
    b->indp = indp;
    b->alenp = alenp;
    b->rcodep = rcodep;
    b->mode = mode;
    b->pvskip = (ub4)value_sz;
    b->indskip = sizeof(sb2);
    b->alskip = sizeof(ub2);
    b->rcskip = sizeof(ub2);
    b->csform = SQLCS_IMPLICIT;
    *bindp = b;
    return OCI_SUCCESS;
}

extern "C" sword OCIBindArrayOfStruct(OCIBind *bindp, OCIError *errhp, ub4 pvskip, ub4 indskip, ub4 alskip,
                                      ub4 rcskip)
{
    if (!oci_check(bindp, OCI_HTYPE_BIND) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    // Values supplied at execute time have no arrays to step through.
    if (bindp->mode == OCI_DATA_AT_EXEC)
        return oci_fail(errhp, 24333, "array of structures not allowed for a bind at execute time");
    bindp->pvskip = pvskip;
    bindp->indskip = indskip;
    bindp->alskip = alskip;
    bindp->rcskip = rcskip;
    return OCI_SUCCESS;
}

// ---- execution ----

static std::string table_ref(const std::string &schema, const std::string &table)
{
    return sql_quote_ident(schema) + "." + sql_quote_ident(table);
}

static sword map_prepare_error(OCIError *err, sqlite3 *db, int rc)
{
    const char *m = sqlite3_errmsg(db);
    if (strstr(m, "no such table"))
        return oci_fail(err, 942, "table or view does not exist");
    if (strstr(m, "has no column named") || strstr(m, "no such column"))
        return oci_fail(err, 904, "invalid identifier (%s)", m);
    if (strstr(m, "already exists"))
        return oci_fail(err, 955, "name is already used by an existing object");
    return oci_sqlite_fail(err, db, rc);
}

static bool schema_file_exists(OCIServer *srv, const std::string &schema)
{
    if (srv->memory)
        return true;
    struct stat sb;
    return stat((srv->dir + "/" + schema + ".db").c_str(), &sb) == 0;
}

static sword run_alter(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    if (oci_attach_schema(svc->srv, st->parsed.schema, err) != 0)
        return OCI_ERROR;
    svc->ses->schema = st->parsed.schema;
    return OCI_SUCCESS;
}

static sword run_create(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    OCIServer *srv = svc->srv;
    const sql_statement &p = st->parsed;
    std::string schema = p.schema.empty() ? svc->ses->schema : p.schema;
    // DDL commits the open transaction first.
    if (srv->in_txn) {
        if (sqlite3_exec(srv->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return oci_sqlite_fail(err, srv->db, sqlite3_errcode(srv->db));
        srv->in_txn = false;
        oci_report_kept_utc(srv, true);
    }
    if (oci_attach_schema(srv, schema, err) != 0)
        return OCI_ERROR;
    std::string sql = "CREATE TABLE " + table_ref(schema, p.table) + " (";
    for (size_t i = 0; i < p.cols.size(); i++) {
        if (i)
            sql += ", ";
        sql += sql_quote_ident(p.cols[i].name) + " " + p.cols[i].decl;
    }
    sql += ")";
    sqlite3_stmt *ss = nullptr;
    int rc = sqlite3_prepare_v2(srv->db, sql.c_str(), -1, &ss, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(ss);
        return map_prepare_error(err, srv->db, rc);
    }
    rc = sqlite3_step(ss);
    sqlite3_finalize(ss);
    if (rc != SQLITE_DONE)
        return map_prepare_error(err, srv->db, rc);
    return OCI_SUCCESS;
}

// Reads the statement text now and makes the parse and the SQLite statement
// match it (kept from the last execution when the text is the same).
static sword load_statement(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    const char *text = reinterpret_cast<const char *>(st->text);
    const std::string &cur_schema = svc->ses->schema;
    if (st->ins && st->ins_db == svc->srv->db && st->cached_text.size() == st->len &&
        memcmp(st->cached_text.data(), text, st->len) == 0 &&
        (!st->parsed.schema.empty() || st->cached_schema == cur_schema))
        return OCI_SUCCESS;
    if (st->ins)
        sqlite3_finalize(st->ins);
    st->ins = nullptr;
    st->cached_text.clear();
    if (svc->srv->pg && st->cached_text.size() == st->len && memcmp(st->cached_text.data(), text, st->len) == 0 &&
        st->cached_schema == cur_schema)
        return OCI_SUCCESS;
    std::string msg;
    int code = sql_parse(text, st->len, st->parsed, msg);
    if (code)
        return oci_fail(err, code, "%s", msg.c_str());
    if (svc->srv->pg) {
        // PostgreSQL: the statement runs as COPY; only the parse is kept.
        if (st->parsed.kind == sql_statement::INSERT) {
            st->cached_text.assign(text, st->len);
            st->cached_schema = cur_schema;
        }
        return OCI_SUCCESS;
    }
    if (st->parsed.kind != sql_statement::INSERT)
        return OCI_SUCCESS;
    const sql_statement &p = st->parsed;
    std::string schema = p.schema.empty() ? cur_schema : p.schema;
    if (!schema_file_exists(svc->srv, schema))
        return oci_fail(err, 942, "table or view does not exist");
    if (oci_attach_schema(svc->srv, schema, err) != 0)
        return OCI_ERROR;
    std::string sql = "INSERT INTO " + table_ref(schema, p.table) + " (";
    for (size_t i = 0; i < p.cols.size(); i++)
        sql += (i ? ", " : "") + sql_quote_ident(p.cols[i].name);
    sql += ") VALUES (";
    for (size_t i = 0; i < p.cols.size(); i++)
        sql += (i ? ", ?" : "?") + std::to_string(i + 1);
    sql += ")";
    int rc = sqlite3_prepare_v3(svc->srv->db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st->ins, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st->ins);
        st->ins = nullptr;
        return map_prepare_error(err, svc->srv->db, rc);
    }
    st->ins_db = svc->srv->db;
    st->cached_text.assign(text, st->len);
    st->cached_schema = cur_schema;
    return OCI_SUCCESS;
}

static inline uint8_t *at(void *base, ub4 skip, ub4 row)
{
    return static_cast<uint8_t *>(base) + (size_t)skip * row;
}

int oci_bind_bytes(OCIBind *b, ub4 r, const uint8_t *&p, size_t &n, bool &null, OCIError *err)
{
    null = false;
    if (b->mode == OCI_DATA_AT_EXEC) {
        null = b->piece_null;
        p = reinterpret_cast<const uint8_t *>(b->pieces.data());
        n = b->pieces.size();
        return 0;
    }
    if (b->rcodep)
        *reinterpret_cast<ub2 *>(at(b->rcodep, b->rcskip, r)) = 0;
    sb2 ind = 0;
    if (b->indp)
        memcpy(&ind, at(b->indp, b->indskip, r), sizeof ind);
    if (ind < 0) {
        null = true;
        return 0;
    }
    ub2 alen = (ub2)b->value_sz;
    if (b->alenp)
        memcpy(&alen, at(b->alenp, b->alskip, r), sizeof alen);
    if ((sb4)alen > b->value_sz) {
        oci_fail(err, 1460, "value of %u bytes longer than its buffer of %d bytes", alen, (int)b->value_sz);
        return -1;
    }
    p = at(b->valuep, b->pvskip, r);
    n = alen;
    return 0;
}

// Converts the value of bind b at row r and binds it to SQLite parameter k.
// Returns 0, or an ORA code with the message recorded on err.
static int bind_value(OCIServer *srv, OCIStmt *st, OCIBind *b, ub4 r, int k, OCIError *err, bool &is_null)
{
    sqlite3_stmt *ss = st->ins;
    const uint8_t *p;
    size_t n;
    if (oci_bind_bytes(b, r, p, n, is_null, err) != 0)
        return -1;
    if (is_null)
        return sqlite3_bind_null(ss, k) == SQLITE_OK ? 0 : -1;
    OCIEnv *env = st->env;
    int code = 0;
    std::string &s = b->scratch;
    switch (b->dty) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG:
        if (n == 0) {   // Oracle has no empty strings
            is_null = true;
            return sqlite3_bind_null(ss, k) == SQLITE_OK ? 0 : -1;
        }
        cs_to_utf8(env, b->csform == SQLCS_NCHAR ? env->nchar_cs : env->client_cs, p, n, s);
        return sqlite3_bind_text(ss, k, s.data(), (int)s.size(), SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
    case SQLT_BIN:
    case SQLT_LBI:
        if (n == 0) {
            is_null = true;
            return sqlite3_bind_null(ss, k) == SQLITE_OK ? 0 : -1;
        }
        return sqlite3_bind_blob(ss, k, p, (int)n, SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
    case SQLT_NUM: {
        sql_value v;
        code = ora_number_value(p, n, v, s);
        if (code)
            break;
        if (v.kind == sql_value::INT)
            return sqlite3_bind_int64(ss, k, v.i) == SQLITE_OK ? 0 : -1;
        if (v.kind == sql_value::REAL)
            return sqlite3_bind_double(ss, k, v.d) == SQLITE_OK ? 0 : -1;
        return sqlite3_bind_text(ss, k, v.p, (int)v.n, SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
    }
    case SQLT_DAT: code = ora_date_text(p, n, s); break;
    case 180:
    case 231: code = ora_timestamp_text(p, n, false, s); break;
    case 181: {
        tz_region_miss miss;
        code = ora_timestamp_text(p, n, true, s, &miss);
        if (miss.missed)
            srv->kept_utc[{st->parsed.table, st->parsed.cols[k - 1].name, miss.id}]++;
        break;
    }
    case 182: code = ora_interval_ym_text(p, n, s); break;
    case 183: code = ora_interval_ds_text(p, n, s); break;
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
        double d;
        code = ora_binary_float(p, n, b->dty == SQLT_IBDOUBLE, d);
        if (code)
            break;
        if (d != d) {   // SQLite would store a NaN as NULL
            s = "NaN";
            return sqlite3_bind_text(ss, k, s.data(), 3, SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
        }
        return sqlite3_bind_double(ss, k, d) == SQLITE_OK ? 0 : -1;
    }
    case SQLT_CLOB:
    case SQLT_BLOB: {
        OCILobLocator *loc = nullptr;
        if (n >= sizeof loc)
            memcpy(&loc, p, sizeof loc);
        if (!oci_check(loc, OCI_DTYPE_LOB) || !loc->empty) {
            oci_fail(err, 22275, "invalid LOB locator specified");
            return -1;
        }
        if (b->dty == SQLT_CLOB)
            return sqlite3_bind_text(ss, k, "", 0, SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
        return sqlite3_bind_zeroblob(ss, k, 0) == SQLITE_OK ? 0 : -1;
    }
    default:
        oci_fail(err, 1460, "unimplemented or unreasonable conversion requested (type %u)", b->dty);
        return -1;
    }
    if (code) {
        oci_fail(err, code, "%s", ora_message(code));
        return -1;
    }
    return sqlite3_bind_text(ss, k, s.data(), (int)s.size(), SQLITE_STATIC) == SQLITE_OK ? 0 : -1;
}

int oci_fill_returning(OCISvcCtx *svc, OCIStmt *st, ub4 r, sqlite3_int64 rowid, const std::vector<char> &nulls,
                       OCIError *err)
{
    const sql_statement &p = st->parsed;
    std::string schema = p.schema.empty() ? svc->ses->schema : p.schema;
    for (size_t j = 0; j < p.returning.size(); j++) {
        OCIBind *b = st->binds[p.nvalues + j];
        if (b->mode != OCI_DEFAULT || (b->dty != SQLT_CLOB && b->dty != SQLT_BLOB)) {
            oci_fail(err, 1460, "unimplemented or unreasonable conversion requested");
            return -1;
        }
        size_t c = 0;
        while (c < p.cols.size() && p.cols[c].name != p.returning[j])
            c++;
        if (c < p.cols.size() && st->binds[c]->dty != b->dty) {
            oci_fail(err, 932, "inconsistent datatypes");
            return -1;
        }
        OCILobLocator *loc = nullptr;
        if (b->value_sz >= (sb4)sizeof loc)
            memcpy(&loc, at(b->valuep, b->pvskip, r), sizeof loc);
        if (!oci_check(loc, OCI_DTYPE_LOB)) {
            oci_fail(err, 22275, "invalid LOB locator specified");
            return -1;
        }
        bool null = c >= p.cols.size() || nulls[c];
        loc->empty = false;
        loc->valid = !null;
        loc->open = loc->streaming = false;
        if (!null) {
            loc->srv = svc->srv;
            loc->schema = schema;
            loc->table = p.table;
            loc->column = p.returning[j];
            loc->rowid = rowid;
            loc->lobtype = b->dty;
            loc->csform = b->csform;
            loc->pg_stmt = svc->srv->pg ? st : nullptr;
            loc->pg_col = (int)c;
        }
        if (b->indp) {
            sb2 ind = null ? -1 : 0;
            memcpy(at(b->indp, b->indskip, r), &ind, sizeof ind);
        }
        if (b->alenp) {
            ub2 alen = null ? 0 : (ub2)sizeof loc;
            memcpy(at(b->alenp, b->alskip, r), &alen, sizeof alen);
        }
        if (b->rcodep)
            *reinterpret_cast<ub2 *>(at(b->rcodep, b->rcskip, r)) = 0;
    }
    return 0;
}

static void reset_pieces(OCIStmt *st)
{
    for (OCIBind *b : st->binds)
        if (b && b->mode == OCI_DATA_AT_EXEC) {
            b->pieces.clear();
            b->piece_null = b->piece_done = b->piece_given = false;
            b->npieces = 0;
        }
}

// Runs the rows of an INSERT from st->row on; returns OCI_NEED_DATA when a
// value bound for execute time has not been given completely.
static sword run_insert_rows(OCISvcCtx *svc, OCIStmt *st, OCIError *err)
{
    const sql_statement &p = st->parsed;
    std::vector<char> nulls(p.cols.size());
    for (; st->row < st->iters; st->row++) {
        // Every value bound for execute time is asked for, whatever its
        // indicator says: only the piece's own indicator can make it NULL.
        for (int i = 0; i < p.nvalues; i++) {
            OCIBind *b = st->binds[i];
            if (b->mode == OCI_DATA_AT_EXEC && !b->piece_done) {
                st->pending = (ub4)i;
                b->piece_given = false;
                return OCI_NEED_DATA;
            }
        }
        for (int i = 0; i < p.nvalues; i++) {
            bool is_null;
            if (bind_value(svc->srv, st, st->binds[i], st->row, i + 1, err, is_null) != 0) {
                if (!err->set)
                    oci_sqlite_fail(err, svc->srv->db, sqlite3_errcode(svc->srv->db));
                return OCI_ERROR;
            }
            nulls[i] = is_null;
        }
        int rc = sqlite3_step(st->ins);
        sqlite3_reset(st->ins);
        if (rc != SQLITE_DONE)
            return map_prepare_error(err, svc->srv->db, rc);
        if (!p.returning.empty() &&
            oci_fill_returning(svc, st, st->row, sqlite3_last_insert_rowid(svc->srv->db), nulls, err) != 0)
            return OCI_ERROR;
        st->row_count++;
        reset_pieces(st);
    }
    return OCI_SUCCESS;
}

extern "C" sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters, ub4 rowoff,
                                const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode)
{
    if (!oci_check(svchp, OCI_HTYPE_SVCCTX) || !oci_check(stmtp, OCI_HTYPE_STMT) ||
        !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (!connected(svchp))
        return oci_fail(errhp, 3114, "not connected to ORACLE");
    if (!stmtp->prepared)
        return oci_fail(errhp, 24337, "statement handle not prepared");
    if (snap_in || snap_out || mode != OCI_DEFAULT)
        return oci_fail(errhp, 24315, "illegal attribute type");
    sword r;
    bool again = stmtp->executing;
    if (stmtp->executing) {
        // Going on with a statement that asked for data.
        OCIBind *b = stmtp->binds[stmtp->pending];
        if (!b->piece_given)
            return oci_fail(errhp, 3129, "the next piece to be inserted is required");
    } else {
        if (iters == 0)
            return oci_fail(errhp, 24333, "zero iteration count");
        r = load_statement(svchp, stmtp, errhp);
        if (r != OCI_SUCCESS)
            return r;
        const sql_statement &p = stmtp->parsed;
        bool pg = svchp->srv->pg;
        if (p.kind == sql_statement::ALTER_SCHEMA)
            return pg ? pg_alter(svchp, stmtp, errhp) : run_alter(svchp, stmtp, errhp);
        if (p.kind == sql_statement::CREATE_TABLE)
            return pg ? pg_create(svchp, stmtp, errhp) : run_create(svchp, stmtp, errhp);
        if (iters > MAX_ARRAY_ITERS)
            return oci_fail(errhp, 24381, "error(s) in array DML: %u iterations exceed the limit of %u", iters,
                            (unsigned)MAX_ARRAY_ITERS);
        if (rowoff >= iters)
            return oci_fail(errhp, 24333, "zero iteration count");
        size_t need = p.nvalues + p.returning.size();
        if (stmtp->binds.size() < need)
            stmtp->binds.resize(need, nullptr);
        for (size_t i = 0; i < need; i++)
            if (!stmtp->binds[i])
                return oci_fail(errhp, 1008, "not all variables bound");
        if (oci_begin_txn(svchp->srv, errhp) != 0)
            return OCI_ERROR;
        stmtp->iters = iters;
        stmtp->row = rowoff;
        stmtp->row_count = 0;
        reset_pieces(stmtp);
        stmtp->executing = true;
    }
    r = svchp->srv->pg ? pg_insert_rows(svchp, stmtp, errhp, again) : run_insert_rows(svchp, stmtp, errhp);
    if (r != OCI_NEED_DATA)
        stmtp->executing = false;
    return r;
}

extern "C" sword OCIStmtGetPieceInfo(OCIStmt *stmtp, OCIError *errhp, void **hndlpp, ub4 *typep, ub1 *in_outp,
                                     ub4 *iterp, ub4 *idxp, ub1 *piecep)
{
    if (!oci_check(stmtp, OCI_HTYPE_STMT) || !oci_check(errhp, OCI_HTYPE_ERROR) || !hndlpp || !typep ||
        !in_outp || !iterp || !idxp || !piecep)
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    if (!stmtp->executing)
        return oci_fail(errhp, 24336, "no piece of data is asked for");
    OCIBind *b = stmtp->binds[stmtp->pending];
    *hndlpp = b;
    *typep = OCI_HTYPE_BIND;
    *in_outp = OCI_PARAM_IN;
    *iterp = stmtp->row;
    *idxp = 0;
    *piecep = b->npieces == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
    return OCI_SUCCESS;
}

extern "C" sword OCIStmtSetPieceInfo(void *hndlp, ub4 type, OCIError *errhp, const void *bufp, ub4 *alenp,
                                     ub1 piece, const void *indp, ub2 *rcodep)
{
    if (type != OCI_HTYPE_BIND || !oci_check(hndlp, OCI_HTYPE_BIND) || !oci_check(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    oci_clear(errhp);
    OCIBind *b = static_cast<OCIBind *>(hndlp);
    OCIStmt *st = b->stmt;
    if (!st->executing || st->binds[st->pending] != b)
        return oci_fail(errhp, 24336, "no piece of data is asked for this bind");
    if (piece > OCI_LAST_PIECE)
        return oci_fail(errhp, 24315, "illegal attribute type");
    sb2 ind = 0;
    if (indp)
        memcpy(&ind, indp, sizeof ind);
    ub4 len = alenp ? *alenp : 0;
    if (len && !bufp)
        return oci_fail(errhp, 3131, "an invalid buffer was provided for the next piece");
    if (st->pg_srv) {
        // PostgreSQL: the piece goes into the row's COPY as it comes.
        sword r = pg_piece(b, static_cast<const uint8_t *>(bufp), ind < 0 ? 0 : len, ind < 0,
                           ind < 0 || piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE, errhp);
        if (r != OCI_SUCCESS)
            return r;
        b->piece_done = ind < 0 || piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE;
    } else if (ind < 0) {
        b->piece_null = true;
        b->pieces.clear();
        b->piece_done = true;
    } else {
        if ((sb4)(b->pieces.size() + len) > b->value_sz || b->pieces.size() + len < b->pieces.size())
            return oci_fail(errhp, 1461, "can bind a LONG value only for insert into a LONG column");
        b->pieces.append(static_cast<const char *>(bufp), len);
        b->piece_done = piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE;
    }
    b->npieces++;
    b->piece_given = true;
    if (rcodep)
        *rcodep = 0;
    return OCI_SUCCESS;
}
