// "verify [datafile N | tablespace N]": every block of the chosen datafiles,
// read in large sequential reads into the work buffer, is classified as unformatted, good (by block
// type) or corrupt (by the first check it fails), with no dictionary. The
// corrupt blocks are listed on standard output (the first 100) and all of
// them in "<datadir>/verify.tsv"; a summary follows for each file and for
// the run. Any corrupt block fails the command.
#include <cerrno>
#include <cstdlib>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/diagnose.h"
#include "kelvo/shell.h"

namespace {

constexpr int LISTED_MAX = 100;  // corrupt blocks listed on standard output

struct Tally {
    uint64_t examined = 0;
    uint64_t unformatted = 0;
    uint64_t good = 0;
    uint64_t corrupt = 0;
    uint64_t by_type[256] = {};     // good blocks by type_kcbh
    uint64_t by_fault[BLOCK_FAULTS] = {};
    uint64_t scn = 0;               // highest SCN (wrap << 32 | base) of a good block
    bool any_scn = false;

    void add(const Tally &o)
    {
        examined += o.examined;
        unformatted += o.unformatted;
        good += o.good;
        corrupt += o.corrupt;
        for (int i = 0; i < 256; i++)
            by_type[i] += o.by_type[i];
        for (int i = 0; i < BLOCK_FAULTS; i++)
            by_fault[i] += o.by_fault[i];
        if (o.any_scn && (!any_scn || o.scn > scn))
            scn = o.scn;
        any_scn |= o.any_scn;
    }
};

struct Run {
    FILE *tsv = nullptr;
    char tsv_path[2048];
    uint64_t listed = 0;
};

void corrupt_block(Run &run, Tally &t, const DATAFILE *df, uint64_t b, uint32_t rdba, const uint8_t *blk, int fault)
{
    t.corrupt++;
    t.by_fault[fault]++;
    char type[8] = "-";
    if (blk)
        snprintf(type, sizeof(type), "0x%02x", blk[offsetof(KCBH, type_kcbh)]);
    if (run.listed++ < LISTED_MAX)
        printf("corrupt block %u/%llu (rdba=0x%08x) type %s: %s\n", df->fno, (unsigned long long)b, rdba, type,
               block_fault_text(fault));
    if (run.tsv)
        fprintf(run.tsv, "%u\t%llu\t0x%08x\t%s\t%s\t%s\n", df->fno, (unsigned long long)b, rdba, type,
                block_fault_text(fault), df->name);
}

void print_tally(const Tally &t)
{
    printf("  %-30s%12llu\n", "blocks examined", (unsigned long long)t.examined);
    printf("  %-30s%12llu\n", "unformatted", (unsigned long long)t.unformatted);
    printf("  %-30s%12llu\n", "good", (unsigned long long)t.good);
    for (int type = 0; type < 256; type++)
        if (t.by_type[type]) {
            char label[48];
            snprintf(label, sizeof(label), "%s (0x%02x)", block_kind(type), type);
            printf("    %-28s%12llu\n", label, (unsigned long long)t.by_type[type]);
        }
    printf("  %-30s%12llu\n", "corrupt", (unsigned long long)t.corrupt);
    for (int f = 0; f < BLOCK_FAULTS; f++)
        if (t.by_fault[f])
            printf("    %-28s%12llu\n", block_fault_text(f), (unsigned long long)t.by_fault[f]);
    if (t.any_scn)
        printf("  %-30s 0x%04x.%08x\n", "highest SCN", (unsigned)(t.scn >> 32), (unsigned)t.scn);
}

// Bytes read and checked at a time: large enough that the system call costs
// nothing beside the copy, small enough that the blocks are checked while
// they are still in the processor cache (a whole work buffer would be read
// back from memory).
constexpr size_t VERIFY_SLICE = 256 * 1024;

// Blocks 1 to blks of one datafile (block 0 is the file's own header, read
// and checked when the file was opened).
void verify_file(Run &run, DATAFILE *df, Tally &t)
{
    static uint8_t faults[VERIFY_SLICE / 2048];
    const size_t bsz = df->bsz;
    read_whole_file(df, g_ctx.wrk, VERIFY_SLICE, faults, [&](uint64_t b, uint32_t rdba, uint32_t n) {
        for (uint32_t i = 0; i < n; i++) {
            const uint8_t *blk = g_ctx.wrk + (size_t)i * bsz;
            int fault = faults[i];
            t.examined++;
            if (fault == BLOCK_UNFORMATTED) {
                t.unformatted++;
                continue;
            }
            if (fault == BLOCK_READ_ERROR || fault == BLOCK_PAST_END) {
                corrupt_block(run, t, df, b + i, rdba + i, nullptr, fault);
                continue;
            }
            fault = block_verdict(blk, bsz, fault);
            if (fault != BLOCK_GOOD) {
                corrupt_block(run, t, df, b + i, rdba + i, blk, fault);
                continue;
            }
            t.good++;
            t.by_type[blk[offsetof(KCBH, type_kcbh)]]++;
            uint64_t scn = ((uint64_t)get_le16(blk + offsetof(KCBH, wrp_kcbh)) << 32) |
                           get_le32(blk + offsetof(KCBH, bas_kcbh));
            if (!t.any_scn || scn > t.scn)
                t.scn = scn;
            t.any_scn = true;
        }
    });
}

// The datafiles chosen by the argument text, marked in `chosen`; -1 after a
// message when the text names nothing.
int choose_files(char *args, bool *chosen)
{
    char *word = args;
    char *p = args;
    while (*p && *p != ' ' && *p != '\t')
        p++;
    if (*p)
        *p++ = '\0';
    p = str_ltrim(p);
    if (*word == '\0') {
        for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
            chosen[i] = true;
        return 0;
    }
    bool by_file = strcmp(word, "datafile") == 0, by_ts = strcmp(word, "tablespace") == 0;
    char *end = nullptr;
    errno = 0;
    unsigned long n = strtoul(p, &end, 10);
    if (!(by_file || by_ts) || end == p || *str_ltrim(end) != '\0' || errno || n > 0xFFFFFFFFul) {
        fprintf(stderr, "usage: verify [datafile N | tablespace N | table USER.TABLE]\n");
        return -1;
    }
    bool any = false;
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        chosen[i] = (by_file ? g_ctx.df[i].fno : g_ctx.df[i].tsn) == n;
        any |= chosen[i];
    }
    if (!any) {
        if (by_file)
            fprintf(stderr, "datafile %lu not configured.\n", n);
        else
            fprintf(stderr, "no datafile of tablespace %lu configured.\n", n);
        return -1;
    }
    return 0;
}

} // namespace

int verify_handle(char *args)
{
    if (strncmp(args, "table", 5) == 0 && (args[5] == ' ' || args[5] == '\t'))
        return verify_table(str_ltrim(args + 5));
    if (g_ctx.df == nullptr || g_ctx.sys.nf == 0 || g_ctx.wrk == nullptr) {
        fprintf(stderr, "no datafile configured.\n");
        return -1;
    }
    bool *chosen = (bool *)calloc(g_ctx.sys.nf, sizeof(bool));
    if (!chosen) {
        fprintf(stderr, "allocate memory for verify error: %s\n", strerror(errno));
        return -1;
    }
    if (choose_files(args, chosen) < 0) {
        free(chosen);
        return -1;
    }
    Run run;
    snprintf(run.tsv_path, sizeof(run.tsv_path), "%s/verify.tsv", g_ctx.par.data_dir);
    run.tsv = fopen(run.tsv_path, "w");
    if (!run.tsv)
        fprintf(stderr, "open %s: %s\n", run.tsv_path, strerror(errno));
    else
        fputs("file#\tblock#\trdba\ttype\treason\tdatafile\n", run.tsv);

    // Every block that carries a check value has it checked, whatever the
    // configuration says about the reads of the other commands.
    uint32_t flag = g_ctx.par.flag;
    g_ctx.par.flag |= CFG_CHECKSUM;
    Tally *all = new Tally;
    uint32_t files = 0;
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        if (!chosen[i])
            continue;
        DATAFILE *df = &g_ctx.df[i];
        Tally *t = new Tally;
        verify_file(run, df, *t);
        printf("DATAFILE %u \"%s\" (ts#=%u, %u-byte blocks)\n", df->fno, df->name, df->tsn, df->bsz);
        print_tally(*t);
        all->add(*t);
        delete t;
        files++;
    }
    g_ctx.par.flag = flag;
    printf("ALL %u DATAFILE%s\n", files, files == 1 ? "" : "S");
    print_tally(*all);
    if (run.listed > LISTED_MAX)
        printf("%llu more corrupt blocks not listed here.\n", (unsigned long long)(run.listed - LISTED_MAX));
    int rc = 0;
    if (run.tsv && fclose(run.tsv) != 0) {
        fprintf(stderr, "write %s: %s\n", run.tsv_path, strerror(errno));
        rc = -1;
    }
    if (all->corrupt) {
        printf("%llu corrupt block%s: see %s\n", (unsigned long long)all->corrupt, all->corrupt == 1 ? "" : "s",
               run.tsv_path);
        rc = -1;
    }
    fflush(stdout);
    delete all;
    free(chosen);
    return rc;
}
