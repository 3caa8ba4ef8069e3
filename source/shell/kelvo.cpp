// The kelvo shell: start-up, the command loop and shutdown.
#ifndef KELVO_NO_LINE_EDITING
#include <editline/readline.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "kelvo/shell.h"
#include "kelvo/context.h"
#include "kelvo/version.h"

// No dictionary file is open at start (fd -1); everything else is empty.
static ORXCTX initial_context(void)
{
    ORXCTX c{};
    c.fd = -1;
    return c;
}
ORXCTX g_ctx = initial_context();
char g_cfgname[1024];
char g_dbfile_list[1024];
char g_system_file[1024];

static bool is_flag(const char *arg, const char *shortf, const char *longf)
{
    return strcmp(arg, shortf) == 0 || strcmp(arg, longf) == 0;
}

// --help: how to run the program, on standard output.
static void show_help(const char *prog)
{
    printf("usage: %s [config=filename] [command ...]\n\n"
           "Reads the datafiles that the configuration file (./config.ini by default)\n"
           "lists, read-only. Each further argument is run as one command line, in\n"
           "order, and the program then exits as \"exit\" does; without commands the\n"
           "command lines are read from standard input (type \"help\" for the list).\n"
           "Exit status: 0 when every command succeeded and no data was lost, 1 when\n"
           "one failed or data was lost, 255 when the start-up failed.\n\n"
           "kelvo %s\n",
           prog, KELVO_VERSION);
}

// Returns 0, 1 when --help or --version was answered, -1 on a bad argument.
int parse_arguments(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        if (is_flag(argv[i], "-h", "--help")) {
            show_help(argv[0]);
            return 1;
        }
        if (is_flag(argv[i], "-V", "--version")) {
            printf("kelvo %s\n", KELVO_VERSION);
            return 1;
        }
    }
    if (argc < 2) {
        strcpy(g_cfgname, "./config.ini");
        return 0;
    }
    const char *eq = strchr(argv[1], '=');
    if (!eq) {
        fprintf(stderr, "usage: %s config=filename\n\n", argv[0]);
        return -1;
    }
    size_t n = strnlen(eq + 1, 511);
    memcpy(g_cfgname, eq + 1, n);
    g_cfgname[n] = '\0';
    return 0;
}

int run_command_line(char *line)
{
    line[CMD_LINE_MAX - 1] = '\0';
    line[strcspn(line, "\r\n")] = '\0';
    char *cmd = str_rtrim(str_ltrim(line));
    // A closing ';', as typed at SQL prompts ("desc scott.emp;"), ends the line.
    for (size_t n = strlen(cmd); n > 0 && (cmd[n - 1] == ';' || cmd[n - 1] == ' ' || cmd[n - 1] == '\t');)
        cmd[--n] = '\0';
    char *args = cmd + strcspn(cmd, " \t");
    if (*args) {
        *args++ = '\0';
        args += strspn(args, " \t");
    }
    if (!*cmd)
        return 0;
    if (strcmp(cmd, "exit") == 0)
        return 1;
    for (const COMMAND_MAP *row = command_map; row->cmd_name[0]; row++)
        if (strcmp(row->cmd_name, cmd) == 0) {
            if (row->cmd_function(args) < 0) {
                fprintf(stderr, "Command \"%s\" execute error.\n", cmd);
                g_ctx.failed = 1;
            }
            return 0;
        }
    fprintf(stderr, "Invalid command \"%s\".\n", cmd);
    g_ctx.failed = 1;
    return 0;
}

// Reads one line from standard input into buf (CMD_LINE_MAX bytes): the
// first 511 characters are kept and the rest of the line is discarded.
// Returns -1 at the end of input when no character was read.
static int read_command_line(char *buf)
{
    memset(buf, 0, CMD_LINE_MAX);
    size_t n = 0;
    int c;
    while ((c = getchar()) != EOF && c != '\n')
        if (n < CMD_LINE_MAX - 1)
            buf[n++] = (char)c;
    return (c == EOF && n == 0) ? -1 : 0;
}

#ifndef KELVO_NO_LINE_EDITING
// At a terminal: the prompt on standard error, line editing and a history
// kept in the dictionary directory (the working directory when none is set).
static void edit_loop(void)
{
    char hist[1200];
    snprintf(hist, sizeof(hist), "%s/.kelvo_history", g_ctx.par.dict_dir[0] ? g_ctx.par.dict_dir : ".");
    rl_outstream = stderr;
    using_history();
    stifle_history(1000);
    read_history(hist);
    char cmdbuf[CMD_LINE_MAX];
    for (;;) {
        fflush(stdout);
        char *line = readline("KELVO> ");
        if (!line)
            break;
        if (line[strspn(line, " \t")])
            add_history(line);
        memset(cmdbuf, 0, sizeof(cmdbuf));
        strncpy(cmdbuf, line, CMD_LINE_MAX - 1);
        free(line);
        if (run_command_line(cmdbuf))
            break;
    }
    write_history(hist);
}
#endif

void command_loop(void)
{
    bool terminal = isatty(STDIN_FILENO);
#ifndef KELVO_NO_LINE_EDITING
    if (terminal) {
        edit_loop();
        fflush(stdout);
        return;
    }
#endif
    // From a script or a pipe there is no prompt; the end of input leaves the
    // loop as "exit" does. The portable build, which has no line editing,
    // prompts at a terminal and reads plain lines.
    char cmdbuf[CMD_LINE_MAX];
    for (;;) {
        fflush(stdout);
        if (terminal)
            fputs("KELVO> ", stderr);
        if (read_command_line(cmdbuf) < 0)
            break;
        if (run_command_line(cmdbuf))
            break;
    }
    fflush(stdout);
}

// One-shot use: each argument is one command line, run in order until "exit".
static void run_arguments(int n, char **lines)
{
    char cmdbuf[CMD_LINE_MAX];
    for (int i = 0; i < n; i++) {
        memset(cmdbuf, 0, sizeof(cmdbuf));
        strncpy(cmdbuf, lines[i], CMD_LINE_MAX - 1);
        if (run_command_line(cmdbuf))
            break;
    }
    fflush(stdout);
}

static void shutdown_shell(void)
{
    close_datafile();
    free_dict_memory();
    free(g_ctx.wrk);
    g_ctx.wrk = nullptr;
}

int kelvo_main(int argc, char **argv)
{
    // The banner is for people at a terminal, not for scripts and pipes.
    bool one_shot = argc > 2;
    if (!one_shot && isatty(STDIN_FILENO))
        show_copyright();
    int p = parse_arguments(argc, argv);
    if (p != 0)
        return p > 0 ? 0 : -1;
    if (load_config() < 0)
        return -1;
    g_ctx.wrk = (uint8_t *)alloc_large(WORK_BUFFER_SIZE);
    if (!g_ctx.wrk) {
        fprintf(stderr, "allocate work memory error: %s\n", strerror(errno));
        return -1;
    }
    if (load_datafile() < 0) {
        if (!g_dbfile_list[0])
            fprintf(stderr, "%s has no \"datafiles\" key naming the list of datafiles.\n", g_cfgname);
        free(g_ctx.wrk);
        g_ctx.wrk = nullptr;
        return -1;
    }
    if (open_datafile() < 0) {
        fprintf(stderr, "open data files error.\n");
        shutdown_shell();
        return -1;
    }
    if (one_shot)
        run_arguments(argc - 2, argv + 2);
    else
        command_loop();
    shutdown_shell();
    // Rows, blocks or values that an unload could not read fail the run too:
    // a script must not take a partial recovery for a whole one.
    return g_ctx.failed || g_data_lost ? 1 : 0;
}
