// Test support for "verify" and "dump": a users datafile (file 4 of
// tablespace 4, 2 KiB blocks) written by the builder and registered in
// g_ctx, and the commands run in-process with both streams captured.
#pragma once

#include "support.h"

class Diagnose : public UnloadTest {
protected:
    static constexpr uint32_t BSZ = 2048;
    kb::Datafile df;
    uint32_t next = 2;          // first block free for segments
    std::string path;
    uint32_t scott = 0;

    void SetUp() override
    {
        UnloadTest::SetUp();
        kb::FileDesc d;
        d.fno = d.rfn = 4;
        d.tsn = 4;
        d.blocks = 64;
        d.bsz = BSZ;
        d.tsname = "USERS";
        path = dir + "/users01.dbf";
        ASSERT_EQ(kb::df_create(df, path, d), 0);
        scott = add_user("SCOTT");
    }
    // Closes the datafile as written and registers it for reading.
    void finish()
    {
        ASSERT_EQ(kb::df_finish(df), 0);
        add_file(df);
        install();
    }
    int run(int (*handler)(char *), const std::string &args) { return capture(handler, args); }
    static uint32_t rdba(uint32_t b) { return (4u << 22) | b; }
    // The check value the builder stored in block b, as dump prints it.
    std::string stored_check(uint32_t b)
    {
        std::vector<uint8_t> blk;
        EXPECT_EQ(kb::read_file_block(path, b, blk), 0);
        char s[8];
        snprintf(s, sizeof(s), "0x%04x", blk.size() > 17 ? blk[16] | blk[17] << 8 : 0);
        return s;
    }
};
