// Release of everything the dictionary and the datafile list hold in g_ctx.
#include <cstdlib>

#include "kelvo/shell.h"
#include "kelvo/context.h"

template <class T> static void release(T *&p)
{
    free(p);
    p = nullptr;
}

int free_dict_memory(void)
{
    release(g_ctx.usr);
    release(g_ctx.ts);
    release(g_ctx.obj);
    release(g_ctx.tab);
    release(g_ctx.col);
    release(g_ctx.tp);
    release(g_ctx.tcp);
    release(g_ctx.tsp);
    release(g_ctx.lob);
    release(g_ctx.lidx);
    release(g_ctx.rbin);
    g_nrecycled = 0;
    release(g_ctx.df);
    g_ctx.sysf = nullptr;
    g_ctx.sys.nf = 0;
    return 0;
}
