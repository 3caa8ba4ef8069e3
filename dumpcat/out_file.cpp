// Output files: created inside OUTDIR only (OUTDIR itself when missing) (a name never holds a '/'; a
// symbolic link in OUTDIR is not followed), written through a 256 KiB buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dumpcat.h"

constexpr size_t OUT_BUFFER = 256u << 10;

std::string dc_file_name(const std::string &owner, const std::string &table, const char *ext)
{
    std::string base = table.empty() ? owner : owner + "_" + table, name;
    if (base.empty())
        base = "dump";
    for (size_t i = 0; i < base.size(); i++) {
        unsigned char c = (unsigned char)base[i];
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '$' || c == '#' || c == '-' || (c == '.' && i > 0) || c >= 0x80;
        if (plain) {
            name += (char)c;
        } else {
            char h[4];
            snprintf(h, sizeof h, "%%%02X", c);
            name += h;
        }
    }
    return name + ext;
}

int dc_out_open(dc_out &o, const std::string &dir, const std::string &name)
{
    o.path = dir + "/" + name;
    o.buf.resize(OUT_BUFFER);
    o.len = 0;
    o.failed = false;
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd < 0 && errno == ENOENT && mkdir(dir.c_str(), 0755) == 0)   // created when missing
        dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd < 0) {
        fprintf(stderr, "Open %s: %s\n", dir.c_str(), strerror(errno));
        return -1;
    }
    o.fd = openat(dfd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    int e = errno;
    close(dfd);
    if (o.fd < 0) {
        fprintf(stderr, "Create %s: %s\n", o.path.c_str(), strerror(e));
        return -1;
    }
    return 0;
}

void dc_out_stdout(dc_out &o)
{
    o.fd = 1;
    o.path = "standard output";
    o.buf.resize(OUT_BUFFER);
    o.len = 0;
    o.failed = false;
}

int dc_out_flush(dc_out &o)
{
    size_t done = 0;
    while (done < o.len && !o.failed) {
        ssize_t k = write(o.fd, o.buf.data() + done, o.len - done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            fprintf(stderr, "Write %s: %s\n", o.path.c_str(), strerror(k < 0 ? errno : EIO));
            o.failed = true;
            break;
        }
        done += (size_t)k;
    }
    o.len = 0;
    return o.failed ? -1 : 0;
}

int dc_out_close(dc_out &o)
{
    int rc = dc_out_flush(o);
    if (o.fd > 1 && close(o.fd) != 0 && rc == 0) {
        fprintf(stderr, "Write %s: %s\n", o.path.c_str(), strerror(errno));
        rc = -1;
    }
    o.fd = -1;
    return rc;
}

void dc_put_doubled(dc_out &o, const char *p, size_t n, char quote)
{
    const char *q;
    while ((q = static_cast<const char *>(memchr(p, quote, n))) != nullptr) {
        dc_put(o, p, (size_t)(q - p) + 1);
        dc_putc(o, quote);
        n -= (size_t)(q - p) + 1;
        p = q + 1;
    }
    dc_put(o, p, n);
}
