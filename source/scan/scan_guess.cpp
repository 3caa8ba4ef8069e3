// The type of a column position guessed from its profile over all its rows.
//
// A type is taken when at least 95% of the non-NULL values fit it, tried in
// this order, from the narrowest test to the widest:
//   DATE       7 bytes, a real date and time of day;
//   TIMESTAMP  11-byte timestamps, with 7-byte ones (a timestamp without a
//              fraction of a second is stored as a date) among them;
//   NUMBER     Oracle's canonical NUMBER form;
//   VARCHAR2   printable text in the database character set;
//   RAW        anything else.
// The order settles the ambiguous values: a DATE of years 2800 and up may
// also be a valid NUMBER, and short text may be one (a text ending in 'f'
// whose other bytes are below 'f'), but a whole column of them rarely is;
// 7-byte dates of years before 2800 are never valid NUMBERs (their
// first byte makes them negative numbers, whose last byte would have to be
// 102). Text comes after NUMBER because a NUMBER is seldom printable while
// text is often a valid NUMBER's byte pattern only by accident.
#include <cstdio>

#include "kelvo/scan.h"
#include "kelvo/types.h"

namespace {

// Longest declared length a guess gives (Oracle's extended VARCHAR2 and RAW).
constexpr uint32_t GUESS_LEN_MAX = 32767;

bool fits(uint64_t n, uint64_t values) { return values > 0 && n * 100 >= values * SCAN_FIT_PERCENT; }

uint32_t declared(const SCAN_COL *c) { return c->maxlen < 1 ? 1 : c->maxlen > GUESS_LEN_MAX ? GUESS_LEN_MAX : c->maxlen; }

} // namespace

SCAN_GUESS scan_guess(const SCAN_COL *c)
{
    uint64_t v = c->values;
    if (fits(c->date, v))
        return {TYPE_DATE, 7, c->date};
    if (c->stamp > 0 && fits(c->date + c->stamp, v))
        return {TYPE_TIMESTAMP, 11, c->date + c->stamp};
    if (fits(c->num, v))
        return {TYPE_NUMBER, 22, c->num};
    if (fits(c->text, v))
        return {TYPE_VARCHAR2, declared(c), c->text};
    return {TYPE_RAW, declared(c), c->other};
}

const char *scan_type_text(const SCAN_GUESS *g, char *buf, size_t size)
{
    switch (g->ctyp) {
    case TYPE_DATE: snprintf(buf, size, "DATE"); break;
    case TYPE_TIMESTAMP: snprintf(buf, size, "TIMESTAMP"); break;
    case TYPE_NUMBER: snprintf(buf, size, "NUMBER"); break;
    case TYPE_VARCHAR2: snprintf(buf, size, "VARCHAR2(%u)", g->clen); break;
    default: snprintf(buf, size, "RAW(%u)", g->clen); break;
    }
    return buf;
}
