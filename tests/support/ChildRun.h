#pragma once
// Runs a piece of a test in a forked child and hands back what it reports,
// so that a test can meet conditions the test process itself must not be
// in: a user who may not write (tests run as root on the build machine,
// and root ignores permissions), a full disk (a file size limit), a kill.
// The body returns its findings as text; an exception is reported as
// "error: " and its message, a death as "signal N".

#include <cerrno>
#include <csignal>
#include <functional>
#include <grp.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// The user and group the unprivileged child runs as ("nobody").
constexpr uid_t kNobody = 65534;

struct ChildOptions {
    // Drop to kNobody when running as root; other users are already
    // bound by permissions.
    bool unprivileged = false;
    // RLIM_INFINITY: no limit. Writes past the limit fail with EFBIG.
    rlim_t fileSizeLimit = RLIM_INFINITY;
    // Seconds after which the child is killed (a hang is a finding too).
    unsigned timeout = 60;
};

inline bool RunningAsRoot() { return ::geteuid() == 0; }

inline std::string RunInChild(const std::function<std::string()>& body, const ChildOptions& options = {}) {
    int out[2];
    if (::pipe(out) != 0) return "error: no pipe";
    const pid_t pid = ::fork();
    if (pid < 0) return "error: no fork";
    if (pid == 0) {
        ::close(out[0]);
        std::string result;
        try {
            ::alarm(options.timeout);
            if (options.fileSizeLimit != RLIM_INFINITY) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
            }
            if (options.unprivileged && RunningAsRoot()) {
                if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                    throw std::runtime_error("cannot become an unprivileged user");
            }
            result = body();
        } catch (const std::exception& e) {
            result = std::string("error: ") + e.what();
        }
        size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(out[1], result.data() + done, result.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.append(buf, size_t(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return result;
}

}  // namespace testsupport
