// Dump file records: the file header, the table information, the column
// information and the words of the row stream.
#pragma once

#include "kelvo/bytes.h"
#include "kelvo/types.h"

// A dump file: the file header (HEAD_INFO, padded to 1024 bytes), the table
// information area (one TAB_INFO per table, padded to a multiple of 512
// bytes), then per table its COL_INFO records, its row stream and DUMP_EOT.
// Every integer in a dump file is big-endian.
constexpr int DUMP_HEAD_SIZE = 1024;
constexpr char DUMP_MAGIC[] = "kelvo";

// 2-byte words of the row stream; any other word 0x0001..0xFFFA is the length
// of the column value that follows it.
constexpr int DUMP_END = 0x0000;  // ends a row and a value record
constexpr int DUMP_MAXLEN = 0xFFFA;  // the longest value an entry can carry
constexpr int DUMP_LONG = 0xFFFB;  // LONG / LONG RAW: the value follows the row
constexpr int DUMP_LOB = 0xFFFC;  // CLOB / NCLOB / BLOB: the value follows the row
constexpr int DUMP_VALUE = 0xFFFD;  // opens a LONG or LOB value record
constexpr int DUMP_NULL = 0xFFFE;  // the column is NULL
constexpr int DUMP_EOT = 0xFFFF;  // in place of the next row: no more rows
constexpr int DUMP_PIECE_MAX = 32768;  // longest piece of a value record

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
    uint32_t flag;          // 0x1: has a LONG column, 0x2: has LOB columns, 0x4: partial
    uint32_t ncol;
    uint32_t nlob;
    uint32_t nrows;
    uint64_t offset;        // file offset of the table's COL_INFO records
    char tab_name[32];
} TAB_INFO;
constexpr uint32_t TI_LONG = 0x1;     // TAB_INFO.flag: the table has a LONG column
constexpr uint32_t TI_LOB = 0x2;      // TAB_INFO.flag: the table has LOB columns
constexpr uint32_t TI_PARTIAL = 0x4;  // TAB_INFO.flag: rows or values of the table were lost
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
constexpr uint32_t CI_NCHAR = 0x1;    // COL_INFO.flag: national character set column
static_assert(sizeof(COL_INFO) == 48);
static_assert(offsetof(COL_INFO, clen) == 8 && offsetof(COL_INFO, name) == 16);

// Size of the table information area for ntab tables.
static inline uint32_t dump_tab_info_size(uint32_t ntab) { return (56u * ntab + 511u) / 512u * 512u; }
