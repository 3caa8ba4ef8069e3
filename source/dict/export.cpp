// "export dict": from the bootstrap table's segment header (kept in the
// header of datafile 1) to the sorted dictionary files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "kelvo/block.h"

namespace {

// Work buffer layout: the bootstrap rows first, then the export buffer of the
// first seven exports; the last five use the whole buffer.
constexpr int BOOT_ROWS_IN_WRK = 64;
constexpr int BOOT_AREA = BOOT_ROWS_IN_WRK * (int)sizeof(BOOTSTRAP);
static_assert(BOOT_AREA == 262144);
constexpr int EARLY_BUF = WORK_BUFFER_SIZE - BOOT_AREA;
static_assert(EARLY_BUF == 0x7C0000);

// The bootstrap rows: in the work buffer while they fit there, then in an
// allocation that grows with the table (no row is ever refused).
struct BootRows {
    BOOTSTRAP *rows = nullptr;
    int n = 0;
    int cap = 0;
    bool own = false;

    ~BootRows()
    {
        if (own)
            free(rows);
    }
    int reserve(int need)
    {
        if (need <= cap)
            return 0;
        int ncap = cap * 2 > need ? cap * 2 : need;
        size_t bytes = (size_t)ncap * sizeof(BOOTSTRAP);
        BOOTSTRAP *r = (BOOTSTRAP *)malloc(bytes);
        if (r == nullptr) {
            fprintf(stderr, "allocate memory %zu bytes error: %s\n", bytes, strerror(errno));
            return -1;
        }
        memcpy(r, rows, (size_t)n * sizeof(BOOTSTRAP));
        if (own)
            free(rows);
        rows = r;
        cap = ncap;
        own = true;
        return 0;
    }
};

// Blocks of the dictionary table being exported that could not be used.
uint32_t g_skipped;

// Every usable block of the dictionary segment at rdba (in the SYSTEM
// tablespace) to visit(block); a bad block is reported by the walk and
// counted in g_skipped. hdr holds one block, area max_blks blocks.
template <class F>
int walk_dict_segment(uint32_t rdba, uint8_t *hdr, uint8_t *area, int max_blks, F visit)
{
    DATAFILE *df = g_ctx.sysf;
    if (df == nullptr)
        return -1;
    SEGWALK w;
    memset(&w, 0, sizeof(w));
    w.tsn = (int)df->tsn;
    w.hdba = rdba;
    w.hblk = hdr;
    w.area = area;
    w.area_blks = max_blks;
    w.bsz = (int)df->bsz;
    w.only = df;
    w.visit = [](SEGWALK *sw, const DATAFILE *, uint32_t, uint8_t *blk) { return (*(F *)sw->arg)(blk) != 0 ? -1 : 0; };
    w.lost = [](SEGWALK *, const DATAFILE *, uint32_t, uint32_t n, int fault) {
        g_skipped += fault == SEGWALK_MAP_BROKEN ? 1 : n;
        g_data_lost = 1;
    };
    w.arg = &visit;
    return walk_segment(&w) != 0 ? -1 : 0;
}

void print_skipped(const char *label)
{
    if (g_skipped)
        fprintf(stderr, "%10u blocks of %s skipped.\n", g_skipped, label);
    g_skipped = 0;
}

int read_bootstrap(BootRows &br)
{
    size_t bsz = g_ctx.sysf->bsz;
    br.rows = (BOOTSTRAP *)g_ctx.wrk;
    br.cap = BOOT_ROWS_IN_WRK;
    uint8_t *hdr = g_ctx.wrk + BOOT_AREA;
    uint8_t *area = hdr + bsz;
    int max_blks = (int)((size_t)(g_ctx.wrk + WORK_BUFFER_SIZE - area) / bsz);
    return walk_dict_segment(g_ctx.sys.rootdba, hdr, area, max_blks, [&br, bsz](uint8_t *blk) {
        if (br.reserve(br.n + bootstrap_block_slots(blk, bsz)) != 0)
            return -1;
        br.n += process_bootstrap_block(blk, br.rows, br.n);
        return 0;
    });
}

void close_dict_file()
{
    if (g_ctx.fd != -1) {
        close(g_ctx.fd);
        g_ctx.fd = -1;
    }
}

// One export: walk the segment at rdba, decode table tabn of every block
// into batches of R, write what is left and close the file. The table's
// counter (also the decoder's) ends as the number of records written.
template <class R, int (*DECODE)(uint8_t *, uint8_t *, R *, int, int, int *)>
int export_segment(const DICT_TABLE &t, uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    DATAFILE *df = g_ctx.sysf;
    if (df == nullptr || rbuf == nullptr)
        return -1;
    size_t bsz = df->bsz;
    *t.count = 0;
    close_dict_file();
    int max_rows = buf_sz / 2 / (int)sizeof(R);
    R *rec = (R *)rbuf;
    size_t hdr_off = ((size_t)max_rows * sizeof(R) + 7) & ~(size_t)7;
    uint8_t *hdr = rbuf + hdr_off;
    uint8_t *cblk = hdr + bsz;
    uint8_t *area = cblk + bsz;
    if (max_rows < 1 || hdr_off + 3 * bsz > (size_t)buf_sz) {
        fprintf(stderr, "export buffer of %d bytes too small for blocks of %zu bytes.\n", buf_sz, bsz);
        return -1;
    }
    int max_blks = (int)(((size_t)buf_sz - (size_t)(area - rbuf)) / bsz);
    int nrow = 0;
    int rc = walk_dict_segment(rdba, hdr, area, max_blks,
                               [&](uint8_t *blk) { return DECODE(cblk, blk, rec, (int)tabn, max_rows, &nrow); });
    if (rc == 0 && write_dict_data(t.file, rec, (int)(sizeof(R) * (size_t)nrow)) != 0) {
        fputs(t.write_msg, stderr);
        rc = -1;
    }
    close_dict_file();
    if (rc == 0)
        *t.count += (uint32_t)nrow;
    return rc;
}

// The first seven tables are found through the bootstrap rows.
template <class R, int (*DECODE)(uint8_t *, uint8_t *, R *, int, int, int *)>
int export_boot_table(const DICT_TABLE &t, BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    char name[32];
    snprintf(name, sizeof(name), "%s", t.table);
    int tabn = 0;
    uint32_t rdba = 0;
    if (get_boot_table_rdba(bs, nbr, name, &tabn, &rdba) != 0) {
        fprintf(stderr, "get %s table segment header rdba error.\n", t.table);
        return -1;
    }
    return export_segment<R, DECODE>(t, (uint32_t)tabn, rdba, rbuf, buf_sz);
}

} // namespace

int export_user(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<USER, process_user_block>(dict_tables[DT_USER], bs, nbr, rbuf, buf_sz);
}

int export_ts(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<TS, process_ts_block>(dict_tables[DT_TS], bs, nbr, rbuf, buf_sz);
}

int export_obj(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<OBJ, process_obj_block>(dict_tables[DT_OBJ], bs, nbr, rbuf, buf_sz);
}

int export_tab(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<TAB, process_tab_block>(dict_tables[DT_TAB], bs, nbr, rbuf, buf_sz);
}

int export_clu(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<CLU, process_clu_block>(dict_tables[DT_CLU], bs, nbr, rbuf, buf_sz);
}

int export_col(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<COL, process_col_block>(dict_tables[DT_COL], bs, nbr, rbuf, buf_sz);
}

int export_lob_ind(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<LOBIDX, process_ind_block>(dict_tables[DT_IND], bs, nbr, rbuf, buf_sz);
}

int export_lob(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<LOB, process_lob_block>(dict_tables[DT_LOB], tabn, rdba, rbuf, buf_sz);
}

int export_tabpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABPART, process_tabpart_block>(dict_tables[DT_TABPART], tabn, rdba, rbuf, buf_sz);
}

int export_tabsubpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABSUBPART, process_tabsubpart_block>(dict_tables[DT_TABSUBPART], tabn, rdba, rbuf, buf_sz);
}

int export_tabcompart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABPART, process_tabcompart_block>(dict_tables[DT_TABCOMPART], tabn, rdba, rbuf, buf_sz);
}

int export_props(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<PROPS, process_props_block>(dict_tables[DT_PROPS], tabn, rdba, rbuf, buf_sz);
}

int export_recyclebin(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<RECYCLED, process_recyclebin_block>(dict_tables[DT_RECYCLEBIN], tabn, rdba, rbuf, buf_sz);
}

namespace {

// An empty file for table t: "load dict" then finds no stale records of an
// earlier export in its place.
int write_empty_dict_file(const DICT_TABLE &t)
{
    *t.count = 0;
    close_dict_file();
    if (write_dict_data(t.file, nullptr, 0) != 0)
        return -1;
    close_dict_file();
    return 0;
}

// RECYCLEBIN$: the names dropped objects had. Only the unloads of dropped
// tables need it, so it never fails the export: a database without it (or
// without rows in it) exports as one without a recycle bin, silently; a
// segment that cannot be read leaves the file empty with one line.
int export_recycle_bin(uint32_t objn, uint32_t tabn, uint32_t rdba, uint8_t *wrk, int buf_sz)
{
    const DICT_TABLE &t = dict_tables[DT_RECYCLEBIN];
    g_skipped = 0;
    int rc = rdba == 0 ? -1 : export_recyclebin(tabn, rdba, wrk, buf_sz);
    if (rc != 0) {
        if (write_empty_dict_file(t) != 0)
            return -1;
        // Found in OBJ$ but not read: its rows are lost.
        if (objn != 0) {
            g_data_lost = 1;
            fprintf(stderr, "%s left empty: its segment %s.\n", t.table, rdba == 0 ? "is not known" : "cannot be read");
        }
    } else if (*t.count > 0 || g_skipped > 0) {
        print_table_label("export", t);
        progress_end();
        fprintf(stderr, "%10d rows done.\n", (int)*t.count);
    }
    print_skipped(t.label);
    return 0;
}

} // namespace

static int export_tables(BootRows &br)
{
    uint8_t *early = g_ctx.wrk + BOOT_AREA;
    uint8_t *wrk = g_ctx.wrk;
    BOOTSTRAP *bs = br.rows;
    int nbr = br.n;
    uint32_t sobj[DICT_FOUND_TABLES], it[DICT_FOUND_TABLES], dba[DICT_FOUND_TABLES];

    // Each step prints its label, runs, and on success prints its table's
    // count; a failed export step adds its own line, a failed sort has said
    // why.
    auto step = [](const char *verb, int id, auto run) {
        const DICT_TABLE &t = dict_tables[id];
        print_table_label(verb, t);
        g_skipped = 0;
        int rc = run();
        progress_end();
        if (rc != 0) {
            if (strcmp(verb, "export") == 0)
                fprintf(stderr, "export %s error.\n", t.label);
            print_skipped(t.label);
            return -1;
        }
        fprintf(stderr, "%10d rows done.\n", (int)*t.count);
        print_skipped(t.label);
        return 0;
    };
    // The first seven exports, DT_USER to DT_IND, find their tables in the
    // bootstrap rows; the five late ones, from DT_LOB on, through OBJ$ and TAB$.
    static int (*const boot_export[])(BOOTSTRAP *, int, uint8_t *, int) = {
        export_user, export_ts, export_obj, export_tab, export_clu, export_col, export_lob_ind};
    static int (*const late_export[DICT_LATE_TABLES])(uint32_t, uint32_t, uint8_t *, int) = {
        export_lob, export_tabpart, export_tabsubpart, export_tabcompart, export_props};
    static_assert(DT_USER == 0 && DT_IND + 1 == (int)(sizeof(boot_export) / sizeof(boot_export[0])) &&
                  DT_LOB == DT_IND + 1 && DT_RECYCLEBIN - DT_LOB == DICT_LATE_TABLES);

    for (int id = DT_USER; id <= DT_IND; id++)
        if (step("export", id, [&] { return boot_export[id](bs, nbr, early, EARLY_BUF); }) != 0)
            return -1;
    if (step("sort", DT_USER, [] { return sort_user_by_uid(); }) != 0 ||
        step("sort", DT_TS, [] { return sort_ts_by_tsn(); }) != 0 ||
        step("sort", DT_OBJ, [&] { return sort_obj_by_objn(sobj); }) != 0 ||
        step("sort", DT_TAB, [&] { return sort_tab_by_objn(sobj, it, dba); }) != 0 ||
        step("sort", DT_COL, [] { return sort_col_by_scid(); }) != 0 ||
        step("sort", DT_IND, [] { return sort_lob_index_by_objn(); }) != 0)
        return -1;
    for (int k = 0; k < DICT_LATE_TABLES; k++) {
        if (dba[k] == 0) {
            // Its OBJ$ or TAB$ row was lost: an empty file keeps "load dict"
            // working with what the other tables give.
            const DICT_TABLE &t = dict_tables[DT_LOB + k];
            print_table_label("export", t);
            if (write_empty_dict_file(t) != 0)
                return -1;
            g_data_lost = 1;
            fprintf(stderr, "%10d rows done.\n%s left empty: its segment is not known.\n", 0, t.table);
            continue;
        }
        if (step("export", DT_LOB + k, [&] { return late_export[k](it[k], dba[k], wrk, WORK_BUFFER_SIZE); }) != 0)
            return -1;
    }
    constexpr int RB = DT_RECYCLEBIN - DT_LOB;
    if (export_recycle_bin(sobj[RB], it[RB], dba[RB], wrk, WORK_BUFFER_SIZE) != 0)
        return -1;
    if (step("sort", DT_LOB, [] { return sort_lob_by_objn(); }) != 0 ||
        step("sort", DT_TABPART, [] { return sort_tabpart_by_objp(); }) != 0 ||
        step("sort", DT_TABSUBPART, [] { return sort_tabsubpart_by_objp(); }) != 0 ||
        step("sort", DT_TABCOMPART, [] { return sort_tabcompart_by_objp(); }) != 0)
        return -1;
    check_dict_column_positions();
    return long_names_settle();
}

int export_dict_handle(char *args)
{
    report_block_reset();
    if (strncmp(args, "dict", 4) != 0) {
        fprintf(stderr, "export command format error.\n");
        return -1;
    }
    if (g_ctx.sys.rootdba == 0 || g_ctx.sysf == nullptr) {
        fprintf(stderr, "root dba not found, 1# datafile not in file list.\n");
        return -1;
    }
    BootRows br;
    g_skipped = 0;
    long_names_begin();
    int rc = read_bootstrap(br);
    print_skipped("bootstrap$");
    if (rc != 0) {
        check_value_hint();
        return -1;
    }
    close_dict_file();
    rc = export_tables(br);
    check_value_hint();
    return rc;
}

