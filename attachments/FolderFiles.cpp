#include "FolderFiles.h"

#include <QCryptographicHash>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DbfFile.h"

namespace attachments {
namespace {

constexpr size_t kBlock = 1 << 20;

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now; false (errno set) when closing reports a failed write.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// A temporary file removed unless kept.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

void WriteAll(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw AttachmentError(SystemMessage("Cannot write to", path, n < 0 ? errno : ENOSPC));
        data += n;
        size -= size_t(n);
    }
}

void FinishWriting(Descriptor& fd, const std::string& path) {
    if (::fsync(fd.Get()) != 0) throw AttachmentError(SystemMessage("Cannot write to", path, errno));
    if (!fd.Close()) throw AttachmentError(SystemMessage("Cannot write to", path, errno));
}

int CreateTemporary(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw AttachmentError(SystemMessage("Cannot create a file in the folder", FolderOf(path), errno));
    return fd;
}

std::atomic<unsigned> g_temporaryCount{0};

}  // namespace

std::string SystemMessage(const std::string& what, const std::string& path, int error) {
    return what + " \"" + path + "\": " + std::strerror(error) + ".";
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

FileIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    FileIdentity id;
    if (::stat(path.c_str(), &st) != 0) return id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
    Descriptor fd(OpenInFolder(path));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw AttachmentError(UnreadableReason(path, errno));
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw AttachmentError(SystemMessage("Cannot read", path, errno));
    if (uint64_t(st.st_size) > maxBytes)
        throw AttachmentError("The file \"" + path + "\" is larger than " + std::to_string(maxBytes >> 20) +
                              " MB and was not read.");
    std::string bytes;
    bytes.reserve(size_t(st.st_size));
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AttachmentError(SystemMessage("Cannot read", path, errno));
        if (n == 0) break;
        if (bytes.size() + size_t(n) > maxBytes)
            throw AttachmentError("The file \"" + path + "\" grew while it was read.");
        bytes.append(block, size_t(n));
    }
    return bytes;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    const std::string folder = FolderOf(path);
    TemporaryFile tmp(Join(folder, TemporaryName("replace")));
    Descriptor fd(CreateTemporary(tmp.Path()));
    WriteAll(fd.Get(), bytes.data(), bytes.size(), path);
    FinishWriting(fd, path);
    if (::rename(tmp.Path().c_str(), path.c_str()) != 0) throw AttachmentError(SystemMessage("Cannot replace", path, errno));
    tmp.Keep();
    SyncFolder(folder);
}

void MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0755) == 0) {
        SyncFolder(FolderOf(folder));
        return;
    }
    if (errno == EEXIST && IsDirectory(folder)) return;
    throw AttachmentError(SystemMessage("Cannot make the folder", folder, errno));
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string TemporaryName(const std::string& tag) {
    return ".tmp" + std::to_string(::getpid()) + "." + std::to_string(g_temporaryCount++) + "." + tag;
}

void RemoveStaleTemporaries(const std::string& folder) {
    for (const std::string& name : FolderNames(folder)) {
        if (name.rfind(".tmp", 0) != 0) continue;
        const size_t dot = name.find('.', 4);
        if (dot == std::string::npos || dot == 4 || dot > 13) continue;
        const std::string digits = name.substr(4, dot - 4);
        if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = pid_t(std::atol(digits.c_str()));
        // A process that still runs may be writing it now.
        if (pid == ::getpid() || pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        const std::string path = Join(folder, name);
        if (IsDirectory(path)) continue;
        ::unlink(path.c_str());
    }
}

std::string ContentHash(const std::string& path) {
    Descriptor fd(OpenInFolder(path));
    if (fd.Get() < 0) throw AttachmentError(UnreadableReason(path, errno));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> block(kBlock);
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AttachmentError(SystemMessage("Cannot read", path, errno));
        if (n == 0) break;
        hash.addData(QByteArrayView(block.data(), n));
    }
    return hash.result().toHex().toStdString();
}

StoredCopy CopyIntoFolder(const std::string& source, const std::string& folder, const std::string& extension) {
    Descriptor in(store::OpenRegularForReading(source));
    if (in.Get() < 0) {
        if (errno == EINVAL) throw AttachmentError("\"" + source + "\" is not a file.");
        throw AttachmentError(SystemMessage("Cannot read", source, errno));
    }
    TemporaryFile tmp(Join(folder, TemporaryName("add")));
    Descriptor out(CreateTemporary(tmp.Path()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> block(kBlock);
    StoredCopy copy;
    for (;;) {
        const ssize_t n = ::read(in.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AttachmentError(SystemMessage("Cannot read", source, errno));
        if (n == 0) break;
        hash.addData(QByteArrayView(block.data(), n));
        WriteAll(out.Get(), block.data(), size_t(n), Join(folder, "(new file)"));
        copy.size += uint64_t(n);
    }
    FinishWriting(out, tmp.Path());
    copy.name = hash.result().toHex().toStdString();
    if (!extension.empty()) copy.name += "." + extension;
    const std::string target = Join(folder, copy.name);
    if (IsRegularFile(target)) return copy;  // the same content is there already
    if (::link(tmp.Path().c_str(), target.c_str()) != 0) {
        if (errno == EEXIST) return copy;
        // Some file systems have no hard links; a rename does as well
        // under the folder's lock.
        if (::rename(tmp.Path().c_str(), target.c_str()) != 0)
            throw AttachmentError(SystemMessage("Cannot create", target, errno));
        tmp.Keep();
    }
    copy.created = true;
    return copy;
}

void CopyFile(const std::string& source, const std::string& target) {
    Descriptor in(OpenInFolder(source));
    if (in.Get() < 0) throw AttachmentError(UnreadableReason(source, errno));
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (out.Get() < 0) throw AttachmentError(SystemMessage("Cannot create", target, errno));
    std::vector<char> block(kBlock);
    for (;;) {
        const ssize_t n = ::read(in.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AttachmentError(SystemMessage("Cannot read", source, errno));
        if (n == 0) break;
        WriteAll(out.Get(), block.data(), size_t(n), target);
    }
    FinishWriting(out, target);
}

FolderLock::FolderLock(const std::string& folder) {
    const std::string path = Join(folder, kLockName);
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) throw AttachmentError(SystemMessage("Cannot write in the folder", folder, errno));
    while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FolderLock::~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace attachments
