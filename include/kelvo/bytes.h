// Byte-order accessors and the overflow-safe bounds test every decoder uses.
//
// Oracle block structures are little-endian as written on x86-64; dump files,
// rowids and LOB ids are big-endian. Fields are never read through a cast
// pointer into a block: the memcpy-based accessors below read them, or a whole
// record is memcpy'd out of the block after its bounds were checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

static inline uint16_t get_le16(const uint8_t *p) { uint16_t v; memcpy(&v, p, 2); return v; }
static inline uint32_t get_le32(const uint8_t *p) { uint32_t v; memcpy(&v, p, 4); return v; }
static inline uint16_t get_be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }
static inline uint32_t get_be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
static inline void put_be16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
static inline void put_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}

// True when [off, off + n) lies inside a buffer of size bytes; written so that
// it cannot overflow.
static inline bool in_bounds(size_t off, size_t n, size_t size) { return off <= size && n <= size - off; }
