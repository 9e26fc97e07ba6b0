#include "FileSystem.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "ReplacementSet.h"

namespace files {
namespace {

constexpr size_t kBlock = 1 << 20;

std::atomic<unsigned> g_temporaryCount{0};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

void FinishWriting(FileDescriptor& fd, const std::string& path) {
    if (::fsync(fd.Get()) != 0) throw FileError(SystemMessage("Cannot write to", path, errno));
    if (!fd.Close()) throw FileError(SystemMessage("Cannot write to", path, errno));
}

int CreateTemporary(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw FileError(SystemMessage("Cannot create a file in the folder", FolderOf(path), errno));
    return fd;
}

// ".tmp<pid>.<n>.<tag>": the pid, or 0 when the name is not such a name.
pid_t TemporaryPid(const std::string& name) {
    if (name.rfind(".tmp", 0) != 0) return 0;
    const size_t dot = name.find('.', 4);
    if (dot == std::string::npos || dot == 4 || dot > 13) return 0;
    const std::string digits = name.substr(4, dot - 4);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return pid_t(std::atol(digits.c_str()));
}

}  // namespace

void WriteAll(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw FileError(SystemMessage("Cannot write to", path, n < 0 ? errno : ENOSPC));
        data += n;
        size -= size_t(n);
    }
}

std::string SystemMessage(const std::string& what, const std::string& path, int error) {
    return what + " \"" + path + "\": " + std::strerror(error) + ".";
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return uint64_t(st.st_size);
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

std::string FindInAnyCase(const std::string& folder, const std::string& name) {
    const std::string exact = Join(folder, name);
    if (::access(exact.c_str(), F_OK) == 0) return exact;
    const std::string wanted = Upper(name);
    for (const std::string& entry : FolderNames(folder))
        if (Upper(entry) == wanted) return Join(folder, entry);
    return exact;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string ResolvedPath(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) break;
        std::string target(buf, size_t(n));
        if (target[0] != '/') target = FolderOf(current) + "/" + target;
        current = target;
    }
    return current;
}

std::optional<uint64_t> FreeSpace(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
    return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
}

int OpenRegularForReading(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    // Non-blocking, in case a FIFO took the file's place in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int OpenInFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

std::string UnreadableReason(const std::string& path, int error) {
    if (error == ELOOP) return "\"" + path + "\" is a link, which the attachments folder does not follow.";
    if (error == EINVAL) return "\"" + path + "\" is not a file.";
    return SystemMessage("Cannot read", path, error);
}

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
    FileDescriptor fd(OpenInFolder(path));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw FileError(UnreadableReason(path, errno));
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw FileError(SystemMessage("Cannot read", path, errno));
    if (uint64_t(st.st_size) > maxBytes)
        throw FileError("The file \"" + path + "\" is larger than " + std::to_string(maxBytes >> 20) +
                        " MB and was not read.");
    std::string bytes;
    bytes.reserve(size_t(st.st_size));
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(SystemMessage("Cannot read", path, errno));
        if (n == 0) break;
        if (bytes.size() + size_t(n) > maxBytes) throw FileError("The file \"" + path + "\" grew while it was read.");
        bytes.append(block, size_t(n));
    }
    return bytes;
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
    const std::string folder = FolderOf(path);
    TemporaryFile tmp(Join(folder, TemporaryName("replace")));
    FileDescriptor fd(CreateTemporary(tmp.Path()));
    CopyOwnershipAndMode(fd.Get(), path);
    WriteAll(fd.Get(), bytes.data(), bytes.size(), path);
    FinishWriting(fd, path);
    if (::rename(tmp.Path().c_str(), path.c_str()) != 0) throw FileError(SystemMessage("Cannot replace", path, errno));
    tmp.Keep();
    SyncFolder(folder);
}

void CopyFile(const std::string& source, const std::string& target) {
    FileDescriptor in(OpenInFolder(source));
    if (in.Get() < 0) throw FileError(UnreadableReason(source, errno));
    FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (out.Get() < 0) throw FileError(SystemMessage("Cannot create", target, errno));
    std::vector<char> block(kBlock);
    for (;;) {
        const ssize_t n = ::read(in.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(SystemMessage("Cannot read", source, errno));
        if (n == 0) break;
        WriteAll(out.Get(), block.data(), size_t(n), target);
    }
    FinishWriting(out, target);
}

void CopyOwnershipAndMode(int fd, const std::string& replaced) {
    struct stat st {};
    if (::stat(replaced.c_str(), &st) != 0) return;
    // The owner can only be kept by a privileged user; the group by a member.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) (void)!::fchown(fd, uid_t(-1), st.st_gid);
    ::fchmod(fd, st.st_mode & 07777);
}

void MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0755) == 0) {
        SyncFolder(FolderOf(folder));
        return;
    }
    if (errno == EEXIST && IsDirectory(folder)) return;
    throw FileError(SystemMessage("Cannot make the folder", folder, errno));
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void RemoveTree(const std::string& folder) {
    struct RemoveLevel {
        static void Run(const std::string& path, int depth) {
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) return;
            if (!S_ISDIR(st.st_mode) || depth == 0) {
                ::unlink(path.c_str());
                return;
            }
            for (const std::string& n : FolderNames(path)) Run(Join(path, n), depth - 1);
            ::rmdir(path.c_str());
        }
    };
    if (!folder.empty()) RemoveLevel::Run(folder, 3);
}

std::string TemporaryName(const std::string& tag) {
    return ".tmp" + std::to_string(::getpid()) + "." + std::to_string(g_temporaryCount++) + "." + tag;
}

bool IsStaleTemporary(const std::string& name) {
    const pid_t pid = TemporaryPid(name);
    // A process that still runs may be writing it now.
    return pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

std::string TemporaryPathBeside(const std::string& path) { return path + ".tmp" + std::to_string(::getpid()); }

void RemoveStaleTemporariesBeside(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string prefix = NameOf(path) + ".tmp";
    for (const std::string& name : FolderNames(folder)) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = pid_t(std::atol(digits.c_str()));
        // A process that still runs may be writing it right now.
        if (pid != ::getpid() && pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH)) continue;
        ::unlink(Join(folder, name).c_str());
    }
}

void RemoveStaleTemporaries(const std::string& folder) {
    FinishInterruptedReplacements(folder);
    for (const std::string& name : FolderNames(folder))
        if (IsStaleTemporary(name)) RemoveTree(Join(folder, name));
}

FolderLock::FolderLock(const std::string& folder) {
    const std::string path = Join(folder, kLockName);
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) throw FileError(SystemMessage("Cannot write in the folder", folder, errno));
    while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FolderLock::~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace files
