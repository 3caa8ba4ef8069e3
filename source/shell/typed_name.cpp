// Names typed after a command: upper case unless the name begins with a
// double quote, in which case it runs to the next double quote and keeps its
// case. At most 31 characters are kept.
#include <cstring>

#include "kelvo/shell.h"

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
