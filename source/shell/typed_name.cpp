// Names typed after a command: upper case unless the name begins with a
// double quote, in which case it runs to the next double quote and keeps its
// case. At most 31 characters are kept.
#include <cstdio>
#include <cstring>

#include "kelvo/shell.h"
#include "kelvo/context.h"

namespace {

// Takes the name from text[0..len).
void take_name_n(const char *text, size_t len, char name[32])
{
    size_t n = 0;
    if (len > 0 && text[0] == '"') {
        for (size_t i = 1; i < len && text[i] != '"' && n < 31; i++)
            name[n++] = text[i];
        name[n] = '\0';
        return;
    }
    for (size_t i = 0; i < len && n < 31; i++)
        name[n++] = text[i];
    name[n] = '\0';
    str_toupper(name);
}

} // namespace

void take_name(const char *text, char name[32])
{
    take_name_n(text, strlen(text), name);
}

// A qualified name is cut at every '.': the last piece is the table, the one
// before it the user; with more dots the earlier pieces are overwritten.
void take_qualified_name(const char *text, char user[32], char table[32])
{
    user[0] = '\0';
    table[0] = '\0';
    const char *piece = text;
    for (;;) {
        const char *dot = strchr(piece, '.');
        if (dot == nullptr) {
            take_name_n(piece, strlen(piece), table);
            return;
        }
        take_name_n(piece, (size_t)(dot - piece), user);
        piece = dot + 1;
    }
}

int find_typed_table(const char *text, char user[32], char table[32])
{
    take_qualified_name(text, user, table);
    if (user[0] == '\0')
        memcpy(user, g_ctx.cur_usr, 32);
    user[31] = '\0';
    if (user[0] == '\0') {
        fprintf(stderr, "user not specified.\n");
        return -1;
    }
    if (table[0] == '\0') {
        fprintf(stderr, "table not specified.\n");
        return -1;
    }
    int u = find_user_by_name(user);
    if (u < 0) {
        fprintf(stderr, "user \"%s\" not found.\n", user);
        return -1;
    }
    int t = find_table_by_name((uint32_t)u, table);
    if (t < 0)
        fprintf(stderr, "table \"%s\" not found.\n", table);
    return t;
}
