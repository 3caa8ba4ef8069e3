// The recycle bin of "load dict": the RECYCLEBIN$ records of the
// "recyclebin" file, sorted by object number, and what they tell about a
// dropped table (its name before the drop, the time of the drop).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "kelvo/context.h"
#include "kelvo/scan.h"

namespace {

void release_recycle_bin()
{
    free(g_ctx.rbin);
    g_ctx.rbin = nullptr;
    g_nrecycled = 0;
}

// A record "export dict" could have written: its name ends inside its array
// and the time flag is 0 or 1.
bool record_sound(const RECYCLED &r)
{
    return memchr(r.name, '\0', sizeof(r.name)) != nullptr && r.has_time <= 1;
}

} // namespace

int load_recycle_bin(void)
{
    const DICT_TABLE &t = dict_tables[DT_RECYCLEBIN];
    release_recycle_bin();
    // An older export wrote no such file, a database without a recycle bin
    // an empty one: both load nothing and say nothing.
    char path[1200];
    snprintf(path, sizeof(path), "%s/%s.dat", g_ctx.par.dict_dir, t.file);
    struct stat st;
    if (stat(path, &st) != 0 || st.st_size == 0)
        return 0;
    void *data = nullptr;
    int size = 0;
    if (read_dict_data(t.file, &data, &size) != 0) {
        fprintf(stderr, "recycle bin not loaded: original names of dropped tables unknown.\n");
        return 0;
    }
    size_t n = (size_t)size / sizeof(RECYCLED);
    const RECYCLED *rec = (const RECYCLED *)data;
    bool sound = (size_t)size % sizeof(RECYCLED) == 0;
    for (size_t i = 0; sound && i < n; i++)
        sound = record_sound(rec[i]);
    if (!sound) {
        if (data != g_ctx.wrk)
            free(data);
        fprintf(stderr, "%s is damaged: recycle bin not loaded, original names of dropped tables unknown.\n", path);
        return 0;
    }
    RECYCLED *copy = (RECYCLED *)malloc((size_t)size);
    if (copy == nullptr) {
        fprintf(stderr, "allocate memory %d bytes error: %s\n", size, strerror(errno));
        if (data != g_ctx.wrk)
            free(data);
        return -1;
    }
    memcpy(copy, data, (size_t)size);
    if (data != g_ctx.wrk)
        free(data);
    // By object number for the lookups; equal numbers keep their file order,
    // so the first of them is the one found.
    std::stable_sort(copy, copy + n, [](const RECYCLED &a, const RECYCLED &b) { return a.objn < b.objn; });
    g_ctx.rbin = copy;
    g_nrecycled = (uint32_t)n;
    print_table_label("load", t);
    fprintf(stderr, "%10d rows done.\n", (int)n);
    return 0;
}

const RECYCLED *recycled_table(const TAB *t)
{
    if (g_ctx.rbin == nullptr || t == nullptr)
        return nullptr;
    const RECYCLED *end = g_ctx.rbin + g_nrecycled;
    const RECYCLED *r = std::lower_bound((const RECYCLED *)g_ctx.rbin, end, t->objn,
                                         [](const RECYCLED &a, uint32_t objn) { return a.objn < objn; });
    // The same object number under another owner belongs to another
    // database's bin: no name rather than a wrong one.
    if (r == end || r->objn != t->objn || g_ctx.usr == nullptr || t->ui >= g_ctx.sys.nu ||
        g_ctx.usr[t->ui].uid != r->owner || r->name[0] == '\0')
        return nullptr;
    return r;
}

void recycled_drop_time(const RECYCLED *r, char *buf, size_t size)
{
    if (size == 0)
        return;
    buf[0] = '\0';
    if (r == nullptr || !r->has_time)
        return;
    const uint8_t *d = r->droptime;
    if (!scan_date(d, sizeof(r->droptime))) {
        snprintf(buf, size, "?");
        return;
    }
    int year = ((int)d[0] - 100) * 100 + ((int)d[1] - 100);
    snprintf(buf, size, "%04d-%02d-%02d %02d:%02d:%02d", year, d[2], d[3], d[4] - 1, d[5] - 1, d[6] - 1);
}
