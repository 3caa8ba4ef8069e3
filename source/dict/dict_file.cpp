// Dictionary files: "%s/%s.dat" in the dictionary directory, each a bare
// array of fixed records. A file is written by a run of write_dict_data calls
// that share the descriptor g_ctx.fd: the first call creates and truncates it,
// later calls append, and the producer closes it.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvo/context.h"

static void dict_path(const char *name, char *path, size_t size)
{
    snprintf(path, size, "%s/%s.dat", g_ctx.par.dict_dir, name);
}

int write_dict_data(const char *name, void *data, int size)
{
    char path[1200];
    dict_path(name, path, sizeof(path));
    if (g_ctx.fd == -1) {
        g_ctx.fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (g_ctx.fd == -1) {
            fprintf(stderr, "open %s: %s\n", path, strerror(errno));
            return -1;
        }
    }
    if (write_full(g_ctx.fd, (const uint8_t *)data, size > 0 ? (size_t)size : 0) < 0) {
        fprintf(stderr, "write %s: %s\n", path, strerror(errno));
        close(g_ctx.fd);
        g_ctx.fd = -1;
        return -1;
    }
    return 0;
}

int read_dict_data(const char *name, void **data, int *size)
{
    char path[1200];
    dict_path(name, path, sizeof(path));
    int fd = open(path, O_RDONLY);
    if (fd == -1) {
        fprintf(stderr, "open %s: %s\n", path, strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        fprintf(stderr, "get %s stat error: %s\n", path, strerror(errno));
        close(fd);
        return -1;
    }
    // The counts of this program are ints: a larger file is no dictionary
    // file it wrote.
    if (st.st_size > INT_MAX) {
        fprintf(stderr, "%s: size %lld bytes is too large for a dictionary file\n", path,
                (long long)st.st_size);
        close(fd);
        return -1;
    }
    int fsize = (int)st.st_size;
    uint8_t *buf = g_ctx.wrk;
    if (fsize > WORK_BUFFER_SIZE || buf == nullptr) {
        buf = (uint8_t *)alloc_large((size_t)fsize);
        if (buf == nullptr) {
            fprintf(stderr, "allocate memory %d bytes error: %s\n", fsize, strerror(errno));
            close(fd);
            return -1;
        }
    }
    long got = read_full(fd, buf, (size_t)fsize);
    if (got < 0)
        fprintf(stderr, "read %s: %s\n", path, strerror(errno));
    else if (got < fsize)
        // The file shrank after its status was taken: never hand out the
        // bytes that were not read.
        fprintf(stderr, "read %s: file ends after %d of %d bytes\n", path, (int)got, fsize);
    close(fd);
    if (got < fsize) {
        if (buf != g_ctx.wrk)
            free(buf);
        return -1;
    }
    *data = buf;
    *size = fsize;
    return 0;
}
