// dumpcat: the tables of a dump file as text (CSV, PostgreSQL COPY text, SQL
// scripts, SQL*Loader files). The dump is read through a bounded window and
// every length and offset in it is checked against the file; values are
// decoded by the shared decoders and streamed piece by piece.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kelvo/dump.h"
#include "kelvo/values.h"

enum dc_format { FMT_CSV, FMT_TSV, FMT_PGCOPY, FMT_SQL, FMT_SQLLDR };
enum dc_dialect { DIALECT_ORACLE, DIALECT_POSTGRES, DIALECT_SQLITE };

struct dc_params {
    std::string file;
    dc_format format = FMT_CSV;
    std::vector<std::string> tables;   // TABLES=, as typed names
    std::string outdir;
    dc_dialect dialect = DIALECT_POSTGRES;
    bool base64 = false;
    bool null_given = false;
    std::string null_text;
    int header = -1;                   // -1: the format's default
};

// The window over the dump file: bytes [base, base + len) of the file.
struct dc_reader {
    int fd = -1;
    std::string path;
    uint64_t size = 0;
    std::vector<uint8_t> buf;
    uint64_t base = 0;
    size_t len = 0;
};
int dc_open_dump(dc_reader &r, const std::string &path);
void dc_close_dump(dc_reader &r);
// The n bytes at off (n at most the window), or nullptr when the file ends
// before them or cannot be read (a read error is printed).
const uint8_t *dc_refill(dc_reader &r, uint64_t off, size_t n);
inline const uint8_t *dc_bytes(dc_reader &r, uint64_t off, size_t n)
{
    if (off >= r.base && n <= r.len && off - r.base <= r.len - n)
        return r.buf.data() + (off - r.base);
    return dc_refill(r, off, n);
}

// What a column's values become.
enum dc_kind {
    K_NUMBER, K_DATE, K_TIMESTAMP, K_TSTZ, K_TSLTZ, K_IYM, K_IDS, K_BFLOAT, K_BDOUBLE,
    K_TEXT,    // character data in the database or national character set
    K_BINARY,  // RAW, LONG RAW, BLOB
};

struct dc_column {
    std::string name;
    uint32_t ctyp = 0, clen = 0;
    bool national = false;
    dc_kind kind = K_TEXT;
    bool streamed = false;   // LONG, LONG RAW, CLOB, NCLOB, BLOB
};

// A value of a row: NULL, bytes kept from the row, or a value record of the
// dump (LONG / LOB) streamed from its first piece.
struct dc_cell {
    enum { NUL, VALUE, RECORD } kind = NUL;
    size_t at = 0, n = 0;      // VALUE: bytes in the row arena
    uint64_t off = 0;          // RECORD: offset of its first piece
    uint8_t width = 0;         // RECORD of a LOB: 2 for two bytes per character
};

struct dc_table {
    std::string name, owner;
    uint32_t flag = 0;
    uint64_t offset = 0;     // its column information
    uint64_t rows_at = 0;    // its first row
    std::vector<dc_column> cols;
};

// The output: one file or standard output, through a large buffer.
struct dc_out {
    int fd = -1;
    std::string path;   // shown in messages
    std::vector<char> buf;
    size_t len = 0;
    bool failed = false;
};
int dc_out_open(dc_out &o, const std::string &dir, const std::string &name);
void dc_out_stdout(dc_out &o);
int dc_out_flush(dc_out &o);
int dc_out_close(dc_out &o);
inline void dc_put(dc_out &o, const char *p, size_t n)
{
    if (o.len + n > o.buf.size()) {
        dc_out_flush(o);
        if (n > o.buf.size()) {
            o.buf.resize(n);
        }
    }
    memcpy(o.buf.data() + o.len, p, n);
    o.len += n;
}
inline void dc_put(dc_out &o, const std::string &s) { dc_put(o, s.data(), s.size()); }
inline void dc_put(dc_out &o, const char *s) { dc_put(o, s, strlen(s)); }
inline void dc_putc(dc_out &o, char c)
{
    if (o.len == o.buf.size())
        dc_out_flush(o);
    o.buf[o.len++] = c;
}
// Text inside quotes: each quote character doubled.
void dc_put_doubled(dc_out &o, const char *p, size_t n, char quote);
// The file name for a table ("OWNER_TABLE" and the extension; "OWNER" for
// an empty table name): bytes that could leave the directory or hide the
// file are written as %XX.
std::string dc_file_name(const std::string &owner, const std::string &table, const char *ext);

// The run: its parameters, the dump's character sets and time zone, counts.
struct dc_run {
    dc_params p;
    dc_reader rd;
    HEAD_INFO head{};
    std::string charset, ncharset, dbtimezone;
    cs_converter db_cs, nat_cs, utf16_cs;
    std::vector<uint8_t> row;        // the scalar values of the current row
    std::string scratch, text;       // decoded text of the current value
    long invalid = 0;                // U+FFFD written in the current table
    bool damaged = false;
};

// Reading (dump_read.cpp): the header and table information, a table's
// columns, one row. dc_read_row returns 1 with the row's cells, 0 at the end
// of the table's rows (*next past it), -1 when the dump is damaged (printed).
int dc_read_head(dc_run &run, std::vector<dc_table> &tables);
int dc_read_columns(dc_run &run, dc_table &t);
int dc_read_row(dc_run &run, const dc_table &t, uint64_t *pos, std::vector<dc_cell> &cells);

// Values (format_value.cpp): a scalar value's text in run.text (0 or an ORA
// code); the pieces of a value record (pieces of at most DUMP_PIECE_MAX bytes
// handed to each()); binary bytes as hex or base64.
int dc_scalar_text(dc_run &run, const dc_column &c, const uint8_t *p, size_t n);
int dc_text_of(dc_run &run, const dc_column &c, const uint8_t *p, size_t n, bool more, uint8_t width);
template <class F> int dc_pieces(dc_run &run, uint64_t off, F each);
struct dc_binary {
    bool base64 = false;
    uint8_t carry[2];
    int ncarry = 0;
};
void dc_binary_put(dc_out &o, dc_binary &b, const uint8_t *p, size_t n, bool last);
// One line for the values of a table that were not valid for their type.
void dc_report_invalid(const dc_table &t, long count);

// The writers (write_text.cpp, write_sql.cpp, write_sqlldr.cpp): one table.
// Return the rows written, -1 when the output failed; run.damaged when the
// dump ended the table early.
long dc_write_delimited(dc_run &run, const dc_table &t, dc_out &o);
long dc_write_sql(dc_run &run, const dc_table &t, dc_out &o, bool first_table);
long dc_write_sqlldr(dc_run &run, const dc_table &t, dc_out &data, dc_out &ctl, const std::string &data_name);
// A name as an identifier of the dialect.
std::string dc_ident(dc_dialect d, const std::string &name);

int dumpcat_main(int argc, char **argv);

// The pieces of the value record whose first piece is at off, up to its end
// mark: 0, or -1 when the dump is damaged (the caller checked the record
// when it read the row, so this only fails on a read error).
template <class F> int dc_pieces(dc_run &run, uint64_t off, F each)
{
    for (;;) {
        const uint8_t *w = dc_bytes(run.rd, off, 2);
        if (!w)
            return -1;
        size_t n = get_be16(w);
        if (n == DUMP_END)
            return 0;
        // The piece and the word after it, which says whether more follow.
        const uint8_t *q = n <= DUMP_PIECE_MAX ? dc_bytes(run.rd, off, n + 4) : nullptr;
        if (!q)
            return -1;
        off += 2 + n;
        if (each(q + 2, n, get_be16(q + 2 + n) != DUMP_END) != 0)
            return -1;
    }
}

// Every row of the table to row(cells), which returns 0 or -1 (the output
// failed). Returns the rows written, or -1 when the output failed; a damaged
// dump ends the rows early with run.damaged set.
template <class F> long dc_each_row(dc_run &run, const dc_table &t, F row)
{
    uint64_t pos = t.rows_at;
    std::vector<dc_cell> cells;
    long n = 0;
    for (;;) {
        int r = dc_read_row(run, t, &pos, cells);
        if (r <= 0)
            return n;
        if (row(cells) != 0)
            return -1;
        n++;
    }
}

// A LONG or LOB value streamed from its value record: binary bytes to the
// output through bin, text converted to UTF-8 piece by piece and handed to
// text(run.text). 0, or -1 when the output failed.
template <class F>
int dc_stream(dc_run &run, const dc_column &c, const dc_cell &cell, dc_out &o, dc_binary &bin, F text)
{
    int rc = dc_pieces(run, cell.off, [&](const uint8_t *p, size_t n, bool more) {
        if (c.kind == K_BINARY) {
            dc_binary_put(o, bin, p, n, !more);
            return 0;
        }
        run.text.clear();
        dc_text_of(run, c, p, n, more, cell.width);
        text(run.text);
        return o.failed ? -1 : 0;
    });
    if (c.kind == K_BINARY)
        dc_binary_put(o, bin, nullptr, 0, true);
    return rc;
}
