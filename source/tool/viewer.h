// The common frame of tabview and colview: read the whole file named on the
// command line into one buffer and count its 56-byte records.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvo/datafile.h"
#include "kelvo/dict.h"

// Returns the buffer (released by the caller) and the record count in *nrec,
// or nullptr after printing the failure.
static uint8_t *viewer_read_file(int argc, char **argv, size_t rsz, size_t *nrec)
{
    if (argc < 2) {
        fprintf(stderr, "%s filename\n\n", argv[0]);
        return nullptr;
    }
    const char *path = argv[1];
    int fd = open(path, O_RDONLY);
    if (fd == -1) {
        fprintf(stderr, "open %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        fprintf(stderr, "fstat %s: %s\n", path, strerror(errno));
        close(fd);
        return nullptr;
    }
    size_t size = (size_t)st.st_size;
    uint8_t *buf = (uint8_t *)malloc(size > 0 ? size : 1);
    if (buf == nullptr) {
        fprintf(stderr, "allocate memory %d bytes error: %s\n", (int)size, strerror(errno));
        close(fd);
        return nullptr;
    }
    // A file that became shorter meanwhile comes back short: print what is in.
    long got = read_full(fd, buf, size);
    if (got < 0) {
        fprintf(stderr, "read %s: %s\n", path, strerror(errno));
        close(fd);
        free(buf);
        return nullptr;
    }
    close(fd);
    *nrec = (size_t)got / rsz;
    return buf;
}
