// The kelvo shell: start-up, the command loop and shutdown.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "kelvo/shell.h"
#include "kelvo/context.h"

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

int parse_arguments(int argc, char **argv)
{
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
            if (row->cmd_function(args) < 0)
                fprintf(stderr, "Command \"%s\" execute error.\n", cmd);
            return 0;
        }
    fprintf(stderr, "Invalid command \"%s\".\n", cmd);
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

void command_loop(void)
{
    char cmdbuf[CMD_LINE_MAX];
    for (;;) {
        fflush(stdout);
        fputs("KELVO> ", stderr);
        // The end of input leaves the loop as "exit" does, so the shell can be
        // driven from a script or a pipe.
        if (read_command_line(cmdbuf) < 0)
            break;
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
    show_copyright();
    if (parse_arguments(argc, argv) < 0)
        return -1;
    if (load_config() < 0)
        return -1;
    g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
    if (!g_ctx.wrk) {
        fprintf(stderr, "allocate work memory error: %s\n", strerror(errno));
        return -1;
    }
    if (load_datafile() < 0) {
        free(g_ctx.wrk);
        g_ctx.wrk = nullptr;
        return -1;
    }
    if (open_datafile() < 0) {
        fprintf(stderr, "open data files error.\n");
        shutdown_shell();
        return -1;
    }
    command_loop();
    shutdown_shell();
    return 0;
}
