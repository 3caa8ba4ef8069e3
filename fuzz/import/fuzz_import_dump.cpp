// Arbitrary dump files through the whole importer (header, table
// information, column information, rows, LONG and LOB value records) into
// the embedded target, with its schemas in memory.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "util.h"

static std::string g_path;
static int g_null = -1;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_path = "/tmp/fuzz_import_dump." + std::to_string(getpid()) + ".dat";
    g_null = open("/dev/null", O_WRONLY);
    atexit([] { unlink(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    std::string file = "FILE=" + g_path;
    char prog[] = "import", user[] = "u/p@:memory:";
    char *argv[] = {prog, user, file.data(), nullptr};
    // The importer's messages and progress lines are not the fuzzer's.
    fflush(stdout);
    fflush(stderr);
    int out = dup(1), err = dup(2);
    dup2(g_null, 1);
    dup2(g_null, 2);
    import_main(3, argv);
    fflush(stdout);
    fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    return 0;
}
