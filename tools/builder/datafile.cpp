// Datafiles: block 0, the datafile header, positioned block writes, and the
// large benchmark file.
#include "kbuild.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kb {

Datafile::Datafile(Datafile &&o) noexcept : fd(o.fd), d(std::move(o.d)), path(std::move(o.path)) { o.fd = -1; }

Datafile &Datafile::operator=(Datafile &&o) noexcept
{
    if (this != &o) {
        if (fd >= 0)
            ::close(fd);
        fd = o.fd;
        d = std::move(o.d);
        path = std::move(o.path);
        o.fd = -1;
    }
    return *this;
}

Datafile::~Datafile()
{
    if (fd >= 0)
        ::close(fd);
}

uint64_t Datafile::offset(uint32_t b) const
{
    return b == 0 ? 0 : (uint64_t)d.blk0_sz + (uint64_t)d.bsz * (uint64_t)(b - 1);
}

uint32_t Datafile::rdba_of(uint32_t b) const { return d.bigfile ? b : rdba(d.rfn, b); }

uint32_t Datafile::block_of(uint32_t a) const { return d.bigfile ? a : (a & 0x3FFFFF); }

void init_block(uint8_t *blk, uint32_t bsz, uint8_t type, uint32_t a, uint32_t scn)
{
    blk[0] = type;
    blk[1] = 0xA2;           // block format of 8.x and later
    blk[2] = 0;
    blk[3] = 0;
    put_le32(blk + 4, a);
    put_le32(blk + 8, scn);  // SCN base
    put_le16(blk + 12, 0);   // SCN wrap
    blk[14] = 1;             // sequence within the SCN
    blk[15] = 0x04;          // the block carries a check value
    put_le16(blk + 16, 0);
    put_le16(blk + 18, 0);
    // Tail check: low 16 bits of the SCN base, the type and the sequence.
    put_le32(blk + bsz - 4, ((scn & 0xFFFF) << 16) | ((uint32_t)type << 8) | 1);
}

static FileDesc normalised(const FileDesc &in)
{
    FileDesc d = in;
    if (d.blk0_sz == 0)
        d.blk0_sz = d.bsz;
    if (d.bigfile)
        d.rfn = 1024;
    return d;
}

void make_block0(uint8_t *b0, const FileDesc &in)
{
    FileDesc d = normalised(in);
    memset(b0, 0, d.blk0_sz);
    b0[1] = 0xA2;
    put_le32(b0 + 4, 0xFFC00000);
    put_le32(b0 + 20, d.blk0_sz);
    put_le32(b0 + 24, d.blocks);
    put_le32(b0 + 28, d.platform);
    fix_check(b0, d.blk0_sz);
}

void make_file_header(uint8_t *h, const FileDesc &in)
{
    FileDesc d = normalised(in);
    memset(h, 0, d.bsz);
    init_block(h, d.bsz, 0x0B, d.bigfile ? 1 : rdba(d.rfn, 1));
    put_le32(h + 20, 0x0B200400);   // software version 11.2.0.4
    put_le32(h + 24, 0x0B200000);   // compatibility 11.2.0.0
    put_le32(h + 28, d.dbid);
    memcpy(h + 32, d.dbname.data(), d.dbname.size() < 8 ? d.dbname.size() : 8);
    put_le32(h + 40, 1);            // control file sequence
    put_le32(h + 44, d.blocks);     // kccfhfsz
    put_le32(h + 48, d.bsz);        // kccfhbsz
    put_le16(h + 52, (uint16_t)d.fno);
    put_le16(h + 54, 3);            // file type: datafile
    put_le32(h + 96, d.rootdba);
    put_le32(h + 332, d.tsn);
    size_t tl = d.tsname.size() < 30 ? d.tsname.size() : 30;
    put_le16(h + 336, (uint16_t)tl);
    memcpy(h + 338, d.tsname.data(), tl);
    put_le32(h + 368, d.rfn);
    fix_check(h, d.bsz);
}

static int pwrite_all(const Datafile &df, const uint8_t *p, size_t n, uint64_t off)
{
    while (n > 0) {
        ssize_t w = ::pwrite(df.fd, p, n, (off_t)off);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            fprintf(stderr, "write %s: %s\n", df.path.c_str(), strerror(errno));
            return -1;
        }
        p += w;
        n -= (size_t)w;
        off += (uint64_t)w;
    }
    return 0;
}

int df_create(Datafile &df, const std::string &path, const FileDesc &in)
{
    FileDesc d = normalised(in);
    if (d.bsz < 2048 || d.bsz > 32768 || (d.bsz & (d.bsz - 1)) || d.blk0_sz < 512 || (d.blk0_sz & 1) ||
        d.blocks < 1) {
        fprintf(stderr, "%s: bad datafile geometry (bsz %u, blk0_sz %u, blocks %u)\n", path.c_str(), d.bsz,
                d.blk0_sz, d.blocks);
        return -1;
    }
    df_close(df);
    df.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (df.fd < 0) {
        fprintf(stderr, "open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    df.d = d;
    df.path = path;
    if (::ftruncate(df.fd, (off_t)df.offset(d.blocks + 1)) != 0) {
        fprintf(stderr, "truncate %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    std::vector<uint8_t> b0(d.blk0_sz), h(d.bsz);
    make_block0(b0.data(), d);
    make_file_header(h.data(), d);
    if (pwrite_all(df, b0.data(), b0.size(), 0) || pwrite_all(df, h.data(), h.size(), df.offset(1)))
        return -1;
    return 0;
}

int df_write_block(Datafile &df, uint32_t b, uint8_t *blk)
{
    fix_check(blk, df.d.bsz);
    return df_write_raw(df, b, blk, df.d.bsz);
}

int df_write_raw(Datafile &df, uint32_t b, const uint8_t *blk, size_t n)
{
    if (b > df.d.blocks) {
        fprintf(stderr, "%s: block %u beyond the file's %u blocks\n", df.path.c_str(), b, df.d.blocks);
        return -1;
    }
    return pwrite_all(df, blk, n, df.offset(b));
}

int df_read_block(Datafile &df, uint32_t b, uint8_t *blk)
{
    size_t n = b == 0 ? df.d.blk0_sz : df.d.bsz, got = 0;
    uint64_t off = df.offset(b);
    while (got < n) {
        ssize_t r = ::pread(df.fd, blk + got, n - got, (off_t)(off + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            fprintf(stderr, "read %s: %s\n", df.path.c_str(), r < 0 ? strerror(errno) : "end of file");
            return -1;
        }
        got += (size_t)r;
    }
    return 0;
}

int df_set_root(Datafile &df, uint32_t rootdba)
{
    df.d.rootdba = rootdba;
    std::vector<uint8_t> h(df.d.bsz);
    make_file_header(h.data(), df.d);
    return pwrite_all(df, h.data(), h.size(), df.offset(1));
}

int df_grow(Datafile &df, uint32_t blocks)
{
    if (blocks <= df.d.blocks)
        return 0;
    df.d.blocks = blocks;
    if (::ftruncate(df.fd, (off_t)df.offset(blocks + 1)) != 0) {
        fprintf(stderr, "truncate %s: %s\n", df.path.c_str(), strerror(errno));
        return -1;
    }
    return 0;
}

int df_finish(Datafile &df)
{
    std::vector<uint8_t> b0(df.d.blk0_sz), h(df.d.bsz);
    make_block0(b0.data(), df.d);
    make_file_header(h.data(), df.d);
    int rc = pwrite_all(df, b0.data(), b0.size(), 0) || pwrite_all(df, h.data(), h.size(), df.offset(1)) ? -1 : 0;
    df_close(df);
    return rc;
}

int df_close(Datafile &df)
{
    if (df.fd >= 0)
        ::close(df.fd);
    df.fd = -1;
    return 0;
}

// Opens an existing datafile and takes its geometry from block 0 and the
// datafile header.
static int open_existing(Datafile &df, const std::string &path)
{
    df_close(df);
    df.fd = ::open(path.c_str(), O_RDWR);
    if (df.fd < 0) {
        fprintf(stderr, "open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    df.path = path;
    uint8_t b0[32];
    if (::pread(df.fd, b0, sizeof b0, 0) != (ssize_t)sizeof b0) {
        fprintf(stderr, "read %s: short block 0\n", path.c_str());
        return -1;
    }
    df.d.blk0_sz = read_le32(b0 + 20);
    uint8_t h[372];
    if (::pread(df.fd, h, sizeof h, df.d.blk0_sz) != (ssize_t)sizeof h) {
        fprintf(stderr, "read %s: short datafile header\n", path.c_str());
        return -1;
    }
    df.d.blocks = read_le32(h + 44);
    df.d.bsz = read_le32(h + 48);
    df.d.fno = read_le16(h + 52);
    df.d.rootdba = read_le32(h + 96);
    df.d.tsn = read_le32(h + 332);
    df.d.rfn = read_le32(h + 368);
    df.d.bigfile = df.d.rfn == 1024;
    if (df.d.bsz < 2048 || df.d.bsz > 32768) {
        fprintf(stderr, "%s: block size %u\n", path.c_str(), df.d.bsz);
        return -1;
    }
    return 0;
}

int read_file_block(const std::string &path, uint32_t b, std::vector<uint8_t> &blk)
{
    Datafile df;
    if (open_existing(df, path))
        return -1;
    blk.assign(b == 0 ? df.d.blk0_sz : df.d.bsz, 0);
    return df_read_block(df, b, blk.data());
}

int patch_block(const std::string &path, uint32_t b, size_t offset, const std::vector<uint8_t> &bytes, bool fix)
{
    Datafile df;
    std::vector<uint8_t> blk;
    if (open_existing(df, path))
        return -1;
    blk.assign(b == 0 ? df.d.blk0_sz : df.d.bsz, 0);
    if (df_read_block(df, b, blk.data()))
        return -1;
    if (offset > blk.size() || bytes.size() > blk.size() - offset) {
        fprintf(stderr, "%s: patch of %zu bytes at %zu beyond block %u\n", path.c_str(), bytes.size(), offset, b);
        return -1;
    }
    std::copy(bytes.begin(), bytes.end(), blk.begin() + (long)offset);
    if (fix)
        fix_check(blk.data(), blk.size());
    return df_write_raw(df, b, blk.data(), blk.size());
}

int make_big_file(const std::string &path, uint64_t mib, uint32_t bsz, uint32_t fno, uint32_t tsn)
{
    FileDesc d;
    d.fno = fno;
    d.rfn = fno;
    d.tsn = tsn;
    d.bsz = bsz;
    d.tsname = "USERS";
    uint64_t total = mib << 20;
    if (total < (uint64_t)bsz * 8 || (total - bsz) / bsz > 0x3FFFFF) {
        fprintf(stderr, "%s: size %llu MiB out of range for one smallfile datafile\n", path.c_str(),
                (unsigned long long)mib);
        return -1;
    }
    d.blocks = (uint32_t)((total - bsz) / bsz);
    Datafile df;
    if (df_create(df, path, d))
        return -1;

    // Block 2: a segment header whose one extent holds every later block.
    const uint32_t objd = 90001;
    Segment s;
    s.kind = 0x10;
    s.objd = objd;
    s.hdr = df.rdba_of(2);
    s.extents.push_back({df.rdba_of(3), d.blocks - 2});
    std::vector<uint8_t> blk(bsz);
    make_segment_header(blk.data(), bsz, s);
    if (df_write_block(df, 2, blk.data()))
        return -1;

    // One template data block with rows; every copy differs only in its rdba,
    // so the check value is the template's XOR with the rdba words folded in.
    DataBlock db;
    db.objd = objd;
    db.tables.resize(1);
    for (int i = 0;; i++) {
        Piece p;
        p.cols = {col_num(i + 1), col_str("ROW " + std::to_string(i + 1) + " OF THE BENCHMARK TABLE"),
                  col_bytes(ora_date(2026, 12, 8, 12, 0, i % 60))};
        db.tables[0].push_back(Slot{false, encode_piece(p)});
        if (block_free_space(db, bsz) < 100)
            break;
    }
    std::vector<uint8_t> tmpl(bsz);
    if (compose_data_block(db, bsz, 0, tmpl.data()) != 0)
        return -1;
    put_le16(tmpl.data() + 16, 0);
    uint16_t base = block_xor(tmpl.data(), bsz);

    const size_t chunk_blocks = (8u << 20) / bsz;
    std::vector<uint8_t> buf(chunk_blocks * bsz);
    for (uint32_t b = 3; b <= d.blocks;) {
        uint32_t n = (uint32_t)std::min<uint64_t>(chunk_blocks, (uint64_t)d.blocks - b + 1);
        for (uint32_t i = 0; i < n; i++) {
            uint8_t *p = buf.data() + (size_t)i * bsz;
            uint32_t a = df.rdba_of(b + i);
            memcpy(p, tmpl.data(), bsz);
            put_le32(p + 4, a);
            put_le16(p + 16, (uint16_t)(base ^ (a & 0xFFFF) ^ (a >> 16)));
        }
        if (pwrite_all(df, buf.data(), (size_t)n * bsz, df.offset(b)))
            return -1;
        b += n;
    }
    return df_close(df);
}

} // namespace kb
