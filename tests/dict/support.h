// Test support for the dictionary tests: a scratch dictionary directory, the
// capture of standard output and error, and a small encoder that lays out
// dictionary records field by field at their documented offsets (so that the
// tests never build their files through the records under test).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "kelvo.h"

// A fresh dictionary directory in g_ctx, and a fresh g_ctx around each test.
class DictDir : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kelvo_dict_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        release_arrays();
        memset(&g_ctx, 0, sizeof(g_ctx));
        g_ctx.fd = -1;
        snprintf(g_ctx.par.dict_dir, sizeof(g_ctx.par.dict_dir), "%s", dir.c_str());
        g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
    }
    void TearDown() override
    {
        release_arrays();
        free(g_ctx.wrk);
        g_ctx.wrk = nullptr;
        std::string cmd = "rm -rf '" + dir + "'";
        (void)system(cmd.c_str());
    }
    static void release_arrays()
    {
        void *a[] = {g_ctx.usr, g_ctx.ts, g_ctx.obj, g_ctx.tab, g_ctx.col, g_ctx.tp,
                     g_ctx.tcp, g_ctx.tsp, g_ctx.lob, g_ctx.lidx, g_ctx.rbin};
        for (void *p : a)
            free(p);
        g_ctx.usr = nullptr; g_ctx.ts = nullptr; g_ctx.obj = nullptr; g_ctx.tab = nullptr;
        g_ctx.col = nullptr; g_ctx.tp = nullptr; g_ctx.tcp = nullptr; g_ctx.tsp = nullptr;
        g_ctx.lob = nullptr; g_ctx.lidx = nullptr; g_ctx.rbin = nullptr;
    }
    std::string path(const char *name) const { return dir + "/" + name + ".dat"; }
    void put_file(const char *name, const std::vector<uint8_t> &bytes) const
    {
        FILE *f = fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    std::vector<uint8_t> get_file(const char *name) const
    {
        std::vector<uint8_t> v;
        FILE *f = fopen(path(name).c_str(), "rb");
        if (f == nullptr)
            return v;
        int c;
        while ((c = fgetc(f)) != EOF)
            v.push_back((uint8_t)c);
        fclose(f);
        return v;
    }
};

// Captures what is written to one descriptor (1 or 2) while it lives.
class Capture {
public:
    explicit Capture(int fd) : fd_(fd)
    {
        fflush(fd == 1 ? stdout : stderr);
        tmp_ = tmpfile();
        saved_ = dup(fd);
        dup2(fileno(tmp_), fd);
    }
    ~Capture() { restore(); }
    std::string text()
    {
        restore();
        std::string s;
        rewind(tmp_);
        int c;
        while ((c = fgetc(tmp_)) != EOF)
            s.push_back((char)c);
        return s;
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        fflush(fd_ == 1 ? stdout : stderr);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    int fd_;
    int saved_ = -1;
    FILE *tmp_ = nullptr;
};

// Record encoder: u32 fields little-endian and fixed name arrays, appended
// in the order the caller gives them.
struct Enc {
    std::vector<uint8_t> b;
    Enc &u32(uint32_t v)
    {
        for (int i = 0; i < 4; i++)
            b.push_back((uint8_t)(v >> (8 * i)));
        return *this;
    }
    Enc &name(const std::string &s, size_t width = 32)
    {
        for (size_t i = 0; i < width; i++)
            b.push_back(i < s.size() ? (uint8_t)s[i] : 0);
        return *this;
    }
};

inline uint32_t rd32(const std::vector<uint8_t> &b, size_t off)
{
    return (uint32_t)b[off] | (uint32_t)b[off + 1] << 8 | (uint32_t)b[off + 2] << 16 | (uint32_t)b[off + 3] << 24;
}

// Dictionary records as the tests describe them, and their file encodings.
struct TUser { uint32_t uid, status, dts, tts; std::string name; };
struct TObj { uint32_t flag, objn, owner, type; std::string name; };
struct TTab { uint32_t flag, objn, objd, objb, tabn, ncol, fno, blk, tsn; };
struct TCol { uint32_t flag, objn, cid, scid, ctyp, clen; std::string name; };
struct TPart { uint32_t objn, objd, objp, fno, blk, tsn; };

inline void enc(Enc &e, const TUser &u) { e.u32(u.uid).u32(u.status).u32(u.dts).u32(u.tts).name(u.name); }
inline void enc(Enc &e, const TObj &o) { e.u32(o.flag).u32(o.objn).u32(o.owner).u32(o.type).name(o.name); }
inline void enc(Enc &e, const TTab &t)
{
    // flag objn objd objb tabn ncol ui oi coff fno blk tsn tcol rsv
    e.u32(t.flag).u32(t.objn).u32(t.objd).u32(t.objb).u32(t.tabn).u32(t.ncol).u32(0).u32(0).u32(0)
        .u32(t.fno).u32(t.blk).u32(t.tsn).u32(0).u32(0);
}
inline void enc(Enc &e, const TCol &c)
{
    e.u32(c.flag).u32(c.objn).u32(c.cid).u32(c.scid).u32(c.ctyp).u32(c.clen).name(c.name);
}
inline void enc(Enc &e, const TPart &p)
{
    // flag objn objd objp oi fno blk tsn
    e.u32(0).u32(p.objn).u32(p.objd).u32(p.objp).u32(0).u32(p.fno).u32(p.blk).u32(p.tsn);
}

template <class T>
std::vector<uint8_t> encode(const std::vector<T> &v)
{
    Enc e;
    for (const T &r : v)
        enc(e, r);
    return e.b;
}
