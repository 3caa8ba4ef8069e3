// Whole reads and writes: the system may move fewer bytes than asked or be
// interrupted by a signal; these repeat until all is moved, the file ends
// (reads) or a real error comes.
#include <cerrno>
#include <unistd.h>

#include "kelvo.h"

long read_full(int fd, uint8_t *buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += (size_t)r;
    }
    return (long)got;
}

long pread_full(int fd, uint8_t *buf, size_t n, uint64_t off)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, buf + got, n - got, (off_t)(off + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += (size_t)r;
    }
    return (long)got;
}

int write_full(int fd, const uint8_t *buf, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, buf, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return -1;
        }
        buf += w;
        n -= (size_t)w;
    }
    return 0;
}

int pwrite_full(int fd, const uint8_t *buf, size_t n, uint64_t off)
{
    while (n > 0) {
        ssize_t w = pwrite(fd, buf, n, (off_t)off);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return -1;
        }
        buf += w;
        n -= (size_t)w;
        off += (uint64_t)w;
    }
    return 0;
}
