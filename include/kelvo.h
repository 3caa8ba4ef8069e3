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
