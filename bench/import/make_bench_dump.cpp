// Writes the benchmark's rows twice: as a dump file (one table BENCH of
// NUMBER, VARCHAR2 and DATE columns) and as CSV holding the values the
// embedded target stores for them, for the sqlite3 command's .import; with
// "pg", NUMBER, VARCHAR2, DATE, TIMESTAMP and RAW columns and CSV in
// PostgreSQL's input form, for psql's \copy.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dump_writer.h"

using namespace dumptest;

static table sqlite_rows(FILE *csv, long n)
{
    static const char *cities[] = {"LONDON", "PARIS", "NEW YORK", "TOKYO", "DALLAS", "BOSTON", "CHICAGO"};
    table t("BENCH", {{"ID", 2, 22}, {"NAME", 1, 30}, {"SAL", 2, 22}, {"HIRED", 12, 7}, {"DEPTNO", 2, 22},
                      {"CITY", 1, 20}, {"COMM", 2, 22}});
    for (long i = 0; i < n; i++) {
        std::string name = "EMPLOYEE_" + std::to_string(i * 7919 % 1000003);
        long sal = 800 + i * 37 % 9000;
        int y = 1980 + (int)(i % 40), mo = 1 + (int)(i % 12), dd = 1 + (int)(i % 28);
        int h = (int)(i % 24), mi = (int)(i % 60), s = (int)(i % 60);
        int dept = 10 * (1 + (int)(i % 9));
        const char *city = cities[i % 7];
        bool comm = i % 3 == 0;
        std::vector<cell> row = {v(num(i)), v(name), v(num(sal)), v(date(y, mo, dd, h, mi, s)), v(num(dept)),
                                 v(city)};
        if (comm)
            row.push_back(v(num(i % 500)));
        t.row(row);   // a row without COMM ends early
        fprintf(csv, "%ld,%s,%ld,%04d-%02d-%02d %02d:%02d:%02d,%d,%s,", i, name.c_str(), sal, y, mo, dd, h, mi, s,
                dept, city);
        if (comm)
            fprintf(csv, "%ld", i % 500);
        fputc('\n', csv);
    }
    return t;
}

static table pg_rows(FILE *csv, long n)
{
    table t("BENCH", {{"ID", 2, 22}, {"NAME", 1, 30}, {"SAL", 2, 22}, {"HIRED", 12, 7}, {"STAMP", 180, 11},
                      {"TAG", 23, 8}});
    for (long i = 0; i < n; i++) {
        std::string name = "EMPLOYEE_" + std::to_string(i * 7919 % 1000003);
        long sal = 800 + i * 37 % 9000;
        int y = 1980 + (int)(i % 40), mo = 1 + (int)(i % 12), dd = 1 + (int)(i % 28);
        int h = (int)(i % 24), mi = (int)(i % 60), s = (int)(i % 60);
        uint32_t us = (uint32_t)(i * 7 % 1000000), ns = us * 1000;
        std::string stamp = date(y, mo, dd, h, mi, s) +
                            bytes({(int)(ns >> 24), (int)(ns >> 16 & 255), (int)(ns >> 8 & 255), (int)(ns & 255)});
        std::string tag;
        char hex[17];
        for (int k = 0; k < 8; k++) {
            tag += (char)((i >> (k * 3)) * 37 + k);
            snprintf(hex + 2 * k, 3, "%02x", (unsigned char)tag[k]);
        }
        t.row({v(num(i)), v(name), v(num(sal)), v(date(y, mo, dd, h, mi, s)), v(stamp), v(tag)});
        fprintf(csv, "%ld,%s,%ld,%04d-%02d-%02d %02d:%02d:%02d,%04d-%02d-%02d %02d:%02d:%02d.%06u,\\x%s\n", i,
                name.c_str(), sal, y, mo, dd, h, mi, s, y, mo, dd, h, mi, s, us, hex);
    }
    return t;
}

int main(int argc, char **argv)
{
    bool pg = argc == 5 && std::string(argv[4]) == "pg";
    if (argc != 4 && !pg) {
        fprintf(stderr, "%s dump.dat rows.csv rows [pg]\n", argv[0]);
        return 1;
    }
    FILE *csv = fopen(argv[2], "w");
    if (!csv)
        return 1;
    dump d;
    d.owner = "BENCH";
    d.tables.push_back(pg ? pg_rows(csv, atol(argv[3])) : sqlite_rows(csv, atol(argv[3])));
    bool ok = d.write(argv[1]);
    return fclose(csv) == 0 && ok ? 0 : 1;
}
