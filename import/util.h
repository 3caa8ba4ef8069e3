// The importer: the working record, the OCI handles and the procedures of the
// import program. The dump file records are the unloader's own (kelvo/dump.h).
#pragma once

#include <oci.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "kelvo/dump.h"

constexpr int MAX_COLUMNS = 1000;

// ---- command line ----
typedef struct __args {
    char username[32];
    char password[32];
    char tnsname[512];   // a PostgreSQL conninfo string can be long
} ARGS;

// ---- bind descriptors ----
constexpr int BIND_LONG = 0x01;
constexpr int BIND_LOB = 0x02;
constexpr int BIND_NCHAR = 0x04;

// What the current row holds in a column of the one-row path.
enum { MARK_VALUE = 0, MARK_NULL = 1, MARK_LONG = 2, MARK_LOB = 3 };

typedef struct __bind_column {
    uint32_t flag;          // BIND_LONG, BIND_LOB, BIND_NCHAR
    uint32_t vsz;           // bytes per row in the value array
    uint32_t ctype;         // Oracle type code, the bind's data type
    int16_t *indp;
    uint16_t *alenp;
    uint16_t *rcodep;
    uint8_t *valp;
    OCIBind *bndp;
    uint32_t mark;          // MARK_* of the current row (one-row path)
    uint32_t col;           // column index (RETURNING binds: the LOB column)
} BIND_COLUMN;

// ---- the working record ----
constexpr int IMP_IGNORE = 0x01;
constexpr int MAX_SELECTED = 256;   // names in TABLES=
constexpr int READ_WINDOW_SIZE = 2 * 1024 * 1024;
constexpr int BIND_AREA_SIZE = 4 * 1024 * 1024;
constexpr int MAX_ARRAY_ROWS = 32767;
typedef struct __imp {
    int flag;
    int fd;
    int max_row;
    int nrow;
    int buf_sz;
    int rsz;
    int asz;
    int ntab;
    int dlen;
    int rtail;
    uint64_t data_ofs;
    FILE *ofp;
    uint8_t *buf;
    uint8_t *rbuf;
    uint8_t *abuf;
    TAB_INFO *tabp;
    COL_INFO *colp;
    BIND_COLUMN *bc;
    char owner_name[32];
    char dump_filename[256];
    char log_filename[256];
    // The window ends at the end of the file: no refill can bring more.
    int eof;
    // The current table: columns and LOB columns counted from its columns.
    int ncol;
    int nlob;
    // The current table: rows read from the dump and rows the target rejected.
    int row_no;
    int nrej;
    // The run: tables imported and skipped, rows imported and rejected, and
    // warnings (partial tables, selected tables not in the dump).
    int tables_done;
    int tables_skipped;
    long rows_done;
    long rows_rejected;
    int warnings;
    // TABLES=: the names to import (none: every table), and which were met.
    int nsel;
    char sel_name[MAX_SELECTED][32];
    char sel_found[MAX_SELECTED];
} IMP;

// What an error of the target stops: the row (rejected, the table goes on),
// the table (rolled back and skipped) or the run.
enum { SCOPE_ROW = 0, SCOPE_TABLE = 1, SCOPE_RUN = 2 };

typedef struct __oci_env {
    int mode;
    OCIEnv *envhp;
    OCIError *errhp;
    OCISvcCtx *svchp;
    OCIServer *srvhp;
    OCISession *usrhp;
    OCIStmt *smthp;
} OCI_ENV;

extern ARGS g_args;
extern IMP g_imp;
extern OCI_ENV g_env;
extern int g_oec;
extern char g_oem[16384];
extern OCILobLocator *g_empty_lobp;

static inline uint16_t be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }
static inline uint32_t be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
static inline uint64_t be64(const uint8_t *p) { return ((uint64_t)be32(p) << 32) | be32(p + 4); }

// ---- driver and session ----
int import_main(int argc, char **argv);
int parse_arguments(int argc, char **argv);
void show_usage(const char *prog_name, FILE *to);
void show_copyright();
int connect_oracle(const char *user, const char *passwd, const char *tns);
int disconnect_oracle();
int check_error(void *errhp, sword status);
int get_ora_code();
char *get_ora_message();
void imp_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int error_scope(int code);
const char *error_column(const char *msg, const COL_INFO *cols, int ncol, char *out, size_t size);
int reject_row(int ti, int row);
int set_current_schema();

// ---- dump reading and table creation ----
int read_dump_head(HEAD_INFO *hi);
int read_table_information();
char *get_type_name(COL_INFO *ci);
int create_table(const char *tab_name, COL_INFO *cp, int ncol);

// ---- row insertion ----
int import_table(int ti);
int read_file();
int fill_window(int need);
int peek_word(int need);
int start_rows(int ti, int extra, int *row_len);
int read_exact(uint8_t *dst, size_t n, uint64_t off);
void print_progress(int ti);
int read_row(int ti, int slot, int single);
int prepare_insert(int ti);
int import_multiple_row(int ti);
int import_single_row(int ti);
int execute_insert(int nrows, int rowoff);
int report_insert_error(int ti, int row);
int insert_long_piece(int has_value);
int skip_value_record(int lob);
int insert_lob(int bi);
int commit_table(int ti);
int free_return_lob_locator(int ti);
