// "export dict": from the bootstrap table's segment header (kept in the
// header of datafile 1) to the sorted dictionary files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "kelvo/context.h"
#include "../block/segment_walk.h"

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
// into batches of R, write what is left and close the file. *count (the
// decoder's counter) ends as the number of records written.
template <class R, int (*DECODE)(uint8_t *, uint8_t *, R *, int, int, int *)>
int export_segment(const char *file, const char *write_msg, uint32_t *count, uint32_t tabn, uint32_t rdba,
                   uint8_t *rbuf, int buf_sz)
{
    DATAFILE *df = g_ctx.sysf;
    if (df == nullptr || rbuf == nullptr)
        return -1;
    size_t bsz = df->bsz;
    *count = 0;
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
    if (rc == 0 && write_dict_data(file, rec, (int)(sizeof(R) * (size_t)nrow)) != 0) {
        fputs(write_msg, stderr);
        rc = -1;
    }
    close_dict_file();
    if (rc == 0)
        *count += (uint32_t)nrow;
    return rc;
}

// The first seven tables are found through the bootstrap rows.
template <class R, int (*DECODE)(uint8_t *, uint8_t *, R *, int, int, int *)>
int export_boot_table(const char *table, const char *file, const char *write_msg, uint32_t *count, BOOTSTRAP *bs,
                      int nbr, uint8_t *rbuf, int buf_sz)
{
    char name[32];
    snprintf(name, sizeof(name), "%s", table);
    int tabn = 0;
    uint32_t rdba = 0;
    if (get_boot_table_rdba(bs, nbr, name, &tabn, &rdba) != 0) {
        fprintf(stderr, "get %s table segment header rdba error.\n", table);
        return -1;
    }
    return export_segment<R, DECODE>(file, write_msg, count, (uint32_t)tabn, rdba, rbuf, buf_sz);
}

} // namespace

int export_user(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<USER, process_user_block>("USER$", "user", "write user dictionary data error.\n",
                                                       &g_ctx.sys.nu, bs, nbr, rbuf, buf_sz);
}

int export_ts(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<TS, process_ts_block>("TS$", "ts", "write tablespace dictionary data error.\n",
                                                   &g_ctx.sys.nts, bs, nbr, rbuf, buf_sz);
}

int export_obj(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<OBJ, process_obj_block>("OBJ$", "obj", "write object dictionary data error.\n",
                                                     &g_ctx.sys.nobj, bs, nbr, rbuf, buf_sz);
}

int export_tab(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<TAB, process_tab_block>("TAB$", "tab", "write table dictionary data error.\n",
                                                     &g_ctx.sys.ntab, bs, nbr, rbuf, buf_sz);
}

int export_clu(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<CLU, process_clu_block>("CLU$", "cluster", "write cluster dictionary data error.\n",
                                                     &g_nclu, bs, nbr, rbuf, buf_sz);
}

int export_col(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<COL, process_col_block>("COL$", "col", "write column dictionary data error.\n",
                                                     &g_ctx.sys.ncol, bs, nbr, rbuf, buf_sz);
}

int export_lob_ind(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz)
{
    return export_boot_table<LOBIDX, process_ind_block>("IND$", "ind", "write lob index dictionary data error.\n",
                                                        &g_ctx.sys.nidx, bs, nbr, rbuf, buf_sz);
}

int export_lob(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<LOB, process_lob_block>("lob", "write lob dictionary data error.\n", &g_ctx.sys.nlob,
                                                  tabn, rdba, rbuf, buf_sz);
}

int export_tabpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABPART, process_tabpart_block>("tabpart", "write tabpart dictionary data error.\n",
                                                          &g_ctx.sys.ntp, tabn, rdba, rbuf, buf_sz);
}

int export_tabsubpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABSUBPART, process_tabsubpart_block>("tabsubpart",
                                                                "write tabsubpart dictionary data error.\n",
                                                                &g_ctx.sys.ntsp, tabn, rdba, rbuf, buf_sz);
}

int export_tabcompart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<TABPART, process_tabcompart_block>("tabcompart",
                                                             "write tabcompart dictionary data error.\n",
                                                             &g_ctx.sys.ntcp, tabn, rdba, rbuf, buf_sz);
}

int export_props(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz)
{
    return export_segment<PROPS, process_props_block>("props", "write property dictionary data error.\n",
                                                      &g_nprops, tabn, rdba, rbuf, buf_sz);
}

int export_dict_handle(char *args)
{
    if (strncmp(args, "dict", 4) != 0) {
        fprintf(stderr, "export command format error.\n");
        return -1;
    }
    if (g_ctx.sys.rootdba == 0 || g_ctx.sysf == nullptr) {
        fprintf(stderr, "root dba not found, 1# datafile not in file list.\n");
        return -1;
    }
    BootRows br;
    if (read_bootstrap(br) != 0)
        return -1;
    close_dict_file();

    ORXSYS *s = &g_ctx.sys;
    uint8_t *early = g_ctx.wrk + BOOT_AREA;
    uint8_t *wrk = g_ctx.wrk;
    BOOTSTRAP *bs = br.rows;
    int nbr = br.n;
    uint32_t sobj[DICT_LATE_TABLES], it[DICT_LATE_TABLES], dba[DICT_LATE_TABLES];

    // Each step prints its label, runs, and on success prints its count;
    // a failed export step adds its own line, a failed sort has said why.
    auto step = [](int rc, const uint32_t *count, const char *fail) {
        if (rc != 0) {
            if (fail)
                fputs(fail, stderr);
            return -1;
        }
        fprintf(stderr, "%10d rows done.\n", (int)*count);
        return 0;
    };
    // The label is printed before the step runs.
#define STEP(label, call, count, fail)                                                                                 \
    do {                                                                                                               \
        print_progress_label(label);                                                                                   \
        if (step((call), (count), (fail)) != 0)                                                                        \
            return -1;                                                                                                 \
    } while (0)

    STEP("export user$", export_user(bs, nbr, early, EARLY_BUF), &s->nu, "export user$ error.\n");
    STEP("export ts$", export_ts(bs, nbr, early, EARLY_BUF), &s->nts, "export ts$ error.\n");
    STEP("export obj$", export_obj(bs, nbr, early, EARLY_BUF), &s->nobj, "export obj$ error.\n");
    STEP("export tab$", export_tab(bs, nbr, early, EARLY_BUF), &s->ntab, "export tab$ error.\n");
    STEP("export clu$", export_clu(bs, nbr, early, EARLY_BUF), &g_nclu, "export clu$ error.\n");
    STEP("export col$", export_col(bs, nbr, early, EARLY_BUF), &s->ncol, "export col$ error.\n");
    STEP("export ind$", export_lob_ind(bs, nbr, early, EARLY_BUF), &s->nidx, "export ind$ error.\n");
    STEP("sort   user$", sort_user_by_uid(), &s->nu, nullptr);
    STEP("sort   ts$", sort_ts_by_tsn(), &s->nts, nullptr);
    STEP("sort   obj$", sort_obj_by_objn(sobj), &s->nobj, nullptr);
    STEP("sort   tab$", sort_tab_by_objn(sobj, it, dba), &s->ntab, nullptr);
    STEP("sort   col$", sort_col_by_scid(), &s->ncol, nullptr);
    STEP("sort   ind$", sort_lob_index_by_objn(), &s->nidx, nullptr);
    STEP("export lob$", export_lob(it[0], dba[0], wrk, WORK_BUFFER_SIZE), &s->nlob, "export lob$ error.\n");
    STEP("export tabpart$", export_tabpart(it[1], dba[1], wrk, WORK_BUFFER_SIZE), &s->ntp,
         "export tabpart$ error.\n");
    STEP("export tabsubpart$", export_tabsubpart(it[2], dba[2], wrk, WORK_BUFFER_SIZE), &s->ntsp,
         "export tabsubpart$ error.\n");
    STEP("export tabcompart$", export_tabcompart(it[3], dba[3], wrk, WORK_BUFFER_SIZE), &s->ntcp,
         "export tabcompart$ error.\n");
    STEP("export props$", export_props(it[4], dba[4], wrk, WORK_BUFFER_SIZE), &g_nprops,
         "export props$ error.\n");
    STEP("sort   lob$", sort_lob_by_objn(), &s->nlob, nullptr);
    STEP("sort   tabpart$", sort_tabpart_by_objp(), &s->ntp, nullptr);
    STEP("sort   tabsubpart$", sort_tabsubpart_by_objp(), &s->ntsp, nullptr);
    STEP("sort   tabcompart$", sort_tabcompart_by_objp(), &s->ntcp, nullptr);
#undef STEP
    check_dict_column_positions();
    return 0;
}
