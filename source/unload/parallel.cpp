// The parallel unload: the tables are cut into units (a whole table; a run
// of its partitions; a range of the blocks of one large segment), each
// unloaded by a forked worker into a part file of its own. The parent runs
// at most "parallel" workers at once and takes their units strictly in the
// serial order: it says each table's opening lines, replays what the
// unit's worker said, appends its part to the dump and adds up its counts,
// then says the table's closing lines. So the dump, the messages and the
// loss report are those of the serial unload, byte for byte.
//
// A table is one unit when its units could meet in state the serial walk
// carries from block to block: a clustered table (its segment is shared),
// a table with LOB or extended columns (the value readers say some things
// once per table), a table with a LONG column (so that "unload table" of
// one runs in the kelvo process and leaves its staging file long_tmp.dat
// in the data directory as before; a worker's own staging file is
// removed). A segment is cut into ranges of blocks only when its
// map is plain (plain_extents): then a range meets exactly what the whole
// walk meets there.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "parallel.h"

int parallel_workers(void)
{
    if (g_parallel > 0)
        return g_parallel;
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > PARALLEL_MAX ? PARALLEL_MAX : (int)n;
}

uint64_t parallel_unit_blocks(void)
{
    const char *v = getenv("KELVO_RANGE_BLOCKS");
    long n = v && *v ? atol(v) : 0;
    return n > 0 ? (uint64_t)n : 2048;
}

namespace {

// The blocks of a segment's extents in *lens when its map is plain.
bool plain_segment(const SEGREF &g, std::vector<uint8_t> &blk, std::vector<uint32_t> *lens)
{
    lens->clear();
    if (g.fno == 0 && g.blk == 0)
        return true;
    const DATAFILE *df = get_datafile(g.tsn, (int)g.fno);
    if (!df || df->bsz < 512 || df->bsz > 65536)
        return false;
    blk.resize(df->bsz);
    SEGWALK w;
    memset(&w, 0, sizeof(w));
    w.tsn = g.tsn;
    w.hdba = (uint32_t)(((uint64_t)g.fno << 22) | g.blk);
    w.hblk = blk.data();
    w.bsz = (int)df->bsz;
    return plain_extents(&w, lens);
}

struct Planner {
    std::vector<UNIT> *units;
    int tab;
    void add(uint32_t seg_from, uint32_t seg_to, uint64_t blk_from, uint64_t blk_to)
    {
        UNIT u = {};
        u.tab = tab;
        u.slice = {seg_from, seg_to, blk_from, blk_to, false, false};
        u.cap = u.part = -1;
        units->push_back(u);
    }
};

// Units of table i in walk order: the first carries the column information,
// the last the end mark.
void plan_table(int i, TAB *t, const TAB_INFO *ti, int workers, std::vector<UNIT> *units)
{
    Planner p = {units, i};
    size_t first = units->size();
    uint64_t least = parallel_unit_blocks();
    std::vector<SEGREF> segs;
    table_segments(t, &segs);
    bool whole = (t->flag & (TAB_CLUSTERED | TAB_LONG)) || t->tabn > 0 || ti->nlob > 0 ||
                 mark_extended_columns(t) > 0;
    if (!whole) {
        std::vector<uint8_t> blk;
        std::vector<uint32_t> lens;
        uint32_t from = 0;      // first segment not in a unit yet
        uint64_t gathered = 0;  // its blocks and those after it
        uint32_t n = (uint32_t)segs.size();
        for (uint32_t s = 0; s < n; s++) {
            bool plain = plain_segment(segs[s], blk, &lens);
            uint64_t total = 0;
            for (uint32_t l : lens)
                total += l;
            if (plain && total < 2 * least) {
                gathered += total;
                if (gathered >= least) {
                    p.add(from, s + 1, 0, 0);
                    from = s + 1;
                    gathered = 0;
                }
                continue;
            }
            if (from < s)
                p.add(from, s, 0, 0);
            from = s + 1;
            gathered = 0;
            if (!plain) {
                p.add(s, s + 1, 0, 0);
                continue;
            }
            // Ranges of about equal blocks.
            uint64_t nr = total / least < (uint64_t)workers ? total / least : (uint64_t)workers;
            for (uint64_t k = 0; k < nr; k++)
                p.add(s, s + 1, total * k / nr, k + 1 < nr ? total * (k + 1) / nr : UINT64_MAX);
        }
        if (from < n)
            p.add(from, n, 0, 0);
    }
    if (units->size() == first)
        p.add(0, UINT32_MAX, 0, 0);
    (*units)[first].slice.first = true;
    units->back().slice.last = true;
}

// A file of the data directory (so that the dump can take its bytes by
// reference), unlinked at once.
int scratch_file(void)
{
    char path[2048];
    int n = snprintf(path, sizeof(path), "%s/.kelvo-part-XXXXXX", g_ctx.par.data_dir);
    if (n < 0 || (size_t)n >= sizeof(path))
        return -1;
    int fd = mkstemp(path);
    if (fd >= 0)
        unlink(path);
    return fd;
}

void close_unit(UNIT &u)
{
    if (u.cap >= 0)
        close(u.cap);
    if (u.part >= 0)
        close(u.part);
    u.cap = u.part = -1;
    if (u.pid > 0) {
        // The worker's LONG staging file, left behind when it broke off.
        char path[2048];
        snprintf(path, sizeof(path), "%s/long_tmp.%d.dat", g_ctx.par.data_dir, (int)u.pid);
        unlink(path);
    }
}

bool start_unit(UNIT &u, TAB **tabs, const TAB_INFO *ti, const ULDR *ul, bool direct)
{
    u.direct = direct;
    u.dump = ul->fd;
    u.direct_ofs = ul->data_ofs;
    u.cap = scratch_file();
    u.part = u.cap >= 0 && !direct ? scratch_file() : -1;
    pid_t pid = u.cap >= 0 && (direct || u.part >= 0) ? fork() : -1;
    if (pid < 0) {
        close_unit(u);
        return false;
    }
    if (pid == 0)
        _exit(run_unit(&u, tabs[u.tab], &ti[u.tab]));
    u.pid = pid;
    return true;
}

// Appends len bytes of a part file to the dump at ul->data_ofs.
int append_part(ULDR *ul, int part, uint64_t len)
{
    loff_t in = 0, out = (loff_t)ul->data_ofs;
    uint64_t left = len;
    bool copy = true;
    while (left > 0) {
        ssize_t n = -1;
        if (copy) {
            n = copy_file_range(part, &in, ul->fd, &out, left, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                          errno == EBADF)) {
                copy = false;
                continue;
            }
        } else {
            size_t want = left < WORK_BUFFER_SIZE ? (size_t)left : WORK_BUFFER_SIZE;
            long got = pread_full(part, g_ctx.wrk, want, (uint64_t)in);
            if (got > 0 && pwrite_full(ul->fd, g_ctx.wrk, (size_t)got, (uint64_t)out) < 0)
                got = -1;
            n = got;
            if (n > 0) {
                in += n;
                out += n;
            }
        }
        if (n <= 0) {
            fprintf(stderr, "write cache data error: %s\n", n == 0 ? "part file ends early" : strerror(errno));
            return -1;
        }
        left -= (uint64_t)n;
    }
    ul->data_ofs += len;
    return 0;
}

// Says what the unit's worker said, in its order; its counts in *r.
bool replay(const UNIT &u, UNIT_RESULT *r)
{
    bool have = false;
    capture_replay(u.cap, [&](uint8_t tag, const uint8_t *p, uint32_t len) {
        if (tag == CAP_LOSS)
            loss_replay((const char *)p, len);
        else if (tag == CAP_RESULT && len == sizeof(UNIT_RESULT)) {
            memcpy(r, p, sizeof(*r));
            have = true;
        }
    });
    return have;
}

// The rows of a unit that the parent cannot take from a worker: the stream
// of its table ends where the unit began.
void end_stream_here(ULDR *ul)
{
    uint8_t eot[2];
    put_be16(eot, DUMP_EOT);
    if (pwrite_full(ul->fd, eot, 2, ul->data_ofs) < 0)
        fprintf(stderr, "write cache data error: %s\n", strerror(errno));
    else
        ul->data_ofs += 2;
}

// Takes a finished worker's unit into the dump; whether its table failed.
bool take_unit(ULDR *ul, UNIT &u, const TAB_INFO *ti)
{
    UNIT_RESULT r = {};
    progress_clear();
    bool have = replay(u, &r);
    if (!have || !WIFEXITED(u.status) || WEXITSTATUS(u.status) != 0) {
        if (WIFSIGNALED(u.status))
            fprintf(stderr, "unload table \"%s\": worker ended by signal %d, its rows from here on lost.\n",
                    ti->tab_name, WTERMSIG(u.status));
        else
            fprintf(stderr, "unload table \"%s\": worker ended before it finished, its rows from here on lost.\n",
                    ti->tab_name);
        end_stream_here(ul);
        return true;
    }
    if (u.direct)
        ul->data_ofs += r.len;
    else if (append_part(ul, u.part, r.len) < 0)
        r.failed = 1;
    ul->nrow += r.nrow;
    for (int k = 0; k < LOSS_KINDS; k++)
        ul->lost[k] += r.lost[k];
    ul->nskip += r.nskip;
    ul->ncompressed += r.ncompressed;
    ul->nowned += r.nowned;
    ul->nunparsed += r.nunparsed;
    ul->nasis += r.nasis;
    if (u.slice.first)
        ul->ncolw = r.ncolw;
    if (r.tsn != TSN_NONE)
        ul->tsn = r.tsn;
    if (r.data_lost)
        g_data_lost = 1;
    if (r.done > 0) {
        progress_total(r.total);
        progress_done(r.done, (uint32_t)(r.bytes / r.done));
    }
    return r.failed != 0;
}

// Waits for one worker to end and marks its unit.
void reap(std::vector<UNIT> &units, size_t from, size_t to, int *running)
{
    int st = 0;
    pid_t pid = waitpid(-1, &st, 0);
    if (pid < 0 && errno == EINTR)
        return;
    for (size_t i = from; i < to; i++) {
        UNIT &u = units[i];
        if (u.pid > 0 && !u.done && (pid < 0 || u.pid == pid)) {
            // No child left to wait for (reaped elsewhere): taken as broken off.
            u.status = pid < 0 ? -1 : st;
            u.done = true;
            (*running)--;
            if (pid > 0)
                return;
        }
    }
}

} // namespace

int unload_parallel(ULDR *ul, const char *user, TAB **tabs, bool table_fails, UNLOAD_TALLY *tally)
{
    int workers = parallel_workers();
    // Deleted rows, older data objects and the blocks of a scanned data
    // object keep their own counts and block lists in the working record:
    // one process reads them.
    if (workers <= 1 || ul->rec || ul->walk)
        return 1;
    TAB_INFO *ti = (TAB_INFO *)ul->tinf;
    std::vector<UNIT> units;
    for (int i = 0; i < ul->ntab; i++)
        plan_table(i, tabs[i], &ti[i], workers, &units);
    if (units.size() <= 1)
        return 1;

    std::vector<char> closed((size_t)ul->ntab, 0);
    // Units started ahead of the one taken next: finished parts wait for
    // their turn, so their number is bounded.
    size_t window = 4 * (size_t)workers;
    size_t next_start = 0, next_join = 0;
    int running = 0;
    while (next_join < units.size()) {
        while (next_start < units.size() && running < workers && next_start < next_join + window) {
            UNIT &u = units[next_start];
            if (!closed[(size_t)u.tab]) {
                // The parent writes the dump only when it takes a unit.
                if (!start_unit(u, tabs, ti, ul, next_start == next_join))
                    break;
                running++;
            }
            next_start++;
        }
        UNIT &u = units[next_join];
        if (u.pid > 0 && !u.done) {
            reap(units, next_join, next_start, &running);
            continue;
        }
        size_t i = (size_t)u.tab;
        next_join++;
        if (closed[i]) {
            // A later unit of a table that failed before it.
            close_unit(u);
            continue;
        }
        if (u.slice.first) {
            table_opening(ul, user, tabs[i], &ti[i]);
            ul->nskip = ul->ncompressed = ul->nowned = ul->nunparsed = ul->nasis = 0;
            ul->ncolw = 0;
        }
        bool fail;
        if (u.pid > 0) {
            fail = take_unit(ul, u, &ti[i]);
        } else {
            // No worker could be started for it: unloaded here, in its turn.
            next_start++;
            fail = unload_table_slice(ul, &u.slice) < 0;
        }
        close_unit(u);
        if (fail || u.slice.last) {
            table_closing(ul, &ti[i], fail, table_fails, tally);
            closed[i] = 1;
        }
    }
    return 0;
}
