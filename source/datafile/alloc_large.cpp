// Large buffers (the work buffer, the dictionary arrays and the buffers that
// sort them) in 2 MiB pages where the system offers them. Each fresh page
// costs a fault on first touch; a dictionary array of tens of MiB touched
// 4 KiB at a time spent most of "load dict" in those faults, and on a
// virtual machine a fault costs far more than on bare metal.
#include <cstdlib>
#include <sys/mman.h>

#include "kelvo/datafile.h"

void *alloc_large(size_t n)
{
    constexpr size_t PAGE_2M = 2u << 20;
    if (n < PAGE_2M)
        return malloc(n > 0 ? n : 1);
    // Whole 2 MiB pages, so that the last part of the buffer is one too.
    size_t size = (n + PAGE_2M - 1) & ~(PAGE_2M - 1);
    void *p = aligned_alloc(PAGE_2M, size);
    if (p != nullptr)
        madvise(p, size, MADV_HUGEPAGE);
    return p;
}
