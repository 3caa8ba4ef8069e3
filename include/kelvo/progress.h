// The progress of a long step at a terminal: while "unload" or "export dict"
// reads a table's segments, the step's label is replaced, at most once a
// second, by the blocks read of the blocks to read, the rate and the time
// left; when the step ends (or a message must be printed) the label is put
// back exactly as it was printed, so the finished screen reads as it would
// without progress. When standard error is not a terminal nothing is drawn.
#pragma once

#include <cstdint>

// The step's label, just printed on standard error without a newline.
void progress_begin(const char *label);
// Blocks the step will read, added as each segment header names its size.
void progress_total(uint64_t blocks);
// Blocks of bsz bytes read; draws the progress text when a second has passed.
void progress_done(uint64_t blocks, uint32_t bsz);
// Before a message: the label back in place of the progress text.
void progress_clear(void);
// The step ended: the label back, the step forgotten.
void progress_end(void);
// A worker of a parallel unload counts its blocks without drawing
// (progress_count) and hands the counts to its parent, which adds them to
// its own step with progress_total and progress_done.
void progress_count(void);
void progress_counted(uint64_t *total, uint64_t *done, uint64_t *bytes);
