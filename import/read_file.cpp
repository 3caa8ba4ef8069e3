// The 2 MiB read window over the dump file, and the rows read from it.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util.h"

// Moves the window forward to the read position and fills it again.
int read_file()
{
    g_imp.data_ofs += (uint64_t)g_imp.rtail;
    size_t got = 0;
    while (got < (size_t)g_imp.rsz) {
        ssize_t n = pread(g_imp.fd, g_imp.rbuf + got, (size_t)g_imp.rsz - got, (off_t)(g_imp.data_ofs + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            imp_error("Read %s: %s\n", g_imp.dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0)
            break;
        got += (size_t)n;
    }
    g_imp.rtail = 0;
    g_imp.dlen = (int)got;
    g_imp.eof = got < (size_t)g_imp.rsz;
    if (got == 0) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    return g_imp.dlen;
}

// Refills when fewer than need bytes remain and the file has more; the caller
// then checks what it reads against the bytes really in the window.
int fill_window(int need)
{
    if (need > g_imp.rsz)
        need = g_imp.rsz;
    if (g_imp.dlen - g_imp.rtail >= need || g_imp.eof)
        return 0;
    return read_file() < 0 ? -1 : 0;
}

// The next word at the read position, or -1 when the file ends first.
int peek_word(int need)
{
    if (fill_window(need) != 0)
        return -1;
    if (g_imp.dlen - g_imp.rtail < 2) {
        imp_error("Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    return be16(g_imp.rbuf + g_imp.rtail);
}

// Opens the row stream of a table: *row_len is the bound of one row (every
// slot, its length word, and extra bytes). Returns 1 when rows follow, 0 for a
// table without rows (its progress line printed, nothing committed), -1.
int start_rows(int ti, int extra, int *row_len)
{
    *row_len = extra;
    for (int c = 0; c < g_imp.ncol; c++)
        *row_len += (int)g_imp.bc[c].vsz + 2;
    int w = peek_word(*row_len);
    if (w < 0)
        return -1;
    if (w != DUMP_EOT)
        return 1;
    g_imp.rtail += 2;
    print_progress(ti);
    return 0;
}

// Reads exactly n bytes at offset off of the dump file, or says why not.
int read_exact(uint8_t *dst, size_t n, uint64_t off)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(g_imp.fd, dst + got, n - got, (off_t)(off + got));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            imp_error("Read %s: %s\n", g_imp.dump_filename, strerror(errno));
            return -1;
        }
        if (r == 0) {
            imp_error("Read %s not completed.\n", g_imp.dump_filename);
            return -1;
        }
        got += (size_t)r;
    }
    return 0;
}

static int not_completed()
{
    imp_error("Read %s not completed.\n", g_imp.dump_filename);
    return -1;
}

static int out_of_range()
{
    imp_error("Row data not expected out of range.\n");
    return -1;
}

static void set_null(BIND_COLUMN *b, int slot)
{
    b->indp[slot] = -1;
    b->alenp[slot] = 0;
    b->mark = MARK_NULL;
}

// Parses the row at the read position into array slot `slot`. Returns 1 when
// the row was read, 0 when it does not end inside the window, -1 on an error
// (printed). single: LONG and LOB entries are allowed (the one-row path).
static int parse_row(int ti, int slot, int single)
{
    const uint8_t *w = g_imp.rbuf;
    size_t end = (size_t)g_imp.dlen, pos = (size_t)g_imp.rtail;
    int ncol = g_imp.ncol;
    for (int c = 0; c < ncol; c++) {
        if (pos + 2 > end)
            return 0;
        uint16_t word = be16(w + pos);
        pos += 2;
        BIND_COLUMN *b = &g_imp.bc[c];
        if (word == DUMP_END) {
            // Trailing columns that were not stored are NULL.
            for (; c < ncol; c++)
                set_null(&g_imp.bc[c], slot);
            g_imp.rtail = (int)pos;
            return 1;
        }
        switch (word) {
        case DUMP_NULL: set_null(b, slot); break;
        case DUMP_LONG:
            if (!single || !(b->flag & BIND_LONG))
                return out_of_range();
            b->indp[slot] = 0;
            b->alenp[slot] = 0;
            b->mark = MARK_LONG;
            break;
        case DUMP_LOB:
            if (!single || !(b->flag & BIND_LOB))
                return out_of_range();
            b->indp[slot] = 0;
            b->alenp[slot] = sizeof(OCILobLocator *);
            b->mark = MARK_LOB;
            break;
        case DUMP_VALUE:
        case DUMP_EOT: return out_of_range();
        default:
            if (word > b->vsz) {
                imp_error("Value of %u bytes for column \"%s\" of table \"%s\" longer than its %u bytes.\n",
                        word, g_imp.colp[c].name, g_imp.tabp[ti].tab_name, b->vsz);
                return -1;
            }
            if (pos + word > end)
                return 0;
            memcpy(b->valp + (size_t)slot * b->vsz, w + pos, word);
            b->indp[slot] = 0;
            b->alenp[slot] = word;
            b->mark = MARK_VALUE;
            pos += word;
            break;
        }
    }
    if (pos + 2 > end)
        return 0;
    if (be16(w + pos) != DUMP_END)
        return out_of_range();
    g_imp.rtail = (int)(pos + 2);
    return 1;
}

// Reads one row into slot `slot`, refilling the window when the row does not
// end inside it. Returns 0 or -1.
int read_row(int ti, int slot, int single)
{
    for (;;) {
        int r = parse_row(ti, slot, single);
        if (r < 0)
            return -1;
        if (r > 0)
            return 0;
        if (g_imp.eof)
            return not_completed();
        if (g_imp.rtail == 0) {
            imp_error("Row of table \"%s\" larger than the read window.\n", g_imp.tabp[ti].tab_name);
            return -1;
        }
        if (read_file() < 0)
            return -1;
    }
}
