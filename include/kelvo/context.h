// The global context of the kelvo process: configuration, dictionary counters
// and arrays, the datafiles and the work buffer.
#pragma once

#include "kelvo/config.h"
#include "kelvo/datafile.h"
#include "kelvo/dict.h"

typedef struct __orx_context {
    int fd;                 // dictionary file being written, -1 when none
    CFGPAR par;
    ORXSYS sys;
    uint8_t *wrk;           // the 8 MiB work buffer
    USER *usr;
    TS *ts;
    DATAFILE *df;
    DATAFILE *sysf;         // the SYSTEM datafile: its header holds the bootstrap address
    OBJ *obj;
    TAB *tab;
    COL *col;
    TABPART *tp;
    TABPART *tcp;
    TABSUBPART *tsp;
    LOB *lob;
    LOBIDX *lidx;
    RECYCLED *rbin;         // the recycle bin, by OBJ# (g_nrecycled records)
    void *prsv;
    char cur_usr[32];
    int failed;             // a command failed: the exit status is 1
} ORXCTX;

extern ORXCTX g_ctx;
// Set when a command lost data (a block, a row's later pieces, a LOB or LONG
// value, a dictionary block): the exit status says so.
extern int g_data_lost;
extern char g_cfgname[1024];
extern char g_dbfile_list[1024];
// The "system" key: the path of the SYSTEM datafile, when the list holds the
// files of several containers; empty when not given.
extern char g_system_file[1024];
// The "charset" key: the database character set when no dictionary says it
// (the scan's text counts, the dump header of "unload object"); AL32UTF8
// when not given.
extern char g_charset[64];
