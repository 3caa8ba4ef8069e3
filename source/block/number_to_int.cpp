// Conversion of the small non-negative Oracle NUMBERs of dictionary columns
// (object numbers, flags, counts) to integers.
#include "kelvo/block.h"

int ora_number_to_int(const uint8_t *p, int len)
{
    if (len < 1)
        return -1;
    if (p[0] == 0x80 && len == 1)
        return 0;
    if (p[0] <= 0x3E)
        return -1;
    int exp = p[0] - 193;
    if (exp < 0)
        return -1;
    // Unsigned arithmetic: an overflow wraps at 32 bits instead of being
    // undefined; the dictionary values converted here never come near it.
    uint32_t num = 0;
    for (int i = 1; i < len; i++) {
        num = num * 100 + (uint32_t)(p[i] - 1);
        exp--;
    }
    for (; exp >= 0; exp--)
        num *= 100;
    return (int)num;
}
