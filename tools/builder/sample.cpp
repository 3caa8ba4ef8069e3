// The sample database of the demo and the configuration files around it.
#include "kbuild.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace kb {

static int make_dir(const std::string &d)
{
    if (::mkdir(d.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "mkdir %s: %s\n", d.c_str(), strerror(errno));
        return -1;
    }
    return 0;
}

static int write_text(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "w");
    if (!f) {
        fprintf(stderr, "open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok) {
        fprintf(stderr, "write %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    return 0;
}

int write_config(const std::string &dir, const std::vector<std::string> &datafiles)
{
    if (make_dir(dir) || make_dir(dir + "/dict") || make_dir(dir + "/data"))
        return -1;
    std::string list;
    for (const std::string &f : datafiles)
        list += f + "\n";
    std::string cfg = "# kelvo configuration of the sample database\n"
                      "dictdir = " + dir + "/dict\n"
                      "datadir = " + dir + "/data\n"
                      "datafiles = " + dir + "/datafiles.txt\n"
                      "checksum = YES\n";
    if (write_text(dir + "/datafiles.txt", list) || write_text(dir + "/config.ini", cfg))
        return -1;
    return 0;
}

int make_sample(const std::string &dir)
{
    if (make_dir(dir))
        return -1;
    std::vector<std::string> files;

    FileDesc sys;
    sys.fno = 1;
    sys.rfn = 1;
    sys.tsn = 0;
    sys.blocks = 1024;
    sys.tsname = "SYSTEM";
    Datafile sf;
    std::string sp = dir + "/system01.dbf";
    if (df_create(sf, sp, sys))
        return -1;
    // Bootstrap table: its own segment, the version row.
    Segment bs;
    bs.kind = 0x10;
    bs.objd = 59;
    plan_segment(bs, sf, 400, {8});
    LogicalRow ver;
    ver.cols = {col_bytes(ora_number(-1)), col_bytes(ora_number(-1)), col_str("8.0.00.00.00")};
    if (write_heap_table(sf, bs, {ver}, BlockOpts{}) || df_set_root(sf, bs.hdr))
        return -1;
    files.push_back(sp);

    FileDesc usr;
    usr.fno = 4;
    usr.rfn = 4;
    usr.tsn = 4;
    usr.blocks = 640;
    usr.tsname = "USERS";
    Datafile uf;
    std::string up = dir + "/users01.dbf";
    if (df_create(uf, up, usr))
        return -1;
    files.push_back(up);

    return write_config(dir, files);
}

} // namespace kb
