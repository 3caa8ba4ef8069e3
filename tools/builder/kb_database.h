// kbuild: A whole database from a description (the SYSTEM datafile with the
// bootstrap table and the dictionary, and the user segments)
//
// Fill a Database (start from standard_database(), which holds the SYS and
// PUBLIC accounts, the usual tablespaces and database properties), add
// users, tablespaces, clusters and tables with their rows, and call
// build_database. Object numbers left 0 are assigned; the segment addresses
// and table numbers are filled in (the "out" fields), and the description
// then holds, besides what was given, the dictionary's own tables, clusters
// and indexes (owner SYS), so that expected dictionary contents can be
// computed from it alone.
//
// The SYSTEM datafile holds, in the shapes Oracle writes them:
//  - BOOTSTRAP$ in its own segment, whose header the datafile header names;
//    its rows are "CREATE TABLE ..." / "CREATE CLUSTER ..." / "CREATE INDEX
//    ..." texts with "STORAGE (  ... OBJNO n EXTENTS (FILE f BLOCK b))" for
//    objects with their own segment and "STORAGE (  OBJNO n TABNO t) CLUSTER
//    C_NAME#(...)" for clustered tables, plus deleted stale rows;
//  - the clusters C_USER# (USER$ 1, TSQ$ 2), C_TS# (TS$ 1, FET$ 2) and C_OBJ#
//    (TAB$ 1, CLU$ 2, IND$ 3 keyed by BO#, ICOL$ 4, COL$ 5, LOB$ 6);
//  - OBJ$, TABPART$, TABSUBPART$, TABCOMPART$ and PROPS$ (and, when asked,
//    RECYCLEBIN$) in their own segments; every column at its Oracle position,
//    trailing NULLs not stored.
//  The shape options add deleted rows, free slots and migrated rows, and
//  extent maps continued in map blocks; rows given column by column
//  (dict_rows) join those the description yields.
#pragma once

#include "kb_lob.h"
#include "kb_table.h"

namespace kb {

// How one dictionary row is stored when not as DictShape decides.
struct RowStore {
    RowLayout layout = RowLayout::Normal;   // Normal: as DictShape decides
    std::vector<Cut> cuts;                  // Chained: column indexes in the stored row (key left out)
};

struct DbColumn {
    std::string name;
    int type = 1;             // TYPE#: 1 VARCHAR2, 2 NUMBER, 8 LONG, 12 DATE, 23 RAW, 24 LONG RAW,
                              // 96 CHAR, 112 CLOB/NCLOB, 113 BLOB, 180 TIMESTAMP, ...
    int length = 0;           // LENGTH; 0: the type's own (NUMBER 22, DATE 7, LOB 4000, ...)
    int precision = -1;       // PRECISION#, NULL when < 0
    int scale = -1;           // SCALE, NULL when < 0
    bool nullable = true;
    uint64_t property = 0;    // COL$ PROPERTY (0x20 hidden, 0x4000 / 0x8000 / ..., 0x400000020 invisible)
    int charsetform = -1;     // -1: 1 for character types, 0 otherwise; 2 for national types
    int segcol = -1;          // SEGCOL#; -1: assigned (cluster key columns first); 0: not stored
    std::string default_text; // DEFAULT$ (a LONG); empty: NULL
    // out:
    int colno = 0;            // COL#
};

// Extents of a segment the builder sizes itself.
struct SegOpts {
    int ext_blocks = 8;       // blocks per extent
    int hdr_max = 0;          // extent entries kept in the header (0: as many as fit)
    int map_max = 0;          // extent entries per map block (0: as many as fit)
    std::vector<uint32_t> extents;  // the extent lengths of the table's (cluster's) segments; empty:
                                    // build_database takes as many extents of ext_blocks as the
                                    // rows need, write_table one
};

struct DbLob {
    std::string column;       // the LOB column of the table
    uint32_t flags = 0;       // LOB$ FLAGS
    uint32_t property = 0;    // LOB$ PROPERTY
    int chunk = 1;            // CHUNK: blocks per BasicFile chunk
    LobShape shape;           // how the LOB and LOB index segments are laid out
    // out:
    uint32_t lobj = 0, ind = 0;        // object numbers of the LOB segment and of its index
    uint32_t tsn = 0, fno = 0, blk = 0;  // LOB segment header
    uint32_t ind_fno = 0, ind_blk = 0;   // LOB index segment header
    int colno = 0;
};

struct DbPart {
    std::string name;
    uint32_t objn = 0, objd = 0;
    std::string tablespace;          // empty: the table's
    std::string hibound = "MAXVALUE";
    std::vector<LogicalRow> rows;    // a partition's (or subpartition's) rows
    std::vector<DbPart> subparts;    // composite partition: its subpartitions (no segment of its own)
    uint8_t seg_kind = 0;            // segment header kind; 0: the table's
    std::vector<uint32_t> extents;   // extent lengths; empty: the table's SegOpts
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;
    std::vector<RowPlace> places;    // head piece of each row
    Segment segment;                 // the segment as laid out
};

struct DbTable {
    std::string owner, name;
    uint32_t objn = 0, objd = 0;     // 0: assigned (objd = objn; a clustered table: the cluster's)
    std::string tablespace = "USERS";
    std::vector<DbColumn> cols;      // in COL# order
    std::string cluster;             // the cluster holding the table; empty: none
    std::vector<std::string> cluster_cols;  // its columns forming the cluster key, in key order
    std::vector<LogicalRow> rows;    // stored columns in segment order (clustered: the non-key ones)
    std::vector<size_t> row_keys;    // clustered: the cluster key (index into DbCluster::keys) of each row
    std::vector<DbPart> parts;       // partitions (the table itself then has no segment)
    bool composite = false;          // parts are composite partitions with subparts
    std::vector<DbLob> lobs;
    std::vector<LobValue> lob_values; // the values rows name with col_lob(i), in any LOB column
    uint32_t tab_flags = 0x40000001; // TAB$ FLAGS (0x800000: rows carry 6 more header bytes)
    uint32_t property = 0;           // TAB$ PROPERTY bits added to those the layout implies
    uint32_t obj_flags = 0;          // OBJ$ FLAGS (0x80 dropped, 0x2 temporary)
    // A dropped table's RECYCLEBIN$ row (with Database::recyclebin): its name
    // before the drop (empty: no row) and DROPTIME (7 DATE bytes; empty: NULL).
    std::string original_name;
    std::vector<uint8_t> droptime;
    bool no_segment = false;         // FILE# and BLOCK# 0
    uint8_t seg_kind = 0x23;
    BlockOpts opts;
    SegOpts seg;                     // also for the partitions, LOB and LOB index segments
    bool system = false;             // a dictionary table (rows written by the builder)
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;  // segment header (a clustered table: the cluster's)
    uint32_t tabn = 0;                   // TAB# in the cluster, 0 when not clustered
    uint32_t prop_out = 0;               // the PROPERTY written
    std::vector<RowPlace> places;        // head piece of each row (not partitioned)
    Segment segment;                     // the segment as laid out (a clustered table: the cluster's)
};

struct DbCluster {
    std::string owner, name;
    uint32_t objn = 0, objd = 0;
    std::string tablespace = "USERS";
    std::vector<DbColumn> key;           // key columns
    std::vector<std::vector<Col>> keys;  // key values (user clusters)
    uint32_t flags = 0;                  // CLU$ FLAGS (0x800000: rows carry 6 more header bytes)
    uint8_t seg_kind = 0x23;
    BlockOpts opts;
    SegOpts seg;
    bool system = false;
    // out:
    uint32_t tsn = 0, fno = 0, blk = 0;
    Segment segment;                     // the segment as laid out
};

struct DbIndex {                         // IND$ rows: LOB indexes and the dictionary's own indexes
    std::string owner, name, table;
    uint32_t objn = 0, bo = 0;           // BO#: object number of the indexed table or cluster
    int type = 1;                        // IND$ TYPE#: 1 normal, 3 cluster, 8 LOB
    uint32_t tsn = 0, fno = 0, blk = 0;
};

struct DbUser {
    std::string name;
    uint32_t uid = 0;
    int type = 1;                        // 1 user, 0 role
    std::string dts = "USERS", tts = "TEMP";
    uint32_t astatus = 0;
    RowStore store = {};                 // its USER$ row
};

struct DbFile {
    uint32_t fno = 0, rfn = 0;           // rfn 0: fno
    uint32_t blocks = 2560;
    bool bigfile = false;
    uint32_t blk0_sz = 0;
    std::string name;                    // file name in the database directory; empty: derived
    // out:
    std::string path;
};

struct DbTablespace {
    std::string name;
    uint32_t tsn = 0;
    int contents = 0;                    // 0 permanent, 1 temporary
    std::vector<DbFile> files;           // none for a temporary tablespace
    uint32_t bsz = 0;                    // block size of its datafiles; 0: the database's
    RowStore store = {};                 // its TS$ row
};

struct DbProp {
    std::string name, value, comment;
    bool null_value = false, null_comment = true;
    RowStore store = {};                 // its PROPS$ row
};

struct DbObject {                        // one OBJ$ row as written
    uint32_t objn = 0, objd = 0, owner = 0;
    std::string name, subname;
    int type = 0;                        // TYPE#: 1 index, 2 table, 3 cluster, 19 partition, 21 LOB, 34 subpartition
    uint32_t flags = 0;
    bool null_objd = false;
};

// A dictionary row given column by column, written beside the rows the
// description yields: for rows no consistent description gives (a TAB$ row
// naming a block of another file, a LOB$ row of a NUMBER column, ...). The
// columns it does not name hold filler values of every kind (numbers,
// NULLs, strings, dates), so that readers must take the named ones from
// their positions. Tables: those with a segment of their own (OBJ$,
// TABPART$, TABSUBPART$, TABCOMPART$, ...) and those of C_OBJ# (TAB$, CLU$,
// IND$, COL$, LOB$).
struct DictRow {
    std::string table;
    uint32_t key = 0;                    // a C_OBJ# table: the cluster key (OBJ#; BO# for IND$)
    std::vector<std::pair<std::string, Col>> cols;
    RowStore store;
    DictRow &n(const std::string &c, int64_t v) { cols.emplace_back(c, col_num(v)); return *this; }
    DictRow &s(const std::string &c, const std::string &v) { cols.emplace_back(c, col_str(v)); return *this; }
    DictRow &null(const std::string &c) { cols.emplace_back(c, col_null()); return *this; }
};

struct BootRow {
    int line = 0;
    int objn = 0;
    std::string text;
    bool deleted = false;
};

// Shape of the dictionary's own storage.
struct DictShape {
    bool deleted_rows = true;   // deleted rows in OBJ$, in C_OBJ# (COL$ and TAB$) and stale bootstrap rows
    bool free_slots = true;     // free row-directory slots in OBJ$ and C_OBJ#
    int migrate_every = 5;      // every n-th OBJ$, TAB$, COL$ and USER$ row is a migrated row (0: none)
    int ext_blocks = 4;         // extent size of the dictionary segments
    int hdr_max = 2;            // extent entries in a dictionary segment header ...
    int map_max = 3;            // ... and in each map block that continues it
    uint8_t own_kind = 0x10;    // segment kind of OBJ$, BOOTSTRAP$ and the clusters
    uint8_t part_kind = 0x23;   // segment kind of TABPART$, TABSUBPART$, TABCOMPART$, PROPS$
    // Bootstrap rows of further objects, ahead of COL$'s row: the cluster
    // C_OBJ#_INTCOL#, whose name begins like C_OBJ#'s, then indexes, so
    // that the core rows are spread over the blocks of the bootstrap table.
    int boot_others = 0;
    bool boot_odd_rows = false; // a free slot among the bootstrap rows, and OBJ$'s row migrated
    int col_property_segcol = 0;    // when set, the COL$ row of COL$.PROPERTY claims this segment column
                                    // (a dictionary whose columns moved)
};

struct Database {
    uint32_t bsz = 8192;
    std::vector<DbTablespace> tablespaces;
    std::vector<DbUser> users;
    std::vector<DbCluster> clusters;
    std::vector<DbTable> tables;
    std::vector<DbProp> props;
    std::vector<DbIndex> indexes;        // out: filled by the build
    std::vector<DbObject> extra_objects; // further OBJ$ rows without storage (views, sequences, ...);
                                         // name and owner user number given, objn 0: assigned
    std::vector<DictRow> dict_rows;      // further dictionary rows, given column by column
    bool recyclebin = false;             // the SYSTEM datafile holds RECYCLEBIN$ (rows: see
                                         // DbTable::original_name; dict_rows may add others)
    uint32_t dbid = 0x4B4C564F;          // database id in every datafile header (a PDB has its own)
    DictShape shape;
    // out:
    std::vector<DbObject> objects;       // OBJ$ rows in segment order
    std::vector<BootRow> bootstrap;      // BOOTSTRAP$ rows in segment order
    std::vector<std::string> files;      // datafile paths in list order (SYSTEM first)
    uint32_t rootdba = 0;
};

// SYS (0), PUBLIC (1, a role), CONNECT/RESOURCE/DBA (roles), SYSTEM (5);
// tablespaces SYSTEM 0, SYSAUX 1, UNDOTBS1 2, TEMP 3 (temporary), USERS 4;
// properties NLS_LANGUAGE AMERICAN, NLS_TERRITORY AMERICA, NLS_CHARACTERSET
// AL32UTF8, NLS_NCHAR_CHARACTERSET AL16UTF16, DBTIMEZONE +00:00 and others.
Database standard_database();
// The sample: standard_database() with user SCOTT and its DEPT, EMP, BONUS,
// SALGRADE tables, a cluster, a partitioned and a composite-partitioned
// table and a table with LOB columns.
Database sample_database();
// standard_database() with user BENCH owning `tables` tables of
// `columns` columns each (no rows) and views up to `objects` objects of its
// own: a large dictionary for timing exports.
Database large_dictionary(uint32_t tables, uint32_t columns, uint32_t objects = 0);
// Writes the datafiles of the description into dir (created when missing).
int build_database(Database &db, const std::string &dir);
// A table or cluster written alone, without a dictionary (for tests that
// describe the dictionary records themselves): its segments are laid out in
// df from block *next on, *next is advanced past them, and the out fields of
// the table (tsn, fno, blk, segment, places) and of its partitions are
// filled. Every segment gets the extents SegOpts::extents (a partition's
// own, when given) lists, or one extent of ext_blocks. LOB references are
// not resolved here. Return 0 or -1.
int write_table(Datafile &df, uint32_t *next, DbTable &t);
// The members are the cluster's tables in table-number order (member m is
// table m + 1 of the blocks; their tabn is set): their rows and row_keys.
int write_cluster(Datafile &df, uint32_t *next, DbCluster &c, const std::vector<DbTable *> &members);
// Type text of a column as a CREATE TABLE statement writes it.
std::string column_type_sql(const DbColumn &c);
// The LENGTH its COL$ row holds: the given one, or the type's own.
int column_length(const DbColumn &c);

} // namespace kb
