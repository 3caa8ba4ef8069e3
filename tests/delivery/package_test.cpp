// The Debian package: cpack builds it from this build, apt installs it on this
// machine, the installed programs run the sample session, and apt removes it
// with every file it brought. Needs root and apt; the package must not be
// installed already (an installation of the user's is left alone).
#include "session.h"

#include <filesystem>

namespace {

using namespace delivery;

const char *const INSTALLED[] = {"kelvo", "kelvo-import", "kelvo-tabview", "kelvo-colview"};

bool package_installed()
{
    return std::system("dpkg-query -W -f='${Status}' kelvo 2>/dev/null | grep -q 'install ok installed'") == 0;
}

struct Removal {
    ~Removal()
    {
        if (package_installed())
            std::system("apt-get remove -y -qq kelvo >/dev/null 2>&1");
    }
};

TEST(Package, InstallsRunsTheSampleSessionAndRemoves)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "installing the package needs root";
    if (access("/usr/bin/apt-get", X_OK) != 0 || access("/usr/bin/dpkg-deb", X_OK) != 0)
        GTEST_SKIP() << "apt-get or dpkg-deb not available";
    if (package_installed())
        GTEST_SKIP() << "a kelvo package is installed already: left alone";
    setenv("DEBIAN_FRONTEND", "noninteractive", 1);
    TempDir t;

    KelvoRun p =
        run_program(CPACK_PROGRAM, {"-G", "DEB", "--config", BUILD_DIR "/CPackConfig.cmake", "-B", t.dir}, "", t.dir);
    std::string deb = t.dir + "/kelvo_" KELVO_VERSION_TEXT "_amd64.deb";
    ASSERT_TRUE(std::filesystem::exists(deb)) << p.out << p.err;
    KelvoRun f = run_program("/usr/bin/dpkg-deb", {"--field", deb, "Depends"}, "", t.dir);
    for (const char *lib : {"libc6", "libstdc++6", "libsqlite3-0", "libedit2"})
        EXPECT_NE(f.out.find(lib), std::string::npos) << lib << " not in " << f.out;

    Removal removal;
    KelvoRun i =
        run_program("/usr/bin/apt-get", {"install", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300", deb}, "", t.dir);
    ASSERT_EQ(i.status, 0) << i.out << i.err;
    KelvoRun v = run_program("/usr/bin/kelvo", {"--version"}, "", t.dir);
    EXPECT_EQ(v.out, "kelvo " KELVO_VERSION_TEXT "\n");
    for (const char *name : INSTALLED)
        EXPECT_TRUE(std::filesystem::exists(std::string("/usr/share/man/man1/") + name + ".1")) << name;

    // The installed kelvo writes the dump the build's own kelvo writes.
    std::string db = t.dir + "/db", ref = t.dir + "/ref";
    make_sample(db, db);
    make_sample(ref, ref);
    std::vector<std::string> args{"config=" + db + "/config.ini"}, ref_args{"config=" + ref + "/config.ini"};
    args.insert(args.end(), SESSION.begin(), SESSION.end());
    ref_args.insert(ref_args.end(), SESSION.begin(), SESSION.end());
    KelvoRun s = run_program("/usr/bin/kelvo", args, "", t.dir);
    ASSERT_EQ(s.status, 0) << s.out << s.err;
    ASSERT_EQ(run_program(KELVO_PROGRAM, ref_args, "", t.dir).status, 0);
    EXPECT_TRUE(slurp(db + "/data/SCOTT.dat") == slurp(ref + "/data/SCOTT.dat"));

    KelvoRun tv = run_program("/usr/bin/kelvo-tabview", {db + "/dict/tab.dat"}, "", t.dir);
    EXPECT_EQ(tv.status, 0) << tv.err;
    EXPECT_EQ(tv.out.rfind("flag    obj#", 0), 0u) << tv.out;
    KelvoRun im = run_program("/usr/bin/kelvo-import",
                              {"USERID=scott/tiger@" + t.dir + "/target", "FILE=" + db + "/data/SCOTT.dat"}, "", t.dir);
    EXPECT_EQ(im.status, 0) << im.err;
    EXPECT_NE(im.err.find("kelvo-import " KELVO_VERSION_TEXT ": "), std::string::npos) << im.err;
    EXPECT_GT(std::filesystem::file_size(t.dir + "/target/SCOTT.db"), 0u);

    KelvoRun r =
        run_program("/usr/bin/apt-get", {"remove", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300", "kelvo"}, "", t.dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(package_installed());
    for (const char *name : INSTALLED) {
        EXPECT_FALSE(std::filesystem::exists(std::string("/usr/bin/") + name)) << name;
        EXPECT_FALSE(std::filesystem::exists(std::string("/usr/share/man/man1/") + name + ".1")) << name;
    }
    EXPECT_FALSE(std::filesystem::exists("/usr/share/doc/kelvo"));
}

} // namespace
