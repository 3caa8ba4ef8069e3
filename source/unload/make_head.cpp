// The dump file header, built from the database properties of props.dat, or,
// with no dictionary loaded ("unload object" after a scan), from the
// "charset" key.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "kelvo/dump.h"
#include "kelvo/context.h"

// Copies a NUL-terminated field of at most cap bytes (possibly without its
// NUL when damaged) into out[outsz], always terminated.
static void copy_field(char *out, size_t outsz, const char *in, size_t cap)
{
    size_t n = strnlen(in, cap);
    if (n >= outsz)
        n = outsz - 1;
    memcpy(out, in, n);
    out[n] = '\0';
}

static bool name_is(const PROPS *p, const char *name)
{
    size_t n = strlen(name);
    return strnlen(p->name, sizeof(p->name)) == n && memcmp(p->name, name, n) == 0;
}

int make_head(void)
{
    HEAD_INFO *hi = (HEAD_INFO *)g_ctx.wrk;
    memset(g_ctx.wrk, 0, DUMP_HEAD_SIZE);

    char path[2048];
    snprintf(path, sizeof(path), "%s/props.dat", g_ctx.par.dict_dir);
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        fprintf(stderr, "open %s: %s\n", path, strerror(errno));
        return -1;
    }

    char lang[128] = "", terr[128] = "", cset[128] = "";
    uint8_t *buf = g_ctx.wrk + DUMP_HEAD_SIZE;
    const size_t pass = (WORK_BUFFER_SIZE - DUMP_HEAD_SIZE) / sizeof(PROPS) * sizeof(PROPS);
    size_t have = 0;   // bytes of a record cut by the end of the previous pass
    bool eof = false;
    while (!eof) {
        long r = read_full(fd, buf + have, pass - have);
        if (r < 0) {
            fprintf(stderr, "read %s: %s\n", path, strerror(errno));
            close(fd);
            return -1;
        }
        have += (size_t)r;
        eof = have < pass;
        size_t whole = have / sizeof(PROPS);
        for (size_t i = 0; i < whole; i++) {
            PROPS p;
            memcpy(&p, buf + i * sizeof(PROPS), sizeof(PROPS));
            if (name_is(&p, "NLS_LANGUAGE"))
                copy_field(lang, sizeof(lang), p.value, sizeof(p.value));
            else if (name_is(&p, "NLS_TERRITORY"))
                copy_field(terr, sizeof(terr), p.value, sizeof(p.value));
            else if (name_is(&p, "NLS_CHARACTERSET"))
                copy_field(cset, sizeof(cset), p.value, sizeof(p.value));
            else if (name_is(&p, "NLS_NCHAR_CHARACTERSET"))
                copy_field(hi->ncharset, sizeof(hi->ncharset), p.value, sizeof(p.value));
            else if (name_is(&p, "DBTIMEZONE"))
                copy_field(hi->dbtimezone, sizeof(hi->dbtimezone), p.value, sizeof(p.value));
        }
        size_t rest = have - whole * sizeof(PROPS);
        memmove(buf, buf + whole * sizeof(PROPS), rest);
        have = rest;
    }
    close(fd);

    memcpy(hi->magic, DUMP_MAGIC, sizeof(DUMP_MAGIC));
    snprintf(hi->nls_lang, sizeof(hi->nls_lang), "%s_%s.%s", lang, terr, cset);
    return 0;
}

int make_charset_head(const char *charset)
{
    // No PROPS$: the national character set is Oracle's default, the time
    // zone unknown, the character set the one configured.
    HEAD_INFO *hi = (HEAD_INFO *)g_ctx.wrk;
    memset(g_ctx.wrk, 0, DUMP_HEAD_SIZE);
    memcpy(hi->magic, DUMP_MAGIC, sizeof(DUMP_MAGIC));
    snprintf(hi->nls_lang, sizeof(hi->nls_lang), "AMERICAN_AMERICA.%s", charset);
    snprintf(hi->ncharset, sizeof(hi->ncharset), "AL16UTF16");
    return 0;
}
