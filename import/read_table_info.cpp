// The table information area: tab_cnt records of 56 bytes at offset 1024.
#include <cstring>

#include "util.h"

int read_table_information()
{
    if (read_exact(reinterpret_cast<uint8_t *>(g_imp.tabp), (size_t)g_imp.ntab * sizeof(TAB_INFO),
                   DUMP_HEAD_SIZE) != 0)
        return -1;
    for (int i = 0; i < g_imp.ntab; i++) {
        TAB_INFO *t = &g_imp.tabp[i];
        const uint8_t *p = reinterpret_cast<const uint8_t *>(t);
        uint32_t flag = be32(p), ncol = be32(p + 4), nlob = be32(p + 8), nrows = be32(p + 12);
        uint64_t offset = be64(p + 16);
        t->flag = flag;
        t->ncol = ncol;
        t->nlob = nlob;
        t->nrows = nrows;
        t->offset = offset;
        t->tab_name[sizeof t->tab_name - 1] = 0;
    }
    return 0;
}
