// "scan [datafile N]": every block of the configured datafiles (or of one),
// read in large sequential reads, with no dictionary. Each table data block
// (type 0x06 with a data transaction header) is counted for the data object
// number of its header: where its blocks lie, its rows, and a profile of each
// column position of the rows whose head piece holds their first columns.
// Memory grows with the number of data objects and their columns, never with
// blocks or rows. The result replaces the saved scan in the dictionary
// directory.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "kelvo/scan.h"
#include "kelvo/shell.h"
#include "value_tests.h"

namespace {

// Bytes read at a time: the blocks are profiled while still in the
// processor's cache.
constexpr size_t SCAN_SLICE = 256 * 1024;

struct Scan {
    SCAN_RESULT res;
    std::unordered_map<uint32_t, size_t> index;   // objd -> res.objs
    int cs_kind = SCS_UTF8;
    uint32_t last_objd = 0;                       // the object of the block before
    size_t last_at = SIZE_MAX;
};

SCAN_OBJ &object_of(Scan &s, uint32_t objd, const DATAFILE *df)
{
    if (s.last_at != SIZE_MAX && s.last_objd == objd)
        return s.res.objs[s.last_at];
    auto it = s.index.find(objd);
    size_t at;
    if (it != s.index.end()) {
        at = it->second;
    } else {
        at = s.res.objs.size();
        s.index.emplace(objd, at);
        SCAN_OBJ o{};
        o.objd = objd;
        o.tsn = df->tsn;
        o.bsz = df->bsz;
        s.res.objs.push_back(std::move(o));
    }
    s.last_objd = objd;
    s.last_at = at;
    return s.res.objs[at];
}

// The block at block number b of df joins the object's range in that file.
void place_block(SCAN_OBJ &o, const DATAFILE *df, uint32_t b)
{
    SCAN_RANGE *g = !o.ranges.empty() && o.ranges.back().fno == df->fno ? &o.ranges.back() : nullptr;
    for (size_t i = 0; !g && i < o.ranges.size(); i++)
        if (o.ranges[i].fno == df->fno)
            g = &o.ranges[i];
    if (!g) {
        if (o.ranges.size() >= SCAN_RANGES_MAX)
            return;
        o.ranges.push_back({df->fno, b, b, 0});
        g = &o.ranges.back();
    }
    if (b < g->first)
        g->first = b;
    if (b > g->last)
        g->last = b;
    g->blocks++;
    o.blocks++;
}

// The columns of one head piece that holds the first columns of its row
// (the last one only when it is whole).
void profile_piece(Scan &s, SCAN_OBJ &o, ROWPIECE *rp)
{
    int usable = rp->cc;
    if (!(rp->fb & FB_LAST)) {
        o.chained++;
        if (rp->fb & FB_NEXT)
            usable--;
    }
    // A piece holds at most 255 columns, fewer than an object keeps.
    static_assert(SCAN_COLS_MAX > 255);
    uint32_t cc = rp->cc;
    if (cc > o.ncol) {
        o.ncol = cc;
        o.cols.resize(cc);
    }
    const uint8_t *p = rp->cols;
    for (int i = 0; i < usable && (uint32_t)i < o.ncol; i++) {
        const uint8_t *data;
        uint32_t len;
        int r = next_column(&p, rp->end, &data, &len);
        if (r < 0)
            break;
        if (r > 0)
            scanval::count_value(&o.cols[(size_t)i], data, len, s.cs_kind);
    }
}

void profile_block(Scan &s, SCAN_OBJ &o, const uint8_t *blk, size_t bsz)
{
    int rows;
    // Compressed rows refer to a symbol table: counted, not profiled.
    if (compressed_block(blk, bsz, true, &rows)) {
        o.compressed++;
        if (rows > 0)
            o.rows += (uint64_t)rows;
        return;
    }
    int ntab = (int8_t)blk[data_header_offset(blk, bsz) + offsetof(KDBH, kdbhntab)];
    ROWWALK rw;
    ROWPIECE rp;
    if (ntab > 1) {
        // A cluster block: table 0 holds the keys, the others the rows of
        // the clustered tables, which are counted but not told apart.
        o.flag |= SCAN_CLUSTER;
        for (int t = 1; t < ntab; t++)
            if (row_walk_start(&rw, blk, bsz, t) > 0)
                while (row_walk_next(&rw, &rp) > 0)
                    o.rows++;
        return;
    }
    int st = row_walk_start(&rw, blk, bsz, 0);
    if (st < 0)
        o.bad++;
    if (st <= 0)
        return;
    while (row_walk_next(&rw, &rp) > 0) {
        o.rows++;
        // A migrated row's head holds no columns: its body lies elsewhere.
        if (!(rp.fb & FB_FIRST)) {
            o.chained++;
            continue;
        }
        if (parse_row_piece(&rp, 0) == 0)
            profile_piece(s, o, &rp);
    }
}

// Returns the table data blocks found in df.
uint64_t scan_file(Scan &s, DATAFILE *df)
{
    static uint8_t faults[SCAN_SLICE / 2048];
    const size_t bsz = df->bsz;
    uint64_t found = 0;
    progress_total(df->blks);
    read_whole_file(df, g_ctx.wrk, SCAN_SLICE, faults, [&](uint64_t b, uint32_t rdba, uint32_t n) {
        for (uint32_t i = 0; i < n; i++) {
            const uint8_t *blk = g_ctx.wrk + (size_t)i * bsz;
            int fault = faults[i];
            if (fault == BLOCK_UNFORMATTED || fault == BLOCK_PAST_END || fault == BLOCK_READ_ERROR)
                continue;
            // A block that failed its checks is only peeked at to tell whose it was.
            if (blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA ||
                blk[KTBBH_OFFSET + offsetof(KTBBH, ktbbhtyp)] != KTBBH_TYPE_DATA)
                continue;
            // A sound block whose data header does not parse holds no rows
            // (a SecureFile LOB block has the same transaction header).
            if (fault == BLOCK_GOOD && !data_header_parses(blk, bsz))
                continue;
            uint32_t objd = get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1));
            SCAN_OBJ &o = object_of(s, objd, df);
            place_block(o, df, (uint32_t)(b + i));
            found++;
            if (fault != BLOCK_GOOD)
                report_block(df, rdba + i, fault);
            if (fault != BLOCK_GOOD || o.bsz != bsz) {
                o.bad++;
                continue;
            }
            profile_block(s, o, blk, bsz);
        }
        progress_done(n, df->bsz);
    });
    return found;
}

// The datafile named by "datafile N", or all of them; -1 after a message.
int chosen_file(char *args, uint32_t *fno, bool *all)
{
    *all = *args == '\0';
    if (*all)
        return 0;
    char *end = nullptr;
    errno = 0;
    unsigned long n = 0;
    if (strncmp(args, "datafile", 8) == 0 && (args[8] == ' ' || args[8] == '\t'))
        n = strtoul(str_ltrim(args + 9), &end, 10);
    if (!end || end == str_ltrim(args + 9) || *str_ltrim(end) != '\0' || errno || n > 0xFFFFFFFFul) {
        fprintf(stderr, "usage: scan [datafile N]\n");
        return -1;
    }
    *fno = (uint32_t)n;
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
        if (g_ctx.df[i].fno == *fno)
            return 0;
    fprintf(stderr, "datafile %u not configured.\n", *fno);
    return -1;
}

} // namespace

int scan_handle(char *args)
{
    if (g_ctx.df == nullptr || g_ctx.sys.nf == 0 || g_ctx.wrk == nullptr) {
        fprintf(stderr, "no datafile configured.\n");
        return -1;
    }
    uint32_t fno = 0;
    bool all = true;
    if (chosen_file(args, &fno, &all) < 0)
        return -1;
    report_block_reset();
    Scan *s = new Scan;
    s->res.charset = g_charset;
    s->cs_kind = scan_charset_kind(g_charset);
    uint64_t blocks = 0;
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        DATAFILE *df = &g_ctx.df[i];
        if ((!all && df->fno != fno) || df->fd < 0)
            continue;
        if (df->bsz < 2048 || df->bsz > 65536 || df->bsz > SCAN_SLICE) {
            fprintf(stderr, "datafile %u \"%s\": block size %u not supported, not scanned.\n", df->fno, df->name,
                    df->bsz);
            continue;
        }
        char label[128];
        int n = snprintf(label, sizeof(label), ". . scanning datafile %u  ", df->fno);
        for (; n < 80; n++)
            label[n] = '.';
        label[80] = '\0';
        fputs(label, stderr);
        progress_begin(label);
        uint64_t found = scan_file(*s, df);
        progress_end();
        fprintf(stderr, "%10u blocks read.\n", df->blks);
        printf("DATAFILE %u \"%s\" (ts#=%u): %u blocks, %llu table data blocks\n", df->fno, df->name, df->tsn,
               df->blks, (unsigned long long)found);
        blocks += found;
    }
    std::sort(s->res.objs.begin(), s->res.objs.end(),
              [](const SCAN_OBJ &a, const SCAN_OBJ &b) { return a.objd < b.objd; });
    uint64_t rows = 0;
    for (const SCAN_OBJ &o : s->res.objs)
        rows += o.rows;
    int rc = scan_save(s->res);
    printf("%zu data objects in %llu table data blocks, %llu rows", s->res.objs.size(), (unsigned long long)blocks,
           (unsigned long long)rows);
    if (rc == 0)
        printf("; saved in \"%s/%s\".\n", g_ctx.par.dict_dir, SCAN_FILE);
    else
        printf("; not saved.\n");
    check_value_hint();
    fflush(stdout);
    delete s;
    return rc;
}
