// "set user": sets the current user that other commands fall back on.
#include <cstdio>

#include "kelvo/shell.h"
#include "kelvo/context.h"

int set_user_handle(char *args)
{
    char *p = args;
    while (*p && *p != ' ' && *p != '\t')
        p++;
    char *rest = p;
    if (*rest) {
        *rest++ = '\0';
        while (*rest == ' ' || *rest == '\t')
            rest++;
    }
    if (strcmp(args, "user") != 0) {
        fprintf(stderr, "set command format error.\n");
        return -1;
    }
    take_name(rest, g_ctx.cur_usr);
    printf("Current user set to \"%s\".\n", g_ctx.cur_usr);
    return 0;
}
