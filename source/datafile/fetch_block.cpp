// Checked block reads: one positioned read for a run of blocks, then each
// block is looked at before anyone decodes it. A bad block costs only itself:
// its neighbours in the same read are kept.
#include <cerrno>
#include <climits>
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"

static const char *const fault_texts[BLOCK_FAULTS] = {
    "good",
    "no datafile holds it",
    "the address names the file header",
    "read error",
    "beyond the end of the file",
    "unformatted (all zeros)",
    "check value mismatch",
    "misplaced (its own rdba differs)",
    "unexpected block type",
    "block of another object",
    "fractured (tail does not match the header)",
    "header out of range",
};

const char *block_fault_text(int fault)
{
    return fault >= 0 && fault < BLOCK_FAULTS ? fault_texts[fault] : "unknown fault";
}

static bool all_zero(const uint8_t *p, size_t n)
{
    uint64_t acc = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        memcpy(&x, p + i, 8);
        acc |= x;
    }
    for (; i < n; i++)
        acc |= p[i];
    return acc == 0;
}

// Block types that carry a transaction header with the data object number.
static bool has_object_number(uint8_t type) { return type == BLOCK_TYPE_DATA; }

int check_block(const DATAFILE *df, const uint8_t *blk, uint32_t rdba, const BLOCK_WANT *want)
{
    size_t bsz = df->bsz;
    if (bsz < sizeof(KCBH) + sizeof(KTBBH))
        return BLOCK_READ_ERROR;
    uint8_t type = blk[offsetof(KCBH, type_kcbh)];
    uint8_t flg = blk[offsetof(KCBH, flg_kcbh)];
    // A zero type and zero flags are the cheap sign of a block never written;
    // only then is the whole block looked at.
    if (type == 0 && flg == 0 && all_zero(blk, bsz))
        return BLOCK_UNFORMATTED;
    if ((g_ctx.par.flag & CFG_CHECKSUM) && (flg & KCBH_HAS_CHECK_VALUE) && check_sum(blk, (int)bsz) != 0)
        return BLOCK_CHECK_VALUE;
    if (get_le32(blk + offsetof(KCBH, rdba_kcbh)) != rdba)
        return BLOCK_MISPLACED;
    if (want) {
        if (want->types[0] != 0) {
            bool ok = false;
            for (uint8_t t : want->types)
                ok |= t != 0 && t == type;
            if (!ok)
                return BLOCK_WRONG_TYPE;
        }
        if (want->objd != 0 && has_object_number(type) &&
            get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)) != want->objd)
            return BLOCK_OTHER_OBJECT;
    }
    return BLOCK_GOOD;
}

static uint64_t block_number(const DATAFILE *df, uint32_t rdba)
{
    return (df->flag & DF_BIGFILE) ? rdba : rdba_block(rdba);
}

// Set when a block was lost to its check value, for the hint at the end of
// a command.
static bool check_value_seen;

// Blocks reported during the current command. A block that several walks
// meet (a cluster block of C_OBJ# holds rows of five dictionary tables, a
// cluster block of user tables rows of each member) is reported the first
// time only; every walk still counts it as its own loss.
static uint64_t reported[256];
static unsigned nreported;

void report_block_reset(void) { nreported = 0; }

static bool reported_before(const DATAFILE *df, uint32_t rdba)
{
    uint64_t key = ((uint64_t)df->fno << 32) | rdba;
    unsigned n = nreported < 256 ? nreported : 256;
    for (unsigned i = 0; i < n; i++)
        if (reported[i] == key)
            return true;
    reported[nreported++ % 256] = key;
    return false;
}

void (*g_report_hook)(const DATAFILE *df, uint32_t rdba, int fault);

void report_block(const DATAFILE *df, uint32_t rdba, int fault)
{
    if (g_report_hook) {
        g_report_hook(df, rdba, fault);
        return;
    }
    if (reported_before(df, rdba))
        return;
    progress_clear();
    if (fault == BLOCK_CHECK_VALUE) {
        fprintf(stderr, "block rdba=0x%x check value not matched.\n", rdba);
        check_value_seen = true;
    } else if (fault == BLOCK_PAST_END)
        fprintf(stderr, "read \"%s\": end of file before block rdba=0x%x.\n", df->name, rdba);
    fprintf(stderr, "block %u/%llu (rdba=0x%08x) of \"%s\": %s, skipped.\n", df->fno,
            (unsigned long long)block_number(df, rdba), rdba, df->name, block_fault_text(fault));
}

void check_value_hint(void)
{
    if (check_value_seen && (g_ctx.par.flag & CFG_CHECKSUM))
        fprintf(stderr, "blocks that failed their check value are read as they are with \"checksum = NO\" in the "
                        "configuration.\n");
    check_value_seen = false;
}

int read_blocks_quiet(DATAFILE *df, uint32_t rdba, int n, uint8_t *buf, const BLOCK_WANT *want, uint8_t *faults)
{
    if (n <= 0)
        return 0;
    uint64_t b = block_number(df, rdba);
    size_t bsz = df->bsz;
    int bad = 0;
    auto fail_all = [&](int from, int fault) {
        for (int i = from; i < n; i++) {
            faults[i] = (uint8_t)fault;
            bad++;
        }
    };
    if (b == 0) {
        faults[0] = BLOCK_FILE_HEADER;
        if (n == 1)
            return 1;
        return 1 + read_blocks_quiet(df, rdba + 1, n - 1, buf + bsz, want, faults + 1);
    }
    if ((uint64_t)n * bsz > INT_MAX) {
        fail_all(0, BLOCK_READ_ERROR);
        return bad;
    }
    uint64_t off = df->blk0_sz + (uint64_t)bsz * (b - 1);
    long got = pread_full(df->fd, buf, (size_t)n * bsz, off);
    if (got < 0) {
        fprintf(stderr, "read \"%s\": %s\n", df->name, strerror(errno));
        fail_all(0, BLOCK_READ_ERROR);
        return bad;
    }
    int whole = (int)((size_t)got / bsz);
    for (int i = 0; i < whole; i++) {
        int f = check_block(df, buf + (size_t)i * bsz, rdba + (uint32_t)i, want);
        faults[i] = (uint8_t)f;
        bad += f != BLOCK_GOOD;
    }
    fail_all(whole, BLOCK_PAST_END);
    return bad;
}

int read_blocks_checked(DATAFILE *df, uint32_t rdba, int n, uint8_t *buf, const BLOCK_WANT *want, uint8_t *faults)
{
    int bad = read_blocks_quiet(df, rdba, n, buf, want, faults);
    for (int i = 0; bad > 0 && i < n; i++)
        if (faults[i] != BLOCK_GOOD)
            report_block(df, rdba + (uint32_t)i, faults[i]);
    return bad;
}

int fetch_block(int tsn, uint32_t rdba, uint8_t *buf, size_t room, const BLOCK_WANT *want, DATAFILE **dfp)
{
    DATAFILE *df = get_datafile(tsn, (int)rdba_file(rdba));
    if (dfp)
        *dfp = df;
    if (!df) {
        fprintf(stderr, "block rdba=0x%08x of tablespace ts#=%d: %s, skipped.\n", rdba, tsn,
                block_fault_text(BLOCK_NO_FILE));
        return BLOCK_NO_FILE;
    }
    if (room < df->bsz) {
        report_block(df, rdba, BLOCK_READ_ERROR);
        return BLOCK_READ_ERROR;
    }
    uint8_t fault = BLOCK_GOOD;
    read_blocks_checked(df, rdba, 1, buf, want, &fault);
    return fault;
}
