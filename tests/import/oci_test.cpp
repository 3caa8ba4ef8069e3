// The embedded OCI layer holds callers to the documented contract, so that the
// importer's faults show up in tests; and its value decoders give exact SQL
// values for Oracle's internal formats.
#include <date/tz.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "harness.h"
#include "oci_impl.h"
#include "kelvo/values.h"

using namespace dumptest;

namespace {

struct session {
    OCIEnv *env = nullptr;
    OCIError *err = nullptr;
    OCISvcCtx *svc = nullptr;
    OCIServer *srv = nullptr;
    OCISession *ses = nullptr;
    OCIStmt *st = nullptr;

    explicit session(const std::string &dir)
    {
        EXPECT_EQ(OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr), OCI_SUCCESS);
        OCIHandleAlloc(env, (void **)&err, OCI_HTYPE_ERROR, 0, nullptr);
        OCIHandleAlloc(env, (void **)&svc, OCI_HTYPE_SVCCTX, 0, nullptr);
        OCIHandleAlloc(env, (void **)&srv, OCI_HTYPE_SERVER, 0, nullptr);
        EXPECT_EQ(OCIServerAttach(srv, err, (const OraText *)dir.c_str(), (sb4)dir.size(), OCI_DEFAULT), OCI_SUCCESS);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
        OCIHandleAlloc(env, (void **)&ses, OCI_HTYPE_SESSION, 0, nullptr);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, (void *)"scott", 5, OCI_ATTR_USERNAME, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, (void *)"tiger", 5, OCI_ATTR_PASSWORD, err);
        EXPECT_EQ(OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT), OCI_SUCCESS);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
        OCIHandleAlloc(env, (void **)&st, OCI_HTYPE_STMT, 0, nullptr);
    }
    ~session() { OCIHandleFree(env, OCI_HTYPE_ENV); }

    sword exec(const char *sql, ub4 iters = 1)
    {
        sword r = OCIStmtPrepare(st, err, (const OraText *)sql, (ub4)strlen(sql), OCI_NTV_SYNTAX, OCI_DEFAULT);
        return r != OCI_SUCCESS ? r : OCIStmtExecute(svc, st, err, iters, 0, nullptr, nullptr, OCI_DEFAULT);
    }
    std::string error()
    {
        char buf[512] = "";
        sb4 code = 0;
        if (OCIErrorGet(err, 1, nullptr, &code, (OraText *)buf, sizeof buf, OCI_HTYPE_ERROR) != OCI_SUCCESS)
            return "no error";
        return buf;
    }
};

}   // namespace

TEST(OciLayer, WrongHandlesAndWrongOrder)
{
    workdir w;
    session s(w.path("t"));
    // A handle of the wrong type is refused before anything else happens.
    EXPECT_EQ(OCIStmtPrepare((OCIStmt *)s.err, s.err, (const OraText *)"x", 1, OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIStmtExecute(s.svc, (OCIStmt *)s.ses, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIAttrSet(s.svc, OCI_HTYPE_SESSION, (void *)"x", 1, OCI_ATTR_USERNAME, s.err), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleFree(s.st, OCI_HTYPE_SERVER), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIDescriptorFree(s.st, OCI_DTYPE_LOB), OCI_INVALID_HANDLE);

    // Execute and bind before any prepare, piece requests with none pending.
    EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(s.error(), "ORA-24337: statement handle not prepared\n");
    OCIBind *b = nullptr;
    EXPECT_EQ(OCIBindByPos(s.st, &b, s.err, 1, nullptr, 0, SQLT_NUM, nullptr, nullptr, nullptr, 0, nullptr,
                           OCI_DEFAULT),
              OCI_ERROR);
    void *h;
    ub4 type, iter, idx;
    ub1 io, piece;
    EXPECT_EQ(OCIStmtGetPieceInfo(s.st, s.err, &h, &type, &io, &iter, &idx, &piece), OCI_ERROR);

    // Statements other than the importer's shapes carry Oracle's codes.
    EXPECT_EQ(s.exec("select * from dual"), OCI_ERROR);
    EXPECT_EQ(s.error(), "ORA-00900: invalid SQL statement\n");
    EXPECT_EQ(s.exec("create table T (A NUMBER, B WIDGET)"), OCI_ERROR);
    EXPECT_EQ(s.error(), "ORA-00902: invalid datatype\n");
    EXPECT_EQ(s.exec("insert into NOPE (A) values (:1)"), OCI_ERROR);
    EXPECT_EQ(s.error(), "ORA-00942: table or view does not exist\n");
    ASSERT_EQ(s.exec("create table T (A NUMBER)"), OCI_SUCCESS);
    EXPECT_EQ(s.exec("insert into T (A) values (:1)"), OCI_ERROR);
    EXPECT_EQ(s.error(), "ORA-01008: not all variables bound\n");
}

TEST(OciLayer, ArrayLimitTextAtExecuteAndDataAtExec)
{
    workdir w;
    {
        session s(w.path("t"));
        ASSERT_EQ(s.exec("create table A (N NUMBER)"), OCI_SUCCESS);
        ASSERT_EQ(s.exec("create table B (N NUMBER)"), OCI_SUCCESS);
        static uint8_t vals[40000][2];
        static sb2 ind[40000];
        static ub2 alen[40000];
        for (int i = 0; i < 40000; i++) {
            vals[i][0] = 0xC1;
            vals[i][1] = 2;
            alen[i] = 2;
        }
        char text[64] = "insert into A (N) values (:1)";
        ASSERT_EQ(OCIStmtPrepare(s.st, s.err, (const OraText *)text, (ub4)strlen(text), OCI_NTV_SYNTAX, OCI_DEFAULT),
                  OCI_SUCCESS);
        OCIBind *b = nullptr;
        ASSERT_EQ(OCIBindByPos(s.st, &b, s.err, 1, vals, 2, SQLT_NUM, ind, alen, nullptr, 0, nullptr, OCI_DEFAULT),
                  OCI_SUCCESS);
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 32768, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 32767, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        // The text is read when the statement runs, not when it was prepared.
        memcpy(text, "insert into B", 13);
        ind[0] = -1;
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 2, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);

        // A value bound for execute time is asked for even with a NULL
        // indicator; only the piece's own indicator makes it NULL.
        ASSERT_EQ(s.exec("create table L (ID NUMBER, V LONG)"), OCI_SUCCESS);
        const char *ins = "insert into L (ID, V) values (:1, :2)";
        ASSERT_EQ(OCIStmtPrepare(s.st, s.err, (const OraText *)ins, (ub4)strlen(ins), OCI_NTV_SYNTAX, OCI_DEFAULT),
                  OCI_SUCCESS);
        sb2 lind = -1;
        OCIBind *b1 = nullptr, *b2 = nullptr;
        ASSERT_EQ(OCIBindByPos(s.st, &b1, s.err, 1, vals, 2, SQLT_NUM, nullptr, alen, nullptr, 0, nullptr,
                               OCI_DEFAULT),
                  OCI_SUCCESS);
        ASSERT_EQ(OCIBindByPos(s.st, &b2, s.err, 2, nullptr, 100000, SQLT_LNG, &lind, nullptr, nullptr, 0, nullptr,
                               OCI_DATA_AT_EXEC),
                  OCI_SUCCESS);
        EXPECT_EQ(OCIBindArrayOfStruct(b2, s.err, 0, 2, 2, 2), OCI_ERROR);
        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_NEED_DATA);
        // Going on without a piece is refused.
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(s.error(), "ORA-03129: the next piece to be inserted is required\n");
        void *h;
        ub4 type, iter, idx;
        ub1 io, piece;
        ASSERT_EQ(OCIStmtGetPieceInfo(s.st, s.err, &h, &type, &io, &iter, &idx, &piece), OCI_SUCCESS);
        EXPECT_EQ(h, b2);
        EXPECT_EQ(piece, OCI_FIRST_PIECE);
        ub4 n = 3;
        sb2 pind = 0;
        ASSERT_EQ(OCIStmtSetPieceInfo(h, type, s.err, "abc", &n, OCI_FIRST_PIECE, &pind, nullptr), OCI_SUCCESS);
        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_NEED_DATA);
        ASSERT_EQ(OCIStmtGetPieceInfo(s.st, s.err, &h, &type, &io, &iter, &idx, &piece), OCI_SUCCESS);
        EXPECT_EQ(piece, OCI_NEXT_PIECE);
        ASSERT_EQ(OCIStmtSetPieceInfo(h, type, s.err, "de", &(n = 2), OCI_LAST_PIECE, &pind, nullptr), OCI_SUCCESS);
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        // The session's end commits.
        EXPECT_EQ(OCISessionEnd(s.svc, s.err, s.ses, OCI_DEFAULT), OCI_SUCCESS);
    }
    std::string db = w.path("t/SCOTT.db");
    EXPECT_EQ(query(db, "select count(*) from A"), "32767");
    EXPECT_EQ(query(db, "select count(*), count(N) from B"), "2|1");
    EXPECT_EQ(query(db, "select ID, V from L"), "1|abcde");
}

// An array insert stops at the row the target refuses: the rows before it
// stay, the row count says how many, and an execution from a row offset goes
// on after it.
TEST(OciLayer, ArrayInsertStopsAtRefusedRowWithItsCount)
{
    workdir w;
    {
        session s(w.path("t"));
        ASSERT_EQ(s.exec("create table D (X DATE)"), OCI_SUCCESS);
        uint8_t vals[5][7];
        for (int i = 0; i < 5; i++) {
            const uint8_t good[7] = {120, 120, 1, (uint8_t)(i + 1), 1, 1, 1};
            memcpy(vals[i], good, 7);
        }
        vals[2][2] = 13;   // month 13
        ub2 alen[5] = {7, 7, 7, 7, 7};
        const char *ins = "insert into D (X) values (:1)";
        ASSERT_EQ(OCIStmtPrepare(s.st, s.err, (const OraText *)ins, (ub4)strlen(ins), OCI_NTV_SYNTAX, OCI_DEFAULT),
                  OCI_SUCCESS);
        OCIBind *b = nullptr;
        ASSERT_EQ(OCIBindByPos(s.st, &b, s.err, 1, vals, 7, SQLT_DAT, nullptr, alen, nullptr, 0, nullptr, OCI_DEFAULT),
                  OCI_SUCCESS);
        ub4 count = 99, size = 0;
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 5, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(s.error(), "ORA-01843: not a valid month\n");
        ASSERT_EQ(OCIAttrGet(s.st, OCI_HTYPE_STMT, &count, &size, OCI_ATTR_ROW_COUNT, s.err), OCI_SUCCESS);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(size, sizeof count);
        EXPECT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 5, 3, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        ASSERT_EQ(OCIAttrGet(s.st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, s.err), OCI_SUCCESS);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(OCIAttrGet(s.st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_USERNAME, s.err), OCI_ERROR);
        EXPECT_EQ(OCITransCommit(s.svc, s.err, OCI_DEFAULT), OCI_SUCCESS);
    }
    EXPECT_EQ(query(w.path("t/SCOTT.db"), "select group_concat(substr(X, 9, 2)) from D"), "01,02,04,05");
}

TEST(OciLayer, LobStreamsAndTransactions)
{
    workdir w;
    {
        session s(w.path("t"));
        ASSERT_EQ(s.exec("create table T (ID NUMBER, C CLOB)"), OCI_SUCCESS);
        OCILobLocator *empty = nullptr, *ret = nullptr;
        ASSERT_EQ(OCIDescriptorAlloc(s.env, (void **)&empty, OCI_DTYPE_LOB, 0, nullptr), OCI_SUCCESS);
        ASSERT_EQ(OCIDescriptorAlloc(s.env, (void **)&ret, OCI_DTYPE_LOB, 0, nullptr), OCI_SUCCESS);
        ub4 zero = 0;
        ASSERT_EQ(OCIAttrSet(empty, OCI_DTYPE_LOB, &zero, 4, OCI_ATTR_LOBEMPTY, s.err), OCI_SUCCESS);
        const char *ins = "insert into T (ID, C) values (:1, :2) returning C into :3";
        ASSERT_EQ(OCIStmtPrepare(s.st, s.err, (const OraText *)ins, (ub4)strlen(ins), OCI_NTV_SYNTAX, OCI_DEFAULT),
                  OCI_SUCCESS);
        uint8_t one[2] = {0xC1, 2};
        ub2 alen = 2;
        sb2 rind = -1;
        OCIBind *b[3] = {};
        OCIBindByPos(s.st, &b[0], s.err, 1, one, 2, SQLT_NUM, nullptr, &alen, nullptr, 0, nullptr, OCI_DEFAULT);
        OCIBindByPos(s.st, &b[1], s.err, 2, &empty, 8, SQLT_CLOB, nullptr, nullptr, nullptr, 0, nullptr,
                     OCI_DEFAULT);
        OCIBindByPos(s.st, &b[2], s.err, 3, &ret, 8, SQLT_CLOB, &rind, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
        // A locator not yet returned by an insert cannot be written.
        oraub8 ba = 0, ca = 0;
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 1, (void *)"x", 1, OCI_ONE_PIECE, nullptr, nullptr, 0,
                               SQLCS_IMPLICIT),
                  OCI_ERROR);
        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        EXPECT_EQ(rind, 0);
        ASSERT_EQ(OCILobOpen(s.svc, s.err, ret, OCI_LOB_READWRITE), OCI_SUCCESS);
        EXPECT_EQ(OCILobOpen(s.svc, s.err, ret, OCI_LOB_READWRITE), OCI_ERROR);
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 1, (void *)"x", 1, OCI_NEXT_PIECE, nullptr, nullptr, 0,
                               SQLCS_IMPLICIT),
                  OCI_ERROR);   // no first piece
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 1, (void *)"\x00h\x00i", 4, OCI_FIRST_PIECE, nullptr,
                               nullptr, 2000, SQLCS_IMPLICIT),
                  OCI_NEED_DATA);
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 1, (void *)"\x4e\x2d", 2, OCI_LAST_PIECE, nullptr,
                               nullptr, 2000, SQLCS_IMPLICIT),
                  OCI_SUCCESS);
        EXPECT_EQ(ba, 6u);
        EXPECT_EQ(ca, 3u);
        // Committing with the LOB still open costs the transaction.
        EXPECT_EQ(OCITransCommit(s.svc, s.err, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(query(w.path("t/SCOTT.db"), "select count(*) from T"), "0");

        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        ASSERT_EQ(OCILobOpen(s.svc, s.err, ret, OCI_LOB_READWRITE), OCI_SUCCESS);
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 1, (void *)"abc", 3, OCI_ONE_PIECE, nullptr, nullptr, 0,
                               SQLCS_IMPLICIT),
                  OCI_SUCCESS);
        EXPECT_EQ(OCILobWrite2(s.svc, s.err, ret, &ba, &ca, 3, (void *)"Z", 1, OCI_ONE_PIECE, nullptr, nullptr, 0,
                               SQLCS_IMPLICIT),
                  OCI_SUCCESS);
        ASSERT_EQ(OCILobClose(s.svc, s.err, ret), OCI_SUCCESS);
        EXPECT_EQ(OCITransCommit(s.svc, s.err, OCI_DEFAULT), OCI_SUCCESS);
        EXPECT_EQ(query(w.path("t/SCOTT.db"), "select ID, C from T"), "1|abZ");

        // Work left uncommitted when the connection goes without a session
        // end is lost; a rollback drops it too.
        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        EXPECT_EQ(OCITransRollback(s.svc, s.err, OCI_DEFAULT), OCI_SUCCESS);
        ASSERT_EQ(OCIStmtExecute(s.svc, s.st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        EXPECT_EQ(OCIServerDetach(s.srv, s.err, OCI_DEFAULT), OCI_SUCCESS);
    }
    EXPECT_EQ(query(w.path("t/SCOTT.db"), "select count(*) from T"), "1");
}

TEST(OracleValues, NumbersDatesIntervalsAndFloats)
{
    auto number = [](const std::string &raw) {
        std::string scratch;
        sql_value v;
        int rc = ora_number_value((const uint8_t *)raw.data(), raw.size(), v, scratch);
        if (rc)
            return "ORA-" + std::to_string(rc);
        char buf[64];
        switch (v.kind) {
        case sql_value::INT: return "int " + std::to_string(v.i);
        case sql_value::REAL: snprintf(buf, sizeof buf, "real %.15g", v.d); return std::string(buf);
        default: return "text " + std::string(v.p, v.n);
        }
    };
    EXPECT_EQ(number(bytes({0x80})), "int 0");
    EXPECT_EQ(number(bytes({0x3E, 0x60, 0x66})), "int -5");
    EXPECT_EQ(number(bytes({0xC4, 0x0D, 0x23, 0x39, 0x4F})), "int 12345678");
    // A decimal is a REAL only when a double holds it exactly; any other is
    // kept as its exact text rather than rounded.
    EXPECT_EQ(number(bytes({0xBF, 0x0B})), "text 0.001");
    EXPECT_EQ(number(bytes({0x3E, 0x64, 0x4E, 0x3D, 0x66})), "text -1.234");
    EXPECT_EQ(number(bytes({0xC0, 0x33})), "real 0.5");
    EXPECT_EQ(number(bytes({0x3E, 0x62, 0x4C, 0x66})), "real -3.25");
    EXPECT_EQ(number(bytes({0xC1, 0x04, 0x26, 0x33})), "real 3.375");
    EXPECT_EQ(number(bytes({0xC3, 0x18, 0x15, 0x2B, 0x3A})), "text 232042.57");
    EXPECT_EQ(number(bytes({0xC6, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64})), "text 999999999999.9999");
    std::string max = num(INT64_MAX), past = max;
    past.back()++;   // the last digit one higher: 2^63
    EXPECT_EQ(number(max), "int 9223372036854775807");
    EXPECT_EQ(number(past), "text 9223372036854775808");
    EXPECT_EQ(number(num(INT64_MIN)), "int -9223372036854775808");
    EXPECT_EQ(number(bytes({0x00})), "text -~");
    EXPECT_EQ(number(bytes({0xC1, 0x00})), "ORA-1722");   // digit byte out of range
    EXPECT_EQ(number(bytes({})), "ORA-1722");

    std::string s;
    std::string d = bytes({119, 192, 11, 30, 16, 18, 1});
    ASSERT_EQ(ora_date_text((const uint8_t *)d.data(), 7, s), 0);
    EXPECT_EQ(s, "1992-11-30 15:17:00");
    d = bytes({0, 0, 0, 0, 0, 0, 0});
    EXPECT_NE(ora_date_text((const uint8_t *)d.data(), 7, s), 0);
    d = bytes({120, 121, 7, 18, 1, 6, 16, 48, 196, 170, 56, 20, 60});
    ASSERT_EQ(ora_timestamp_text((const uint8_t *)d.data(), 13, true, s), 0);
    EXPECT_EQ(s, "2021-07-18 00:05:15.818195+00:00");
    // A negative offset that moves the local time to the day before.
    d = bytes({120, 121, 1, 1, 2, 1, 1, 0, 0, 0, 0, 17, 30});
    ASSERT_EQ(ora_timestamp_text((const uint8_t *)d.data(), 13, true, s), 0);
    EXPECT_EQ(s, "2020-12-31 21:30:00-03:30");
    d = bytes({127, 255, 255, 251, 50});
    ASSERT_EQ(ora_interval_ym_text((const uint8_t *)d.data(), 5, s), 0);
    EXPECT_EQ(s, "-05-10");
    d = bytes({0x80, 0, 0, 5, 0x3C, 0x3C, 0x46, 0x80, 0, 0, 0});
    ASSERT_EQ(ora_interval_ds_text((const uint8_t *)d.data(), 11, s), 0);
    EXPECT_EQ(s, "+05 00:00:10.000000000");
    double f;
    d = bytes({60, 249, 140, 204});
    ASSERT_EQ(ora_binary_float((const uint8_t *)d.data(), 4, false, f), 0);
    EXPECT_FLOAT_EQ((float)f, -134.45f);
    d = bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(ora_binary_float((const uint8_t *)d.data(), 8, true, f), 0);
    EXPECT_EQ(f, 1.0);
}

namespace {

// The UTC instant of "YYYY-MM-DD HH:MM:SS[.f] Region/Name" read back through
// the time-zone database from local time, the other way from the decoder.
long long instant_of(const std::string &text)
{
    int y, mo, d, h, mi, s;
    EXPECT_EQ(sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s), 6) << text;
    date::local_seconds local = date::local_days{date::year{y} / mo / d} + std::chrono::hours{h} +
                                std::chrono::minutes{mi} + std::chrono::seconds{s};
    const date::time_zone *z = date::locate_zone(text.substr(text.find(' ', 11) + 1));
    return z->to_sys(local, date::choose::earliest).time_since_epoch().count();
}

long long utc_of(int y, int mo, int d, int h, int mi, int s)
{
    date::sys_seconds t = date::sys_days{date::year{y} / mo / d} + std::chrono::hours{h} + std::chrono::minutes{mi} +
                          std::chrono::seconds{s};
    return t.time_since_epoch().count();
}

}   // namespace

// Region ids become the local time in the region at the stored instant and
// the region's name; daylight saving comes from the system's zone database.
TEST(OracleValues, TimestampWithTimeZoneRegions)
{
    struct sample {
        int utc[6];
        uint32_t ns;
        unsigned id;
        const char *text;
    } samples[] = {
        {{2024, 1, 8, 16, 34, 49}, 686386800, 288, "2024-01-08 19:34:49.6863868 Asia/Riyadh"},
        {{2024, 7, 15, 10, 0, 0}, 0, 383, "2024-07-15 12:00:00 Europe/Berlin"},        // summer, +02:00
        {{2024, 1, 15, 23, 30, 0}, 500000000, 383, "2024-01-16 00:30:00.5 Europe/Berlin"},   // winter, +01:00
        // New York moves from 02:00 EST to 03:00 EDT at 07:00 UTC.
        {{2024, 3, 10, 6, 59, 59}, 0, 100, "2024-03-10 01:59:59 America/New_York"},
        {{2024, 3, 10, 7, 0, 0}, 0, 100, "2024-03-10 03:00:00 America/New_York"},
        {{2024, 3, 10, 7, 0, 1}, 1000, 100, "2024-03-10 03:00:01.000001 America/New_York"},
        // An alias numbered apart keeps its own name: 612 is US/Eastern.
        {{2024, 1, 15, 17, 0, 0}, 0, 612, "2024-01-15 12:00:00 US/Eastern"},
        {{2024, 7, 15, 17, 0, 0}, 0, 612, "2024-07-15 13:00:00 US/Eastern"},
        {{2024, 7, 15, 17, 0, 0}, 0, 5121, "2024-07-15 17:00:00 UTC"},
    };
    for (const sample &c : samples) {
        SCOPED_TRACE(c.text);
        const int *u = c.utc;
        std::string b = region_stamp(u[0], u[1], u[2], u[3], u[4], u[5], c.ns, c.id);
        std::string s;
        tz_region_miss miss;
        ASSERT_EQ(ora_timestamp_text((const uint8_t *)b.data(), 13, true, s, &miss), 0);
        EXPECT_EQ(s, c.text);
        EXPECT_FALSE(miss.missed);
        EXPECT_EQ(instant_of(s), utc_of(u[0], u[1], u[2], u[3], u[4], u[5]));
    }
    // The low two bits of byte 12 are flags, not part of the id.
    std::string s;
    std::string b = region_stamp(2024, 1, 8, 16, 34, 49, 686386800, 288, 3);
    ASSERT_EQ(ora_timestamp_text((const uint8_t *)b.data(), 13, true, s), 0);
    EXPECT_EQ(s, "2024-01-08 19:34:49.6863868 Asia/Riyadh");

    // An id Oracle does not use, the highest id the bytes hold, and a region
    // the zone database dropped: UTC, and the id handed back.
    for (unsigned id : {289u, 8191u, 639u}) {
        SCOPED_TRACE(id);
        b = region_stamp(2024, 7, 15, 10, 0, 0, 250000000, id);
        tz_region_miss miss;
        ASSERT_EQ(ora_timestamp_text((const uint8_t *)b.data(), 13, true, s, &miss), 0);
        EXPECT_EQ(s, "2024-07-15 10:00:00.25+00:00");
        EXPECT_TRUE(miss.missed);
        EXPECT_EQ(miss.id, id);
    }
    EXPECT_EQ(tz_region_name(289), nullptr);
    EXPECT_STREQ(tz_region_name(639), "Canada/East-Saskatchewan");
}

// Every region of Oracle's table whose zone file the system has resolves, the
// aliases included: a name the table or the library spells differently from
// the zone files would otherwise be kept as UTC unnoticed.
TEST(OracleValues, EveryRegionWithAZoneFileResolves)
{
    ASSERT_EQ(tz_region_count, 595u);
    int resolved = 0;
    for (size_t i = 0; i < tz_region_count; i++) {
        const tz_region_entry &e = tz_region_table[i];
        if (i > 0) {
            EXPECT_LT(tz_region_table[i - 1].id, e.id);
        }
        struct stat sb;
        if (stat(("/usr/share/zoneinfo/" + std::string(e.name)).c_str(), &sb) != 0)
            continue;
        int32_t off;
        const char *name;
        EXPECT_EQ(tz_region_offset(e.id, utc_of(2024, 1, 1, 0, 0, 0), off, name), TZ_REGION_OK) << e.name;
        EXPECT_STREQ(name, e.name);
        resolved++;
    }
    EXPECT_GT(resolved, 580);
}
