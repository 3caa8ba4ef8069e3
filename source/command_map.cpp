// The command table: the first word of each command and its handler. Rows are
// searched in order up to the empty row; one row per command word.
#include "kelvo.h"

const COMMAND_MAP command_map[] = {
    {"help", help_handle},
    {"unload", unload_handle},
    {"", nullptr},
};
