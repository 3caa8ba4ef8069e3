// Values the target refuses: the rows are rejected one by one, every good row
// goes in, the run goes on with the next table and says what happened, on
// standard error, in the LOG file and in its exit status.
#include <gtest/gtest.h>

#include "harness.h"
#include "util.h"

using namespace dumptest;

namespace {

// A DATE whose month byte is 13: the target raises ORA-01843.
std::string bad_month() { return bytes({120, 118, 13, 1, 1, 1, 1}); }
// A DATE whose day byte is 0: ORA-01847.
std::string bad_day() { return bytes({120, 118, 2, 0, 1, 1, 1}); }

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

}   // namespace

// One column of NUMBER and DATE takes 32767 rows per array execution, so rows
// 1, 32767, 32768 and the last are at the first and last slots of a batch.
TEST(ImportReject, BadValuesInArrayBatchesRejectOnlyTheirRows)
{
    workdir w;
    dump d;
    table emp{"EMP", {{"ID", 2, 22}, {"HIRED", 12, 7}}};
    const int rows = 40000;
    long long good_sum = 0;
    for (int i = 1; i <= rows; i++) {
        bool bad = i == 1 || i == 20000 || i == 20001 || i == 32767 || i == 32768 || i == rows;
        emp.row({v(num(i)), v(bad ? (i == 20001 ? bad_day() : bad_month()) : date(2001, 1 + i % 12, 1 + i % 28))});
        if (!bad)
            good_sum += i;
    }
    table dept{"DEPT", {{"DEPTNO", 2, 22}}};
    dept.row({v(num(10))});
    d.tables = {emp, dept};
    run_result r = w.import(d, "LOG=" + w.path("imp.log"));
    EXPECT_EQ(r.rc, 1) << r.err;
    const std::string rejects = "Row 1 of table \"EMP\" rejected: ORA-01843: not a valid month\n"
                                "Row 20000 of table \"EMP\" rejected: ORA-01843: not a valid month\n"
                                "Row 20001 of table \"EMP\" rejected: ORA-01847: day of month must be between 1 "
                                "and last day of month\n"
                                "Row 32767 of table \"EMP\" rejected: ORA-01843: not a valid month\n"
                                "Row 32768 of table \"EMP\" rejected: ORA-01843: not a valid month\n"
                                "Row 40000 of table \"EMP\" rejected: ORA-01843: not a valid month\n";
    const std::string totals = "\nImport terminated successfully with warnings.\n"
                               "Tables imported: 2, rows imported: 39995, rows rejected: 6, tables skipped: 0.\n\n";
    EXPECT_TRUE(has(r.err, rejects + totals)) << r.err;
    std::string log = slurp(w.path("imp.log"));
    EXPECT_TRUE(has(log, rejects + ". . importing table                             EMP      39994 rows imported\n"
                                   ". . importing table                            DEPT          1 rows imported\n" +
                             totals))
        << log;
    EXPECT_FALSE(has(r.err, "Import terminated successfully.\n"));
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select count(*), sum(ID) from EMP"), "39994|" + std::to_string(good_sum));
    EXPECT_EQ(query(db, "select count(*) from EMP where ID in (1, 20000, 20001, 32767, 32768, 40000)"), "0");
    EXPECT_EQ(query(db, "select ID, HIRED from EMP where ID in (2, 19999, 20002, 32766, 32769, 39999) order by ID"),
              "2|2001-03-03 00:00:00\n19999|2001-08-08 00:00:00\n20002|2001-11-11 00:00:00\n"
              "32766|2001-07-07 00:00:00\n32769|2001-10-10 00:00:00\n39999|2001-04-16 00:00:00");
    EXPECT_EQ(query(db, "select DEPTNO from DEPT"), "10");
}

// Rows of LONG and LOB tables go one by one: a refused row's value records
// are passed over and the rows after it read where they start.
TEST(ImportReject, LongAndLobRowsTheTargetRefuses)
{
    workdir w;
    dump d;
    table longs{"NOTES", {{"ID", 2, 22}, {"D", 12, 7}, {"TEXT", 8, 0}}};
    longs.row({v(num(1)), v(date(2020, 1, 1)), long_value({"first"})});
    longs.row({v(num(2)), v(bad_month()), long_value(split(std::string(70000, 'x')))});
    longs.row({v(num(3)), v(bad_month()), null()});
    longs.row({v(num(4)), v(date(2020, 1, 4)), long_value(split(std::string(40000, 'y')))});
    table lobs{"DOCS", {{"ID", 2, 22}, {"D", 12, 7}, {"BODY", 112, 4000}, {"IMG", 113, 4000}}};
    lobs.row({v(num(1)), v(date(2020, 2, 1)), lob({"one"}), lob({"\x01\x02"})});
    lobs.row({v(num(2)), v(bad_day()), lob(split(std::string(50000, 'b'))), lob({"\x03"})});
    lobs.row({v(num(3)), v(bad_month()), null(), lob({})});
    lobs.row({v(num(4)), v(date(2020, 2, 4)), lob({"four"}), null()});
    d.tables = {longs, lobs};
    run_result r = w.import(d);
    EXPECT_EQ(r.rc, 1) << r.err;
    EXPECT_TRUE(has(r.err, "Row 2 of table \"NOTES\" rejected: ORA-01843: not a valid month\n"
                           "Row 3 of table \"NOTES\" rejected: ORA-01843: not a valid month\n"
                           "Row 2 of table \"DOCS\" rejected: ORA-01847: day of month must be between 1 and last "
                           "day of month\n"
                           "Row 3 of table \"DOCS\" rejected: ORA-01843: not a valid month\n"))
        << r.err;
    EXPECT_TRUE(has(r.err, "Tables imported: 2, rows imported: 4, rows rejected: 4, tables skipped: 0.\n"));
    EXPECT_TRUE(has(r.out, "NOTES          2 rows imported\n")) << r.out;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select ID, length(TEXT), substr(TEXT, 1, 5) from NOTES order by ID"),
              "1|5|first\n4|40000|yyyyy");
    EXPECT_EQ(query(db, "select ID, BODY, hex(IMG) from DOCS order by ID"), "1|one|0102\n4|four|");
}

// A table the target cannot create is reported and skipped; the tables
// around it are imported.
TEST(ImportReject, UncreatableTableAmongGoodOnes)
{
    workdir w;
    dump d;
    table a{"A", {{"N", 2, 22}}};
    a.row({v(num(1))});
    table wide{"WIDE", {{"S", 1, 40000}}};
    wide.row({v("never")});
    table b{"B", {{"N", 2, 22}}};
    b.row({v(num(2))});
    b.row({v(num(3))});
    d.tables = {a, wide, b};
    run_result r = w.import(d, "LOG=" + w.path("imp.log"));
    EXPECT_EQ(r.rc, 1) << r.err;
    const std::string skipped = "OCIStmtExecute()\nORA-00910: specified length too long for its datatype\n\n"
                                "Create table error.\nTable \"WIDE\" skipped.\n";
    EXPECT_TRUE(has(r.err, skipped)) << r.err;
    EXPECT_TRUE(has(r.err, "Tables imported: 2, rows imported: 3, rows rejected: 0, tables skipped: 1.\n"));
    EXPECT_TRUE(has(slurp(w.path("imp.log")), skipped));
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select N from A"), "1");
    EXPECT_EQ(query(db, "select group_concat(N) from B"), "2,3");
    EXPECT_TRUE(has(query(db, "select * from WIDE"), "no such table"));
}

// A table marked partial in the dump is imported with a warning.
TEST(ImportReject, PartialTableWarns)
{
    workdir w;
    dump d;
    table t{"SALVAGED", {{"N", 2, 22}}};
    t.flag = (int)TI_PARTIAL;
    t.row({v(num(1))});
    t.row({v(num(2))});
    d.tables.push_back(t);
    run_result r = w.import(d, "LOG=" + w.path("imp.log"));
    EXPECT_EQ(r.rc, 1) << r.err;
    const std::string warning = "Table \"SALVAGED\" is partial in the dump: rows of it could not be unloaded.\n";
    EXPECT_TRUE(has(r.err, warning)) << r.err;
    EXPECT_TRUE(has(slurp(w.path("imp.log")), warning));
    EXPECT_TRUE(has(r.err, "Tables imported: 1, rows imported: 2, rows rejected: 0, tables skipped: 0.\n"));
    EXPECT_EQ(query(w.path("db/SCOTT.db"), "select count(*) from SALVAGED"), "2");
}

TEST(ImportReject, TablesSelectsByTypedName)
{
    workdir w;
    dump d;
    for (const char *name : {"EMP", "Mixed", "DEPT"}) {
        table t{name, {{"N", 2, 22}}};
        t.row({v(num(1))});
        d.tables.push_back(t);
    }
    run_result r = w.import(d, "'TABLES=emp,\"Mixed\"'");
    EXPECT_EQ(r.rc, 0) << r.err;
    std::string db = w.path("db/SCOTT.db");
    EXPECT_EQ(query(db, "select name from sqlite_master where type = 'table' order by name"), "EMP\nMixed");
    r = w.import(d, "'TABLES=(dept,nosuch)'", "db2");
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(has(r.err, "Table \"NOSUCH\" not found in " + w.path("in.dat") + ".\n")) << r.err;
    EXPECT_EQ(query(w.path("db2/SCOTT.db"), "select name from sqlite_master where type = 'table'"), "DEPT");
}

TEST(ImportReject, HelpAndVersionExitZero)
{
    workdir w;
    for (const char *arg : {"--help", "--version", "HELP=Y", "u/p HELP=Y"}) {
        run_result r = w.run(arg);
        EXPECT_EQ(r.rc, 0) << arg;
        EXPECT_TRUE(has(r.out, "USERID must be the first parameter")) << arg;
        EXPECT_TRUE(has(r.out, "TABLES       list of table names")) << arg;
        EXPECT_TRUE(has(r.out, "\nkelvo-import " KELVO_VERSION_TEXT "\n")) << arg;
    }
    EXPECT_EQ(w.run("").rc, 255);
    EXPECT_EQ(w.run("u/p TABLES=").rc, 255);
}

TEST(ImportReject, ErrorScopesAndColumnNames)
{
    EXPECT_EQ(error_scope(1843), SCOPE_ROW);
    EXPECT_EQ(error_scope(1), SCOPE_ROW);
    EXPECT_EQ(error_scope(942), SCOPE_TABLE);
    EXPECT_EQ(error_scope(3114), SCOPE_RUN);
    EXPECT_EQ(error_scope(-1), SCOPE_RUN);
    COL_INFO cols[3] = {};
    snprintf(cols[0].name, sizeof cols[0].name, "EMPNO");
    snprintf(cols[1].name, sizeof cols[1].name, "ENAME");
    snprintf(cols[2].name, sizeof cols[2].name, "SCOTT");
    char col[32];
    const char *c = error_column("ORA-12899: value too large for column \"SCOTT\".\"EMP\".\"ENAME\" (actual: 12, "
                                 "maximum: 10)\n",
                                 cols, 3, col, sizeof col);
    EXPECT_STREQ(c ? c : "", "ENAME");
    c = error_column("ORA-01400: cannot insert NULL into (\"SCOTT\".\"EMP\".\"EMPNO\")\n", cols, 3, col, sizeof col);
    EXPECT_STREQ(c ? c : "", "EMPNO");
    // Not a column of the table, an unclosed quote, a name on a later line.
    EXPECT_EQ(error_column("ORA-00001: unique constraint (\"SCOTT\".\"PK_EMP\") violated\n", cols, 2, col,
                           sizeof col),
              nullptr);
    EXPECT_EQ(error_column("ORA-01843: not a valid month \"ENAME", cols, 3, col, sizeof col), nullptr);
    EXPECT_EQ(error_column("ORA-01843: not a valid month\nat \"ENAME\"", cols, 3, col, sizeof col), nullptr);
}
