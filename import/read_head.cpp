// The dump file header: 324 bytes at the start of the file.
#include <cstring>

#include "util.h"

int read_dump_head(HEAD_INFO *hi)
{
    uint8_t raw[sizeof(HEAD_INFO)];
    if (read_exact(raw, sizeof raw, 0) != 0)
        return -1;
    memcpy(hi, raw, sizeof raw);
    hi->tab_cnt = be32(raw + offsetof(HEAD_INFO, tab_cnt));
    // String tails are undefined: every field ends inside itself.
    hi->magic[sizeof hi->magic - 1] = 0;
    hi->owner[sizeof hi->owner - 1] = 0;
    hi->nls_lang[sizeof hi->nls_lang - 1] = 0;
    hi->ncharset[sizeof hi->ncharset - 1] = 0;
    hi->dbtimezone[sizeof hi->dbtimezone - 1] = 0;
    return 0;
}
