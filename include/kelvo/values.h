// Oracle's internal value formats turned into text and SQL values, shared by
// every consumer of a dump: the embedded OCI layer and dumpcat. One decoder
// per type; malformed bytes give the Oracle error code a server would raise,
// never a guess. Also Oracle's time-zone regions (the region id a TIMESTAMP
// WITH TIME ZONE keeps in its zone bytes, the region's name, and its offset
// from UTC at an instant taken from the system's IANA time-zone database,
// /usr/share/zoneinfo) and character data from an Oracle character set to
// UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Oracle's table of region ids (generated from data/oracle-tz-regions.tsv),
// in ascending id order. Ids of 512 and above are mostly aliases that Oracle
// numbers apart; each keeps its own name.
struct tz_region_entry {
    uint16_t id;
    const char *name;
};
extern const tz_region_entry tz_region_table[];
extern const size_t tz_region_count;

// The region id held by zone bytes 11 and 12 in region form (bit 0x80 of
// byte 11 set): seven bits in byte 11, six in byte 12 above its two low flag
// bits.
inline unsigned tz_region_id(uint8_t b11, uint8_t b12)
{
    return ((b11 & 0x7Fu) << 6) | (b12 >> 2);
}

// Oracle's name of a region id, or nullptr when the id is not in the table.
const char *tz_region_name(unsigned id);

enum tz_region_status {
    TZ_REGION_OK,
    TZ_REGION_UNKNOWN_ID,     // the id is not in Oracle's table
    TZ_REGION_NOT_IN_TZDB,    // the name is unknown to the system's database
};

// The offset from UTC, in seconds, of region `id` at the instant utc_seconds
// (seconds since 1970-01-01 00:00:00 UTC). name is Oracle's name of the
// region whenever the id is in the table, whatever the status.
tz_region_status tz_region_offset(unsigned id, int64_t utc_seconds, int32_t &offset_seconds, const char *&name);

// ---- values ----------------------------------------------------------------

// A NUMBER as an SQL value: INTEGER (integral, within 64 bits), REAL (a
// fraction a double holds exactly, such as 0.5 or -2.25) or exact decimal
// TEXT, so that no value is stored rounded.
struct sql_value {
    enum kind_t { NUL, INT, REAL, TEXT, BLOB } kind = NUL;
    int64_t i = 0;
    double d = 0;
    const char *p = nullptr;
    size_t n = 0;
};
int ora_number_value(const uint8_t *b, size_t n, sql_value &v, std::string &scratch);
// A NUMBER as exact decimal text, no exponent: at most ORA_NUMBER_TEXT_SIZE
// bytes (no terminating zero) written at out, their count in *len. The legacy
// infinities are "~" and "-~", as Oracle prints them.
constexpr size_t ORA_NUMBER_TEXT_SIZE = 192;
int ora_number_text(const uint8_t *b, size_t n, char *out, size_t *len);

// DATE as "YYYY-MM-DD HH:MM:SS" (astronomical years: 1 BC is year 0).
int ora_date_text(const uint8_t *b, size_t n, std::string &out);
// A TIMESTAMP WITH TIME ZONE in region form whose region could not be
// resolved is given as UTC with +00:00; miss then says which region id.
struct tz_region_miss {
    bool missed = false;
    unsigned id = 0;
};
// TIMESTAMP (and WITH LOCAL TIME ZONE: its stored time) and TIMESTAMP WITH
// TIME ZONE. The fraction of a second has its trailing zeros dropped (none
// for a whole second), or all nine digits with nine_digits.
int ora_timestamp_text(const uint8_t *b, size_t n, bool with_zone, std::string &out,
                       tz_region_miss *miss = nullptr, bool nine_digits = false);
// Intervals in Oracle's literal form: "+YY-MM" and "+DD HH:MI:SS.FFFFFFFFF".
int ora_interval_ym_text(const uint8_t *b, size_t n, std::string &out);
int ora_interval_ds_text(const uint8_t *b, size_t n, std::string &out);
int ora_binary_float(const uint8_t *b, size_t n, bool dbl, double &out);
// BINARY_FLOAT / BINARY_DOUBLE as the shortest text that reads back to the
// same bits ("Inf", "-Inf", "NaN" for the specials): at most
// ORA_FLOAT_TEXT_SIZE bytes at out, their count in *len.
constexpr size_t ORA_FLOAT_TEXT_SIZE = 32;
int ora_binary_float_text(const uint8_t *b, size_t n, bool dbl, char *out, size_t *len);
// The Oracle type text of a dump column (VARCHAR2(n), NUMBER, ...) from its
// type code, national flag and declared length; an unknown code is
// VARCHAR2(4000).
const char *dump_type_name(uint32_t ctyp, bool national, uint32_t clen, char *buf, size_t size);
// A name as an SQL identifier in double quotes, its quotes doubled.
std::string sql_quote_ident(const std::string &name);
// The text of an Oracle error code the decoders return.
const char *ora_message(int code);

// ---- character sets ----------------------------------------------------------

// One converter from an Oracle character set to UTF-8. AL32UTF8 passes
// through, Oracle's UTF8 (CESU-8) is joined by hand, US7ASCII is taken byte by
// byte, the others go through glibc's iconv.
struct cs_converter {
    enum kind_t { PASS_UTF8, CESU8, ASCII, ICONV, UNKNOWN } kind = UNKNOWN;
    void *cd = nullptr;      // iconv_t for ICONV
    std::string name;        // the Oracle name
    bool warned = false;
    std::string carry;       // an incomplete sequence left by the last piece
};
// What becomes of a byte sequence that is not valid in its set: the
// character of the same number (ISO-8859-1, nothing lost but not counted),
// or U+FFFD, counted.
enum cs_invalid { CS_INVALID_LATIN1, CS_INVALID_REPLACE };
void cs_open(cs_converter &c, const std::string &oracle_name);
void cs_close(cs_converter &c);
// Appends the UTF-8 of n bytes to out and returns the number of invalid
// sequences met. A value may come in pieces: with more set, an incomplete
// sequence at the end is kept for the next piece instead of being invalid.
// An UNKNOWN set appends the bytes unchanged.
size_t cs_convert(cs_converter &c, const uint8_t *p, size_t n, std::string &out, cs_invalid invalid,
                  bool more = false);
