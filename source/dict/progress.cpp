// The progress labels of "export dict" and "load dict".
#include <cstdio>

#include "kelvo/dict.h"
#include "kelvo/progress.h"

void print_progress_label(const char *text)
{
    char line[65];
    int n = snprintf(line, sizeof(line), ". . %s", text);
    if (n < 0)
        n = 0;
    if (n > 64)
        n = 64;
    while (n < 23)
        line[n++] = ' ';
    while (n < 64)
        line[n++] = '.';
    line[64] = '\0';
    fputs(line, stderr);
    progress_begin(line);
}

void print_table_label(const char *verb, const DICT_TABLE &t)
{
    char text[48];
    snprintf(text, sizeof(text), "%-6s %s", verb, t.label);
    print_progress_label(text);
}
