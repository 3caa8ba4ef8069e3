// kelvo: the shared header of the datafile reader, the dictionary, the
// unloader and the dictionary viewers.
//
// Every record that lies on disk (Oracle blocks, dictionary files, dump files)
// is declared here once, with its size and field offsets checked at compile
// time. Oracle block structures are little-endian as written on x86-64; they
// are never dereferenced through a cast pointer into a block: fields are read
// with the memcpy-based accessors below, or a whole record is memcpy'd out of
// the block after its bounds were checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// ---------------------------------------------------------------------------
// Byte-order accessors (unaligned, memcpy based).
// ---------------------------------------------------------------------------
static inline uint16_t get_le16(const uint8_t *p) { uint16_t v; memcpy(&v, p, 2); return v; }
static inline uint32_t get_le32(const uint8_t *p) { uint32_t v; memcpy(&v, p, 4); return v; }
static inline uint16_t get_be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }
static inline uint32_t get_be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
static inline void put_be16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
static inline void put_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}

// True when [off, off + n) lies inside a buffer of size bytes; written so that
// it cannot overflow.
static inline bool in_bounds(size_t off, size_t n, size_t size) { return off <= size && n <= size - off; }

// ---------------------------------------------------------------------------
// Shell (string helpers, command table).
// ---------------------------------------------------------------------------
void str_toupper(char *s);
char *str_ltrim(char *s);
char *str_rtrim(char *s);

// ---- shell: end ----

// ---------------------------------------------------------------------------
// Configuration and datafiles.
// ---------------------------------------------------------------------------
#define WORK_BUFFER_SIZE (8 * 1024 * 1024)

typedef struct __config_param {
    uint32_t flag;          // bit 0x1: verify the check value of every block read
    uint32_t rsv;
    char dict_dir[1024];
    char data_dir[1024];
} CFGPAR;
static_assert(sizeof(CFGPAR) == 2056);
static_assert(offsetof(CFGPAR, dict_dir) == 8 && offsetof(CFGPAR, data_dir) == 1032);

typedef struct __datafile {
    uint32_t flag;          // bit 0x10: bigfile tablespace (relative file number 1024)
    int32_t fd;
    uint32_t fno;
    uint32_t rfn;
    uint32_t tsn;
    uint32_t blks;
    uint32_t bsz;
    uint32_t blk0_sz;
    char name[1024];
} DATAFILE;
static_assert(sizeof(DATAFILE) == 1056);
static_assert(offsetof(DATAFILE, bsz) == 24 && offsetof(DATAFILE, name) == 32);

// ---- datafiles: end ----

// ---------------------------------------------------------------------------
// Oracle block and row layouts.
// ---------------------------------------------------------------------------

// ---- block layouts: end ----

// ---------------------------------------------------------------------------
// Dictionary records and files.
// ---------------------------------------------------------------------------
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
#define OWNER_PUBLIC 0xFFFFFFFFu

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

#define TAB_LOB         0x00000001u  // has LOB columns
#define TAB_LONG        0x00000002u  // has a LONG or LONG RAW column (load)
#define TAB_NESTED      0x00000004u
#define TAB_COLFLAG     0x00000008u  // a column has COL_UNUSED_FLAG (load)
#define TAB_IOT_OVF     0x00000010u
#define TAB_PART        0x00000020u  // partitioned
#define TAB_CLUSTERED   0x00000040u
#define TAB_IOT         0x00000080u
#define TAB_COMPOSITE   0x00000100u  // composite-partitioned (load)
#define TAB_DROPPED     0x00002000u  // OBJ$ FLAGS 0x80 (load)
#define TAB_EXTHDR      0x00010000u  // head pieces carry 6 more header bytes
#define TAB_UNSUPPORTED 0x01000000u  // a feature the unloader does not handle

// One cluster (file "cluster", from CLU$).
typedef struct __cluster {
    uint32_t flag;          // 0x10000 when CLU$ FLAGS has 0x800000
    uint32_t objn;
    uint32_t objd;
    uint32_t ncol;          // number of key columns
} CLU;
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

#define COL_NOT_STORED  0xFFFFu
#define COL_HIDDEN      0x00000001u  // not unloaded (PROPERTY 0x20)
#define COL_HIDDEN2     0x00000002u  // not unloaded (PROPERTY 0x4000)
#define COL_HIDDEN3     0x00000004u  // not unloaded (PROPERTY 0x8000)
#define COL_SKIP_MASK   0x00000007u
#define COL_UNUSED_FLAG 0x00000100u
#define COL_NCHAR       0x00001000u  // national character set (CHARSETFORM 2)
#define COL_CLUKEY      0x00010000u  // read from the cluster key row (load)

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
struct __lob {
    uint32_t flag;          // 1: FLAGS 0x1000; 2: FLAGS 0x2000, 0x4000 or 0x8000; else 0
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

// Sorting (run by "export dict"); each rewrites its file and sets its counter.
// The five entries of sobj/tabn/rdba are LOB$, TABPART$, TABSUBPART$,
// TABCOMPART$ and PROPS$.
#define DICT_LATE_TABLES 5
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
int free_dict_memory();

// Progress label of "export dict" and "load dict": ". . " and the text, blanks
// to 23 characters, dots to 64; written to standard error without a line end.
void print_progress_label(const char *text);

// Typed names: upper case unless quoted, at most 31 characters. take_name
// reads one name from the whole text; take_qualified_name cuts the text at
// every '.' into user and table (user left empty when no '.' is given).
void take_name(const char *text, char name[32]);
void take_qualified_name(const char *text, char user[32], char table[32]);

// Users and tables by typed name: the first match in array order, or -1.
// owner_name and object_name give the names of loaded records by index,
// "PUBLIC" for OWNER_PUBLIC and an empty name for an index out of range.
int find_user_by_name(const char *name);
int find_table_by_name(uint32_t ui, const char *name);
const char *owner_name(uint32_t ui);
const char *object_name(uint32_t oi);

// The user, list and desc commands and the column type text.
int set_user_handle(char *args);
int show_user_handle(char *args);
int list_handle(char *args);
int print_file_info();
int print_user_info();
int print_table_info(char *args);
int print_object_info(char *args);
int print_tabpart_info(char *args);
int desc_handle(char *args);
char *type_string(int flag, int ctyp, int clen);

// ---- dictionary: end ----

// ---------------------------------------------------------------------------
// Dump file records.
// ---------------------------------------------------------------------------

// ---- dump: end ----

// ---------------------------------------------------------------------------
// Unloading (tables, LONG columns, LOBs).
// ---------------------------------------------------------------------------

// ---- unload: end ----

// ---------------------------------------------------------------------------
// The global context.
// ---------------------------------------------------------------------------
typedef struct __orx_context {
    int fd;                 // dictionary file being written, -1 when none
    CFGPAR par;
    ORXSYS sys;
    uint8_t *wrk;           // the 8 MiB work buffer
    USER *usr;
    TS *ts;
    DATAFILE *df;
    DATAFILE *sysf;         // the datafile with absolute file number 1
    OBJ *obj;
    TAB *tab;
    COL *col;
    TABPART *tp;
    TABPART *tcp;
    TABSUBPART *tsp;
    LOB *lob;
    LOBIDX *lidx;
    void *prsv;
    char cur_usr[32];
} ORXCTX;

extern ORXCTX g_ctx;
extern char g_cfgname[1024];
extern char g_dbfile_list[1024];
