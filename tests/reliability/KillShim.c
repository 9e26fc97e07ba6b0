/* Loaded into a trial child with LD_PRELOAD: counts the calls by which a
 * program changes files (write, pwrite, writev, ftruncate, fsync, fdatasync,
 * rename, link, unlink, mkdir, rmdir) and kills the process with SIGKILL just before the Nth, so that a
 * trial can stop the engine at every point where the disk changes.
 *
 *   HALVENOR_KILL_AT=N      die before the Nth counted call (0 or unset: never)
 *   HALVENOR_COUNT_FILE=p   at a normal exit, write the number of calls to p
 *   HALVENOR_REPORT_FD=n    calls on this descriptor (the report pipe) are
 *                           not counted, nor those on 0, 1 and 2
 */
#define _GNU_SOURCE
#include <dlfcn.h>
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
static long g_count = 0;
static int g_reportFd = -1;
static const char* g_countFile = NULL;

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
    const char* fd = getenv("HALVENOR_REPORT_FD");
    if (fd && *fd) g_reportFd = atoi(fd);
    g_countFile = getenv("HALVENOR_COUNT_FILE");
    if (g_countFile) atexit(WriteCount);
}

static void Count(int fd) {
    if (fd >= 0 && (fd <= 2 || fd == g_reportFd)) return;
    ++g_count;
    if (g_killAt > 0 && g_count >= g_killAt) {
        (void)syscall(SYS_kill, getpid(), SIGKILL);
        for (;;) pause();
    }
}

#define NEXT(name) static __typeof__(name)* real; if (!real) real = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void* buf, size_t n) { NEXT(write); Count(fd); return real(fd, buf, n); }
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) { NEXT(pwrite); Count(fd); return real(fd, buf, n, at); }
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) { NEXT(pwrite64); Count(fd); return real(fd, buf, n, at); }
ssize_t writev(int fd, const struct iovec* v, int n) { NEXT(writev); Count(fd); return real(fd, v, n); }
ssize_t pwritev(int fd, const struct iovec* v, int n, off_t at) { NEXT(pwritev); Count(fd); return real(fd, v, n, at); }
int ftruncate(int fd, off_t size) { NEXT(ftruncate); Count(fd); return real(fd, size); }
int ftruncate64(int fd, off_t size) { NEXT(ftruncate64); Count(fd); return real(fd, size); }
int fsync(int fd) { NEXT(fsync); Count(fd); return real(fd); }
int fdatasync(int fd) { NEXT(fdatasync); Count(fd); return real(fd); }
int rename(const char* from, const char* to) { NEXT(rename); Count(-1); return real(from, to); }
int renameat(int a, const char* from, int b, const char* to) { NEXT(renameat); Count(-1); return real(a, from, b, to); }
int renameat2(int a, const char* from, int b, const char* to, unsigned flags) { NEXT(renameat2); Count(-1); return real(a, from, b, to, flags); }
int link(const char* from, const char* to) { NEXT(link); Count(-1); return real(from, to); }
int linkat(int a, const char* from, int b, const char* to, int flags) { NEXT(linkat); Count(-1); return real(a, from, b, to, flags); }
int unlink(const char* path) { NEXT(unlink); Count(-1); return real(path); }
int unlinkat(int dir, const char* path, int flags) { NEXT(unlinkat); Count(-1); return real(dir, path, flags); }
int mkdir(const char* path, mode_t mode) { NEXT(mkdir); Count(-1); return real(path, mode); }
int rmdir(const char* path) { NEXT(rmdir); Count(-1); return real(path); }
