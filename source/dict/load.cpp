// "load dict": reads the dictionary files into the arrays of g_ctx and
// derives the fields that join them: object owners as user indexes, each
// table's object, owner and column range, the load-time flag bits of tables
// and columns, and the cluster key columns of clustered tables.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "kelvo/context.h"

namespace {

// Loads one file into its own allocation of the file's size (never the work
// buffer, which the next file and the unloader need).
template <class R>
int load_file(DICT_TABLE_ID id, R **arr)
{
    const DICT_TABLE &t = dict_tables[id];
    print_table_label("load", t);
    if (*arr != nullptr) {
        free(*arr);
        *arr = nullptr;
    }
    void *data = nullptr;
    int size = 0;
    if (read_dict_data(t.file, &data, &size) != 0)
        return -1;
    if (data == g_ctx.wrk) {
        void *copy = alloc_large((size_t)size);
        if (copy == nullptr) {
            fprintf(stderr, "allocate memory %d bytes error: %s\n", size, strerror(errno));
            return -1;
        }
        memcpy(copy, data, (size_t)size);
        data = copy;
    }
    *arr = (R *)data;
    *t.count = (uint32_t)((size_t)size / sizeof(R));
    fprintf(stderr, "%10d rows done.\n", (int)*t.count);
    return 0;
}

// Records that refer to something the dictionary does not hold are left out
// of their array, one message each, and counted; the array keeps its order.
uint32_t g_left_out;

// Keeps the records for which keep(record) is true, in order; updates *n.
template <class R, class F>
void keep_if(R *arr, uint32_t *n, F keep)
{
    uint32_t k = 0;
    for (uint32_t i = 0; i < *n; i++) {
        if (!keep(arr[i])) {
            g_left_out++;
            continue;
        }
        if (k != i)
            arr[k] = arr[i];
        k++;
    }
    *n = k;
}

void join_owners()
{
    keep_if(g_ctx.obj, &g_ctx.sys.nobj, [](OBJ &o) {
        if (o.owner == 1) {
            o.owner = OWNER_PUBLIC;
            return true;
        }
        int u = lookup_user(o.owner);
        if (u < 0) {
            fprintf(stderr, "user of object %d not found.\n", (int)o.objn);
            return false;
        }
        o.owner = (uint32_t)u;
        return true;
    });
}

void join_tables()
{
    keep_if(g_ctx.tab, &g_ctx.sys.ntab, [](TAB &t) {
        int oi = lookup_obj(t.objn);
        if (oi < 0) {
            fprintf(stderr, "object %d not found.\n", (int)t.objn);
            return false;
        }
        t.oi = (uint32_t)oi;
        t.ui = g_ctx.obj[oi].owner;
        if (g_ctx.obj[oi].flag & OBJ_DROPPED)
            t.flag |= TAB_DROPPED;
        return true;
    });
}

template <class P>
void join_parts(P *part, uint32_t *n)
{
    keep_if(part, n, [](P &p) {
        int oi = lookup_obj(p.objn);
        if (oi < 0) {
            fprintf(stderr, "object %d not found.\n", (int)p.objn);
            return false;
        }
        p.oi = (uint32_t)oi;
        return true;
    });
}

// Composite partitions: each gets its object, and its parent table becomes
// partitioned and composite-partitioned.
void join_composite_parts()
{
    keep_if(g_ctx.tcp, &g_ctx.sys.ntcp, [](TABPART &p) {
        int oi = lookup_obj(p.objn);
        if (oi < 0) {
            fprintf(stderr, "object %d not found.\n", (int)p.objn);
            return false;
        }
        int t = lookup_tab(p.objp);
        if (t < 0) {
            fprintf(stderr, "table %d not found.\n", (int)p.objp);
            return false;
        }
        p.oi = (uint32_t)oi;
        g_ctx.tab[t].flag |= TAB_PART | TAB_COMPOSITE;
        return true;
    });
}

// Column ranges: one merge of the tables and columns, both in object number
// order. j only moves forward; a table without columns sends it back to 0.
void join_columns()
{
    uint32_t ncol = g_ctx.sys.ncol;
    const COL *col = g_ctx.col;
    uint32_t j = 0;
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        TAB *t = &g_ctx.tab[i];
        uint32_t k = j;
        while (k < ncol && col[k].objn != t->objn)
            k++;
        if (k == ncol) {
            k = 0;
            while (k < ncol && col[k].objn != t->objn)
                k++;
        }
        if (k == ncol) {
            t->coff = 0;
            t->tcol = 0;
            j = 0;
            continue;
        }
        j = k;
        t->coff = j;
        for (; j < ncol && col[j].objn == t->objn; j++) {
            if (col[j].flag & COL_UNUSED_FLAG)
                t->flag |= TAB_COLFLAG;
            if (col[j].ctyp == TYPE_LONG || col[j].ctyp == TYPE_LONG_RAW)
                t->flag |= TAB_LONG;
        }
        t->tcol = j - t->coff;
    }
}

// Marks the key columns of every clustered table: the cluster's own COL
// records (its key columns, in segment column order) are matched by segment
// column number against the table's columns.
int mark_cluster_keys()
{
    void *data = nullptr;
    int size = 0;
    if (read_dict_data(dict_tables[DT_CLU].file, &data, &size) != 0)
        return -1;
    const CLU *clu = (const CLU *)data;
    size_t nclu = (size_t)size / sizeof(CLU);
    uint32_t ncol = g_ctx.sys.ncol;
    COL *col = g_ctx.col;
    int rc = 0;
    for (size_t c = 0; c < nclu && rc == 0; c++) {
        uint32_t k0 = 0;
        while (k0 < ncol && col[k0].objn != clu[c].objn)
            k0++;
        if (k0 == ncol) {
            // Its tables are left without key columns: a cluster key column
            // then reads as NULL.
            fprintf(stderr, "cluster obj#=%d columns not found.\n", (int)clu[c].objn);
            g_left_out++;
            continue;
        }
        // The key columns are the cluster's own records only: a COLS count
        // larger than the cluster's column records must not reach into the
        // columns of the next object.
        uint32_t kend = k0;
        while (kend < ncol && kend - k0 < clu[c].ncol && col[kend].objn == clu[c].objn)
            kend++;
        for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
            TAB *t = &g_ctx.tab[i];
            if (t->objb != clu[c].objn)
                continue;
            if (clu[c].flag & CLU_EXTHDR)
                t->flag |= TAB_EXTHDR;
            uint32_t end = t->coff + t->tcol;
            if (end > ncol || t->coff > ncol)
                continue;
            uint32_t m = t->coff;
            for (uint32_t k = k0; k < kend; k++) {
                while (m < end && col[m].scid != col[k].scid)
                    m++;
                if (m == end)
                    break;
                col[m].flag |= COL_CLUKEY;
            }
        }
    }
    if (data != g_ctx.wrk)
        free(data);
    return rc;
}

} // namespace

int load_dict_handle(char *args)
{
    if (strncmp(args, "dict", 4) != 0) {
        fprintf(stderr, "load command format error.\n");
        return -1;
    }
    ORXSYS *s = &g_ctx.sys;
    if (load_file(DT_USER, &g_ctx.usr) != 0) {
        // The usual cause: the dictionary was never exported from the datafiles.
        char path[1200];
        snprintf(path, sizeof(path), "%s/%s.dat", g_ctx.par.dict_dir, dict_tables[DT_USER].file);
        if (access(path, F_OK) != 0)
            fprintf(stderr, "Dictionary file %s not found: run \"export dict\" first.\n", path);
        return -1;
    }
    if (load_file(DT_TS, &g_ctx.ts) != 0 ||
        load_file(DT_OBJ, &g_ctx.obj) != 0 || load_file(DT_TAB, &g_ctx.tab) != 0 ||
        load_file(DT_COL, &g_ctx.col) != 0 || load_file(DT_TABPART, &g_ctx.tp) != 0 ||
        load_file(DT_TABCOMPART, &g_ctx.tcp) != 0 || load_file(DT_TABSUBPART, &g_ctx.tsp) != 0 ||
        load_file(DT_LOB, &g_ctx.lob) != 0 || load_file(DT_IND, &g_ctx.lidx) != 0 || load_recycle_bin() != 0)
        return -1;
    // Each step only needs the arrays joined before it: objects lose the
    // records of missing users before tables and partitions look them up.
    g_left_out = 0;
    join_owners();
    join_tables();
    join_parts(g_ctx.tp, &s->ntp);
    join_composite_parts();
    join_parts(g_ctx.tsp, &s->ntsp);
    join_columns();
    if (mark_cluster_keys() != 0)
        return -1;
    if (g_left_out > 0)
        fprintf(stderr, "%u dictionary records left out: they refer to missing records.\n", g_left_out);
    return 0;
}
