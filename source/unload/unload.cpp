// The "unload" command: "unload user [name]" writes every table of a user
// into "<datadir>/<user>.dat", "unload table [user.]table" one table into
// "<datadir>/<user>_<table>.dat".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <fcntl.h>
#include <unistd.h>

#include "kelvo/unload.h"
#include "kelvo/shell.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"
#include "kelvo/scan.h"

// Skips the command's keyword and the blanks and tabs after it.
static char *after_keyword(char *args)
{
    char *p = args;
    while (*p && *p != ' ' && *p != '\t')
        p++;
    if (*p)
        *p++ = '\0';
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

static bool dict_loaded(void)
{
    if (g_ctx.usr && g_ctx.obj && g_ctx.tab && g_ctx.col)
        return true;
    fprintf(stderr, "no dictionary loaded, run \"load dict\" first.\n");
    return false;
}

static const OBJ *table_obj(const TAB *t) { return t->oi < g_ctx.sys.nobj ? &g_ctx.obj[t->oi] : nullptr; }

// Unloaded columns, and those of them of type CLOB, NCLOB or BLOB.
static uint32_t count_columns(const TAB *t, uint32_t *nlob)
{
    uint32_t n = 0;
    *nlob = 0;
    for (uint32_t i = 0; i < t->tcol && (uint64_t)t->coff + i < g_ctx.sys.ncol; i++) {
        const COL *c = &g_ctx.col[t->coff + i];
        if (!col_unloaded(c))
            continue;
        n++;
        if (c->ctyp == TYPE_CLOB || c->ctyp == TYPE_BLOB)
            (*nlob)++;
    }
    return n;
}

static void fill_tab_info(TAB_INFO *ti, const TAB *t, const OBJ *o)
{
    memset(ti, 0, sizeof(*ti));
    uint32_t ncol = count_columns(t, &ti->nlob);
    ti->flag = ((t->flag & TAB_LONG) ? TI_LONG : 0) | ((t->flag & TAB_LOB) || ti->nlob > 0 ? TI_LOB : 0);
    // The dump's columns: the stored ones users see or hid as invisible;
    // virtual columns are left out.
    ti->ncol = ncol;
    memcpy(ti->tab_name, o->name, strnlen(o->name, sizeof(o->name) - 1));
}

// Rows stored before a column was added with a default kept in the
// dictionary hold nothing for it; Oracle shows the default, the dump NULL
// until that default is read. Said before the table's progress line.
static void warn_dictionary_defaults(const TAB *t, const char *table)
{
    for (uint32_t i = 0; i < t->tcol && (uint64_t)t->coff + i < g_ctx.sys.ncol; i++) {
        const COL *c = &g_ctx.col[t->coff + i];
        if (col_unloaded(c) && (c->flag & COL_DICT_DEFAULT))
            fprintf(stderr,
                    "table \"%s\": column %.*s was added with a default kept in the dictionary; rows stored before "
                    "it was added are unloaded with NULL in it.\n",
                    table, (int)strnlen(c->name, sizeof(c->name)), c->name);
    }
}

static void progress_line(const char *user, const char *table)
{
    char line[128];
    int n = snprintf(line, sizeof(line), ". . unloading table \"%s\".\"%s\"  ", user, table);
    if (n < 0)
        n = 0;
    for (; n < 80; n++)
        line[n] = '.';
    line[80] = '\0';
    fputs(line, stderr);
    progress_begin(line);
}

// A name read from the dictionary as part of a file name in the data
// directory: '/' and control characters become '_', so that the file stays
// in its directory whatever the name holds.
static const char *file_part(const char *name, char out[32])
{
    size_t i = 0;
    for (; i < 31 && name[i]; i++) {
        unsigned char c = (unsigned char)name[i];
        out[i] = c == '/' || c < 0x20 || c == 0x7F ? '_' : (char)c;
    }
    out[i] = '\0';
    return out;
}

static int create_dump(const char *path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        fprintf(stderr, "open %s: %s\n", path, strerror(errno));
    return fd;
}

void table_opening(ULDR *ul, const char *user, TAB *t, TAB_INFO *ti)
{
    ul->tabp = t;
    ul->nrow = 0;
    ul->next = mark_extended_columns(t);
    ul->nlob = (int)ti->nlob + ul->next;
    memset(ul->lost, 0, sizeof(ul->lost));
    loss_table(ti->tab_name);
    ti->offset = ul->data_ofs;
    print_encrypted_columns(t, ti->tab_name);
    print_refused_lobs(t, ti->tab_name);
    warn_dictionary_defaults(t, ti->tab_name);
    progress_line(user, ti->tab_name);
}

void table_closing(ULDR *ul, TAB_INFO *ti, bool fail, bool table_fails, UNLOAD_TALLY *tally)
{
    progress_end();
    if (fail) {
        fprintf(stderr, "unload table \"%s\" error.\n", ti->tab_name);
        ti->ncol = (uint32_t)ul->ncolw;
        if (table_fails)
            tally->status = -1;
    }
    ti->nrows = ul->nrow;
    fprintf(stderr, "%10d rows done.\n", (int)ul->nrow);
    print_recovered(ul);
    print_table_refusals(ul, ti->tab_name);
    print_table_losses(ul);
    if (ul->nskip)
        fprintf(stderr, "%u blocks of another object skipped.\n", ul->nskip);
    // A columnar unit's rows are not counted, but its block is.
    bool lost = ul->ncompressed != 0;
    for (uint32_t n : ul->lost)
        lost |= n != 0;
    // A table that failed keeps the rows written before the failure: it
    // is partial too, and the run has lost data.
    if (lost || fail)
        ti->flag |= TI_PARTIAL;
    if (fail)
        g_data_lost = 1;
    tally->failed += fail;
    tally->partial += !fail && lost;
    tally->complete += !fail && !lost;
    tally->rows += ul->nrow;
    tally->skipped += ul->lost[LOSS_BLOCK] + ul->lost[LOSS_UNFORMATTED] + ul->ncompressed;
}

// Unloads the tables whose TAB_INFO is filled, then writes the header and the
// table information over the zeros at the start of the file.
int unload_tables(ULDR *ul, const char *user, TAB **tabs, bool table_fails)
{
    TAB_INFO *ti = (TAB_INFO *)ul->tinf;
    UNLOAD_TALLY tally = {};
    if (unload_parallel(ul, user, tabs, table_fails, &tally) != 0) {
        for (int i = 0; i < ul->ntab; i++) {
            table_opening(ul, user, tabs[i], &ti[i]);
            bool fail = unload_one_table(ul) < 0;
            table_closing(ul, &ti[i], fail, table_fails, &tally);
        }
    }
    int status = tally.status;
    // A user's unload that lost anything ends with what it came to.
    if (!table_fails && (tally.partial || tally.failed))
        fprintf(stderr, "unload user \"%s\": %u tables complete, %u partial, %u failed; %llu rows, %u blocks skipped.\n",
                user, tally.complete, tally.partial, tally.failed, (unsigned long long)tally.rows, tally.skipped);
    check_value_hint();
    if (loss_end() < 0)
        status = -1;
    // Bytes of a dropped row beyond the last table's end mark are cut away.
    if (ftruncate(ul->fd, (off_t)ul->data_ofs) < 0) {
        fprintf(stderr, "truncate dump file: %s\n", strerror(errno));
        status = -1;
    }
    // Blocks found by the scan, with no dictionary loaded: no PROPS$ either.
    if ((ul->walk && !g_ctx.usr ? make_charset_head(g_charset) : make_head()) < 0)
        return -1;
    HEAD_INFO *hi = (HEAD_INFO *)g_ctx.wrk;
    snprintf(hi->owner, sizeof(hi->owner), "%s", user);
    hi->tab_cnt = (uint32_t)ul->ntab;
    if (write_head(ul, hi) < 0 || write_tab_info(ul) < 0)
        return -1;
    return status;
}

void init_uldr(ULDR *ul)
{
    memset(ul, 0, sizeof(*ul));
    ul->fd = -1;
    ul->lfd = -1;
    ul->long_col = -1;
    ul->cache = g_ctx.wrk;
    ul->csz = ULDR_CACHE_SIZE;
}

// Why a table is passed over, or PASS_NONE when it is unloaded.
enum { PASS_NONE, PASS_UNSUPPORTED, PASS_DROPPED, PASS_TEMPORARY };

static int pass_reason(const TAB *t, const OBJ *o)
{
    if (t->flag & TAB_UNSUPPORTED)
        return PASS_UNSUPPORTED;
    if (o->flag & OBJ_DROPPED)
        return PASS_DROPPED;
    if (o->flag & OBJ_TEMPORARY)
        return PASS_TEMPORARY;
    return PASS_NONE;
}

// The name a dropped table had before the drop, and when it was dropped, as
// the recycle bin tells them: one line on out after `indent`; nothing when
// the recycle bin has no row for the table.
static void print_original_name(FILE *out, const char *indent, const TAB *t)
{
    const RECYCLED *r = recycled_table(t);
    if (r == nullptr)
        return;
    char when[32];
    recycled_drop_time(r, when, sizeof(when));
    if (when[0])
        fprintf(out, "%soriginal name \"%s\", dropped %s.\n", indent, r->name, when);
    else
        fprintf(out, "%soriginal name \"%s\".\n", indent, r->name);
}

int unload_user(char *args)
{
    report_block_reset();
    char *rest = after_keyword(args);
    if (!dict_loaded())
        return -1;
    char user[32];
    take_name(rest, user);
    if (!user[0])
        snprintf(user, sizeof(user), "%s", g_ctx.cur_usr);
    int ui = find_user_by_name(user);
    if (ui < 0) {
        fprintf(stderr, "user \"%s\" not found.\n", user);
        return -1;
    }

    uint32_t count = 0;
    for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
        const TAB *t = &g_ctx.tab[i];
        const OBJ *o = table_obj(t);
        if (t->ui != (uint32_t)ui || !o)
            continue;
        switch (pass_reason(t, o)) {
        case PASS_UNSUPPORTED: printf("table \"%s\" has special feature, unsupported.\n", o->name); break;
        case PASS_DROPPED:
            printf("table \"%s\" is dropped.\n", o->name);
            printf("  unload table \"%s\".\"%s\" reads it from the recycle bin.\n", user, o->name);
            print_original_name(stdout, "  ", t);
            break;
        case PASS_TEMPORARY: printf("\"%s\" is temporary table.\n", o->name); break;
        default: count++;
        }
    }
    if (count == 0) {
        printf("no table to unload for user \"%s\".\n", user);
        return 0;
    }

    uint32_t tisz = dump_tab_info_size(count);
    uint8_t *tinf = (uint8_t *)calloc(1, tisz);
    TAB **tabs = (TAB **)calloc(count, sizeof(TAB *));
    if (!tinf || !tabs) {
        fprintf(stderr, "allocate memory (%d bytes) error: %s\n", (int)tisz, strerror(errno));
        free(tinf);
        free(tabs);
        return -1;
    }
    char path[2048];
    char fu[32];
    snprintf(path, sizeof(path), "%s/%s.dat", g_ctx.par.data_dir, file_part(user, fu));
    ULDR ul;
    init_uldr(&ul);
    ul.fd = create_dump(path);
    int status = -1;
    if (ul.fd >= 0)
        loss_begin(path);
    if (ul.fd >= 0 && write_blank(ul.fd, DUMP_HEAD_SIZE + (uint64_t)tisz) == 0) {
        ul.data_ofs = DUMP_HEAD_SIZE + (uint64_t)tisz;
        ul.tinf = tinf;
        for (uint32_t i = 0; i < g_ctx.sys.ntab; i++) {
            TAB *t = &g_ctx.tab[i];
            const OBJ *o = table_obj(t);
            if (t->ui != (uint32_t)ui || !o || pass_reason(t, o) != PASS_NONE)
                continue;
            fill_tab_info((TAB_INFO *)tinf + ul.ntab, t, o);
            tabs[ul.ntab++] = t;
        }
        status = unload_tables(&ul, user, tabs, false);
    }
    loss_end();
    if (ul.fd >= 0)
        close(ul.fd);
    free(tinf);
    free(tabs);
    return status;
}

// One table, named in rest, into "<datadir>/<user>_<table><suffix>.dat":
// its live rows (rec null), or what rec takes.
static int unload_single(char *rest, RECOVER *rec, const char *suffix)
{
    if (!dict_loaded())
        return -1;
    char user[32], table[32];
    int tix = find_typed_table(rest, user, table);
    if (tix < 0)
        return -1;
    TAB *t = &g_ctx.tab[tix];
    const OBJ *o = table_obj(t);
    switch (pass_reason(t, o)) {
    case PASS_UNSUPPORTED: fprintf(stderr, "table \"%s\" not supported.\n", table); return -1;
    case PASS_DROPPED:
        // Named on its own, a dropped table whose segment is still in the
        // recycle bin is unloaded; the note says where its rows come from.
        fprintf(stderr, "table \"%s\" is dropped: unloading it from the recycle bin.\n", table);
        print_original_name(stderr, "", t);
        break;
    case PASS_TEMPORARY: fprintf(stderr, "\"%s\" is temporary table.\n", table); return -1;
    default: break;
    }

    if (rec && rec->take == TAKE_TRUNCATED) {
        if (rec->scan && (t->flag & TAB_PART)) {
            fprintf(stderr, "table \"%s\" is partitioned: its partitions' extents are read, not scanned.\n", table);
            return -1;
        }
        current_objects(rec);
    }

    char path[2048];
    char fu[32], ft[32];
    snprintf(path, sizeof(path), "%s/%s_%s%s.dat", g_ctx.par.data_dir, file_part(user, fu), file_part(table, ft),
             suffix);
    ULDR ul;
    init_uldr(&ul);
    ul.rec = rec;
    TAB_INFO ti[1];
    ul.fd = create_dump(path);
    int status = -1;
    if (ul.fd >= 0)
        loss_begin(path);
    if (ul.fd >= 0 && write_blank(ul.fd, DUMP_HEAD_SIZE + 512) == 0) {
        ul.data_ofs = DUMP_HEAD_SIZE + 512;
        fill_tab_info(&ti[0], t, o);
        ul.tinf = (uint8_t *)ti;
        ul.ntab = 1;
        status = unload_tables(&ul, user, &t, true);
    }
    loss_end();
    if (ul.fd >= 0)
        close(ul.fd);
    return status;
}

int unload_table(char *args)
{
    report_block_reset();
    return unload_single(after_keyword(args), nullptr, "");
}

// "unload deleted USER.TABLE": the table's deleted rows that still decode
// cleanly.
static int unload_deleted(char *args)
{
    report_block_reset();
    RECOVER rec{};
    rec.take = TAKE_DELETED;
    return unload_single(after_keyword(args), &rec, "_DELETED");
}

// "unload truncated USER.TABLE [scan]": the rows of the blocks an older data
// object of the table left in its extents, or with scan anywhere in its
// tablespace.
static int unload_truncated(char *args)
{
    report_block_reset();
    char *rest = after_keyword(args);
    RECOVER rec{};
    rec.take = TAKE_TRUNCATED;
    // The word "scan" after the name: the name itself ends at the blank
    // before it (a quoted name ending in scan keeps its quote after it).
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    size_t n = strlen(rest);
    for (int word = 0; word < 2; word++) {
        while (n > 0 && blank(rest[n - 1]))
            rest[--n] = '\0';
        if (word == 0 && n > 5 && strcasecmp(rest + n - 4, "scan") == 0 && blank(rest[n - 5])) {
            rec.scan = true;
            n -= 4;
            rest[n] = '\0';
        }
    }
    return unload_single(rest, &rec, "_TRUNCATED");
}

int unload_handle(char *args)
{
    if (strncmp(args, "user", 4) == 0)
        return unload_user(args);
    if (strncmp(args, "table", 5) == 0)
        return unload_table(args);
    if (strncmp(args, "deleted", 7) == 0)
        return unload_deleted(args);
    if (strncmp(args, "truncated", 9) == 0)
        return unload_truncated(args);
    if (strncmp(args, "object", 6) == 0)
        return unload_object(args + 6);
    fprintf(stderr, "Invalid unload command arguments.\n");
    return -1;
}
