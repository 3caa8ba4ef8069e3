// The import driver: command line, banner, usage, and the run from the dump
// header to the last table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

void show_usage(const char *prog_name)
{
    fprintf(stderr,
            "%s KEYWORD=value\n\nUSERID must be the first parameter on the command line.\n\n"
            "USERID       username/password@tnsname\nFILE         input files (EXPDAT.DMP)\n"
            "TOUSER       list of usernames\nIGNORE       ignore create erros (N)\n"
            "LOG          log file of screen output\n\n",
            prog_name);
}

void show_copyright()
{
    fprintf(stderr, "\nimport: loads a kelvo dump file into a database through the Oracle Call Interface\n\n"
                    "Copyright (c) 2026 the kelvo developers.\n\n");
}

static int parse_userid(const char *value)
{
    const char *slash = strchr(value, '/');
    if (!slash) {
        fprintf(stderr, "USERID parameter format error.\n");
        return -1;
    }
    size_t ulen = slash - value;
    if (ulen >= sizeof g_args.username) {
        fprintf(stderr, "Argument \"username\" too long.\n");
        return -1;
    }
    memcpy(g_args.username, value, ulen);
    g_args.username[ulen] = 0;
    const char *pw = slash + 1;
    const char *at = strchr(pw, '@');
    if (at) {
        size_t plen = at - pw;
        if (plen >= sizeof g_args.password) {
            fprintf(stderr, "Argument \"password\" too long.\n");
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

static int parse_owner(const char *v)
{
    char *o = g_imp.owner_name;
    if (v[0] == '"') {
        const char *q = static_cast<const char *>(memchr(v + 1, '"', strnlen(v + 1, 32)));
        if (!q) {
            fprintf(stderr, "Owner argument too large.\n");
            return -1;
        }
        size_t n = q - (v + 1);
        memcpy(o, v + 1, n);
        o[n] = 0;
        return 0;
    }
    size_t n = strlen(v);
    if (n > 31) {
        fprintf(stderr, "Owner argument too large.\n");
        return -1;
    }
    for (size_t i = 0; i < n; i++)
        o[i] = (v[i] >= 'a' && v[i] <= 'z') ? (char)(v[i] - 'a' + 'A') : v[i];
    o[n] = 0;
    return 0;
}

int parse_arguments(int argc, char **argv)
{
    memset(&g_args, 0, sizeof g_args);
    memset(&g_imp, 0, sizeof g_imp);
    const char *prog = argc > 0 && argv[0] ? argv[0] : "import";
    if (argc < 2) {
        show_usage(prog);
        return -1;
    }
    const char *first = argv[1];
    if (keyword(first, "HELP=Y", "help=y")) {
        show_usage(prog);
        return -1;
    }
    const char *value = first;
    if (keyword(first, "USERID", "userid")) {
        const char *eq = strchr(first, '=');
        if (!eq) {
            fprintf(stderr, "USERID parameter format error.\n");
            show_usage(prog);
            return -1;
        }
        value = eq + 1;
    }
    if (parse_userid(value) != 0) {
        show_usage(prog);
        return -1;
    }
    for (int i = 2; i < argc; i++) {
        const char *a = argv[i];
        if (keyword(a, "HELP=Y", "help=y")) {
            show_usage(prog);
            return -1;
        } else if (keyword(a, "FILE", "file")) {
            copy_cut(g_imp.dump_filename, arg_value(a, 5), sizeof g_imp.dump_filename);
        } else if (keyword(a, "LOG", "log")) {
            copy_cut(g_imp.log_filename, arg_value(a, 4), sizeof g_imp.log_filename);
        } else if (keyword(a, "TOUSER", "touser")) {
            if (parse_owner(arg_value(a, 7)) != 0) {
                show_usage(prog);
                return -1;
            }
        } else if (keyword(a, "IGNORE=Y", "ignore=y")) {
            g_imp.flag |= IMP_IGNORE;
        } else {
            fprintf(stderr, "Invalid parameter \"%s\" specified.\n", a);
            show_usage(prog);
            return -1;
        }
    }
    if (!g_imp.dump_filename[0]) {
        fprintf(stderr, "Output file not specified.\n");
        show_usage(prog);
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

static int run(HEAD_INFO &hi)
{
    g_imp.ofp = stdout;
    g_imp.fd = open(g_imp.dump_filename, O_RDONLY);
    if (g_imp.fd < 0) {
        fprintf(stderr, "Open %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    if (g_imp.log_filename[0]) {
        FILE *f = fopen(g_imp.log_filename, "w");
        if (f)
            g_imp.ofp = f;
        else
            fprintf(stderr, "Open LOG file error, output to screen.\n");
    }
    if (read_dump_head(&hi) != 0)
        return -1;
    if (memcmp(hi.magic, DUMP_MAGIC, sizeof DUMP_MAGIC) != 0) {
        fprintf(stderr, "File is not exported by these utilities.\n");
        return -1;
    }
    // The table information area must exist before memory is sized by it.
    struct stat sb;
    if (fstat(g_imp.fd, &sb) != 0) {
        fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    uint64_t tinf = (uint64_t)hi.tab_cnt * sizeof(TAB_INFO);
    if (DUMP_HEAD_SIZE + tinf > (uint64_t)sb.st_size) {
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        fprintf(stderr, "Read table information error.\n");
        return -1;
    }
    uint64_t tsz = (tinf + 511) / 512 * 512;
    uint64_t total = tsz + READ_WINDOW_SIZE + BIND_AREA_SIZE;
    if (total > 0x7FFFFFFF) {
        fprintf(stderr, "Allocate memory (%d) error: %s\n", -1, strerror(ENOMEM));
        return -1;
    }
    g_imp.buf_sz = (int)total;
    g_imp.buf = static_cast<uint8_t *>(malloc(g_imp.buf_sz));
    if (!g_imp.buf) {
        fprintf(stderr, "Allocate memory (%d) error: %s\n", g_imp.buf_sz, strerror(errno));
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
        fprintf(stderr, "Set NSL_LANG environment variable error.\n");
        return -1;
    }
    if (setenv("NLS_NCHAR", hi.ncharset, 1) != 0) {
        fprintf(stderr, "Set NSL_NCHAR environment variable error.\n");
        return -1;
    }
    if (connect_oracle(g_args.username, g_args.password, g_args.tnsname) != 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", g_oem);
        return -1;
    }
    if (read_table_information() != 0) {
        fprintf(stderr, "Read table information error.\n");
        return -1;
    }
    if (set_current_schema() != 0) {
        fprintf(stderr, "Set current SCHEMA error.\n");
        return -1;
    }
    for (int ti = 0; ti < g_imp.ntab; ti++)
        if (import_table(ti) != 0)
            return -1;
    fprintf(stderr, "\nImport terminated successfully.\n\n");
    return 0;
}

int import_main(int argc, char **argv)
{
    show_copyright();
    if (parse_arguments(argc, argv) != 0)
        return -1;
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
