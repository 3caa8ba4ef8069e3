// The delivered programs on the sample database: a temporary directory and
// the session every delivery test drives: "export dict", "load dict",
// "unload user scott".
#pragma once

#include "kbuild.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../shell/run_kelvo.h"

namespace delivery {

struct TempDir {
    std::string dir;
    TempDir()
    {
        char tmpl[] = "/tmp/kelvo-delivery-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

inline const std::vector<std::string> SESSION = {"export dict", "load dict", "unload user scott"};

// Writes the sample database into DIR with a configuration whose paths start
// at PREFIX (DIR itself, or "" when DIR becomes the root directory): PREFIX
// /config.ini, /datafiles.txt, /dict and /data.
inline void make_sample(const std::string &dir, const std::string &prefix)
{
    kb::Database db = kb::sample_database();
    ASSERT_EQ(kb::build_database(db, dir), 0);
    std::string list;
    for (const std::string &f : db.files)
        list += prefix + "/" + f.substr(f.find_last_of('/') + 1) + "\n";
    std::ofstream(dir + "/datafiles.txt") << list;
    std::ofstream(dir + "/config.ini") << "dictdir = " << prefix << "/dict\ndatadir = " << prefix
                                       << "/data\ndatafiles = " << prefix << "/datafiles.txt\nchecksum = YES\n";
    ASSERT_EQ(mkdir((dir + "/dict").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/data").c_str(), 0755), 0);
}

} // namespace delivery
