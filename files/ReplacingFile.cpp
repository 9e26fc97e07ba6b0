#include "ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "FileSystem.h"
#include "ReplacementSet.h"

namespace files {
namespace {

constexpr size_t kFlushSize = 1024 * 1024;

std::atomic<unsigned> g_counter{0};

// Removes the temporary files that processes no longer running left in the
// folder (a program killed while it wrote): ".<name>.<pid>-<n>.part<suffix>".
void RemoveStaleParts(const std::string& folder) {
    // A replacement a killed process left may still name some of them.
    FinishInterruptedReplacements(folder);
    std::vector<std::string> stale;
    auto digitsBetween = [](const std::string& s, size_t from, size_t to) {
        return to > from && to - from <= 9 && s.find_first_not_of("0123456789", from) >= to;
    };
    for (const std::string& entry : FolderNames(folder)) {
        if (entry.empty() || entry[0] != '.') continue;
        const size_t part = entry.rfind(".part");
        if (part == std::string::npos) continue;
        const size_t dash = entry.rfind('-', part);
        const size_t dot = dash == std::string::npos ? std::string::npos : entry.rfind('.', dash);
        if (dot == std::string::npos || dot == 0 || !digitsBetween(entry, dash + 1, part) ||
            !digitsBetween(entry, dot + 1, dash))
            continue;
        const pid_t pid = pid_t(std::atol(entry.c_str() + dot + 1));
        // A process that still runs may be writing it right now.
        if (pid == ::getpid() || pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        stale.push_back(Join(folder, entry));
    }
    for (const std::string& path : stale) ::unlink(path.c_str());
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (!m_committed) Discard();
}

std::string ReplacingFile::Failure(const char* what) const {
    const int code = errno;
    return "The file \"" + m_target + "\" " + what + ": " + std::strerror(code) + ".";
}

bool ReplacingFile::Reserve(const std::string& target, const std::string& suffix, std::string* error) {
    Discard();
    // A symbolic link stays a link: the file it points to is replaced.
    m_target = ResolvedPath(target);
    m_committed = false;
    m_durable = false;
    const std::string folder = FolderOf(m_target);
    RemoveStaleParts(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + NameOf(m_target) + "." + std::to_string(::getpid()) + "-" +
                                 std::to_string(g_counter++) + ".part" + suffix;
        const std::string path = Join(folder, name);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The new file keeps the permissions and owners of the one it replaces.
            CopyOwnershipAndMode(fd, m_target);
            m_fd = fd;
            m_temp = path;
            return true;
        }
        if (errno != EEXIST) break;
    }
    if (error) *error = Failure("cannot be created");
    return false;
}

bool ReplacingFile::Write(std::string_view bytes, std::string* error) {
    m_buffer.append(bytes);
    return m_buffer.size() < kFlushSize || Flush(error);
}

bool ReplacingFile::Flush(std::string* error) {
    size_t done = 0;
    while (done < m_buffer.size()) {
        if (m_fd < 0) {
            errno = EBADF;
            if (error) *error = Failure("cannot be written");
            return false;
        }
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            if (error) *error = Failure("cannot be written");
            return false;
        }
        done += size_t(n);
    }
    m_buffer.clear();
    return true;
}

bool ReplacingFile::Finish(std::string* error) {
    if (!Flush(error)) return false;
    if (m_fd >= 0) {
        const int fd = m_fd;
        m_fd = -1;
        const bool synced = ::fsync(fd) == 0;
        const int syncError = errno;
        const bool closed = ::close(fd) == 0;
        if (!synced || !closed) {
            if (!synced) errno = syncError;
            if (error) *error = Failure("cannot be written");
            return false;
        }
        m_durable = true;
    }
    return true;
}

bool ReplacingFile::Commit(std::string* error) {
    if (!Flush(error)) return false;
    if (m_fd >= 0) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            if (error) *error = Failure("cannot be written");
            return false;
        }
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        if (error) *error = Failure("cannot be replaced");
        return false;
    }
    m_committed = true;
    if (m_durable) SyncFolder(FolderOf(m_target));
    return true;
}

void ReplacingFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
    if (!m_temp.empty() && !m_committed) ::unlink(m_temp.c_str());
    m_temp.clear();
}

void ReplacingFile::AddTo(files::ReplacementSet& set) {
    set.ReplaceFile(m_temp, m_target);
    m_committed = true;  // the set removes it when it is not committed
}


}  // namespace files
