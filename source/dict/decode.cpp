// The dictionary row decoders: one frame over the rows of one dictionary
// table in one block, and one member per table that takes its columns by
// position into a dictionary record.
//
// A row's columns are read through a cursor that starts at the piece holding
// the row's first column (the head piece, or the body a migrated row's head
// forwards to) and follows the row's further pieces when a wanted column lies
// beyond the ones stored in the current piece. A dictionary row continues in
// another piece when it outgrew its block (a long COL$ DEFAULT$, a long
// PROPS$ value); its later columns are then real values, and reading them as
// NULL would give wrong records. A column split across two pieces is joined.
// Columns past the last piece are trailing NULLs, which Oracle does not store.
//
// A row whose pieces do not fit their blocks is reported once and passed
// over; the export goes on. Only a failed block read ends the export step.
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/context.h"

uint32_t g_nclu;
uint32_t g_nprops;
uint32_t g_nrecycled;

const DICT_TABLE dict_tables[DT_COUNT] = {
    {"USER$", "user$", "user", "write user dictionary data error.\n", &g_ctx.sys.nu},
    {"TS$", "ts$", "ts", "write tablespace dictionary data error.\n", &g_ctx.sys.nts},
    {"OBJ$", "obj$", "obj", "write object dictionary data error.\n", &g_ctx.sys.nobj},
    {"TAB$", "tab$", "tab", "write table dictionary data error.\n", &g_ctx.sys.ntab},
    {"CLU$", "clu$", "cluster", "write cluster dictionary data error.\n", &g_nclu},
    {"COL$", "col$", "col", "write column dictionary data error.\n", &g_ctx.sys.ncol},
    {"IND$", "ind$", "ind", "write lob index dictionary data error.\n", &g_ctx.sys.nidx},
    {"LOB$", "lob$", "lob", "write lob dictionary data error.\n", &g_ctx.sys.nlob},
    {"TABPART$", "tabpart$", "tabpart", "write tabpart dictionary data error.\n", &g_ctx.sys.ntp},
    {"TABSUBPART$", "tabsubpart$", "tabsubpart", "write tabsubpart dictionary data error.\n", &g_ctx.sys.ntsp},
    {"TABCOMPART$", "tabcompart$", "tabcompart", "write tabcompart dictionary data error.\n", &g_ctx.sys.ntcp},
    {"PROPS$", "props$", "props", "write property dictionary data error.\n", &g_nprops},
    {"RECYCLEBIN$", "recyclebin$", "recyclebin", "write recycle bin dictionary data error.\n", &g_nrecycled},
};

namespace {

// A row has at most 1000 columns, each in at least one piece.
constexpr int MAX_ROW_PIECES = 1000;
// Joined split values longer than this are cut; the longest value taken is
// a property value of 127 bytes.
constexpr size_t JOIN_MAX = 4096;

struct DictRow {
    uint8_t *cblk;          // the spare block: holds every piece read by address
    size_t bsz;
    int tabn;
    unsigned opts;
    ROWPIECE rp;            // the current piece
    DATABLK db;             // the block holding the piece that starts the row
    DATABLK cdb;            // cblk, when it holds the current piece
    const uint8_t *p;       // next column of the current piece
    int left;               // columns of the current piece not yet read
    int pos;                // row position of the column at p
    int hops;               // pieces read by address
    uint32_t cblk_dba;      // the block cblk holds, read good (0: none yet)
    size_t jlen;
    uint8_t join[JOIN_MAX];
};

enum { ROW_OK = 0, ROW_BAD = -1, ROW_FATAL = -2 };

// Reads the piece at (dba, slot) of the row's table into cblk and makes it
// the current piece.
int read_piece(DictRow &r, uint32_t dba, uint16_t slot)
{
    if (++r.hops > MAX_ROW_PIECES) {
        fprintf(stderr, "dictionary row at rdba=0x%08x slot %d: more than %d row pieces.\n", r.rp.rdba, r.rp.slot,
                MAX_ROW_PIECES);
        return ROW_BAD;
    }
    // A piece that cannot be read costs its row only (the block is reported).
    // The migrated rows of a block often have their bodies in one other
    // block: it is read once for all of them.
    if (dba == 0 || dba != r.cblk_dba) {
        r.cblk_dba = 0;
        uint8_t fault = BLOCK_GOOD;
        if (read_blocks_checked(g_ctx.sysf, dba, 1, r.cblk, nullptr, &fault) != 0)
            return ROW_BAD;
        r.cblk_dba = dba;
    }
    int o = open_data_block(&r.cdb, r.cblk, r.bsz);
    if (o == 0)
        fprintf(stderr, "dictionary row piece rdba=0x%08x slot %d: not a data block.\n", dba, slot);
    if (o <= 0)
        return ROW_BAD;
    ROWPIECE rp;
    if (locate_row_piece(&r.cdb, r.tabn, slot, &rp) < 0 || parse_row_piece(&rp, r.opts) < 0)
        return ROW_BAD;
    r.rp = rp;
    r.p = rp.cols;
    r.left = rp.cc;
    return ROW_OK;
}

// Sets the cursor on the row's first column, from its head piece in the
// walked block.
int start_row(DictRow &r, const DATABLK &db, const ROWPIECE &head)
{
    r.db = db;
    r.hops = 0;
    r.pos = 0;
    r.rp = head;
    if (parse_row_piece(&r.rp, r.opts) < 0)
        return ROW_BAD;
    if (!(head.fb & FB_FIRST)) {
        // The head of a migrated row: the row lives at its next rowid.
        if (!r.rp.has_nrid)
            return ROW_BAD;
        int rc = read_piece(r, r.rp.nrid_dba, r.rp.nrid_slot);
        if (rc != ROW_OK)
            return rc;
        if (!(r.rp.fb & FB_FIRST)) {
            fprintf(stderr, "dictionary row piece rdba=0x%08x slot %d: migrated row without its first piece.\n",
                    r.rp.rdba, r.rp.slot);
            return ROW_BAD;
        }
        r.db = r.cdb;
    }
    r.p = r.rp.cols;
    r.left = r.rp.cc;
    return ROW_OK;
}

// The first key column of the row's cluster key row, in the block that
// holds the row's first piece.
int cluster_key(const DictRow &r, uint32_t *key)
{
    ROWPIECE kp;
    if (r.rp.cki < 0 || locate_row_piece(&r.db, 0, r.rp.cki, &kp) < 0)
        return ROW_BAD;
    const uint8_t *data;
    uint32_t len;
    int got = -1;
    if ((kp.fb & FB_WHOLE_KEY) == FB_WHOLE_KEY && kp.cc >= 1 && kp.end - kp.p > CLUSTER_KEY_HDR) {
        const uint8_t *q = kp.p + CLUSTER_KEY_HDR;
        got = next_column(&q, kp.end, &data, &len);
    }
    if (got < 0) {
        fprintf(stderr, "cluster key row rdba=0x%08x slot %d: unusable key for row slot %d.\n", kp.rdba, kp.slot,
                r.rp.slot);
        return ROW_BAD;
    }
    *key = got == 1 && len > 0 ? (uint32_t)ora_number_to_int(data, (int)len) : 0;
    return ROW_OK;
}

// Reads the column at the cursor and moves past it. Returns 1 with a value,
// 0 for NULL (also past the row's last stored column), or ROW_BAD/ROW_FATAL.
// With `want`, a value split over pieces is joined in r.join.
int next_row_column(DictRow &r, bool want, const uint8_t **data, uint32_t *len)
{
    while (r.left == 0) {
        if (!r.rp.has_nrid || (r.rp.fb & FB_LAST)) {
            r.pos++;
            *data = nullptr;
            *len = 0;
            return 0;
        }
        int rc = read_piece(r, r.rp.nrid_dba, r.rp.nrid_slot);
        if (rc != ROW_OK)
            return rc;
        if (r.rp.fb & FB_PREV) {
            // The previous piece ended on a whole column; a continuation mark
            // here would make two columns out of one.
            fprintf(stderr, "dictionary row piece rdba=0x%08x slot %d: continues a column that did not break.\n",
                    r.rp.rdba, r.rp.slot);
            return ROW_BAD;
        }
    }
    int got = next_column(&r.p, r.rp.end, data, len);
    if (got < 0) {
        fprintf(stderr, "dictionary row rdba=0x%08x slot %d: column %d beyond the block end.\n", r.rp.rdba,
                r.rp.slot, r.pos);
        return ROW_BAD;
    }
    r.left--;
    r.pos++;
    // The last column of a piece with FB_NEXT goes on as the first column of
    // the next piece (marked FB_PREV there).
    bool joined = false;
    r.jlen = 0;
    while (r.left == 0 && (r.rp.fb & FB_NEXT) && r.rp.has_nrid) {
        if (want) {
            size_t n = *len < JOIN_MAX - r.jlen ? *len : JOIN_MAX - r.jlen;
            if (n > 0)
                memcpy(r.join + r.jlen, *data, n);
            r.jlen += n;
            joined = true;
        }
        int rc = read_piece(r, r.rp.nrid_dba, r.rp.nrid_slot);
        if (rc != ROW_OK)
            return rc;
        if (!(r.rp.fb & FB_PREV) || r.left == 0)
            break;
        if (next_column(&r.p, r.rp.end, data, len) < 0) {
            fprintf(stderr, "dictionary row rdba=0x%08x slot %d: column %d beyond the block end.\n", r.rp.rdba,
                    r.rp.slot, r.pos - 1);
            return ROW_BAD;
        }
        r.left--;
        got = 1;
    }
    if (joined) {
        size_t n = *len < JOIN_MAX - r.jlen ? *len : JOIN_MAX - r.jlen;
        if (n > 0 && *data)
            memcpy(r.join + r.jlen, *data, n);
        r.jlen += n;
        *data = r.join;
        *len = (uint32_t)r.jlen;
        got = 1;
    }
    return got;
}

// The column at row position `pos` (positions are asked in ascending order).
int column_at(DictRow &r, int pos, const uint8_t **data, uint32_t *len)
{
    while (r.pos < pos) {
        int rc = next_row_column(r, false, data, len);
        if (rc < 0)
            return rc;
    }
    return next_row_column(r, true, data, len);
}

// A number column through conv; 0 for NULL.
template <class T, class CONV>
int number_at(DictRow &r, int pos, T *v, CONV conv)
{
    const uint8_t *d;
    uint32_t len;
    int rc = column_at(r, pos, &d, &len);
    if (rc < 0)
        return rc;
    *v = rc == 0 ? 0 : conv(d, (int)len);
    return ROW_OK;
}

int num_at(DictRow &r, int pos, uint32_t *v)
{
    return number_at(r, pos, v, [](const uint8_t *d, int len) { return (uint32_t)ora_number_to_int(d, len); });
}

// A flag column at full width (COL$ PROPERTY has bits above 32 from 12c on).
int num64_at(DictRow &r, int pos, uint64_t *v) { return number_at(r, pos, v, ora_number_to_u64); }

// A name or value, cut to size - 1 bytes and NUL-terminated; empty for NULL.
int text_at(DictRow &r, int pos, char *out, size_t size)
{
    const uint8_t *d;
    uint32_t len;
    int rc = column_at(r, pos, &d, &len);
    if (rc < 0)
        return rc;
    size_t n = rc == 0 ? 0 : (len < size - 1 ? len : size - 1);
    if (n > 0)
        memcpy(out, d, n);
    out[n] = '\0';
    return ROW_OK;
}

// A name: cut to the record's NAME_KEPT bytes as text_at does, and, when
// longer, noted with what identifies its record (see long_names_settle).
int name_at(DictRow &r, int pos, char *out, int table, uint32_t owner, uint32_t id, uint32_t id2)
{
    const uint8_t *d;
    uint32_t len;
    int rc = column_at(r, pos, &d, &len);
    if (rc < 0)
        return rc;
    size_t n = rc == 0 ? 0 : (len < (uint32_t)NAME_KEPT ? len : (size_t)NAME_KEPT);
    if (n > 0)
        memcpy(out, d, n);
    out[n] = '\0';
    if (rc > 0 && len > (uint32_t)NAME_KEPT)
        note_long_name(table, owner, id, id2, d, len);
    return ROW_OK;
}

// Fill results beyond the row states: the row is not kept.
constexpr int ROW_FILTERED = 1;

struct Member {
    const DICT_TABLE &t;
    bool clustered;
    bool skip_prev;         // pass over heads marked as continuing a previous piece
};

// The frame shared by the thirteen decoders. fill(row, key, rec) takes the
// columns and returns ROW_OK, ROW_FILTERED, ROW_BAD or ROW_FATAL.
template <class R, class F>
int decode_block(const Member &m, uint8_t *cblk, uint8_t *blk, R *rec, int tabn, int max_rows, int *nrow, F fill)
{
    if (blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA || g_ctx.sysf == nullptr)
        return 0;
    int n = *nrow;
    if (max_rows < 1 || n < 0 || n >= max_rows)
        return -1;
    DictRow cursor;
    DictRow *row = &cursor;
    row->cblk = cblk;
    row->cblk_dba = 0;
    row->bsz = g_ctx.sysf->bsz;
    row->tabn = tabn;
    row->opts = m.clustered ? RP_CLUSTERED : 0;
    ROWWALK rw;
    if (row_walk_start(&rw, blk, row->bsz, tabn) <= 0)
        return 0;
    ROWPIECE head;
    while (row_walk_next(&rw, &head) > 0) {
        if (m.skip_prev && (head.fb & FB_PREV))
            continue;
        int rc = start_row(*row, rw.db, head);
        uint32_t key = 0;
        if (rc == ROW_OK && m.clustered)
            rc = cluster_key(*row, &key);
        R *r = &rec[n];
        if (rc == ROW_OK) {
            memset(r, 0, sizeof(R));
            rc = fill(*row, key, *r);
        }
        if (rc == ROW_FATAL) {
            *nrow = n;
            return -1;
        }
        if (rc != ROW_OK)
            continue;
        if (++n == max_rows) {
            if (write_dict_data(m.t.file, rec, (int)(sizeof(R) * (size_t)n)) != 0) {
                fputs(m.t.write_msg, stderr);
                *nrow = 0;
                return -1;
            }
            *m.t.count += (uint32_t)n;
            n = 0;
        }
    }
    *nrow = n;
    return 0;
}

// Runs the column reads of one member in order, stopping at the first
// failure.
#define TAKE(expr)                                                                                                     \
    do {                                                                                                               \
        int rc_ = (expr);                                                                                              \
        if (rc_ != ROW_OK)                                                                                             \
            return rc_;                                                                                                \
    } while (0)

uint32_t tab_flag(uint32_t flags, uint32_t property)
{
    uint32_t f = (flags & 0x800000) ? TAB_EXTHDR : 0;
    if (property & 0x1)
        f |= TAB_UNSUPPORTED;
    else if (property & 0x2)
        f |= TAB_NESTED | TAB_UNSUPPORTED;
    else if (property & 0x4)
        f |= TAB_UNSUPPORTED;
    else if (property & 0x10)
        f |= TAB_UNSUPPORTED;
    else if (property & 0x20)
        f |= TAB_PART;
    else if (property & 0x40)
        f |= TAB_IOT | TAB_UNSUPPORTED;
    else if (property & 0x400)
        f |= TAB_CLUSTERED;
    else if (property & 0x800)
        f |= TAB_LOB;
    else if (property & (0x2000 | 0x20000 | 0x40000 | 0x100000))
        f |= TAB_UNSUPPORTED;
    else if (property & 0x400000)
        f |= TAB_IOT_OVF | TAB_UNSUPPORTED;
    else if ((int32_t)property < 0)
        f |= TAB_UNSUPPORTED;
    return f;
}

// COL$ PROPERTY bits of the columns a user added.
constexpr uint64_t COLP_HIDDEN = 0x20;
constexpr uint64_t COLP_USER_GENERATED = 0x400000000;  // with COLP_HIDDEN: an invisible column (12c)
constexpr uint64_t COLP_ADDED_DEFAULT = 0x40000000;    // added with a default kept in the dictionary

// A column whose rows stored before it was added do not hold it: Oracle
// gives them the default from the dictionary. 11g marks `ADD c DEFAULT v NOT
// NULL` with COLP_ADDED_DEFAULT. 12c does the same for nullable columns, but
// whether it marks them with this bit too is not known: it also adds a
// hidden guard column (PROPERTY 0x8000000000) before the column, and a COL$
// row of a nullable column added with a default in 12c would tell which
// bits the column itself carries. This is the one place to change.
bool added_with_dictionary_default(uint64_t property) { return (property & COLP_ADDED_DEFAULT) != 0; }

uint32_t col_flag(uint64_t property, uint32_t charsetform)
{
    uint32_t f = 0;
    // An invisible column is hidden only from SELECT *: it holds user data.
    bool invisible = (property & (COLP_HIDDEN | COLP_USER_GENERATED)) == (COLP_HIDDEN | COLP_USER_GENERATED);
    if ((property & COLP_HIDDEN) && !invisible)
        f = COL_HIDDEN;
    else if (property & 0x4000)
        f = COL_HIDDEN2;
    else if (property & 0x8000)
        f = COL_HIDDEN3;
    else if (property & (0x4000000 | 0x20000000))
        f = COL_UNUSED_FLAG;
    if (charsetform == 2)
        f |= COL_NCHAR;
    if (added_with_dictionary_default(property))
        f |= COL_DICT_DEFAULT;
    return f;
}

} // namespace

int process_user_block(uint8_t *cblk, uint8_t *blk, USER *usr, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_USER], true, true};
    return decode_block(m, cblk, blk, usr, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, USER &u) {
        uint32_t type;
        u.uid = key;
        TAKE(name_at(r, 0, u.name, DT_USER, 0, u.uid, 0));
        TAKE(num_at(r, 1, &type));
        if (type != 1)
            return ROW_FILTERED;
        TAKE(num_at(r, 3, &u.dts));
        TAKE(num_at(r, 4, &u.tts));
        TAKE(num_at(r, 14, &u.status));
        return (int)ROW_OK;
    });
}

int process_ts_block(uint8_t *cblk, uint8_t *blk, TS *ts, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_TS], true, true};
    return decode_block(m, cblk, blk, ts, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, TS &t) {
        t.tsn = key;
        TAKE(name_at(r, 0, t.name, DT_TS, 0, t.tsn, 0));
        TAKE(num_at(r, 1, &t.owner));
        return (int)ROW_OK;
    });
}

int process_obj_block(uint8_t *cblk, uint8_t *blk, OBJ *obj, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_OBJ], false, true};
    return decode_block(m, cblk, blk, obj, tabn, max_rows, nrow, [](DictRow &r, uint32_t, OBJ &o) {
        TAKE(num_at(r, 0, &o.objn));
        TAKE(num_at(r, 2, &o.owner));
        TAKE(name_at(r, 3, o.name, DT_OBJ, o.owner, o.objn, 0));
        TAKE(num_at(r, 6, &o.type));
        TAKE(num_at(r, 13, &o.flag));
        return (int)ROW_OK;
    });
}

int process_tab_block(uint8_t *cblk, uint8_t *blk, TAB *tab, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_TAB], true, true};
    return decode_block(m, cblk, blk, tab, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, TAB &t) {
        uint32_t flags, property;
        t.objn = key;
        TAKE(num_at(r, 0, &t.objd));
        TAKE(num_at(r, 1, &t.tsn));
        TAKE(num_at(r, 2, &t.fno));
        TAKE(num_at(r, 3, &t.blk));
        TAKE(num_at(r, 4, &t.objb));
        TAKE(num_at(r, 5, &t.tabn));
        TAKE(num_at(r, 6, &t.ncol));
        TAKE(num_at(r, 12, &flags));
        TAKE(num_at(r, 28, &property));
        t.flag = tab_flag(flags, property);
        return (int)ROW_OK;
    });
}

int process_clu_block(uint8_t *cblk, uint8_t *blk, CLU *clu, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_CLU], true, true};
    return decode_block(m, cblk, blk, clu, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, CLU &c) {
        uint32_t flags;
        c.objn = key;
        TAKE(num_at(r, 0, &c.objd));
        TAKE(num_at(r, 4, &c.ncol));
        TAKE(num_at(r, 14, &flags));
        c.flag = (flags & 0x800000) ? 0x10000 : 0;
        return (int)ROW_OK;
    });
}

int process_col_block(uint8_t *cblk, uint8_t *blk, COL *col, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_COL], true, true};
    return decode_block(m, cblk, blk, col, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, COL &c) {
        uint64_t property;
        uint32_t charsetform;
        c.objn = key;
        TAKE(num_at(r, 0, &c.cid));
        TAKE(num_at(r, 1, &c.scid));
        if (c.scid == 0)
            c.scid = COL_NOT_STORED;
        TAKE(name_at(r, 4, c.name, DT_COL, c.objn, c.cid, c.scid));
        TAKE(num_at(r, 5, &c.ctyp));
        TAKE(num_at(r, 6, &c.clen));
        TAKE(num64_at(r, 14, &property));
        TAKE(num_at(r, 16, &charsetform));
        c.flag = col_flag(property, charsetform);
        return (int)ROW_OK;
    });
}

int process_ind_block(uint8_t *cblk, uint8_t *blk, LOBIDX *idx, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_IND], true, true};
    return decode_block(m, cblk, blk, idx, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, LOBIDX &x) {
        uint32_t type;
        x.objp = key;
        TAKE(num_at(r, 0, &x.objn));
        TAKE(num_at(r, 1, &x.objd));
        TAKE(num_at(r, 2, &x.tsn));
        TAKE(num_at(r, 3, &x.fno));
        TAKE(num_at(r, 4, &x.blk));
        TAKE(num_at(r, 11, &type));
        return type == 8 ? (int)ROW_OK : ROW_FILTERED;
    });
}

int process_lob_block(uint8_t *cblk, uint8_t *blk, LOB *lob, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_LOB], true, true};
    return decode_block(m, cblk, blk, lob, tabn, max_rows, nrow, [](DictRow &r, uint32_t key, LOB &l) {
        uint32_t flags;
        l.objp = key;
        TAKE(num_at(r, 0, &l.cid));
        TAKE(num_at(r, 2, &l.objn));
        TAKE(num_at(r, 4, &l.indn));
        TAKE(num_at(r, 5, &l.tsn));
        TAKE(num_at(r, 6, &l.fno));
        TAKE(num_at(r, 7, &l.blk));
        TAKE(num_at(r, 8, &l.chunk));
        TAKE(num_at(r, 10, &flags));
        l.flag = (flags & 0x1000) ? LOB_ENCRYPTED : (flags & (0x2000 | 0x4000 | 0x8000)) ? LOB_COMPRESSED
                 : (flags & 0x70000)                                  ? LOB_DEDUPLICATED
                                                                      : 0;
        return (int)ROW_OK;
    });
}

int process_tabpart_block(uint8_t *cblk, uint8_t *blk, TABPART *tp, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_TABPART], false, true};
    return decode_block(m, cblk, blk, tp, tabn, max_rows, nrow, [](DictRow &r, uint32_t, TABPART &p) {
        TAKE(num_at(r, 0, &p.objn));
        TAKE(num_at(r, 1, &p.objd));
        TAKE(num_at(r, 2, &p.objp));
        TAKE(num_at(r, 6, &p.tsn));
        TAKE(num_at(r, 7, &p.fno));
        TAKE(num_at(r, 8, &p.blk));
        return (int)ROW_OK;
    });
}

int process_tabsubpart_block(uint8_t *cblk, uint8_t *blk, TABSUBPART *tsp, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_TABSUBPART], false, true};
    return decode_block(m, cblk, blk, tsp, tabn, max_rows, nrow, [](DictRow &r, uint32_t, TABSUBPART &p) {
        TAKE(num_at(r, 0, &p.objn));
        TAKE(num_at(r, 1, &p.objd));
        TAKE(num_at(r, 2, &p.objp));
        TAKE(num_at(r, 5, &p.tsn));
        TAKE(num_at(r, 6, &p.fno));
        TAKE(num_at(r, 7, &p.blk));
        return (int)ROW_OK;
    });
}

int process_tabcompart_block(uint8_t *cblk, uint8_t *blk, TABPART *tcp, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_TABCOMPART], false, true};
    return decode_block(m, cblk, blk, tcp, tabn, max_rows, nrow, [](DictRow &r, uint32_t, TABPART &p) {
        TAKE(num_at(r, 0, &p.objn));
        TAKE(num_at(r, 2, &p.objp));
        return (int)ROW_OK;
    });
}

int process_props_block(uint8_t *cblk, uint8_t *blk, PROPS *prop, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_PROPS], false, false};
    return decode_block(m, cblk, blk, prop, tabn, max_rows, nrow, [](DictRow &r, uint32_t, PROPS &p) {
        TAKE(text_at(r, 0, p.name, sizeof(p.name)));
        TAKE(text_at(r, 1, p.value, sizeof(p.value)));
        return (int)ROW_OK;
    });
}

int process_recyclebin_block(uint8_t *cblk, uint8_t *blk, RECYCLED *rb, int tabn, int max_rows, int *nrow)
{
    Member m{dict_tables[DT_RECYCLEBIN], false, true};
    return decode_block(m, cblk, blk, rb, tabn, max_rows, nrow, [](DictRow &r, uint32_t, RECYCLED &b) {
        TAKE(num_at(r, 0, &b.objn));
        TAKE(num_at(r, 1, &b.owner));
        TAKE(text_at(r, 2, b.name, sizeof(b.name)));
        TAKE(num_at(r, 3, &b.operation));
        TAKE(num_at(r, 4, &b.type));
        const uint8_t *d;
        uint32_t len;
        int rc = column_at(r, 8, &d, &len);
        if (rc < 0)
            return rc;
        // A DATE is 7 bytes; any other length is kept as no time at all.
        if (rc > 0 && len == sizeof(b.droptime)) {
            memcpy(b.droptime, d, sizeof(b.droptime));
            b.has_time = 1;
        }
        return (int)ROW_OK;
    });
}
