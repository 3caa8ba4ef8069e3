// The globals of the shell, until the shell's own sources are merged in.
#include "kelvo.h"

ORXCTX g_ctx;
char g_cfgname[1024];
char g_dbfile_list[1024];
