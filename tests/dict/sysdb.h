// A SYSTEM datafile for the dictionary tests, written by the test database
// builder from the dictionary records a test lists: users, tablespaces and
// properties as the builder's own descriptions, the other records as rows
// given column by column (the builder puts filler values at the positions
// they do not name). The builder adds the dictionary's own objects, tables,
// clusters and bootstrap rows.
//
// Include this before kelvo.h: the builder's flag names are macros there.
#pragma once

#include "kbuild.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sysdb {

// How one dictionary row is stored (kb::RowLayout and its cuts).
using Store = kb::RowStore;

struct User { uint32_t uid; std::string name; uint32_t type, dts, tts, astatus; Store st = {}; };
struct Ts { uint32_t tsn; std::string name; uint32_t owner; Store st = {}; };   // owner: 0 (as the builder writes)
struct Obj { uint32_t objn, owner; std::string name; uint32_t type, flags; Store st = {}; };
// objd, bobj and tabno of 0 are stored as NULL.
// want: the TAB.flag the export should give (tests only).
struct Tab { uint32_t objn, objd, tsn, fno, blk, bobj, tabno, cols, flags, property, want = 0; Store st = {}; };
struct Clu { uint32_t objn, objd, cols, flags; Store st = {}; };
struct Col {
    uint32_t objn, cid, segcol;
    std::string name;
    uint32_t type, length;
    uint64_t property;
    uint32_t charsetform, want = 0;   // want: the COL.flag expected
    Store st = {};
};
struct Ind { uint32_t objn, objd, bo, tsn, fno, blk, type; Store st = {}; };
struct Lob { uint32_t objp, cid, lobj, ind, tsn, fno, blk, chunk, flags; Store st = {}; };
// TABPART$ (bo), TABSUBPART$ (bo is POBJ#), TABCOMPART$ (bo; no segment).
struct Part { uint32_t objn, objd, bo, tsn, fno, blk; Store st = {}; };
struct Prop { std::string name; bool null_value; std::string value; Store st = {}; };
// RECYCLEBIN$; droptime: 7 DATE bytes, empty for NULL.
struct Recycled {
    uint32_t objn, owner;
    std::string name;
    uint32_t operation, type;
    std::vector<uint8_t> droptime;
    Store st = {};
};

// The user-visible part of the dictionary. build() adds the dictionary's own
// objects, tables, clusters and columns.
struct Dict {
    std::vector<User> users;
    std::vector<Ts> ts;
    std::vector<Obj> obj;
    std::vector<Tab> tab;
    std::vector<Clu> clu;
    std::vector<Col> col;
    std::vector<Ind> ind;
    std::vector<Lob> lob;
    std::vector<Part> tabpart, tabsubpart, tabcompart;
    std::vector<Prop> props;
    // With has_recyclebin (or rows), the SYSTEM datafile holds RECYCLEBIN$.
    bool has_recyclebin = false;
    std::vector<Recycled> recyclebin;
    // Bootstrap rows of other objects (beyond the core tables').
    int other_boot_rows = 70;
    uint32_t bsz = 2048;
    // When set, the COL$ row of COL$.PROPERTY claims this segment column.
    uint32_t col_property_segcol = 0;
};

// What build() wrote.
struct Built {
    uint32_t root = 0;              // bootstrap segment header
    // The full dictionary as written (user part plus the dictionary's own).
    Dict all;
};

// Writes the SYSTEM datafile (relative file number 1) as dir/system01.dbf.
int build(const std::string &dir, const Dict &d, Built *out);

} // namespace sysdb
