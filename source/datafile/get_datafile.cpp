// Finding the datafile of a block address.
#include "kelvo/context.h"

DATAFILE *get_datafile(int tsn, int rfn)
{
    for (uint32_t i = 0; i < g_ctx.sys.nf; i++) {
        DATAFILE *df = &g_ctx.df[i];
        // A bigfile tablespace has one datafile; its rdbas carry no file number.
        if (df->tsn == (uint32_t)tsn && ((df->flag & DF_BIGFILE) || df->rfn == (uint32_t)rfn))
            return df;
    }
    return nullptr;
}
