// The SQL type text of a dump column.
#include <cstdio>

#include "util.h"

char *get_type_name(COL_INFO *ci)
{
    static char name[64];
    bool nat = ci->flag & CI_NCHAR;
    int len = (int)ci->clen;
    switch (ci->ctyp) {
    case 1: snprintf(name, sizeof name, nat ? "NVARCHAR2(%d)" : "VARCHAR2(%d)", len); break;
    case 2: snprintf(name, sizeof name, "NUMBER"); break;
    case 8: snprintf(name, sizeof name, "LONG"); break;
    case 12: snprintf(name, sizeof name, "DATE"); break;
    case 23: snprintf(name, sizeof name, "RAW(%d)", len); break;
    case 24: snprintf(name, sizeof name, "LONG RAW"); break;
    case 96: snprintf(name, sizeof name, nat ? "NCHAR(%d)" : "CHAR(%d)", len); break;
    case 100: snprintf(name, sizeof name, "BINARY_FLOAT"); break;
    case 101: snprintf(name, sizeof name, "BINARY_DOUBLE"); break;
    case 112: snprintf(name, sizeof name, nat ? "NCLOB" : "CLOB"); break;
    case 113: snprintf(name, sizeof name, "BLOB"); break;
    case 180: snprintf(name, sizeof name, "TIMESTAMP"); break;
    case 181: snprintf(name, sizeof name, "TIMESTAMP WITH TIME ZONE"); break;
    case 182: snprintf(name, sizeof name, "INTERVAL YEAR TO MONTH"); break;
    case 183: snprintf(name, sizeof name, "INTERVAL DAY TO SECOND"); break;
    case 231: snprintf(name, sizeof name, "TIMESTAMP WITH LOCAL TIME ZONE"); break;
    default: snprintf(name, sizeof name, "VARCHAR2(4000)"); break;
    }
    return name;
}
