// The import driver: command line, banner, usage, and the run from the dump
// header to the last table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kelvo/version.h"
#include "util.h"

ARGS g_args;
IMP g_imp;

static const char *arg_value(const char *arg, size_t skip)
{
    // A keyword given without its value ("FILE") has an empty value rather
    // than one read past the end of the argument.
    return strlen(arg) >= skip ? arg + skip : "";
}

static bool keyword(const char *arg, const char *upper, const char *lower)
{
    size_t n = strlen(upper);
    return strncmp(arg, upper, n) == 0 || strncmp(arg, lower, n) == 0;
}

static void copy_cut(char *dst, const char *src, size_t size)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

void show_usage(const char *prog_name, FILE *to)
{
    fprintf(to,
            "%s KEYWORD=value\n\nUSERID must be the first parameter on the command line.\n\n"
            "USERID       username/password@tnsname\nFILE         input files (EXPDAT.DMP)\n"
            "TOUSER       list of usernames\nIGNORE       ignore create erros (N)\n"
            "LOG          log file of screen output\n"
            "TABLES       list of table names to import (all)\n\n",
            prog_name);
}

// HELP=Y, --help and --version: the usage and the version on standard output.
static void show_help(const char *prog_name)
{
    show_usage(prog_name, stdout);
    printf("%s %s\n", KELVO_PROGRAM_NAME, KELVO_VERSION);
}

static bool asks_help(const char *arg)
{
    return keyword(arg, "HELP=Y", "help=y") || strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 ||
           strcmp(arg, "--version") == 0 || strcmp(arg, "-V") == 0;
}

void show_copyright()
{
    fprintf(stderr, "\n" KELVO_PROGRAM_NAME " " KELVO_VERSION_TEXT
                    ": loads a kelvo dump file into a database through the Oracle Call Interface\n\n"
                    "Copyright (c) 2026 the kelvo developers.\n\n");
}

static int parse_userid(const char *value)
{
    const char *slash = strchr(value, '/');
    if (!slash) {
        imp_error("USERID parameter format error.\n");
        return -1;
    }
    size_t ulen = slash - value;
    if (ulen >= sizeof g_args.username) {
        imp_error("Argument \"username\" too long.\n");
        return -1;
    }
    memcpy(g_args.username, value, ulen);
    g_args.username[ulen] = 0;
    const char *pw = slash + 1;
    const char *at = strchr(pw, '@');
    if (at) {
        size_t plen = at - pw;
        if (plen >= sizeof g_args.password) {
            imp_error("Argument \"password\" too long.\n");
            return -1;
        }
        memcpy(g_args.password, pw, plen);
        g_args.password[plen] = 0;
        copy_cut(g_args.tnsname, at + 1, sizeof g_args.tnsname);
    } else {
        copy_cut(g_args.password, pw, sizeof g_args.password);
        g_args.tnsname[0] = 0;
    }
    return 0;
}

// A name as typed, v[0..n): upper case unless double-quoted, when it runs to
// the closing quote and keeps its case. Returns -1 when it does not fit 31
// characters or its quote is not closed.
static int typed_name(const char *v, size_t n, char out[32])
{
    if (n > 0 && v[0] == '"') {
        const char *q = static_cast<const char *>(memchr(v + 1, '"', n - 1 < 32 ? n - 1 : 32));
        if (!q)
            return -1;
        size_t len = q - (v + 1);
        memcpy(out, v + 1, len);
        out[len] = 0;
        return 0;
    }
    if (n > 31)
        return -1;
    for (size_t i = 0; i < n; i++)
        out[i] = (v[i] >= 'a' && v[i] <= 'z') ? (char)(v[i] - 'a' + 'A') : v[i];
    out[n] = 0;
    return 0;
}

static int parse_owner(const char *v)
{
    if (typed_name(v, strlen(v), g_imp.owner_name) != 0) {
        imp_error("Owner argument too large.\n");
        return -1;
    }
    return 0;
}

// TABLES=name,name,... (or in parentheses): the tables of the dump to import.
static int parse_tables(const char *v)
{
    size_t len = strlen(v);
    if (len >= 2 && v[0] == '(' && v[len - 1] == ')') {
        v++;
        len -= 2;
    }
    const char *end = v + len;
    g_imp.nsel = 0;
    while (v < end) {
        const char *p = v;
        if (*p == '"') {
            const char *q = static_cast<const char *>(memchr(p + 1, '"', end - p - 1));
            p = q ? q + 1 : end;
        }
        while (p < end && *p != ',')
            p++;
        if (p > v) {
            if (g_imp.nsel == MAX_SELECTED) {
                imp_error("More than %d names in TABLES.\n", MAX_SELECTED);
                return -1;
            }
            if (typed_name(v, (size_t)(p - v), g_imp.sel_name[g_imp.nsel]) != 0) {
                imp_error("Table name %.*s in TABLES not valid.\n", (int)(p - v), v);
                return -1;
            }
            g_imp.nsel++;
        }
        v = p < end ? p + 1 : end;
    }
    if (g_imp.nsel == 0) {
        imp_error("No table names in TABLES.\n");
        return -1;
    }
    return 0;
}

int parse_arguments(int argc, char **argv)
{
    memset(&g_args, 0, sizeof g_args);
    memset(&g_imp, 0, sizeof g_imp);
    const char *prog = argc > 0 && argv[0] ? argv[0] : "import";
    if (argc < 2) {
        show_usage(prog, stderr);
        return -1;
    }
    for (int i = 1; i < argc; i++)
        if (asks_help(argv[i])) {
            show_help(prog);
            return 1;
        }
    const char *first = argv[1];
    const char *value = first;
    if (keyword(first, "USERID", "userid")) {
        const char *eq = strchr(first, '=');
        if (!eq) {
            imp_error("USERID parameter format error.\n");
            show_usage(prog, stderr);
            return -1;
        }
        value = eq + 1;
    }
    if (parse_userid(value) != 0) {
        show_usage(prog, stderr);
        return -1;
    }
    for (int i = 2; i < argc; i++) {
        const char *a = argv[i];
        if (keyword(a, "FILE", "file")) {
            copy_cut(g_imp.dump_filename, arg_value(a, 5), sizeof g_imp.dump_filename);
        } else if (keyword(a, "LOG", "log")) {
            copy_cut(g_imp.log_filename, arg_value(a, 4), sizeof g_imp.log_filename);
        } else if (keyword(a, "TOUSER", "touser")) {
            if (parse_owner(arg_value(a, 7)) != 0) {
                show_usage(prog, stderr);
                return -1;
            }
        } else if (keyword(a, "TABLES", "tables")) {
            if (parse_tables(arg_value(a, 7)) != 0) {
                show_usage(prog, stderr);
                return -1;
            }
        } else if (keyword(a, "IGNORE=Y", "ignore=y")) {
            g_imp.flag |= IMP_IGNORE;
        } else {
            imp_error("Invalid parameter \"%s\" specified.\n", a);
            show_usage(prog, stderr);
            return -1;
        }
    }
    if (!g_imp.dump_filename[0]) {
        imp_error("Output file not specified.\n");
        show_usage(prog, stderr);
        return -1;
    }
    return 0;
}

static void clean_up()
{
    if (g_imp.ofp && g_imp.ofp != stdout)
        fclose(g_imp.ofp);
    g_imp.ofp = stdout;
    disconnect_oracle();
    if (g_imp.fd >= 0)
        close(g_imp.fd);
    g_imp.fd = -1;
    free(g_imp.buf);
    g_imp.buf = g_imp.rbuf = g_imp.abuf = nullptr;
    g_imp.tabp = nullptr;
}

// Whether TABLES= asks for the table (every table when it is not given).
static bool selected(const char *name)
{
    if (g_imp.nsel == 0)
        return true;
    bool found = false;
    for (int i = 0; i < g_imp.nsel; i++)
        if (strcmp(g_imp.sel_name[i], name) == 0) {
            g_imp.sel_found[i] = 1;
            found = true;
        }
    return found;
}

// Returns 0 when every row of every table went in, 1 when the run completed
// with rows rejected, tables skipped or warnings, -1 when it could not.
static int run(HEAD_INFO &hi)
{
    g_imp.ofp = stdout;
    if (g_imp.log_filename[0]) {
        FILE *f = fopen(g_imp.log_filename, "w");
        if (f)
            g_imp.ofp = f;
        else
            imp_error("Open LOG file error, output to screen.\n");
    }
    g_imp.fd = open(g_imp.dump_filename, O_RDONLY);
    if (g_imp.fd < 0) {
        imp_error("Open %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    if (read_dump_head(&hi) != 0)
        return -1;
    if (memcmp(hi.magic, DUMP_MAGIC, sizeof DUMP_MAGIC) != 0) {
        imp_error("File is not exported by these utilities.\n");
        return -1;
    }
    // The table information area must exist before memory is sized by it.
    struct stat sb;
    if (fstat(g_imp.fd, &sb) != 0) {
        imp_error("Read %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    uint64_t tinf = (uint64_t)hi.tab_cnt * sizeof(TAB_INFO);
    if (DUMP_HEAD_SIZE + tinf > (uint64_t)sb.st_size) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        imp_error("Read table information error.\n");
        return -1;
    }
    uint64_t tsz = (tinf + 511) / 512 * 512;
    uint64_t total = tsz + READ_WINDOW_SIZE + BIND_AREA_SIZE;
    if (total > 0x7FFFFFFF) {
        imp_error("Allocate memory (%d) error: %s\n", -1, strerror(ENOMEM));
        return -1;
    }
    g_imp.buf_sz = (int)total;
    g_imp.buf = static_cast<uint8_t *>(malloc(g_imp.buf_sz));
    if (!g_imp.buf) {
        imp_error("Allocate memory (%d) error: %s\n", g_imp.buf_sz, strerror(errno));
        return -1;
    }
    g_imp.rsz = READ_WINDOW_SIZE;
    g_imp.asz = BIND_AREA_SIZE;
    g_imp.tabp = reinterpret_cast<TAB_INFO *>(g_imp.buf);
    g_imp.rbuf = g_imp.buf + tsz;
    g_imp.abuf = g_imp.rbuf + g_imp.rsz;
    g_imp.ntab = (int)hi.tab_cnt;
    if (!g_imp.owner_name[0])
        copy_cut(g_imp.owner_name, hi.owner, sizeof g_imp.owner_name);
    hi.nls_lang[sizeof hi.nls_lang - 1] = 0;
    hi.ncharset[sizeof hi.ncharset - 1] = 0;
    if (setenv("NLS_LANG", hi.nls_lang, 1) != 0) {
        imp_error("Set NSL_LANG environment variable error.\n");
        return -1;
    }
    if (setenv("NLS_NCHAR", hi.ncharset, 1) != 0) {
        imp_error("Set NSL_NCHAR environment variable error.\n");
        return -1;
    }
    if (connect_oracle(g_args.username, g_args.password, g_args.tnsname) != 0) {
        imp_error("Connect to oracle:\n%s\n", g_oem);
        return -1;
    }
    if (read_table_information() != 0) {
        imp_error("Read table information error.\n");
        return -1;
    }
    if (set_current_schema() != 0) {
        imp_error("Set current SCHEMA error.\n");
        return -1;
    }
    for (int ti = 0; ti < g_imp.ntab; ti++)
        if (selected(g_imp.tabp[ti].tab_name) && import_table(ti) < 0)
            return -1;
    for (int i = 0; i < g_imp.nsel; i++)
        if (!g_imp.sel_found[i]) {
            imp_error("Table \"%s\" not found in %s.\n", g_imp.sel_name[i], g_imp.dump_filename);
            g_imp.warnings++;
        }
    if (g_imp.rows_rejected == 0 && g_imp.tables_skipped == 0 && g_imp.warnings == 0) {
        fprintf(stderr, "\nImport terminated successfully.\n\n");
        return 0;
    }
    imp_error("\nImport terminated successfully with warnings.\n"
              "Tables imported: %d, rows imported: %ld, rows rejected: %ld, tables skipped: %d.\n\n",
              g_imp.tables_done, g_imp.rows_done, g_imp.rows_rejected, g_imp.tables_skipped);
    return 1;
}

int import_main(int argc, char **argv)
{
    show_copyright();
    int p = parse_arguments(argc, argv);
    if (p != 0)
        return p > 0 ? 0 : -1;
    g_imp.fd = -1;
    HEAD_INFO hi;
    memset(&hi, 0, sizeof hi);
    int rc = run(hi);
    if (g_imp.ofp)
        fflush(g_imp.ofp);
    clean_up();
    fflush(stdout);
    return rc;
}
