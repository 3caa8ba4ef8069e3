// Start-up of the kelvo program, run as a child process with standard input
// from a file (no banner, no prompt): the argument, --help and --version, and
// the failures that end it before the first command.
#include <gtest/gtest.h>

#include "../foundation/scratch.h"
#include "run_kelvo.h"

namespace {


TEST(Startup, ArgumentSelectsTheConfiguration)
{
    ScratchDir d;
    // No argument: ./config.ini of the working directory.
    KelvoRun r = run_kelvo({}, "", d.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "open ./config.ini: No such file or directory\n");
    EXPECT_EQ(r.out, "");

    // Only the text after the first '=' counts; a second argument is a command,
    // never run when the start-up fails.
    r = run_kelvo({"cfg=/tmp/a=b.ini", "config=/other"}, "", d.path);
    EXPECT_EQ(r.err, "open /tmp/a=b.ini: No such file or directory\n");

    // A path longer than 511 characters is cut there.
    std::string longp = "/" + std::string(600, 'p');
    r = run_kelvo({"config=" + longp}, "", d.path);
    EXPECT_EQ(r.err, "open " + longp.substr(0, 511) + ": File name too long\n");

    r = run_kelvo({"config"}, "help\n", d.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "usage: " KELVO_PROGRAM " config=filename\n\n");
    EXPECT_EQ(r.out, "");
}

TEST(Startup, ConfigurationAndListFailures)
{
    ScratchDir d;
    d.write("bad.ini", "dictdir = /d\ndatadir /x\n");
    KelvoRun r = run_kelvo({"config=bad.ini"}, "", d.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "parameter format error: datadir /x\n");

    d.write("nolist.ini", "dictdir = " + d.path + "\n");
    r = run_kelvo({"config=nolist.ini"}, "", d.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "open : No such file or directory\n"
                     "nolist.ini has no \"datafiles\" key naming the list of datafiles.\n");

    // An empty list opens nothing: no SYSTEM datafile, and no datafile at all.
    d.write("files.txt", "# none yet\n");
    d.write("empty.ini", "dictdir = " + d.path + "\ndatafiles = files.txt\n");
    r = run_kelvo({"config=empty.ini"}, "exit\n", d.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "SYSTEM tablespace file not configured.\nno datafile could be opened.\n"
                     "open data files error.\n");

    d.write("files2.txt", "/no/such/file.dbf\n");
    d.write("missing.ini", "datafiles = files2.txt\n");
    r = run_kelvo({"config=missing.ini"}, "exit\n", d.path);
    EXPECT_EQ(r.status, 255);
    // The one listed file is left out: nothing is left to open.
    EXPECT_EQ(r.err, "open /no/such/file.dbf: No such file or directory\n"
                     "datafile \"/no/such/file.dbf\" left out.\n0 of 1 listed datafiles opened.\n"
                     "SYSTEM tablespace file not configured.\nno datafile could be opened.\n"
                     "open data files error.\n");
}

TEST(Startup, HelpAndVersionExitZero)
{
    ScratchDir d;
    for (const char *arg : {"--help", "-h"}) {
        KelvoRun r = run_kelvo({arg}, "", d.path);
        EXPECT_EQ(r.status, 0) << arg;
        EXPECT_EQ(r.out.rfind("usage: " KELVO_PROGRAM " [config=filename] [command ...]\n", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("\nkelvo "), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
    // Answered before the configuration is read.
    KelvoRun r = run_kelvo({"config=/no/such.ini", "--version"}, "", d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("kelvo ", 0), 0u);
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    EXPECT_EQ(run_kelvo({"-V"}, "", d.path).out, r.out);
}

} // namespace
