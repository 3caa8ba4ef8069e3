// kbuild: Datafiles
#pragma once

#include "kb_bytes.h"

namespace kb {

struct FileDesc {
    uint32_t fno = 1;            // absolute file number (kccfhfno)
    uint32_t rfn = 1;            // relative file number (kcvfhrfn); forced to 1024 for a bigfile
    uint32_t tsn = 0;            // tablespace number (kcvfhtsn)
    uint32_t blocks = 64;        // size in blocks (kccfhfsz): blocks 1..blocks follow block 0
    uint32_t bsz = 8192;         // block size, 2048..32768, a power of two
    uint32_t blk0_sz = 0;        // size of block 0; 0 means bsz
    uint32_t rootdba = 0;        // bootstrap segment header address (file 1)
    bool bigfile = false;        // bigfile tablespace: rfn 1024, 32-bit block numbers
    uint32_t platform = 0x7A7B7C7D; // block 0 word at offset 28
    std::string tsname = "SYSTEM";  // kcvfhtnm
    uint32_t dbid = 0x4B4C564F;
    std::string dbname = "KELVO";
};

// An open datafile being written. Move-only; closes its descriptor when
// destroyed.
struct Datafile {
    int fd = -1;
    FileDesc d;
    std::string path;
    Datafile() = default;
    Datafile(const Datafile &) = delete;
    Datafile &operator=(const Datafile &) = delete;
    Datafile(Datafile &&o) noexcept;
    Datafile &operator=(Datafile &&o) noexcept;
    ~Datafile();
    // Byte offset of block b: blk0_sz + bsz * (b - 1); block 0 is at 0.
    uint64_t offset(uint32_t b) const;
    // rdba of block b of this file (the block number itself for a bigfile).
    uint32_t rdba_of(uint32_t b) const;
    // Block number addressed by an rdba of this file.
    uint32_t block_of(uint32_t rdba) const;
};

// Creates (truncates) `path`, writes block 0 and the datafile header and sets
// the file length to blk0_sz + bsz * blocks, so unwritten blocks read as
// zeros (a sparse file). Blocks beyond 4 GiB are reached with 64-bit offsets.
int df_create(Datafile &df, const std::string &path, const FileDesc &d);
// Writes the 20-byte cache header of a block and its 4-byte tail: type, format
// 0xA2, rdba, SCN base, sequence 1, flag 0x04 (has a check value). The rest of
// the block is left as it is.
void init_block(uint8_t *blk, uint32_t bsz, uint8_t type, uint32_t rdba, uint32_t scn = 0x1000);
// Block 0 and the datafile header block images for a description.
void make_block0(uint8_t *blk0, const FileDesc &d);
void make_file_header(uint8_t *blk, const FileDesc &d);
// Fixes the check value of the block (bsz bytes) and writes it at block b.
int df_write_block(Datafile &df, uint32_t b, uint8_t *blk);
// Writes the block exactly as given (no check value fix: for corrupt blocks).
int df_write_raw(Datafile &df, uint32_t b, const uint8_t *blk, size_t n);
// Reads block b (bsz bytes).
int df_read_block(Datafile &df, uint32_t b, uint8_t *blk);
// Rewrites the datafile header with a new root address.
int df_set_root(Datafile &df, uint32_t rootdba);
// Grows the file to `blocks` blocks (never shrinks); headers are rewritten by df_finish.
int df_grow(Datafile &df, uint32_t blocks);
// Rewrites block 0 and the datafile header from the description (size and
// root address as they are now) and closes the file.
int df_finish(Datafile &df);
int df_close(Datafile &df);

// For tests that damage a finished datafile: read block b of the file at
// `path` (its geometry taken from its own block 0 and header), and write
// `bytes` at `offset` into block b, fixing the block's check value
// afterwards when `fix` is set (so that only the intended damage remains).
int read_file_block(const std::string &path, uint32_t b, std::vector<uint8_t> &blk);
int patch_block(const std::string &path, uint32_t b, size_t offset, const std::vector<uint8_t> &bytes, bool fix);

// Writes a datafile of `mib` MiB (block 0 included) of valid table data
// blocks with rows, check values correct, in large writes. Returns 0 or -1.
int make_big_file(const std::string &path, uint64_t mib, uint32_t bsz = 8192, uint32_t fno = 5,
                  uint32_t tsn = 4);

} // namespace kb
