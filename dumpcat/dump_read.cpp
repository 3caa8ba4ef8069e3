// Reading a dump file through a bounded window: the header, the table
// information, a table's columns and its rows. The file is untrusted: every
// count, offset and length is checked against the bytes that exist, and a
// row is given out only when it and its value records are complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dumpcat.h"

// The window holds the longest row (every column at its longest) or piece.
constexpr size_t WINDOW_SIZE = 8u << 20;
// Oracle tables have at most 1000 columns.
constexpr uint32_t MAX_COLUMNS = 1000;

int dc_open_dump(dc_reader &r, const std::string &path)
{
    r.path = path;
    r.fd = open(path.c_str(), O_RDONLY);
    struct stat sb;
    if (r.fd < 0 || fstat(r.fd, &sb) != 0) {
        fprintf(stderr, "Open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    r.size = (uint64_t)sb.st_size;
    // A small dump fits whole in a window of its own size.
    r.buf.resize((size_t)std::min<uint64_t>(WINDOW_SIZE, std::max<uint64_t>(r.size, 1)));
    r.base = 0;
    r.len = 0;
    return 0;
}

void dc_close_dump(dc_reader &r)
{
    if (r.fd >= 0)
        close(r.fd);
    r.fd = -1;
}

const uint8_t *dc_refill(dc_reader &r, uint64_t off, size_t n)
{
    if (n > r.buf.size() || off > r.size || n > r.size - off)
        return nullptr;
    // From off: as much as the window and the file allow.
    size_t want = (size_t)std::min<uint64_t>(r.buf.size(), r.size - off);
    size_t got = 0;
    while (got < want) {
        ssize_t k = pread(r.fd, r.buf.data() + got, want - got, (off_t)(off + got));
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0) {
            fprintf(stderr, "Read %s: %s\n", r.path.c_str(), strerror(errno));
            break;
        }
        if (k == 0)
            break;
        got += (size_t)k;
    }
    r.base = off;
    r.len = got;
    return got >= n ? r.buf.data() : nullptr;
}

static std::string field(const char *p, size_t size) { return std::string(p, strnlen(p, size)); }

// The part of NLS_LANG after its point: the database character set.
static std::string charset_of(const std::string &nls_lang)
{
    size_t dot = nls_lang.rfind('.');
    return dot == std::string::npos ? nls_lang : nls_lang.substr(dot + 1);
}

int dc_read_head(dc_run &run, std::vector<dc_table> &tables)
{
    const uint8_t *h = dc_bytes(run.rd, 0, sizeof(HEAD_INFO));
    if (!h || memcmp(h, DUMP_MAGIC, sizeof DUMP_MAGIC) != 0) {
        fprintf(stderr, "File is not exported by these utilities.\n");
        return -1;
    }
    memcpy(&run.head, h, sizeof run.head);
    std::string owner = field(run.head.owner, sizeof run.head.owner);
    run.charset = charset_of(field(run.head.nls_lang, sizeof run.head.nls_lang));
    run.ncharset = field(run.head.ncharset, sizeof run.head.ncharset);
    if (run.ncharset.empty())
        run.ncharset = "AL16UTF16";
    run.dbtimezone = field(run.head.dbtimezone, sizeof run.head.dbtimezone);
    uint32_t ntab = get_be32(h + offsetof(HEAD_INFO, tab_cnt));
    // The table information must lie in the file before anything is sized by it.
    if ((uint64_t)ntab * sizeof(TAB_INFO) > run.rd.size - DUMP_HEAD_SIZE && run.rd.size >= DUMP_HEAD_SIZE) {
        fprintf(stderr, "Read %s not completed.\n", run.rd.path.c_str());
        return -1;
    }
    tables.clear();
    for (uint32_t i = 0; i < ntab; i++) {
        const uint8_t *t = dc_bytes(run.rd, DUMP_HEAD_SIZE + (uint64_t)i * sizeof(TAB_INFO), sizeof(TAB_INFO));
        if (!t) {
            fprintf(stderr, "Read %s not completed.\n", run.rd.path.c_str());
            return -1;
        }
        dc_table d;
        d.flag = get_be32(t);
        d.offset = ((uint64_t)get_be32(t + 16) << 32) | get_be32(t + 20);
        d.name = field(reinterpret_cast<const char *>(t + offsetof(TAB_INFO, tab_name)), 32);
        d.owner = owner;
        d.cols.resize(std::min(get_be32(t + 4), MAX_COLUMNS + 1));
        tables.push_back(d);
    }
    return 0;
}

static dc_kind kind_of(uint32_t ctyp)
{
    switch (ctyp) {
    case 2: return K_NUMBER;
    case 12: return K_DATE;
    case 180: return K_TIMESTAMP;
    case 181: return K_TSTZ;
    case 231: return K_TSLTZ;
    case 182: return K_IYM;
    case 183: return K_IDS;
    case 100: return K_BFLOAT;
    case 101: return K_BDOUBLE;
    case 23:
    case 24:
    case 113: return K_BINARY;
    default: return K_TEXT;
    }
}

static int damaged(dc_run &run, const dc_table &t, uint64_t off, const char *why)
{
    fprintf(stderr, "Table \"%s\" of %s damaged at offset %llu: %s.\n", t.name.c_str(), run.rd.path.c_str(),
            (unsigned long long)off, why);
    run.damaged = true;
    return -1;
}

int dc_read_columns(dc_run &run, dc_table &t)
{
    size_t ncol = t.cols.size();
    if (ncol == 0 || ncol > MAX_COLUMNS)
        return damaged(run, t, t.offset, "column count not valid");
    const uint8_t *c = dc_bytes(run.rd, t.offset, ncol * sizeof(COL_INFO));
    if (!c)
        return damaged(run, t, t.offset, "column information beyond the end of the file");
    for (size_t i = 0; i < ncol; i++, c += sizeof(COL_INFO)) {
        dc_column &col = t.cols[i];
        col.national = get_be32(c) & CI_NCHAR;
        col.ctyp = get_be32(c + 4);
        col.clen = get_be32(c + 8);
        col.name = field(reinterpret_cast<const char *>(c + offsetof(COL_INFO, name)), 32);
        col.kind = kind_of(col.ctyp);
        col.streamed = col.ctyp == 8 || col.ctyp == 24 || col.ctyp == 112 || col.ctyp == 113;
    }
    t.rows_at = t.offset + ncol * sizeof(COL_INFO);
    return 0;
}

// The end of the value record whose pieces start at off, or 0 when it does
// not end inside the file.
static uint64_t record_end(dc_reader &r, uint64_t off)
{
    for (;;) {
        const uint8_t *w = dc_bytes(r, off, 2);
        if (!w)
            return 0;
        unsigned n = get_be16(w);
        off += 2;
        if (n == DUMP_END)
            return off;
        if (n > DUMP_PIECE_MAX || off + n > r.size)
            return 0;
        off += n;
    }
}

int dc_read_row(dc_run &run, const dc_table &t, uint64_t *pos, std::vector<dc_cell> &cells)
{
    uint64_t at = *pos;
    size_t ncol = t.cols.size();
    cells.assign(ncol, dc_cell{});
    run.row.clear();
    const uint8_t *w = dc_bytes(run.rd, at, 2);
    if (!w)
        return damaged(run, t, at, "the rows end before the end-of-table mark");
    if (get_be16(w) == DUMP_EOT) {
        *pos = at + 2;
        return 0;
    }
    size_t nlong = 0;
    for (size_t c = 0; c <= ncol; c++) {
        w = dc_bytes(run.rd, at, 2);
        if (!w)
            return damaged(run, t, at, "a row cut short");
        unsigned word = get_be16(w);
        at += 2;
        if (word == DUMP_END)
            break;   // trailing columns not stored are NULL
        if (c == ncol)
            return damaged(run, t, at - 2, "a row with more values than columns");
        switch (word) {
        case DUMP_NULL: break;
        case DUMP_LONG:
        case DUMP_LOB:
            if (!t.cols[c].streamed || (word == DUMP_LONG) != (t.cols[c].ctyp == 8 || t.cols[c].ctyp == 24))
                return damaged(run, t, at - 2, "a LONG or LOB mark in a column of another type");
            cells[c].kind = dc_cell::RECORD;
            nlong += word == DUMP_LONG;
            break;
        case DUMP_VALUE:
        case DUMP_EOT: return damaged(run, t, at - 2, "a mark out of place in a row");
        default: {
            const uint8_t *v = dc_bytes(run.rd, at, word);
            if (!v)
                return damaged(run, t, at, "a value beyond the end of the file");
            cells[c].kind = dc_cell::VALUE;
            cells[c].at = run.row.size();
            cells[c].n = word;
            run.row.insert(run.row.end(), v, v + word);
            at += word;
        }
        }
    }
    if (nlong > 1)
        return damaged(run, t, *pos, "a row with more than one LONG value");
    // The value records: the LONG one first, then the LOBs in column order.
    for (int pass = 0; pass < 2; pass++)
        for (size_t c = 0; c < ncol; c++) {
            if (cells[c].kind != dc_cell::RECORD || (pass == 0) != (t.cols[c].ctyp == 8 || t.cols[c].ctyp == 24))
                continue;
            w = dc_bytes(run.rd, at, pass == 0 ? 2 : 4);
            if (!w || get_be16(w) != DUMP_VALUE)
                return damaged(run, t, at, "a LONG or LOB value record missing");
            cells[c].width = pass == 0 ? 0 : w[2];
            at += pass == 0 ? 2 : 4;
            cells[c].off = at;
            at = record_end(run.rd, at);
            if (at == 0)
                return damaged(run, t, cells[c].off, "a LONG or LOB value record cut short");
        }
    *pos = at;
    return 1;
}
