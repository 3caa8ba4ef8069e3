// The command loop of the kelvo program, run as a child process on the
// sample database of the builder: prompt, line splitting, dispatch, help,
// exit and the end of input, compared byte for byte.
#include <gtest/gtest.h>

#include "../foundation/scratch.h"
#include "kbuild.h"
#include "run_kelvo.h"

namespace {

const std::string banner = "\nkelvo: Oracle datafile recovery and unload shell\n\n"
                           "Copyright (c) 2026 the kelvo developers.\n\n";
const std::string P = "KELVO> ";

struct Loop : testing::Test {
    static ScratchDir *dir;
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        ASSERT_EQ(kb::make_sample(dir->file("db")), 0);
    }
    static void TearDownTestSuite() { delete dir; }
    KelvoRun run(const std::string &input)
    {
        return run_kelvo({"config=" + dir->file("db/config.ini")}, input, dir->path);
    }
    static std::string prompts(int n)
    {
        std::string s;
        while (n-- > 0)
            s += P;
        return s;
    }
};
ScratchDir *Loop::dir;

TEST_F(Loop, HelpTextAndExit)
{
    KelvoRun r = run("help\nexit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, banner + prompts(2));
    ASSERT_EQ(r.out.size(), 1273u);
    EXPECT_EQ(r.out.substr(0, 37), "\nhelp          show this information\n");
    EXPECT_EQ(r.out.find('\t'), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 39), "              example: desc scott.emp\n\n");
    // Every description starts in column 15.
    size_t lines = 0;
    for (size_t p = 1; p < r.out.size() - 1; p = r.out.find('\n', p) + 1, lines++)
        EXPECT_TRUE(r.out[p + 13] == ' ' && r.out[p + 14] != ' ') << r.out.substr(p, r.out.find('\n', p) - p);
    EXPECT_EQ(lines, 24u);

    // Argument text is ignored by help and by exit; nothing runs after exit.
    r = run("help me please\nexit right now\nhelp\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 1273u);
    EXPECT_EQ(r.err, banner + prompts(2));
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
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 3 * 1273u);
    EXPECT_EQ(r.err, banner + prompts(3) + "Invalid command \"HELP\".\n" + P + "Invalid command \"Help\".\n" + P +
                         "Invalid command \"exitnow\".\n" + prompts(4) + "Invalid command \"helpful\".\n" + P +
                         "Invalid command \"" + std::string(40, 'h') + "\".\n" + P + "Invalid command \"he\".\n" + P);
}

TEST_F(Loop, EndOfInputActsAsExit)
{
    KelvoRun r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, banner + P);
    // A last line without a line end still runs.
    r = run("help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 1273u);
    EXPECT_EQ(r.err, banner + prompts(2));
}

TEST_F(Loop, LongLinesAreCutAt511)
{
    // The first 511 characters are the line; the rest of it is discarded and
    // never taken for a command of its own.
    std::string word(600, 'w');
    std::string padded = "help" + std::string(507, ' ') + "exit";
    KelvoRun r = run(word + "\n" + padded + "\n" + std::string(505, ' ') + "exit" + std::string(100, 'x') + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 1273u);
    EXPECT_EQ(r.err, banner + P + "Invalid command \"" + word.substr(0, 511) + "\".\n" + prompts(2) +
                         "Invalid command \"exit" + std::string(2, 'x') + "\".\n" + P);
}

} // namespace
