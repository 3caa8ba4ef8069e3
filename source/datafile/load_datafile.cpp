// The datafile list: one datafile path per line, '#' comments, empty lines
// skipped. Records are staged in the work buffer in batches of DF_BATCH; a
// list longer than one batch spills full batches to "<dictdir>/dbfile.tmp",
// so the final array is allocated once, at its exact size.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "kelvo/context.h"

int load_datafile(void)
{
    DATAFILE *batch = (DATAFILE *)g_ctx.wrk;
    char spill[1100];
    snprintf(spill, sizeof(spill), "%s/dbfile.tmp", g_ctx.par.dict_dir);
    int sfd = -1;
    uint32_t nf = 0, staged = 0;

    FILE *fp = fopen(g_dbfile_list, "r");
    if (!fp) {
        fprintf(stderr, "open %s: %s\n", g_dbfile_list, strerror(errno));
        return -1;
    }
    char buf[1024];
    char *path;
    while ((path = next_config_line(fp, buf, sizeof(buf)))) {
        if (!*path)
            continue;
        if (staged == DF_BATCH) {
            if (sfd < 0) {
                sfd = open(spill, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (sfd < 0) {
                    fprintf(stderr, "open %s: %s\n", spill, strerror(errno));
                    fclose(fp);
                    return -1;
                }
            }
            if (write_full(sfd, g_ctx.wrk, staged * sizeof(DATAFILE)) < 0) {
                fprintf(stderr, "write %s: %s\n", spill, strerror(errno));
                close(sfd);
                fclose(fp);
                return -1;
            }
            staged = 0;
        }
        DATAFILE *df = &batch[staged++];
        memset(df, 0, sizeof(*df));
        df->fd = -1;
        strncpy(df->name, path, sizeof(df->name) - 1);
        nf++;
    }
    bool failed = ferror(fp);
    int err = errno;
    fclose(fp);
    if (failed) {
        fprintf(stderr, "read %s: %s\n", g_dbfile_list, strerror(err));
        if (sfd >= 0)
            close(sfd);
        return -1;
    }

    DATAFILE *arr = (DATAFILE *)malloc(sizeof(DATAFILE) * (nf ? nf : 1));
    if (!arr) {
        fprintf(stderr, "allocate memory for datafile error: %s\n", strerror(errno));
        if (sfd >= 0)
            close(sfd);
        return -1;
    }
    uint32_t spilled = nf - staged;
    if (sfd >= 0) {
        size_t want = spilled * sizeof(DATAFILE);
        long r = pread_full(sfd, (uint8_t *)arr, want, 0);
        int rerr = errno;
        close(sfd);
        if (r != (long)want) {
            fprintf(stderr, "read %s: %s\n", spill, r < 0 ? strerror(rerr) : "unexpected end of file");
            free(arr);
            return -1;
        }
    }
    memcpy(arr + spilled, batch, staged * sizeof(DATAFILE));
    free(g_ctx.df);
    g_ctx.df = arr;
    g_ctx.sys.nf = nf;
    return 0;
}
