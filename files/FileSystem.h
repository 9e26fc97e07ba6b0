#pragma once
// The file-system steps every part of the program shares, in plain system
// calls so that every write can be counted and every failure told: files
// replaced whole (a temporary file beside them, flushed to the disk and
// renamed), files copied and flushed, files opened without blocking (a
// FIFO never stalls a reader) and, inside folders of our own, without
// following links; names found in any letter case; temporary files of
// processes that no longer run cleared away. Standard library and POSIX
// only.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace files {

// A failure of a file step, with the message for the user. Whatever threw
// it left the files as they were.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now; false (errno set) when closing reports a failed write.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// A temporary file removed when it goes, unless kept.
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

// Writes all the bytes at the descriptor's position; path names the file
// in the message. Throws FileError (a write of nothing: a full disk).
void WriteAll(int fd, const char* data, size_t size, const std::string& path);

// "what "path": the system's reason."
std::string SystemMessage(const std::string& what, const std::string& path, int error);

// Folder and name joined with exactly one "/".
std::string Join(const std::string& folder, const std::string& name);
// The folder of a path ("." for a bare name, "/" at the root).
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Whether something (a file, folder or link) carries the name; links are
// not followed.
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);  // follows a link to a folder
// A regular file, not a link.
bool IsRegularFile(const std::string& path);
// The size of a regular file that is not a link.
std::optional<uint64_t> FileSize(const std::string& path);
// Names in the folder, without "." and "..".
std::vector<std::string> FolderNames(const std::string& folder);
// The entry of that name in the folder in any letter case (the exact name
// first); the name as given when there is none.
std::string FindInAnyCase(const std::string& folder, const std::string& name);
// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// The target of a chain of links (at most 40), or the path itself.
std::string ResolvedPath(const std::string& path);
// Bytes a new file may take in the file system holding the folder.
std::optional<uint64_t> FreeSpace(const std::string& folder);

// Opens a regular file for reading without blocking (a FIFO or device in
// its place is refused with EINVAL). -1 with errno set otherwise.
int OpenRegularForReading(const std::string& path);
// The same for a file of a folder of ours: a link is refused with ELOOP.
int OpenInFolder(const std::string& path);
// Why a file of a folder of ours cannot be read, for the user.
std::string UnreadableReason(const std::string& path, int error);

// Reads a whole file of a folder of ours of at most maxBytes; nothing when
// it is missing. Throws FileError when it cannot be read or is larger.
std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes);

// Replaces path with the bytes: written to a temporary file in the same
// folder, flushed to the disk, renamed over path, the folder flushed. On
// failure path is as it was and no temporary file stays. Throws FileError.
void ReplaceFile(const std::string& path, std::string_view bytes);
// Copies a file of a folder of ours to target (replacing it), flushed to
// the disk, without renaming: for folders filled under a temporary name.
// Throws when the source is a link or not a regular file.
void CopyFile(const std::string& source, const std::string& target);
// The new file takes the permissions and, where the user may, the owners
// of the file it replaces.
void CopyOwnershipAndMode(int fd, const std::string& replaced);

// Makes the folder (its parent must exist). Throws when it cannot.
void MakeFolder(const std::string& folder);
// Flushes a folder's entries to the disk.
void SyncFolder(const std::string& folder);
// Removes a file; false (and errno) when it cannot.
bool RemoveFile(const std::string& path);
// Removes a folder of ours and everything in it, three levels deep at most;
// links are removed, never followed.
void RemoveTree(const std::string& folder);

// The name of a temporary file or folder of this process: ".tmp<pid>.<n>."
// and a tag. Such names of processes that no longer run are stale.
std::string TemporaryName(const std::string& tag);
// Whether a name is such a temporary name of a process that no longer runs.
bool IsStaleTemporary(const std::string& name);
// The temporary file written beside a file while it is replaced in
// place of it: path + ".tmp" + the process id (a name other copies of the
// program, old ones too, clear away when that process no longer runs).
std::string TemporaryPathBeside(const std::string& path);
// Removes such files beside path left by processes that no longer run.
void RemoveStaleTemporariesBeside(const std::string& path);
// Removes the stale temporary files and folders in the folder, once a
// replacement a killed process left unfinished there is finished (it may
// name some of them).
void RemoveStaleTemporaries(const std::string& folder);

// The folder's lock, taken for every change of the folder by any copy of
// the program. The lock file is made when missing.
class FolderLock {
public:
    // Waits for the lock. Throws FileError when the lock file cannot be made.
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

inline constexpr const char* kLockName = ".lock";

}  // namespace files
