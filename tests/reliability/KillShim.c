/* Loaded into a trial child with LD_PRELOAD: counts the calls by which a
 * program changes files (write, pwrite, writev, ftruncate, fsync, fdatasync,
 * rename, link, unlink, mkdir, rmdir) and kills the process with SIGKILL just before the Nth, so that a
 * trial can stop the engine at every point where the disk changes.
 *
 *   HALVENOR_KILL_AT=N      die before the Nth counted call (0 or unset: never)
 *   HALVENOR_FAIL_AT=N      the Nth counted call, when it writes bytes, fails
 *                           with ENOSPC instead (a disk full at that moment)
 *   HALVENOR_COUNT_FILE=p   at a normal exit, write the number of calls to p
 *   HALVENOR_REPORT_FD=n    calls on this descriptor (the report pipe) are
 *                           not counted, nor those on 0, 1 and 2
 *   HALVENOR_TRACE_FILE=p   append each counted call to p as a line: its
 *                           name and the paths it acts on ("fsync /a/b",
 *                           "rename /a/t -> /a/b"); a run of writes to one
 *                           file is one line
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long g_killAt = -1;
static long g_failAt = -1;
static long g_count = 0;
static int g_reportFd = -1;
static const char* g_countFile = NULL;
static int g_traceFd = -1;
static char g_lastTrace[8192];

static void WriteCount(void) {
    if (!g_countFile) return;
    char text[32];
    const int n = snprintf(text, sizeof text, "%ld\n", g_count);
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, g_countFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    (void)syscall(SYS_write, fd, text, (size_t)n);
    (void)syscall(SYS_close, fd);
}

__attribute__((constructor)) static void Start(void) {
    const char* at = getenv("HALVENOR_KILL_AT");
    if (at && *at) g_killAt = atol(at);
    const char* fail = getenv("HALVENOR_FAIL_AT");
    if (fail && *fail) g_failAt = atol(fail);
    const char* fd = getenv("HALVENOR_REPORT_FD");
    if (fd && *fd) g_reportFd = atoi(fd);
    g_countFile = getenv("HALVENOR_COUNT_FILE");
    if (g_countFile) atexit(WriteCount);
    const char* trace = getenv("HALVENOR_TRACE_FILE");
    if (trace && *trace)
        g_traceFd = (int)syscall(SYS_openat, AT_FDCWD, trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

// The path a descriptor stands for, or "?".
static void PathOf(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, out, size - 1);
    if (n <= 0) {
        snprintf(out, size, "?");
        return;
    }
    out[n] = '\0';
}

static void Trace(const char* name, int fd, const char* path, const char* to) {
    if (g_traceFd < 0 || (fd >= 0 && (fd <= 2 || fd == g_reportFd))) return;
    char first[4096];
    if (fd >= 0) PathOf(fd, first, sizeof first);
    else snprintf(first, sizeof first, "%s", path ? path : "?");
    char line[sizeof g_lastTrace];
    const int n = to ? snprintf(line, sizeof line, "%s %s -> %s\n", name, first, to)
                     : snprintf(line, sizeof line, "%s %s\n", name, first);
    if (n <= 0 || (size_t)n >= sizeof line) return;
    if (strcmp(name, "write") == 0 && strcmp(line, g_lastTrace) == 0) return;
    memcpy(g_lastTrace, line, (size_t)n + 1);
    (void)syscall(SYS_write, g_traceFd, line, (size_t)n);
}

// Nonzero when the call is to fail.
static int Count(int fd) {
    if (fd >= 0 && (fd <= 2 || fd == g_reportFd)) return 0;
    ++g_count;
    if (g_killAt > 0 && g_count >= g_killAt) {
        (void)syscall(SYS_kill, getpid(), SIGKILL);
        for (;;) pause();
    }
    return g_count == g_failAt;
}

#define FAIL_WRITE(fd) if (Count(fd)) { errno = ENOSPC; return -1; }

#define NEXT(name) static __typeof__(name)* real; if (!real) real = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void* buf, size_t n) { NEXT(write); Trace("write", fd, NULL, NULL); FAIL_WRITE(fd); return real(fd, buf, n); }
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) { NEXT(pwrite); Trace("write", fd, NULL, NULL); FAIL_WRITE(fd); return real(fd, buf, n, at); }
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) { NEXT(pwrite64); Trace("write", fd, NULL, NULL); FAIL_WRITE(fd); return real(fd, buf, n, at); }
ssize_t writev(int fd, const struct iovec* v, int n) { NEXT(writev); Trace("write", fd, NULL, NULL); FAIL_WRITE(fd); return real(fd, v, n); }
ssize_t pwritev(int fd, const struct iovec* v, int n, off_t at) { NEXT(pwritev); Trace("write", fd, NULL, NULL); FAIL_WRITE(fd); return real(fd, v, n, at); }
int ftruncate(int fd, off_t size) { NEXT(ftruncate); Trace("truncate", fd, NULL, NULL); Count(fd); return real(fd, size); }
int ftruncate64(int fd, off_t size) { NEXT(ftruncate64); Trace("truncate", fd, NULL, NULL); Count(fd); return real(fd, size); }
int fsync(int fd) { NEXT(fsync); Trace("fsync", fd, NULL, NULL); Count(fd); return real(fd); }
int fdatasync(int fd) { NEXT(fdatasync); Trace("fsync", fd, NULL, NULL); Count(fd); return real(fd); }
int rename(const char* from, const char* to) { NEXT(rename); Trace("rename", -1, from, to); Count(-1); return real(from, to); }
int renameat(int a, const char* from, int b, const char* to) { NEXT(renameat); Trace("rename", -1, from, to); Count(-1); return real(a, from, b, to); }
int renameat2(int a, const char* from, int b, const char* to, unsigned flags) { NEXT(renameat2); Trace("rename", -1, from, to); Count(-1); return real(a, from, b, to, flags); }
int link(const char* from, const char* to) { NEXT(link); Trace("link", -1, from, to); Count(-1); return real(from, to); }
int linkat(int a, const char* from, int b, const char* to, int flags) { NEXT(linkat); Trace("link", -1, from, to); Count(-1); return real(a, from, b, to, flags); }
int unlink(const char* path) { NEXT(unlink); Trace("unlink", -1, path, NULL); Count(-1); return real(path); }
int unlinkat(int dir, const char* path, int flags) { NEXT(unlinkat); Trace("unlink", -1, path, NULL); Count(-1); return real(dir, path, flags); }
int mkdir(const char* path, mode_t mode) { NEXT(mkdir); Trace("mkdir", -1, path, NULL); Count(-1); return real(path, mode); }
int rmdir(const char* path) { NEXT(rmdir); Trace("rmdir", -1, path, NULL); Count(-1); return real(path); }
