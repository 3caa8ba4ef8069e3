// What a table loses while it is unloaded: counted by kind in the working
// record, so that the table's summary can say it.
#include "kelvo/unload.h"

void note_loss(ULDR *ul, int kind, const DATAFILE *df, uint32_t rdba, int slot, int col, const char *why)
{
    (void)df;
    (void)rdba;
    (void)slot;
    (void)col;
    (void)why;
    if (kind >= 0 && kind < LOSS_KINDS)
        ul->lost[kind]++;
}
