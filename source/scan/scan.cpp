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
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <atomic>
#include <new>

#include "kelvo/block.h"
#include "kelvo/capture.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "kelvo/scan.h"
#include "kelvo/shell.h"
#include "kelvo/unload.h"
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
    // In a worker: the scan of the files before, whose objects keep the
    // tablespace and block size they were first seen with.
    const Scan *before = nullptr;
};

const SCAN_OBJ *find_object(const Scan &s, uint32_t objd)
{
    auto it = s.index.find(objd);
    return it == s.index.end() ? nullptr : &s.res.objs[it->second];
}

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
        if (const SCAN_OBJ *b = s.before ? find_object(*s.before, objd) : nullptr) {
            o.tsn = b->tsn;
            o.bsz = b->bsz;
        }
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
// (the last one only when it is whole): fb and cc from its header, its
// columns from cols up to end (the block's end). Inline: it runs for every
// row of the datafiles.
[[gnu::always_inline]] inline void profile_piece(Scan &s, SCAN_OBJ &o, uint8_t fb, uint32_t cc, const uint8_t *q,
                                                 const uint8_t *end)
{
    int usable = (int)cc;
    if (!(fb & FB_LAST)) {
        o.chained++;
        if (fb & FB_NEXT)
            usable--;
    }
    // A piece holds at most 255 columns, fewer than an object keeps.
    static_assert(SCAN_COLS_MAX > 255);
    if (cc > o.ncol) {
        o.ncol = cc;
        o.cols.resize(cc);
    }
    SCAN_COL *col = o.cols.data();
    for (int i = 0; i < usable; i++, col++) {
        if (q >= end)
            break;
        size_t n = q[0], hdr = 1;
        if (n == COLLEN_NULL) {
            q++;
            continue;
        }
        if (n == COLLEN_LONG) {
            if (end - q < 3)
                break;
            hdr = 3;
            n = get_le16(q + 1);
        }
        if (!in_bounds(hdr, n, (size_t)(end - q)))
            break;
        q += hdr;
        scanval::count_value(col, q, n, s.cs_kind, (size_t)(end - q));
        q += n;
    }
}

// The rows of a block of one table with a plain data header, walked and
// read in one loop: the checks of the row walk and of the piece header, made
// inline for speed, with the same results. false when the block needs the
// general walk (several tables, an extended header, a table directory entry
// outside the row directory).
bool profile_plain_block(Scan &s, SCAN_OBJ &o, const uint8_t *blk, size_t bsz)
{
    int dho = data_header_offset(blk, bsz);
    if (dho < 0)
        return false;
    const uint8_t *h = blk + dho;
    if (h[offsetof(KDBH, kdbhntab)] != 1 || (h[offsetof(KDBH, kdbhflag)] & KDBH_EXTENDED))
        return false;
    const size_t kdbt = (size_t)dho + sizeof(KDBH);
    const size_t kdbr = kdbt + sizeof(KDBT);
    if (kdbr > bsz)
        return false;
    const int nslot = (int)((bsz - kdbr) / 2);
    const int first = (int16_t)get_le16(blk + kdbt + offsetof(KDBT, kdbtoffs));
    const int count = (int16_t)get_le16(blk + kdbt + offsetof(KDBT, kdbtnrow));
    if (first < 0 || count < 0 || first > nslot || count > nslot - first)
        return false;
    const uint8_t *dir = blk + kdbr;
    const uint8_t *end = blk + bsz;
    auto slot_entry = [dir](int s) { return (int)(int16_t)get_le16(dir + 2 * (size_t)s); };
    // Free slots hold the next free slot's number, in ascending order.
    int sfll = (int16_t)get_le16(h + offsetof(KDBH, kdbhfrre));
    for (int s = 0; s < first && sfll >= 0; s++)
        if (s == sfll)
            sfll = slot_entry(s);
    uint64_t rows = 0, chained = 0;
    for (int sl = first; sl < first + count; sl++) {
        if (sl == sfll) {
            sfll = slot_entry(sl);
            continue;
        }
        int off = slot_entry(sl);
        if (off < 0 || !in_bounds((size_t)dho + (size_t)off, 3, bsz)) {
            fprintf(stderr, "block rdba=0x%08x slot %d: row offset %d beyond the block end.\n",
                    get_le32(blk + offsetof(KCBH, rdba_kcbh)), sl, off);
            continue;
        }
        const uint8_t *p = h + off;
        const uint8_t fb = p[0];
        if ((fb & (FB_HEAD | FB_DELETED)) != FB_HEAD)
            continue;
        rows++;
        // A migrated row's head holds no columns: its body lies elsewhere.
        if (!(fb & FB_FIRST)) {
            chained++;
            continue;
        }
        const uint8_t *q = p + 3;
        // The next piece's rowid follows the header.
        if (!(fb & FB_LAST)) {
            if ((size_t)(end - q) < (size_t)ROWID_SIZE) {
                fprintf(stderr, "block rdba=0x%08x slot %d: row header beyond the block end.\n",
                        get_le32(blk + offsetof(KCBH, rdba_kcbh)), sl);
                continue;
            }
            q += ROWID_SIZE;
        }
        profile_piece(s, o, fb, p[2], q, end);
    }
    o.rows += rows;
    o.chained += chained;
    return true;
}

void profile_block(Scan &s, SCAN_OBJ &o, const uint8_t *blk, size_t bsz)
{
    if (profile_plain_block(s, o, blk, bsz))
        return;
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
            profile_piece(s, o, rp.fb, rp.cc, rp.cols, rp.end);
    }
}

// Returns the table data blocks found in blocks first to last of df; each
// read's blocks are added to *done when it is given (a worker's progress).
uint64_t scan_blocks(Scan &s, DATAFILE *df, uint64_t first, uint64_t last, std::atomic<uint64_t> *done)
{
    static uint8_t faults[SCAN_SLICE / 2048];
    const size_t bsz = df->bsz;
    uint64_t found = 0;
    read_file_blocks(df, first, last, g_ctx.wrk, SCAN_SLICE, faults, [&](uint64_t b, uint32_t rdba, uint32_t n) {
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
        if (done)
            done->fetch_add(n, std::memory_order_relaxed);
        else
            progress_done(n, df->bsz);
    });
    return found;
}

// Adds the objects a worker found in df to the scan of the files before:
// what the serial scan would have counted, in the same places.
void merge_objects(Scan &s, const SCAN_RESULT &part, const DATAFILE *df)
{
    for (const SCAN_OBJ &p : part.objs) {
        SCAN_OBJ &o = object_of(s, p.objd, df);
        for (const SCAN_RANGE &r : p.ranges) {
            SCAN_RANGE *g = nullptr;
            for (size_t i = o.ranges.size(); !g && i-- > 0;)
                if (o.ranges[i].fno == r.fno)
                    g = &o.ranges[i];
            if (!g) {
                if (o.ranges.size() >= SCAN_RANGES_MAX)
                    continue;
                o.ranges.push_back({r.fno, r.first, r.last, 0});
                g = &o.ranges.back();
            }
            g->first = std::min(g->first, r.first);
            g->last = std::max(g->last, r.last);
            g->blocks += r.blocks;
            o.blocks += r.blocks;
        }
        o.flag |= p.flag;
        o.rows += p.rows;
        o.chained += p.chained;
        o.compressed += p.compressed;
        o.bad += p.bad;
        if (p.ncol > o.ncol) {
            o.ncol = p.ncol;
            o.cols.resize(p.ncol);
        }
        for (uint32_t i = 0; i < p.ncol; i++) {
            SCAN_COL &c = o.cols[i];
            const SCAN_COL &d = p.cols[i];
            if (d.values == 0)
                continue;
            c.minlen = c.values == 0 ? d.minlen : std::min(c.minlen, d.minlen);
            c.maxlen = std::max(c.maxlen, d.maxlen);
            c.values += d.values;
            c.bytes += d.bytes;
            c.num += d.num;
            c.date += d.date;
            c.stamp += d.stamp;
            c.text += d.text;
            c.other += d.other;
        }
    }
}

// Records a worker hands back besides its output: the encoded objects, then
// the table data blocks it found (u64).
constexpr uint8_t CAP_OBJECTS = 'S';

// One worker's piece of a datafile.
struct Piece {
    uint64_t first, last;
    int cap = -1;
    pid_t pid = -1;
    int status = 0;
};

// In a forked worker: scans its piece, everything it says captured.
[[noreturn]] void run_piece(const Scan &before, DATAFILE *df, const Piece &pc, std::atomic<uint64_t> *done)
{
    if (capture_start(pc.cap) < 0)
        _exit(2);
    progress_count();
    Scan *w = new Scan;
    w->before = &before;
    w->cs_kind = before.cs_kind;
    uint64_t found = scan_blocks(*w, df, pc.first, pc.last, done);
    std::sort(w->res.objs.begin(), w->res.objs.end(),
              [](const SCAN_OBJ &a, const SCAN_OBJ &b) { return a.objd < b.objd; });
    w->res.charset = before.res.charset;
    std::vector<uint8_t> bytes;
    scan_encode(w->res, bytes);
    if (bytes.size() > UINT32_MAX)
        _exit(4);
    fflush(stdout);
    fflush(stderr);
    capture_emit(CAP_OBJECTS, bytes.data(), bytes.size());
    capture_emit(CAP_RESULT, &found, sizeof(found));
    _exit(0);
}

// Scans df with `workers` forked processes over ranges of its blocks, their
// output said and their objects added in block order, as one process would.
// -1 when no worker could be started (the caller scans it alone).
int scan_in_pieces(Scan &s, DATAFILE *df, uint64_t last, int workers, uint64_t *found)
{
    std::vector<Piece> pieces((size_t)workers);
    uint64_t per = (last + (uint64_t)workers - 1) / (uint64_t)workers;
    for (int i = 0; i < workers; i++) {
        pieces[(size_t)i].first = 1 + (uint64_t)i * per;
        pieces[(size_t)i].last = std::min(last, (uint64_t)(i + 1) * per);
    }
    // Each worker's blocks read, for the progress; a pipe that ends when the
    // last worker has ended.
    void *shared = mmap(nullptr, sizeof(std::atomic<uint64_t>) * (size_t)workers, PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    int ends[2];
    if (shared == MAP_FAILED)
        return -1;
    auto *done = new (shared) std::atomic<uint64_t>[(size_t)workers]();
    if (pipe(ends) < 0) {
        munmap(shared, sizeof(std::atomic<uint64_t>) * (size_t)workers);
        return -1;
    }
    fflush(stdout);
    fflush(stderr);
    int started = 0;
    for (Piece &pc : pieces) {
        pc.cap = memfd_create("kelvo-scan", MFD_CLOEXEC);
        pc.pid = pc.cap >= 0 ? fork() : -1;
        if (pc.pid == 0) {
            close(ends[0]);
            run_piece(s, df, pc, &done[&pc - pieces.data()]);
        }
        started += pc.pid > 0;
    }
    close(ends[1]);
    // While they run: the progress, drawn from the workers' counts.
    uint64_t shown = 0;
    for (;;) {
        struct pollfd pfd = {ends[0], POLLIN, 0};
        int r = started > 0 ? poll(&pfd, 1, 250) : 1;
        uint64_t now = 0;
        for (int i = 0; i < workers; i++)
            now += done[i].load(std::memory_order_relaxed);
        if (now > shown)
            progress_done(now - shown, df->bsz);
        shown = now;
        if (r < 0 && errno == EINTR)
            continue;
        if (r != 0)
            break;
    }
    close(ends[0]);
    for (Piece &pc : pieces)
        if (pc.pid > 0)
            while (waitpid(pc.pid, &pc.status, 0) < 0 && errno == EINTR) {
            }
    munmap(shared, sizeof(std::atomic<uint64_t>) * (size_t)workers);
    if (started == 0) {
        for (Piece &pc : pieces)
            if (pc.cap >= 0)
                close(pc.cap);
        return -1;
    }
    // In block order: what each piece said, its objects, its count. A piece
    // whose worker could not start is scanned here.
    for (Piece &pc : pieces) {
        if (pc.pid < 0) {
            *found += scan_blocks(s, df, pc.first, pc.last, nullptr);
            if (pc.cap >= 0)
                close(pc.cap);
            continue;
        }
        SCAN_RESULT part;
        bool objects = false, counted = false;
        capture_replay(pc.cap, [&](uint8_t tag, const uint8_t *p, uint32_t len) {
            const char *why;
            if (tag == CAP_OBJECTS)
                objects = scan_decode(p, len, part, &why) == 0;
            else if (tag == CAP_RESULT && len == sizeof(uint64_t) && objects) {
                uint64_t n;
                memcpy(&n, p, sizeof(n));
                *found += n;
                counted = true;
            }
        });
        close(pc.cap);
        if (!counted || !WIFEXITED(pc.status) || WEXITSTATUS(pc.status) != 0) {
            progress_clear();
            if (WIFSIGNALED(pc.status))
                fprintf(stderr, "datafile %u blocks %llu to %llu: worker ended by signal %d, not scanned.\n",
                        df->fno, (unsigned long long)pc.first, (unsigned long long)pc.last, WTERMSIG(pc.status));
            else
                fprintf(stderr, "datafile %u blocks %llu to %llu: worker ended before it finished, not scanned.\n",
                        df->fno, (unsigned long long)pc.first, (unsigned long long)pc.last);
            continue;
        }
        merge_objects(s, part, df);
    }
    return 0;
}

// Returns the table data blocks found in df: read by parallel_workers()
// processes when the file is large enough to share out.
uint64_t scan_file(Scan &s, DATAFILE *df)
{
    uint64_t last = last_block(df);
    progress_total(df->blks);
    uint64_t least = parallel_unit_blocks();
    uint64_t workers = std::min<uint64_t>((uint64_t)parallel_workers(), last / least);
    uint64_t found = 0;
    if (workers >= 2 && scan_in_pieces(s, df, last, (int)workers, &found) == 0)
        return found;
    return scan_blocks(s, df, 1, last, nullptr);
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
