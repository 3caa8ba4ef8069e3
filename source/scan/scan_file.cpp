// The saved scan, "<dictdir>/segments.scan": a file of our own, little-endian,
// read back by later sessions and so checked in full when read:
//
//    0  magic "KELVOSCN", version (u32), objects (u32), character set (64 bytes)
//   80  per object, in ascending data object number:
//         objd, tsn, bsz, flag, ncol, nranges (u32 each),
//         blocks, rows, chained, compressed, bad (u64 each)      64 bytes
//         nranges x fno, first, last, blocks (u32 each)          16 bytes each
//         ncol x values, bytes, num, date, stamp, text, other (u64),
//                minlen, maxlen (u32)                            64 bytes each
//  end  check value: FNV-1a (32 bits) of every byte before it
//
// A file whose counts, lengths or check value do not hold is refused whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvo/scan.h"
#include "kelvo/context.h"

namespace {

constexpr char MAGIC[8] = {'K', 'E', 'L', 'V', 'O', 'S', 'C', 'N'};
constexpr uint32_t VERSION = 1;
constexpr size_t HEAD = 80, CHARSET = 64, OBJ_FIXED = 64, RANGE = 16, COLUMN = 64;
// A saved scan larger than this is no scan kelvo wrote (a million objects
// of a hundred columns fit many times over).
constexpr size_t FILE_MAX = (size_t)1 << 32;
// More rows or blocks than any set of datafiles holds.
constexpr uint64_t COUNT_MAX = (uint64_t)1 << 48;

uint32_t fnv1a(const uint8_t *p, size_t n)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void put_bytes(std::vector<uint8_t> &o, const void *p, size_t n)
{
    size_t at = o.size();
    o.resize(at + n);
    memcpy(o.data() + at, p, n);
}
void put32(std::vector<uint8_t> &o, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        o.push_back((uint8_t)(v >> (8 * i)));
}
void put64(std::vector<uint8_t> &o, uint64_t v)
{
    for (int i = 0; i < 8; i++)
        o.push_back((uint8_t)(v >> (8 * i)));
}

// A bounded reader: every take checks the bytes left first.
struct Reader {
    const uint8_t *p;
    size_t n, at = 0;
    bool has(size_t k) const { return k <= n - at; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v |= (uint32_t)p[at + i] << (8 * i);
        at += 4;
        return v;
    }
    uint64_t u64()
    {
        uint64_t v = 0;
        for (int i = 0; i < 8; i++)
            v |= (uint64_t)p[at + i] << (8 * i);
        at += 8;
        return v;
    }
};

bool block_size_ok(uint32_t b) { return b >= 2048 && b <= 65536 && (b & (b - 1)) == 0; }

int fail(const char **why, const char *text)
{
    *why = text;
    return -1;
}

int decode_object(Reader &r, SCAN_OBJ &o, const char **why)
{
    if (!r.has(OBJ_FIXED))
        return fail(why, "object record cut short");
    o.objd = r.u32();
    o.tsn = r.u32();
    o.bsz = r.u32();
    o.flag = r.u32();
    o.ncol = r.u32();
    uint32_t nranges = r.u32();
    o.blocks = r.u64();
    o.rows = r.u64();
    o.chained = r.u64();
    o.compressed = r.u64();
    o.bad = r.u64();
    if (!block_size_ok(o.bsz))
        return fail(why, "block size out of range");
    if (o.flag & ~SCAN_CLUSTER)
        return fail(why, "unknown object flags");
    if (o.ncol > SCAN_COLS_MAX || nranges == 0 || nranges > SCAN_RANGES_MAX)
        return fail(why, "column or datafile count out of range");
    if (!r.has((size_t)nranges * RANGE + (size_t)o.ncol * COLUMN))
        return fail(why, "object record cut short");
    if (o.rows > COUNT_MAX || o.blocks > COUNT_MAX || o.chained > o.rows || o.compressed > o.blocks || o.bad > o.blocks)
        return fail(why, "row or block counts do not agree");
    uint64_t in_ranges = 0;
    o.ranges.resize(nranges);
    for (SCAN_RANGE &g : o.ranges) {
        g.fno = r.u32();
        g.first = r.u32();
        g.last = r.u32();
        g.blocks = r.u32();
        if (g.first > g.last || g.blocks == 0 || g.blocks - 1 > g.last - g.first)
            return fail(why, "block range out of order");
        in_ranges += g.blocks;
    }
    if (in_ranges != o.blocks)
        return fail(why, "block ranges do not add up to the blocks");
    o.cols.resize(o.ncol);
    for (SCAN_COL &c : o.cols) {
        c.values = r.u64();
        c.bytes = r.u64();
        c.num = r.u64();
        c.date = r.u64();
        c.stamp = r.u64();
        c.text = r.u64();
        c.other = r.u64();
        c.minlen = r.u32();
        c.maxlen = r.u32();
        if (c.values > o.rows || c.num > c.values || c.date > c.values || c.stamp > c.values ||
            c.text > c.values || c.other > c.values || c.date + c.stamp > c.values)
            return fail(why, "column counts exceed the values");
        if (c.maxlen > 65535 || (c.values > 0 && c.minlen > c.maxlen) ||
            c.bytes > c.values * (uint64_t)c.maxlen || c.bytes < c.values * (uint64_t)c.minlen)
            return fail(why, "column lengths do not agree");
    }
    return 0;
}

} // namespace

void scan_encode(const SCAN_RESULT &r, std::vector<uint8_t> &out)
{
    out.clear();
    put_bytes(out, MAGIC, sizeof(MAGIC));
    put32(out, VERSION);
    put32(out, (uint32_t)r.objs.size());
    char cs[CHARSET] = {};
    memcpy(cs, r.charset.data(), r.charset.size() < CHARSET - 1 ? r.charset.size() : CHARSET - 1);
    put_bytes(out, cs, CHARSET);
    for (const SCAN_OBJ &o : r.objs) {
        for (uint32_t v : {o.objd, o.tsn, o.bsz, o.flag, o.ncol, (uint32_t)o.ranges.size()})
            put32(out, v);
        for (uint64_t v : {o.blocks, o.rows, o.chained, o.compressed, o.bad})
            put64(out, v);
        for (const SCAN_RANGE &g : o.ranges)
            for (uint32_t v : {g.fno, g.first, g.last, g.blocks})
                put32(out, v);
        for (const SCAN_COL &c : o.cols) {
            for (uint64_t v : {c.values, c.bytes, c.num, c.date, c.stamp, c.text, c.other})
                put64(out, v);
            put32(out, c.minlen);
            put32(out, c.maxlen);
        }
    }
    put32(out, fnv1a(out.data(), out.size()));
}

int scan_decode(const uint8_t *p, size_t n, SCAN_RESULT &res, const char **why)
{
    res.objs.clear();
    res.charset.clear();
    if (n < HEAD + 4 || memcmp(p, MAGIC, sizeof(MAGIC)) != 0)
        return fail(why, "not a saved scan");
    Reader r{p, n - 4};
    r.at = sizeof(MAGIC);
    uint32_t version = r.u32();
    if (version != VERSION)
        return fail(why, "unknown version");
    Reader c{p + n - 4, 4};
    if (c.u32() != fnv1a(p, n - 4))
        return fail(why, "check value mismatch");
    uint32_t nobj = r.u32();
    const char *cs = (const char *)p + r.at;
    size_t cslen = strnlen(cs, CHARSET);
    bool padded = cslen < CHARSET;
    for (size_t i = cslen; i < CHARSET; i++)
        padded &= cs[i] == 0;
    if (cslen == 0 || !padded)
        return fail(why, "character set name malformed");
    res.charset.assign(cs, cslen);
    r.at += CHARSET;
    // Every object takes at least its fixed fields and one range.
    if (nobj > (r.n - r.at) / (OBJ_FIXED + RANGE))
        return fail(why, "object count exceeds the file");
    res.objs.resize(nobj);
    for (uint32_t i = 0; i < nobj; i++) {
        if (decode_object(r, res.objs[i], why) < 0)
            return -1;
        if (i > 0 && res.objs[i].objd <= res.objs[i - 1].objd)
            return fail(why, "data objects out of order");
    }
    if (r.at != r.n)
        return fail(why, "bytes after the last object");
    return 0;
}

static void scan_path(char *path, size_t size) { snprintf(path, size, "%s/%s", g_ctx.par.dict_dir, SCAN_FILE); }

int scan_save(const SCAN_RESULT &r)
{
    std::vector<uint8_t> bytes;
    scan_encode(r, bytes);
    char path[2048], tmp[2100];
    scan_path(path, sizeof(path));
    // Written aside and renamed: a scan cut short leaves the one before.
    snprintf(tmp, sizeof(tmp), "%s.tmp", path);
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        fprintf(stderr, "open %s: %s\n", tmp, strerror(errno));
        return -1;
    }
    int rc = write_full(fd, bytes.data(), bytes.size());
    if (close(fd) < 0)
        rc = -1;
    if (rc < 0) {
        fprintf(stderr, "write %s: %s\n", tmp, strerror(errno));
        unlink(tmp);
        return -1;
    }
    if (rename(tmp, path) < 0) {
        fprintf(stderr, "rename %s: %s\n", tmp, strerror(errno));
        unlink(tmp);
        return -1;
    }
    return 0;
}

int scan_load(SCAN_RESULT &r)
{
    char path[2048];
    scan_path(path, sizeof(path));
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT)
            fprintf(stderr, "no saved scan in \"%s\": run \"scan\" first.\n", g_ctx.par.dict_dir);
        else
            fprintf(stderr, "open %s: %s\n", path, strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) < 0 || st.st_size < 0 || (uint64_t)st.st_size > FILE_MAX) {
        fprintf(stderr, "saved scan \"%s\" is damaged (%s): run \"scan\" again.\n", path, "size out of range");
        close(fd);
        return -1;
    }
    std::vector<uint8_t> bytes((size_t)st.st_size);
    long got = read_full(fd, bytes.data(), bytes.size());
    close(fd);
    if (got < 0) {
        fprintf(stderr, "read %s: %s\n", path, strerror(errno));
        return -1;
    }
    const char *why = nullptr;
    if (scan_decode(bytes.data(), (size_t)got, r, &why) < 0) {
        fprintf(stderr, "saved scan \"%s\" is damaged (%s): run \"scan\" again.\n", path, why);
        r.objs.clear();
        return -1;
    }
    return 0;
}

const SCAN_OBJ *scan_find(const SCAN_RESULT &r, uint32_t objd)
{
    size_t lo = 0, hi = r.objs.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (r.objs[mid].objd < objd)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < r.objs.size() && r.objs[lo].objd == objd ? &r.objs[lo] : nullptr;
}
