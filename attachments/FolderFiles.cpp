#include "FolderFiles.h"

#include <QCryptographicHash>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace attachments {
namespace {

constexpr size_t kBlock = 1 << 20;

using files::FileDescriptor;
using files::TemporaryFile;
using files::WriteAll;

}  // namespace

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

std::string ContentHash(const std::string& path) {
    FileDescriptor fd(OpenInFolder(path));
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
    FileDescriptor in(files::OpenRegularForReading(source));
    if (in.Get() < 0) {
        if (errno == EINVAL) throw AttachmentError("\"" + source + "\" is not a file.");
        throw AttachmentError(SystemMessage("Cannot read", source, errno));
    }
    TemporaryFile tmp(files::Join(folder, TemporaryName("add")));
    FileDescriptor out(::open(tmp.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.Get() < 0) throw AttachmentError(SystemMessage("Cannot create a file in the folder", folder, errno));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> block(kBlock);
    StoredCopy copy;
    for (;;) {
        const ssize_t n = ::read(in.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AttachmentError(SystemMessage("Cannot read", source, errno));
        if (n == 0) break;
        hash.addData(QByteArrayView(block.data(), n));
        WriteAll(out.Get(), block.data(), size_t(n), files::Join(folder, "(new file)"));
        copy.size += uint64_t(n);
    }
    if (::fsync(out.Get()) != 0 || !out.Close()) throw AttachmentError(SystemMessage("Cannot write to", tmp.Path(), errno));
    copy.name = hash.result().toHex().toStdString();
    if (!extension.empty()) copy.name += "." + extension;
    const std::string target = files::Join(folder, copy.name);
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

}  // namespace attachments
