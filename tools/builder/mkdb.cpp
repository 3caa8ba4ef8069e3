// mkdb: writes Oracle-format datafiles for tests, demos and benchmarks.
//   mkdb sample DIR      a small sample database with its config.ini
//   mkdb big FILE MB     one datafile of MB MiB of valid table data blocks
//   mkdb dict DIR TABLES COLUMNS [OBJECTS]
//                        a database whose dictionary holds TABLES tables of
//                        COLUMNS columns each (and views up to OBJECTS user
//                        objects), with its config.ini
#include "kbuild.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static int usage()
{
    fprintf(stderr, "usage: mkdb sample DIR\n"
                    "       mkdb big FILE MB [BLOCKSIZE]\n"
                    "       mkdb dict DIR TABLES COLUMNS [OBJECTS]\n");
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
    if ((argc == 5 || argc == 6) && strcmp(argv[1], "dict") == 0) {
        char *e1 = nullptr, *e2 = nullptr, *e3 = nullptr;
        unsigned long t = strtoul(argv[3], &e1, 10), c = strtoul(argv[4], &e2, 10);
        unsigned long o = argc == 6 ? strtoul(argv[5], &e3, 10) : 0;
        if (*e1 || *e2 || (e3 && *e3) || t == 0 || c == 0 || c > 1000 || t > 10000000 || o > 20000000)
            return usage();
        kb::Database db = kb::large_dictionary((uint32_t)t, (uint32_t)c, (uint32_t)o);
        return kb::build_database(db, argv[2]) == 0 && kb::write_config(argv[2], db.files) == 0 ? 0 : 1;
    }
    return usage();
}
