// The scan by data object: every table data block of the configured
// datafiles, grouped by the data object number in its transaction header,
// with no dictionary at all. Each data object keeps where its blocks lie and
// a profile of every column position (NULLs, lengths, and how many values
// read as a NUMBER, a DATE, a TIMESTAMP, text in the database character set
// or none of these); the column types are guessed from the profiles. The
// result is saved in the dictionary directory ("segments.scan") for
// "list segments" and "unload object".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Column positions profiled per data object: Oracle's limit of columns per
// table (a row of a table with more holds them in pieces of 255).
constexpr uint32_t SCAN_COLS_MAX = 1000;
// Datafiles one data object is recorded in.
constexpr uint32_t SCAN_RANGES_MAX = 65536;
// The saved scan, in the dictionary directory.
constexpr const char *SCAN_FILE = "segments.scan";

// One column position of a data object: counts over all its non-NULL values.
typedef struct __scan_column {
    uint64_t values;        // non-NULL values (NULLs: the object's rows less these)
    uint64_t bytes;         // their bytes
    uint64_t num;           // that are valid NUMBERs (in Oracle's canonical form)
    uint64_t date;          // that are valid 7-byte DATEs
    uint64_t stamp;         // that are valid 11-byte TIMESTAMPs (a 7-byte one is a DATE)
    uint64_t text;          // that are printable text in the database character set
    uint64_t other;         // that are none of these
    uint32_t minlen, maxlen;
} SCAN_COL;

// The blocks of a data object in one datafile: the first and last block
// number where it was seen, and how many of its blocks lie between them.
typedef struct __scan_range {
    uint32_t fno;
    uint32_t first, last;
    uint32_t blocks;
} SCAN_RANGE;

constexpr uint32_t SCAN_CLUSTER = 0x1;   // SCAN_OBJ.flag: cluster blocks (columns not profiled)

typedef struct __scan_object {
    uint32_t objd;
    uint32_t tsn;           // tablespace of the datafile it was first seen in
    uint32_t bsz;
    uint32_t flag;          // SCAN_*
    uint64_t blocks;        // table data blocks (bad ones included)
    uint64_t rows;          // head pieces of rows
    uint64_t chained;       // rows whose head piece does not hold the whole row
    uint64_t compressed;    // compressed blocks (rows not profiled)
    uint64_t bad;           // blocks that could not be read as they are (counted, not profiled)
    uint32_t ncol;          // most columns a row's head piece holds
    std::vector<SCAN_RANGE> ranges;
    std::vector<SCAN_COL> cols;   // ncol entries
} SCAN_OBJ;

typedef struct __scan_result {
    std::string charset;    // the database character set the text counts were made for
    std::vector<SCAN_OBJ> objs;  // ascending data object numbers
} SCAN_RESULT;

// ---- values (scan_value.cpp) ----
// What one column value can be read as: the checks the value decoders make,
// plus Oracle's canonical NUMBER form (no leading or trailing zero digit).
bool scan_number(const uint8_t *p, size_t n);
bool scan_date(const uint8_t *p, size_t n);
bool scan_stamp(const uint8_t *p, size_t n);   // 11 bytes only
// Character sets the text check knows: UTF-8 (AL32UTF8, UTF8), ASCII
// (US7ASCII), and any other as a single-byte set.
enum SCAN_CHARSET { SCS_UTF8, SCS_ASCII, SCS_SINGLE };
int scan_charset_kind(const char *name);
// `room`: bytes that may be read at p when more than n (the rest of the block).
bool scan_text(const uint8_t *p, size_t n, int kind, size_t room = 0);
// Adds one non-NULL value to a column profile.
void scan_count_value(SCAN_COL *c, const uint8_t *p, size_t n, int cs_kind);

// ---- the guess (scan_guess.cpp) ----
// A guessed column type: its type code and length, and the values that fit
// it (for RAW: those that fit no other type).
typedef struct __scan_guess {
    uint32_t ctyp;
    uint32_t clen;
    uint64_t fit;
} SCAN_GUESS;
constexpr int SCAN_FIT_PERCENT = 95;
SCAN_GUESS scan_guess(const SCAN_COL *c);
// "NUMBER", "DATE", "TIMESTAMP", "VARCHAR2(20)", "RAW(16)" into buf.
const char *scan_type_text(const SCAN_GUESS *g, char *buf, size_t size);

// ---- the saved scan (scan_file.cpp) ----
// Encodes a result; decodes bytes back, checking every count and length:
// -1 with the reason in *why when the bytes are not a whole, sound scan.
void scan_encode(const SCAN_RESULT &r, std::vector<uint8_t> &out);
int scan_decode(const uint8_t *p, size_t n, SCAN_RESULT &r, const char **why);
// "<dictdir>/segments.scan" written or read; -1 after one message.
int scan_save(const SCAN_RESULT &r);
int scan_load(SCAN_RESULT &r);
// The object of data object number objd, or nullptr.
const SCAN_OBJ *scan_find(const SCAN_RESULT &r, uint32_t objd);

// ---- the commands ----
int scan_handle(char *args);                 // scan [datafile N]
int list_segments(char *args);               // list segments
int unload_object(char *args);               // unload object OBJD [USER.TABLE | (TYPE, ...)]
