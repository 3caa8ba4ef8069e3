// A table for SQL*Loader: a control file naming the table, its fields and
// their types, and a data file in CSV (quoted fields may hold line ends;
// SQL*Loader 12.2 or later reads them with FIELDS CSV WITH EMBEDDED).
#include "dumpcat.h"

static std::string field_type(const dc_column &c)
{
    switch (c.kind) {
    case K_DATE: return "DATE \"SYYYY-MM-DD HH24:MI:SS\"";
    case K_TIMESTAMP: return "TIMESTAMP \"SYYYY-MM-DD HH24:MI:SS.FF9\"";
    case K_TSTZ:
    case K_TSLTZ: return "TIMESTAMP WITH TIME ZONE \"SYYYY-MM-DD HH24:MI:SS.FF9 TZR\"";
    case K_IYM: return "INTERVAL YEAR TO MONTH";
    case K_IDS: return "INTERVAL DAY TO SECOND";
    case K_NUMBER:
    case K_BFLOAT:
    case K_BDOUBLE: return "CHAR(200)";
    case K_BINARY:   // hex text, which Oracle turns into the bytes
    case K_TEXT: break;
    }
    // Character fields as long as the longest value may be: LONG and LOB
    // values run to gigabytes, hex doubles RAW.
    if (c.streamed)
        return "CHAR(2000000000)";
    return "CHAR(" + std::to_string(c.kind == K_BINARY ? 2 * (uint64_t)c.clen : 4 * (uint64_t)c.clen + 4) + ")";
}

long dc_write_sqlldr(dc_run &run, const dc_table &t, dc_out &data, dc_out &ctl, const std::string &data_name)
{
    // Without a data file name the data follows the control file.
    std::string infile = "*";
    if (!data_name.empty()) {
        infile = "'";
        for (char c : data_name)
            infile += c == '\'' ? std::string("''") : std::string(1, c);
        infile += "'";
    }
    dc_put(ctl, "LOAD DATA\nCHARACTERSET AL32UTF8\nINFILE " + infile + "\nAPPEND\nINTO TABLE " +
                    dc_ident(DIALECT_ORACLE, t.owner) + "." + dc_ident(DIALECT_ORACLE, t.name) +
                    "\nFIELDS CSV WITH EMBEDDED TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'\nTRAILING NULLCOLS\n(\n");
    for (size_t c = 0; c < t.cols.size(); c++)
        dc_put(ctl, "  " + dc_ident(DIALECT_ORACLE, t.cols[c].name) + " " + field_type(t.cols[c]) +
                        (c + 1 < t.cols.size() ? ",\n" : "\n)\n"));
    if (data_name.empty())
        dc_put(ctl, "BEGINDATA\n");
    if (dc_out_flush(ctl) != 0)
        return -1;
    return dc_write_delimited(run, t, data);
}
