// "dump datafile N block M" and "dump rdba 0x...": one block read from the
// configured datafiles and printed by dump_block, with the checks it fails
// named. A damaged block is printed all the same; only a block that cannot
// be read at all fails the command.
#include <cerrno>
#include <cstdlib>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/diagnose.h"

namespace {

const char *const usage = "usage: dump datafile N block M | dump rdba 0x...\n";

bool parse_number(const char *s, int base, unsigned long long max, unsigned long long *v)
{
    if (!s || !*s)
        return false;
    char *end = nullptr;
    errno = 0;
    *v = strtoull(s, &end, base);
    return *end == '\0' && errno == 0 && *v <= max && s[0] != '-';
}

// The datafile an rdba names: the first whose relative file number is the
// rdba's, else the first bigfile datafile (whose rdbas are block numbers).
DATAFILE *file_of_rdba(uint32_t rdba)
{
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
        if (!(g_ctx.df[i].flag & DF_BIGFILE) && g_ctx.df[i].rfn == rdba_file(rdba))
            return &g_ctx.df[i];
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
        if (g_ctx.df[i].flag & DF_BIGFILE)
            return &g_ctx.df[i];
    return nullptr;
}

} // namespace

int dump_handle(char *args)
{
    char *save = nullptr;
    char *w[4] = {nullptr, nullptr, nullptr, nullptr};
    int nw = 0;
    for (char *t = strtok_r(args, " \t", &save); t; t = strtok_r(nullptr, " \t", &save))
        if (nw++ < 4)
            w[nw - 1] = t;
    if (g_ctx.df == nullptr || g_ctx.wrk == nullptr) {
        fprintf(stderr, "no datafile configured.\n");
        return -1;
    }
    DATAFILE *df = nullptr;
    uint32_t rdba = 0;
    unsigned long long a = 0, b = 0;
    if (nw == 4 && strcmp(w[0], "datafile") == 0 && strcmp(w[2], "block") == 0 &&
        parse_number(w[1], 10, 0xFFFFFFFFull, &a) && parse_number(w[3], 10, 0xFFFFFFFFull, &b)) {
        for (uint32_t i = 0; i < g_ctx.sys.nf && !df; i++)
            if (g_ctx.df[i].fno == a)
                df = &g_ctx.df[i];
        if (!df) {
            fprintf(stderr, "datafile %llu not configured.\n", a);
            return -1;
        }
        bool big = df->flag & DF_BIGFILE;
        if (b == 0 || (!big && b > 0x3FFFFF)) {
            fprintf(stderr, "block %llu of datafile %llu out of range.\n", b, a);
            return -1;
        }
        rdba = big ? (uint32_t)b : ((df->rfn << 22) | (uint32_t)b);
    } else if (nw == 2 && strcmp(w[0], "rdba") == 0 && strncmp(w[1], "0x", 2) == 0 &&
               parse_number(w[1] + 2, 16, 0xFFFFFFFFull, &a)) {
        rdba = (uint32_t)a;
        df = file_of_rdba(rdba);
        if (!df) {
            fprintf(stderr, "no datafile holds rdba 0x%08x.\n", rdba);
            return -1;
        }
    } else {
        fprintf(stderr, "%s", usage);
        return -1;
    }
    uint64_t blk_no = df_block_number(df, rdba);
    printf("block %u/%llu (rdba=0x%08x) of \"%s\"\n", df->fno, (unsigned long long)blk_no, rdba, df->name);
    uint8_t fault = BLOCK_GOOD;
    read_blocks_quiet(df, rdba, 1, g_ctx.wrk, nullptr, &fault);
    if (fault == BLOCK_READ_ERROR || fault == BLOCK_PAST_END || fault == BLOCK_FILE_HEADER) {
        fprintf(stderr, "block %u/%llu (rdba=0x%08x) of \"%s\": %s.\n", df->fno, (unsigned long long)blk_no, rdba,
                df->name, block_fault_text(fault));
        return -1;
    }
    if (fault == BLOCK_UNFORMATTED) {
        printf("rdba 0x%08x: %s\n", rdba, block_fault_text(fault));
        fflush(stdout);
        return 0;
    }
    dump_block(stdout, g_ctx.wrk, df->bsz, rdba);
    return 0;
}
