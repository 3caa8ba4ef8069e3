// What one stored column value can be read as, for the scan's profiles: the
// checks the value decoders make before they turn bytes into a NUMBER, a DATE
// or a TIMESTAMP, with Oracle's canonical NUMBER form on top (a value Oracle
// wrote never starts or ends with a zero digit), and printable text in the
// database character set. These run for every value of every row of the
// datafiles: plain byte tests, no allocation.
#include <strings.h>

#include "value_tests.h"

bool scan_number(const uint8_t *p, size_t n) { return scanval::number(p, n); }
bool scan_date(const uint8_t *p, size_t n) { return scanval::date(p, n); }
bool scan_stamp(const uint8_t *p, size_t n) { return scanval::stamp(p, n); }
bool scan_text(const uint8_t *p, size_t n, int kind, size_t room) { return scanval::text(p, n, kind, room); }
void scan_count_value(SCAN_COL *c, const uint8_t *p, size_t n, int cs_kind) { scanval::count_value(c, p, n, cs_kind); }

int scan_charset_kind(const char *name)
{
    if (strcasecmp(name, "AL32UTF8") == 0 || strcasecmp(name, "UTF8") == 0)
        return SCS_UTF8;
    if (strcasecmp(name, "US7ASCII") == 0)
        return SCS_ASCII;
    return SCS_SINGLE;
}

