// Sorting the dictionary files in place, run by "export dict".
//
// The lookups and "load dict" rely on the order a selection sort gives: for
// each position i, the first record (in the current order) with the smallest
// key among positions i..n-1 is exchanged with the record at i. That sort is
// not stable (an exchange carries the record at i far back), and the files
// must keep exactly its order, so the sort below performs the very same
// exchanges. It only finds each minimum faster: a tournament tree over the
// positions not yet placed answers "first smallest" in O(log n), and each
// exchange changes two leaves. n records take O(n log n) instead of O(n^2).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "kelvo/context.h"

namespace {

// Tournament tree over positions 0..n-1: node k holds the winning position of
// its subtree, or -1 when every position below it is placed. The winner has
// the smallest key; among equal keys, the lowest position.
struct MinTree {
    size_t leaves = 0;
    int32_t *node = nullptr;
    const uint64_t *key = nullptr;

    int32_t better(int32_t a, int32_t b) const
    {
        if (a < 0)
            return b;
        if (b < 0)
            return a;
        if (key[b] < key[a] || (key[b] == key[a] && b < a))
            return b;
        return a;
    }
    void build(size_t n)
    {
        for (size_t i = 0; i < leaves; i++)
            node[leaves + i] = i < n ? (int32_t)i : -1;
        for (size_t k = leaves - 1; k >= 1; k--)
            node[k] = better(node[2 * k], node[2 * k + 1]);
    }
    void set(size_t pos, int32_t v)
    {
        size_t k = leaves + pos;
        node[k] = v;
        for (k >>= 1; k >= 1; k >>= 1)
            node[k] = better(node[2 * k], node[2 * k + 1]);
    }
};

// The order of a selection sort found the quick way where that is safe:
// keys already ascending (ties included) need no exchange at all, and
// distinct keys have only one ascending order, which any sort gives. Sets
// *moved when the records changed places; -1 when only the tournament tree
// can tell the order (equal keys out of order).
template <class R, class K>
int quick_order_sort(R *rec, size_t n, K keyof, bool *moved)
{
    *moved = false;
    size_t i = 1;
    while (i < n && keyof(rec[i - 1]) <= keyof(rec[i]))
        i++;
    if (i >= n)
        return 0;
    size_t bytes = n * sizeof(uint64_t) * 2;
    uint64_t *mem = (uint64_t *)alloc_large(bytes);
    if (mem == nullptr) {
        fprintf(stderr, "allocate memory %zu bytes error: %s\n", bytes, strerror(errno));
        return -2;
    }
    // (key, position) pairs; after sorting, pair i names the record that
    // belongs at i.
    struct Pair {
        uint64_t key, pos;
    };
    Pair *pr = (Pair *)mem;
    for (size_t k = 0; k < n; k++)
        pr[k] = {keyof(rec[k]), k};
    std::sort(pr, pr + n, [](const Pair &a, const Pair &b) { return a.key < b.key; });
    for (size_t k = 1; k < n; k++)
        if (pr[k - 1].key == pr[k].key) {
            free(mem);
            return -1;
        }
    // The records follow their cycles of the permutation; a placed position
    // is marked by pointing at itself.
    for (size_t k = 0; k < n; k++) {
        if (pr[k].pos == k)
            continue;
        R tmp = rec[k];
        size_t j = k;
        while (pr[j].pos != k) {
            size_t from = pr[j].pos;
            rec[j] = rec[from];
            pr[j].pos = j;
            j = from;
        }
        rec[j] = tmp;
        pr[j].pos = j;
    }
    free(mem);
    *moved = true;
    return 0;
}

// Sorts n records of type R by key(R) (a 64-bit value: first field in the
// high half, second in the low half) with the exchanges of a selection sort.
template <class R, class K>
int selection_order_sort(R *rec, size_t n, K keyof, bool *moved)
{
    *moved = false;
    if (n < 2)
        return 0;
    int q = quick_order_sort(rec, n, keyof, moved);
    if (q != -1)
        return q == 0 ? 0 : -1;
    *moved = true;
    size_t leaves = 1;
    while (leaves < n)
        leaves <<= 1;
    size_t bytes = n * sizeof(uint64_t) + 2 * leaves * sizeof(int32_t);
    uint8_t *mem = (uint8_t *)alloc_large(bytes);
    if (mem == nullptr) {
        fprintf(stderr, "allocate memory %zu bytes error: %s\n", bytes, strerror(errno));
        return -1;
    }
    uint64_t *key = (uint64_t *)mem;
    MinTree t;
    t.leaves = leaves;
    t.node = (int32_t *)(mem + n * sizeof(uint64_t));
    t.key = key;
    for (size_t i = 0; i < n; i++)
        key[i] = keyof(rec[i]);
    t.build(n);
    for (size_t i = 0; i + 1 < n; i++) {
        size_t p = (size_t)t.node[1];
        if (p != i) {
            R r = rec[i];
            rec[i] = rec[p];
            rec[p] = r;
            key[p] = key[i];
            t.set(p, (int32_t)p);       // the record from i now competes at p
        }
        t.set(i, -1);                    // position i is placed
    }
    free(mem);
    return 0;
}

inline uint64_t key2(uint32_t hi, uint32_t lo) { return ((uint64_t)hi << 32) | lo; }

// The records of one sort: the array pointer of g_ctx that holds the loaded
// copy (released first), and the counter that receives the record count.
template <class R>
struct SortFile {
    const char *name;
    R **loaded;
    uint32_t *count;
};

template <class R>
void release_loaded(R **loaded)
{
    if (*loaded != nullptr) {
        free(*loaded);
        *loaded = nullptr;
    }
}

void release_buffer(void *data)
{
    if (data != g_ctx.wrk)
        free(data);
}

// Reads the file, sorts it, runs `extra` on the sorted records (which may
// refuse the result), writes it again from the start and sets the table's
// counter.
template <class R, class K, class X>
int sort_dict_file(DICT_TABLE_ID id, R **loaded, K keyof, X extra)
{
    const char *name = dict_tables[id].file;
    release_loaded(loaded);
    void *data = nullptr;
    int size = 0;
    if (read_dict_data(name, &data, &size) != 0)
        return -1;
    size_t n = (size_t)size / sizeof(R);
    R *rec = (R *)data;
    bool moved = false;
    if (selection_order_sort(rec, n, keyof, &moved) != 0 || extra(rec, n) != 0) {
        release_buffer(data);
        return -1;
    }
    if (g_ctx.fd != -1) {
        close(g_ctx.fd);
        g_ctx.fd = -1;
    }
    // A file already in order, of whole records, is what the rewrite would
    // write again.
    if (!moved && n * sizeof(R) == (size_t)size) {
        release_buffer(data);
        *dict_tables[id].count = (uint32_t)n;
        return 0;
    }
    int rc = write_dict_data(name, rec, (int)(n * sizeof(R)));
    if (g_ctx.fd != -1) {
        close(g_ctx.fd);
        g_ctx.fd = -1;
    }
    release_buffer(data);
    if (rc != 0)
        return -1;
    *dict_tables[id].count = (uint32_t)n;
    return 0;
}

template <class R, class K>
int sort_dict_file(DICT_TABLE_ID id, R **loaded, K keyof)
{
    return sort_dict_file(id, loaded, keyof, [](R *, size_t) { return 0; });
}

// The name of the k-th of the dictionary tables found through OBJ$ and TAB$,
// in the order of the entries of sobj/tabn/rdba.
static_assert(DT_COUNT - DT_LOB == DICT_FOUND_TABLES && DT_RECYCLEBIN - DT_LOB == DICT_LATE_TABLES);
inline const char *late_table(int k) { return dict_tables[DT_LOB + k].table; }

} // namespace

int sort_user_by_uid()
{
    return sort_dict_file(DT_USER, &g_ctx.usr, [](const USER &r) { return key2(0, r.uid); });
}

int sort_ts_by_tsn()
{
    return sort_dict_file(DT_TS, &g_ctx.ts, [](const TS &r) { return key2(0, r.tsn); });
}

int sort_obj_by_objn(uint32_t *sobj)
{
    return sort_dict_file(
        DT_OBJ, &g_ctx.obj, [](const OBJ &r) { return key2(0, r.objn); },
        [sobj](OBJ *obj, size_t n) {
            for (int k = 0; k < DICT_FOUND_TABLES; k++)
                sobj[k] = 0;
            // Ascending object numbers: the last match is the highest.
            for (size_t i = 0; i < n; i++) {
                if (obj[i].owner != 0)
                    continue;
                for (int k = 0; k < DICT_FOUND_TABLES; k++)
                    if (strncmp(obj[i].name, late_table(k), sizeof(obj[i].name)) == 0)
                        sobj[k] = obj[i].objn;
            }
            // A table whose OBJ$ row was lost with a damaged block is said
            // once here; the export leaves its file empty and goes on. A
            // database without a recycle bin has no RECYCLEBIN$: nothing to
            // say.
            for (int k = 0; k < DICT_LATE_TABLES; k++)
                if (sobj[k] == 0)
                    fprintf(stderr, "table \"%s\" obj# not found.\n", late_table(k));
            return 0;
        });
}

int sort_tab_by_objn(uint32_t *sobj, uint32_t *tabn, uint32_t *rdba)
{
    return sort_dict_file(
        DT_TAB, &g_ctx.tab, [](const TAB &r) { return key2(0, r.objn); },
        [sobj, tabn, rdba](TAB *tab, size_t n) {
            for (int k = 0; k < DICT_FOUND_TABLES; k++)
                tabn[k] = rdba[k] = 0;
            for (size_t i = 0; i < n; i++) {
                for (int k = 0; k < DICT_FOUND_TABLES; k++) {
                    if (tab[i].objn == sobj[k]) {
                        tabn[k] = tab[i].tabn;
                        rdba[k] = (tab[i].fno << 22) | tab[i].blk;
                    }
                }
            }
            for (int k = 0; k < DICT_FOUND_TABLES; k++)
                if (rdba[k] == 0 && sobj[k] != 0)
                    fprintf(stderr, "\"%s\" not found in tab$.\n", late_table(k));
            return 0;
        });
}

int sort_col_by_scid()
{
    return sort_dict_file(DT_COL, &g_ctx.col,
                          [](const COL &r) { return key2(r.objn, r.scid); });
}

int sort_lob_index_by_objn()
{
    return sort_dict_file(DT_IND, &g_ctx.lidx, [](const LOBIDX &r) { return key2(0, r.objn); });
}

int sort_lob_by_objn()
{
    return sort_dict_file(DT_LOB, &g_ctx.lob, [](const LOB &r) { return key2(r.objp, r.cid); });
}

int sort_tabpart_by_objp()
{
    return sort_dict_file(DT_TABPART, &g_ctx.tp,
                          [](const TABPART &r) { return key2(r.objp, r.objn); });
}

int sort_tabsubpart_by_objp()
{
    return sort_dict_file(DT_TABSUBPART, &g_ctx.tsp,
                          [](const TABSUBPART &r) { return key2(r.objp, r.objn); });
}

int sort_tabcompart_by_objp()
{
    return sort_dict_file(DT_TABCOMPART, &g_ctx.tcp,
                          [](const TABPART &r) { return key2(r.objp, r.objn); });
}
