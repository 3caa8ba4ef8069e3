// mkdb: writes Oracle-format datafiles for tests, demos and benchmarks.
//   mkdb sample DIR      a small sample database with its config.ini
//   mkdb big FILE MB     one datafile of MB MiB of valid table data blocks
#include "kbuild.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static int usage()
{
    fprintf(stderr, "usage: mkdb sample DIR\n"
                    "       mkdb big FILE MB [BLOCKSIZE]\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "sample") == 0 && argc == 3)
        return kb::make_sample(argv[2]) == 0 ? 0 : 1;
    if (argc >= 4 && strcmp(argv[1], "big") == 0 && argc <= 5) {
        char *end = nullptr;
        unsigned long long mb = strtoull(argv[3], &end, 10);
        if (!end || *end || mb == 0)
            return usage();
        unsigned long bsz = 8192;
        if (argc == 5) {
            bsz = strtoul(argv[4], &end, 10);
            if (!end || *end)
                return usage();
        }
        return kb::make_big_file(argv[2], mb, (uint32_t)bsz) == 0 ? 0 : 1;
    }
    return usage();
}
