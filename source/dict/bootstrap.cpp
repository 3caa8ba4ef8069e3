// The bootstrap table: its rows hold the SQL text that created each core
// dictionary table, with the address of its segment (or of its cluster's).
#include <cstdio>

#include "kelvo/block.h"
#include "kelvo/context.h"

namespace {

// Copies LINE#, OBJ# and SQL_TEXT of one row piece into b. Columns beyond the
// piece's column count are NULL. A row continued in a further piece keeps the
// part of its text stored in this one.
void take_bootstrap_row(const ROWPIECE &rp, BOOTSTRAP *b)
{
    const uint8_t *p = rp.cols;
    const uint8_t *d;
    uint32_t len;
    b->line = 0;
    b->objn = 0;
    b->text[0] = '\0';
    int cc = rp.cc;
    if (cc > 0 && next_column(&p, rp.end, &d, &len) > 0)
        b->line = len > 0 ? (uint32_t)ora_number_to_int(d, (int)len) : 0;
    if (cc > 1 && next_column(&p, rp.end, &d, &len) > 0)
        b->objn = len > 0 ? (uint32_t)ora_number_to_int(d, (int)len) : 0;
    if (cc > 2 && next_column(&p, rp.end, &d, &len) > 0) {
        size_t n = len < sizeof(b->text) - 1 ? len : sizeof(b->text) - 1;
        memcpy(b->text, d, n);
        b->text[n] = '\0';
    }
}

// The head pieces of a migrated bootstrap row forward to a body in another
// block of the segment; it is read here (the decoders of the bootstrap have
// no spare block of their own).
uint8_t g_boot_fwd[32768];

bool take_forwarded_row(const ROWPIECE &head, int t, BOOTSTRAP *b)
{
    ROWPIECE rp = head;
    size_t bsz = g_ctx.sysf->bsz;
    if (bsz > sizeof(g_boot_fwd) || parse_row_piece(&rp, 0) < 0 || !rp.has_nrid)
        return false;
    uint8_t fault = BLOCK_GOOD;
    if (read_blocks_checked(g_ctx.sysf, rp.nrid_dba, 1, g_boot_fwd, nullptr, &fault) != 0)
        return false;
    DATABLK db;
    ROWPIECE body;
    if (open_data_block(&db, g_boot_fwd, bsz) <= 0 || locate_row_piece(&db, t, rp.nrid_slot, &body) < 0 ||
        !(body.fb & FB_FIRST) || parse_row_piece(&body, 0) < 0)
        return false;
    take_bootstrap_row(body, b);
    return true;
}

} // namespace

int bootstrap_block_slots(const uint8_t *blk, size_t bsz)
{
    DATABLK db;
    if (open_data_block(&db, blk, bsz) <= 0)
        return 0;
    int total = 0;
    for (int t = 0; t < db.ntab; t++) {
        int first, count;
        if (table_slots(&db, t, &first, &count) == 0)
            total += count;
    }
    return total;
}

// Every row of every table of the block, in slot order; deleted rows and free
// slots are passed over. At most bootstrap_block_slots() rows are stored.
int process_bootstrap_block(uint8_t *blk, BOOTSTRAP *bs, int index)
{
    if (g_ctx.sysf == nullptr || blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA)
        return 0;
    size_t bsz = g_ctx.sysf->bsz;
    DATABLK db;
    if (open_data_block(&db, blk, bsz) <= 0)
        return 0;
    int n = 0;
    for (int t = 0; t < db.ntab; t++) {
        ROWWALK rw;
        if (row_walk_start(&rw, blk, bsz, t) <= 0)
            continue;
        ROWPIECE rp;
        while (row_walk_next(&rw, &rp) > 0) {
            BOOTSTRAP *b = &bs[index + n];
            if (rp.fb & FB_FIRST) {
                if (parse_row_piece(&rp, 0) < 0)
                    continue;
                take_bootstrap_row(rp, b);
            } else if (!take_forwarded_row(rp, t, b)) {
                continue;
            }
            n++;
        }
    }
    return n;
}

namespace {

// A run of decimal digits, after blanks.
uint32_t read_number(const char *p)
{
    while (*p == ' ')
        p++;
    uint32_t v = 0;
    while (*p >= '0' && *p <= '9')
        v = v * 10 + (uint32_t)(*p++ - '0');
    return v;
}

// "CREATE TABLE " and "CREATE CLUSTER " are followed by the name.
constexpr size_t TABLE_NAME_AT = 13;
constexpr size_t CLUSTER_NAME_AT = 15;

bool name_at(const char *text, size_t at, const char *name, size_t len)
{
    return strnlen(text, at) == at && strncmp(text + at, name, len) == 0;
}

} // namespace

int get_boot_table_rdba(BOOTSTRAP *bs, int nbr, char *tab_nm, int *tabn, uint32_t *rdba)
{
    *tabn = 0;
    *rdba = 0;
    size_t nl = strlen(tab_nm);
    const char *text = nullptr;
    for (int i = 0; i < nbr && text == nullptr; i++)
        if (name_at(bs[i].text, TABLE_NAME_AT, tab_nm, nl))
            text = bs[i].text;
    if (text == nullptr) {
        fprintf(stderr, "%s table sql_text not found.\n", tab_nm);
        return -1;
    }
    const char *p = strstr(text + TABLE_NAME_AT, " STORAGE");
    if (p == nullptr) {
        fprintf(stderr, "sql_text error:\n%s\n", text);
        return -1;
    }
    p += strlen(" STORAGE");
    bool followed = false;
    for (;;) {
        const char *f = strstr(p, "FILE ");
        if (f != nullptr) {
            const char *b = strstr(f + 5, "BLOCK ");
            if (b == nullptr)
                break;
            *rdba = (read_number(f + 5) << 22) | (read_number(b + 6) & 0x3FFFFF);
            return 0;
        }
        if (followed)
            break;
        const char *tn = strstr(p, "TABNO ");
        if (tn == nullptr)
            break;
        *tabn = (int)read_number(tn + 6);
        const char *c = strstr(tn, "CLUSTER ");
        if (c == nullptr)
            break;
        const char *name = c + strlen("CLUSTER ");
        const char *open = strchr(name, '(');
        if (open == nullptr)
            break;
        size_t len = (size_t)(open - name);
        // The cluster's own row: its name must end where the table's text
        // ends it, so that C_OBJ# does not take the row of C_OBJ#_INTCOL#.
        const char *ctext = nullptr;
        for (int i = 0; i < nbr && ctext == nullptr; i++) {
            const char *t = bs[i].text;
            if (name_at(t, CLUSTER_NAME_AT, name, len) &&
                (t[CLUSTER_NAME_AT + len] == '(' || t[CLUSTER_NAME_AT + len] == ' ' ||
                 t[CLUSTER_NAME_AT + len] == '\0'))
                ctext = t;
        }
        if (ctext == nullptr) {
            fprintf(stderr, "%.*s cluster sql_text not found.\n", (int)len, name);
            return -1;
        }
        p = ctext + CLUSTER_NAME_AT + len;
        followed = true;
    }
    fprintf(stderr, "sql_text error:\n%s\n", text);
    return -1;
}
