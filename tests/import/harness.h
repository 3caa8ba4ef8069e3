// Running the import program on a dump written by the test encoder, and
// reading the target's SQLite databases back.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "dump_writer.h"

namespace dumptest {

struct run_result {
    int rc = -1;
    std::string out, err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

struct workdir {
    std::string dir;
    workdir()
    {
        char tmpl[] = "/tmp/kelvo-import-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~workdir() { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string path(const std::string &name) const { return dir + "/" + name; }

    // Writes the dump and runs import on it with the extra arguments.
    run_result import(const dump &d, const std::string &args = "", const std::string &target = "db")
    {
        d.write(path("in.dat"));
        return run("u/p@" + path(target) + " FILE=" + path("in.dat") + " " + args);
    }

    run_result run(const std::string &args)
    {
        std::string cmd = std::string(IMPORT_PROGRAM) + " " + args + " >" + path("out.txt") + " 2>" + path("err.txt");
        int st = std::system(cmd.c_str());
        run_result r;
        r.rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = slurp(path("out.txt"));
        r.err = slurp(path("err.txt"));
        return r;
    }
};

// The rows of a query, one line per row, columns joined by '|': NULL, integers
// as such, reals with %.17g, text as is, blobs as x'HEX'. An error gives
// "error: message".
inline std::string query(const std::string &dbfile, const std::string &sql)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(dbfile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::string e = "error: " + std::string(sqlite3_errmsg(db));
        sqlite3_close(db);
        return e;
    }
    sqlite3_stmt *st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        out = "error: " + std::string(sqlite3_errmsg(db));
        sqlite3_close(db);
        return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (!out.empty())
            out += '\n';
        for (int i = 0; i < sqlite3_column_count(st); i++) {
            if (i)
                out += '|';
            char buf[64];
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL: out += "NULL"; break;
            case SQLITE_INTEGER: out += std::to_string(sqlite3_column_int64(st, i)); break;
            case SQLITE_FLOAT:
                snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
                out += buf;
                break;
            case SQLITE_TEXT: out += reinterpret_cast<const char *>(sqlite3_column_text(st, i)); break;
            default: {
                const uint8_t *b = static_cast<const uint8_t *>(sqlite3_column_blob(st, i));
                out += "x'";
                for (int k = 0; k < sqlite3_column_bytes(st, i); k++) {
                    snprintf(buf, sizeof buf, "%02X", b[k]);
                    out += buf;
                }
                out += "'";
            }
            }
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

}   // namespace dumptest
