// What a forked worker says, captured for its parent. A worker (of a
// parallel unload, of a scan) writes everything it would say into a capture
// file instead: standard output, standard error, the blocks it would report
// and whatever records of its own its parent wants back, each tagged. The
// parent says it all in the serial order, and reports a block only the
// first time any worker met it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

// Records of a capture file: a tag byte, a 4-byte length (host order) and
// that many bytes, in the order the worker produced them.
enum CAP_TAG : uint8_t {
    CAP_STDOUT = 'O',       // bytes written to standard output
    CAP_STDERR = 'E',       // bytes written to standard error
    CAP_LOSS = 'L',         // lines of the loss report
    CAP_BLOCK = 'R',        // a block to report once: CAP_BLOCK_REC
    CAP_RESULT = 'Z',       // the worker's counts, last
};
struct CAP_BLOCK_REC {
    uint32_t dfi;           // index of the datafile in g_ctx.df
    uint32_t rdba;
    int32_t fault;
};

// In a freshly forked worker: standard output and error and the reported
// blocks go to fd from now on. The inherited streams keep the parent's
// unwritten bytes: a worker never touches them again and ends with _exit.
// -1 when the streams could not be made.
int capture_start(int fd);
// A stream whose bytes become records of the given tag.
FILE *capture_stream(uint8_t tag);
// One record; a capture that cannot be written ends the worker (exit status 3).
void capture_emit(uint8_t tag, const void *data, size_t n);
// In the parent: says the captured output and reports the captured blocks
// in their order; hands every other record to `other`.
void capture_replay(int fd, const std::function<void(uint8_t tag, const uint8_t *p, uint32_t len)> &other);
