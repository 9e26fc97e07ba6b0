#pragma once
// A file size limit for the running process while the object lives: writes
// beyond it fail (EFBIG, the signal ignored) the way a full disk makes them
// fail, so that tests can break a copy in the middle.

#include <csignal>
#include <sys/resource.h>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit tight = m_old;
        tight.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int) = SIG_DFL;
};

}  // namespace testsupport
