// Trimming of typed lines and configuration lines.
#include <cstring>

#include "kelvo/shell.h"

static inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

char *str_ltrim(char *s)
{
    while (*s && is_space(*s))
        s++;
    return s;
}

char *str_rtrim(char *s)
{
    size_t n = strlen(s);
    while (n > 0 && is_space(s[n - 1]))
        s[--n] = '\0';
    return s;
}
