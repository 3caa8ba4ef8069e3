// Writes the database of the LOB benchmark: the builder's standard database
// with user SCOTT and two tables of COUNT rows, each row an ID and one BLOB
// of MIB MiB. BASIC's BLOB column is a BasicFile LOB of 4-block chunks (32
// KiB with 8 KiB blocks; the locator names the first twelve chunks, the LOB
// index the others) in tablespace LOBB; SECURE's is a SecureFile LOB whose
// locators list extents of 128 blocks, in tablespace LOBS. The chunks and
// extents of a value lie one after another, as an unfragmented segment
// holds them. Prints the two LOB datafiles and the bytes of LOB data in each
// table.
//   bench_lob_db DIR [COUNT [MIB]]   (BENCH_LOB_CHUNK: blocks per chunk instead of 4)
#include "kbuild.h"
#include "lobs.h"

#include <cstdio>
#include <cstdlib>

using namespace kb;

namespace {

DbColumn column(const char *name, int type)
{
    DbColumn c;
    c.name = name;
    c.type = type;
    return c;
}

// Bytes of value number k: cheap to make, different in every value.
std::vector<uint8_t> value_bytes(size_t n, uint64_t k)
{
    std::vector<uint8_t> b(n);
    uint64_t x = 0x9E3779B97F4A7C15ull * (k + 1);
    for (size_t i = 0; i + 8 <= n; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        for (int j = 0; j < 8; j++)
            b[i + (size_t)j] = (uint8_t)(x >> (8 * j));
    }
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: bench_lob_db DIR [COUNT [MIB]]\n");
        return 2;
    }
    std::string dir = argv[1];
    uint32_t count = argc > 2 ? (uint32_t)strtoul(argv[2], nullptr, 10) : 1000;
    size_t size = (argc > 3 ? strtoull(argv[3], nullptr, 10) : 1) << 20;
    const uint32_t bsz = 8192;
    const char *ch = getenv("BENCH_LOB_CHUNK");
    const int chunk = ch ? atoi(ch) : 4;

    Database db = standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    struct Kind {
        const char *table, *ts;
        uint32_t tsn;
        LobForm form;
    } kinds[] = {{"BASIC", "LOBB", 7, LobForm::BasicChunks}, {"SECURE", "LOBS", 8, LobForm::SecureExtents}};
    for (const Kind &k : kinds) {
        DbTable t;
        t.owner = "SCOTT";
        t.name = k.table;
        t.cols = {column("ID", 2), column("DATA", 113)};
        t.seg.ext_blocks = 64;
        DbLob l;
        l.column = "DATA";
        l.chunk = k.form == LobForm::BasicChunks ? chunk : 1;
        if (k.form != LobForm::BasicChunks)
            l.property = 0x800;   // SecureFile
        l.shape.scatter = false;
        l.shape.tablespace = k.ts;
        t.lobs.push_back(l);
        uint64_t need = 0;
        for (uint32_t i = 0; i < count; i++) {
            LobValue v = lob_blob(value_bytes(size, (uint64_t)i + (k.tsn << 20)), k.form);
            v.extent_blocks = 128;
            need += k.form == LobForm::BasicChunks ? basic_blocks_needed(v, chunk, bsz) : secure_blocks_needed(v, bsz);
            t.lob_values.push_back(std::move(v));
            LogicalRow r;
            r.cols = {col_num(i + 1), col_lob(i)};
            t.rows.push_back(std::move(r));
        }
        // The LOB data, the LOB index and the segment headers, with room to spare.
        DbTablespace ts;
        ts.name = k.ts;
        ts.tsn = k.tsn;
        DbFile f;
        f.fno = k.tsn;
        f.blocks = (uint32_t)(need + need / 50 + 256);
        ts.files.push_back(f);
        db.tablespaces.push_back(ts);
        db.tables.push_back(std::move(t));
    }
    if (build_database(db, dir) || write_config(dir, db.files))
        return 1;
    for (const Kind &k : kinds)
        for (const DbTablespace &ts : db.tablespaces)
            if (ts.name == k.ts)
                printf("%s %s %llu\n", k.table, ts.files[0].path.c_str(), (unsigned long long)count * size);
    return 0;
}
