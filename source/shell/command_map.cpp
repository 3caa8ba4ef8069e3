// The command table: the first word of each command and its handler. Rows are
// searched in order up to the empty row; one row per command word.
#include "kelvo/unload.h"
#include "kelvo/shell.h"
#include "kelvo/diagnose.h"
#include "kelvo/scan.h"

const COMMAND_MAP command_map[] = {
    {"help", help_handle},
    {"export", export_dict_handle},
    {"load", load_dict_handle},
    {"set", set_user_handle},
    {"show", show_user_handle},
    {"list", list_handle},
    {"unload", unload_handle},
    {"desc", desc_handle},
    {"verify", verify_handle},
    {"dump", dump_handle},
    {"scan", scan_handle},
    {"", nullptr},
};
