// "unload object OBJD [USER.TABLE | (TYPE, TYPE, ...)]": the rows of one data
// object found by the scan, into "<datadir>/OBJ_<objd>.dat", a dump like any
// other. The columns are those of a table of the loaded dictionary (an older
// export, or the same table of another database), the types given, or the
// types the scan guessed (named COL1, COL2, ...). The blocks are those of the
// datafile ranges where the scan saw the data object, each checked to be a
// table data block of that object before its rows are read; no segment
// header is needed. LOB and LONG columns cannot be followed without their
// segments: their in-row bytes are written as RAW.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/scan.h"
#include "kelvo/shell.h"
#include "kelvo/unload.h"

namespace {


// The column types "unload object" accepts. A length in parentheses is taken
// where the type has one (sized), else the column's longest value in the
// scan; precision and scale of NUMBER, FLOAT and TIMESTAMP are accepted and
// left out. The LOB and LONG types become RAW.
struct TypeName {
    const char *name;
    uint32_t ctyp;
    uint32_t len;           // fixed length, 0: sized
    uint32_t flag;          // COL_NCHAR
    bool as_raw;
};
const TypeName type_names[] = {
    {"NUMBER", TYPE_NUMBER, 22, 0, false},      {"FLOAT", TYPE_NUMBER, 22, 0, false},
    {"INTEGER", TYPE_NUMBER, 22, 0, false},     {"DATE", TYPE_DATE, 7, 0, false},
    {"TIMESTAMP", TYPE_TIMESTAMP, 11, 0, false}, {"VARCHAR2", TYPE_VARCHAR2, 0, 0, false},
    {"VARCHAR", TYPE_VARCHAR2, 0, 0, false},    {"CHAR", TYPE_CHAR, 0, 0, false},
    {"NVARCHAR2", TYPE_VARCHAR2, 0, COL_NCHAR, false}, {"NCHAR", TYPE_CHAR, 0, COL_NCHAR, false},
    {"RAW", TYPE_RAW, 0, 0, false},             {"BINARY_FLOAT", TYPE_BINARY_FLOAT, 4, 0, false},
    {"BINARY_DOUBLE", TYPE_BINARY_DOUBLE, 8, 0, false}, {"LONG RAW", TYPE_RAW, 0, 0, true},
    {"LONG", TYPE_RAW, 0, 0, true},             {"CLOB", TYPE_RAW, 0, 0, true},
    {"NCLOB", TYPE_RAW, 0, 0, true},            {"BLOB", TYPE_RAW, 0, 0, true},
};
constexpr const char *TYPE_LIST = "NUMBER, FLOAT, INTEGER, DATE, TIMESTAMP, VARCHAR2, VARCHAR, CHAR, NVARCHAR2, "
                                  "NCHAR, RAW, BINARY_FLOAT, BINARY_DOUBLE, LONG, LONG RAW, CLOB, NCLOB, BLOB";

// The longest value of column position i in the scan, at least 1.
uint32_t scan_length(const SCAN_OBJ *o, size_t i)
{
    uint32_t n = i < o->cols.size() ? o->cols[i].maxlen : 0;
    return n < 1 ? 1 : n;
}

COL make_col(size_t i, uint32_t ctyp, uint32_t clen, uint32_t flag, const char *name)
{
    COL c{};
    c.flag = flag;
    c.cid = c.scid = (uint32_t)i + 1;
    c.ctyp = ctyp;
    c.clen = clen;
    snprintf(c.name, sizeof(c.name), "%s", name);
    return c;
}

// One in-row LOB or LONG column written as RAW: said, with the values the
// scan counted at its position.
void say_raw(const SCAN_OBJ *o, size_t i, const char *name, const char *type)
{
    unsigned long long n = i < o->cols.size() ? (unsigned long long)o->cols[i].values : 0;
    fprintf(stderr, "column %s is %s: its in-row bytes are written as RAW (%llu values in the scan).\n", name, type,
            n);
}

// "(TYPE, TYPE(n), NUMBER(p,s), ...)" into columns COL1, COL2, ...; -1 after
// a message.
int parse_types(const char *text, const SCAN_OBJ *o, std::vector<COL> &cols)
{
    const char *p = text + 1;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            p++;
        const char *w = p;
        while (*p && *p != ',' && *p != '(' && *p != ')')
            p++;
        std::string word(w, (size_t)(p - w));
        while (!word.empty() && (word.back() == ' ' || word.back() == '\t'))
            word.pop_back();
        for (char &c : word)
            c = (char)toupper((unsigned char)c);
        std::string compact;   // "LONG   RAW" as "LONG RAW"
        for (char c : word)
            if (!(c == ' ' || c == '\t') || (compact.size() && compact.back() != ' '))
                compact += (c == '\t' ? ' ' : c);
        long len = -1;
        if (*p == '(') {
            char *end;
            errno = 0;
            len = strtol(p + 1, &end, 10);
            while (*end == ' ')
                end++;
            if (*end == ',') {   // a scale: accepted, left out
                strtol(end + 1, &end, 10);
                while (*end == ' ')
                    end++;
            }
            if (end == p + 1 || *end != ')' || errno || len < 0 || len > 32767) {
                fprintf(stderr, "column %zu: length of \"%s\" not understood.\n", cols.size() + 1, compact.c_str());
                return -1;
            }
            p = end + 1;
            while (*p == ' ' || *p == '\t')
                p++;
        }
        const TypeName *t = nullptr;
        for (const TypeName &n : type_names)
            if (compact == n.name)
                t = &n;
        if (!t) {
            fprintf(stderr, "unknown column type \"%s\": the types are %s.\n", compact.c_str(), TYPE_LIST);
            return -1;
        }
        if (cols.size() >= SCAN_COLS_MAX) {
            fprintf(stderr, "more than %u column types given.\n", SCAN_COLS_MAX);
            return -1;
        }
        size_t i = cols.size();
        char name[32];
        snprintf(name, sizeof(name), "COL%zu", i + 1);
        uint32_t clen = t->len ? t->len : len > 0 ? (uint32_t)len : scan_length(o, i);
        cols.push_back(make_col(i, t->ctyp, t->as_raw ? scan_length(o, i) : clen, t->flag, name));
        if (t->as_raw)
            say_raw(o, i, name, t->name);
        if (*p == ',') {
            p++;
            continue;
        }
        if (*p == ')' && *str_ltrim((char *)p + 1) == '\0')
            return 0;
        fprintf(stderr, "usage: unload object OBJD [USER.TABLE | (TYPE, TYPE, ...)]\n");
        return -1;
    }
}

// The columns of a loaded table, its LOB and LONG columns made RAW.
int table_columns(const char *text, const SCAN_OBJ *o, std::vector<COL> &cols, TAB *t, char user[32],
                  char table[32])
{
    if (!(g_ctx.usr && g_ctx.obj && g_ctx.tab && g_ctx.col)) {
        fprintf(stderr, "no dictionary loaded, run \"load dict\" first.\n");
        return -1;
    }
    int tix = find_typed_table(text, user, table);
    if (tix < 0)
        return -1;
    const TAB *src = &g_ctx.tab[tix];
    if (src->flag & (TAB_CLUSTERED | TAB_IOT | TAB_UNSUPPORTED)) {
        fprintf(stderr, "table \"%s\" is clustered or organized by index: not unloaded by data object number.\n",
                table);
        return -1;
    }
    if ((uint64_t)src->coff + src->tcol > g_ctx.sys.ncol || src->tcol > SCAN_COLS_MAX) {
        fprintf(stderr, "columns of table obj#=%u lie outside the column dictionary.\n", src->objn);
        return -1;
    }
    for (uint32_t i = 0; i < src->tcol; i++) {
        COL c = g_ctx.col[src->coff + i];
        bool lob = c.ctyp == TYPE_CLOB || c.ctyp == TYPE_BLOB, lng = c.ctyp == TYPE_LONG || c.ctyp == TYPE_LONG_RAW;
        if (col_unloaded(&c) && (lob || lng)) {
            size_t pos = c.scid > 0 ? c.scid - 1 : i;
            say_raw(o, pos, c.name, lob ? "a LOB" : "a LONG");
            c.ctyp = TYPE_RAW;
            c.clen = scan_length(o, pos);
            c.flag &= ~COL_NCHAR;
        }
        cols.push_back(c);
    }
    t->objn = src->objn;
    t->ui = src->ui;
    t->oi = src->oi;
    t->flag = src->flag & TAB_EXTHDR;
    return 0;
}

DATAFILE *range_file(uint32_t fno, uint32_t bsz)
{
    for (uint32_t i = 0; g_ctx.df && i < g_ctx.sys.nf; i++)
        if (g_ctx.df[i].fno == fno && g_ctx.df[i].bsz == bsz && g_ctx.df[i].fd >= 0)
            return &g_ctx.df[i];
    return nullptr;
}

// The blocks of the scan's ranges: each one that is a table data block of
// the data object goes to the row decoder; one that cannot be read as it is
// is reported and counted.
int walk_ranges(ULDR *ul)
{
    const SCAN_OBJ *o = (const SCAN_OBJ *)ul->walk_arg;
    if (uldr_layout(ul, (int)o->bsz) < 0)
        return -1;
    std::vector<uint8_t> faults((size_t)ul->rbufblks);
    for (const SCAN_RANGE &g : o->ranges) {
        DATAFILE *df = range_file(g.fno, o->bsz);
        if (!df) {
            fprintf(stderr, "datafile %u of data object %u not configured: its %u blocks not read.\n", g.fno, o->objd,
                    g.blocks);
            note_losses(ul, LOSS_BLOCK, g.blocks, nullptr, 0, -1, -1, "datafile not configured");
            continue;
        }
        ul->tsn = (int)df->tsn;
        for (uint64_t b = g.first; b <= g.last;) {
            int n = g.last - b + 1 < (uint64_t)ul->rbufblks ? (int)(g.last - b + 1) : ul->rbufblks;
            uint32_t rdba = (df->flag & DF_BIGFILE) ? (uint32_t)b : ((df->rfn << 22) | (uint32_t)b);
            read_blocks_quiet(df, rdba, n, ul->rbuf, nullptr, faults.data());
            for (int i = 0; i < n; i++) {
                const uint8_t *blk = ul->rbuf + (size_t)i * (size_t)ul->bsz;
                int f = faults[(size_t)i];
                if (f == BLOCK_UNFORMATTED || f == BLOCK_PAST_END || f == BLOCK_READ_ERROR)
                    continue;
                if (blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA ||
                    blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhtyp)] != KTBBH_TYPE_DATA ||
                    get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)) != o->objd)
                    continue;
                if (f != BLOCK_GOOD) {
                    report_block(df, rdba + (uint32_t)i, f);
                    note_loss(ul, LOSS_BLOCK, df, rdba + (uint32_t)i, -1, -1, block_fault_text(f));
                    continue;
                }
                if (process_data_block(ul, blk) < 0)
                    return -1;
            }
            if (faults[(size_t)n - 1] == BLOCK_PAST_END)
                break;
            b += (uint64_t)n;
        }
    }
    return write_cache(ul);
}

// The loaded column dictionary stands aside while the object's own columns
// are unloaded.
struct ColumnsAside {
    COL *col = g_ctx.col;
    uint32_t ncol = g_ctx.sys.ncol;
    ColumnsAside(std::vector<COL> &cols)
    {
        g_ctx.col = cols.data();
        g_ctx.sys.ncol = (uint32_t)cols.size();
    }
    ~ColumnsAside()
    {
        g_ctx.col = col;
        g_ctx.sys.ncol = ncol;
    }
};

} // namespace

int unload_object(char *args)
{
    report_block_reset();
    char *p = str_ltrim(args);
    char *end = nullptr;
    errno = 0;
    unsigned long objd = strtoul(p, &end, 10);
    if (end == p || errno || objd == 0 || objd > 0xFFFFFFFFul || (*end && *end != ' ' && *end != '\t' && *end != '(')) {
        fprintf(stderr, "usage: unload object OBJD [USER.TABLE | (TYPE, TYPE, ...)]\n");
        return -1;
    }
    char *rest = str_ltrim(end);
    SCAN_RESULT r;
    if (scan_load(r) < 0)
        return -1;
    const SCAN_OBJ *o = scan_find(r, (uint32_t)objd);
    if (!o) {
        fprintf(stderr, "data object %lu not found by the saved scan.\n", objd);
        return -1;
    }
    if (o->flag & SCAN_CLUSTER) {
        fprintf(stderr, "data object %lu is a cluster: its tables are not unloaded by data object number.\n", objd);
        return -1;
    }
    std::vector<COL> cols;
    TAB t{};
    t.oi = t.ui = UINT32_MAX;
    char user[32] = "", table[32] = "";
    if (*rest == '(') {
        if (parse_types(rest, o, cols) < 0)
            return -1;
    } else if (*rest) {
        if (table_columns(rest, o, cols, &t, user, table) < 0)
            return -1;
    } else {
        for (size_t i = 0; i < o->ncol; i++) {
            SCAN_GUESS g = scan_guess(&o->cols[i]);
            char name[32];
            snprintf(name, sizeof(name), "COL%zu", i + 1);
            cols.push_back(make_col(i, g.ctyp, g.clen, 0, name));
        }
    }
    uint32_t stored = 0, visible = 0;
    for (const COL &c : cols) {
        stored += col_unloaded(&c);
        visible += col_visible(&c);
    }
    if (stored == 0) {
        fprintf(stderr, "data object %lu: no column profiled: name a table or give the types.\n", objd);
        return -1;
    }
    if (stored < o->ncol)
        fprintf(stderr, "data object %lu: rows hold up to %u columns, %u unloaded; the others are left out.\n", objd,
                o->ncol, stored);
    if (!table[0])
        snprintf(table, sizeof(table), "OBJ_%lu", objd);
    if (!user[0])
        snprintf(user, sizeof(user), "%s", g_ctx.cur_usr[0] ? g_ctx.cur_usr : "SCAN");
    t.objd = (uint32_t)objd;
    t.tsn = o->tsn;
    t.ncol = visible;
    t.tcol = (uint32_t)cols.size();

    char path[2048];
    snprintf(path, sizeof(path), "%s/OBJ_%lu.dat", g_ctx.par.data_dir, objd);
    ColumnsAside aside(cols);
    ULDR ul;
    init_uldr(&ul);
    ul.walk = walk_ranges;
    ul.walk_arg = o;
    ul.fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (ul.fd < 0) {
        fprintf(stderr, "open %s: %s\n", path, strerror(errno));
        return -1;
    }
    loss_begin(path);
    int status = -1;
    if (write_blank(ul.fd, DUMP_HEAD_SIZE + 512) == 0) {
        ul.data_ofs = DUMP_HEAD_SIZE + 512;
        TAB_INFO ti{};
        ti.ncol = stored;
        memcpy(ti.tab_name, table, strnlen(table, sizeof(ti.tab_name) - 1));
        ul.tinf = (uint8_t *)&ti;
        ul.ntab = 1;
        TAB *tp = &t;
        status = unload_tables(&ul, user, &tp, true);
    }
    loss_end();
    close(ul.fd);
    return status;
}
