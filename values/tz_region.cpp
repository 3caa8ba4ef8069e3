// Region ids to names by binary search over the generated table, and names to
// offsets through the date/tz library over the operating system's zoneinfo
// files: the offset rules, daylight saving included, are the database's.
#include "kelvo/values.h"

#include <date/tz.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

// The index of id in the table, or -1.
long find_index(unsigned id)
{
    const tz_region_entry *end = tz_region_table + tz_region_count;
    const tz_region_entry *e =
        std::lower_bound(tz_region_table, end, id, [](const tz_region_entry &a, unsigned v) { return a.id < v; });
    return e != end && e->id == id ? e - tz_region_table : -1;
}

// Each region's zone is looked up once: a failed look-up is remembered too,
// so a column full of one unusable region costs one search.
struct zone_cache {
    std::mutex lock;
    std::vector<const date::time_zone *> zone;
    std::vector<char> looked;
};

const date::time_zone *zone_of(long index)
{
    static zone_cache c;
    std::lock_guard<std::mutex> g(c.lock);
    if (c.zone.empty()) {
        c.zone.assign(tz_region_count, nullptr);
        c.looked.assign(tz_region_count, 0);
    }
    if (!c.looked[index]) {
        c.looked[index] = 1;
        // The library throws when the name is unknown, or when the zoneinfo
        // directory cannot be read at all: either way the region is unusable.
        try {
            c.zone[index] = date::locate_zone(tz_region_table[index].name);
        } catch (const std::exception &) {
            c.zone[index] = nullptr;
        }
    }
    return c.zone[index];
}

}   // namespace

const char *tz_region_name(unsigned id)
{
    long i = find_index(id);
    return i < 0 ? nullptr : tz_region_table[i].name;
}

tz_region_status tz_region_offset(unsigned id, int64_t utc_seconds, int32_t &offset_seconds, const char *&name)
{
    offset_seconds = 0;
    name = nullptr;
    long i = find_index(id);
    if (i < 0)
        return TZ_REGION_UNKNOWN_ID;
    name = tz_region_table[i].name;
    const date::time_zone *z = zone_of(i);
    if (!z)
        return TZ_REGION_NOT_IN_TZDB;
    try {
        date::sys_seconds t{std::chrono::seconds{utc_seconds}};
        offset_seconds = (int32_t)z->get_info(t).offset.count();
    } catch (const std::exception &) {
        return TZ_REGION_NOT_IN_TZDB;
    }
    return TZ_REGION_OK;
}
