#include "ReportFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileSystem.h"

namespace reports {
namespace {

std::string SysError(const std::string& what, const std::string& path, int error = errno) {
    return what + " \"" + path + "\": " + std::strerror(error) + ".";
}



using Fd = files::FileDescriptor;

// Opens the file and holds an exclusive lock on it. When another copy of the
// program replaced the file while this one waited for the lock, the lock is
// taken again on the file that now carries the name.
void OpenLocked(Fd& fd, const std::string& path, int flags) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        fd.Reset(::open(path.c_str(), flags | O_CLOEXEC, 0644));
        if (fd.Get() < 0) throw ReportFileError(SysError("Cannot open", path));
        if (::flock(fd.Get(), LOCK_EX) != 0) throw ReportFileError(SysError("Cannot lock", path));
        struct stat held {}, named {};
        if (::fstat(fd.Get(), &held) != 0) throw ReportFileError(SysError("Cannot read", path));
        if (::stat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev) return;
    }
    throw ReportFileError("The file \"" + path + "\" keeps changing; try again.");
}

off_t SizeOf(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ReportFileError(SysError("Cannot read", path));
    if (!S_ISREG(st.st_mode)) throw ReportFileError("\"" + path + "\" is not a file.");
    return st.st_size;
}

void ReadExactly(int fd, uint8_t* data, size_t size, off_t at, const std::string& path) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, at + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ReportFileError(SysError("Cannot read", path));
        if (n == 0) throw ReportFileError("The file \"" + path + "\" ended before the report definition did.");
        done += size_t(n);
    }
}

void WriteExactly(int fd, const uint8_t* data, size_t size, off_t at, const std::string& path) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, at + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ReportFileError(SysError("Cannot write to", path, n < 0 ? errno : ENOSPC));
        done += size_t(n);
    }
}

// The size of a definition file that is one of ours; throws for a file far
// larger than any, before it is read.
off_t CheckedSize(int fd, const std::string& path) {
    const off_t size = SizeOf(fd, path);
    if (uint64_t(size) > kLargestReportFile) throw ReportFileError(TooLargeMessage(path, uint64_t(size)));
    return size;
}

void Sync(int fd, const std::string& path) {
    if (::fsync(fd) != 0) throw ReportFileError(SysError("Cannot write to", path));
}

std::string OutOfRange(int k, const std::string& path) {
    return "Report definition " + std::to_string(k + 1) + " is not in \"" + path + "\".";
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    try {
        files::ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const files::FileError& e) {
        throw ReportFileError(e.what());
    }
}

std::string ReportFile::PathIn(const std::string& dir, const char* name) { return files::FindInAnyCase(dir, name); }

bool ReportFile::Exists() const {
    struct stat st {};
    return ::stat(m_path.c_str(), &st) == 0;
}

int ReportFile::Count() const {
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0) {
        if (errno == ENOENT) return 0;
        throw ReportFileError(SysError("Cannot read", m_path));
    }
    if (!S_ISREG(st.st_mode)) throw ReportFileError("\"" + m_path + "\" is not a file.");
    return int(st.st_size / kRecordSize);
}

std::vector<std::string> ReportFile::Names() const {
    Fd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return {};
        throw ReportFileError(SysError("Cannot open", m_path));
    }
    const int count = int(CheckedSize(fd.Get(), m_path) / kRecordSize);
    std::vector<std::string> names;
    names.reserve(size_t(count));
    uint8_t head[kNameCapacity + 1];
    for (int k = 0; k < count; ++k) {
        ReadExactly(fd.Get(), head, sizeof head, off_t(k) * kRecordSize, m_path);
        names.push_back(DecodeName(head));
    }
    return names;
}

DecodedDefinition ReportFile::Read(int k) const {
    Fd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) throw ReportFileError(SysError("Cannot open", m_path));
    const off_t count = CheckedSize(fd.Get(), m_path) / kRecordSize;
    if (k < 0 || k >= count) throw ReportFileError(OutOfRange(k, m_path));
    std::vector<uint8_t> record(kRecordSize);
    ReadExactly(fd.Get(), record.data(), record.size(), off_t(k) * kRecordSize, m_path);
    return DecodeDefinition(record);
}

void ReportFile::Write(int k, const ReportDefinition& def) {
    const std::vector<uint8_t> record = EncodeDefinition(def);
    Fd fd;
    OpenLocked(fd, m_path, O_RDWR);
    const off_t count = SizeOf(fd.Get(), m_path) / kRecordSize;
    if (k < 0 || k >= count) throw ReportFileError(OutOfRange(k, m_path));
    WriteExactly(fd.Get(), record.data(), record.size(), off_t(k) * kRecordSize, m_path);
    Sync(fd.Get(), m_path);
}

int ReportFile::Append(const ReportDefinition& def) {
    const std::vector<uint8_t> record = EncodeDefinition(def);
    Fd fd;
    OpenLocked(fd, m_path, O_RDWR | O_CREAT);
    const off_t size = SizeOf(fd.Get(), m_path);
    const off_t count = size / kRecordSize;
    try {
        WriteExactly(fd.Get(), record.data(), record.size(), count * kRecordSize, m_path);
        Sync(fd.Get(), m_path);
    } catch (...) {
        // A partly written record must not stay behind as a damaged last record.
        if (::ftruncate(fd.Get(), size) == 0) ::fsync(fd.Get());
        throw;
    }
    return int(count);
}

void ReportFile::Delete(int k) {
    Fd fd;
    OpenLocked(fd, m_path, O_RDWR);
    const off_t count = SizeOf(fd.Get(), m_path) / kRecordSize;
    if (k < 0 || k >= count) throw ReportFileError(OutOfRange(k, m_path));
    std::vector<uint8_t> bytes(size_t(count) * kRecordSize);
    if (!bytes.empty()) ReadExactly(fd.Get(), bytes.data(), bytes.size(), 0, m_path);
    const auto from = bytes.begin() + ptrdiff_t(k) * kRecordSize;
    bytes.erase(from, from + kRecordSize);
    ReplaceFileAtomically(m_path, bytes);
}

void ReportFile::Replace(const std::vector<uint8_t>& bytes) {
    Fd fd(::open(m_path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.Get() >= 0) OpenLocked(fd, m_path, O_RDWR);
    ReplaceFileAtomically(m_path, bytes);
}

std::vector<uint8_t> ReportFile::ReadAll() const {
    Fd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return {};
        throw ReportFileError(SysError("Cannot open", m_path));
    }
    std::vector<uint8_t> bytes(size_t(CheckedSize(fd.Get(), m_path)));
    if (!bytes.empty()) ReadExactly(fd.Get(), bytes.data(), bytes.size(), 0, m_path);
    return bytes;
}

std::string TooLargeMessage(const std::string& path, uint64_t size) {
    return "The report definition file \"" + path + "\" is " + std::to_string((size + (1 << 20) - 1) >> 20) +
           " MB, far larger than any report definition file (" + std::to_string(kLargestDefinitionCount) +
           " definitions take " + std::to_string((kLargestReportFile + (1 << 20) - 1) >> 20) + " MB).";
}

}  // namespace reports
