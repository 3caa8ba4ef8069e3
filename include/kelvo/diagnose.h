// Diagnosis: "verify" classifies every block of the datafiles (or of one
// table's segments) without unloading anything, and "dump" prints one block
// with its fields named.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "kelvo/datafile.h"

// What a block of this type is, in a few words ("segment header",
// "space bitmap", "LOB", "undo", ... "other").
const char *block_kind(int type);

// The 4-byte tail at the end of every block repeats the low 16 bits of the
// cache header's SCN base, its type and its sequence:
//   (bas_kcbh & 0xFFFF) << 16 | type_kcbh << 8 | seq_kcbh   (little-endian)
// A block written half old, half new fails this test.
uint32_t block_tail_expected(const uint8_t *blk);
uint32_t block_tail_stored(const uint8_t *blk, size_t bsz);

// Verify's verdict on a block read whole at rdba, refining the checked
// read's fault (check_block's, taken with the check value checked whenever
// the block carries one): a block that check_block passes or finds
// misplaced is further fractured (its tail does not match, named before
// misplaced) or, a table, cluster or index data block, of a header out of
// range (ITL, data header, table or row directory or index entries beyond
// the block). Returns a BLOCK_* fault.
int block_verdict(const uint8_t *blk, size_t bsz, int fault);
// check_block with the check value always checked, then block_verdict.
int verify_block(const uint8_t *blk, size_t bsz, uint32_t rdba);
// Every check a formatted block read at rdba fails, not only the first, in
// the order verify tries them (check value, tail, rdba, headers): their
// BLOCK_* faults in faults, their number returned.
int block_faults(const uint8_t *blk, size_t bsz, uint32_t rdba, int faults[4]);

// A SecureFile data block: its data runs to the end of the block, over the
// place of the tail, and it has no data header.
bool is_securefile_data(const uint8_t *blk, size_t bsz);

// Prints one block of bsz bytes read at rdba: the cache header, and by its
// type the transaction and data headers and rows, the index header and
// entries, the extent map, or the LOB block header; every field that lies
// inside the block, each offset checked before it is followed. The first
// line names every check the block fails ("good" when none).
void dump_block(FILE *out, const uint8_t *blk, size_t bsz, uint32_t rdba);
// The parts of dump_block, each over the bytes of one block.
void dump_cache_header(FILE *out, const uint8_t *blk, size_t bsz);
void dump_data_block(FILE *out, const uint8_t *blk, size_t bsz);
void dump_extent_map(FILE *out, const uint8_t *blk, size_t bsz);
void dump_index_block(FILE *out, const uint8_t *blk, size_t bsz, size_t xco);
void dump_lob_block(FILE *out, const uint8_t *blk, size_t bsz);
// The decoded text of a column value of Oracle type ctype (NUMBER, DATE,
// VARCHAR2, CHAR); empty for other types and for malformed values.
std::string value_text(const uint8_t *p, uint32_t len, int ctype);
// Bytes as hex, 20 to a line, continuation lines indented by `indent`.
void dump_hex(FILE *out, const uint8_t *p, size_t n, int indent);

// "verify [datafile N | tablespace N | table USER.TABLE]": fails when any
// block is corrupt.
int verify_handle(char *args);
// "verify table USER.TABLE": the damaged blocks of the table's segments and
// the rows they held, as far as they can be counted.
int verify_table(char *args);
// "dump datafile N block M" and "dump rdba 0x...".
int dump_handle(char *args);
