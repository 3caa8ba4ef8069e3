// Arbitrary dump files through dumpcat (header, table information, column
// information, rows, LONG and LOB value records, every value decoder and
// every output format), the output files written into a scratch directory
// that is emptied after each input. The first byte chooses the format.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dumpcat.h"

static std::string g_path, g_dir;
static int g_null = -1;

static void empty_dir()
{
    DIR *d = opendir(g_dir.c_str());
    if (!d)
        return;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.' || (e->d_name[1] && (e->d_name[1] != '.' || e->d_name[2])))
            unlinkat(dirfd(d), e->d_name, 0);
    closedir(d);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_path = "/tmp/fuzz_dumpcat." + std::to_string(getpid()) + ".dat";
    g_dir = "/tmp/fuzz_dumpcat." + std::to_string(getpid()) + ".out";
    mkdir(g_dir.c_str(), 0755);
    g_null = open("/dev/null", O_WRONLY);
    atexit([] {
        unlink(g_path.c_str());
        empty_dir();
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const char *const formats[] = {"FORMAT=csv", "FORMAT=pgcopy", "FORMAT=sql", "FORMAT=sqlldr"};
    static const char *const extra[] = {"BINARY=base64", "DIALECT=oracle", "DIALECT=sqlite", "NULL=-"};
    FILE *f = fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    fwrite(data + 1, 1, size - 1, f);
    fclose(f);
    std::string file = "FILE=" + g_path, outdir = "OUTDIR=" + g_dir;
    std::string format = formats[data[0] & 3], more = extra[(data[0] >> 2) & 3];
    char prog[] = "dumpcat";
    char *argv[] = {prog, file.data(), outdir.data(), format.data(), more.data(), nullptr};
    fflush(stderr);
    int err = dup(2);
    dup2(g_null, 2);
    dumpcat_main(5, argv);
    fflush(stderr);
    dup2(err, 2);
    close(err);
    empty_dir();
    return 0;
}
