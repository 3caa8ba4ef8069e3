// The command loop of the kelvo program, run as a child process on the
// sample database of the builder with standard input from a file (no banner,
// no prompt): line splitting, dispatch, help, exit, the end of input, exit
// statuses and commands given as arguments, compared byte for byte.
#include <gtest/gtest.h>
#include <pty.h>

#include "../foundation/scratch.h"
#include "kbuild.h"
#include "run_kelvo.h"

namespace {


struct Loop : testing::Test {
    static ScratchDir *dir;
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        ASSERT_EQ(kb::make_sample(dir->file("db")), 0);
    }
    static void TearDownTestSuite() { delete dir; }
    KelvoRun run(const std::string &input, std::vector<std::string> commands = {})
    {
        commands.insert(commands.begin(), "config=" + dir->file("db/config.ini"));
        return run_kelvo(commands, input, dir->path);
    }
};
ScratchDir *Loop::dir;

TEST_F(Loop, HelpTextAndExit)
{
    KelvoRun r = run("help\nexit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), 2727u);
    EXPECT_EQ(r.out.substr(0, 37), "\nhelp          show this information\n");
    EXPECT_EQ(r.out.find('\t'), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 45), "              example: dump rdba 0x01000014\n\n");
    // Every description starts in column 15.
    size_t lines = 0;
    for (size_t p = 1; p < r.out.size() - 1; p = r.out.find('\n', p) + 1, lines++)
        EXPECT_TRUE(r.out[p + 13] == ' ' && r.out[p + 14] != ' ') << r.out.substr(p, r.out.find('\n', p) - p);
    EXPECT_EQ(lines, 46u);

    // Argument text is ignored by help and by exit; nothing runs after exit.
    r = run("help me please\nexit right now\nhelp\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 2727u);
    EXPECT_EQ(r.err, "");
}

TEST_F(Loop, SplittingAndDispatch)
{
    KelvoRun r = run("\n"
                     " \t \n"
                     "HELP\n"
                     "Help\n"
                     "exitnow\n"
                     "  help  \t \n"
                     "\thelp\tfiles\n"
                     "help\rjunk after the carriage return\n"
                     "helpful\n" +
                     std::string(40, 'h') + "\n"
                     "he" + std::string(1, '\0') + "lp\n"
                     "exit\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.size(), 3 * 2727u);
    EXPECT_EQ(r.err, "Invalid command \"HELP\".\nInvalid command \"Help\".\nInvalid command \"exitnow\".\n"
                     "Invalid command \"helpful\".\nInvalid command \"" +
                         std::string(40, 'h') + "\".\nInvalid command \"he\".\n");
}

TEST_F(Loop, EndOfInputActsAsExit)
{
    KelvoRun r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // A last line without a line end still runs.
    r = run("help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 2727u);
    EXPECT_EQ(r.err, "");
}

TEST_F(Loop, LongLinesAreCutAt511)
{
    // The first 511 characters are the line; the rest of it is discarded and
    // never taken for a command of its own.
    std::string word(600, 'w');
    std::string padded = "help" + std::string(507, ' ') + "exit";
    KelvoRun r = run(word + "\n" + padded + "\n" + std::string(505, ' ') + "exit" + std::string(100, 'x') + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.size(), 2727u);
    EXPECT_EQ(r.err, "Invalid command \"" + word.substr(0, 511) + "\".\nInvalid command \"exit" + std::string(2, 'x') +
                         "\".\n");
}

// A failed command makes the exit status 1, whatever runs after it.
TEST_F(Loop, ExitStatusSaysWhetherACommandFailed)
{
    KelvoRun r = run("unload table scott.emp\nhelp\nexit\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no dictionary loaded, run \"load dict\" first.\nCommand \"unload\" execute error.\n");
    r = run("bogus\nexit\n");
    EXPECT_EQ(r.status, 1);
    r = run("help;\nhelp ;;\nexit;\nbogus\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 2 * 2727u);
    EXPECT_EQ(r.err, "");
}

// "load dict" with no dictionary exported yet names the file and the command
// that writes it.
TEST_F(Loop, LoadBeforeExportSuggestsExport)
{
    std::string dict = dir->file("db/dict");
    std::system(("rm -f '" + dict + "'/*.dat").c_str());
    KelvoRun r = run("load dict;\n");
    EXPECT_EQ(r.status, 1);
    const std::string file = dict + "/user.dat";
    EXPECT_NE(r.err.find("open " + file + ": No such file or directory\nDictionary file " + file +
                         " not found: run \"export dict\" first.\nCommand \"load\" execute error.\n"),
              std::string::npos)
        << r.err;
    r = run("export dict\nload dict\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("not found"), std::string::npos);
}

// Commands given as arguments run in order, without standard input; "exit"
// among them ends the run there.
TEST_F(Loop, CommandsAsArguments)
{
    KelvoRun r = run("bogus\n", {"help", "list files"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 2727), run("help\n").out);
    EXPECT_EQ(r.out.substr(2727), run("list files\n").out);
    EXPECT_EQ(r.err, run("help\nlist files\n").err);
    r = run("", {"help", "exit", "bogus"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 2727u);
    r = run("", {"desc scott.emp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Command \"desc\" execute error.\n");
    // A closing semicolon is accepted as at an SQL prompt.
    r = run("", {"export dict", "load dict", "desc scott.emp;"});
    EXPECT_EQ(r.status, 0) << r.err;
    KelvoRun plain = run("", {"load dict", "desc scott.emp"});
    ASSERT_NE(plain.out.find("EMPNO"), std::string::npos) << plain.out;
    EXPECT_NE(r.out.find(plain.out), std::string::npos) << r.out;
}

// Everything the child wrote to the terminal until it ended; its exit status.
int drain_terminal(int master, pid_t pid, std::string &seen)
{
    char buf[4096];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0)
        seen.append(buf, (size_t)n);
    close(master);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// What a terminal shows after the text written to it: a carriage return goes
// back to the line's start, ESC [ K erases to its end, later text overwrites.
std::string rendered(const std::string &raw)
{
    std::string out, line;
    size_t col = 0;
    for (size_t i = 0; i < raw.size(); i++) {
        char c = raw[i];
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            out += line + "\n";
            line.clear();
            col = 0;
        } else if (raw.compare(i, 3, "\033[K") == 0) {
            line.resize(col);
            i += 2;
        } else {
            if (col < line.size())
                line[col] = c;
            else
                line += c;
            col++;
        }
    }
    return out + line;
}

// With standard error at a terminal, "export dict" and "unload" draw their
// progress over the step's label and put the label back when the step ends:
// the screen reads as the plain output does.
TEST_F(Loop, ProgressAtATerminalLeavesThePlainText)
{
    const std::string commands = "export dict\nload dict\nunload user scott\nexit\n";
    KelvoRun plain = run(commands);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_NE(plain.err.find("rows done."), std::string::npos);

    std::string in = dir->file(".progress_in");
    std::ofstream(in, std::ios::binary) << commands;
    std::string cfg = "config=" + dir->file("db/config.ini");
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(master);
        int fi = open(in.c_str(), O_RDONLY), fo = open("/dev/null", O_WRONLY);
        if (fi < 0 || fo < 0 || chdir(dir->path.c_str()) != 0)
            _exit(121);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(slave, 2);
        setenv("KELVO_PROGRESS_MS", "0", 1);  // draw at every batch of blocks
        execl(KELVO_PROGRAM, KELVO_PROGRAM, cfg.c_str(), (char *)nullptr);
        _exit(122);
    }
    close(slave);
    std::string raw;
    EXPECT_EQ(drain_terminal(master, pid, raw), 0) << raw;
    // The terminal turns each line end into a carriage return and a line end.
    EXPECT_NE(raw.find(" blocks, "), std::string::npos) << raw;
    EXPECT_NE(raw.find(" MB/s, "), std::string::npos) << raw;
    EXPECT_NE(raw.find(" left"), std::string::npos) << raw;
    EXPECT_NE(raw.find("\033[K. . unloading table \"SCOTT\".\"EMP\"  "), std::string::npos) << raw;
    EXPECT_EQ(rendered(raw), rendered(plain.err));
    unlink(in.c_str());
}

// At a terminal: the banner, the prompt and line editing, with the lines kept
// in a history file of the dictionary directory.
TEST_F(Loop, TerminalGetsBannerPromptAndHistory)
{
    std::string cfg = "config=" + dir->file("db/config.ini");
    std::string hist = dir->file("db/dict/.kelvo_history");
    unlink(hist.c_str());
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("TERM", "dumb", 1);
        execl(KELVO_PROGRAM, KELVO_PROGRAM, cfg.c_str(), (char *)nullptr);
        _exit(122);
    }
    const char typed[] = "help\nexit\n";
    ASSERT_EQ(write(master, typed, sizeof typed - 1), (ssize_t)(sizeof typed - 1));
    std::string seen;
    EXPECT_EQ(drain_terminal(master, pid, seen), 0) << seen;
    EXPECT_NE(seen.find("kelvo " KELVO_VERSION_TEXT ": Oracle datafile recovery and unload shell"), std::string::npos) << seen;
    EXPECT_NE(seen.find("KELVO> "), std::string::npos) << seen;
    EXPECT_NE(seen.find("example: desc scott.emp"), std::string::npos) << seen;
    EXPECT_NE(slurp(hist).find("help"), std::string::npos);
}

} // namespace
