// Names longer than the 31 bytes a dictionary record holds (12.2 allows 128).
// The row decoders cut them and note each one here; after the export, each
// cut name gets a suffix that keeps it apart from every other name of its
// owner (two tables whose names share their first 31 bytes stay two tables),
// the dictionary files are rewritten with it, each is said once, and
// "<dictdir>/longnames.txt" lists the names given with the full names.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "kelvo/context.h"

static_assert(sizeof(USER::name) == NAME_KEPT + 1 && sizeof(TS::name) == NAME_KEPT + 1 &&
              sizeof(OBJ::name) == NAME_KEPT + 1 && sizeof(COL::name) == NAME_KEPT + 1);

namespace {

struct CutName {
    int table;              // DT_USER, DT_TS, DT_OBJ or DT_COL
    uint32_t owner, id, id2;
    std::string full;
};

std::vector<CutName> g_cut;
bool g_collect;

// Where a record of each kind keeps what identifies it: its owner (the
// owner's user number for an object, the table's object number for a
// column; none for users and tablespaces), its number and a second number.
struct Layout {
    int table;
    const char *what;
    size_t size, name_off;
    int owner_off, id_off, id2_off;     // -1: none
};
const Layout g_layouts[] = {
    {DT_USER, "user", sizeof(USER), offsetof(USER, name), -1, (int)offsetof(USER, uid), -1},
    {DT_TS, "tablespace", sizeof(TS), offsetof(TS, name), -1, (int)offsetof(TS, tsn), -1},
    {DT_OBJ, "object", sizeof(OBJ), offsetof(OBJ, name), (int)offsetof(OBJ, owner), (int)offsetof(OBJ, objn), -1},
    {DT_COL, "column", sizeof(COL), offsetof(COL, name), (int)offsetof(COL, objn), (int)offsetof(COL, cid),
     (int)offsetof(COL, scid)},
};

uint32_t field(const uint8_t *rec, int off) { return off < 0 ? 0 : get_le32(rec + off); }

// A record is one that was cut when its numbers and its cut name are those
// noted.
using Key = std::tuple<uint32_t, uint32_t, uint32_t, std::string>;

std::string record_name(const uint8_t *r, const Layout &l)
{
    return std::string((const char *)r + l.name_off, strnlen((const char *)r + l.name_off, NAME_KEPT));
}

// The name kept for a cut name: as many of its first bytes as leave room for
// "~n", never ending inside a UTF-8 character, then "~n".
std::string kept_name(const std::string &full, unsigned n)
{
    std::string suffix = "~" + std::to_string(n);
    size_t k = NAME_KEPT - suffix.size();
    while (k > 0 && ((uint8_t)full[k] & 0xC0) == 0x80)
        k--;
    return full.substr(0, k) + suffix;
}

// Renames the cut names of one dictionary file; lines for the list go to
// `list`. -1 when the file cannot be read or written.
int settle_table(const Layout &l, std::string &list)
{
    std::map<Key, const CutName *> cut;
    for (const CutName &c : g_cut)
        if (c.table == l.table)
            cut[Key{c.owner, c.id, c.id2, c.full.substr(0, NAME_KEPT)}] = &c;
    if (cut.empty())
        return 0;
    const DICT_TABLE &t = dict_tables[l.table];
    void *data = nullptr;
    int size = 0;
    if (read_dict_data(t.file, &data, &size) != 0)
        return -1;
    uint8_t *recs = (uint8_t *)data;
    size_t n = (size_t)size / l.size;
    auto key_of = [&](const uint8_t *r) {
        return Key{field(r, l.owner_off), field(r, l.id_off), field(r, l.id2_off), record_name(r, l)};
    };
    // Names in use per owner: those that were not cut, then those given.
    std::map<uint32_t, std::set<std::string>> taken;
    for (size_t i = 0; i < n; i++) {
        const uint8_t *r = recs + i * l.size;
        if (!cut.count(key_of(r)))
            taken[field(r, l.owner_off)].insert(record_name(r, l));
    }
    // One name per owner and full name: the partitions of a table share its
    // name in OBJ$, and keep sharing it.
    std::map<std::pair<uint32_t, std::string>, std::string> given;
    for (const CutName &c : g_cut) {
        if (c.table != l.table || given.count({c.owner, c.full}))
            continue;
        std::set<std::string> &used = taken[c.owner];
        unsigned k = 1;
        std::string name = kept_name(c.full, k);
        while (used.count(name))
            name = kept_name(c.full, ++k);
        used.insert(name);
        given[{c.owner, c.full}] = name;
        fprintf(stderr, "%s name \"%s\" is longer than %d bytes: kept as \"%s\".\n", l.what, c.full.c_str(),
                NAME_KEPT, name.c_str());
        std::string of = l.table == DT_OBJ ? "user#" + std::to_string(c.owner)
                         : l.table == DT_COL ? "obj#" + std::to_string(c.owner)
                                             : "";
        list += std::string(l.what) + "\t" + of + "\t" + name + "\t" + c.full + "\n";
    }
    for (size_t i = 0; i < n; i++) {
        uint8_t *r = recs + i * l.size;
        auto it = cut.find(key_of(r));
        if (it == cut.end())
            continue;
        const std::string &name = given[{it->second->owner, it->second->full}];
        memset(r + l.name_off, 0, NAME_KEPT + 1);
        memcpy(r + l.name_off, name.data(), name.size());
    }
    g_ctx.fd = -1;
    int rc = write_dict_data(t.file, recs, (int)(n * l.size));
    if (g_ctx.fd != -1) {
        close(g_ctx.fd);
        g_ctx.fd = -1;
    }
    if (data != g_ctx.wrk)
        free(data);
    if (rc != 0)
        fputs(t.write_msg, stderr);
    return rc;
}

} // namespace

void long_names_begin(void)
{
    g_cut.clear();
    g_collect = true;
}

void note_long_name(int table, uint32_t owner, uint32_t id, uint32_t id2, const uint8_t *full, size_t len)
{
    if (g_collect)
        g_cut.push_back(CutName{table, owner, id, id2, std::string((const char *)full, len)});
}

int long_names_settle(void)
{
    g_collect = false;
    char path[2048];
    snprintf(path, sizeof(path), "%s/%s", g_ctx.par.dict_dir, LONG_NAMES_FILE);
    std::string list;
    int rc = 0;
    for (const Layout &l : g_layouts)
        if (settle_table(l, list) != 0)
            rc = -1;
    g_cut.clear();
    if (list.empty()) {
        // No name was cut: a list left by an earlier export would be wrong.
        if (unlink(path) != 0 && errno != ENOENT)
            fprintf(stderr, "remove %s: %s\n", path, strerror(errno));
        return rc;
    }
    list = "what\tof\tname\tfull name\n" + list;
    FILE *fp = fopen(path, "w");
    if (fp == nullptr || fwrite(list.data(), 1, list.size(), fp) != list.size()) {
        fprintf(stderr, "write %s: %s\n", path, strerror(errno));
        if (fp)
            fclose(fp);
        return -1;
    }
    if (fclose(fp) != 0) {
        fprintf(stderr, "write %s: %s\n", path, strerror(errno));
        return -1;
    }
    fprintf(stderr, "names longer than %d bytes are listed with the names kept in %s.\n", NAME_KEPT, path);
    return rc;
}
