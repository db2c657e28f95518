// Preloaded into the child program (LD_PRELOAD) to make writes fail the way a full disk or a
// failing device does. Counted are the write() calls to files whose path begins with
// TARNWELL_FAIL_UNDER: number TARNWELL_FAIL_AT (from 1) fails with TARNWELL_FAIL_ERRNO (ENOSPC by
// default), after writing half its bytes when TARNWELL_FAIL_SHORT is 1, and so does every later
// write to that open file. TARNWELL_KILL_AT_RENAME=1 kills the process (SIGKILL) at a rename;
// TARNWELL_NO_TMPFILE=1 makes unnamed files (O_TMPFILE) unsupported.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

long g_count = 0;
int g_failingFd = -1;

long Env(const char *name, long fallback)
{
    const char *text = getenv(name);
    return text != nullptr && *text != '\0' ? strtol(text, nullptr, 10) : fallback;
}

template <typename Fn>
Fn Next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool Watched(int fd)
{
    const char *under = getenv("TARNWELL_FAIL_UNDER");
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = under != nullptr && *under != '\0' ? readlink(link, target, sizeof target - 1) : -1;
    if (n <= 0)
        return false;
    target[n] = '\0';
    return strncmp(target, under, strlen(under)) == 0;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *buffer, size_t size)
{
    static const auto next = Next<ssize_t (*)(int, const void *, size_t)>("write");
    bool fail = fd == g_failingFd; // the disk stays full for this file
    if (!fail && Watched(fd) && ++g_count == Env("TARNWELL_FAIL_AT", 0)) {
        g_failingFd = fd;
        if (Env("TARNWELL_FAIL_SHORT", 0) == 1 && size >= 2)
            return next(fd, buffer, size / 2);
        fail = true;
    }
    if (!fail)
        return next(fd, buffer, size);
    errno = static_cast<int>(Env("TARNWELL_FAIL_ERRNO", ENOSPC));
    return -1;
}

int close(int fd)
{
    if (fd == g_failingFd)
        g_failingFd = -1;
    return Next<int (*)(int)>("close")(fd);
}

int rename(const char *from, const char *to)
{
    if (Env("TARNWELL_KILL_AT_RENAME", 0) == 1)
        kill(getpid(), SIGKILL);
    return Next<int (*)(const char *, const char *)>("rename")(from, to);
}

// The program opens its unnamed files with open() itself.
int open(const char *path, int flags, ...)
{
    va_list list;
    va_start(list, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(list, mode_t) : 0;
    va_end(list);
    if ((flags & O_TMPFILE) == O_TMPFILE && Env("TARNWELL_NO_TMPFILE", 0) == 1) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return Next<int (*)(const char *, int, ...)>("open")(path, flags, mode);
}

} // extern "C"
