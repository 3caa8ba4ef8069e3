// What a table loses while it is unloaded: counted by kind in the working
// record, so that the table's summary can say it, and written one line per
// loss to the loss report beside the dump ("<dump>.loss", tab-separated,
// with a header line). The report is created at the first loss only: a
// healthy unload leaves none behind.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "kelvo/block.h"
#include "kelvo/unload.h"
#include "kelvo/context.h"

int g_data_lost;

namespace {

char loss_file[2048];       // path of the report of the dump being written
FILE *loss_fp;
bool loss_failed;           // the report could not be created: count only
char loss_tab[32];          // table the next lines are about

const char *const kind_texts[LOSS_KINDS] = {"block",      "unformatted block",  "row cut",        "LOB value",
                                            "LONG value", "compressed rows", "encrypted values"};

bool open_report()
{
    if (loss_fp || loss_failed || !loss_file[0])
        return loss_fp != nullptr;
    loss_fp = fopen(loss_file, "w");
    if (!loss_fp) {
        fprintf(stderr, "open %s: %s\n", loss_file, strerror(errno));
        loss_failed = true;
        return false;
    }
    fputs("table\tfile#\tblock#\trdba\tslot\tcolumn\tlost\twhy\n", loss_fp);
    return true;
}

} // namespace

void loss_begin(const char *dump_path)
{
    loss_end();
    loss_failed = false;
    loss_tab[0] = '\0';
    snprintf(loss_file, sizeof(loss_file), "%s", dump_path);
    size_t n = strlen(loss_file);
    if (n >= 4 && strcmp(loss_file + n - 4, ".dat") == 0)
        loss_file[n - 4] = '\0';
    n = strlen(loss_file);
    if (n + 6 > sizeof(loss_file)) {
        loss_file[0] = '\0';
        return;
    }
    memcpy(loss_file + n, ".loss", 6);
    // A report of an earlier run would describe another dump.
    if (unlink(loss_file) < 0 && errno != ENOENT)
        fprintf(stderr, "remove %s: %s\n", loss_file, strerror(errno));
}

void loss_capture(FILE *fp)
{
    loss_fp = fp;
    loss_failed = false;
}

void loss_replay(const char *text, size_t n)
{
    g_data_lost = 1;
    if (open_report())
        fwrite(text, 1, n, loss_fp);
}

void loss_table(const char *table) { snprintf(loss_tab, sizeof(loss_tab), "%s", table); }

const char *loss_path(void) { return loss_file; }

int loss_end(void)
{
    int rc = 0;
    if (loss_fp && fclose(loss_fp) != 0) {
        fprintf(stderr, "write %s: %s\n", loss_file, strerror(errno));
        rc = -1;
    }
    loss_fp = nullptr;
    return rc;
}

void note_loss(ULDR *ul, int kind, const DATAFILE *df, uint32_t rdba, int slot, int col, const char *why)
{
    note_losses(ul, kind, 1, df, rdba, slot, col, why);
}

void note_losses(ULDR *ul, int kind, uint32_t count, const DATAFILE *df, uint32_t rdba, int slot, int col,
                 const char *why)
{
    if (kind < 0 || kind >= LOSS_KINDS)
        return;
    ul->lost[kind] += count;
    g_data_lost = 1;
    if (!open_report())
        return;
    char fno[16] = "-", blk[24] = "-", addr[16] = "-", sl[16] = "-";
    if (df) {
        snprintf(fno, sizeof(fno), "%u", df->fno);
        snprintf(blk, sizeof(blk), "%llu", (unsigned long long)df_block_number(df, rdba));
    }
    if (rdba)
        snprintf(addr, sizeof(addr), "0x%08x", rdba);
    if (slot >= 0)
        snprintf(sl, sizeof(sl), "%d", slot);
    const char *cname = "-";
    const TAB *t = ul->tabp;
    if (t && col >= 0 && (uint32_t)col < t->tcol && (uint64_t)t->coff + (uint32_t)col < g_ctx.sys.ncol && g_ctx.col)
        cname = g_ctx.col[t->coff + (uint32_t)col].name;
    fprintf(loss_fp, "%s\t%s\t%s\t%s\t%s\t%.31s\t%s\t%s\n", loss_tab, fno, blk, addr, sl, cname, kind_texts[kind],
            why ? why : "-");
}

void print_table_losses(const ULDR *ul)
{
    static const char *const one[LOSS_KINDS] = {"block skipped",   "unformatted block skipped",
                                                "row cut",         "LOB value lost",
                                                "LONG value lost", "row in compressed blocks lost",
                                                "encrypted value unloaded as NULL"};
    static const char *const many[LOSS_KINDS] = {"blocks skipped",   "unformatted blocks skipped",
                                                 "rows cut",         "LOB values lost",
                                                 "LONG values lost", "rows in compressed blocks lost",
                                                 "encrypted values unloaded as NULL"};
    char line[512];
    int n = 0;
    for (int k = 0; k < LOSS_KINDS; k++) {
        if (ul->lost[k] == 0 || n >= (int)sizeof(line))
            continue;
        int w = snprintf(line + n, sizeof(line) - (size_t)n, "%s%u %s", n ? ", " : "    ", ul->lost[k],
                         ul->lost[k] == 1 ? one[k] : many[k]);
        n += w > 0 ? w : 0;
    }
    if (n == 0)
        return;
    if (n >= (int)sizeof(line))
        n = (int)sizeof(line) - 1;
    if (loss_fp)
        fprintf(stderr, "%.*s: see %s\n", n, line, loss_file);
    else
        fprintf(stderr, "%.*s.\n", n, line);
}

void print_table_refusals(ULDR *ul, const char *name)
{
    if (ul->ncompressed)
        fprintf(stderr, "table \"%s\": %d compressed blocks skipped (compressed tables are not supported).\n", name,
                (int)ul->ncompressed);
    if (ul->lost[LOSS_ENCRYPTED]) {
        char why[96];
        snprintf(why, sizeof(why), "%u values of encrypted columns unloaded as NULL", ul->lost[LOSS_ENCRYPTED]);
        note_losses(ul, LOSS_ENCRYPTED, 0, nullptr, 0, -1, -1, why);
    }
    if (ul->nasis)
        fprintf(stderr, "table \"%s\": %u extended values written as stored (not LOB locators).\n", name, ul->nasis);
    if (ul->nunparsed == 0)
        return;
    if (ul->nowned > 0) {
        // Some blocks are the table's: the others are strays, as before.
        ul->nskip += ul->nunparsed;
        return;
    }
    // Not one block of the segment parses: with tablespace encryption all
    // but the cache header of a block is ciphertext, so this is its likely
    // cause; one line stands for every block.
    const char *ts = nullptr;
    for (uint32_t i = 0; g_ctx.ts && i < g_ctx.sys.nts; i++)
        if ((int)g_ctx.ts[i].tsn == ul->tsn)
            ts = g_ctx.ts[i].name;
    char tsname[48];
    if (ts)
        snprintf(tsname, sizeof(tsname), "\"%.31s\"", ts);
    else
        snprintf(tsname, sizeof(tsname), "ts#=%d", ul->tsn);
    fprintf(stderr,
            "table \"%s\": none of its %u data blocks can be read as table data: tablespace %s is probably "
            "encrypted (not supported).\n",
            name, ul->nunparsed, tsname);
    note_losses(ul, LOSS_BLOCK, ul->nunparsed, nullptr, 0, -1, -1,
                "no data block parses: tablespace encryption is the likely cause");
}

const char *refused_lob_text(uint32_t flag)
{
    switch (flag) {
    case LOB_ENCRYPTED: return "encrypted";
    case LOB_COMPRESSED: return "compressed";
    case LOB_DEDUPLICATED: return "deduplicated";
    default: return nullptr;
    }
}

void print_refused_lobs(const TAB *t, const char *name)
{
    for (uint32_t i = 0; i < t->tcol && (uint64_t)t->coff + i < g_ctx.sys.ncol; i++) {
        const COL *c = &g_ctx.col[t->coff + i];
        // A column encrypted with TDE is said (and refused) as such.
        if ((c->flag & (COL_SKIP_MASK | COL_ENCRYPTED)) || (c->ctyp != TYPE_CLOB && c->ctyp != TYPE_BLOB))
            continue;
        int li = lookup_lob(t->objn, c->cid);
        const char *what = li >= 0 ? refused_lob_text(g_ctx.lob[li].flag) : nullptr;
        if (what)
            fprintf(stderr, "table \"%s\": LOB column %.31s is %s (SecureFile), unloaded as NULL.\n", name, c->name,
                    what);
    }
}

void print_encrypted_columns(const TAB *t, const char *name)
{
    char list[512];
    int n = 0, cols = 0;
    list[0] = '\0';
    for (uint32_t i = 0; i < t->tcol && (uint64_t)t->coff + i < g_ctx.sys.ncol; i++) {
        const COL *c = &g_ctx.col[t->coff + i];
        if ((c->flag & COL_SKIP_MASK) || !(c->flag & COL_ENCRYPTED))
            continue;
        if (n < (int)sizeof(list)) {
            int w = snprintf(list + n, sizeof(list) - (size_t)n, "%s%.31s", cols ? ", " : "", c->name);
            n += w > 0 ? w : 0;
        }
        cols++;
    }
    if (cols)
        fprintf(stderr, "table \"%s\": encrypted column%s %s unloaded as NULL (no keystore).\n", name,
                cols == 1 ? "" : "s", list);
}
