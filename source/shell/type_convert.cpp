// The SQL text of an Oracle column type, as "desc" prints it.
#include <cstdio>

#include "kelvo/dict.h"
#include "kelvo/shell.h"

char *type_string(int flag, int ctyp, int clen)
{
    static char text[64];
    bool nchar = (flag & COL_NCHAR) != 0;
    switch (ctyp) {
    case 1: snprintf(text, sizeof(text), nchar ? "NVARCHAR2(%d)" : "VARCHAR2(%d)", clen); break;
    case 2: snprintf(text, sizeof(text), "NUMBER"); break;
    case 8: snprintf(text, sizeof(text), "LONG"); break;
    case 12: snprintf(text, sizeof(text), "DATE"); break;
    case 23: snprintf(text, sizeof(text), "RAW(%d)", clen); break;
    case 24: snprintf(text, sizeof(text), "LONG RAW"); break;
    case 96: snprintf(text, sizeof(text), nchar ? "NCHAR(%d)" : "CHAR(%d)", clen); break;
    case 100: snprintf(text, sizeof(text), "BINARY_FLOAT"); break;
    case 101: snprintf(text, sizeof(text), "BINARY_DOUBLE"); break;
    case 112: snprintf(text, sizeof(text), nchar ? "NCLOB" : "CLOB"); break;
    case 113: snprintf(text, sizeof(text), "BLOB"); break;
    case 180: snprintf(text, sizeof(text), "TIMESTAMP"); break;
    case 181: snprintf(text, sizeof(text), "TIMESTAMP WITH TIME ZONE"); break;
    case 182: snprintf(text, sizeof(text), "INTERVAL YEAR TO MONTH"); break;
    case 183: snprintf(text, sizeof(text), "INTERVAL DAY TO SECOND"); break;
    case 231: snprintf(text, sizeof(text), "TIMESTAMP WITH LOCAL TIME ZONE"); break;
    default: snprintf(text, sizeof(text), "UNKNOWN"); break;
    }
    return text;
}
