// Dictionary records and files: the records exported from the dictionary
// tables, their decoders, sorting, "load dict" and the lookups over the loaded
// arrays.
#pragma once

#include "kelvo/bytes.h"
#include "kelvo/types.h"

typedef struct __user USER;
typedef struct __tablespace TS;
typedef struct __object OBJ;
typedef struct __table TAB;
typedef struct __column COL;
typedef struct __tabpart TABPART;
typedef struct __tabsubpart TABSUBPART;
typedef struct __lob LOB;
typedef struct __lob_index LOBIDX;

// The dictionary counters, held as g_ctx.sys (memory only).
typedef struct __orx_system {
    uint32_t nf;
    uint32_t nu;
    uint32_t nts;
    uint32_t nobj;
    uint32_t ntab;
    uint32_t ncol;
    uint32_t ntp;
    uint32_t ntcp;
    uint32_t ntsp;
    uint32_t nlob;
    uint32_t nidx;
    uint32_t rootdba;
} ORXSYS;
static_assert(sizeof(ORXSYS) == 48);
static_assert(offsetof(ORXSYS, rootdba) == 44);

// Every dictionary file is a bare array of one of the records below, written
// back to back in the machine's byte order (little-endian), without header,
// count or trailer. Names are NUL-terminated inside their fixed arrays.

// One database user (file "user", from the user rows of USER$).
struct __user {
    uint32_t uid;           // USER#
    uint32_t status;        // ASTATUS
    uint32_t dts;           // default tablespace number
    uint32_t tts;           // temporary tablespace number
    char name[32];
};
static_assert(sizeof(USER) == 48);
static_assert(offsetof(USER, status) == 4 && offsetof(USER, dts) == 8 && offsetof(USER, tts) == 12 &&
              offsetof(USER, name) == 16);

// One tablespace (file "ts", from TS$).
struct __tablespace {
    uint32_t tsn;
    uint32_t owner;         // OWNER#
    char name[32];
};
static_assert(sizeof(TS) == 40);
static_assert(offsetof(TS, owner) == 4 && offsetof(TS, name) == 8);

// One object of any type (file "obj", from OBJ$). In the file `owner` is the
// owner's user number; after "load dict" it is the index of the owner's USER
// record, or OWNER_PUBLIC for user number 1.
struct __object {
    uint32_t flag;          // FLAGS unchanged: 0x80 dropped, 0x2 temporary
    uint32_t objn;
    uint32_t owner;
    uint32_t type;          // TYPE#
    char name[32];
};
static_assert(sizeof(OBJ) == 48);
static_assert(offsetof(OBJ, objn) == 4 && offsetof(OBJ, owner) == 8 && offsetof(OBJ, type) == 12 &&
              offsetof(OBJ, name) == 16);
constexpr uint32_t OWNER_PUBLIC = 0xFFFFFFFFu;
constexpr uint32_t OBJ_TEMPORARY = 0x2u;   // OBJ$ FLAGS: temporary object
constexpr uint32_t OBJ_DROPPED = 0x80u;    // OBJ$ FLAGS: dropped into the recycle bin

// One table (file "tab", from TAB$). `ui`, `oi`, `coff` and `tcol` are set by
// "load dict" and are 0 in the file.
struct __table {
    uint32_t flag;          // TAB_* bits
    uint32_t objn;
    uint32_t objd;          // data object number, 0 when NULL
    uint32_t objb;          // object number of the holding cluster, 0 when not clustered
    uint32_t tabn;          // number of the table inside its cluster
    uint32_t ncol;          // COLS
    uint32_t ui;            // index of the owner's USER record
    uint32_t oi;            // index of the table's OBJ record
    uint32_t coff;          // index of the table's first COL record
    uint32_t fno;           // relative file number of the segment header
    uint32_t blk;           // block number of the segment header
    uint32_t tsn;
    uint32_t tcol;          // number of COL records from coff
    uint32_t rsv;
};
static_assert(sizeof(TAB) == 56);
static_assert(offsetof(TAB, objn) == 4 && offsetof(TAB, objd) == 8 && offsetof(TAB, objb) == 12 &&
              offsetof(TAB, tabn) == 16 && offsetof(TAB, ncol) == 20 && offsetof(TAB, ui) == 24 &&
              offsetof(TAB, oi) == 28 && offsetof(TAB, coff) == 32 && offsetof(TAB, fno) == 36 &&
              offsetof(TAB, blk) == 40 && offsetof(TAB, tsn) == 44 && offsetof(TAB, tcol) == 48 &&
              offsetof(TAB, rsv) == 52);

constexpr uint32_t TAB_LOB = 0x00000001u;  // has LOB columns
constexpr uint32_t TAB_LONG = 0x00000002u;  // has a LONG or LONG RAW column (load)
constexpr uint32_t TAB_NESTED = 0x00000004u;
constexpr uint32_t TAB_COLFLAG = 0x00000008u;  // a column has COL_UNUSED_FLAG (load)
constexpr uint32_t TAB_IOT_OVF = 0x00000010u;
constexpr uint32_t TAB_PART = 0x00000020u;  // partitioned
constexpr uint32_t TAB_CLUSTERED = 0x00000040u;
constexpr uint32_t TAB_IOT = 0x00000080u;
constexpr uint32_t TAB_COMPOSITE = 0x00000100u;  // composite-partitioned (load)
constexpr uint32_t TAB_DROPPED = 0x00002000u;  // OBJ$ FLAGS 0x80 (load)
constexpr uint32_t TAB_EXTHDR = 0x00010000u;  // head pieces carry 6 more header bytes
constexpr uint32_t TAB_UNSUPPORTED = 0x01000000u;  // a feature the unloader does not handle

// One cluster (file "cluster", from CLU$).
typedef struct __cluster {
    uint32_t flag;          // 0x10000 when CLU$ FLAGS has 0x800000
    uint32_t objn;
    uint32_t objd;
    uint32_t ncol;          // number of key columns
} CLU;
constexpr uint32_t CLU_EXTHDR = 0x10000u; // CLU.flag: head pieces of its tables carry 6 more bytes
static_assert(sizeof(CLU) == 16);
static_assert(offsetof(CLU, objn) == 4 && offsetof(CLU, objd) == 8 && offsetof(CLU, ncol) == 12);

// One column of a table or cluster (file "col", from COL$).
struct __column {
    uint32_t flag;          // COL_* bits
    uint32_t objn;
    uint32_t cid;           // COL#
    uint32_t scid;          // SEGCOL#, COL_NOT_STORED when SEGCOL# is 0
    uint32_t ctyp;          // TYPE#
    uint32_t clen;          // LENGTH
    char name[32];
};
static_assert(sizeof(COL) == 56);
static_assert(offsetof(COL, objn) == 4 && offsetof(COL, cid) == 8 && offsetof(COL, scid) == 12 &&
              offsetof(COL, ctyp) == 16 && offsetof(COL, clen) == 20 && offsetof(COL, name) == 24);

constexpr uint32_t COL_NOT_STORED = 0xFFFFu;
constexpr uint32_t COL_HIDDEN = 0x00000001u;  // not unloaded (PROPERTY 0x20)
constexpr uint32_t COL_HIDDEN2 = 0x00000002u;  // not unloaded (PROPERTY 0x4000)
constexpr uint32_t COL_HIDDEN3 = 0x00000004u;  // not unloaded (PROPERTY 0x8000)
constexpr uint32_t COL_SKIP_MASK = 0x00000007u;
constexpr uint32_t COL_UNUSED_FLAG = 0x00000100u;
// COL_UNUSED_FLAG is set for PROPERTY 0x4000000 or 0x20000000: a column
// encrypted with TDE, whose stored bytes are ciphertext.
constexpr uint32_t COL_ENCRYPTED = COL_UNUSED_FLAG;
constexpr uint32_t COL_NCHAR = 0x00001000u;  // national character set (CHARSETFORM 2)
constexpr uint32_t COL_CLUKEY = 0x00010000u;  // read from the cluster key row (load)
constexpr uint32_t COL_EXTENDED = 0x00020000u;  // an extended VARCHAR2/RAW stored as a LOB (unload)
// Added with a default that only the dictionary keeps (COL$ PROPERTY
// 0x40000000): rows stored before the column was added do not hold it.
constexpr uint32_t COL_DICT_DEFAULT = 0x00100000u;

// A column the dump carries: not hidden, and stored in the row (a virtual
// column has no segment column: nothing of it is stored).
inline bool col_unloaded(const COL *c) { return !(c->flag & COL_SKIP_MASK) && c->scid != COL_NOT_STORED; }
// A column users see: an invisible column (unloaded, but COL# 0) is not one,
// and TAB$ COLS does not count it.
inline bool col_visible(const COL *c) { return !(c->flag & COL_SKIP_MASK) && c->cid != 0; }

// One table partition (file "tabpart") or composite partition ("tabcompart").
struct __tabpart {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // BO#: the partitioned table
    uint32_t oi;            // index of the partition's OBJ record (load)
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
};
static_assert(sizeof(TABPART) == 32);
static_assert(offsetof(TABPART, objn) == 4 && offsetof(TABPART, objd) == 8 && offsetof(TABPART, objp) == 12 &&
              offsetof(TABPART, oi) == 16 && offsetof(TABPART, fno) == 20 && offsetof(TABPART, blk) == 24 &&
              offsetof(TABPART, tsn) == 28);

// One subpartition (file "tabsubpart"); `objp` is the composite partition.
struct __tabsubpart {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // POBJ#
    uint32_t oi;
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
};
static_assert(sizeof(TABSUBPART) == 32);
static_assert(offsetof(TABSUBPART, objn) == 4 && offsetof(TABSUBPART, objd) == 8 &&
              offsetof(TABSUBPART, objp) == 12 && offsetof(TABSUBPART, oi) == 16 &&
              offsetof(TABSUBPART, fno) == 20 && offsetof(TABSUBPART, blk) == 24 &&
              offsetof(TABSUBPART, tsn) == 28);

// One LOB column (file "lob", from LOB$).
// LOB.flag: SecureFile options whose stored form is not public; the values
// of such a column are refused (NULL, counted).
enum { LOB_ENCRYPTED = 1, LOB_COMPRESSED = 2, LOB_DEDUPLICATED = 3 };

struct __lob {
    uint32_t flag;          // LOB_ENCRYPTED: FLAGS 0x1000; LOB_COMPRESSED: 0x2000, 0x4000 or 0x8000;
                            // LOB_DEDUPLICATED: 0x10000, 0x20000 or 0x40000; else 0
    uint32_t objp;          // the table
    uint32_t cid;           // COL#
    uint32_t objn;          // LOBJ#: the LOB segment
    uint32_t indn;          // IND#: key into the "ind" file
    uint32_t chunk;
    uint32_t fno;
    uint32_t blk;
    uint32_t tsn;
    uint32_t rsv;
};
static_assert(sizeof(LOB) == 40);
static_assert(offsetof(LOB, objp) == 4 && offsetof(LOB, cid) == 8 && offsetof(LOB, objn) == 12 &&
              offsetof(LOB, indn) == 16 && offsetof(LOB, chunk) == 20 && offsetof(LOB, fno) == 24 &&
              offsetof(LOB, blk) == 28 && offsetof(LOB, tsn) == 32 && offsetof(LOB, rsv) == 36);

// One LOB index (file "ind", from the IND$ rows of type 8). `tsn` comes
// before `fno` here, unlike LOB.
struct __lob_index {
    uint32_t flag;
    uint32_t objn;
    uint32_t objd;
    uint32_t objp;          // BO#: the indexed table
    uint32_t tsn;
    uint32_t fno;
    uint32_t blk;
    uint32_t rsv;
};
static_assert(sizeof(LOBIDX) == 32);
static_assert(offsetof(LOBIDX, objn) == 4 && offsetof(LOBIDX, objd) == 8 && offsetof(LOBIDX, objp) == 12 &&
              offsetof(LOBIDX, tsn) == 16 && offsetof(LOBIDX, fno) == 20 && offsetof(LOBIDX, blk) == 24 &&
              offsetof(LOBIDX, rsv) == 28);

// One database property (file "props", from PROPS$).
typedef struct __properties {
    char name[32];
    char value[128];        // at most 127 bytes; empty when NULL
} PROPS;
static_assert(sizeof(PROPS) == 160);
static_assert(offsetof(PROPS, value) == 32);

// One row of the recycle bin (file "recyclebin", from RECYCLEBIN$): the name
// a dropped object had before it was given its BIN$ name, and when it was
// dropped. The file is empty when the database has no RECYCLEBIN$ rows and
// left out by an older "export dict".
typedef struct __recycled {
    uint32_t objn;          // OBJ#: the object under its BIN$ name
    uint32_t owner;         // OWNER#: a user number, also after "load dict"
    uint32_t operation;     // OPERATION: 0 DROP, 1 TRUNCATE
    uint32_t type;          // TYPE#: 1 table, 2 normal index, ...
    uint8_t droptime[7];    // DROPTIME as stored (a DATE)
    uint8_t has_time;       // 1 when DROPTIME holds 7 bytes, else 0
    char name[136];         // ORIGINAL_NAME (at most 128 bytes), NUL-terminated
} RECYCLED;
static_assert(sizeof(RECYCLED) == 160);
static_assert(offsetof(RECYCLED, owner) == 4 && offsetof(RECYCLED, operation) == 8 &&
              offsetof(RECYCLED, type) == 12 && offsetof(RECYCLED, droptime) == 16 &&
              offsetof(RECYCLED, has_time) == 23 && offsetof(RECYCLED, name) == 24);

// One row of the bootstrap table, in memory only during "export dict".
typedef struct __bootstrap {
    uint32_t line;          // LINE#
    uint32_t objn;          // OBJ#
    char text[4088];        // SQL_TEXT
} BOOTSTRAP;
static_assert(sizeof(BOOTSTRAP) == 4096);
static_assert(offsetof(BOOTSTRAP, objn) == 4 && offsetof(BOOTSTRAP, text) == 8);

// Dictionary files: "%s/%s.dat" in the dictionary directory.
int write_dict_data(const char *name, void *data, int size);
int read_dict_data(const char *name, void **data, int *size);

// The row decoders of the dictionary tables: the rows of table `tabn` of one
// block into the batch rec[*nrow..]; a full batch of max_rows records is
// appended to the file. cblk is a spare block for rows read by address.
// 0 when the block was handled, -1 when a block read or a batch write failed.
int process_user_block(uint8_t *cblk, uint8_t *blk, USER *usr, int tabn, int max_rows, int *nrow);
int process_ts_block(uint8_t *cblk, uint8_t *blk, TS *ts, int tabn, int max_rows, int *nrow);
int process_obj_block(uint8_t *cblk, uint8_t *blk, OBJ *obj, int tabn, int max_rows, int *nrow);
int process_tab_block(uint8_t *cblk, uint8_t *blk, TAB *tab, int tabn, int max_rows, int *nrow);
int process_clu_block(uint8_t *cblk, uint8_t *blk, CLU *clu, int tabn, int max_rows, int *nrow);
int process_col_block(uint8_t *cblk, uint8_t *blk, COL *col, int tabn, int max_rows, int *nrow);
int process_ind_block(uint8_t *cblk, uint8_t *blk, LOBIDX *idx, int tabn, int max_rows, int *nrow);
int process_lob_block(uint8_t *cblk, uint8_t *blk, LOB *lob, int tabn, int max_rows, int *nrow);
int process_tabpart_block(uint8_t *cblk, uint8_t *blk, TABPART *tp, int tabn, int max_rows, int *nrow);
int process_tabsubpart_block(uint8_t *cblk, uint8_t *blk, TABSUBPART *tsp, int tabn, int max_rows, int *nrow);
int process_tabcompart_block(uint8_t *cblk, uint8_t *blk, TABPART *tcp, int tabn, int max_rows, int *nrow);
int process_props_block(uint8_t *cblk, uint8_t *blk, PROPS *prop, int tabn, int max_rows, int *nrow);
int process_recyclebin_block(uint8_t *cblk, uint8_t *blk, RECYCLED *rb, int tabn, int max_rows, int *nrow);
// Full batches of CLU$, PROPS$ and RECYCLEBIN$ records written (they have no
// ORXSYS counter); after "load dict" g_nrecycled counts g_ctx.rbin.
extern uint32_t g_nclu;
extern uint32_t g_nprops;
extern uint32_t g_nrecycled;

// The dictionary tables that "export dict" writes, each declared once: its
// name in the bootstrap rows, its name in progress labels, its file, the
// line a failed batch write prints and the counter of records written. The
// six after DT_IND are found through OBJ$ and TAB$, in the order of the
// entries of sobj/tabn/rdba; the last, RECYCLEBIN$, only when the database
// has it.
enum DICT_TABLE_ID {
    DT_USER, DT_TS, DT_OBJ, DT_TAB, DT_CLU, DT_COL, DT_IND,
    DT_LOB, DT_TABPART, DT_TABSUBPART, DT_TABCOMPART, DT_PROPS, DT_RECYCLEBIN,
    DT_COUNT
};
typedef struct __dict_table {
    const char *table;      // "USER$"
    const char *label;      // "user$"
    const char *file;       // "user": "<dictdir>/user.dat"
    const char *write_msg;  // "write user dictionary data error.\n"
    uint32_t *count;
} DICT_TABLE;
extern const DICT_TABLE dict_tables[DT_COUNT];
// Progress label of one step on one table: the verb padded to six, then the
// table's label ("sort   user$").
void print_table_label(const char *verb, const DICT_TABLE &t);

// Bootstrap and "export dict".
int export_dict_handle(char *args);
int process_bootstrap_block(uint8_t *blk, BOOTSTRAP *bs, int index);
// Upper bound of the rows process_bootstrap_block stores from a block of bsz
// bytes: the caller provides that many records after bs[index].
int bootstrap_block_slots(const uint8_t *blk, size_t bsz);
int get_boot_table_rdba(BOOTSTRAP *bs, int nbr, char *tab_nm, int *tabn, uint32_t *rdba);
int export_user(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_ts(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_obj(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_tab(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_clu(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_col(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_lob_ind(BOOTSTRAP *bs, int nbr, uint8_t *rbuf, int buf_sz);
int export_lob(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabsubpart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_tabcompart(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_props(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
int export_recyclebin(uint32_t tabn, uint32_t rdba, uint8_t *rbuf, int buf_sz);
// Compares the segment column numbers that the exported COL$ rows give for
// the columns of COL$ and TABPART$ with the positions the decoders read, and
// warns once per column that differs. Returns the number of warnings.
int check_dict_column_positions();

// Names longer than a record holds (12.2 allows 128 bytes): the records keep
// NAME_KEPT bytes. The decoders note every name they cut; after the export
// long_names_settle gives each a name unique within its owner (users and
// tablespaces: the database; objects: their owner; columns: their table),
// rewrites the files, warns once per name and lists the names in
// "<dictdir>/longnames.txt" (removed when no name was cut).
constexpr int NAME_KEPT = 31;
constexpr const char *LONG_NAMES_FILE = "longnames.txt";
void long_names_begin(void);
// table: DT_USER, DT_TS, DT_OBJ or DT_COL; owner, id, id2: the record's
// owner field (0 for users and tablespaces), its number (uid, tsn, objn, cid)
// and, for a column, its scid.
void note_long_name(int table, uint32_t owner, uint32_t id, uint32_t id2, const uint8_t *full, size_t len);
int long_names_settle(void);

// Sorting (run by "export dict"); each rewrites its file and sets its counter.
// sobj/tabn/rdba have DICT_FOUND_TABLES entries: LOB$, TABPART$, TABSUBPART$,
// TABCOMPART$ and PROPS$, which every database has (DICT_LATE_TABLES), then
// RECYCLEBIN$, which older ones lack (its absence is not said).
constexpr int DICT_LATE_TABLES = 5;
constexpr int DICT_FOUND_TABLES = DICT_LATE_TABLES + 1;
int sort_user_by_uid();
int sort_ts_by_tsn();
int sort_obj_by_objn(uint32_t *sobj);
int sort_tab_by_objn(uint32_t *sobj, uint32_t *tabn, uint32_t *rdba);
int sort_col_by_scid();
int sort_lob_index_by_objn();
int sort_lob_by_objn();
int sort_tabpart_by_objp();
int sort_tabsubpart_by_objp();
int sort_tabcompart_by_objp();

// "load dict" and the binary-search lookups over the loaded arrays.
int load_dict_handle(char *args);
int lookup_user(uint32_t uid);
int lookup_obj(uint32_t objn);
int lookup_tab(uint32_t objn);
int lookup_lob(uint32_t objn, uint32_t cid);
int lookup_lob_index(uint32_t objn);

// The recycle bin: "load dict" reads the "recyclebin" file into g_ctx.rbin
// when it holds rows (an absent or empty file loads nothing, silently); a
// damaged file is passed over with one line. Returns -1 only when memory
// runs out.
int load_recycle_bin(void);
// The RECYCLEBIN$ row of a loaded dropped table: same OBJ#, same owner; or
// nullptr.
const RECYCLED *recycled_table(const TAB *t);
// DROPTIME as "YYYY-MM-DD HH:MI:SS" into buf (at least 20 bytes); empty when
// NULL, "?" when the bytes are no valid date.
void recycled_drop_time(const RECYCLED *r, char *buf, size_t size);

// Progress label of "export dict" and "load dict": ". . " and the text, blanks
// to 23 characters, dots to 64; written to standard error without a line end.
void print_progress_label(const char *text);

// Users and tables by typed name: the first match in array order, or -1.
// owner_name and object_name give the names of loaded records by index,
// "PUBLIC" for OWNER_PUBLIC and an empty name for an index out of range.
int find_user_by_name(const char *name);
int find_table_by_name(uint32_t ui, const char *name);
const char *owner_name(uint32_t ui);
const char *object_name(uint32_t oi);
