// Test support for the unloader: a scratch database directory, datafiles
// written by the builder and registered in g_ctx, dictionary records made
// from the builder's table descriptions, and the expected dump contents
// computed from the same descriptions (never by reading the datafiles back).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The builder comes first: the reader's header defines the row flag names as
// macros, which the builder declares in its own namespace.
#include "kbuild.h"

#include "expect_dump.h"
#include "kelvo.h"

class UnloadTest : public ::testing::Test {
protected:
    std::string dir;
    std::vector<DATAFILE> files;
    std::vector<USER> users;
    std::vector<OBJ> objs;
    std::vector<TAB> tabs;
    std::vector<COL> cols;
    std::vector<TABPART> tps, tcps;
    std::vector<TABSUBPART> tsps;
    xd::Props props;
    std::string out, err;

    void SetUp() override
    {
        char tmpl[] = "/tmp/kelvo_unload_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        mkdir((dir + "/dict").c_str(), 0755);
        mkdir((dir + "/data").c_str(), 0755);
        memset(&g_ctx, 0, sizeof(g_ctx));
        g_ctx.fd = -1;
        snprintf(g_ctx.par.dict_dir, sizeof(g_ctx.par.dict_dir), "%s/dict", dir.c_str());
        snprintf(g_ctx.par.data_dir, sizeof(g_ctx.par.data_dir), "%s/data", dir.c_str());
        g_ctx.wrk = (uint8_t *)malloc(WORK_BUFFER_SIZE);
        // The "parallel" of the run (the *_p1 and *_p4 tests); else the cores.
        const char *par = getenv("KELVO_TEST_PARALLEL");
        g_parallel = par ? atoi(par) : 0;
        write_props({{"NLS_LANGUAGE", props.lang}, {"NLS_TERRITORY", props.terr},
                     {"NLS_CHARACTERSET", props.cset}, {"NLS_NCHAR_CHARACTERSET", props.ncset},
                     {"DBTIMEZONE", props.tz}});
    }
    void TearDown() override
    {
        for (DATAFILE &f : files)
            close(f.fd);
        free(g_ctx.wrk);
        memset(&g_ctx, 0, sizeof(g_ctx));
        (void)system(("rm -rf '" + dir + "'").c_str());
    }

    // props.dat: 160-byte records, name at 0 (32 bytes), value at 32.
    void write_props(const std::vector<std::pair<std::string, std::string>> &kv)
    {
        std::string b;
        for (auto &p : kv) {
            std::string r(160, '\0');
            r.replace(0, p.first.size(), p.first);
            r.replace(32, p.second.size(), p.second);
            b += r;
        }
        std::ofstream(dir + "/dict/props.dat", std::ios::binary) << b;
    }

    // A user datafile made by the builder, registered for reading.
    void add_file(const kb::Datafile &df)
    {
        DATAFILE f{};
        f.fd = open(df.path.c_str(), O_RDONLY);
        ASSERT_GE(f.fd, 0);
        f.flag = df.d.bigfile ? DF_BIGFILE : 0;
        f.fno = df.d.fno;
        f.rfn = df.d.bigfile ? 1024 : df.d.rfn;
        f.tsn = df.d.tsn;
        f.blks = df.d.blocks;
        f.bsz = df.d.bsz;
        f.blk0_sz = df.d.blk0_sz ? df.d.blk0_sz : df.d.bsz;
        snprintf(f.name, sizeof(f.name), "%s", df.path.c_str());
        files.push_back(f);
    }

    uint32_t add_user(const std::string &name)
    {
        USER u{};
        u.uid = 100 + (uint32_t)users.size();
        snprintf(u.name, sizeof(u.name), "%s", name.c_str());
        users.push_back(u);
        return (uint32_t)users.size() - 1;
    }

    static uint32_t seg_fno(const kb::Segment &s) { return s.hdr >> 22; }
    static uint32_t seg_blk(const kb::Segment &s) { return s.hdr & 0x3FFFFF; }

    // The dictionary's flags of a column, by the documented COL$ PROPERTY
    // and CHARSETFORM bits, and of a table by its layout.
    static uint32_t col_flag(const kb::DbTable &t, const kb::DbColumn &c)
    {
        uint32_t f = (c.property & 0x20) ? 0x1 : (c.property & 0x4000) ? 0x2 : (c.property & 0x8000) ? 0x4 : 0;
        if (c.charsetform == 2)
            f |= 0x1000;
        for (const std::string &k : t.cluster_cols)
            if (k == c.name)
                f |= 0x10000;
        return f;
    }
    static uint32_t tab_flag(const kb::DbTable &t)
    {
        return (t.parts.empty() ? 0 : 0x20) | (t.composite ? 0x100 : 0) | (t.cluster.empty() ? 0 : 0x40);
    }
    static bool stored(const kb::DbColumn &c) { return c.segcol != 0; }

    // Dictionary records of a table: its object, table record and columns in
    // segment order (stored columns first), and its partitions.
    void add_table(const kb::DbTable &t, uint32_t ui, uint32_t tsn, uint32_t objb = 0, uint32_t tabn = 0)
    {
        OBJ o{};
        o.flag = t.obj_flags;
        o.objn = t.objn;
        o.owner = ui;
        o.type = 2;
        snprintf(o.name, sizeof(o.name), "%s", t.name.c_str());
        objs.push_back(o);
        TAB r{};
        r.flag = tab_flag(t);
        r.objn = t.objn;
        r.objd = t.objd;
        r.objb = objb;
        r.tabn = tabn;
        r.ui = ui;
        r.oi = (uint32_t)objs.size() - 1;
        r.coff = (uint32_t)cols.size();
        r.tsn = tsn;
        if (t.parts.empty() && !t.no_segment) {
            r.fno = seg_fno(t.segment);
            r.blk = seg_blk(t.segment);
        }
        uint32_t scid = 1;
        for (int pass = 0; pass < 2; pass++)
            for (size_t i = 0; i < t.cols.size(); i++) {
                const kb::DbColumn &c = t.cols[i];
                if (stored(c) != (pass == 0))
                    continue;
                COL k{};
                k.flag = col_flag(t, c);
                k.objn = t.objn;
                k.cid = (uint32_t)i + 1;
                k.scid = stored(c) ? scid++ : 0xFFFF;
                k.ctyp = (uint32_t)c.type;
                k.clen = (uint32_t)c.length;
                snprintf(k.name, sizeof(k.name), "%s", c.name.c_str());
                if (c.type == 8 || c.type == 24)
                    r.flag |= 0x2;
                if (!(k.flag & 0x7))
                    r.ncol++;
                cols.push_back(k);
            }
        r.tcol = (uint32_t)cols.size() - r.coff;
        tabs.push_back(r);
        // A partition or subpartition record with its segment.
        auto seg_part = [&](auto &rec, const kb::DbPart &s, uint32_t parent) {
            rec.objn = s.objn;
            rec.objd = s.objd;
            rec.objp = parent;
            rec.fno = seg_fno(s.segment);
            rec.blk = seg_blk(s.segment);
            rec.tsn = tsn;
        };
        for (const kb::DbPart &cp : t.parts) {
            if (!t.composite) {
                seg_part(tps.emplace_back(), cp, t.objn);
                continue;
            }
            TABPART p{};
            p.objn = cp.objn;
            p.objp = t.objn;
            tcps.push_back(p);
        }
        for (const kb::DbPart &cp : t.parts)
            for (const kb::DbPart &s : cp.subparts)
                seg_part(tsps.emplace_back(), s, cp.objn);
    }

    // Points g_ctx at the records and datafiles ("load dict" done).
    void install()
    {
        g_ctx.df = files.data();
        g_ctx.sys.nf = (uint32_t)files.size();
        g_ctx.usr = users.data();
        g_ctx.sys.nu = (uint32_t)users.size();
        g_ctx.obj = objs.data();
        g_ctx.sys.nobj = (uint32_t)objs.size();
        g_ctx.tab = tabs.data();
        g_ctx.sys.ntab = (uint32_t)tabs.size();
        g_ctx.col = cols.data();
        g_ctx.sys.ncol = (uint32_t)cols.size();
        g_ctx.tp = tps.data();
        g_ctx.sys.ntp = (uint32_t)tps.size();
        g_ctx.tcp = tcps.data();
        g_ctx.sys.ntcp = (uint32_t)tcps.size();
        g_ctx.tsp = tsps.data();
        g_ctx.sys.ntsp = (uint32_t)tsps.size();
    }

    // Runs one command handler on ARGS, capturing both output streams in
    // out and err.
    int capture(int (*handler)(char *), const std::string &args)
    {
        std::vector<char> buf(args.begin(), args.end());
        buf.push_back('\0');
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int rc = handler(buf.data());
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return rc;
    }
    // Runs "unload ARGS".
    int unload(const std::string &args)
    {
        install();
        return capture(unload_handle, args);
    }

    xd::Bytes read_dump(const std::string &name)
    {
        std::ifstream f(dir + "/data/" + name, std::ios::binary);
        return xd::Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    bool dump_exists(const std::string &name) { return access((dir + "/data/" + name).c_str(), F_OK) == 0; }

    // The expected entries of a table from its description: stored columns in
    // segment order, hidden ones left out, trailing NULLs not stored; the
    // live rows, or with deleted the deleted ones.
    static xd::Table expect(const kb::DbTable &t, bool with_segments = true, bool deleted = false)
    {
        xd::Table x;
        x.name = t.name;
        std::vector<const kb::DbColumn *> segcols;
        for (const kb::DbColumn &c : t.cols)
            if (stored(c))
                segcols.push_back(&c);
        auto add_col = [&](const kb::DbColumn &c) {
            if (!(col_flag(t, c) & 0x7))
                x.cols.push_back({c.name, (uint32_t)c.type, (uint32_t)c.length, c.charsetform == 2});
        };
        for (const kb::DbColumn *c : segcols)
            add_col(*c);
        for (const kb::DbColumn &c : t.cols)
            if (!stored(c))
                add_col(c);
        for (const kb::DbColumn &c : t.cols)
            if (c.type == 8 || c.type == 24)
                x.flag |= 1;
        if (!with_segments)
            return x;
        std::vector<const std::vector<kb::LogicalRow> *> sets;
        if (t.parts.empty())
            sets.push_back(&t.rows);
        for (const kb::DbPart &p : t.parts) {
            if (!t.composite)
                sets.push_back(&p.rows);
            for (const kb::DbPart &s : p.subparts)
                sets.push_back(&s.rows);
        }
        for (const auto *rows : sets)
            for (const kb::LogicalRow &r : *rows)
                if (r.layout != kb::RowLayout::FreeSlot &&
                    (r.layout == kb::RowLayout::Deleted || r.deleted) == deleted)
                    x.rows.push_back(expect_row(t, segcols, r));
        return x;
    }
    static xd::Row expect_row(const kb::DbTable &t, const std::vector<const kb::DbColumn *> &stored,
                              const kb::LogicalRow &r)
    {
        size_t n = r.cols.size();
        if (!r.keep_trailing_nulls)
            while (n > 0 && r.cols[n - 1].null)
                n--;
        xd::Row x;
        for (size_t i = 0; i < n && i < stored.size(); i++) {
            const kb::DbColumn *c = stored[i];
            if (col_flag(t, *c) & 0x7)
                continue;
            const kb::Col &v = r.cols[i];
            if (v.null || v.data.empty())
                x.vals.push_back(xd::null());
            else if (c->type == 8 || c->type == 24)
                x.vals.push_back(xd::long_value(v.data));
            else
                x.vals.push_back(xd::data(v.data));
        }
        return x;
    }
};

// Columns and rows used across the tests: a column of COL$ PROPERTY
// `property` and CHARSETFORM `csform` (-1: the type's own).
inline kb::DbColumn ucol(const std::string &name, int type, int len, uint32_t property = 0, int csform = -1)
{
    kb::DbColumn c;
    c.name = name;
    c.type = type;
    c.length = len;
    c.property = property;
    c.charsetform = csform;
    return c;
}
// LOB locator: common part (length, version, flags, width 1, LOB id), then
// what follows it.
inline std::vector<uint8_t> locator(uint8_t flg2, uint8_t flg4, const std::vector<uint8_t> &rest)
{
    std::vector<uint8_t> l = {0, 0, 0, 1, 0, flg2, 0, flg4, 0, 1};
    for (int i = 0; i < 10; i++)
        l.push_back((uint8_t)(0x30 + i));
    l.insert(l.end(), rest.begin(), rest.end());
    return l;
}
inline kb::LogicalRow lrow(std::vector<kb::Col> cols, kb::RowLayout layout = kb::RowLayout::Normal)
{
    kb::LogicalRow r;
    r.cols = std::move(cols);
    r.layout = layout;
    return r;
}
// A heap table of one free-list segment whose object and data object
// numbers are objn.
inline kb::DbTable heap_table(const std::string &name, uint32_t objn, std::vector<kb::DbColumn> cols)
{
    kb::DbTable t;
    t.name = name;
    t.objn = t.objd = objn;
    t.cols = std::move(cols);
    t.seg_kind = 0x10;
    return t;
}

// A user and the datafiles of tablespace 4 for tests that write blocks by
// hand: the fixture of the damage tests.
class OneFileTest : public UnloadTest {
protected:
    kb::Datafile df;
    uint32_t next = 2;
    uint32_t scott = 0;
    kb::DbTable t;

    void SetUp() override
    {
        UnloadTest::SetUp();
        g_data_lost = 0;
        scott = add_user("SCOTT");
    }
    // A datafile of tablespace 4 with file numbers fno and blocks of bsz bytes.
    void users_file(kb::Datafile &f, const std::string &name, uint32_t fno, uint32_t blocks, uint32_t bsz = 8192)
    {
        kb::FileDesc d;
        d.fno = d.rfn = fno;
        d.tsn = 4;
        d.blocks = blocks;
        d.bsz = bsz;
        ASSERT_EQ(kb::df_create(f, dir + "/" + name, d), 0);
    }
    // Appends the 6-byte rowid (rdba, slot) of a next or head piece.
    static void rowid(std::vector<uint8_t> &p, uint32_t dba, uint16_t slot)
    {
        for (int s = 24; s >= 0; s -= 8)
            p.push_back((uint8_t)(dba >> s));
        p.push_back((uint8_t)(slot >> 8));
        p.push_back((uint8_t)slot);
    }
};

// One user datafile (file 4 of tablespace 4, 512 blocks), user SCOTT and
// its table t (A NUMBER, B VARCHAR2(20); rows (0..2, 'b'), one extent of 8
// blocks, not yet written).
class OneTableTest : public OneFileTest {
protected:
    void SetUp() override
    {
        OneFileTest::SetUp();
        users_file(df, "users01.dbf", 4, 512);
        t = heap_table("T", 700, {ucol("A", 2, 22), ucol("B", 1, 20)});
        t.seg.extents = {8};
        for (int i = 0; i < 3; i++)
            t.rows.push_back(lrow({kb::col_num(i), kb::col_str("b")}));
    }
    // Writes a data block of t's data object at rdba a: the row pieces of
    // each table directory entry; fcls >= 0 makes it a compressed block.
    void write_block(uint32_t a, const std::vector<std::vector<std::vector<uint8_t>>> &tables, int fcls = -1)
    {
        kb::DataBlock b;
        b.objd = t.objd;
        b.fcls = fcls;
        for (const auto &pieces : tables) {
            b.tables.emplace_back();
            for (const auto &p : pieces)
                b.tables.back().push_back(kb::Slot{false, p});
        }
        std::vector<uint8_t> blk(df.d.bsz);
        ASSERT_EQ(kb::compose_data_block(b, df.d.bsz, a, blk.data()), 0);
        ASSERT_EQ(kb::df_write_block(df, df.block_of(a), blk.data()), 0);
    }
};
