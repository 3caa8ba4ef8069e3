// A scratch directory per test, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "kelvo.h"

struct ScratchDir {
    std::string path;
    ScratchDir()
    {
        char tmpl[] = "/tmp/kelvo-test-XXXXXX";
        const char *p = mkdtemp(tmpl);
        if (p)
            path = p;
    }
    ~ScratchDir()
    {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
    std::string write(const std::string &name, const std::string &text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
};

// Captures what a piece of code writes to standard error.
struct StderrCapture {
    StderrCapture() { testing::internal::CaptureStderr(); }
    std::string text() { return testing::internal::GetCapturedStderr(); }
};
