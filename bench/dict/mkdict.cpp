// Writes a SYSTEM datafile whose dictionary holds 100,000 tables with
// 1,000,000 columns and 200,000 objects, and a configuration for kelvo.
//   mkdict DIR
#include "sysdb.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    sysdb::Dict d;
    d.bsz = 8192;
    d.big_extent = 4096;
    d.users = {{0, "SYS", 1, 0, 3, 0}, {84, "SCOTT", 1, 4, 3, 0}};
    d.ts = {{0, "SYSTEM", 0}, {4, "USERS", 0}};
    const uint32_t ntab = 100000;
    for (uint32_t i = 0; i < ntab; i++) {
        uint32_t objn = 1000 + 2 * i;
        d.obj.push_back({objn, 84, "T" + std::to_string(i), 2, 0});
        d.obj.push_back({objn + 1, 84, "I" + std::to_string(i), 1, 0});
        d.tab.push_back({objn, objn, 4, 4, 100 + i, 0, 0, 10, 0, 0});
        for (uint32_t c = 1; c <= 10; c++)
            d.col.push_back({objn, c, c, "COLUMN_" + std::to_string(c), c % 2 ? 2u : 1u, 22, 0, 0});
    }
    d.props = {{"NLS_CHARACTERSET", false, "AL32UTF8"}};
    sysdb::Built b;
    if (sysdb::build(dir + "/system01.dbf", d, &b) != 0)
        return 1;
    return kb::write_config(dir, {dir + "/system01.dbf"});
}
