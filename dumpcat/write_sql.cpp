// A table as an SQL script for Oracle, PostgreSQL or SQLite: CREATE TABLE
// with the column types of that dialect, then one INSERT per row with
// literals that load back the exact values.
#include "dumpcat.h"

namespace {

// Oracle and SQLite keep names as they are, quoted. PostgreSQL folds unquoted
// names to lower case: a name of upper-case letters, digits, '_' and '$'
// starting with a letter is written in lower case without quotes (so that
// "select * from scott.emp" finds it), any other name quoted as it is.
}   // namespace

std::string dc_ident(dc_dialect d, const std::string &name)
{
    bool plain = d == DIALECT_POSTGRES && !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
    for (char c : name)
        plain = plain && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$');
    if (plain) {
        std::string l = name;
        for (char &c : l)
            if (c >= 'A' && c <= 'Z')
                c = (char)(c - 'A' + 'a');
        return l;
    }
    return sql_quote_ident(name);
}

namespace {

std::string table_name(const dc_run &run, const dc_table &t)
{
    if (run.p.dialect == DIALECT_SQLITE)
        return dc_ident(DIALECT_SQLITE, t.name);
    return dc_ident(run.p.dialect, t.owner) + "." + dc_ident(run.p.dialect, t.name);
}

std::string type_text(dc_dialect d, const dc_column &c)
{
    char buf[64];
    if (d == DIALECT_ORACLE)
        return dump_type_name(c.ctyp, c.national, c.clen, buf, sizeof buf);
    if (d == DIALECT_SQLITE) {
        // No affinity for NUMBER: integers, exact doubles and decimal text
        // are kept as written; LONG is character data, never a number.
        // "TO" of an interval type is a keyword of SQLite's: quoted.
        std::string type = dump_type_name(c.ctyp, c.national, c.clen, buf, sizeof buf);
        if (c.kind == K_NUMBER || c.ctyp == 8)
            return "/* " + type + " */";
        return c.kind == K_IYM || c.kind == K_IDS ? sql_quote_ident(type) : type;
    }
    switch (c.kind) {
    case K_NUMBER: return "numeric";
    case K_DATE: return "timestamp(0)";
    case K_TIMESTAMP: return "timestamp";
    case K_TSTZ:
    case K_TSLTZ: return "timestamptz";
    case K_IYM:
    case K_IDS: return "interval";
    case K_BFLOAT: return "real";
    case K_BDOUBLE: return "double precision";
    case K_BINARY: return "bytea";
    case K_TEXT: break;
    }
    if (c.ctyp == 1 || c.ctyp == 96) {
        snprintf(buf, sizeof buf, "%s(%u)", c.ctyp == 1 ? "varchar" : "char", c.clen ? c.clen : 1);
        return buf;
    }
    return "text";
}

struct sql_writer {
    dc_run &run;
    dc_out &o;
    dc_dialect d;
    long invalid_values = 0;
};

void quoted(dc_out &o, const char *p, size_t n) { dc_put_doubled(o, p, n, '\''); }

// An Oracle string literal holds at most 4000 bytes: CLOB text goes as
// TO_CLOB pieces of at most 1000 bytes, cut between UTF-8 characters.
void oracle_clob_text(dc_out &o, const std::string &s)
{
    size_t at = 0;
    while (at < s.size()) {
        size_t end = std::min(s.size(), at + 1000);
        while (end < s.size() && end > at && ((unsigned char)s[end] & 0xC0) == 0x80)
            end--;
        quoted(o, s.data() + at, end - at);
        at = end;
        if (at < s.size())
            dc_put(o, "') || TO_CLOB('");
    }
}

void open_binary(sql_writer &w)
{
    dc_put(w.o, w.d == DIALECT_ORACLE ? "HEXTORAW('" : w.d == DIALECT_POSTGRES ? "'\\x" : "X'");
}

void close_binary(sql_writer &w) { dc_put(w.o, w.d == DIALECT_POSTGRES ? "'::bytea" : w.d == DIALECT_ORACLE ? "')" : "'"); }

// A PostgreSQL interval from Oracle's literal: ISO 8601 with designators,
// each part carrying the sign ("P-1Y-2M", "P2DT3H4M5.000000006S").
std::string pg_interval(const std::string &s, bool ym)
{
    char sign = s[0] == '-' ? '-' : 0;
    std::string sg = sign ? "-" : "";
    std::string body = s.substr(1);
    if (ym) {
        size_t dash = body.find('-');
        return "P" + sg + body.substr(0, dash) + "Y" + sg + body.substr(dash + 1) + "M";
    }
    // "DD HH:MI:SS.FFFFFFFFF"
    size_t sp = body.find(' ');
    std::string days = body.substr(0, sp), t = body.substr(sp + 1);
    return "P" + sg + days + "DT" + sg + t.substr(0, 2) + "H" + sg + t.substr(3, 2) + "M" + sg + t.substr(6) + "S";
}

void scalar_literal(sql_writer &w, const dc_column &c, const uint8_t *p, size_t n)
{
    dc_run &run = w.run;
    dc_out &o = w.o;
    if (c.kind == K_NUMBER && w.d == DIALECT_SQLITE) {
        // As the SQLite target stores it: INTEGER, an exact REAL, or text.
        sql_value v;
        if (ora_number_value(p, n, v, run.scratch) != 0) {
            w.invalid_values++;
            dc_put(o, "NULL");
        } else if (v.kind == sql_value::INT) {
            dc_put(o, std::to_string(v.i));
        } else if (v.kind == sql_value::REAL) {
            dc_put(o, run.scratch);
        } else {
            dc_putc(o, '\'');
            dc_put(o, run.scratch);
            dc_putc(o, '\'');
        }
        return;
    }
    if (dc_scalar_text(run, c, p, n) != 0) {
        w.invalid_values++;
        dc_put(o, "NULL");
        return;
    }
    const std::string &s = run.text;
    if (c.kind == K_NUMBER) {
        bool infinity = s == "~" || s == "-~";   // the legacy infinities have no literal
        if (infinity)
            dc_putc(o, '\'');
        dc_put(o, s);
        if (infinity)
            dc_putc(o, '\'');
        return;
    }
    const char *open = "'", *close = "'";
    std::string lit = s;
    if (w.d == DIALECT_ORACLE) {
        switch (c.kind) {
        case K_DATE: open = "TO_DATE('"; close = "', 'SYYYY-MM-DD HH24:MI:SS')"; break;
        case K_TIMESTAMP: open = "TO_TIMESTAMP('"; close = "', 'SYYYY-MM-DD HH24:MI:SS.FF9')"; break;
        case K_TSTZ: open = "TO_TIMESTAMP_TZ('"; close = "', 'SYYYY-MM-DD HH24:MI:SS.FF9 TZR')"; break;
        case K_TSLTZ: open = "TO_TIMESTAMP_TZ('"; close = "', 'SYYYY-MM-DD HH24:MI:SS.FF9 TZR')"; break;
        case K_IYM: open = "INTERVAL '"; close = "' YEAR(9) TO MONTH"; break;
        case K_IDS: open = "INTERVAL '"; close = "' DAY(9) TO SECOND(9)"; break;
        case K_BFLOAT: open = "TO_BINARY_FLOAT('"; close = "')"; break;
        case K_BDOUBLE: open = "TO_BINARY_DOUBLE('"; close = "')"; break;
        default: break;
        }
    } else if (w.d == DIALECT_POSTGRES) {
        if (c.kind == K_IYM || c.kind == K_IDS)
            lit = pg_interval(s, c.kind == K_IYM);
    } else if ((c.kind == K_BFLOAT || c.kind == K_BDOUBLE) && (s == "Inf" || s == "-Inf")) {
        dc_put(o, s == "Inf" ? "9e999" : "-9e999");   // SQLite's infinities
        return;
    } else if ((c.kind == K_BFLOAT || c.kind == K_BDOUBLE) && s != "NaN") {
        dc_put(o, s);
        return;
    }
    dc_put(o, open);
    quoted(o, lit.data(), lit.size());
    dc_put(o, close);
}

int write_value(sql_writer &w, const dc_column &c, const dc_cell &cell)
{
    dc_run &run = w.run;
    dc_out &o = w.o;
    if (cell.kind == dc_cell::NUL) {
        dc_put(o, "NULL");
        return 0;
    }
    dc_binary hex;   // literals are always hex
    if (cell.kind == dc_cell::VALUE) {
        const uint8_t *p = run.row.data() + cell.at;
        if (c.kind == K_BINARY) {
            open_binary(w);
            dc_binary_put(o, hex, p, cell.n, true);
            close_binary(w);
        } else {
            scalar_literal(w, c, p, cell.n);
        }
        return 0;
    }
    if (c.kind == K_BINARY)
        open_binary(w);
    else
        dc_put(o, w.d == DIALECT_ORACLE && c.ctyp == 112 ? "TO_CLOB('" : "'");
    int rc = dc_stream(run, c, cell, o, hex, [&](const std::string &text) {
        if (w.d == DIALECT_ORACLE && c.ctyp == 112)
            oracle_clob_text(o, text);
        else
            quoted(o, text.data(), text.size());
    });
    if (c.kind == K_BINARY)
        close_binary(w);
    else
        dc_put(o, w.d == DIALECT_ORACLE && c.ctyp == 112 ? "')" : "'");
    return rc;
}

}   // namespace

long dc_write_sql(dc_run &run, const dc_table &t, dc_out &o, bool first_table)
{
    sql_writer w{run, o, run.p.dialect};
    std::string name = table_name(run, t);
    if (first_table && w.d == DIALECT_ORACLE)
        dc_put(o, "SET DEFINE OFF\n");   // '&' in a literal is text
    if (first_table && w.d == DIALECT_POSTGRES)
        dc_put(o, "CREATE SCHEMA IF NOT EXISTS " + dc_ident(w.d, t.owner) + ";\n");
    if (w.d != DIALECT_ORACLE)
        dc_put(o, "BEGIN;\n");
    dc_put(o, "CREATE TABLE " + name + " (\n");
    for (size_t c = 0; c < t.cols.size(); c++)
        dc_put(o, "  " + dc_ident(w.d, t.cols[c].name) + " " + type_text(w.d, t.cols[c]) +
                      (c + 1 < t.cols.size() ? ",\n" : "\n);\n"));
    std::string head = "INSERT INTO " + name + " VALUES (";
    long rows = dc_each_row(run, t, [&](const std::vector<dc_cell> &cells) {
        dc_put(o, head);
        for (size_t c = 0; c < t.cols.size(); c++) {
            if (c)
                dc_put(o, ", ");
            if (write_value(w, t.cols[c], cells[c]) != 0)
                return -1;
        }
        dc_put(o, ");\n");
        return o.failed ? -1 : 0;
    });
    dc_put(o, "COMMIT;\n");
    dc_report_invalid(t, w.invalid_values);
    return rows;
}
