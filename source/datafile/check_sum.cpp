// The block check value: the 16-bit word at offset 16 of every block holds
// the XOR of all other 16-bit words of the block, so that the XOR of the
// whole block is 0.
#include "kelvo/datafile.h"
#include "kelvo/block.h"

// XOR of all 16-bit words of n bytes (n even). 64 bytes are folded at a time
// into eight 64-bit lanes (which the compiler keeps in vector registers): XOR
// works lane by lane, so folding the 16-bit parts of the lanes at the end
// gives the same value as word-by-word XOR.
static uint16_t xor_words(const uint8_t *p, size_t n)
{
    uint64_t acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    size_t i = 0;
    for (; i + 64 <= n; i += 64)
        for (int k = 0; k < 8; k++) {
            uint64_t x;
            memcpy(&x, p + i + 8 * k, 8);
            acc[k] ^= x;
        }
    uint64_t a = 0;
    for (int k = 0; k < 8; k++)
        a ^= acc[k];
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
