// The block check value: the 16-bit word at offset 16 of every block holds
// the XOR of all other 16-bit words of the block, so that the XOR of the
// whole block is 0.
#include "kelvo.h"

// XOR of all 16-bit words of n bytes (n even). Eight bytes are folded at a
// time: XOR works lane by lane, so the four 16-bit lanes of the 64-bit sum
// fold to the same value as word-by-word XOR.
static uint16_t xor_words(const uint8_t *p, size_t n)
{
    uint64_t a = 0, b = 0;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        uint64_t x, y;
        memcpy(&x, p + i, 8);
        memcpy(&y, p + i + 8, 8);
        a ^= x;
        b ^= y;
    }
    a ^= b;
    uint16_t v = (uint16_t)(a ^ (a >> 16) ^ (a >> 32) ^ (a >> 48));
    for (; i + 2 <= n; i += 2)
        v ^= get_le16(p + i);
    return v;
}

uint16_t block_check_value(const uint8_t *blk, int bsz)
{
    if (bsz < (int)sizeof(KCBH))
        return 0;
    return (uint16_t)(xor_words(blk, (size_t)bsz) ^ get_le16(blk + offsetof(KCBH, chkval_kcbh)));
}

int check_sum(const uint8_t *blk, int bsz)
{
    if (bsz < (int)sizeof(KCBH))
        return -1;
    int stored = get_le16(blk + offsetof(KCBH, chkval_kcbh));
    return stored - (int)block_check_value(blk, bsz);
}
