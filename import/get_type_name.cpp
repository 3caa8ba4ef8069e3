// The SQL type text of a dump column.
#include "kelvo/values.h"
#include "util.h"

char *get_type_name(COL_INFO *ci)
{
    static char name[64];
    dump_type_name(ci->ctyp, ci->flag & CI_NCHAR, ci->clen, name, sizeof name);
    return name;
}
