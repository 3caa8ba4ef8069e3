// The SQL text of a dump column: its Oracle type and its quoted name.
#include <cstdio>

#include "kelvo/values.h"

const char *dump_type_name(uint32_t ctyp, bool nat, uint32_t clen, char *buf, size_t size)
{
    int len = (int)clen;
    switch (ctyp) {
    case 1: snprintf(buf, size, nat ? "NVARCHAR2(%d)" : "VARCHAR2(%d)", len); break;
    case 2: snprintf(buf, size, "NUMBER"); break;
    case 8: snprintf(buf, size, "LONG"); break;
    case 12: snprintf(buf, size, "DATE"); break;
    case 23: snprintf(buf, size, "RAW(%d)", len); break;
    case 24: snprintf(buf, size, "LONG RAW"); break;
    case 96: snprintf(buf, size, nat ? "NCHAR(%d)" : "CHAR(%d)", len); break;
    case 100: snprintf(buf, size, "BINARY_FLOAT"); break;
    case 101: snprintf(buf, size, "BINARY_DOUBLE"); break;
    case 112: snprintf(buf, size, nat ? "NCLOB" : "CLOB"); break;
    case 113: snprintf(buf, size, "BLOB"); break;
    case 180: snprintf(buf, size, "TIMESTAMP"); break;
    case 181: snprintf(buf, size, "TIMESTAMP WITH TIME ZONE"); break;
    case 182: snprintf(buf, size, "INTERVAL YEAR TO MONTH"); break;
    case 183: snprintf(buf, size, "INTERVAL DAY TO SECOND"); break;
    case 231: snprintf(buf, size, "TIMESTAMP WITH LOCAL TIME ZONE"); break;
    default: snprintf(buf, size, "VARCHAR2(4000)"); break;
    }
    return buf;
}

std::string sql_quote_ident(const std::string &name)
{
    std::string q = "\"";
    for (char c : name) {
        if (c == '"')
            q += '"';
        q += c;
    }
    return q + "\"";
}
