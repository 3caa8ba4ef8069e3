// Whole reads and writes through pipes, where the system moves fewer bytes
// than asked, and under a timer signal that interrupts blocked calls.
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <thread>
#include <vector>

#include "scratch.h"

namespace {

void on_alarm(int) {}

// Fires SIGALRM every millisecond at the test's thread, without restarting
// the interrupted calls; threads started meanwhile have the signal blocked.
struct Interrupts {
    struct sigaction old {};
    sigset_t alrm;
    Interrupts()
    {
        struct sigaction sa {};
        sa.sa_handler = on_alarm;
        sigaction(SIGALRM, &sa, &old);
        sigemptyset(&alrm);
        sigaddset(&alrm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alrm, nullptr);
    }
    std::thread start(std::function<void()> f)
    {
        std::thread t(std::move(f));
        pthread_sigmask(SIG_UNBLOCK, &alrm, nullptr);
        itimerval it{{0, 1000}, {0, 1000}};
        setitimer(ITIMER_REAL, &it, nullptr);
        return t;
    }
    ~Interrupts()
    {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        signal(SIGALRM, SIG_IGN);   // drops a signal still pending
        sigaction(SIGALRM, &old, nullptr);
    }
};

std::vector<uint8_t> pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (uint8_t)(i * 7 + i / 251);
    return v;
}

TEST(FullIo, ReadGathersPiecesAcrossInterruptionsAndStopsShortAtTheEnd)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::vector<uint8_t> sent = pattern(3000), got(4000);
    Interrupts irq;
    std::thread w = irq.start([&] {
        for (size_t off = 0; off < sent.size(); off += 500) {
            usleep(3000);
            ASSERT_EQ(write(p[1], sent.data() + off, 500), 500);
        }
        close(p[1]);
    });
    EXPECT_EQ(read_full(p[0], got.data(), 2000), 2000);
    EXPECT_EQ(read_full(p[0], got.data() + 2000, 2000), 1000);
    w.join();
    close(p[0]);
    got.resize(3000);
    EXPECT_EQ(got, sent);
}

TEST(FullIo, WriteDeliversEveryByteThroughInterruptedWrites)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::vector<uint8_t> sent = pattern(1 << 20), got;
    Interrupts irq;
    std::thread r = irq.start([&] {
        uint8_t buf[4096];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) > 0) {
            got.insert(got.end(), buf, buf + n);
            usleep(50);
        }
    });
    EXPECT_EQ(write_full(p[1], sent.data(), sent.size()), 0);
    close(p[1]);
    r.join();
    close(p[0]);
    EXPECT_EQ(got, sent);
}

TEST(FullIo, FailuresComeBackWithErrno)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);
    auto old_pipe = signal(SIGPIPE, SIG_IGN);
    uint8_t b[16] = {};
    errno = 0;
    EXPECT_EQ(write_full(p[1], b, sizeof b), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(pwrite_full(p[1], b, sizeof b, 0), -1);   // a pipe has no offsets
    EXPECT_EQ(errno, ESPIPE);
    close(p[1]);
    EXPECT_EQ(read_full(p[1], b, sizeof b), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(write_full(p[1], b, 0), 0);   // nothing to write is no call
    signal(SIGPIPE, old_pipe);
}

TEST(FullIo, PositionedWritesAndReadsKeepTheirOffsets)
{
    ScratchDir d;
    int fd = open(d.file("f").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> a = pattern(5000), b(5000, 0xAB), got(8000);
    ASSERT_EQ(pwrite_full(fd, a.data(), a.size(), 1000), 0);
    ASSERT_EQ(pwrite_full(fd, b.data(), 100, 0), 0);
    EXPECT_EQ(pread_full(fd, got.data(), got.size(), 0), 6000);   // short only at the end
    EXPECT_EQ(got[99], 0xAB);
    EXPECT_EQ(got[100], 0);   // the hole before the first write
    EXPECT_TRUE(std::equal(a.begin(), a.end(), got.begin() + 1000));
    EXPECT_EQ(pread_full(fd, got.data(), 10, 6000), 0);
    close(fd);
}

} // namespace
