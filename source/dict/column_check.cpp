// A check after "export dict" for releases we have not seen. The decoders
// take dictionary columns at fixed positions of the stored row; a release
// that stores a LONG column last (COL$ DEFAULT$, TABPART$ HIBOUNDVAL) moves
// the columns after it. The COL$ rows that describe COL$ and TABPART$
// themselves say where each column really is (COL#, SEGCOL# and NAME come
// before any LONG, so they are read correctly even then).
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "kelvo/context.h"

namespace {

struct Taken {
    const char *name;
    int pos;                // position in the stored row, from 0
};

// The columns the COL$ and TABPART$ decoders read. COL$ lies in the cluster
// C_OBJ#, whose one key column (OBJ#) is not stored in the row: a column at
// position p is segment column p + 2 there, and p + 1 in TABPART$.
const Taken col_taken[] = {{"COL#", 0}, {"SEGCOL#", 1}, {"NAME", 4}, {"TYPE#", 5},
                           {"LENGTH", 6}, {"PROPERTY", 14}, {"CHARSETFORM", 16}};
const Taken tabpart_taken[] = {{"OBJ#", 0}, {"DATAOBJ#", 1}, {"BO#", 2}, {"TS#", 6}, {"FILE#", 7}, {"BLOCK#", 8}};

// The highest object number of a table of owner 0 with this name, or 0.
uint32_t sys_table_objn(const OBJ *obj, size_t n, const char *name)
{
    uint32_t objn = 0;
    for (size_t i = 0; i < n; i++)
        if (obj[i].owner == 0 && strncmp(obj[i].name, name, sizeof(obj[i].name)) == 0)
            objn = obj[i].objn;
    return objn;
}

int check_table(const COL *col, size_t n, uint32_t objn, const char *table, const Taken *taken, size_t ntaken,
                int base)
{
    int warnings = 0;
    for (size_t i = 0; i < n; i++) {
        if (col[i].objn != objn)
            continue;
        for (size_t k = 0; k < ntaken; k++) {
            if (strncmp(col[i].name, taken[k].name, sizeof(col[i].name)) != 0)
                continue;
            uint32_t want = (uint32_t)(taken[k].pos + base);
            if (col[i].scid != want) {
                fprintf(stderr,
                        "warning: %s column %s is stored as segment column %u, but is read as segment column %u; "
                        "the exported dictionary may be wrong.\n",
                        table, taken[k].name, col[i].scid, want);
                warnings++;
            }
        }
    }
    return warnings;
}

} // namespace

int check_dict_column_positions()
{
    void *data = nullptr;
    int size = 0;
    if (read_dict_data("obj", &data, &size) != 0)
        return 0;
    const OBJ *obj = (const OBJ *)data;
    size_t nobj = (size_t)size / sizeof(OBJ);
    uint32_t col_objn = sys_table_objn(obj, nobj, "COL$");
    uint32_t tabpart_objn = sys_table_objn(obj, nobj, "TABPART$");
    if (data != g_ctx.wrk)
        free(data);
    if (read_dict_data("col", &data, &size) != 0)
        return 0;
    const COL *col = (const COL *)data;
    size_t ncol = (size_t)size / sizeof(COL);
    int warnings = 0;
    if (col_objn != 0)
        warnings += check_table(col, ncol, col_objn, "COL$", col_taken, std::size(col_taken), 2);
    if (tabpart_objn != 0)
        warnings += check_table(col, ncol, tabpart_objn, "TABPART$", tabpart_taken, std::size(tabpart_taken), 1);
    if (data != g_ctx.wrk)
        free(data);
    return warnings;
}
