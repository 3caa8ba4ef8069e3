// A worker of a parallel unload: a forked process with a private copy of
// the work buffer and of the context, which writes its slice of a table's
// row stream into a part file of its own. Everything it would say goes into
// its capture file instead, tagged by where it was going: standard output,
// standard error, the loss report, and the bad blocks to report once, so
// that the parent says it all in the serial order and reports a block only
// the first time any table meets it.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <unistd.h>

#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "parallel.h"

namespace {

int cap_fd = -1;

void emit(uint8_t tag, const void *data, size_t n)
{
    uint8_t head[5];
    uint32_t len = (uint32_t)n;
    head[0] = tag;
    memcpy(head + 1, &len, 4);
    // A capture that cannot be written ends without its result: the parent
    // takes the unit as failed.
    if (write_full(cap_fd, head, sizeof(head)) < 0 || write_full(cap_fd, (const uint8_t *)data, n) < 0)
        _exit(3);
}

template <uint8_t TAG>
ssize_t put(void *, const char *buf, size_t n)
{
    emit(TAG, buf, n);
    return (ssize_t)n;
}

FILE *capture_stream(cookie_write_function_t *fn)
{
    cookie_io_functions_t io = {nullptr, fn, nullptr, nullptr};
    FILE *f = fopencookie(nullptr, "w", io);
    if (f)
        setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

void put_block(const DATAFILE *df, uint32_t rdba, int fault)
{
    if (df >= g_ctx.df && df < g_ctx.df + g_ctx.sys.nf) {
        CAP_BLOCK_REC r = {(uint32_t)(df - g_ctx.df), rdba, fault};
        emit(CAP_BLOCK, &r, sizeof(r));
        return;
    }
    // Not a datafile of the list: reported here, as the parent could not name it.
    g_report_hook = nullptr;
    report_block(df, rdba, fault);
    g_report_hook = put_block;
}

} // namespace

int run_unit(const UNIT *u, TAB *t, const TAB_INFO *ti)
{
    cap_fd = u->cap;
    FILE *out = capture_stream(put<CAP_STDOUT>);
    FILE *err = capture_stream(put<CAP_STDERR>);
    FILE *loss = capture_stream(put<CAP_LOSS>);
    if (!out || !err || !loss)
        return 2;
    // The inherited streams keep the parent's unwritten bytes: never touched
    // again, and the worker ends with _exit.
    stdout = out;
    stderr = err;
    loss_capture(loss);
    g_report_hook = put_block;
    progress_count();
    g_data_lost = 0;
    char name[64];
    snprintf(name, sizeof(name), "long_tmp.%d.dat", (int)getpid());
    long_staging_name(name);

    ULDR ul;
    init_uldr(&ul);
    ul.fd = u->direct ? u->dump : u->part;
    uint64_t start = u->direct ? u->direct_ofs : 0;
    ul.data_ofs = start;
    ul.tabp = t;
    ul.next = mark_extended_columns(t);
    ul.nlob = (int)ti->nlob + ul.next;
    ul.tsn = TSN_NONE;
    loss_table(ti->tab_name);
    int rc = unload_table_slice(&ul, &u->slice);
    if (ul.lfd >= 0)
        close(ul.lfd);

    UNIT_RESULT r = {};
    r.nrow = ul.nrow;
    memcpy(r.lost, ul.lost, sizeof(r.lost));
    r.nskip = ul.nskip;
    r.ncompressed = ul.ncompressed;
    r.nowned = ul.nowned;
    r.nunparsed = ul.nunparsed;
    r.nasis = ul.nasis;
    r.ncolw = ul.ncolw;
    r.tsn = ul.tsn;
    r.failed = rc < 0;
    r.data_lost = g_data_lost;
    r.len = ul.data_ofs - start;
    progress_counted(&r.total, &r.done, &r.bytes);
    emit(CAP_RESULT, &r, sizeof(r));
    return 0;
}
