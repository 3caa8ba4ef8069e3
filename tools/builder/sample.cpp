// The sample database of the demo and the configuration files around it.
#include "kbuild.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    // The tests run once more with each number of unload workers.
    if (const char *par = getenv("KELVO_TEST_PARALLEL"))
        cfg += "parallel = " + std::string(par) + "\n";
    if (write_text(dir + "/datafiles.txt", list) || write_text(dir + "/config.ini", cfg))
        return -1;
    return 0;
}

int make_sample(const std::string &dir)
{
    Database db = sample_database();
    if (build_database(db, dir))
        return -1;
    return write_config(dir, db.files);
}

} // namespace kb
