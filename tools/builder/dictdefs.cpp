// The dictionary's own tables, clusters and indexes (columns in Oracle's
// order), the standard accounts, tablespaces and properties, and the sample
// database.
#include "dictdefs.h"

#include <cstdio>

namespace kb {

std::vector<DbColumn> parse_columns(const char *list)
{
    // "NAME:TYPE[!],..." with TYPE N (NUMBER), Vn (VARCHAR2(n)), D (DATE),
    // Rn (RAW(n)), L (LONG), Cn (CHAR(n)); "!" marks NOT NULL.
    std::vector<DbColumn> out;
    std::string s(list);
    size_t i = 0;
    while (i < s.size()) {
        size_t e = s.find(',', i);
        if (e == std::string::npos)
            e = s.size();
        std::string item = s.substr(i, e - i);
        size_t c = item.find(':');
        DbColumn col;
        col.name = item.substr(0, c);
        std::string t = item.substr(c + 1);
        if (!t.empty() && t.back() == '!') {
            col.nullable = false;
            t.pop_back();
        }
        int n = t.size() > 1 ? std::stoi(t.substr(1)) : 0;
        switch (t[0]) {
        case 'N': col.type = 2; break;
        case 'V': col.type = 1; col.length = n; break;
        case 'D': col.type = 12; break;
        case 'R': col.type = 23; col.length = n; break;
        case 'L': col.type = 8; break;
        case 'C': col.type = 96; col.length = n; break;
        }
        out.push_back(col);
        i = e + 1;
    }
    return out;
}

const std::vector<SysObject> &system_objects()
{
    static const std::vector<SysObject> objs = {
        {"C_OBJ#", 2, 3, "", 0, {"OBJ#"}, "OBJ#:N", "PCTFREE 5 PCTUSED 40 INITRANS 2 MAXTRANS 255",
         "INITIAL 136K NEXT 200K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", " SIZE 800", 2},
        {"I_OBJ#", 3, 1, "C_OBJ#", 0, {"OBJ#"}, "", "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 3},
        {"TAB$", 4, 2, "C_OBJ#", 1, {"OBJ#"},
         "OBJ#:N!,DATAOBJ#:N,TS#:N!,FILE#:N!,BLOCK#:N!,BOBJ#:N,TAB#:N,COLS:N!,CLUCOLS:N,PCTFREE$:N!,PCTUSED$:N!,"
         "INITRANS:N!,MAXTRANS:N!,FLAGS:N!,AUDIT$:V38!,ROWCNT:N,BLKCNT:N,EMPCNT:N,AVGSPC:N,CHNCNT:N,AVGRLN:N,"
         "AVGSPC_FLB:N,FLBCNT:N,ANALYZETIME:D,SAMPLESIZE:N,DEGREE:N,INSTANCES:N,INTCOLS:N!,KERNELCOLS:N!,"
         "PROPERTY:N!,TRIGFLAG:N,SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "", "", "", 4},
        {"CLU$", 5, 2, "C_OBJ#", 2, {"OBJ#"},
         "OBJ#:N!,DATAOBJ#:N,TS#:N!,FILE#:N!,BLOCK#:N!,COLS:N!,PCTFREE$:N!,PCTUSED$:N!,INITRANS:N!,MAXTRANS:N!,"
         "SIZE$:N,HASHFUNC:V30,HASHKEYS:N,FUNC:N,EXTIND:N,FLAGS:N,DEGREE:N,INSTANCES:N,AVGCHN:N,SPARE1:N,"
         "SPARE2:N,SPARE3:N,SPARE4:N,SPARE5:V1000,SPARE6:V1000,SPARE7:D",
         "", "", "", 5},
        {"C_TS#", 6, 3, "", 0, {"TS#"}, "TS#:N", "PCTFREE 10 PCTUSED 40 INITRANS 2 MAXTRANS 255",
         "INITIAL 24K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", " SIZE 376", 6},
        {"I_TS#", 7, 1, "C_TS#", 0, {"TS#"}, "", "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 7},
        {"C_FILE#_BLOCK#", 8, 3, "", 0, {"TS#", "SEGFILE#", "SEGBLOCK#"}, "TS#:N,SEGFILE#:N,SEGBLOCK#:N",
         "PCTFREE 10 PCTUSED 40 INITRANS 2 MAXTRANS 255",
         "INITIAL 24K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", " SIZE 225", 8},
        {"I_FILE#_BLOCK#", 9, 1, "C_FILE#_BLOCK#", 0, {"TS#", "SEGFILE#", "SEGBLOCK#"}, "",
         "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 9},
        {"C_USER#", 10, 3, "", 0, {"USER#"}, "USER#:N", "PCTFREE 10 PCTUSED 40 INITRANS 2 MAXTRANS 255",
         "INITIAL 24K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", " SIZE 372", 10},
        {"I_USER#", 11, 1, "C_USER#", 0, {"USER#"}, "", "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 11},
        {"FET$", 12, 2, "C_TS#", 2, {"TS#"}, "TS#:N!,FILE#:N!,BLOCK#:N!,LENGTH:N!", "", "", "", 12},
        {"UET$", 13, 2, "C_FILE#_BLOCK#", 1, {"TS#", "SEGFILE#", "SEGBLOCK#"},
         "SEGFILE#:N!,SEGBLOCK#:N!,EXT#:N!,TS#:N!,FILE#:N!,BLOCK#:N!,LENGTH:N!", "", "", "", 13},
        {"SEG$", 14, 2, "C_FILE#_BLOCK#", 2, {"TS#", "FILE#", "BLOCK#"},
         "FILE#:N!,BLOCK#:N!,TYPE#:N!,TS#:N!,BLOCKS:N!,EXTENTS:N!,INIEXTS:N!,MINEXTS:N!,MAXEXTS:N!,EXTSIZE:N!,"
         "EXTPCT:N!,USER#:N!,LISTS:N,GROUPS:N,BITMAPRANGES:N!,CACHEHINT:N!,SCANHINT:N!,HWMINCR:N!,SPARE1:N,SPARE2:N",
         "", "", "", 14},
        {"UNDO$", 15, 2, "", 0, {},
         "US#:N!,NAME:V30!,USER#:N!,FILE#:N!,BLOCK#:N!,SCNBAS:N,SCNWRP:N,XACTSQN:N,UNDOSQN:N,INST#:N,STATUS$:N!,"
         "TS#:N,UGRP#:N,KEEP:N,OPTIMAL:N,FLAGS:N,SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255",
         "INITIAL 16K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 15},
        {"TS$", 16, 2, "C_TS#", 1, {"TS#"},
         "TS#:N!,NAME:V30!,OWNER#:N!,ONLINE$:N!,CONTENTS$:N!,UNDOFILE#:N,UNDOBLOCK#:N,BLOCKSIZE:N!,INC#:N!,"
         "SCNWRP:N,SCNBAS:N,DFLMINEXT:N!,DFLMAXEXT:N!,DFLINIT:N!,DFLINCR:N!,DFLMINLEN:N!,DFLEXTPCT:N!,"
         "DFLOGGING:N!,AFFSTRENGTH:N!,BITMAPPED:N!,PLUGGED:N!,DIRECTALLOWED:N!,FLAGS:N!,PITRSCNWRP:N,"
         "PITRSCNBAS:N,OWNERINSTANCE:V30,BACKUPOWNER:V30,GROUPNAME:V30,SPARE1:N,SPARE2:N,SPARE3:V1000,SPARE4:D",
         "", "", "", 16},
        {"FILE$", 17, 2, "", 0, {},
         "FILE#:N!,STATUS$:N!,BLOCKS:N!,TS#:N,RELFILE#:N,MAXEXTEND:N,INC:N,CRSCNWRP:N,CRSCNBAS:N,"
         "OWNERINSTANCE:V30,SPARE1:N,SPARE2:N,SPARE3:V1000,SPARE4:D",
         "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255",
         "INITIAL 16K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 17},
        {"OBJ$", 18, 2, "", 0, {},
         "OBJ#:N!,DATAOBJ#:N,OWNER#:N!,NAME:V30!,NAMESPACE:N!,SUBNAME:V30,TYPE#:N!,CTIME:D!,MTIME:D!,STIME:D!,"
         "STATUS:N!,REMOTEOWNER:V30,LINKNAME:V128,FLAGS:N,OID$:R16,SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,"
         "SPARE5:V1000,SPARE6:D",
         "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255",
         "INITIAL 16K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 18},
        {"IND$", 19, 2, "C_OBJ#", 3, {"BO#"},
         "OBJ#:N!,DATAOBJ#:N,TS#:N!,FILE#:N!,BLOCK#:N!,BO#:N!,INDMETHOD#:N!,COLS:N!,PCTFREE$:N!,INITRANS:N!,"
         "MAXTRANS:N!,PCTTHRES$:N,TYPE#:N!,FLAGS:N!,PROPERTY:N!,BLEVEL:N,LEAFCNT:N,DISTKEY:N,LBLKKEY:N,"
         "DBLKKEY:N,CLUFAC:N,ANALYZETIME:D,SAMPLESIZE:N,ROWCNT:N,INTCOLS:N!,DEGREE:N,INSTANCES:N,TRUNCCNT:N,"
         "SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "", "", "", 19},
        {"ICOL$", 20, 2, "C_OBJ#", 4, {"BO#"},
         "OBJ#:N!,BO#:N!,COL#:N!,POS#:N!,SEGCOL#:N!,SEGCOLLENGTH:N!,OFFSET:N!,INTCOL#:N!,SPARE1:N,SPARE2:N,"
         "SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "", "", "", 20},
        {"COL$", 21, 2, "C_OBJ#", 5, {"OBJ#"},
         "OBJ#:N!,COL#:N!,SEGCOL#:N!,SEGCOLLENGTH:N!,OFFSET:N!,NAME:V30!,TYPE#:N!,LENGTH:N!,FIXEDSTORAGE:N!,"
         "PRECISION#:N,SCALE:N,NULL$:N!,DEFLENGTH:N,DEFAULT$:L,INTCOL#:N!,PROPERTY:N!,CHARSETID:N,"
         "CHARSETFORM:N,SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "", "", "", 21},
        {"USER$", 22, 2, "C_USER#", 1, {"USER#"},
         "USER#:N!,NAME:V30!,TYPE#:N!,PASSWORD:V30,DATATS#:N!,TEMPTS#:N!,CTIME:D!,PTIME:D,EXPTIME:D,LTIME:D,"
         "RESOURCE$:N!,AUDIT$:V38,DEFROLE:N!,DEFGRP#:N,DEFGRP_SEQ#:N,ASTATUS:N!,LCOUNT:N!,DEFSCHCLASS:V30,"
         "EXT_USERNAME:V4000,SPARE1:N,SPARE2:N,SPARE3:N,SPARE4:V1000,SPARE5:V1000,SPARE6:D",
         "", "", "", 22},
        {"TSQ$", 24, 2, "C_USER#", 2, {"USER#"},
         "TS#:N!,USER#:N!,GRANTOR#:N!,BLOCKS:N!,MAXBLOCKS:N,PRIV1:N!,PRIV2:N!,PRIV3:N!", "", "", "", 24},
        {"I_OBJ1", 36, 1, "OBJ$", 0, {"OBJ#"}, "", "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 36},
        {"I_OBJ2", 37, 1, "OBJ$", 0, {"OWNER#", "NAME", "NAMESPACE", "REMOTEOWNER", "LINKNAME", "SUBNAME"}, "",
         "PCTFREE 10 INITRANS 2 MAXTRANS 255",
         "INITIAL 64K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0", "", 37},
        {"BOOTSTRAP$", 59, 2, "", 0, {}, "LINE#:N!,OBJ#:N!,SQL_TEXT:V4000!", "", "", "", -1},
        {"PROPS$", 96, 2, "", 0, {}, "NAME:V30!,VALUE$:V4000,COMMENT$:V4000", "", "", "", -1},
        {"LOB$", 151, 2, "C_OBJ#", 6, {"OBJ#"},
         "OBJ#:N!,COL#:N!,INTCOL#:N!,LOBJ#:N!,PART#:N!,IND#:N!,TS#:N!,FILE#:N!,BLOCK#:N!,CHUNK:N!,"
         "PCTVERSION$:N!,FLAGS:N!,PROPERTY:N!,RETENTION:N!,FREEPOOLS:N!,SPARE1:N,SPARE2:N,SPARE3:V255",
         "", "", "", -1},
        {"TABPART$", 568, 2, "", 0, {},
         "OBJ#:N!,DATAOBJ#:N,BO#:N!,PART#:N!,HIBOUNDLEN:N!,HIBOUNDVAL:L,TS#:N!,FILE#:N!,BLOCK#:N!,PCTFREE$:N!,"
         "PCTUSED$:N!,INITRANS:N!,MAXTRANS:N!,FLAGS:N!,ANALYZETIME:D,SAMPLESIZE:N,ROWCNT:N,BLKCNT:N,EMPCNT:N,"
         "AVGSPC:N,CHNCNT:N,AVGRLN:N,SPARE1:N,SPARE2:N,SPARE3:N,BHIBOUNDVAL:R2000",
         "", "", "", -1},
        {"TABCOMPART$", 571, 2, "", 0, {},
         "OBJ#:N!,DATAOBJ#:N,BO#:N!,PART#:N!,HIBOUNDLEN:N!,HIBOUNDVAL:L,SUBPARTCNT:N!,FLAGS:N!,DEFTS#:N,"
         "DEFPCTFREE:N!,DEFPCTUSED:N,DEFINITRANS:N!,DEFMAXTRANS:N!,DEFINIEXTS:N,DEFEXTSIZE:N,DEFMINEXTS:N,"
         "DEFMAXEXTS:N,DEFEXTPCT:N,DEFLISTS:N!,DEFGROUPS:N!,DEFLOGGING:N!,SPARE1:N,SPARE2:N,SPARE3:N,"
         "DEFBUFPOOL:N!,DEFCOMPRESS:N!",
         "", "", "", -1},
        {"TABSUBPART$", 574, 2, "", 0, {},
         "OBJ#:N!,DATAOBJ#:N,POBJ#:N!,SUBPART#:N!,FLAGS:N!,TS#:N!,FILE#:N!,BLOCK#:N!,PCTFREE$:N!,PCTUSED$:N!,"
         "INITRANS:N!,MAXTRANS:N!,ANALYZETIME:D,SAMPLESIZE:N,ROWCNT:N,BLKCNT:N,EMPCNT:N,AVGSPC:N,CHNCNT:N,"
         "AVGRLN:N,SPARE1:N,SPARE2:N,SPARE3:N,HIBOUNDLEN:N!,HIBOUNDVAL:L,BHIBOUNDVAL:R2000",
         "", "", "", -1},
        // Written only when the description asks for it (Database::recyclebin).
        {"RECYCLEBIN$", 520, 2, "", 0, {},
         "OBJ#:N!,OWNER#:N!,ORIGINAL_NAME:V128,OPERATION:N!,TYPE#:N!,TS#:N,FILE#:N,BLOCK#:N,DROPTIME:D,DC:N,"
         "RELATED:N!,BO:N!,PURGEOBJ:N!,BASE_TS#:N,BASE_OWNER#:N,SPACE:N,CON#:N,SPARE1:N,SPARE2:N,SPARE3:N",
         "", "", "", -1},
    };
    return objs;
}

std::string column_type_sql(const DbColumn &c)
{
    char b[64];
    bool nat = c.charsetform == 2;
    switch (c.type) {
    case 1:
        snprintf(b, sizeof b, nat ? "NVARCHAR2(%d)" : "VARCHAR2(%d)", nat ? c.length / 2 : c.length);
        return b;
    case 96:
        snprintf(b, sizeof b, nat ? "NCHAR(%d)" : "CHAR(%d)", nat ? c.length / 2 : c.length);
        return b;
    case 2:
        if (c.precision >= 0 && c.scale > 0)
            snprintf(b, sizeof b, "NUMBER(%d,%d)", c.precision, c.scale);
        else if (c.precision >= 0)
            snprintf(b, sizeof b, "NUMBER(%d)", c.precision);
        else
            return "NUMBER";
        return b;
    case 8: return "LONG";
    case 12: return "DATE";
    case 23:
        snprintf(b, sizeof b, "RAW(%d)", c.length);
        return b;
    case 24: return "LONG RAW";
    case 100: return "BINARY_FLOAT";
    case 101: return "BINARY_DOUBLE";
    case 112: return nat ? "NCLOB" : "CLOB";
    case 113: return "BLOB";
    case 180:
        snprintf(b, sizeof b, "TIMESTAMP(%d)", c.scale >= 0 ? c.scale : 6);
        return b;
    case 181:
        snprintf(b, sizeof b, "TIMESTAMP(%d) WITH TIME ZONE", c.scale >= 0 ? c.scale : 6);
        return b;
    case 231:
        snprintf(b, sizeof b, "TIMESTAMP(%d) WITH LOCAL TIME ZONE", c.scale >= 0 ? c.scale : 6);
        return b;
    default:
        snprintf(b, sizeof b, "TYPE#%d", c.type);
        return b;
    }
}

static DbColumn column(const std::string &name, int type, int length = 0, bool nullable = true)
{
    DbColumn c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    return c;
}

Database standard_database()
{
    Database db;
    db.tablespaces = {
        {"SYSTEM", 0, 0, {DbFile{1, 1, 2560, false, 0, "system01.dbf", ""}}},
        {"SYSAUX", 1, 0, {DbFile{2, 2, 128, false, 0, "sysaux01.dbf", ""}}},
        {"UNDOTBS1", 2, 0, {DbFile{3, 3, 128, false, 0, "undotbs01.dbf", ""}}},
        {"TEMP", 3, 1, {}},
        {"USERS", 4, 0, {DbFile{4, 4, 640, false, 0, "users01.dbf", ""}}},
    };
    db.users = {
        {"SYS", 0, 1, "SYSTEM", "TEMP", 0},
        {"PUBLIC", 1, 0, "SYSTEM", "SYSTEM", 0},
        {"CONNECT", 2, 0, "SYSTEM", "SYSTEM", 0},
        {"RESOURCE", 3, 0, "SYSTEM", "SYSTEM", 0},
        {"DBA", 4, 0, "SYSTEM", "SYSTEM", 0},
        {"SYSTEM", 5, 1, "SYSTEM", "TEMP", 0},
    };
    auto prop = [](const char *n, const char *v, const char *c) {
        DbProp p;
        p.name = n;
        p.value = v;
        p.comment = c;
        p.null_comment = false;
        return p;
    };
    db.props = {
        prop("DICT.BASE", "2", "dictionary base tables version #"),
        prop("DEFAULT_TEMP_TABLESPACE", "TEMP", "Name of default temporary tablespace"),
        prop("DEFAULT_PERMANENT_TABLESPACE", "USERS", "Name of default permanent tablespace"),
        prop("DBTIMEZONE", "+00:00", "DB time zone"),
        prop("NLS_LANGUAGE", "AMERICAN", "Language"),
        prop("NLS_TERRITORY", "AMERICA", "Territory"),
        prop("NLS_CURRENCY", "$", "Local currency"),
        prop("NLS_CHARACTERSET", "AL32UTF8", "Character set"),
        prop("NLS_DATE_FORMAT", "DD-MON-RR", "Date format"),
        prop("NLS_NCHAR_CHARACTERSET", "AL16UTF16", "NCHAR Character set"),
        prop("NLS_RDBMS_VERSION", "11.2.0.4.0", "RDBMS version for NLS parameters"),
        prop("GLOBAL_DB_NAME", "KELVO", "Global database name"),
    };
    DbProp none;   // a property without value or comment: its row holds one column
    none.name = "EXPORT_VIEWS_VERSION";
    none.null_value = true;
    db.props.push_back(none);
    return db;
}

Database large_dictionary(uint32_t tables, uint32_t columns, uint32_t objects)
{
    Database db = standard_database();
    db.users.push_back({"BENCH", 100, 1, "USERS", "TEMP", 0});
    std::vector<DbColumn> cols;
    for (uint32_t c = 0; c < columns; c++)
        cols.push_back(column("C" + std::to_string(c + 1), c % 3 == 0 ? 2 : c % 3 == 1 ? 1 : 12, c % 3 == 1 ? 40 : 0));
    db.tables.reserve(tables);
    for (uint32_t t = 0; t < tables; t++) {
        DbTable tab;
        tab.owner = "BENCH";
        tab.name = "T" + std::to_string(t + 1);
        tab.cols = cols;
        tab.no_segment = true;
        db.tables.push_back(std::move(tab));
    }
    for (uint32_t v = tables; v < objects; v++) {
        DbObject o;
        o.owner = 100;
        o.name = "V" + std::to_string(v - tables + 1);
        o.type = 4;   // view
        o.null_objd = true;
        db.extra_objects.push_back(o);
    }
    return db;
}

Database sample_database()
{
    Database db = standard_database();
    db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
    db.users.push_back({"HR", 85, 1, "USERS", "TEMP", 9});

    auto row = [](std::vector<Col> c) {
        LogicalRow r;
        r.cols = std::move(c);
        return r;
    };
    auto num = [](int64_t v) { return col_num(v); };
    auto str = [](const std::string &s) { return col_str(s); };
    auto date = [](int y, int m, int d) { return col_bytes(ora_date(y, m, d)); };
    Col null = col_null();

    DbTable dept;
    dept.owner = "SCOTT";
    dept.name = "DEPT";
    dept.cols = {column("DEPTNO", 2, 22, false), column("DNAME", 1, 14), column("LOC", 1, 13)};
    dept.cols[0].precision = 2;
    dept.cols[0].scale = 0;
    dept.rows = {row({num(10), str("ACCOUNTING"), str("NEW YORK")}), row({num(20), str("RESEARCH"), str("DALLAS")}),
                 row({num(30), str("SALES"), str("CHICAGO")}), row({num(40), str("OPERATIONS"), str("BOSTON")})};
    dept.seg_kind = 0x10;
    db.tables.push_back(dept);

    DbTable emp;
    emp.owner = "SCOTT";
    emp.name = "EMP";
    emp.cols = {column("EMPNO", 2, 22, false), column("ENAME", 1, 10), column("JOB", 1, 9),
                column("MGR", 2), column("HIREDATE", 12), column("SAL", 2),
                column("COMM", 2), column("DEPTNO", 2)};
    struct E { int no; const char *name, *job; int mgr, y, m, d, sal, comm, dept; };
    const E emps[] = {
        {7369, "SMITH", "CLERK", 7902, 1980, 12, 17, 800, -1, 20},
        {7499, "ALLEN", "SALESMAN", 7698, 1981, 2, 20, 1600, 300, 30},
        {7521, "WARD", "SALESMAN", 7698, 1981, 2, 22, 1250, 500, 30},
        {7566, "JONES", "MANAGER", 7839, 1981, 4, 2, 2975, -1, 20},
        {7654, "MARTIN", "SALESMAN", 7698, 1981, 9, 28, 1250, 1400, 30},
        {7698, "BLAKE", "MANAGER", 7839, 1981, 5, 1, 2850, -1, 30},
        {7782, "CLARK", "MANAGER", 7839, 1981, 6, 9, 2450, -1, 10},
        {7788, "SCOTT", "ANALYST", 7566, 1987, 4, 19, 3000, -1, 20},
        {7839, "KING", "PRESIDENT", -1, 1981, 11, 17, 5000, -1, 10},
        {7844, "TURNER", "SALESMAN", 7698, 1981, 9, 8, 1500, 0, 30},
        {7876, "ADAMS", "CLERK", 7788, 1987, 5, 23, 1100, -1, 20},
        {7900, "JAMES", "CLERK", 7698, 1981, 12, 3, 950, -1, 30},
        {7902, "FORD", "ANALYST", 7566, 1981, 12, 3, 3000, -1, 20},
        {7934, "MILLER", "CLERK", 7782, 1982, 1, 23, 1300, -1, 10},
    };
    for (const E &e : emps) {
        LogicalRow r = row({num(e.no), str(e.name), str(e.job), e.mgr < 0 ? null : num(e.mgr), date(e.y, e.m, e.d),
                            num(e.sal), e.comm < 0 ? null : num(e.comm), num(e.dept)});
        if (e.no == 7788)
            r.layout = RowLayout::Migrated;
        emp.rows.push_back(r);
    }
    db.tables.push_back(emp);

    DbTable bonus;
    bonus.owner = "SCOTT";
    bonus.name = "BONUS";
    bonus.cols = {column("ENAME", 1, 10), column("JOB", 1, 9), column("SAL", 2), column("COMM", 2)};
    db.tables.push_back(bonus);

    DbTable sal;
    sal.owner = "SCOTT";
    sal.name = "SALGRADE";
    sal.cols = {column("GRADE", 2), column("LOSAL", 2), column("HISAL", 2)};
    const int grades[][3] = {{1, 700, 1200}, {2, 1201, 1400}, {3, 1401, 2000}, {4, 2001, 3000}, {5, 3001, 9999}};
    for (const auto &g : grades)
        sal.rows.push_back(row({num(g[0]), num(g[1]), num(g[2])}));
    db.tables.push_back(sal);

    // A cluster of two tables keyed by department number.
    DbCluster dc;
    dc.owner = "SCOTT";
    dc.name = "DEPT_CLU";
    dc.key = {column("DEPTNO", 2, 22)};
    dc.keys = {{num(10)}, {num(20)}, {num(30)}};
    db.clusters.push_back(dc);
    DbTable cd;
    cd.owner = "SCOTT";
    cd.name = "CDEPT";
    cd.cluster = "DEPT_CLU";
    cd.cluster_cols = {"DEPTNO"};
    cd.cols = {column("DEPTNO", 2, 22, false), column("DNAME", 1, 14)};
    cd.rows = {row({str("ACCOUNTING")}), row({str("RESEARCH")}), row({str("SALES")})};
    cd.row_keys = {0, 1, 2};
    db.tables.push_back(cd);
    DbTable ce;
    ce.owner = "SCOTT";
    ce.name = "CEMP";
    ce.cluster = "DEPT_CLU";
    ce.cluster_cols = {"DEPTNO"};
    ce.cols = {column("EMPNO", 2, 22, false), column("ENAME", 1, 10), column("DEPTNO", 2, 22)};
    for (const E &e : emps) {
        ce.rows.push_back(row({num(e.no), str(e.name)}));
        ce.row_keys.push_back((size_t)(e.dept / 10 - 1));
    }
    db.tables.push_back(ce);

    // Range partitions, and range-hash composite partitions.
    DbTable sales;
    sales.owner = "SCOTT";
    sales.name = "SALES_HIST";
    sales.cols = {column("ID", 2, 22, false), column("SOLD", 12), column("AMOUNT", 2)};
    const char *bounds[] = {"TO_DATE(' 1981-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')",
                            "TO_DATE(' 1982-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')",
                            "MAXVALUE"};
    for (int p = 0; p < 3; p++) {
        DbPart part;
        part.name = "P" + std::to_string(1980 + p);
        part.hibound = bounds[p];
        for (int i = 0; i < 4 + p; i++)
            part.rows.push_back(row({num(p * 100 + i), date(1980 + p, 1 + i, 1), num(1000 + i)}));
        sales.parts.push_back(part);
    }
    db.tables.push_back(sales);

    DbTable orders;
    orders.owner = "SCOTT";
    orders.name = "ORDERS";
    orders.composite = true;
    orders.cols = {column("ORDER_ID", 2, 22, false), column("REGION", 1, 10)};
    for (int p = 0; p < 2; p++) {
        DbPart part;
        part.name = p == 0 ? "Q1" : "Q2";
        part.hibound = p == 0 ? "1000" : "MAXVALUE";
        for (int s = 0; s < 2; s++) {
            DbPart sp;
            sp.name = part.name + "_SP" + std::to_string(s + 1);
            for (int i = 0; i < 3; i++)
                sp.rows.push_back(row({num(p * 1000 + s * 10 + i), str(s ? "EAST" : "WEST")}));
            part.subparts.push_back(sp);
        }
        orders.parts.push_back(part);
    }
    db.tables.push_back(orders);

    // LOB columns: BODY a BasicFile CLOB of one-block chunks, IMAGE a
    // SecureFile BLOB. Small values stay inline in the row; larger ones
    // take chunks (the 13th on named by the LOB index) or SecureFile extents
    // listed in the locator or in a LOB header block.
    DbTable docs;
    docs.owner = "SCOTT";
    docs.name = "DOCS";
    docs.cols = {column("ID", 2, 22, false), column("BODY", 112), column("IMAGE", 113)};
    DbLob body, image;
    body.column = "BODY";
    image.column = "IMAGE";
    image.property = 0x800;   // SecureFile
    docs.lobs = {body, image};
    auto manual = [](int lines) {
        std::string s;
        for (int i = 1; i <= lines; i++)
            s += "Line " + std::to_string(i) + ": kelvo reads the datafiles directly, no instance needed.\n";
        return s;
    };
    auto image_bytes = [](size_t n, uint8_t seed) {
        std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        for (size_t i = b.size(); i < n; i++)
            b.push_back(i % 7 == 0 ? 0 : (uint8_t)(i * 31 + seed));
        return b;
    };
    docs.lob_values = {
        lob_clob("Caf\xc3\xa9 men\xc3\xbc \xe2\x80\x93 \xc3\x9c" "berblick \xe2\x98\x95", LobForm::BasicInline),
        lob_blob(image_bytes(64, 1), LobForm::SecureInline),
        lob_clob(manual(600), LobForm::BasicChunks),
        lob_blob(image_bytes(40000, 2), LobForm::SecureExtents),
        lob_clob(manual(60), LobForm::BasicChunks),
        lob_blob(image_bytes(300000, 3), LobForm::SecureHeader),
    };
    docs.rows = {row({num(1), col_lob(0), col_lob(1)}), row({num(2), col_lob(2), col_lob(3)}),
                 row({num(3), col_lob(4), col_lob(5)}), row({num(4)})};
    db.tables.push_back(docs);

    DbTable regions;
    regions.owner = "HR";
    regions.name = "REGIONS";
    regions.cols = {column("REGION_ID", 2, 22, false), column("REGION_NAME", 1, 25)};
    regions.rows = {row({num(1), str("Europe")}), row({num(2), str("Americas")}), row({num(3), str("Asia")}),
                    row({num(4), str("Middle East and Africa")})};
    db.tables.push_back(regions);
    return db;
}

} // namespace kb
