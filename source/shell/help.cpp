#include <cstdio>

#include "kelvo/shell.h"

static const char help_text[] =
    "\n"
    "help          show this information\n"
    "exit          quit program\n"
    "set user      set current user, followed by user name\n"
    "              if no user specified for command, current user is default\n"
    "              example: set user scott\n"
    "show user     show current user\n"
    "export dict   export ORACLE data dictionary to files\n"
    "load dict     load ORACLE data dictionary from files\n"
    "unload user   unload tables data owned by this user, followed by user name\n"
    "              example: unload user scott\n"
    "unload table  unload table data to file, followed by user and table name\n"
    "              example: unload table scott.emp\n"
    "unload        unload the deleted rows of a table that still decode cleanly,\n"
    "              followed by deleted and user and table name\n"
    "              example: unload deleted scott.emp\n"
    "unload        unload the rows a table held before TRUNCATE, followed by truncated,\n"
    "              user and table name, and scan to read its whole tablespace\n"
    "              example: unload truncated scott.emp scan\n"
    "unload object unload the rows of a data object found by scan, followed by its\n"
    "              number, then a table or (types); the guessed types without them\n"
    "              example: unload object 73002 (NUMBER, VARCHAR2(10), DATE)\n"
    "list files    list configured data files\n"
    "list users    list all users exported\n"
    "list tables   list all tables owned by this user, followed by user name\n"
    "              if no user name specified, all tables listed.\n"
    "              example: list tables scott\n"
    "list objects  list all objects owned by this user, followed by user name\n"
    "              if no user name specified, all objects listed.\n"
    "              example: list objects scott\n"
    "list dropped  list dropped tables of the recycle bin, followed by user name\n"
    "list parts    list table partitions owned by table, followed by user and table name\n"
    "              example: list parts scott.t_part\n"
    "list segments list the data objects found by scan and their guessed column types\n"
    "desc          describe the table columns, followed by user and table name\n"
    "              example: desc scott.emp\n"
    "verify        check every block of the data files, followed by nothing,\n"
    "              datafile and file number, or tablespace and tablespace number\n"
    "              example: verify tablespace 4\n"
    "verify table  list the damaged blocks of a table and the rows they held\n"
    "              example: verify table scott.emp\n"
    "scan          find the table blocks of the data files by data object number,\n"
    "              no dictionary needed, followed by nothing or datafile and number\n"
    "              example: scan datafile 4\n"
    "dump          print one block, followed by datafile and block number or by rdba\n"
    "              example: dump datafile 4 block 20\n"
    "              example: dump rdba 0x01000014\n"
    "\n";
static_assert(sizeof(help_text) - 1 == 2727);

int help_handle(char *args)
{
    (void)args;
    fwrite(help_text, 1, sizeof(help_text) - 1, stdout);
    fflush(stdout);
    return 0;
}
