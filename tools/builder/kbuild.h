// kbuild: the test database builder.
//
// Writes Oracle-format datafiles of a little-endian platform, byte by byte,
// with the structures a test or a benchmark needs: block 0 and the datafile
// header, segment headers with their extent maps, extent map blocks, table and
// cluster data blocks with row pieces of every kind, and (through the
// dictionary description) a whole SYSTEM datafile with the bootstrap table and
// the dictionary tables. Every block it writes carries a correct check value.
//
// The builder knows nothing of the reader's code: every layout is encoded here
// from the documented block formats, so that a misreading on one side shows up
// as a failing test on the other.
//
// Conventions:
//  - Multi-byte fields of block structures are little-endian; rowids inside
//    row pieces are big-endian.
//  - Functions that touch files return 0 (or a count) on success and -1 after
//    one line on stderr; pure encoders return their result.
//  - A block number is the number within its file (block 1 is the datafile
//    header); an rdba is the 32-bit block address (relative file number in the
//    top 10 bits, block number in the low 22; a bigfile uses all 32 bits for
//    the block number).
#pragma once

#include "kb_sample.h"
