// The builder's table of the dictionary's own objects (internal).
#pragma once

#include "kbuild.h"

namespace kb {

// One object of the dictionary itself, as the bootstrap table describes it.
struct SysObject {
    const char *name;
    uint32_t objn;
    int type;                       // OBJ$ TYPE#: 1 index, 2 table, 3 cluster
    const char *parent;             // table: its cluster; index: the indexed cluster or table
    int tabno;                      // table number in its cluster
    std::vector<const char *> key;  // cluster key, the table's key columns, or the index columns
    const char *columns;            // column list (parse_columns); empty for an index
    const char *attrs;              // PCTFREE ... of the CREATE text (own segment only)
    const char *storage;            // STORAGE clause before OBJNO (own segment only)
    const char *trailer;            // text after the STORAGE clause (" SIZE n" of a cluster)
    int line;                       // LINE# of its bootstrap row; -1: none
};

const std::vector<SysObject> &system_objects();
std::vector<DbColumn> parse_columns(const char *spec);

} // namespace kb
