// Loaded into the child program with LD_PRELOAD: makes the Nth write to a file under a given
// folder fail, the way a full disk or a failing device does, and every later write to that open
// file too. Counted are write, pwrite, writev, fsync and fdatasync on files whose path begins with
// TARNWELL_FAIL_UNDER.
//   TARNWELL_FAIL_AT     the operation that fails (from 1); 0 only counts
//   TARNWELL_FAIL_ERRNO  the error it fails with (ENOSPC by default)
//   TARNWELL_FAIL_SHORT  1: the failing write first writes half of its bytes and reports that
//   TARNWELL_FAIL_COUNT  a file that receives the number of counted operations at exit
// Two more faults stand for a process killed at the worst moment and a file system without
// unnamed files:
//   TARNWELL_KILL_AT_RENAME  1: the process kills itself (SIGKILL) when it renames a file
//   TARNWELL_NO_TMPFILE      1: opening an unnamed file (O_TMPFILE) fails with EOPNOTSUPP
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

long g_count = 0;
int g_failingFd = -1;

long EnvNumber(const char *name, long fallback)
{
    const char *text = getenv(name);
    return text != nullptr && *text != '\0' ? strtol(text, nullptr, 10) : fallback;
}

template<typename Fn>
Fn Next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool Watched(int fd)
{
    const char *under = getenv("TARNWELL_FAIL_UNDER");
    if (under == nullptr || *under == '\0')
        return false;
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    return strncmp(target, under, strlen(under)) == 0;
}

enum class Verdict { Pass, Fail, Short };

// Counts the operation and tells what happens to it.
Verdict Judge(int fd)
{
    if (fd == g_failingFd)
        return Verdict::Fail; // the disk stays full for this file
    if (!Watched(fd))
        return Verdict::Pass;
    if (++g_count != EnvNumber("TARNWELL_FAIL_AT", 0))
        return Verdict::Pass;
    g_failingFd = fd;
    return EnvNumber("TARNWELL_FAIL_SHORT", 0) == 1 ? Verdict::Short : Verdict::Fail;
}

int FailErrno()
{
    return static_cast<int>(EnvNumber("TARNWELL_FAIL_ERRNO", ENOSPC));
}

__attribute__((destructor)) void ReportCount()
{
    const char *file = getenv("TARNWELL_FAIL_COUNT");
    if (file == nullptr)
        return;
    if (FILE *out = fopen(file, "w")) {
        fprintf(out, "%ld\n", g_count);
        fclose(out);
    }
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *buffer, size_t size)
{
    static const auto next = Next<ssize_t (*)(int, const void *, size_t)>("write");
    switch (Judge(fd)) {
    case Verdict::Pass:
        return next(fd, buffer, size);
    case Verdict::Short:
        if (size >= 2)
            return next(fd, buffer, size / 2);
        break;
    case Verdict::Fail:
        break;
    }
    errno = FailErrno();
    return -1;
}

ssize_t pwrite64(int fd, const void *buffer, size_t size, off_t offset)
{
    static const auto next = Next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite64");
    if (Judge(fd) == Verdict::Pass)
        return next(fd, buffer, size, offset);
    errno = FailErrno();
    return -1;
}

ssize_t writev(int fd, const struct iovec *vectors, int count)
{
    static const auto next = Next<ssize_t (*)(int, const struct iovec *, int)>("writev");
    if (Judge(fd) == Verdict::Pass)
        return next(fd, vectors, count);
    errno = FailErrno();
    return -1;
}

int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    if (Judge(fd) == Verdict::Pass)
        return next(fd);
    errno = FailErrno();
    return -1;
}

int fdatasync(int fd)
{
    static const auto next = Next<int (*)(int)>("fdatasync");
    if (Judge(fd) == Verdict::Pass)
        return next(fd);
    errno = FailErrno();
    return -1;
}

int rename(const char *from, const char *to)
{
    static const auto next = Next<int (*)(const char *, const char *)>("rename");
    if (EnvNumber("TARNWELL_KILL_AT_RENAME", 0) == 1)
        kill(getpid(), SIGKILL);
    return next(from, to);
}

#define TARNWELL_OPEN(name, ...)                                                                   \
    {                                                                                              \
        va_list list;                                                                              \
        va_start(list, flags);                                                                     \
        const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(list, mode_t) : 0; \
        va_end(list);                                                                              \
        if ((flags & O_TMPFILE) == O_TMPFILE && EnvNumber("TARNWELL_NO_TMPFILE", 0) == 1) {         \
            errno = EOPNOTSUPP;                                                                    \
            return -1;                                                                             \
        }                                                                                          \
        return reinterpret_cast<int (*)(...)>(dlsym(RTLD_NEXT, name))(__VA_ARGS__, mode);          \
    }

int open(const char *path, int flags, ...) TARNWELL_OPEN("open", path, flags)
int open64(const char *path, int flags, ...) TARNWELL_OPEN("open64", path, flags)
int openat(int dir, const char *path, int flags, ...) TARNWELL_OPEN("openat", dir, path, flags)
int openat64(int dir, const char *path, int flags, ...) TARNWELL_OPEN("openat64", dir, path, flags)

int close(int fd)
{
    static const auto next = Next<int (*)(int)>("close");
    if (fd == g_failingFd)
        g_failingFd = -1;
    return next(fd);
}

} // extern "C"
