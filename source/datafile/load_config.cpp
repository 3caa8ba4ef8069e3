// The configuration file: "dictdir", "datadir", "datafiles", "checksum",
// "system", "charset" and "parallel" lines of the form `key = value`, with '#' comments.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "kelvo/shell.h"
#include "kelvo/context.h"

char g_charset[64] = "AL32UTF8";

// Bounded copy that always ends with a NUL.
static void copy_value(char *dst, size_t size, const char *src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

static void drop_trailing_slash(char *dir)
{
    size_t n = strlen(dir);
    if (n > 0 && dir[n - 1] == '/')
        dir[n - 1] = '\0';
}

int g_parallel;

// "parallel = N": a whole number from 1 to PARALLEL_MAX, or -1.
static int parallel_value(const char *value)
{
    char *end = nullptr;
    errno = 0;
    long n = value[0] >= '0' && value[0] <= '9' ? strtol(value, &end, 10) : 0;
    if (errno != 0 || !end || *end != '\0' || n < 1 || n > PARALLEL_MAX) {
        fprintf(stderr, "parameter parallel must be a number from 1 to %d: %s\n", PARALLEL_MAX, value);
        return -1;
    }
    return (int)n;
}

char *next_config_line(FILE *fp, char *buf, int size)
{
    if (!fgets(buf, size, fp))
        return nullptr;
    char *hash = strchr(buf, '#');
    if (hash)
        *hash = '\0';
    return str_rtrim(str_ltrim(buf));
}

int load_config(void)
{
    static const char *const keys[] = {"dictdir", "datadir", "datafiles", "checksum", "system", "charset", "parallel"};
    constexpr int NKEYS = (int)(sizeof(keys) / sizeof(keys[0]));
    memset(&g_ctx.par, 0, sizeof(g_ctx.par));
    g_dbfile_list[0] = '\0';
    g_system_file[0] = '\0';
    snprintf(g_charset, sizeof(g_charset), "AL32UTF8");
    g_parallel = 0;

    FILE *fp = fopen(g_cfgname, "r");
    if (!fp) {
        fprintf(stderr, "open %s: %s\n", g_cfgname, strerror(errno));
        return -1;
    }
    char buf[1024];
    char *line;
    while ((line = next_config_line(fp, buf, sizeof(buf)))) {
        int k = 0;
        for (; k < NKEYS; k++)
            if (strncmp(line, keys[k], strlen(keys[k])) == 0)
                break;
        if (k == NKEYS)
            continue;
        char *eq = strchr(line + strlen(keys[k]), '=');
        if (!eq) {
            fprintf(stderr, "parameter format error: %s\n", line);
            fclose(fp);
            return -1;
        }
        const char *value = str_ltrim(eq + 1);
        switch (k) {
        case 0:
            copy_value(g_ctx.par.dict_dir, sizeof(g_ctx.par.dict_dir), value);
            break;
        case 1:
            copy_value(g_ctx.par.data_dir, sizeof(g_ctx.par.data_dir), value);
            break;
        case 2:
            copy_value(g_dbfile_list, sizeof(g_dbfile_list), value);
            break;
        case 4:
            copy_value(g_system_file, sizeof(g_system_file), value);
            break;
        case 5:
            if (*value)
                copy_value(g_charset, sizeof(g_charset), value);
            break;
        case 6:
            g_parallel = parallel_value(value);
            if (g_parallel < 0) {
                g_parallel = 0;
                fclose(fp);
                return -1;
            }
            break;
        default:
            if (strncmp(value, "YES", 3) == 0 || strncmp(value, "yes", 3) == 0)
                g_ctx.par.flag |= CFG_CHECKSUM;
            break;
        }
    }
    if (ferror(fp)) {
        fprintf(stderr, "read %s: %s\n", g_cfgname, strerror(errno));
        fclose(fp);
        return -1;
    }
    fclose(fp);
    drop_trailing_slash(g_ctx.par.dict_dir);
    drop_trailing_slash(g_ctx.par.data_dir);
    return 0;
}
