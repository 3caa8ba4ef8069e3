// Conversion of the small non-negative Oracle NUMBERs of dictionary columns
// (object numbers, flags, counts) to integers.
#include "kelvo/block.h"

int ora_number_to_int(const uint8_t *p, int len)
{
    if (len < 1)
        return -1;
    if (p[0] == 0x80 && len == 1)
        return 0;
    // Negative numbers (first byte up to 0x3E) and values below 1.
    if (p[0] < 193)
        return -1;
    // Wraps at 32 bits instead of being undefined; the dictionary values
    // converted here never come near it.
    return (int)(uint32_t)ora_number_to_u64(p, len);
}

uint64_t ora_number_to_u64(const uint8_t *p, int len)
{
    if (len < 1 || p[0] < 193)
        return 0;
    int exp = p[0] - 193;
    uint64_t num = 0;
    for (int i = 1; i < len; i++) {
        num = num * 100 + (uint64_t)(p[i] - 1);
        exp--;
    }
    for (; exp >= 0; exp--)
        num *= 100;
    return num;
}
