// Start-up with damaged or missing datafiles, through the kelvo program: a
// datafile that cannot be used is left out and kelvo starts with the others;
// without the SYSTEM file the dictionary files saved before still serve
// "load dict" and the unload commands, and "export dict" says why it cannot.
#include "kbuild.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "../shell/run_kelvo.h"

namespace {

struct Db {
    std::string dir;
    kb::Database db = kb::standard_database();
    ~Db()
    {
        if (!dir.empty() && !getenv("KEEP_DB"))
            (void)system(("rm -rf '" + dir + "'").c_str());
    }
    void build()
    {
        db.users.push_back({"SCOTT", 84, 1, "USERS", "TEMP", 0});
        kb::DbTable t;
        t.owner = "SCOTT";
        t.name = "T";
        kb::DbColumn id, name;
        id.name = "ID";
        id.type = 2;
        id.length = 22;
        name.name = "NAME";
        name.type = 1;
        name.length = 30;
        t.cols = {id, name};
        for (int i = 0; i < 500; i++) {
            kb::LogicalRow r;
            r.cols = {kb::col_num(i), kb::col_str("name" + std::to_string(i))};
            t.rows.push_back(r);
        }
        db.tables.push_back(t);
        char tmpl[] = "/tmp/kelvo_salvage_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(kb::build_database(db, dir), 0);
        ASSERT_EQ(kb::write_config(dir, db.files), 0);
    }
    KelvoRun run(const std::string &commands) { return run_kelvo({"config=" + dir + "/config.ini"}, commands, dir); }
    std::string file(const std::string &part) const
    {
        for (const std::string &f : db.files)
            if (f.find(part) != std::string::npos)
                return f;
        ADD_FAILURE() << part;
        return "";
    }
    // A healthy run that exports and loads the dictionary and unloads T:
    // its dump, removed so that the next run writes its own.
    std::string healthy_dump()
    {
        KelvoRun r = run("export dict\nload dict\nunload table scott.t\nexit\n");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("left out"), std::string::npos) << "a healthy start-up says nothing new";
        EXPECT_EQ(r.err.find("warning"), std::string::npos);
        std::string want = slurp(dir + "/data/SCOTT_T.dat");
        EXPECT_GT(want.size(), 1024u);
        unlink((dir + "/data/SCOTT_T.dat").c_str());
        return want;
    }
    // Lists every datafile but the one named by part.
    void list_without(const std::string &part)
    {
        std::string list;
        for (const std::string &f : db.files)
            if (f.find(part) == std::string::npos)
                list += f + "\n";
        std::ofstream(dir + "/datafiles.txt") << list;
    }
};

TEST(SalvageStartup, WithoutTheSystemFileSavedDictionaryFilesServe)
{
    Db d;
    d.build();
    if (testing::Test::HasFatalFailure())
        return;
    std::string want = d.healthy_dump();

    d.list_without("system01");
    KelvoRun r = d.run("load dict\nunload table scott.t\nexit\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("SYSTEM tablespace file not configured.\nwarning: \"export dict\" cannot run; \"load dict\" "
                         "reads the dictionary files in \"" + d.dir + "/dict\".\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(d.dir + "/data/SCOTT_T.dat"), want);

    r = d.run("export dict\nexit\n");
    EXPECT_NE(r.err.find("root dba not found, 1# datafile not in file list.\n"), std::string::npos) << r.err;
}

// A missing file and a file whose block 0 is garbage are each left out with
// their message; the table in the intact files unloads exactly.
TEST(SalvageStartup, DamagedFilesAreLeftOut)
{
    Db d;
    d.build();
    if (testing::Test::HasFatalFailure())
        return;
    std::string want = d.healthy_dump();

    std::string sysaux = d.file("sysaux01"), undo = d.file("undotbs01");
    unlink(sysaux.c_str());
    {
        std::string junk(8192, '\x5A');
        FILE *f = fopen(undo.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        fwrite(junk.data(), 1, junk.size(), f);
        fclose(f);
    }
    KelvoRun r = d.run("export dict\nload dict\nunload table scott.t\nexit\n");
    EXPECT_EQ(r.status, 0) << r.err;
    char count[64];
    snprintf(count, sizeof(count), "%zu of %zu listed datafiles opened.\n", d.db.files.size() - 2,
             d.db.files.size());
    EXPECT_NE(r.err.find("open " + sysaux + ": No such file or directory\ndatafile \"" + sysaux + "\" left out.\n"),
              std::string::npos)
        << r.err;
    size_t at = r.err.find("datafile \"" + undo + "\" left out.\n");
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_NE(r.err.find(count), std::string::npos) << r.err;
    EXPECT_EQ(slurp(d.dir + "/data/SCOTT_T.dat"), want);
}

} // namespace
