// The kelvo shell: the command table, the command loop, typed names and the
// commands that print the loaded dictionary.
#pragma once

#include <cstddef>
#include <cstdint>

void str_toupper(char *s);
char *str_ltrim(char *s);
char *str_rtrim(char *s);

// One row of the command table: the first word of a command and its handler,
// which gets the rest of the line (writable, trimmed, possibly empty) and
// returns a negative value on failure.
typedef int (*cmd_handle)(char *args);
typedef struct __command_map {
    char cmd_name[32];
    cmd_handle cmd_function;
} COMMAND_MAP;
// Ends with a row whose cmd_name is empty. "exit" is handled by the loop.
extern const COMMAND_MAP command_map[];

constexpr int CMD_LINE_MAX = 512;  // a typed line keeps at most 511 characters

int help_handle(char *args);
void show_copyright(void);
int parse_arguments(int argc, char **argv);
// Splits one typed line (at most CMD_LINE_MAX bytes, NUL-terminated) into its
// command word and argument text and runs it. Returns 1 when the line is
// "exit", otherwise 0 (a failure has been reported and g_ctx.failed set).
int run_command_line(char *line);
// Reads and runs command lines until "exit" or the end of standard input;
// at a terminal with a prompt, line editing and history.
void command_loop(void);
// The whole program: start-up, the command loop (or the commands given as
// arguments), shutdown. Returns the exit status of the process: 0, 1 when a
// command failed (g_ctx.failed), -1 after a start-up failure.
int kelvo_main(int argc, char **argv);
// Releases the dictionary arrays and the datafile array held in g_ctx.
int free_dict_memory(void);


// Typed names: upper case unless quoted, at most 31 characters. take_name
// reads one name from the whole text; take_qualified_name cuts the text at
// every '.' into user and table (user left empty when no '.' is given).
void take_name(const char *text, char name[32]);
void take_qualified_name(const char *text, char user[32], char table[32]);
// The loaded table named by a typed USER.TABLE (the current user when no user
// is given): its index in g_ctx.tab, or -1 after one message. user and table
// get the names as taken.
int find_typed_table(const char *text, char user[32], char table[32]);


// The user, list and desc commands and the column type text.
int set_user_handle(char *args);
int show_user_handle(char *args);
int list_handle(char *args);
int print_file_info();
int print_user_info();
int print_table_info(char *args);
int print_object_info(char *args);
int print_tabpart_info(char *args);
int print_dropped_info(char *args);
int desc_handle(char *args);
char *type_string(int flag, int ctyp, int clen);
