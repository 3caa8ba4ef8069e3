// kbuild: Sample database and configuration
#pragma once

#include "kb_database.h"

namespace kb {

// Writes DIR/config.ini ("dictdir = DIR/dict", "datadir = DIR/data",
// "datafiles = DIR/datafiles.txt", "checksum = YES", and "parallel = N"
// when the environment has KELVO_TEST_PARALLEL=N), DIR/datafiles.txt (one
// path per line) and creates DIR/dict and DIR/data.
int write_config(const std::string &dir, const std::vector<std::string> &datafiles);
// Writes the sample database into DIR (created when missing): its datafiles
// and the files of write_config.
int make_sample(const std::string &dir);

} // namespace kb
