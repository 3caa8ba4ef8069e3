// Writes the database of the unload benchmark: the builder's standard
// database with user SCOTT and table BIG (NUMBER, VARCHAR2, DATE) alone in
// tablespace BIGTS, whose segment is then widened to one extent over the
// whole datafile and filled with rows, every 64th block ending with a row
// chained into the next block.
//   bench_unload_db DIR MIB
#include "kbuild.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace kb;

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench_unload_db DIR MIB\n");
        return 2;
    }
    std::string dir = argv[1];
    uint32_t bsz = 8192;
    uint32_t blocks = (uint32_t)((strtoull(argv[2], nullptr, 10) << 20) / bsz);
    const uint32_t first = 200;   // past the small segment the builder lays out

    Database db = standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    DbTablespace ts;
    ts.name = "BIGTS";
    ts.tsn = 7;
    DbFile f;
    f.fno = 7;
    f.blocks = blocks;
    ts.files.push_back(f);
    db.tablespaces.push_back(ts);
    DbTable t;
    t.owner = "SCOTT";
    t.name = "BIG";
    t.tablespace = "BIGTS";
    t.seg_kind = 0x10;
    DbColumn c1, c2, c3;
    c1.name = "ID";
    c1.type = 2;
    c2.name = "NAME";
    c2.type = 1;
    c2.length = 60;
    c3.name = "CREATED";
    c3.type = 12;
    t.cols = {c1, c2, c3};
    LogicalRow r;
    r.cols = {col_num(0), col_str("seed"), col_bytes(ora_date(2026, 1, 1))};
    t.rows = {r};
    db.tables.push_back(t);
    if (build_database(db, dir) || write_config(dir, db.files))
        return 1;
    const DbTable *btp = nullptr;
    for (const DbTable &x : db.tables)
        if (x.owner == "SCOTT" && x.name == "BIG")
            btp = &x;
    if (!btp)
        return 1;
    const DbTable &bt = *btp;
    std::string path;
    for (const DbTablespace &x : db.tablespaces)
        if (x.name == "BIGTS")
            path = x.files[0].path;
    int fd = open(path.c_str(), O_RDWR);
    if (fd < 0) {
        perror(path.c_str());
        return 1;
    }
    auto write_block = [&](uint32_t b, uint8_t *p) {
        fix_check(p, bsz);
        if (pwrite(fd, p, bsz, (off_t)bsz * b) != (ssize_t)bsz) {   // block 0 is one block long
            perror("pwrite");
            exit(1);
        }
    };

    Segment s;
    s.kind = 0x10;
    s.objd = bt.objd;
    s.hdr = rdba(bt.fno, bt.blk);
    s.extents.push_back({rdba(bt.fno, first), blocks - first + 1});
    std::vector<uint8_t> blk(bsz);
    make_segment_header(blk.data(), bsz, s);
    write_block(bt.blk, blk.data());

    // Two templates: a block of whole rows, and one whose last slot is the
    // head of a row continued in slot 0 of the next block.
    auto rows_block = [&](bool chained_head, bool chained_tail) {
        DataBlock d;
        d.objd = bt.objd;
        d.tables.resize(1);
        if (chained_tail) {
            Piece p;
            p.fb = FB_LAST;
            p.cols = {col_bytes(ora_date(2026, 12, 8, 12, 0, 0))};
            d.tables[0].push_back(Slot{false, encode_piece(p)});
        }
        for (int i = 0;; i++) {
            Piece p;
            char name[64];
            snprintf(name, sizeof(name), "ROW %d OF THE UNLOAD BENCHMARK", i);
            p.cols = {col_num(100000 + i), col_str(name),
                      col_bytes(ora_date(2026, 12, 8, 12, 0, i % 60))};
            d.tables[0].push_back(Slot{false, encode_piece(p)});
            if (block_free_space(d, bsz) < 120)
                break;
        }
        if (chained_head) {
            Piece p;
            p.fb = FB_HEAD | FB_FIRST;
            p.has_nrid = true;
            p.cols = {col_num(-1), col_str("A ROW CHAINED INTO THE NEXT BLOCK")};
            d.tables[0].push_back(Slot{false, encode_piece(p)});
        }
        return d;
    };
    DataBlock plain = rows_block(false, false), head = rows_block(true, false), tail = rows_block(false, true);
    std::vector<uint8_t> buf((size_t)bsz * 1024);
    uint64_t nrows = 0;
    for (uint32_t b = first; b <= blocks;) {
        uint32_t n = std::min<uint32_t>(1024, blocks - b + 1);
        for (uint32_t i = 0; i < n; i++) {
            uint32_t k = b + i;
            uint8_t *p = buf.data() + (size_t)i * bsz;
            bool h = k % 64 == 0 && k < blocks, tl = k % 64 == 1 && k > first;
            DataBlock &d = h ? head : tl ? tail : plain;
            if (h) {
                Piece p;
                p.fb = FB_HEAD | FB_FIRST;
                p.has_nrid = true;
                p.nrid = {rdba(bt.fno, k + 1), 0};
                p.cols = {col_num(-1), col_str("A ROW CHAINED INTO THE NEXT BLOCK")};
                d.tables[0].back().bytes = encode_piece(p);
            }
            compose_data_block(d, bsz, rdba(bt.fno, k), p);
            fix_check(p, bsz);
            nrows += d.tables[0].size() - (tl ? 1 : 0);
        }
        if (pwrite(fd, buf.data(), (size_t)n * bsz, (off_t)bsz * b) != (ssize_t)((size_t)n * bsz)) {
            perror("pwrite");
            return 1;
        }
        b += n;
    }
    close(fd);
    printf("%s %llu\n", path.c_str(), (unsigned long long)nrows);
    return 0;
}
