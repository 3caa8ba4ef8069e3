// Runs the built kelvo program (or another) as a child process with the given
// arguments, standard input and working directory; collects its exit status
// and both output streams, byte for byte.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct KelvoRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The exit status of a child that was not allowed to change its root.
constexpr int ROOT_REFUSED = 125;

// With root set, the child makes it its root directory before it changes to
// cwd (a path inside root, where the standard streams are kept): as root
// directly, otherwise in a user namespace of its own; when neither is allowed
// it exits with ROOT_REFUSED and the reason on standard error.
inline KelvoRun run_program(const std::string &prog, const std::vector<std::string> &args, const std::string &input,
                            const std::string &cwd, const std::string &root = "")
{
    KelvoRun r;
    std::string dir = root + cwd;
    std::string in = dir + "/.stdin", out = dir + "/.stdout", err = dir + "/.stderr";
    std::ofstream(in, std::ios::binary) << input;
    pid_t pid = fork();
    if (pid == 0) {
        int fi = open(in.c_str(), O_RDONLY), fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
            fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fi < 0 || fo < 0 || fe < 0)
            _exit(121);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        if (!root.empty() && chroot(root.c_str()) != 0) {
            int first = errno;
            if (unshare(CLONE_NEWUSER) != 0 || chroot(root.c_str()) != 0) {
                dprintf(2, "chroot %s: %s; in a user namespace: %s\n", root.c_str(), strerror(first), strerror(errno));
                _exit(ROOT_REFUSED);
            }
        }
        if (chdir(cwd.c_str()) != 0)
            _exit(120);
        std::vector<char *> argv;
        std::string path = prog;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(122);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = slurp(out);
    r.err = slurp(err);
    unlink(in.c_str());
    unlink(out.c_str());
    unlink(err.c_str());
    return r;
}

#ifdef KELVO_PROGRAM
inline KelvoRun run_kelvo(const std::vector<std::string> &args, const std::string &input, const std::string &cwd)
{
    return run_program(KELVO_PROGRAM, args, input, cwd);
}
#endif
