// Bounded reading of columns in the column length encoding of row pieces and
// cluster key rows.
#include "kelvo/block.h"

int next_column(const uint8_t **pp, const uint8_t *end, const uint8_t **data, uint32_t *len)
{
    const uint8_t *p = *pp;
    if (p >= end)
        return -1;
    size_t left = (size_t)(end - p);
    if (p[0] == COLLEN_NULL) {
        *data = p + 1;
        *len = 0;
        *pp = p + 1;
        return 0;
    }
    size_t hdr = 1, n = p[0];
    if (p[0] == COLLEN_LONG) {
        if (left < 3)
            return -1;
        hdr = 3;
        n = get_le16(p + 1);
    }
    if (!in_bounds(hdr, n, left))
        return -1;
    *data = p + hdr;
    *len = (uint32_t)n;
    *pp = p + hdr + n;
    return 1;
}

const uint8_t *skip_columns(const uint8_t *p, const uint8_t *end, int ncol)
{
    const uint8_t *data;
    uint32_t len;
    for (int i = 0; i < ncol; i++)
        if (next_column(&p, end, &data, &len) < 0)
            return nullptr;
    return p;
}
