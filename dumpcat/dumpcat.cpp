// The dumpcat driver: command line, usage, and the run over the tables of
// the dump. Exit status 0 when every table was written whole and every value
// exactly, 1 when the run completed with warnings (a damaged dump, invalid
// characters or values, a table of TABLES= not in the dump), 255 when it
// could not run.
#include <cerrno>
#include <cstring>
#include <set>

#include "dumpcat.h"
#include "kelvo/version.h"

namespace {

void show_usage(const char *prog, FILE *to)
{
    fprintf(to,
            "%s KEYWORD=value\n\n"
            "FILE         the dump file to read\n"
            "FORMAT       csv, tsv, pgcopy, sql or sqlldr (csv)\n"
            "TABLES       list of table names to write (all; one without OUTDIR)\n"
            "OUTDIR       directory for one file per table (standard output)\n"
            "DIALECT      SQL of FORMAT=sql: oracle, postgres or sqlite (postgres)\n"
            "BINARY       RAW and BLOB values as hex or base64 (hex)\n"
            "NULL         text of a NULL value (csv: empty, tsv and pgcopy: \\N)\n"
            "HEADER       Y or N: a first line of column names (csv, tsv: Y)\n\n",
            prog);
}

bool keyword(const char *arg, const char *name, const char **value)
{
    size_t n = strlen(name);
    if (strncasecmp(arg, name, n) != 0 || arg[n] != '=')
        return false;
    *value = arg + n + 1;
    return true;
}

// A name as typed: upper case unless double-quoted.
std::string typed_name(const std::string &v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    std::string u = v;
    for (char &c : u)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return u;
}

int choose(const char *param, const char *value, std::initializer_list<const char *> names)
{
    int i = 0;
    for (const char *n : names) {
        if (strcasecmp(value, n) == 0)
            return i;
        i++;
    }
    fprintf(stderr, "Invalid value \"%s\" of %s.\n", value, param);
    return -1;
}

// 0, 1 after --help or --version, -1 on an error (printed).
int parse_arguments(int argc, char **argv, dc_params &p)
{
    const char *prog = argc > 0 && argv[0] ? argv[0] : "dumpcat";
    if (argc < 2) {
        show_usage(prog, stderr);
        return -1;
    }
    for (int i = 1; i < argc; i++)
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h") || !strcmp(argv[i], "--version") ||
            !strcmp(argv[i], "-V") || !strcasecmp(argv[i], "HELP=Y")) {
            show_usage(prog, stdout);
            printf("%s %s\n", KELVO_PROGRAM_NAME, KELVO_VERSION);
            return 1;
        }
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i], *v;
        int k = 0;
        if (keyword(a, "FILE", &v)) {
            p.file = v;
        } else if (keyword(a, "FORMAT", &v)) {
            k = choose("FORMAT", v, {"csv", "tsv", "pgcopy", "sql", "sqlldr"});
            p.format = (dc_format)k;
        } else if (keyword(a, "DIALECT", &v)) {
            k = choose("DIALECT", v, {"oracle", "postgres", "sqlite"});
            p.dialect = (dc_dialect)k;
        } else if (keyword(a, "BINARY", &v)) {
            k = choose("BINARY", v, {"hex", "base64"});
            p.base64 = k == 1;
        } else if (keyword(a, "HEADER", &v)) {
            k = choose("HEADER", v, {"N", "Y"});
            p.header = k;
        } else if (keyword(a, "NULL", &v)) {
            p.null_given = true;
            p.null_text = v;
        } else if (keyword(a, "OUTDIR", &v)) {
            p.outdir = v;
        } else if (keyword(a, "TABLES", &v)) {
            std::string s = v;
            if (s.size() >= 2 && s.front() == '(' && s.back() == ')')
                s = s.substr(1, s.size() - 2);
            size_t at = 0;
            while (at <= s.size()) {
                size_t comma = s.find(',', s[at] == '"' ? s.find('"', at + 1) : at);
                if (comma == std::string::npos)
                    comma = s.size();
                if (comma > at)
                    p.tables.push_back(typed_name(s.substr(at, comma - at)));
                at = comma + 1;
            }
        } else {
            fprintf(stderr, "Invalid parameter \"%s\" specified.\n", a);
            k = -1;
        }
        if (k < 0) {
            show_usage(prog, stderr);
            return -1;
        }
    }
    if (p.file.empty()) {
        fprintf(stderr, "Dump file not specified.\n");
        return -1;
    }
    if (p.outdir.empty() && p.tables.size() != 1) {
        fprintf(stderr, "TABLES must name one table when OUTDIR is not given.\n");
        return -1;
    }
    return 0;
}

const char *extension(dc_format f)
{
    switch (f) {
    case FMT_CSV: return ".csv";
    case FMT_TSV: return ".tsv";
    case FMT_PGCOPY: return ".pgcopy";
    case FMT_SQL: return ".sql";
    case FMT_SQLLDR: return ".ldr";   // never a kelvo dump name (.dat)
    }
    return "";
}

struct runner {
    dc_run &run;
    std::set<std::string> names;   // files written so far: a name is never reused
    dc_out sql;                    // FORMAT=sql with OUTDIR: one script
    int tables_sql = 0;
    int warnings = 0;
};

// A file name of OUTDIR not given yet in this run.
std::string unique_name(runner &r, const std::string &owner, const std::string &table, const char *ext)
{
    std::string name = dc_file_name(owner, table, ext);
    for (int k = 2; r.names.count(name); k++)
        name = dc_file_name(owner, table + "~" + std::to_string(k), ext);
    r.names.insert(name);
    return name;
}

// Writes one table; -1 when the output failed.
int write_table(runner &r, dc_table &t)
{
    dc_run &run = r.run;
    const dc_params &p = run.p;
    run.invalid = 0;
    run.damaged = false;
    if (dc_read_columns(run, t) != 0) {
        r.warnings++;
        return 0;
    }
    dc_out out, ctl;
    std::string where;
    long rows;
    if (p.format == FMT_SQL) {
        if (p.outdir.empty())
            dc_out_stdout(out);
        dc_out &o = p.outdir.empty() ? out : r.sql;
        rows = dc_write_sql(run, t, o, r.tables_sql++ == 0);
        where = o.path;
    } else {
        std::string name;
        if (p.outdir.empty()) {
            dc_out_stdout(out);
        } else if (dc_out_open(out, p.outdir, name = unique_name(r, t.owner, t.name, extension(p.format))) != 0) {
            return -1;
        }
        if (p.format == FMT_SQLLDR) {
            if (p.outdir.empty())
                dc_out_stdout(ctl);   // the control file, then the data
            else if (dc_out_open(ctl, p.outdir, unique_name(r, t.owner, t.name, ".ctl")) != 0)
                return -1;
            rows = dc_write_sqlldr(run, t, out, ctl, p.outdir.empty() ? "" : name);
        } else {
            rows = dc_write_delimited(run, t, out);
        }
        where = out.path;
    }
    if (ctl.fd >= 0 && dc_out_close(ctl) != 0)
        rows = -1;
    if (out.fd >= 0 && dc_out_close(out) != 0)
        rows = -1;
    if (rows < 0)
        return -1;
    fprintf(stderr, "Table \"%s\": %ld row%s written to %s.\n", t.name.c_str(), rows, rows == 1 ? "" : "s",
            where.c_str());
    if (run.invalid > 0)
        fprintf(stderr, "Table \"%s\": %ld invalid character sequence%s written as U+FFFD.\n", t.name.c_str(),
                run.invalid, run.invalid == 1 ? "" : "s");
    r.warnings += run.damaged || run.invalid > 0;
    return 0;
}

}   // namespace

int dumpcat_main(int argc, char **argv)
{
    dc_run run;
    int rc = parse_arguments(argc, argv, run.p);
    if (rc != 0)
        return rc > 0 ? 0 : 255;
    if (dc_open_dump(run.rd, run.p.file) != 0)
        return 255;
    std::vector<dc_table> tables;
    runner r{run, {}, {}, 0, 0};
    rc = 255;
    if (dc_read_head(run, tables) == 0) {
        cs_open(run.db_cs, run.charset);
        cs_open(run.nat_cs, run.ncharset);
        cs_open(run.utf16_cs, "AL16UTF16");
        for (const std::string *cs : {&run.charset, &run.ncharset})
            if (cs_converter &c = cs == &run.charset ? run.db_cs : run.nat_cs; c.kind == cs_converter::UNKNOWN)
                fprintf(stderr, "Character set \"%s\" is not known: its data is written unconverted.\n", cs->c_str());
        std::vector<bool> found(run.p.tables.size());
        bool ok = true;
        if (run.p.format == FMT_SQL && !run.p.outdir.empty() &&
            dc_out_open(r.sql, run.p.outdir, unique_name(r, tables.empty() ? "" : tables[0].owner, "", ".sql")) != 0)
            ok = false;
        for (size_t i = 0; ok && i < tables.size(); i++) {
            bool want = run.p.tables.empty();
            for (size_t k = 0; k < run.p.tables.size(); k++)
                if (run.p.tables[k] == tables[i].name && !found[k])
                    want = found[k] = true;
            if (want && write_table(r, tables[i]) != 0)
                ok = false;
        }
        if (r.sql.fd >= 0 && dc_out_close(r.sql) != 0)
            ok = false;
        for (size_t k = 0; ok && k < found.size(); k++)
            if (!found[k]) {
                fprintf(stderr, "Table \"%s\" not found in %s.\n", run.p.tables[k].c_str(), run.p.file.c_str());
                r.warnings++;
            }
        rc = !ok ? 255 : r.warnings ? 1 : 0;
        cs_close(run.db_cs);
        cs_close(run.nat_cs);
        cs_close(run.utf16_cs);
    }
    dc_close_dump(run.rd);
    return rc;
}
