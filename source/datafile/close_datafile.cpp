#include <unistd.h>

#include "kelvo/context.h"

int close_datafile(void)
{
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++)
        if (g_ctx.df[i].fd != -1) {
            close(g_ctx.df[i].fd);
            g_ctx.df[i].fd = -1;
        }
    return 0;
}
