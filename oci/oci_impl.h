// The embedded OCI layer's own records: what each handle and descriptor of
// oci.h holds, and the helpers the layer's sources share. The target is a
// directory of SQLite databases, one per schema, attached to one connection,
// or a PostgreSQL server (libpq) when the connect string names one.
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kelvo/values.h"
#include "oci.h"

// Every handle starts with this record; a pointer whose magic or type does not
// match is refused with OCI_INVALID_HANDLE.
enum : uint32_t { OCI_HANDLE_MAGIC = 0x4B4F4349u };

struct oci_handle {
    uint32_t magic = OCI_HANDLE_MAGIC;
    uint32_t htype = 0;
    OCIEnv *env = nullptr;
};

struct OCIEnv : oci_handle {
    std::string client_cs;   // from NLS_LANG, the part after the point
    std::string nchar_cs;    // from NLS_NCHAR (AL16UTF16 when unset)
    std::map<std::string, cs_converter> conv;
    std::vector<oci_handle *> children;   // freed with the environment
};

struct OCIError : oci_handle {
    bool set = false;
    sb4 code = 0;
    std::string msg;
};

struct OCIServer : oci_handle {
    sqlite3 *db = nullptr;
    std::string dir;          // schema databases live here; empty for memory
    bool memory = false;      // tnsname ":memory:": schemas are in memory
    bool attached = false;
    bool in_txn = false;
    int open_lobs = 0;        // LOBs opened in the current transaction
    std::vector<std::string> schemas;   // attached schema names
    // Values of the open transaction kept as UTC because their time zone
    // region could not be resolved, counted by (table, column, region id);
    // reported when the transaction commits (oci_report_kept_utc).
    std::map<std::tuple<std::string, std::string, unsigned>, long> kept_utc;
    // PostgreSQL target: the connect string after its prefix, the connection
    // (made when the session begins), and the statement whose COPY is open.
    bool pg = false;
    std::string pg_conninfo;
    PGconn *pg_conn = nullptr;
    bool pg_savepoint = false;   // the transaction holds the row savepoint
    OCIStmt *pg_copying = nullptr;
};

struct OCISession : oci_handle {
    std::string user, password;
    bool user_set = false;
    bool begun = false;
    std::string schema;       // current schema
    OCISvcCtx *svc = nullptr;
};

struct OCISvcCtx : oci_handle {
    OCIServer *srv = nullptr;
    OCISession *ses = nullptr;
};

struct OCIStmt;

struct OCIBind : oci_handle {
    OCIStmt *stmt = nullptr;
    ub4 pos = 0;
    void *valuep = nullptr;
    sb4 value_sz = 0;
    ub2 dty = 0;
    void *indp = nullptr;
    ub2 *alenp = nullptr;
    ub2 *rcodep = nullptr;
    ub4 mode = 0;
    ub4 pvskip = 0, indskip = 0, alskip = 0, rcskip = 0;
    ub1 csform = SQLCS_IMPLICIT;
    // Data supplied at execute time, piece by piece.
    std::string pieces;
    bool piece_null = false;
    bool piece_done = false;
    bool piece_given = false;   // a piece arrived since the last request
    int npieces = 0;
    // Scratch for the converted value of the current row.
    std::string scratch;
};

struct OCILobLocator : oci_handle {
    bool empty = false;        // OCI_ATTR_LOBEMPTY was set
    bool valid = false;        // points at a stored LOB
    ub2 lobtype = 0;           // SQLT_CLOB or SQLT_BLOB
    ub1 csform = SQLCS_IMPLICIT;
    OCIServer *srv = nullptr;
    std::string schema, table, column;
    sqlite3_int64 rowid = 0;
    bool open = false;
    bool streaming = false;    // between a first and a last piece
    std::string acc;           // bytes of the stream so far
    oraub8 offset = 1;
    ub2 csid = 0;
    // PostgreSQL target: the statement whose row the value belongs to, its
    // column, and the bytes and characters sent by the current write.
    OCIStmt *pg_stmt = nullptr;
    int pg_col = -1;
    oraub8 pg_bytes = 0, pg_chars = 0;
};

// A parsed statement of one of the shapes the layer runs.
struct sql_column {
    std::string name;
    std::string type;          // Oracle type text as written
    std::string decl;          // SQLite declaration
};

struct sql_statement {
    enum kind_t { NONE, ALTER_SCHEMA, CREATE_TABLE, INSERT } kind = NONE;
    std::string schema;        // empty: the session's current schema
    std::string table;
    std::vector<sql_column> cols;       // create: columns; insert: names
    std::vector<std::string> returning; // insert: RETURNING columns
    int nvalues = 0;                    // insert: placeholders in VALUES
};

struct OCIStmt : oci_handle {
    const OraText *text = nullptr;      // the caller's text, read at execute time
    ub4 len = 0;
    bool prepared = false;
    std::vector<OCIBind *> binds;       // index = position - 1
    // Cache of the last parse: the text it came from and the SQLite statement.
    std::string cached_text;
    std::string cached_schema;
    sql_statement parsed;
    sqlite3_stmt *ins = nullptr;
    sqlite3 *ins_db = nullptr;
    // Execution in progress (data at execute time).
    bool executing = false;
    ub4 iters = 0, row = 0;
    ub4 pending = 0;                    // bind index that needs data
    ub4 row_count = 0;
    // PostgreSQL target: the row sent through COPY piece by piece (tables
    // with values given at execute time or through LOB locators): its
    // columns as COPY text, the next column to send, and the LOB columns
    // still to come.
    OCIServer *pg_srv = nullptr;     // set while a COPY of the statement runs
    std::vector<int> pg_order;       // bind indexes in COPY order: LOBs last
    std::vector<std::string> pg_vals;
    std::vector<char> pg_null;
    std::vector<char> pg_stream;     // the value comes in pieces (LONG, LOB)
    size_t pg_next = 0;              // position in pg_order
    bool pg_begun = false;           // the value in pieces has sent a piece
    cs_converter pg_cs;              // the character set of a value in pieces
    std::string pg_buf;              // COPY data not sent yet
};

// ---- shared helpers ----
bool oci_check(const void *h, ub4 type);
sword oci_fail(OCIError *err, sb4 code, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
sword oci_sqlite_fail(OCIError *err, sqlite3 *db, int rc);
void oci_clear(OCIError *err);

// Statement text parsing (sql_parse.cpp): 0, or an ORA code with a message.
int sql_parse(const char *text, size_t len, sql_statement &st, std::string &msg);

// Character sets (charset.cpp): converts n bytes in the Oracle set cs to UTF-8
// (the shared converters of kelvo/values.h, one per set and environment).
void cs_to_utf8(OCIEnv *env, const std::string &cs, const uint8_t *p, size_t n, std::string &out);
void cs_release(OCIEnv *env);

// The bytes of bind b at array row r (statement.cpp): 0, or -1 with the
// error on err; null when the indicator says NULL.
int oci_bind_bytes(OCIBind *b, ub4 r, const uint8_t *&p, size_t &n, bool &null, OCIError *err);
// Fills the RETURNING locators of row r after its insert (statement.cpp).
int oci_fill_returning(OCISvcCtx *svc, OCIStmt *st, ub4 r, sqlite3_int64 rowid, const std::vector<char> &nulls,
                       OCIError *err);
// The Oracle character set of a LOB buffer by its csid (lob.cpp).
const char *lob_csid_name(OCIEnv *env, ub2 csid, ub1 form);

// PostgreSQL target (pg.cpp, pg_value.cpp).
bool pg_connect_string(const std::string &name, std::string &conninfo);
sword pg_session_begin(OCIServer *srv, OCISession *ses, OCIError *err);
sword pg_finish_txn(OCIServer *srv, OCIError *err, bool commit);
int pg_begin_txn(OCIServer *srv, OCIError *err);
void pg_close(OCIServer *srv);
sword pg_alter(OCISvcCtx *svc, OCIStmt *st, OCIError *err);
sword pg_create(OCISvcCtx *svc, OCIStmt *st, OCIError *err);
sword pg_insert_rows(OCISvcCtx *svc, OCIStmt *st, OCIError *err, bool again);
sword pg_piece(OCIBind *b, const uint8_t *p, size_t n, bool null, bool last, OCIError *err);
sword pg_lob_open(OCILobLocator *loc, OCIError *err);
sword pg_lob_write(OCILobLocator *loc, const uint8_t *p, size_t n, ub2 csid, ub1 csfrm, OCIError *err);
sword pg_lob_close(OCISvcCtx *svc, OCILobLocator *loc, OCIError *err);
// A statement that goes: its row in pieces is abandoned, its locators let go.
void pg_forget_stmt(OCIStmt *st);
// Names and values in PostgreSQL's terms (pg_value.cpp).
std::string pg_name(const std::string &oracle_name);
std::string pg_ident(const std::string &oracle_name);
std::string pg_type(const std::string &oracle_type, int nchar_width);
int pg_value_text(OCIEnv *env, ub2 dty, ub1 csform, const uint8_t *p, size_t n, std::string &out, bool &null);
void pg_copy_escape(const char *p, size_t n, std::string &out);
void pg_hex(const uint8_t *p, size_t n, std::string &out);

// Schemas (session.cpp).
int oci_attach_schema(OCIServer *srv, const std::string &schema, OCIError *err);
int oci_begin_txn(OCIServer *srv, OCIError *err);
// One line on standard error for each (table, column, region id) counted in
// kept_utc when committed is true; the counts are cleared either way.
void oci_report_kept_utc(OCIServer *srv, bool committed);
