// The capture of a forked worker's output and its replay in the parent.
#include <cstring>
#include <unistd.h>
#include <vector>

#include "kelvo/capture.h"
#include "kelvo/context.h"

namespace {

int cap_fd = -1;

ssize_t put(void *cookie, const char *buf, size_t n)
{
    capture_emit((uint8_t)(uintptr_t)cookie, buf, n);
    return (ssize_t)n;
}

void put_block(const DATAFILE *df, uint32_t rdba, int fault)
{
    if (df >= g_ctx.df && df < g_ctx.df + g_ctx.sys.nf) {
        CAP_BLOCK_REC r = {(uint32_t)(df - g_ctx.df), rdba, fault};
        capture_emit(CAP_BLOCK, &r, sizeof(r));
        return;
    }
    // Not a datafile of the list: reported here, as the parent could not name it.
    g_report_hook = nullptr;
    report_block(df, rdba, fault);
    g_report_hook = put_block;
}

} // namespace

void capture_emit(uint8_t tag, const void *data, size_t n)
{
    uint8_t head[5];
    uint32_t len = (uint32_t)n;
    head[0] = tag;
    memcpy(head + 1, &len, 4);
    // A capture that cannot be written ends without its result: the parent
    // takes the worker's work as failed.
    if (write_full(cap_fd, head, sizeof(head)) < 0 || write_full(cap_fd, (const uint8_t *)data, n) < 0)
        _exit(3);
}

FILE *capture_stream(uint8_t tag)
{
    cookie_io_functions_t io = {nullptr, put, nullptr, nullptr};
    FILE *f = fopencookie((void *)(uintptr_t)tag, "w", io);
    if (f)
        setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

int capture_start(int fd)
{
    cap_fd = fd;
    FILE *out = capture_stream(CAP_STDOUT);
    FILE *err = capture_stream(CAP_STDERR);
    if (!out || !err)
        return -1;
    stdout = out;
    stderr = err;
    g_report_hook = put_block;
    return 0;
}

void capture_replay(int fd, const std::function<void(uint8_t tag, const uint8_t *p, uint32_t len)> &other)
{
    std::vector<uint8_t> cap;
    off_t size = lseek(fd, 0, SEEK_END);
    if (size > 0) {
        cap.resize((size_t)size);
        long got = pread_full(fd, cap.data(), cap.size(), 0);
        cap.resize(got > 0 ? (size_t)got : 0);
    }
    size_t at = 0;
    while (at + 5 <= cap.size()) {
        uint8_t tag = cap[at];
        uint32_t len;
        memcpy(&len, &cap[at + 1], 4);
        if (len > cap.size() - at - 5)
            break;
        const uint8_t *p = &cap[at + 5];
        at += 5 + len;
        switch (tag) {
        case CAP_STDOUT: fwrite(p, 1, len, stdout); break;
        case CAP_STDERR: fwrite(p, 1, len, stderr); break;
        case CAP_BLOCK:
            if (len == sizeof(CAP_BLOCK_REC)) {
                CAP_BLOCK_REC b;
                memcpy(&b, p, sizeof(b));
                if (b.dfi < g_ctx.sys.nf)
                    report_block(&g_ctx.df[b.dfi], b.rdba, b.fault);
            }
            break;
        default: other(tag, p, len); break;
        }
    }
}
