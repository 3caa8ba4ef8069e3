// kbuild: Bytes, check values and value encodings
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kb {

void put_le16(uint8_t *p, uint16_t v);
void put_le32(uint8_t *p, uint32_t v);
void put_be16(uint8_t *p, uint16_t v);
void put_be32(uint8_t *p, uint32_t v);
uint16_t read_le16(const uint8_t *p);
uint32_t read_le32(const uint8_t *p);

// XOR of all 16-bit little-endian words of the n bytes at p (n even).
uint16_t block_xor(const uint8_t *p, size_t n);
// Stores at offset 16 the value that makes the XOR of all words of the block 0.
void fix_check(uint8_t *blk, size_t n);
// True when the XOR of all words of the block (stored check value included) is 0.
bool check_ok(const uint8_t *blk, size_t n);

// rdba of block `blk` in relative file `rfn` (smallfile form).
inline uint32_t rdba(uint32_t rfn, uint32_t blk) { return (rfn << 22) | (blk & 0x3FFFFF); }

// Oracle NUMBER: exponent byte and base-100 digits. From an integer, and from a
// decimal text ("-12.5", "0.001"; at most 40 significant digits). The text
// form returns an empty vector for malformed text.
std::vector<uint8_t> ora_number(int64_t v);
std::vector<uint8_t> ora_number(const std::string &decimal);
// DATE: 7 bytes (century+100, year+100, month, day, hour+1, minute+1, second+1).
std::vector<uint8_t> ora_date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// TIMESTAMP WITH TIME ZONE in region form: 13 bytes, the instant in UTC as
// DATE bytes and big-endian nanoseconds, then the region id as
// 0x80 | id >> 6 and (id & 63) << 2.
std::vector<uint8_t> ora_timestamp_tz_region(int year, int month, int day, int hour, int minute, int second,
                                             uint32_t nanos, unsigned region_id);
// Bytes of a text value (no terminator).
std::vector<uint8_t> ora_text(const std::string &s);
// n bytes of a repeatable pattern of capital letters (for long values).
std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed);

} // namespace kb
