// A SYSTEM datafile for the dictionary tests, written with the test database
// builder from a description of the dictionary: the bootstrap table with the
// SQL texts Oracle writes, USER$ and TS$ in their own clusters, TAB$, CLU$,
// COL$, IND$ and LOB$ in the cluster keyed by object number, OBJ$, TABPART$,
// TABSUBPART$, TABCOMPART$ and PROPS$ as tables of their own. Every
// dictionary column is stored at the position of the Oracle release the
// reader knows; the other columns carry plausible values.
//
// Include this before kelvo.h: the builder's flag names are macros there.
#pragma once

#include "kbuild.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sysdb {

// How one dictionary row is stored (kb::RowLayout and its cuts).
struct Store {
    kb::RowLayout layout = kb::RowLayout::Normal;
    std::vector<kb::Cut> cuts;
};

struct User { uint32_t uid; std::string name; uint32_t type, dts, tts, astatus; Store st = {}; };
struct Ts { uint32_t tsn; std::string name; uint32_t owner; Store st = {}; };
struct Obj { uint32_t objn, owner; std::string name; uint32_t type, flags; Store st = {}; };
// objd, bobj and tabno of 0 are stored as NULL.
// want: the TAB.flag the export should give (tests only).
struct Tab { uint32_t objn, objd, tsn, fno, blk, bobj, tabno, cols, flags, property, want = 0; Store st = {}; };
struct Clu { uint32_t objn, objd, cols, flags; Store st = {}; };
struct Col {
    uint32_t objn, cid, segcol;
    std::string name;
    uint32_t type, length, property, charsetform, want = 0;   // want: the COL.flag expected
    Store st = {};
};
struct Ind { uint32_t objn, objd, bo, tsn, fno, blk, type; Store st = {}; };
struct Lob { uint32_t objp, cid, lobj, ind, tsn, fno, blk, chunk, flags; Store st = {}; };
// TABPART$ (bo), TABSUBPART$ (bo is POBJ#), TABCOMPART$ (bo; no segment).
struct Part { uint32_t objn, objd, bo, tsn, fno, blk; Store st = {}; };
struct Prop { std::string name; bool null_value; std::string value; Store st = {}; };

// The object numbers of the dictionary's own objects.
enum : uint32_t {
    OBJN_C_OBJ = 2, OBJN_TAB = 4, OBJN_CLU = 5, OBJN_C_TS = 6, OBJN_C_USER = 10, OBJN_TS = 16, OBJN_OBJ = 18,
    OBJN_IND = 19, OBJN_COL = 21, OBJN_USER = 22, OBJN_PROPS = 96, OBJN_LOB = 150, OBJN_TABPART = 160,
    OBJN_TABSUBPART = 170, OBJN_TABCOMPART = 180,
};
// Table numbers inside C_OBJ#.
enum : uint32_t { TABNO_TAB = 1, TABNO_CLU = 2, TABNO_COL = 3, TABNO_IND = 4, TABNO_LOB = 5 };

// The user-visible part of the dictionary. build() adds the dictionary's own
// objects, tables and clusters (and the COL$ rows of COL$ and TABPART$).
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
    // Extra bootstrap rows (beyond the core tables'), and one deleted row.
    int filler_boot_rows = 70;
    uint32_t bsz = 2048;
    // Blocks of each extent of C_OBJ# and OBJ$ (0: the small test layout)
    // and of the file, for dictionaries of benchmark size.
    uint32_t big_extent = 0;
    // When set, the COL$ row of COL$.PROPERTY claims this segment column.
    uint32_t col_property_segcol = 0;
};

// What build() placed: the segment headers of the dictionary tables.
struct Built {
    uint32_t root = 0;              // bootstrap segment header
    uint32_t c_obj = 0, c_user = 0, c_ts = 0, obj = 0;
    uint32_t tabpart = 0, tabsubpart = 0, tabcompart = 0, props = 0;
    // The full dictionary as written (user part plus the dictionary's own).
    Dict all;
};

// Writes the SYSTEM datafile (relative file number 1) at path.
int build(const std::string &path, const Dict &d, Built *out);

} // namespace sysdb
