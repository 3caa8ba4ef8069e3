// Oracle's time-zone regions: the region id a TIMESTAMP WITH TIME ZONE keeps
// in its zone bytes, the region's name, and its offset from UTC at an instant
// taken from the system's IANA time-zone database (/usr/share/zoneinfo).
// Free of the OCI layer's records, so any value decoder can use it.
#pragma once

#include <cstddef>
#include <cstdint>

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
