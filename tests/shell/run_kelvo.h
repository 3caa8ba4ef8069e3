// Runs the built kelvo program as a child process with the given arguments,
// standard input and working directory; collects its exit status and both
// output streams, byte for byte.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

inline KelvoRun run_kelvo(const std::vector<std::string> &args, const std::string &input, const std::string &cwd)
{
    KelvoRun r;
    std::string in = cwd + "/.stdin", out = cwd + "/.stdout", err = cwd + "/.stderr";
    std::ofstream(in, std::ios::binary) << input;
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0)
            _exit(120);
        int fi = open(in.c_str(), O_RDONLY), fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
            fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fi < 0 || fo < 0 || fe < 0)
            _exit(121);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        std::vector<char *> argv;
        std::string prog = KELVO_PROGRAM;
        argv.push_back(prog.data());
        std::vector<std::string> copy = args;
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(prog.c_str(), argv.data());
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
