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

#include "kelvo/capture.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "parallel.h"

int run_unit(const UNIT *u, TAB *t, const TAB_INFO *ti)
{
    if (capture_start(u->cap) < 0)
        return 2;
    FILE *loss = capture_stream(CAP_LOSS);
    if (!loss)
        return 2;
    loss_capture(loss);
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
    capture_emit(CAP_RESULT, &r, sizeof(r));
    return 0;
}
