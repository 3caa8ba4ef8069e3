// Opening the listed datafiles: block 0 is verified and the datafile header
// (block 1) gives each file's numbers, size and block size. The SYSTEM
// datafile is the one whose header holds the bootstrap address.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "kelvo/block.h"
#include "kelvo/context.h"

// Oracle's block sizes: powers of two from 2 KiB to 32 KiB. Anything else in
// a header is damage, and would break every buffer sized from it.
static bool valid_block_size(uint32_t bsz)
{
    return bsz >= 2048 && bsz <= 32768 && (bsz & (bsz - 1)) == 0;
}

// What a datafile header says about the database it belongs to.
struct FileRoot {
    uint32_t root;          // bootstrap address, for a file of tablespace 0; else 0
    uint32_t dbid;          // the database (in a container database: the container)
};

// Opens and checks one datafile and takes its root address and database id.
static int open_one(DATAFILE *df, FileRoot *fr)
{
    fr->root = 0;
    fr->dbid = 0;
    df->fd = open(df->name, O_RDONLY | O_CLOEXEC);
    if (df->fd < 0) {
        fprintf(stderr, "open %s: %s\n", df->name, strerror(errno));
        return -1;
    }
    uint8_t *buf = g_ctx.wrk;
    long r = pread_full(df->fd, buf, DF_HEAD_SIZE, 0);
    if (r < 0) {
        fprintf(stderr, "read %s: %s\n", df->name, strerror(errno));
        return -1;
    }
    // The byte order comes first: every other field of a big-endian file
    // reads as nonsense here.
    if (r >= DF_BLK0_OFFSET + (long)offsetof(DF_BLK0, platform) + 4 &&
        memcmp(buf + DF_BLK0_OFFSET + offsetof(DF_BLK0, platform), DF_BIG_ENDIAN_MARK, 4) == 0) {
        fprintf(stderr, "datafile \"%s\" comes from a big-endian platform, not supported.\n", df->name);
        return -1;
    }
    if (r < DF_HEAD_SIZE) {
        fprintf(stderr, "%s size too small.\n", df->name);
        return -1;
    }
    uint32_t blk0_sz = get_le32(buf + DF_BLK0_OFFSET + offsetof(DF_BLK0, blk0_sz));
    // Block 0 must hold its own header, have an even size for the check
    // value, and leave the whole datafile header inside the bytes read.
    if (blk0_sz < sizeof(KCBH) + sizeof(DF_BLK0) || (blk0_sz & 1) || blk0_sz > DF_HEAD_SIZE - sizeof(KCVFH)) {
        fprintf(stderr, "block 0 of \"%s\" has an invalid size %u.\n", df->name, blk0_sz);
        return -1;
    }
    if (check_sum(buf, (int)blk0_sz) != 0) {
        fprintf(stderr, "block 0 of \"%s\" check value error.\n", df->name);
        return -1;
    }
    const uint8_t *h = buf + blk0_sz;
    df->fno = get_le16(h + offsetof(KCVFH, kccfhfno));
    df->rfn = get_le32(h + offsetof(KCVFH, kcvfhrfn));
    df->tsn = get_le32(h + offsetof(KCVFH, kcvfhtsn));
    df->blks = get_le32(h + offsetof(KCVFH, kccfhfsz));
    df->bsz = get_le32(h + offsetof(KCVFH, kccfhbsz));
    df->blk0_sz = blk0_sz;
    if (!valid_block_size(df->bsz)) {
        fprintf(stderr, "datafile header of \"%s\" has an invalid block size %u.\n", df->name, df->bsz);
        return -1;
    }
    // In a container database each container's SYSTEM datafile carries its
    // own bootstrap address, and only a non-CDB's or the root's is file 1.
    if (df->tsn == 0)
        fr->root = get_le32(h + offsetof(KCVFH, rootdba));
    fr->dbid = get_le32(h + offsetof(KCVFH, kccfhdbi));
    if (df->rfn == DF_BIGFILE_RFN)
        df->flag |= DF_BIGFILE;
    return 0;
}

// A file that cannot be used is closed and taken out of the list, so that
// no block address ever leads to it: its blocks read as lying in no
// configured datafile.
static void leave_out(DATAFILE *df)
{
    if (df->fd >= 0)
        close(df->fd);
    df->fd = -1;
    fprintf(stderr, "datafile \"%s\" left out.\n", df->name);
}

// Picks the SYSTEM datafile among the opened ones (roots[i] for df[i]): the
// one the "system" key names, else the file holding a bootstrap address.
// Files of one database do not make a choice (a copy listed twice, a SYSTEM
// tablespace of several files): its first SYSTEM file (relative number 1),
// the last listed, is taken. Files of several databases or containers (each
// PDB has a database id of its own) are refused. Returns the index, or -1
// with said set when a message explained why there is none.
static int pick_system_file(const std::vector<FileRoot> &roots, bool *said)
{
    *said = false;
    int n = (int)roots.size();
    if (g_system_file[0]) {
        *said = true;
        for (int i = n - 1; i >= 0; i--) {
            if (strcmp(g_ctx.df[i].name, g_system_file) != 0)
                continue;
            if (roots[i].root != 0)
                return i;
            fprintf(stderr, "datafile \"%s\" named by \"system\" holds no bootstrap address.\n", g_system_file);
            return -1;
        }
        fprintf(stderr, "datafile \"%s\" named by \"system\" is not among the opened datafiles.\n", g_system_file);
        return -1;
    }
    int last = -1, first_file = -1;
    bool several = false;
    for (int i = 0; i < n; i++) {
        if (roots[i].root == 0)
            continue;
        if (last >= 0 && roots[i].dbid != roots[last].dbid)
            several = true;
        last = i;
        if (g_ctx.df[i].rfn == 1)
            first_file = i;
    }
    if (!several)
        return first_file >= 0 ? first_file : last;
    std::string names;
    for (int i = 0; i < n; i++)
        if (roots[i].root != 0)
            names += std::string(names.empty() ? "" : ", ") + "\"" + g_ctx.df[i].name + "\"";
    fprintf(stderr, "several datafiles hold a bootstrap address: %s; name the SYSTEM datafile with \"system = PATH\" "
                    "in the configuration.\n",
            names.c_str());
    *said = true;
    return -1;
}

int open_datafile(void)
{
    g_ctx.sysf = nullptr;
    g_ctx.sys.rootdba = 0;
    uint32_t listed = g_ctx.sys.nf, kept = 0;
    std::vector<FileRoot> roots;
    for (uint32_t i = 0; i < listed; i++) {
        DATAFILE *df = &g_ctx.df[i];
        FileRoot root;
        if (open_one(df, &root) < 0) {
            leave_out(df);
            continue;
        }
        if (kept != i)
            g_ctx.df[kept] = *df;
        roots.push_back(root);
        kept++;
    }
    g_ctx.sys.nf = kept;
    if (kept < listed)
        fprintf(stderr, "%u of %u listed datafiles opened.\n", kept, listed);
    bool said = false;
    int sys = pick_system_file(roots, &said);
    g_ctx.sysf = sys >= 0 ? &g_ctx.df[sys] : nullptr;
    g_ctx.sys.rootdba = sys >= 0 ? roots[(size_t)sys].root : 0;
    if (g_ctx.sys.rootdba == 0 && !said)
        fprintf(stderr, "SYSTEM tablespace file not configured.\n");
    if (kept == 0) {
        fprintf(stderr, "no datafile could be opened.\n");
        return -1;
    }
    if (g_ctx.sys.rootdba == 0) {
        // Without the SYSTEM file the dictionary cannot be exported, but
        // dictionary files exported before still serve "load dict" and the
        // unload commands.
        fprintf(stderr, "warning: \"export dict\" cannot run; \"load dict\" reads the dictionary files in \"%s\".\n",
                g_ctx.par.dict_dir);
        g_ctx.sysf = nullptr;
    }
    return 0;
}
