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

// A dump file: the file header (HEAD_INFO, padded to 1024 bytes), the table
// information area (one TAB_INFO per table, padded to a multiple of 512
// bytes), then per table its COL_INFO records, its row stream and DUMP_EOT.
// Every integer in a dump file is big-endian.
#define DUMP_HEAD_SIZE 1024
#define DUMP_MAGIC "kelvo"

// 2-byte words of the row stream; any other word 0x0001..0xFFFA is the length
// of the column value that follows it.
#define DUMP_END   0x0000   // ends a row and a value record
#define DUMP_MAXLEN 0xFFFA  // the longest value an entry can carry
#define DUMP_LONG  0xFFFB   // LONG / LONG RAW: the value follows the row
#define DUMP_LOB   0xFFFC   // CLOB / NCLOB / BLOB: the value follows the row
#define DUMP_VALUE 0xFFFD   // opens a LONG or LOB value record
#define DUMP_NULL  0xFFFE   // the column is NULL
#define DUMP_EOT   0xFFFF   // in place of the next row: no more rows
#define DUMP_PIECE_MAX 32768 // longest piece of a value record

typedef struct __head_info {
    char magic[32];         // "kelvo" and a zero byte
    char owner[32];
    char nls_lang[128];     // language_territory.charset
    char ncharset[64];
    char dbtimezone[64];
    uint32_t tab_cnt;
} HEAD_INFO;
static_assert(sizeof(HEAD_INFO) == 324);
static_assert(offsetof(HEAD_INFO, owner) == 32 && offsetof(HEAD_INFO, nls_lang) == 64);
static_assert(offsetof(HEAD_INFO, ncharset) == 192 && offsetof(HEAD_INFO, dbtimezone) == 256);
static_assert(offsetof(HEAD_INFO, tab_cnt) == 320);

typedef struct __tab_info {
    uint32_t flag;          // 0x1: has a LONG column, 0x2: has LOB columns
    uint32_t ncol;
    uint32_t nlob;
    uint32_t nrows;
    uint64_t offset;        // file offset of the table's COL_INFO records
    char tab_name[32];
} TAB_INFO;
static_assert(sizeof(TAB_INFO) == 56);
static_assert(offsetof(TAB_INFO, nrows) == 12 && offsetof(TAB_INFO, offset) == 16);
static_assert(offsetof(TAB_INFO, tab_name) == 24);

typedef struct __col_info {
    uint32_t flag;          // 0x1: national character set column
    uint32_t ctyp;
    uint32_t clen;
    uint32_t rsv;
    char name[32];
} COL_INFO;
static_assert(sizeof(COL_INFO) == 48);
static_assert(offsetof(COL_INFO, clen) == 8 && offsetof(COL_INFO, name) == 16);

typedef struct __unloader ULDR;

// Size of the table information area for ntab tables.
static inline uint32_t dump_tab_info_size(uint32_t ntab) { return (56u * ntab + 511u) / 512u * 512u; }

int write_blank(int fd, uint64_t sz);
int write_cache(ULDR *ul);
int make_head(void);
int write_head(ULDR *ul, HEAD_INFO *inf);
int write_tab_info(ULDR *ul);

// ---- dump: end ----

// ---------------------------------------------------------------------------
// Unloading (tables, LONG columns, LOBs).
// ---------------------------------------------------------------------------

#define ULDR_CACHE_SIZE (4 * 1024 * 1024)
#define ULDR_LONG_BUF (32 * 1024)
#define ULDR_LOB_BUF (32 * 1024)

// One LOB locator gathered from a row, as stored in the row.
typedef struct __lob_data {
    uint32_t cid;
    uint32_t len;           // locator bytes gathered so far
    uint8_t ldata[4088];
} LOBD;
static_assert(sizeof(LOBD) == 4096);
static_assert(offsetof(LOBD, ldata) == 8);

// The working record of one "unload" command. Its buffers are slices of the
// work buffer: cache (4 MiB), hblk, cblk, lbuf, the LOB buffers and slots when
// the table has LOB columns, and rbuf, the extent read buffer, with the rest.
struct __unloader {
    int fd;                 // the dump file
    int lfd;                // LONG staging file of the current row, -1 when none
    int ntab;
    int tsn;                // tablespace of the segment being walked
    int tabn;               // table directory index of the table's rows
    int nlob;               // LOB slots at lobc
    int bsz;
    int curc;               // next column of the current row
    int ccl;                // bytes gathered of a split ordinary column
    int lcc;                // LOB locators gathered for the current row
    int lsz;                // LONG bytes held in lbuf
    int csz;
    int clen;
    uint32_t nrow;
    uint32_t hdba;
    uint64_t data_ofs;
    TAB *tabp;
    uint8_t *tinf;
    uint8_t *cache;
    uint8_t *hblk;
    uint8_t *cblk;
    uint8_t *pl;            // cache place of a split column's pending length
    uint8_t *ibuf;
    uint8_t *itree2, *itree3, *itree4;
    uint8_t *lbuf;
    uint8_t *lobc;
    uint8_t *rbuf;
    uint8_t *kbuf;          // copy of a cluster key row whose block is left behind
    // Beyond the classic record: state that keeps damaged input from
    // corrupting the stream.
    uint64_t pl_fofs;       // file offset of a pending length already written out, 0 when none
    int rbufblks;           // blocks per extent read
    int long_col;           // column that owns the row's LONG value, -1 when none
    int lob_open;           // a LOB locator is split and its slot not complete
    uint32_t objd;          // data object number of the segment, 0: not checked
    uint32_t nskip;         // blocks of another object passed over
    uint32_t rdba;          // block being decoded (for messages)
    int slot;               // slot being decoded (for messages)
    int row_bad;            // the current row was cut by a damaged piece
    uint64_t row_ofs;       // dump offset at which the current row starts
    int split;              // the last piece left column curc open (FB_NEXT)
    const uint8_t *ck;      // cluster key columns of the current row, null when none
    const uint8_t *ckend;
    int ckn;                // key columns left in the key row
    int ncolw;              // columns written to the column information
};

int unload_handle(char *args);
int unload_user(char *args);
int unload_table(char *args);
int unload_one_table(ULDR *ul);
int unload_segment(ULDR *ul);
int uldr_layout(ULDR *ul, int bsz);
int process_data_block(ULDR *ul, const uint8_t *blk);
int save_long(ULDR *ul, const uint8_t *data, int dlen, int flush);
int process_long(ULDR *ul);

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
