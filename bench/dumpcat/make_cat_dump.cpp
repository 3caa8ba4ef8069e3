// Writes a large dump for the dumpcat benchmark: tables of NUMBER,
// VARCHAR2, DATE, TIMESTAMP and RAW rows, and one with a CLOB and a BLOB of
// 1 MiB per row, until the file reaches the asked size. Every table has the
// same rows (built once), so the file is written as it grows.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dump_writer.h"

using namespace dumptest;

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "%s dump.dat megabytes\n", argv[0]);
        return 1;
    }
    uint64_t want = (uint64_t)atol(argv[2]) << 20;
    table rows("ROWS", {{"ID", 2, 22}, {"NAME", 1, 30}, {"SAL", 2, 22}, {"HIRED", 12, 7}, {"TS", 180, 11},
                        {"TAG", 23, 16}, {"NOTE", 1, 100}});
    for (long i = 0; rows.rows.size() < (64u << 20); i++) {
        std::string ts = date(1980 + (int)(i % 40), 1 + (int)(i % 12), 1 + (int)(i % 28), (int)(i % 24),
                              (int)(i % 60), (int)(i % 60));
        for (int k = 0; k < 4; k++)
            ts += (char)(i >> (8 * k));
        rows.row({v(num(i)), v("EMPLOYEE_" + std::to_string(i * 7919 % 1000003)),
                  v(bytes({0xC3, 0x18, 0x15, 0x2B, 0x3A})), v(date(1990, 1 + (int)(i % 12), 1 + (int)(i % 28))),
                  v(ts), v(std::string(16, (char)i)), i % 3 ? null() : v("a note, with \"quotes\"")});
    }
    table lobs("LOBS", {{"ID", 2, 22}, {"BODY", 112, 4000}, {"IMAGE", 113, 4000}});
    std::string text(1 << 20, 'x'), image(1 << 20, '\x5A');
    for (long i = 0; lobs.rows.size() < (64u << 20); i++)
        lobs.row({v(num(i)), lob(split(text)), lob(split(image))});

    // As many tables as the size asks, LOB tables one in four.
    uint32_t ntab = (uint32_t)((want + rows.rows.size() - 1) / rows.rows.size());
    if (ntab == 0)
        ntab = 1;
    std::string head;
    fixed(head, "kelvo", 32);
    fixed(head, "BENCH", 32);
    fixed(head, "AMERICAN_AMERICA.AL32UTF8", 128);
    fixed(head, "AL16UTF16", 64);
    fixed(head, "+00:00", 64);
    be32(head, ntab);
    head.resize(1024, '\0');
    uint64_t t = ((uint64_t)ntab * 56 + 511) / 512 * 512;
    std::string info;
    uint64_t at = 1024 + t;
    for (uint32_t i = 0; i < ntab; i++) {
        const table &tb = i % 4 == 3 ? lobs : rows;
        be32(info, i % 4 == 3 ? 2 : 0);
        be32(info, (uint32_t)tb.cols.size());
        be32(info, i % 4 == 3 ? 2 : 0);
        be32(info, tb.nrows);
        be64(info, at);
        fixed(info, tb.name + std::to_string(i), 32);
        at += tb.cols.size() * 48 + tb.rows.size() + 2;
    }
    info.resize(t, '\0');
    FILE *f = fopen(argv[1], "wb");
    if (!f)
        return 1;
    fwrite(head.data(), 1, head.size(), f);
    fwrite(info.data(), 1, info.size(), f);
    std::string eot;
    be16(eot, EOT);
    for (uint32_t i = 0; i < ntab; i++) {
        const table &tb = i % 4 == 3 ? lobs : rows;
        std::string ci = col_info(tb);
        fwrite(ci.data(), 1, ci.size(), f);
        fwrite(tb.rows.data(), 1, tb.rows.size(), f);
        fwrite(eot.data(), 1, 2, f);
    }
    return fclose(f) == 0 ? 0 : 1;
}
