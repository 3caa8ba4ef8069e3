// kelvo: every stage's declarations at once, for code that really uses them
// all (the whole-program tests and the fuzz targets). The reader's own files
// include the headers of the stages they use from include/kelvo/.
//
// The pipeline, stage by stage:
//   config, datafile   the configuration and the datafiles it lists
//   bytes, block       Oracle block and row layouts, the row walk
//   dict               dictionary records, "export dict" and "load dict"
//   dump, unload, lob  the dump file and the unloading of tables and LOBs
//   shell              the command table and the commands
//   diagnose           "verify" and "dump": block checks and block dumps
//   scan               "scan", "list segments", "unload object": no dictionary
//   context            the global context g_ctx
#pragma once

#include "kelvo/bytes.h"
#include "kelvo/config.h"
#include "kelvo/datafile.h"
#include "kelvo/block.h"
#include "kelvo/dict.h"
#include "kelvo/dump.h"
#include "kelvo/unload.h"
#include "kelvo/lob.h"
#include "kelvo/shell.h"
#include "kelvo/diagnose.h"
#include "kelvo/scan.h"
#include "kelvo/context.h"
