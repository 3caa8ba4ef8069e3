// CSV (RFC 4180: quoted when needed, quotes doubled, CRLF line ends) and
// PostgreSQL's COPY text format (tsv and pgcopy: tab-separated, backslash
// escapes, \N for NULL), one row per line, LONG and LOB values streamed.
#include "dumpcat.h"
#include "kelvo/copy_text.h"

namespace {

struct delimited {
    dc_run &run;
    dc_out &o;
    bool csv;
    std::string null_text;
    std::string eol;
    long invalid_values = 0;
};

bool csv_needs_quotes(const std::string &s, const std::string &null_text)
{
    return s.find_first_of(",\"\r\n") != std::string::npos || s == null_text;
}

void csv_escaped(dc_out &o, const char *p, size_t n) { dc_put_doubled(o, p, n, '"'); }

void copy_escaped(dc_out &o, const char *p, size_t n)
{
    copy_text_escaped(p, n, [&o](const char *s, size_t k) { dc_put(o, s, k); });
}

void put_text(delimited &d, const char *p, size_t n, bool quoted)
{
    if (!d.csv)
        copy_escaped(d.o, p, n);
    else if (quoted)
        csv_escaped(d.o, p, n);
    else
        dc_put(d.o, p, n);
}

void binary_prefix(delimited &d)
{
    // COPY reads "\\x" as the hex form of bytea.
    if (d.run.p.format == FMT_PGCOPY && !d.run.p.base64)
        dc_put(d.o, "\\\\x", 3);
}

int write_cell(delimited &d, const dc_column &c, const dc_cell &cell)
{
    dc_run &run = d.run;
    dc_out &o = d.o;
    if (cell.kind == dc_cell::NUL) {
        dc_put(o, d.null_text);
        return 0;
    }
    if (cell.kind == dc_cell::RECORD) {
        if (d.csv)
            dc_putc(o, '"');
        dc_binary bin;
        bin.base64 = run.p.base64 && run.p.format != FMT_SQLLDR;
        if (c.kind == K_BINARY)
            binary_prefix(d);
        int rc = dc_stream(run, c, cell, o, bin,
                           [&](const std::string &text) { put_text(d, text.data(), text.size(), true); });
        if (d.csv)
            dc_putc(o, '"');
        return rc;
    }
    const uint8_t *p = run.row.data() + cell.at;
    if (c.kind == K_BINARY) {
        dc_binary bin;
        bin.base64 = run.p.base64 && run.p.format != FMT_SQLLDR;
        binary_prefix(d);
        dc_binary_put(o, bin, p, cell.n, true);
        return 0;
    }
    if (dc_scalar_text(run, c, p, cell.n) != 0) {
        // Bytes that are not a value of the column's type: NULL, counted.
        d.invalid_values++;
        dc_put(o, d.null_text);
        return 0;
    }
    bool quote = d.csv && c.kind == K_TEXT && csv_needs_quotes(run.text, d.null_text);
    if (quote)
        dc_putc(o, '"');
    put_text(d, run.text.data(), run.text.size(), quote);
    if (quote)
        dc_putc(o, '"');
    return 0;
}

}   // namespace

long dc_write_delimited(dc_run &run, const dc_table &t, dc_out &o)
{
    // SQL*Loader's data files are CSV with LF line ends, no header, NULL as
    // an empty field and binary values in hex.
    bool sqlldr = run.p.format == FMT_SQLLDR;
    bool csv = run.p.format == FMT_CSV || sqlldr;
    delimited d{run, o, csv, "", run.p.format == FMT_CSV ? "\r\n" : "\n"};
    d.null_text = sqlldr ? "" : run.p.null_given ? run.p.null_text : d.csv ? "" : "\\N";
    char sep = d.csv ? ',' : '\t';
    bool header = !sqlldr && (run.p.header < 0 ? run.p.format != FMT_PGCOPY : run.p.header > 0);
    if (header) {
        for (size_t c = 0; c < t.cols.size(); c++) {
            if (c)
                dc_putc(o, sep);
            const std::string &n = t.cols[c].name;
            bool quote = d.csv && csv_needs_quotes(n, d.null_text);
            if (quote)
                dc_putc(o, '"');
            put_text(d, n.data(), n.size(), quote);
            if (quote)
                dc_putc(o, '"');
        }
        dc_put(o, d.eol);
    }
    long rows = dc_each_row(run, t, [&](const std::vector<dc_cell> &cells) {
        for (size_t c = 0; c < t.cols.size(); c++) {
            if (c)
                dc_putc(o, sep);
            if (write_cell(d, t.cols[c], cells[c]) != 0)
                return -1;
        }
        dc_put(o, d.eol);
        return o.failed ? -1 : 0;
    });
    dc_report_invalid(t, d.invalid_values);
    return rows;
}
