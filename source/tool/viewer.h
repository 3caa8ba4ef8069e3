// The common frame of tabview and colview: --help and --version, and reading
// the whole file named on the command line into one buffer and counting its
// 56-byte records.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvo/datafile.h"
#include "kelvo/dict.h"
#include "kelvo/version.h"

// --help (-h) and --version (-V) as the first argument: the usage, what the
// program prints and the version on standard output. Returns 1 when answered.
static int viewer_help(int argc, char **argv, const char *what)
{
    if (argc < 2)
        return 0;
    const char *a = argv[1];
    bool help = strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0;
    if (!help && strcmp(a, "--version") != 0 && strcmp(a, "-V") != 0)
        return 0;
    if (help)
        printf("usage: %s filename\n\n%s\n\n", argv[0], what);
    printf("%s %s\n", KELVO_PROGRAM_NAME, KELVO_VERSION);
    return 1;
}

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
