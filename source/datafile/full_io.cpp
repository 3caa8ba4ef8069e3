// Whole reads and writes: the system may move fewer bytes than asked or be
// interrupted by a signal; these repeat until all is moved, the file ends
// (reads) or a real error comes.
#include <cerrno>
#include <unistd.h>

#include "kelvo/datafile.h"

namespace {

// Reads n bytes with io(dst, count, done), done being the bytes read so far.
template <class IO>
long read_all(uint8_t *buf, size_t n, IO io)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = io(buf + got, n - got, got);
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

// Writes n bytes with io(src, count, done), done being the bytes written so
// far. A write that moves nothing ends with EIO rather than an endless loop.
template <class IO>
int write_all(const uint8_t *buf, size_t n, IO io)
{
    size_t put = 0;
    while (put < n) {
        ssize_t w = io(buf + put, n - put, put);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return -1;
        }
        put += (size_t)w;
    }
    return 0;
}

} // namespace

long read_full(int fd, uint8_t *buf, size_t n)
{
    return read_all(buf, n, [fd](uint8_t *p, size_t k, size_t) { return read(fd, p, k); });
}

long pread_full(int fd, uint8_t *buf, size_t n, uint64_t off)
{
    return read_all(buf, n, [fd, off](uint8_t *p, size_t k, size_t done) {
        return pread(fd, p, k, (off_t)(off + done));
    });
}

int write_full(int fd, const uint8_t *buf, size_t n)
{
    return write_all(buf, n, [fd](const uint8_t *p, size_t k, size_t) { return write(fd, p, k); });
}

int pwrite_full(int fd, const uint8_t *buf, size_t n, uint64_t off)
{
    return write_all(buf, n, [fd, off](const uint8_t *p, size_t k, size_t done) {
        return pwrite(fd, p, k, (off_t)(off + done));
    });
}
